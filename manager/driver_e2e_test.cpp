// trayhub with the real driver over a simulated player in a temporary folder, and this
// process as its client: it uploads, lists and downloads through the device proxy.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <random>
#include <thread>

#include "common/identity.h"
#include "device/kernel_device_client.h"
#include "device/messages.h"
#include "manager/manager_wnd.h"
#include "testing/ports.h"
#include "testing/trayhub.h"
#include "testing/processes.h"
#include "platform/paths/paths.h"
#include "platform/settings/settings.h"
#include "platform/ui/scripted_host.h"
#include "platform/vendorsdk/generated_player.h"
#include "platform/window/window.h"

namespace manager {

using namespace device;

namespace {

using namespace std::chrono_literals;
using platform::testing::ChildProcess;

const bool kIsolated = platform::testing::IsolateNamespace();

std::string RandomBytes(std::size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  std::string s(n, '\0');
  for (char& c : s) c = char(rng());
  return s;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

class DriverEndToEndTest : public ::testing::Test {
 protected:
  void SetUp() override {
    home_ = std::getenv("TOVARIN_HOME");
    trayhubtest::PrepareManagerHome(home_, "7000,30000");
    ::unsetenv("TOVARIN_DEVICE");  // the driver is what trayhub hosts by default
    platform::RegisterClass("DriverEndToEnd Window");
    window_ = platform::CreateWindow("DriverEndToEnd Window", 0,
                                     [this](platform::HWND h, platform::UINT m, platform::WPARAM w,
                                            platform::LPARAM l) -> platform::LRESULT {
                                       if (m == WM_UPLOADDONE || m == WM_DOWNLOADDONE) done_.push_back({m, w, l});
                                       return platform::DefWindowProc(h, m, w, l);
                                     });
  }
  void TearDown() override {
    if (window_ != 0) platform::DestroyWindow(window_);
  }

  static std::unique_ptr<ChildProcess> StartManager() { return trayhubtest::StartTool("trayhub"); }
  static bool WaitForManager() { return trayhubtest::WaitForManager(0, 1000) != 0; }
  static void Stop(ChildProcess& manager) {
    manager.Kill(SIGTERM);
    EXPECT_EQ(manager.Wait(), 0);
    for (int i = 0; i < 500 && platform::FindWindow(g_ProductIdentity.windowClassName) != 0; ++i) {
      std::this_thread::sleep_for(10ms);
    }
  }

  // Serves this thread's messages (the manager's transfer notices are sent to our window)
  // until a done notice of that kind came; its item id (wParam) and value (lParam).
  std::optional<std::pair<platform::WPARAM, platform::LPARAM>> WaitDone(platform::UINT message) {
    const auto end = std::chrono::steady_clock::now() + 20s;
    platform::MSG msg;
    while (std::chrono::steady_clock::now() < end) {
      for (std::size_t i = 0; i < done_.size(); ++i) {
        if (done_[i].message == message) {
          auto found = std::make_pair(done_[i].wParam, done_[i].lParam);
          done_.erase(done_.begin() + static_cast<long>(i));
          return found;
        }
      }
      if (platform::PeekMessage(&msg, 0, 0, 0, platform::PM_REMOVE)) {
        platform::DispatchMessage(&msg);
      } else {
        platform::Sleep(1);
      }
    }
    return std::nullopt;
  }

  static std::vector<KernelId> Tracks(KernelDeviceClient& client) {
    std::vector<KernelId> ids;
    KernelId id;
    for (int n = client.GetFirstAudioTrack(id); n != 0; n = client.GetNextAudioTrack(id)) ids.push_back(id);
    return ids;
  }

  struct Done {
    platform::UINT message;
    platform::WPARAM wParam;
    platform::LPARAM lParam;
  };
  std::string home_;
  platform::HWND window_ = 0;
  std::vector<Done> done_;
};

TEST_F(DriverEndToEndTest, AClientUploadsListsAndDownloadsThroughTheProxy) {
  ASSERT_FALSE(std::filesystem::exists(home_ + "/appdata/player"));
  auto manager = StartManager();
  ASSERT_TRUE(WaitForManager());
  EXPECT_TRUE(std::filesystem::exists(home_ + "/appdata/player/player.txt"));  // the demo player

  KernelDeviceClient client;
  ASSERT_EQ(client.ConnectToManager(0, KernelId(5), KernelId(1), 0), 1);
  client.Connect();  // the manager connects at start-up too; a second Connect changes nothing
  ASSERT_EQ(client.IsConnected(), 1);
  EXPECT_EQ(client.GetModelName(), "Dozi Jukebox");
  EXPECT_EQ(client.GetOwnerName(), "Demo User");
  ASSERT_EQ(Tracks(client).size(), 12u);

  // A track: up, listed, down again, byte for byte.
  const std::string bytes = RandomBytes(1'500'000, 11);
  std::ofstream(home_ + "/upload.mp3", std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
  TrackRecord record;
  record.artist.Set("Client Artist");
  record.album.Set("Client Album");
  record.title.Set("Through The Proxy");
  record.trackNumber = 3;
  record.length = 90;
  record.year = 2010;
  client.SetProgressWindow(window_);
  KernelId unused;
  ASSERT_EQ(client.UploadTrack(platform::FromPosixPath(home_ + "/upload.mp3"), record, unused), 0);
  const auto uploaded = WaitDone(WM_UPLOADDONE);
  ASSERT_TRUE(uploaded.has_value());
  ASSERT_EQ(uploaded->second, 0);
  const KernelId track(static_cast<std::uint32_t>(uploaded->first));
  const std::vector<KernelId> tracks = Tracks(client);
  ASSERT_EQ(tracks.size(), 13u);
  EXPECT_NE(std::find(tracks.begin(), tracks.end(), track), tracks.end());
  EXPECT_EQ(client.GetTrackTitle(track), "Through The Proxy");
  EXPECT_EQ(client.GetTrackSize(track), int(bytes.size()));
  KernelId found;
  EXPECT_EQ(client.GetFirstTrackByTags(found, "Client Artist", "", ""), 1);
  EXPECT_EQ(found, track);

  client.SetProgressWindow(window_);
  ASSERT_EQ(client.DownloadTrack(track, platform::FromPosixPath(home_ + "/download.mp3"), 0), 0);
  const auto downloaded = WaitDone(WM_DOWNLOADDONE);
  ASSERT_TRUE(downloaded.has_value());
  EXPECT_EQ(downloaded->second, 0);
  EXPECT_EQ(ReadFile(home_ + "/download.mp3"), bytes);

  // A data file in a new folder.
  KernelId root, folder;
  client.GetDataRootFolder(root);
  ASSERT_EQ(client.CreateDataFolder("From Client", root, folder), 0);
  const std::string text = "a data file\r\n" + RandomBytes(5000, 3);
  std::ofstream(home_ + "/data.bin", std::ios::binary).write(text.data(), std::streamsize(text.size()));
  client.SetProgressWindow(window_);
  ASSERT_EQ(client.UploadDataFile(platform::FromPosixPath(home_ + "/data.bin"), folder, unused), 0);
  const auto dataDone = WaitDone(WM_UPLOADDONE);
  ASSERT_TRUE(dataDone.has_value());
  KernelId item;
  ASSERT_EQ(client.GetFirstDataItem(folder, item), 1);
  EXPECT_EQ(item.GetName(), "data.bin");
  client.SetProgressWindow(window_);
  ASSERT_EQ(client.DownloadDataFile(item, platform::FromPosixPath(home_ + "/data.back")), 0);
  ASSERT_TRUE(WaitDone(WM_DOWNLOADDONE).has_value());
  EXPECT_EQ(ReadFile(home_ + "/data.back"), text);

  // A failure's code and text travel back.
  EXPECT_EQ(client.DownloadTrack(KernelId(987654), platform::FromPosixPath(home_ + "/none.mp3"), 0), 1);
  std::string error;
  EXPECT_EQ(client.GetLastErrorText(error), "Invalid track, file, or playlist ID.");
  EXPECT_EQ(client.GetLastErrorCode(), 0x87);
  // So does the failure of a read of a track the player does not hold, which answers its
  // defaults; the proxy (the web pages' too) shows nothing for it.
  {
    platform::ScriptedHost host;
    KernelId none;
    EXPECT_EQ(client.UploadTrack(platform::FromPosixPath(home_ + "/no-such.mp3"), record, none), 1);
    EXPECT_EQ(client.GetLastErrorCode(), 0x8F);  // another failure first
    EXPECT_EQ(client.GetTrackTitle(KernelId(987653)), "");
    EXPECT_EQ(client.GetLastErrorCode(), 0x87);
    EXPECT_EQ(client.GetLastErrorText(error), "Invalid track, file, or playlist ID.");
    EXPECT_TRUE(host.shown().empty());
  }

  Stop(*manager);

  // The player keeps what it was given: a new start finds it, and no new demo.
  auto again = StartManager();
  ASSERT_TRUE(WaitForManager());
  KernelDeviceClient second;
  ASSERT_EQ(second.ConnectToManager(0, KernelId(5), KernelId(1), 0), 1);
  second.Connect();
  EXPECT_EQ(Tracks(second).size(), 13u);
  EXPECT_EQ(second.GetTrackTitle(track), "Through The Proxy");
  Stop(*again);
}

// Listing the tracks while another process transfers and lists: the player's SDK has one
// cursor over the tracks, which every other walk moved, so a listing came out cut short
// without a word. Each caller walks the tracks as they were at its walk's first step.
TEST_F(DriverEndToEndTest, AListingOfTheTracksIsWholeWhileOthersWalkThem) {
  auto manager = StartManager();
  ASSERT_TRUE(WaitForManager());
  KernelDeviceClient listing;
  ASSERT_EQ(listing.ConnectToManager(0, KernelId(5), KernelId(1), 0), 1);
  listing.Connect();
  const std::vector<KernelId> all = Tracks(listing);
  ASSERT_EQ(all.size(), 12u);
  const std::string bytes = RandomBytes(20'000, 5);
  std::ofstream(home_ + "/new.mp3", std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));

  // What another process does between two steps of the listing, on a thread of its own
  // (a request carries its thread): a transfer's upload and look-up by content, which
  // builds the content map with a walk of its own, and a whole listing.
  int step = 0;
  auto other = [&] {
    std::thread([&] {
      KernelDeviceClient transfer;
      if (transfer.ConnectToManager(0, KernelId(5), KernelId(1), 0) != 1) return;
      if (step % 2 == 0) {
        TrackRecord record;
        record.artist.Set("Other");
        record.title.Set("Step " + std::to_string(step));
        KernelId unused;
        transfer.UploadTrack(platform::FromPosixPath(home_ + "/new.mp3"), record, unused);
        transfer.InvalidateTrackIndex();
        KernelId found;
        transfer.FindTrackByContentId(KernelDevice::MakeContentId("Other", "", "Step 0"), found);
      } else {
        Tracks(transfer);
      }
    }).join();
    ++step;
  };
  std::vector<std::uint32_t> listed, want;
  for (const KernelId& t : all) want.push_back(t.word[0]);
  KernelId id;
  for (int n = listing.GetFirstAudioTrack(id); n != 0; n = listing.GetNextAudioTrack(id)) {
    listed.push_back(id.word[0]);
    other();
  }
  EXPECT_EQ(listed, want);
  Stop(*manager);
}

// The memory trayhub holds, in kB ("VmHWM" the most it held, "VmRSS" now).
long MemoryKB(pid_t pid, const std::string& field) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(in, line);) {
    if (line.compare(0, field.size() + 1, field + ":") == 0) return std::atol(line.c_str() + field.size() + 1);
  }
  return 0;
}

// Pages of a 5,000-track player, one after another and many at once, as browser tabs ask
// them: trayhub stays under 100 MB, and gives back what the pages needed once they are
// answered (each worker thread kept the memory of the largest page it had made).
TEST_F(DriverEndToEndTest, PagesOfALargePlayerKeepTrayhubSmall) {
  if (platform::testing::SlowFactor() > 1) GTEST_SKIP() << "a sanitizer's memory is its own";
  std::string error;
  ASSERT_TRUE(platform::CreateGeneratedPlayer(platform::FromPosixPath(home_ + "/appdata/player"), {.tracks = 5000},
                                              &error))
      << error;
  auto key = platform::SettingsKey::Create(platform::Hive::CurrentUser, g_ProductIdentity.settingsKey);
  key.SetDword("VX_Disable", 0);
  key.SetString("VX_TestSkinsDir", platform::FromPosixPath(TOVARIN_SKINS_DIR));
  // A port free when asked may be taken before the manager binds it: then another one.
  int port = 0;
  std::unique_ptr<ChildProcess> manager;
  for (int attempt = 0; attempt < 3 && !manager; ++attempt) {
    port = platform::testing::FreePort();
    ASSERT_NE(port, 0);
    key.SetDword("VX_PortD", static_cast<std::uint32_t>(port));
    manager = StartManager();
    ASSERT_TRUE(WaitForManager());
    if (const auto said = manager->ReadLine(300); said && said->find("Port was already occupied") != std::string::npos) {
      Stop(*manager);
      manager.reset();
    }
  }
  ASSERT_TRUE(manager);
  auto page = [port](const std::string& url) {
    return platform::testing::HttpGet(port, url).find("</footer>") != std::string::npos;
  };
  const std::vector<std::string> urls = {"/tracks.html", "/tracks.html?larg1=title", "/tracks.html?larg1=artist&larg2=50",
                                         "/search.html?larg1=advanced&larg2=year+%3E%3D+1990", "/artists.html",
                                         "/albums.html"};
  for (const std::string& url : urls) EXPECT_TRUE(page(url)) << url;
  const long quietKB = MemoryKB(manager->pid(), "VmRSS");
  std::atomic<int> whole{0};
  std::vector<std::thread> tabs;
  for (int i = 0; i < 16; ++i) tabs.emplace_back([&, i] { whole += page(urls[static_cast<std::size_t>(i) % 4]); });
  for (std::thread& t : tabs) t.join();
  EXPECT_EQ(whole, 16);
  const long peakKB = MemoryKB(manager->pid(), "VmHWM");
  EXPECT_LT(peakKB, 100 * 1024);
  // Once nothing has been asked for a few seconds, the memory the pages needed goes back.
  long nowKB = 0;
  for (int i = 0; i < 1500 && (nowKB = MemoryKB(manager->pid(), "VmRSS")) >= quietKB + 30 * 1024; ++i) {
    std::this_thread::sleep_for(10ms);
  }
  EXPECT_LT(nowKB, quietKB + 30 * 1024);
  Stop(*manager);
}

}  // namespace

// A damaged Gen_AppDataDir stops the manager with the reason, before it makes anything.
class AppDataTest : public DriverEndToEndTest {};

TEST_F(AppDataTest, AnUnusableApplicationDataFolderStopsTheManagerWithTheReason) {
  const std::string key = g_ProductIdentity.settingsKey;
  auto product = [&] { return *platform::SettingsKey::Open(platform::Hive::CurrentUser, key); };
  std::filesystem::remove_all(home_ + "/appdata/player");  // an earlier test's
  std::filesystem::create_directories(home_ + "/xdg");
  ::setenv("XDG_DATA_HOME", (home_ + "/xdg").c_str(), 1);
  std::ofstream(home_ + "/a-file") << "x";
  struct Case {
    const char* what;
    std::function<void()> damage;
    std::string reason;
  };
  const Case cases[] = {
      {"missing", [&] { product().DeleteValue("Gen_AppDataDir"); }, "is missing or cannot be read"},
      {"not a text", [&] { product().SetDword("Gen_AppDataDir", 7); }, "cannot be read: it is not a text"},
      {"empty", [&] { product().SetString("Gen_AppDataDir", ""); }, "is empty"},
      {"not a full path", [&] { product().SetString("Gen_AppDataDir", "appdata"); },
       "names \"appdata\", which is not a full path"},
      {"no such folder", [&] { product().SetString("Gen_AppDataDir", platform::FromPosixPath(home_ + "/gone")); },
       "names \"" + platform::FromPosixPath(home_ + "/gone") + "\", which does not exist"},
      {"a file", [&] { product().SetString("Gen_AppDataDir", platform::FromPosixPath(home_ + "/a-file")); },
       "names \"" + platform::FromPosixPath(home_ + "/a-file") + "\", which is not a folder"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    trayhubtest::PrepareManagerHome(home_, "7000,30000");
    c.damage();
    auto manager = StartManager();
    std::string out;
    while (auto line = manager->ReadLine(5000)) out += *line + "\n";
    if (platform::FindWindow(g_ProductIdentity.windowClassName) != 0) {
      ADD_FAILURE() << "the manager started";
      Stop(*manager);
      continue;
    }
    EXPECT_EQ(manager->Wait(), 0);
    EXPECT_NE(out.find("Kestrova Manager could not start.  The setting Gen_AppDataDir " + c.reason + "."),
              std::string::npos)
        << out;
    EXPECT_EQ(platform::FindWindow(g_ProductIdentity.windowClassName), 0u);
    // No demo player anywhere: not in the setting's folder, not in a default one.
    EXPECT_FALSE(std::filesystem::exists(home_ + "/xdg/tovarin"));
    EXPECT_FALSE(std::filesystem::exists(home_ + "/gone"));
    EXPECT_FALSE(std::filesystem::exists(home_ + "/appdata/player"));
    // Nor where "appdata" would lead if it were taken as a path: the manager's working
    // folder (the temporary folder the helpers start in).
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::temp_directory_path() / "appdata"));
  }
  // A skin registration says the same instead of copying somewhere else.
  std::ofstream(home_ + "/s.osk") << "skin";
  auto skin = trayhubtest::StartTool("trayhub", {"-s", home_ + "/s.osk"});
  std::string out;
  while (auto line = skin->ReadLine(10000)) out += *line + "\n";
  EXPECT_NE(out.find("Pallidor Skin \"s.osk\" could not be registered: the setting Gen_AppDataDir names \"" +
                     platform::FromPosixPath(home_ + "/a-file") + "\", which is not a folder."),
            std::string::npos)
      << out;
  ::unsetenv("XDG_DATA_HOME");
}

}  // namespace manager
