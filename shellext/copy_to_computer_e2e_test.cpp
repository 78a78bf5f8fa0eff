// Copying to the computer from the demo player behind a real trayhub: the files come
// through the player driver's downloads and their completion notices, byte for byte,
// under names made safe, and an existing file stays unless the person says otherwise.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "device/track_names.h"
#include "testing/trayhub.h"
#include "platform/ui/scripted_host.h"
#include "shellext/context_menu.h"
#include "shellext/copy_to_computer.h"
#include "shellext/enum_id_list.h"
#include "shellext/shell_folder.h"
#include "testing/shellext.h"
#include "transfer/log_file.h"

using namespace device;

namespace shellexttest {
namespace {

namespace fs = std::filesystem;

const bool kIsolated = platform::testing::IsolateNamespace();

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

class CopyE2E : public LibraryTest {
 protected:
  void SetUp() override {
    (void)kIsolated;
    LibraryTest::SetUp();
    home_ = std::getenv("TOVARIN_HOME");
    auto key = trayhubtest::PrepareManagerHome(home_, "2000,20000");
    g_ProductIdentity.InitFromPath("/opt/tovarin/ombrixj1.so");
    ::unsetenv("TOVARIN_DEVICE");
    shellext::ForgetFixedFolderListsForTesting();
    manager_ = trayhubtest::StartTool(Tool());
    ASSERT_NE(trayhubtest::WaitForManager(0, 2000), 0u);
    ASSERT_EQ(client_.ConnectToManager(0, KernelId(1), KernelId(1), 0), 1);
    for (int i = 0; i < 1000 && client_.IsConnected() == 0; ++i) platform::Sleep(10);
    ASSERT_NE(client_.IsConnected(), 0);
    Use(client_);
    Settings().SetDword("Gen_Tx_AutoCloseDialog", 1);
  }
  void TearDown() override {
    shellext::SetDeviceForTesting(nullptr);
    if (manager_) {
      manager_->Kill(SIGTERM);
      manager_->Wait();
    }
    LibraryTest::TearDown();
  }
  virtual const char* Tool() const { return "trayhub"; }
  // The player's own copy of an item's content in the simulated store.
  std::string StoreContent(const KernelId& id) {
    for (const auto& e : fs::directory_iterator(home_ + "/appdata/player/files")) {
      if (e.path().stem() == std::to_string(id.word[0])) return ReadAll(e.path());
    }
    return "(not in the store)";
  }

  std::string home_;
  std::unique_ptr<platform::testing::ChildProcess> manager_;
  KernelDeviceClient client_;
  platform::ScriptedHost host_;
};

TEST_F(CopyE2E, TracksComeByteForByteUnderSafeNames) {
  std::vector<KernelId> tracks;
  KernelId t;
  for (int n = client_.GetFirstAudioTrack(t); n != 0 && tracks.size() < 3; n = client_.GetNextAudioTrack(t)) {
    tracks.push_back(t);
  }
  ASSERT_EQ(tracks.size(), 3u);
  // Titles a person or another program may give: a name of dots, separators and marks.
  ASSERT_EQ(client_.SetTrackTitle(tracks[0], ".."), 0);
  ASSERT_EQ(client_.SetTrackTitle(tracks[1], "a:b?c*\x01"), 0);
  client_.CommitChanges();
  Settings().SetString("JB_Tx2PC_FilenameFormat", "%T");
  const std::string to = home_ + "/copies";
  fs::create_directories(to);
  std::string third;
  GetTrackFileName(third, client_, tracks[2]);
  std::ofstream(to + "/" + third, std::ios::binary) << "mine";

  shellext::CPidlList selection;
  for (const ShellItemData& item : Items(At({"Audio Tracks"}))) {
    if (std::find(tracks.begin(), tracks.end(), item.id) == tracks.end()) continue;
    selection.emplace_back(MakeList(item));
  }
  ASSERT_EQ(selection.size(), 3u);
  host_.ExpectMessageBox(platform::IDNO, "already exists");
  const shellext::CopyResult result = shellext::BuildCopyToComputerLists(selection, platform::FromPosixPath(to));
  EXPECT_EQ(result.written.size(), 2u);
  EXPECT_EQ(result.skipped, 1);
  EXPECT_EQ(ReadAll(to + "/__"), StoreContent(tracks[0]));
  EXPECT_EQ(ReadAll(to + "/a_b_c_"), StoreContent(tracks[1]));  // the control character was a blank, trimmed
  EXPECT_EQ(ReadAll(to + "/" + third), "mine");
  for (const auto& e : fs::directory_iterator(to)) EXPECT_EQ(e.path().filename().string().find(".tovarin-"), std::string::npos);
}

// The computer's disk fills during the copy: the log says so, and the copy stops there
// with one message instead of failing every further file the same way.
class DiskFullCopyE2E : public CopyE2E {
 protected:
  void SetUp() override {
    ::setenv("LAUNCHER_TEST_DISK_FULL", "1", 1);
    CopyE2E::SetUp();
  }
  void TearDown() override {
    CopyE2E::TearDown();
    ::unsetenv("LAUNCHER_TEST_DISK_FULL");
  }
  const char* Tool() const override { return "launcher_test_manager"; }
};

TEST_F(DiskFullCopyE2E, TheLogSaysTheDiskIsFull) {
  shellext::CPidlList selection;
  for (const ShellItemData& item : Items(At({"Audio Tracks"}))) {
    if (item.nodeType == shellext::NT_TRACK && selection.size() < 3) selection.emplace_back(MakeList(item));
  }
  ASSERT_EQ(selection.size(), 3u);
  const std::string to = home_ + "/full";
  fs::create_directories(to);
  host_.ExpectMessageBox(platform::IDOK, "is full.\n3 files could not be copied.");
  const shellext::CopyResult result = shellext::BuildCopyToComputerLists(selection, platform::FromPosixPath(to));
  EXPECT_TRUE(result.written.empty());
  EXPECT_EQ(result.failed, 1);
  const std::string log = ReadAll(platform::ToPosixPath(transfer::GetReportPath("_txlog.txt")));
  EXPECT_NE(log.find("error (0x90)(0x0). Could not download, disk is full."), std::string::npos) << log;
  std::size_t lines = 0;
  for (std::size_t at = log.find("Copying "); at != std::string::npos; at = log.find("Copying ", at + 1)) ++lines;
  EXPECT_EQ(lines, 1u) << log;
  EXPECT_TRUE(fs::is_empty(to));  // no part of a file stays
  EXPECT_EQ(host_.pendingAnswers(), 0u);
}

}  // namespace
}  // namespace shellexttest
