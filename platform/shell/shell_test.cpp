#include "platform/shell/shell.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/shell/start_report.h"

namespace platform {
namespace {

namespace fs = std::filesystem;

std::string ReadFile(const fs::path& p) {
  std::ifstream in(p);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

class ShellTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string t = (fs::temp_directory_path() / "tovarin-shell-XXXXXX").string();
    ASSERT_NE(::mkdtemp(t.data()), nullptr);
    dir_ = t;
    const char* path = std::getenv("PATH");
    savedPath_ = path != nullptr ? path : "";
  }
  void TearDown() override {
    ::setenv("PATH", savedPath_.c_str(), 1);
    fs::remove_all(dir_);
  }
  // An executable script in the temporary folder.
  fs::path Script(const std::string& name, const std::string& body) {
    fs::path p = dir_ / name;
    std::ofstream(p) << "#!/bin/sh\n" << body << "\n";
    ::chmod(p.c_str(), 0755);
    return p;
  }
  fs::path dir_;
  std::string savedPath_;
};

TEST_F(ShellTest, StartsWithArgumentsAndWorkingFolderAndReportsTheExitCode) {
  StartResult r = StartProcess("sh", {"-c", "pwd > out.txt; printf '%s|' \"$@\" >> out.txt; exit 3", "sh", "a b", "", "c"},
                               StartOptions{dir_.string(), true});
  ASSERT_TRUE(r.started) << r.error;
  EXPECT_EQ(r.exitCode, 3);
  EXPECT_EQ(ReadFile(dir_ / "out.txt"), fs::canonical(dir_).string() + "\na b||c|");

  StartResult late = StartProcess("sh", {"-c", "sleep 0.1; exit 5"});
  ASSERT_TRUE(late.started);
  EXPECT_EQ(late.exitCode, -1);
  EXPECT_EQ(WaitForProcess(late.pid, 5000), 5);
  EXPECT_EQ(WaitForProcess(late.pid, 10), std::nullopt);  // reaped already

  StartResult killed = StartProcess("sh", {"-c", "kill -9 $$"}, StartOptions{{}, true});
  EXPECT_EQ(killed.exitCode, 128 + 9);

  StartResult missing = StartProcess("no-such-program-anywhere", {});
  EXPECT_FALSE(missing.started);
  EXPECT_NE(missing.error.find("Could not start \"no-such-program-anywhere\""), std::string::npos);
}

// A long-lived host (a file manager) starts programs nobody waits for: each is reaped as
// it ends, not left a zombie until the next start.
TEST_F(ShellTest, AProgramNobodyWaitsForIsReapedWhenItEnds) {
  const StartResult r = StartProcess("sh", {"-c", "exit 0"});
  ASSERT_TRUE(r.started) << r.error;
  const std::string stat = "/proc/" + std::to_string(r.pid) + "/stat";
  bool gone = false;
  for (int i = 0; i < 1000 && !gone; ++i) {
    gone = !fs::exists(stat);
    if (!gone) ::usleep(5000);
  }
  EXPECT_TRUE(gone) << ReadFile(stat);
}

// A program started with awaitStart counts as started once it says so; one that ends
// before, as a launcher does whose library cannot be loaded, did not start.
TEST_F(ShellTest, AwaitingTheStartTellsAProgramThatEndedBeforeItRan) {
  const std::string reports = "[ -n \"$" + std::string(kStartReportVariable) + "\" ] && eval \"printf x >&$" +
                              kStartReportVariable + "\"; ";
  const std::string closesIt = "eval \"exec $" + std::string(kStartReportVariable) + ">&-\"; ";
  const struct {
    const char* what;
    std::string script;
    bool started;
    std::string error;
  } cases[] = {
      {"reports, then works on", reports + "sleep 0.3", true, ""},
      {"reports and ends", reports + "exit 1", true, ""},
      {"cannot be loaded", "exit 127", false, "it could not be loaded (a library it needs is missing)"},
      {"ends at once", "exit 4", false, "it ended at once (exit code 4)"},
      {"killed at once", "kill -9 $$", false, "it ended at once (signal 9)"},
      {"closes the descriptor and works on", closesIt + "sleep 1", true, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const fs::path program = Script("prog", c.script);
    StartOptions options;
    options.awaitStart = true;
    const StartResult r = StartProcess(program.string(), {}, options);
    EXPECT_EQ(r.started, c.started) << r.error;
    EXPECT_EQ(r.error, c.started ? "" : "Could not start \"" + program.string() + "\": " + c.error);
    if (r.started) {
      EXPECT_TRUE(WaitForProcess(r.pid, 5000).has_value());
    }
  }
  // The variable names no descriptor of a program started without awaitStart.
  const fs::path env = dir_ / "env.txt";
  const StartResult plain = StartProcess("sh", {"-c", "env > '" + env.string() + "'"}, StartOptions{{}, true});
  ASSERT_TRUE(plain.started);
  EXPECT_EQ(ReadFile(env).find(kStartReportVariable), std::string::npos);
}

TEST_F(ShellTest, RecorderCapturesWhatWouldBeOpened) {
  {
    ShellOpenRecording recording;
    EXPECT_TRUE(ShellOpen("http://localhost:8047/", ""));
    EXPECT_TRUE(ShellOpen("/tmp/list.m3u", "-x"));
    auto calls = recording.calls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].target, "http://localhost:8047/");
    EXPECT_EQ(calls[1].target, "/tmp/list.m3u");
    EXPECT_EQ(calls[1].parameters, "-x");
  }
  // Removed with the recording: a failing opener is reached again.
  ::setenv("PATH", dir_.c_str(), 1);
  EXPECT_FALSE(ShellOpen("http://localhost:8047/"));
}

TEST_F(ShellTest, OpensDocumentsThroughTheDesktopOpener) {
  fs::path log = dir_ / "opened.txt";
  Script("xdg-open", "echo \"$@\" > '" + log.string() + "'");
  ::setenv("PATH", dir_.c_str(), 1);
  ASSERT_TRUE(ShellOpen("/home/u/httplog.html", "ignored"));
  for (int i = 0; i < 500 && ReadFile(log).empty(); ++i) ::usleep(10000);
  EXPECT_EQ(ReadFile(log), "/home/u/httplog.html\n");
}

TEST_F(ShellTest, RunsExecutablesWithTheirParameters) {
  fs::path log = dir_ / "ran.txt";
  fs::path program = Script("tool", "printf '%s|' \"$@\" > '" + log.string() + "'");
  ASSERT_TRUE(ShellOpen(program.string(), "one \"two words\" three"));
  for (int i = 0; i < 500 && ReadFile(log).empty(); ++i) ::usleep(10000);
  EXPECT_EQ(ReadFile(log), "one|two words|three|");
}

TEST_F(ShellTest, MissingOpenerIsReported) {
  ::setenv("PATH", dir_.c_str(), 1);
  ::testing::internal::CaptureStderr();
  EXPECT_FALSE(ShellOpen("/home/u/notes.txt"));
  std::string err = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("cannot open \"/home/u/notes.txt\""), std::string::npos);
  EXPECT_NE(err.find("xdg-open"), std::string::npos);
  EXPECT_FALSE(ShellOpen(""));
}

}  // namespace
}  // namespace platform
