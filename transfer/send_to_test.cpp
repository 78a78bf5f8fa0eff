// The send-to entry: the launcher's row by its own name, one transfer at a time, the
// names as given, the library's list files and nobody else's, and the road to the engine.
#include "transfer/send_to.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "common/folders.h"
#include "testing/temp_home.h"
#include "device/memory_device.h"
#include "testing/processes.h"
#include "platform/paths/paths.h"
#include "platform/settings/settings.h"
#include "platform/shell/shell.h"
#include "platform/ui/scripted_host.h"
#include "testing/audio_fixtures.h"

using namespace device;

namespace transfer {
namespace {

const bool kIsolated = platform::testing::IsolateNamespace();

namespace fs = std::filesystem;
using testing::ReadBytes;
using testing::WriteBytes;

TEST(SendToTest, TheLaunchersOwnFileNameChoosesItsRow) {
  for (const LauncherRow& row : LauncherTable()) {
    EXPECT_EQ(FindLauncherRow("/opt/tovarin/" + LauncherName(row)), &row) << LauncherName(row);
  }
  ASSERT_NE(FindLauncherRow("C:\\Tovarin\\TOVARINJ2"), nullptr);
  EXPECT_STREQ(FindLauncherRow("C:\\Tovarin\\TOVARINJ2")->familyCode, "j2");
  for (const char* other : {"/opt/tovarin/tovarinxx", "/music/tovarinj1 song.mp3", "tovarinj1x", "/opt/tovarinj1/x"}) {
    EXPECT_EQ(FindLauncherRow(other), nullptr) << other;
  }
}

TEST(SendToTest, QuotedNamesAreSplitAtEveryQuote) {
  const struct {
    const char* text;
    std::vector<std::string> names;
  } cases[] = {
      {"\"C:\\a.mp3\" \"C:\\b c.mp3\"", {"C:\\a.mp3", "C:\\b c.mp3"}},
      {"C:\\no quotes.mp3", {"C:\\no quotes.mp3"}},
      {"  \"  \" \"x\" ", {"x"}},
      {"\"it\"s.mp3\"", {"it", "s.mp3"}},
      {"", {}},
  };
  for (const auto& c : cases) EXPECT_EQ(SplitQuotedNames(c.text), c.names) << c.text;
}

// A player that takes everything at once and accepts the transfer's segment number.
class Player : public MemoryDeviceBase {
 public:
  int SelectStorage(const KernelId&) override { return 0; }
};

class SendToEntryTest : public TempHome {
 protected:
  void SetUp() override {
    TempHome::SetUp();
    settings_ = platform::SettingsKey::Create(platform::Hive::CurrentUser, g_ProductIdentity.settingsKey);
    settings_->SetDword("Gen_Tx_AutoCloseDialog", 1);
    settings_->SetDword("JB_Tx_DisableAskAutoPlaylistCreation", 1);
    src_ = root_ + "/src";
    fs::create_directories(src_);
  }
  std::string WorkFile(const char* folder, const char* name) {
    std::string path;
    GetWorkFolder(path, folder);
    return path + name;
  }
  std::string Source(const std::string& name, const std::string& bytes = "x") {
    WriteBytes(src_ + "/" + name, bytes);
    return src_ + "/" + name;
  }
  std::vector<std::string> DataNames(const KernelId& folder) {
    KernelDevice& d = player_;
    std::vector<std::string> names;
    KernelId item;
    for (int n = d.GetFirstDataItem(folder, item); n != 0; n = d.GetNextDataItem(folder, item)) {
      names.push_back(d.GetDataItemName(item));
    }
    return names;
  }
  void Send(const std::vector<std::string>& names, const std::string& launcher = "/opt/tovarin/tovarinj1") {
    DoTovarin(names, launcher, player_, nullptr);
  }

  platform::ScriptedHost host_;
  std::optional<platform::SettingsKey> settings_;
  std::string src_;
  Player player_;
};

TEST_F(SendToEntryTest, OneTransferAtATimeAndALockWhoseHolderDiedIsFree) {
  {
    platform::testing::ChildProcess holder("kernel_test_helper", {"hold", "lock", "TVSEM"});
    ASSERT_EQ(holder.ReadLine(), std::optional<std::string>("ready"));
    host_.ExpectMessageBox(platform::IDOK, "Another transfer is already in progress.");
    Send({Source("a.txt")});
    EXPECT_TRUE(DataNames(player_.DataRoot()).empty());
  }  // the holder is killed
  Send({Source("a.txt")});
  EXPECT_EQ(DataNames(player_.DataRoot()), (std::vector<std::string>{"a.txt"}));
  EXPECT_EQ(host_.pendingAnswers(), 0u);
}

TEST_F(SendToEntryTest, WhatTheEntryRefusesAndSays) {
  const std::string missingList = WorkFile("tx2device", "_txman.dat");
  host_.ExpectMessageBox(platform::IDOK, "Send To did not receive any filenames.");
  Send({});
  host_.ExpectMessageBox(platform::IDOK, "Send To did not receive any filenames.");
  Send({" ", ""});
  // A name that looks like a launcher chooses nothing: the launcher's own file does.
  const std::string song = Source("tovarinj1 song.txt");
  host_.ExpectMessageBox(platform::IDOK, "Send To was called with an invalid command-line:\n/opt/tovarin/tovarinqq \"" + song + "\"");
  Send({song}, "/opt/tovarin/tovarinqq");
  host_.ExpectMessageBox(platform::IDOK, "Transfer setup found no files.");
  Send({missingList});
  // A FIFO in the list's place would never answer a read.
  ASSERT_EQ(::mkfifo(platform::ToPosixPath(missingList).c_str(), 0600), 0);
  host_.ExpectMessageBox(platform::IDOK, "Transfer setup found no files.");
  Send({missingList});
  platform::RemoveFile(missingList);
  host_.ExpectMessageBox(platform::IDNO, "No files found after path expansions.  Would you like to view the expansion log?");
  platform::ShellOpenRecording opened;
  Send({src_ + "/missing.mp3"});
  EXPECT_TRUE(opened.calls().empty());
  EXPECT_TRUE(DataNames(player_.DataRoot()).empty());
  EXPECT_EQ(host_.pendingAnswers(), 0u);
}

TEST_F(SendToEntryTest, OnlyTheLibrarysOwnListFilesAreReadAsListsAndDeleted) {
  const std::string a = Source("a.txt");
  const std::string b = Source("b with \"quotes\" and |.txt");
  // A person's own file of that name is sent as it is.
  const std::string own = Source("_txman.dat", platform::FromPosixPath(a) + "\r\n");
  Send({own});
  EXPECT_EQ(DataNames(player_.DataRoot()), (std::vector<std::string>{"_txman.dat"}));
  EXPECT_TRUE(fs::exists(own));

  // The library's list: every line a name, the file gone afterwards.
  const std::string list = platform::ToPosixPath(WorkFile("tx2device", "_txman.dat"));
  WriteBytes(list, platform::FromPosixPath(a) + "\r\n" + platform::FromPosixPath(b) + "\r\n");
  Send({list});
  EXPECT_FALSE(fs::exists(list));
  std::vector<std::string> names = DataNames(player_.DataRoot());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"_txman.dat", "a.txt", "b with \"quotes\" and |.txt"}));

  // A data-folder list: its first line names the folder, the rest go there unexpanded.
  const KernelId docs = player_.AddDataFolder(KernelId(), "Docs");
  const std::string data = platform::ToPosixPath(WorkFile("tx2device", "_txdat.dat"));
  WriteBytes(data, std::to_string(docs.word[0]) + "\r\n" + platform::FromPosixPath(Source("c.txt")) + "\r\n");
  Send({data});
  EXPECT_FALSE(fs::exists(data));
  EXPECT_EQ(DataNames(docs), (std::vector<std::string>{"c.txt"}));
  EXPECT_EQ(ListFileKindOf(WorkFile("stageq", "_stq.dat")), ListFileKind::kStaging);
  EXPECT_EQ(ListFileKindOf(WorkFile("tx2device", "_stq.dat")), ListFileKind::kNone);
}

TEST_F(SendToEntryTest, ASynchronisationsListIsSentAsASynchronisation) {
  const struct {
    const char* folder;
    const char* file;
    ListFileKind kind;
  } kinds[] = {{"tx2device", "_txsync.dat", ListFileKind::kSync},
               {"stageq", "_txsync.dat", ListFileKind::kNone},
               {"tx2device", "_txsync.dat.bak", ListFileKind::kNone}};
  for (const auto& k : kinds) EXPECT_EQ(ListFileKindOf(WorkFile(k.folder, k.file)), k.kind) << k.folder << k.file;

  // Data files stay behind: a synchronisation keeps music in step.
  const std::string list = platform::ToPosixPath(WorkFile("tx2device", "_txsync.dat"));
  WriteBytes(list, platform::FromPosixPath(Source("notes.txt")) + "\r\n");
  Send({list});
  EXPECT_FALSE(fs::exists(list));
  EXPECT_TRUE(DataNames(player_.DataRoot()).empty());
  const std::string log = ReadBytes(platform::ToPosixPath(GetReportPath("_txlog.txt")));
  EXPECT_NE(log.find("Synchronizing Device to PC"), std::string::npos) << log;
  EXPECT_NE(log.find("notes.txt.File is data...data files skipped during sync...skipped."), std::string::npos) << log;
}

TEST_F(SendToEntryTest, TheFolderIdIsAnUnsignedThirtyTwoBitNumber) {
  const std::string data = platform::ToPosixPath(WorkFile("tx2device", "_txdat.dat"));
  WriteBytes(data, "4294967295\r\n" + platform::FromPosixPath(Source("c.txt")) + "\r\n");
  host_.ExpectMessageBox(platform::IDOK, "Problem encountered during transfer to your device.");
  Send({data});  // the in-memory player has no such folder
  const std::string log = ReadBytes(platform::ToPosixPath(GetReportPath("_txlog.txt")));
  EXPECT_NE(log.find("Transfer target is Memory Player and data folder 4294967295."), std::string::npos) << log;
}

TEST_F(SendToEntryTest, ANameWithALineBreakIsRefusedWithItsReasonAndTheRestIsSent) {
  const std::string broken = Source("two\nlines.txt");
  const std::string fine = Source("fine.txt");
  Send({broken, fine});
  EXPECT_EQ(DataNames(player_.DataRoot()), (std::vector<std::string>{"fine.txt"}));
  const std::string log = ReadBytes(platform::ToPosixPath(GetReportPath("_exlog.txt")));
  EXPECT_NE(log.find("two\\nlines.txt...the name holds a line break...skipped."), std::string::npos) << log;
}

// A file manager or a shell hands names relative to its own folder: they name the files
// there, whatever the expansion does with the process's folder.
TEST_F(SendToEntryTest, RelativeNamesAreTakenFromTheLaunchersFolder) {
  fs::create_directories(src_ + "/Album");
  Source("Album/one.txt");
  Source("two.txt");
  const fs::path before = fs::current_path();
  fs::current_path(src_);
  Send({"Album/one.txt", "./two.txt"});
  fs::current_path(before);
  std::vector<std::string> names = DataNames(player_.DataRoot());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"one.txt", "two.txt"}));
  EXPECT_EQ(SystemFormOfName("C:\\music\\a.mp3"), "C:\\music\\a.mp3");
  EXPECT_EQ(SystemFormOfName("/music/a\\b.mp3"), "");  // no Windows-form path names it
}

TEST_F(SendToEntryTest, ANameWithABackslashIsRefusedWithItsReasonAndTheRestIsSent) {
  const std::string odd = Source("back\\slash.txt");
  const std::string fine = Source("fine.txt");
  Send({odd, fine});
  EXPECT_EQ(DataNames(player_.DataRoot()), (std::vector<std::string>{"fine.txt"}));
  const std::string log = ReadBytes(platform::ToPosixPath(GetReportPath("_exlog.txt")));
  EXPECT_NE(log.find("back\\slash.txt...the name holds a backslash, which the player cannot take...skipped."),
            std::string::npos)
      << log;
}

}  // namespace
}  // namespace transfer
