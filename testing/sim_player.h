// Test fixture: a fresh simulated player in a temporary folder, an SDK object connected to
// it and a receiver window on the test thread that records every notification.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "testing/processes.h"
#include "platform/paths/paths.h"
#include "platform/vendorsdk/attribute_block.h"
#include "platform/vendorsdk/simplayer.h"
#include "platform/vendorsdk/vendorsdk.h"
#include "platform/window/window.h"
#include "testing/temp_folder.h"

namespace platform {
namespace testing_sim {

using Clock = std::chrono::steady_clock;
constexpr int kDev = 1;

inline std::vector<char> RandomBytes(std::size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  std::vector<char> v(n);
  for (char& c : v) c = char(rng());
  return v;
}

inline std::vector<char> ReadFile(const std::string& posixPath) {
  std::ifstream in(posixPath, std::ios::binary);
  return std::vector<char>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

struct Notice {
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
  bool duringCall;
  bool taken = false;
};

// A block as the driver writes it: texts in the system's code page (type 0).
class DriverBlock {
 public:
  DriverBlock& Text(std::string_view name, const std::string& value) {
    w_.AddRaw(kSdkAttrText, name, value);
    return *this;
  }
  DriverBlock& Number(std::string_view name, std::uint32_t value) {
    w_.AddNumber(name, value);
    return *this;
  }
  std::vector<std::uint8_t> Bytes() const { return w_.Finish(); }

 private:
  AttributeBlockWriter w_;
};

struct TrackTags {
  std::string title = "Song";
  std::string album = "Album";
  std::string artist = "Artist";
  std::string genre = "Genre";
  std::string codec = "MP3";
  std::uint32_t length = 3;
  std::uint32_t number = 1;
  std::uint32_t year = 2004;
};

inline std::vector<std::uint8_t> TrackBlock(const TrackTags& t) {
  return DriverBlock()
      .Text(kAttrTitle, t.title)
      .Text(kAttrAlbum, t.album)
      .Text(kAttrArtist, t.artist)
      .Text(kAttrGenre, t.genre)
      .Text(kAttrCodec, t.codec)
      .Number(kAttrFileSize, 0)
      .Number(kAttrLength, t.length)
      .Number(kAttrTrackNumber, t.number)
      .Number(kAttrYear, t.year)
      .Bytes();
}

inline SdkItem Item(std::uint32_t id, std::uint32_t type) {
  SdkItem i;
  i.id = id;
  i.type = type;
  return i;
}

class SimSdkTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    platform::testing::IsolateNamespace();
    RegisterClass("SimSdkTest Receiver");
  }

  void SetUp() override {
    dir_ = platform::testing::MakeTempFolder("vsdktest");
    ASSERT_FALSE(dir_.empty());
    folder_ = FromPosixPath(dir_ + "/player");
    std::string error;
    ASSERT_TRUE(CreateSimPlayer(folder_, options_, &error)) << error;
    window_ = CreateWindow("SimSdkTest Receiver", 0,
                           [this](HWND h, UINT m, WPARAM w, LPARAM l) -> LRESULT {
                             if (m >= kSdkUploadProgress && m <= kSdkDeviceRemoved) {
                               notices_.push_back({m, w, l, inCall_});
                               return 0;
                             }
                             return DefWindowProc(h, m, w, l);
                           });
    ASSERT_NE(window_, 0u);
    Connect();
  }

  void TearDown() override {
    sdk_.reset();
    player_.reset();
    if (window_ != 0) DestroyWindow(window_);
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }

  void Connect() {
    sdk_ = CreateVendorSdk(folder_);
    ASSERT_NE(sdk_, nullptr);
    ASSERT_EQ(sdk_->Initialize(), kSdkOk);
    int count = 0;
    ASSERT_EQ(sdk_->GetDeviceCount(&count), kSdkOk);
    ASSERT_EQ(count, 1);
    ASSERT_EQ(sdk_->SetNotifyWindow(kDev, window_), kSdkOk);
    SdkResult code = kSdkOk;
    player_ = SimPlayer::Open(folder_, &code, nullptr);
    ASSERT_NE(player_, nullptr);
  }

  void Reconnect() {
    sdk_.reset();
    player_.reset();
    Connect();
  }

  // Runs an SDK call while marking that a call is in progress.
  template <typename F>
  SdkResult Call(F f) {
    inCall_ = true;
    const SdkResult r = f();
    inCall_ = false;
    return r;
  }

  // Dispatches this thread's messages until done() holds or the time passes.
  template <typename Done>
  bool PumpUntil(Done done, int limitMs = 10000) {
    const auto end = Clock::now() + std::chrono::milliseconds(limitMs);
    MSG msg;
    while (!done()) {
      if (Clock::now() > end) return false;
      if (PeekMessage(&msg, 0, 0, 0, PM_REMOVE)) DispatchMessage(&msg);
      else Sleep(1);
    }
    return true;
  }

  // The first notice of that kind not taken yet.
  bool Take(UINT message, Notice* out, int limitMs = 10000) {
    Notice* found = nullptr;
    const bool ok = PumpUntil(
        [&] {
          for (Notice& n : notices_) {
            if (n.message == message && !n.taken) {
              found = &n;
              return true;
            }
          }
          return false;
        },
        limitMs);
    if (!ok) return false;
    found->taken = true;
    *out = *found;
    return true;
  }

  std::size_t Count(UINT message) const {
    std::size_t n = 0;
    for (const Notice& e : notices_) n += e.message == message;
    return n;
  }

  // A file in the test folder; its Windows-form path.
  std::string MakeFile(const std::string& name, const std::vector<char>& bytes) {
    const std::string path = dir_ + "/" + name;
    std::ofstream(path, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
    return FromPosixPath(path);
  }

  // Waits for the end of an upload that should succeed; the new item's id.
  std::uint32_t UploadedId() {
    Notice done{};
    EXPECT_TRUE(Take(kSdkUploadDone, &done));
    EXPECT_EQ(done.wParam, kSdkOk);
    return std::uint32_t(done.lParam);
  }

  std::uint32_t UploadTrack(const std::string& windowsPath, const TrackTags& tags = {}) {
    const auto block = TrackBlock(tags);
    const SdkString source = Utf8ToSdkString(windowsPath);
    EXPECT_EQ(Call([&] {
                return sdk_->AddItem(kDev, kSdkTrack, source.c_str(), std::uint32_t(block.size()),
                                     block.data());
              }),
              kSdkOk);
    return UploadedId();
  }

  SdkResult StartDataUpload(const std::string& windowsPath, std::uint32_t parent,
                            const std::string& name) {
    const auto block = DriverBlock()
                           .Text(kAttrTitle, name)
                           .Number(kAttrFileSize, 0)
                           .Text(kAttrFileName, name)
                           .Number(kAttrModifiedTime, 1100000000)
                           .Number(kAttrFileAttributes, 0x20)
                           .Number(kAttrTrackId, 0)
                           .Number(kAttrParentFolder, parent)
                           .Bytes();
    const SdkString source = Utf8ToSdkString(windowsPath);
    return sdk_->AddItem(kDev, kSdkDataFile, source.c_str(), std::uint32_t(block.size()),
                         block.data());
  }

  std::uint32_t UploadData(const std::string& windowsPath, std::uint32_t parent,
                           const std::string& name) {
    EXPECT_EQ(StartDataUpload(windowsPath, parent, name), kSdkOk);
    return UploadedId();
  }

  SdkResult StartFolder(const std::string& name, std::uint32_t parent) {
    const auto block = DriverBlock()
                           .Text(kAttrFolderName, name)
                           .Number(kAttrModifiedTime, 1100000000)
                           .Number(kAttrFileAttributes, 0)
                           .Number(kAttrTrackId, 0)
                           .Number(kAttrParentFolder, parent)
                           .Bytes();
    const SdkString wide = Utf8ToSdkString(name);
    return sdk_->AddItem(kDev, kSdkDataFolder, wide.c_str(), std::uint32_t(block.size()),
                         block.data());
  }

  std::uint32_t MakeFolder(const std::string& name, std::uint32_t parent = kSdkDataRootId) {
    EXPECT_EQ(StartFolder(name, parent), kSdkOk);
    Notice done{};
    EXPECT_TRUE(Take(kSdkUploadDone, &done));
    return std::uint32_t(done.lParam);
  }

  // Starts copying an item out to a POSIX path; the call's result.
  SdkResult StartDownload(const SdkItem& item, const std::string& posixPath) {
    const SdkString dest = Utf8ToSdkString(FromPosixPath(posixPath));
    return sdk_->GetItemToFile(kDev, dest.c_str(), item);
  }

  // Copies an item out and waits for the end; the result carried by the end notice.
  SdkResult Download(const SdkItem& item, const std::string& posixPath) {
    const SdkResult r = StartDownload(item, posixPath);
    if (r != kSdkOk) return r;
    Notice done{};
    if (!Take(kSdkDownloadDone, &done)) return kSdkErrFail;
    return SdkResult(done.wParam);
  }

  // A new playlist holding the tracks in that order.
  SdkItem MakePlaylist(const std::u16string& name, const std::vector<std::uint32_t>& tracks) {
    SdkItem pl;
    pl.type = kSdkPlaylist;
    pl.name = name;
    EXPECT_EQ(sdk_->CreatePlaylist(kDev, Item(kSdkPlaylistRootId, kSdkDataFolder), &pl), kSdkOk);
    std::vector<SdkItem> entries;
    for (std::uint32_t t : tracks) entries.push_back(Item(t, kSdkTrack));
    EXPECT_EQ(sdk_->AddTracksToPlaylist(kDev, pl, std::uint32_t(entries.size()), entries.data()), kSdkOk);
    return pl;
  }

  std::vector<SdkItem> Children(const SdkItem& parent) {
    std::vector<SdkItem> out;
    SdkItem child;
    for (SdkResult r = sdk_->FindFirstChild(kDev, parent, &child); r == kSdkOk;
         r = sdk_->FindNextChild(kDev, parent, &child)) {
      out.push_back(child);
    }
    return out;
  }

  std::vector<std::uint32_t> ChildIds(const SdkItem& parent) {
    std::vector<std::uint32_t> ids;
    for (const SdkItem& c : Children(parent)) ids.push_back(c.id);
    return ids;
  }

  // The item's attributes by name, read the driver's way: the size, then the block.
  std::map<std::string, SdkAttribute> Attributes(const SdkItem& item) {
    std::map<std::string, SdkAttribute> out;
    std::uint32_t size = 0;
    if (sdk_->GetItemAttributes(kDev, item, 0, &size, nullptr) != kSdkOk) return out;
    std::vector<std::uint8_t> buffer(size);
    EXPECT_EQ(sdk_->GetItemAttributes(kDev, item, size, &size, buffer.data()), kSdkOk);
    std::vector<SdkAttribute> attrs;
    EXPECT_TRUE(ParseAttributeBlock(buffer.data(), size, &attrs));
    for (auto& a : attrs) out[a.name] = a;
    return out;
  }

  SdkResult SetNumber(const SdkItem& item, const char16_t* name, std::uint32_t value) {
    return sdk_->SetItemAttribute(kDev, item, name, kSdkAttrNumber, 4, &value);
  }
  SdkResult SetText(const SdkItem& item, const char16_t* name, const std::string& value) {
    return sdk_->SetItemAttribute(kDev, item, name, kSdkAttrText, std::uint32_t(value.size()),
                                  value.data());
  }

  SimPlayerOptions options_;
  std::string dir_;     // POSIX
  std::string folder_;  // the player, Windows form
  HWND window_ = 0;
  std::unique_ptr<VendorSdk> sdk_;
  std::shared_ptr<SimPlayer> player_;
  std::vector<Notice> notices_;
  bool inCall_ = false;
};

const SdkItem kAllTracks = Item(kSdkAllTracksId, kSdkTrack);
const SdkItem kDataRoot = Item(kSdkDataRootId, kSdkDataFile);
const SdkItem kPlaylistRoot = Item(kSdkPlaylistRootId, kSdkDataFolder);

}  // namespace testing_sim
}  // namespace platform
