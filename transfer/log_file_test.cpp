// Log files: their names in the reports folder, their first line, their line ends, and
// lines on disk as soon as they are written.
#include "transfer/log_file.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <regex>

#include "common/folders.h"
#include "testing/other_user.h"
#include "testing/temp_home.h"
#include "platform/paths/paths.h"
#include "platform/shell/shell.h"
#include "platform/ui/scripted_host.h"
#include "testing/audio_fixtures.h"

namespace transfer {
namespace {

class LogFileTest : public TempHome {
 protected:
  std::string Reports() {
    std::string folder;
    return platform::ToPosixPath(GetWorkFolder(folder, "reports"));
  }
};

TEST_F(LogFileTest, EachLogHasItsName) {
  ExpansionLogFile exlog;
  ExpansionListFile explist;
  TransferLogFile txlog;
  TagWriteBackLogFile twblog;
  OutlookSyncLogFile outlook;
  const struct {
    const TempFile& log;
    const char* name;
  } cases[] = {{exlog, "_exlog.txt"},    {explist, "_explist.txt"},       {txlog, "_txlog.txt"},
               {twblog, "_twblog.txt"}, {outlook, "_outlsynclog.txt"}};
  std::string folder;
  GetWorkFolder(folder, "reports");
  for (const auto& c : cases) {
    EXPECT_EQ(c.log.GetPath(), folder + c.name);
    EXPECT_FALSE(c.log.IsOpen());
  }
  EXPECT_EQ(GetSyncLogPath(), folder + "_synclog.txt");
  EXPECT_EQ(GetOutlookSyncLogPath(), folder + "_outlsynclog.txt");
}

TEST_F(LogFileTest, BytesOnDiskAsEachLineIsWritten) {
  TransferLogFile log;
  const std::string file = Reports() + "_txlog.txt";
  testing::WriteBytes(file, "the previous run's log, much longer than the new one\r\n");
  ASSERT_EQ(log.Open(), 1);
  const std::string first = testing::ReadBytes(file);
  // 12-hour clock with seconds, AM or PM, two blanks, year-month-day.
  EXPECT_TRUE(std::regex_match(first, std::regex(R"((0[1-9]|1[0-2]):[0-5]\d:[0-6]\d (AM|PM)  \d{4}-\d\d-\d\d\r\n)")))
      << first;
  log.WriteString("Sending a.mp3...complete.");
  EXPECT_EQ(testing::ReadBytes(file), first + "Sending a.mp3...complete.\r\n");
  log.WriteString("");
  EXPECT_EQ(testing::ReadBytes(file), first + "Sending a.mp3...complete.\r\n\r\n");
  log.Close();
  log.WriteString("after closing");  // a closed log writes nothing
  EXPECT_EQ(testing::ReadBytes(file), first + "Sending a.mp3...complete.\r\n\r\n");
}

// A list written whole has the bytes its lines would have one by one, also when it
// goes to the system in more than one block.
TEST_F(LogFileTest, ALineListIsWrittenAsItsLinesWouldBe) {
  const std::vector<std::vector<std::string>> lists = {
      {}, {""}, {"C:\\a.mp3"}, {"C:\\a.mp3", "", "C:\\b c\\d.mp3"},
      std::vector<std::string>(3000, std::string(100, 'x')),  // some 300 KB
      {std::string(200 << 10, 'y'), "after a line larger than a block"}};
  const std::string file = Reports() + "_explist.txt";
  for (const auto& lines : lists) {
    std::string expected;
    {
      ExpansionListFile one;
      ASSERT_EQ(one.Open(), 1);
      for (const std::string& line : lines) one.WriteString(line);
      expected = testing::ReadBytes(file);
    }
    ExpansionListFile whole;
    ASSERT_EQ(whole.Open(), 1);
    whole.WriteLines(lines);
    whole.Close();
    whole.WriteLines(lines);  // closed: nothing
    // The first line is the opening time, which may have turned a second.
    const std::string got = testing::ReadBytes(file);
    ASSERT_EQ(got.substr(got.find("\r\n")), expected.substr(expected.find("\r\n"))) << lines.size();
  }
}

// A link put where a log goes is replaced, never written through; in a reports folder
// another user made, no log is written at all.
TEST_F(LogFileTest, ALogNeverWritesThroughALink) {
  testing::WriteBytes(root_ + "/precious", "keep me");
  const std::string file = Reports() + "_txlog.txt";
  ASSERT_EQ(::symlink((root_ + "/precious").c_str(), file.c_str()), 0);
  TransferLogFile log;
  ASSERT_EQ(log.Open(), 1);
  log.WriteString("Sending a.mp3...complete.");
  log.Close();
  EXPECT_EQ(testing::ReadBytes(root_ + "/precious"), "keep me");
  EXPECT_NE(testing::ReadBytes(file).find("Sending a.mp3...complete."), std::string::npos);

  using platform::testing::OtherUser;
  if (!OtherUser::Available()) GTEST_SKIP() << "no second user can be run here";
  const std::string shared = OtherUser::SharedFolder(root_);
  ASSERT_FALSE(shared.empty());
  const std::string theirs = shared + "/$Ombrix Jukebox$/reports";
  ASSERT_TRUE(OtherUser::Run("mkdir -p -m 777 '" + theirs + "' && chmod 777 '" + shared + "/$Ombrix Jukebox$' && ln -s '" +
                             root_ + "/precious' '" + theirs + "/_txlog.txt'"));
  setenv("TMPDIR", shared.c_str(), 1);
  TransferLogFile theirLog;
  EXPECT_EQ(theirLog.Open(), 0);
  theirLog.WriteString("Sending b.mp3...complete.");
  EXPECT_EQ(testing::ReadBytes(root_ + "/precious"), "keep me");
}

TEST_F(LogFileTest, LogThatCannotBeCreatedWritesNothing) {
  TempFile log(platform::FromPosixPath(root_ + "/no/such/folder/log.txt"));
  EXPECT_EQ(log.Open(), 0);
  EXPECT_FALSE(log.IsOpen());
  log.WriteString("lost");
}

TEST_F(LogFileTest, OpeningLogs) {
  platform::ScriptedHost host;
  platform::ShellOpenRecording opened;
  host.ExpectMessageBox(platform::IDOK, "Could not find log file.");
  OpenLogFile("_twblog.txt");
  EXPECT_TRUE(opened.calls().empty());

  TagWriteBackLogFile log;
  ASSERT_EQ(log.Open(), 1);
  log.Close();
  OpenLogFile("_twblog.txt");
  ASSERT_EQ(opened.calls().size(), 1u);
  EXPECT_EQ(opened.calls()[0].target, Reports() + "_twblog.txt");
}

}  // namespace
}  // namespace transfer
