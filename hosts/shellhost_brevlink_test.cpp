// Brevlink in shellhost against trayhub with the demo player: the view's "Sync" hands the
// source folders' new music to the installed launcher, which puts it on the player; the
// next Sync sends only what is new since, and pictures beside the music stay behind.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <set>
#include <thread>

#include "testing/shellhost.h"
#include "platform/paths/paths.h"
#include "platform/settings/settings.h"
#include "testing/audio_fixtures.h"
#include "transfer/log_file.h"
#include "transfer/send_to.h"

using namespace device;

namespace shellhosttest {
namespace {

const bool kIsolated = platform::testing::IsolateNamespace();

namespace fs = std::filesystem;

class BrevlinkTest : public ShellhostTest {
 protected:
  void SetUp() override {
    ShellhostTest::SetUp();
    // The install step's layout: the library beside one launcher copy per family name.
    const std::string tools = platform::testing::ToolsFolder();
    for (const char* name : {"tovarin.so", "tovarinwx.so"}) {
      fs::copy_file(tools + "/../lib/" + name, home_ + "/lib/" + name, fs::copy_options::overwrite_existing);
    }
    for (const char* family : {"j1", "j2", "j3", "jz"}) {
      fs::copy_file(tools + "/tovarinxx", home_ + "/lib/tovarin" + family, fs::copy_options::overwrite_existing);
    }
    settings_.emplace(*platform::SettingsKey::Open(platform::Hive::CurrentUser, g_ProductIdentity.settingsKey));
    settings_->SetString("", platform::FromPosixPath(home_ + "/lib"));
    music_ = home_ + "/music";
    fs::remove_all(music_);
    fs::create_directories(music_ + "/album");
    settings_->SetString("JB_Tx_SyncFolderList", platform::FromPosixPath(music_) + "|");
    ASSERT_TRUE(transfer::testing::MakeTone(scratch_ / "t.wav", 1));
  }

  void WriteMp3(const std::string& path, const std::string& title) {
    ASSERT_TRUE(transfer::testing::Tool(
        {"lame", "--quiet", "-b", "64", "--tt", title, "--ta", "Sync Artist", "--tl", "Sync Album", scratch_ / "t.wav", path}));
  }

  std::set<std::string> Titles(KernelDeviceClient& client) {
    std::set<std::string> titles;
    KernelId track;
    for (int n = client.GetFirstAudioTrack(track); n != 0; n = client.GetNextAudioTrack(track)) {
      titles.insert(client.GetTrackTitle(track));
    }
    return titles;
  }

  std::string TransferLog() {
    return transfer::testing::ReadBytes(platform::ToPosixPath(transfer::TransferLogFile().GetPath()));
  }

  // Waits until the player holds the titles and the launcher's log is closed after them.
  bool WaitForTransfer(KernelDeviceClient& client, const std::set<std::string>& titles, std::size_t fileLines) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60 * platform::testing::SlowFactor());
    while (std::chrono::steady_clock::now() < until) {
      const std::set<std::string> now = Titles(client);
      const std::string log = TransferLog();
      std::size_t files = 0;
      for (std::size_t at = log.find("\nFile: "); at != std::string::npos; at = log.find("\nFile: ", at + 1)) ++files;
      if (std::includes(now.begin(), now.end(), titles.begin(), titles.end()) && files == fileLines &&
          log.ends_with("complete.\r\n")) {
        // The launcher holds the one-transfer lock until it ends.
        platform::NamedLock single(transfer::TransferLockName());
        if (!single.Lock(30000 * platform::testing::SlowFactor())) return false;
        single.Unlock();
        return true;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
  }

  std::optional<platform::SettingsKey> settings_;
  std::string music_;
  transfer::testing::ScratchFolder scratch_;
};

TEST_F(BrevlinkTest, SyncSendsTheSourceFoldersNewMusicOnce) {
  StartManager("trayhub");
  KernelDeviceClient client;
  ASSERT_TRUE(Connect(client));
  WriteMp3(music_ + "/one.mp3", "Sync One");
  WriteMp3(music_ + "/album/two.mp3", "Sync Two");
  transfer::testing::WriteBytes(music_ + "/album/cover.jpg", "a picture");

  Session session(home_);
  std::string out = Joined(session.Run({"view Audio Tracks", "command 2611"}));
  ASSERT_TRUE(WaitForTransfer(client, {"Sync One", "Sync Two"}, 2)) << out << TransferLog();
  EXPECT_EQ(TransferLog().find("cover.jpg"), std::string::npos);

  // Only the new file goes the second time.
  WriteMp3(music_ + "/album/three.mp3", "Sync Three");
  out = Joined(session.Run({"command 2611"}));
  ASSERT_TRUE(WaitForTransfer(client, {"Sync Three"}, 1)) << out << TransferLog();
  EXPECT_NE(TransferLog().find("File: " + platform::FromPosixPath(music_ + "/album/three.mp3") + ".File is audio"),
            std::string::npos);

  out = Joined(session.Run({"command 2611"}));
  EXPECT_NE(out.find("Brevlink found no new files to transfer."), std::string::npos) << out;
  const std::set<std::string> titles = Titles(client);
  EXPECT_EQ(std::count_if(titles.begin(), titles.end(), [](const std::string& t) { return t.starts_with("Sync "); }), 3);
}

}  // namespace
}  // namespace shellhosttest
