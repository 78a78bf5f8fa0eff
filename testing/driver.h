// Test support for the player driver: an SDK that records and can refuse calls around the
// simulated one, and a fixture with a fresh simulated player in a temporary folder, the
// driver and its device connected to it, and a window on the test thread that receives the
// device's transfer and playback notices.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "common/identity.h"
#include "device/messages.h"
#include "driver/device_clsdk3.h"
#include "driver/driver_clsdk3.h"
#include "driver/sdk_support.h"
#include "testing/processes.h"
#include "platform/paths/paths.h"
#include "platform/settings/settings.h"
#include "platform/ui/scripted_host.h"
#include "platform/vendorsdk/simplayer.h"
#include "platform/window/window.h"
#include "testing/temp_folder.h"

namespace drivertest {

using platform::SdkItem;
using platform::SdkResult;

// Forwards to the simulated SDK; counts every call by method name and can make the next
// calls of a method answer a given result instead.
class RecordingSdk final : public platform::VendorSdk {
 public:
  explicit RecordingSdk(std::unique_ptr<platform::VendorSdk> inner) : inner_(std::move(inner)) {}

  // The next `times` calls of `method` answer `result` without reaching the player.
  void Fail(const std::string& method, SdkResult result, int times = 1) { fails_[method] = {result, times}; }
  int Calls(const std::string& method) const {
    auto it = calls_.find(method);
    return it == calls_.end() ? 0 : it->second;
  }
  int TotalCalls() const {
    int n = 0;
    for (const auto& c : calls_) n += c.second;
    return n;
  }
  // Changes each root item the player hands out.
  std::function<void(SdkItem*)> rootFilter;
  // Called with the method's name before each forwarded call (and before its failure).
  std::function<void(const std::string&)> beforeCall;
  // Answers attribute reads in place of the player when it returns a result.
  std::function<std::optional<SdkResult>(const SdkItem&, std::uint32_t, std::uint32_t*, void*)> attributes;

#define DRIVERTEST_FORWARD(name, ...)                   \
  ++calls_[#name];                                      \
  if (beforeCall) beforeCall(#name);                    \
  if (auto f = fails_.find(#name); f != fails_.end() && f->second.times != 0) { \
    --f->second.times;                                  \
    return f->second.result;                            \
  }                                                     \
  return inner_->name(__VA_ARGS__)

  SdkResult Initialize() override { DRIVERTEST_FORWARD(Initialize); }
  SdkResult Shutdown() override { DRIVERTEST_FORWARD(Shutdown); }
  SdkResult SetNotifyWindow(int dev, platform::HWND w) override { DRIVERTEST_FORWARD(SetNotifyWindow, dev, w); }
  SdkResult GetDeviceCount(int* count) override { DRIVERTEST_FORWARD(GetDeviceCount, count); }
  SdkResult GetSdkVersion(std::uint16_t v[4]) override { DRIVERTEST_FORWARD(GetSdkVersion, v); }
  SdkResult FindFirstRootItem(int dev, SdkItem* item) override {
    const SdkResult r = Root(inner_->FindFirstRootItem(dev, item), item);
    ++calls_["FindFirstRootItem"];
    return r;
  }
  SdkResult FindNextRootItem(int dev, SdkItem* item) override {
    const SdkResult r = Root(inner_->FindNextRootItem(dev, item), item);
    ++calls_["FindNextRootItem"];
    return r;
  }
  SdkResult FindFirstPlaylist(int dev, const SdkItem& root, SdkItem* p) override {
    DRIVERTEST_FORWARD(FindFirstPlaylist, dev, root, p);
  }
  SdkResult FindNextPlaylist(int dev, const SdkItem& root, SdkItem* p) override {
    DRIVERTEST_FORWARD(FindNextPlaylist, dev, root, p);
  }
  SdkResult CreatePlaylist(int dev, const SdkItem& root, SdkItem* p) override {
    DRIVERTEST_FORWARD(CreatePlaylist, dev, root, p);
  }
  SdkResult DeletePlaylist(int dev, const SdkItem& p) override { DRIVERTEST_FORWARD(DeletePlaylist, dev, p); }
  SdkResult RenamePlaylist(int dev, const SdkItem& p, const char16_t* name) override {
    DRIVERTEST_FORWARD(RenamePlaylist, dev, p, name);
  }
  SdkResult AddTracksToPlaylist(int dev, const SdkItem& p, std::uint32_t n, const SdkItem* t) override {
    DRIVERTEST_FORWARD(AddTracksToPlaylist, dev, p, n, t);
  }
  SdkResult FindFirstChild(int dev, const SdkItem& parent, SdkItem* child) override {
    DRIVERTEST_FORWARD(FindFirstChild, dev, parent, child);
  }
  SdkResult FindNextChild(int dev, const SdkItem& parent, SdkItem* child) override {
    DRIVERTEST_FORWARD(FindNextChild, dev, parent, child);
  }
  SdkResult GetItemAttributes(int dev, const SdkItem& item, std::uint32_t bufferSize, std::uint32_t* size,
                              void* buffer) override {
    if (attributes) {
      if (auto r = attributes(item, bufferSize, size, buffer)) {
        ++calls_["GetItemAttributes"];
        return *r;
      }
    }
    DRIVERTEST_FORWARD(GetItemAttributes, dev, item, bufferSize, size, buffer);
  }
  SdkResult SetItemAttribute(int dev, const SdkItem& item, const char16_t* name, std::uint16_t type,
                             std::uint32_t length, const void* value) override {
    DRIVERTEST_FORWARD(SetItemAttribute, dev, item, name, type, length, value);
  }
  SdkResult AddItem(int dev, std::uint32_t type, const char16_t* source, std::uint32_t length,
                    const void* block) override {
    DRIVERTEST_FORWARD(AddItem, dev, type, source, length, block);
  }
  SdkResult DeleteItem(int dev, const SdkItem& item) override { DRIVERTEST_FORWARD(DeleteItem, dev, item); }
  SdkResult GetItemToFile(int dev, const char16_t* destination, const SdkItem& item) override {
    lastDestination = destination != nullptr ? platform::SdkStringToUtf8(destination) : std::string();
    DRIVERTEST_FORWARD(GetItemToFile, dev, destination, item);
  }
  SdkResult GetDeviceProperty(int dev, std::uint32_t id, void* buffer, std::uint32_t size) override {
    DRIVERTEST_FORWARD(GetDeviceProperty, dev, id, buffer, size);
  }
  SdkResult SetDeviceProperty(int dev, std::uint32_t id, const void* buffer, std::uint32_t size) override {
    DRIVERTEST_FORWARD(SetDeviceProperty, dev, id, buffer, size);
  }
  SdkResult PlaybackControl(int dev, std::uint32_t command, void* argument) override {
    DRIVERTEST_FORWARD(PlaybackControl, dev, command, argument);
  }
#undef DRIVERTEST_FORWARD

  std::string lastDestination;

 private:
  SdkResult Root(SdkResult r, SdkItem* item) {
    if (r == platform::kSdkOk && rootFilter) rootFilter(item);
    return r;
  }
  struct Failure {
    SdkResult result;
    int times;
  };
  std::unique_ptr<platform::VendorSdk> inner_;
  std::map<std::string, int> calls_;
  std::map<std::string, Failure> fails_;
};

struct Notice {
  platform::UINT message;
  platform::WPARAM wParam;
  platform::LPARAM lParam;
};

inline std::string RandomBytes(std::size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  std::string s(n, '\0');
  for (char& c : s) c = char(rng());
  return s;
}

inline std::string ReadPosixFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// A track record as the transfer engine hands it to the device.
inline device::TrackRecord Record(const std::string& artist, const std::string& album, const std::string& title,
                          int number = 1, int length = 60, int codec = 2) {
  device::TrackRecord r;
  r.artist.Set(artist);
  r.album.Set(album);
  r.title.Set(title);
  r.genre.Set("Test");
  r.trackNumber = number;
  r.length = length;
  r.year = 2001;
  r.codec = static_cast<std::uint8_t>(codec);
  return r;
}

class DriverTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_ProductIdentity.InitFromPath("trayhub");
    home_ = std::getenv("TOVARIN_HOME");
    ::setenv("TMPDIR", home_.c_str(), 1);
    platform::SettingsKey::Delete(platform::Hive::CurrentUser, g_ProductIdentity.settingsKey);
    key_.emplace(platform::SettingsKey::Create(platform::Hive::CurrentUser, g_ProductIdentity.settingsKey));
    platform::SetVendorSdkInstalled(true);
    driver::KernelDeviceCLSDK3::SetWaitLimitsForTesting(0, 0);
    dir_ = platform::testing::MakeTempFolder("drvtest");
    ASSERT_FALSE(dir_.empty());
    folder_ = platform::FromPosixPath(dir_ + "/player");
    MakePlayer();
    platform::RegisterClass("DriverTest Window");
    window_ = platform::CreateWindow("DriverTest Window", 0,
                                     [this](platform::HWND h, platform::UINT m, platform::WPARAM w,
                                            platform::LPARAM l) -> platform::LRESULT {
                                       if (m >= device::WM_UPLOADPROGRESS && m <= device::WM_PLAYBACKSTOPPED) {
                                         notices_.push_back({m, w, l});
                                         return 0;
                                       }
                                       return platform::DefWindowProc(h, m, w, l);
                                     });
    ASSERT_NE(window_, 0u);
    MakeDevice();
    if (connectAtStart_) {
      device_->Connect();
      ASSERT_EQ(device_->IsConnected(), 1);
    }
    SdkResult code = 0;
    player_ = platform::SimPlayer::Open(folder_, &code, nullptr);
  }

  void TearDown() override {
    device_.reset();
    driver_.reset();
    if (player_) player_->ClearFaults();
    player_.reset();
    if (window_ != 0) platform::DestroyWindow(window_);
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
    driver::KernelDeviceCLSDK3::SetWaitLimitsForTesting(0, 0);
    driver::KernelDeviceCLSDK3::SetCheckClockForTesting(nullptr);
    platform::SetVendorSdkInstalled(true);
  }

  virtual void MakePlayer() {
    std::string error;
    ASSERT_TRUE(platform::CreateSimPlayer(folder_, options_, &error)) << error;
  }

  void MakeDevice() {
    device_.reset();
    driver_ = std::make_unique<driver::KernelDriverCLSDK3>(folder_);
    driver_->SetSdkFactory([this](std::string_view f) -> std::unique_ptr<platform::VendorSdk> {
      auto inner = platform::CreateVendorSdk(f);
      if (!inner) return nullptr;
      auto recording = std::make_unique<RecordingSdk>(std::move(inner));
      sdk_ = recording.get();
      return recording;
    });
    sdk_ = nullptr;
    EXPECT_EQ(driver_->Initialize(), 1);
    std::unique_ptr<device::KernelDevice> made = driver_->CreateDevice(device::KernelId(5), device::KernelId(1));
    device_.reset(static_cast<driver::KernelDeviceCLSDK3*>(made.release()));
    device_->AddNotifyWindow(window_);
  }

  // Dispatches this thread's messages until done() holds or the time passes.
  bool Pump(const std::function<bool()>& done, int limitMs = 10000) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
    platform::MSG msg;
    while (!done()) {
      if (std::chrono::steady_clock::now() > end) return false;
      if (platform::PeekMessage(&msg, 0, 0, 0, platform::PM_REMOVE)) {
        platform::DispatchMessage(&msg);
      } else {
        platform::Sleep(1);
      }
    }
    return true;
  }
  void PumpFor(int ms) {
    Pump([] { return false; }, ms);
  }

  // The first notice of that kind not taken yet, waiting for it.
  std::optional<Notice> Take(platform::UINT message, int limitMs = 10000) {
    std::optional<Notice> found;
    Pump(
        [&] {
          for (std::size_t i = 0; i < notices_.size(); ++i) {
            if (notices_[i].message == message) {
              found = notices_[i];
              notices_.erase(notices_.begin() + static_cast<long>(i));
              return true;
            }
          }
          return false;
        },
        limitMs);
    return found;
  }
  std::size_t Count(platform::UINT message) const {
    std::size_t n = 0;
    for (const Notice& e : notices_) n += e.message == message;
    return n;
  }

  // A file in the test folder; its Windows-form path.
  std::string MakeFile(const std::string& name, const std::string& bytes) {
    const std::string path = dir_ + "/" + name;
    std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return platform::FromPosixPath(path);
  }

  // Uploads and waits for the end; the new item's id (empty when it failed).
  device::KernelId UploadTrack(const std::string& windowsPath, const device::TrackRecord& record) {
    return Upload([&](device::KernelId& unused) { return device_->UploadTrack(windowsPath, record, unused); });
  }
  device::KernelId UploadData(const std::string& windowsPath, const device::KernelId& folder) {
    return Upload([&](device::KernelId& unused) { return device_->UploadDataFile(windowsPath, folder, unused); });
  }
  template <typename Start>
  device::KernelId Upload(Start start) {
    device_->SetProgressWindow(window_);
    device::KernelId unused;
    EXPECT_EQ(start(unused), 0);
    auto done = Take(device::WM_UPLOADDONE);
    EXPECT_TRUE(done.has_value());
    if (!done || done->lParam != 0) return device::KernelId();
    return device::KernelId(static_cast<std::uint32_t>(done->wParam));
  }
  // Downloads and waits for the end; the value the done notice carried (-1: none came).
  long long Download(const device::KernelId& item, const std::string& posixPath, bool track = true) {
    device_->SetProgressWindow(window_);
    const std::string path = platform::FromPosixPath(posixPath);
    const int status = track ? device_->DownloadTrack(item, path, 0) : device_->DownloadDataFile(item, path);
    if (status != 0) return 1000 + status;
    auto done = Take(device::WM_DOWNLOADDONE);
    return done ? static_cast<long long>(done->lParam) : -1;
  }

  std::vector<device::KernelId> AudioTracks() {
    std::vector<device::KernelId> ids;
    device::KernelId id;
    for (int n = device_->GetFirstAudioTrack(id); n != 0; n = device_->GetNextAudioTrack(id)) ids.push_back(id);
    return ids;
  }
  std::vector<device::KernelId> DataItems(const device::KernelId& folder) {
    std::vector<device::KernelId> ids;
    device::KernelId id;
    for (int n = device_->GetFirstDataItem(folder, id); n != 0; n = device_->GetNextDataItem(folder, id)) {
      ids.push_back(id);
    }
    return ids;
  }
  device::KernelId DataRoot() {
    device::KernelId root;
    device_->GetDataRootFolder(root);
    return root;
  }

  device::DeviceRequestBlock& Block() { return *device_->GetCurrentBlock(); }

  platform::SimPlayerOptions options_;
  bool connectAtStart_ = true;
  std::string home_;
  std::optional<platform::SettingsKey> key_;
  std::string dir_;     // POSIX
  std::string folder_;  // the player, Windows form
  platform::HWND window_ = 0;
  std::unique_ptr<driver::KernelDriverCLSDK3> driver_;
  std::unique_ptr<driver::KernelDeviceCLSDK3> device_;
  RecordingSdk* sdk_ = nullptr;
  std::shared_ptr<platform::SimPlayer> player_;
  std::vector<Notice> notices_;
};

}  // namespace drivertest
