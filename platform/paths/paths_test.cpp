#include "platform/paths/paths.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "testing/other_user.h"
#include "testing/temp_folder.h"

namespace platform {
namespace {

class PathsTest : public ::testing::Test {
 protected:
  void TearDown() override { unsetenv("TOVARIN_DRIVES"); }
};

TEST_F(PathsTest, WindowsToPosixTable) {
  setenv("TOVARIN_DRIVES", "D=/mnt/d/;e=/media/e", 1);
  struct Case { const char* win; const char* posix; };
  const Case cases[] = {
      {"C:\\dir\\file.mp3", "/dir/file.mp3"},   // unconfigured drive: "/"
      {"c:\\", "/"},
      {"C:", "/"},
      {"D:\\music\\a.mp3", "/mnt/d/music/a.mp3"},
      {"D:", "/mnt/d"},
      {"E:\\x", "/media/e/x"},                  // letters match either case
      {"\\home\\u\\a.mp3", "/home/u/a.mp3"},
      {"\\\\server\\share\\x", "/server/share/x"},
      {"rel\\a.txt", "rel/a.txt"},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(ToPosixPath(c.win), c.posix) << c.win;
}

TEST_F(PathsTest, PosixToWindowsTable) {
  setenv("TOVARIN_DRIVES", "D=/mnt/d;M=/mnt/d/music", 1);
  struct Case { const char* posix; const char* win; };
  const Case cases[] = {
      {"/home/u/a.mp3", "\\home\\u\\a.mp3"},
      {"/mnt/d/x", "D:\\x"},
      {"/mnt/d/music/y", "M:\\y"},   // the longest root wins
      {"/mnt/d", "D:\\"},
      {"/mnt/dd/x", "\\mnt\\dd\\x"},  // a root matches whole folders only
      {"a/b", "a\\b"},
  };
  for (const auto& c : cases) EXPECT_EQ(FromPosixPath(c.posix), c.win) << c.posix;
}

TEST_F(PathsTest, RoundTripOfPlainPosixPaths) {
  for (const char* p : {"/tmp/x y/z.mp3", "/", "/a"}) {
    EXPECT_EQ(ToPosixPath(FromPosixPath(p)), p);
  }
}

TEST_F(PathsTest, TempPathEndsWithBackslash) {
  const std::string t = GetTempPath();
  ASSERT_FALSE(t.empty());
  EXPECT_EQ(t.back(), '\\');
  EXPECT_TRUE(QueryFile(t).directory);
}

// What a person may name instead of a file: none of it blocks, none of it is read whole.
TEST_F(PathsTest, ReadRegularFileTakesOnlyBoundedRegularFiles) {
  const std::string dir = platform::testing::MakeTempFolder("paths");
  ASSERT_FALSE(dir.empty());
  std::ofstream(dir + "/a.txt") << "hello";
  ASSERT_EQ(::mkfifo((dir + "/fifo.m3u").c_str(), 0600), 0);
  ::symlink("/dev/zero", (dir + "/zero.rpb").c_str());
  ::symlink((dir + "/fifo.m3u").c_str(), (dir + "/to-fifo.vcf").c_str());
  ::symlink((dir + "/gone").c_str(), (dir + "/dangling.mp3").c_str());
  ::symlink((dir + "/loop2").c_str(), (dir + "/loop1").c_str());
  ::symlink((dir + "/loop1").c_str(), (dir + "/loop2").c_str());
  ::symlink((dir + "/a.txt").c_str(), (dir + "/link.txt").c_str());
  struct Case { const char* name; std::uint64_t bound; OpenFileError error; const char* bytes; };
  const Case cases[] = {
      {"a.txt", 100, OpenFileError::kNone, "hello"},
      {"link.txt", 100, OpenFileError::kNone, "hello"},
      {"a.txt", 5, OpenFileError::kNone, "hello"},
      {"a.txt", 4, OpenFileError::kTooLarge, ""},
      {"", 100, OpenFileError::kNotRegular, ""},  // the folder itself
      {"fifo.m3u", 100, OpenFileError::kNotRegular, ""},
      {"to-fifo.vcf", 100, OpenFileError::kNotRegular, ""},
      {"zero.rpb", 100, OpenFileError::kNotRegular, ""},
      {"missing", 100, OpenFileError::kMissing, ""},
      {"dangling.mp3", 100, OpenFileError::kMissing, ""},
      {"loop1", 100, OpenFileError::kUnreadable, ""},
  };
  for (const auto& c : cases) {
    const ReadFileResult r = ReadRegularFile(FromPosixPath(dir + "/" + c.name), c.bound);
    EXPECT_EQ(r.error, c.error) << c.name;
    EXPECT_EQ(r.bytes, c.bytes) << c.name;
  }
  EXPECT_EQ(OpenFileErrorText(OpenFileError::kTooLarge, 64u << 20), "larger than 64 MB");
  std::filesystem::remove_all(dir);
}


// Work folders: real folders of this user, mode 0700; anything else is refused.
TEST_F(PathsTest, MakePrivateFolderTakesOnlyThisUsersOwnRealFolders) {
  const std::string dir = platform::testing::MakeTempFolder("private");
  ASSERT_FALSE(dir.empty());
  ::mkdir((dir + "/open").c_str(), 0755);
  ::chmod((dir + "/open").c_str(), 0777);
  ::symlink((dir + "/open").c_str(), (dir + "/link").c_str());
  std::ofstream(dir + "/file") << "x";
  struct Case { const char* name; bool taken; };
  const Case cases[] = {{"new", true}, {"open", true}, {"link", false}, {"file", false}};
  for (const auto& c : cases) {
    std::string problem;
    EXPECT_EQ(MakePrivateFolder(dir + "/" + c.name, &problem), c.taken) << c.name;
    if (!c.taken) {
      EXPECT_NE(problem.find(dir + "/" + c.name), std::string::npos) << problem;
    }
  }
  struct stat st {};
  ASSERT_EQ(::lstat((dir + "/open").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0700u);  // tightened
  ASSERT_EQ(::lstat((dir + "/new").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0700u);

  if (platform::testing::OtherUser::Available()) {
    const std::string shared = platform::testing::OtherUser::SharedFolder(dir);
    ASSERT_FALSE(shared.empty());
    ASSERT_TRUE(MakePrivateFolder(dir + "/mine"));
    ASSERT_TRUE(platform::testing::OtherUser::Run("mkdir -m 700 '" + shared + "/theirs' && mkdir -m 777 '" + shared +
                                                  "/open' && ln -s '" + dir + "' '" + shared + "/link'"));
    // Theirs, or in a folder or through a link they may rename or swap (/tmp/tovarin-<uid>
    // made by them first, say); the shared folder itself is sticky, as /tmp is.
    const struct { std::string path, open; } refused[] = {
        {shared + "/theirs", ""}, {shared + "/open/mine", shared + "/open"}, {shared + "/link/mine", shared + "/link"}};
    for (const auto& r : refused) {
      std::string problem;
      EXPECT_FALSE(MakePrivateFolder(r.path, &problem)) << r.path;
      if (!r.open.empty()) {
        EXPECT_NE(problem.find("another user may change the folder " + r.open + " above it"), std::string::npos) << problem;
      }
    }
    EXPECT_FALSE(std::filesystem::exists(shared + "/open/mine"));
    EXPECT_FALSE(std::filesystem::exists(dir + "/mine/mine"));
    EXPECT_TRUE(MakePrivateFolder(shared + "/mine"));
  }
  std::filesystem::remove_all(dir);
}

TEST_F(PathsTest, CreatePrivateFileNeverWritesThroughALink) {
  const std::string dir = platform::testing::MakeTempFolder("private");
  ASSERT_FALSE(dir.empty());
  ASSERT_TRUE(MakePrivateFolder(dir + "/work"));
  std::ofstream(dir + "/precious") << "keep me";
  ::symlink((dir + "/precious").c_str(), (dir + "/work/log.txt").c_str());
  std::ofstream(dir + "/work/old.txt") << "old";

  for (const char* name : {"log.txt", "old.txt", "new.txt"}) {
    const int fd = CreatePrivateFile(FromPosixPath(dir + "/work/" + name));
    ASSERT_GE(fd, 0) << name;
    ASSERT_EQ(::write(fd, "fresh", 5), 5);
    ::close(fd);
    struct stat st {};
    ASSERT_EQ(::lstat((dir + "/work/" + name).c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode)) << name;
    EXPECT_EQ(st.st_mode & 07777, 0600u) << name;
    EXPECT_EQ(st.st_size, 5) << name;
  }
  std::ifstream in(dir + "/precious");
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "keep me");

  // Not in a folder others could write to or swap: one open to others, a link to a private one.
  ::mkdir((dir + "/open").c_str(), 0777);
  ::chmod((dir + "/open").c_str(), 0777);
  ::symlink((dir + "/work").c_str(), (dir + "/linked").c_str());
  for (const char* folder : {"open", "linked"}) {
    std::string problem;
    EXPECT_LT(CreatePrivateFile(FromPosixPath(dir + "/" + folder + "/x.txt"), &problem), 0) << folder;
    EXPECT_EQ(problem, "The folder " + dir + "/" + folder + " is not a private folder of this user.");
    EXPECT_FALSE(std::filesystem::exists(dir + "/" + folder + "/x.txt")) << folder;
  }
  std::filesystem::remove_all(dir);
}

// A list file the launcher reads: only one this user's library made.
TEST_F(PathsTest, ReadPrivateFileTakesOnlyThisUsersOwnFiles) {
  const std::string dir = platform::testing::MakeTempFolder("private");
  ASSERT_FALSE(dir.empty());
  ASSERT_TRUE(MakePrivateFolder(dir + "/work"));
  ::mkdir((dir + "/open").c_str(), 0755);
  const std::string w = dir + "/work/";
  auto make = [](const std::string& path, mode_t mode) {
    std::ofstream(path) << "list";
    ::chmod(path.c_str(), mode);
  };
  make(w + "own", 0600);
  make(w + "readable", 0644);
  make(w + "writable", 0620);
  make(dir + "/open/own", 0600);
  make(w + "linked", 0600);
  ::link((w + "linked").c_str(), (w + "second-name").c_str());
  ::symlink((w + "own").c_str(), (w + "symlink").c_str());
  ::mkfifo((w + "fifo").c_str(), 0600);
  const bool chowned = ::geteuid() == 0;
  if (chowned) {
    make(w + "theirs", 0600);
    ::chown((w + "theirs").c_str(), platform::testing::OtherUser::kUid, platform::testing::OtherUser::kUid);
  }
  struct Case { std::string path; std::uint64_t bound; OpenFileError error; };
  std::vector<Case> cases = {
      {w + "own", 100, OpenFileError::kNone},
      {w + "own", 3, OpenFileError::kTooLarge},
      {w + "readable", 100, OpenFileError::kNotPrivate},
      {w + "writable", 100, OpenFileError::kNotPrivate},
      {dir + "/open/own", 100, OpenFileError::kNotPrivate},  // its folder is not private
      {w + "second-name", 100, OpenFileError::kNotPrivate},  // a hard link
      {w + "symlink", 100, OpenFileError::kNotPrivate},
      {w + "fifo", 100, OpenFileError::kNotRegular},
      {w + "missing", 100, OpenFileError::kMissing},
  };
  if (chowned) cases.push_back({w + "theirs", 100, OpenFileError::kNotPrivate});
  for (const auto& c : cases) {
    const ReadFileResult r = ReadPrivateFile(FromPosixPath(c.path), c.bound);
    EXPECT_EQ(r.error, c.error) << c.path;
    EXPECT_EQ(r.bytes, c.error == OpenFileError::kNone ? "list" : "") << c.path;
  }
  std::filesystem::remove_all(dir);
}

std::string FileText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

mode_t ModeOf(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

TEST_F(PathsTest, ReplaceFileGivesTheModeAskedFor) {
  const std::string dir = platform::testing::MakeTempFolder("replace");
  const struct {
    NewFileMode mode;
    mode_t before;  // 0: no old file
    mode_t after;
  } kCases[] = {
      {NewFileMode::kShared, 0, 0644},     {NewFileMode::kPrivate, 0, 0600},
      {NewFileMode::kPrivate, 0644, 0600}, {NewFileMode::kAsBefore, 0, 0644},
      {NewFileMode::kAsBefore, 0600, 0600}, {NewFileMode::kAsBefore, 0640, 0640},
  };
  int n = 0;
  for (const auto& c : kCases) {
    const std::string path = dir + "/f" + std::to_string(n++);
    if (c.before != 0) {
      std::ofstream(path) << "old";
      ASSERT_EQ(::chmod(path.c_str(), c.before), 0);
    }
    ASSERT_TRUE(ReplaceFile(path, "new", c.mode)) << path;
    EXPECT_EQ(FileText(path), "new") << path;
    EXPECT_EQ(ModeOf(path), c.after) << path;
  }
  std::filesystem::remove_all(dir);
}

// A failed write leaves the old file as it was and nothing beside it.
TEST_F(PathsTest, ReplaceFileThatFailsLeavesTheOldFileWhole) {
  const std::string dir = platform::testing::MakeTempFolder("replace");
  const std::string path = dir + "/settings";
  std::ofstream(path) << "old content";
  const auto onlyTheOldFile = [&] {
    EXPECT_EQ(FileText(path), "old content");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 1);
  };

  // A full disk: the file may not grow past a few bytes.
  {
    struct rlimit before {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &before), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = before;
    small.rlim_cur = 4;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    std::string problem;
    const bool written = ReplaceFile(path, std::string(4096, 'x'), NewFileMode::kShared, &problem);
    ::setrlimit(RLIMIT_FSIZE, &before);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_FALSE(written);
    EXPECT_NE(problem.find(path), std::string::npos) << problem;
    onlyTheOldFile();
  }
  // The rename cannot finish: a folder holds the name.
  const std::string folder = dir + "/sub";
  ASSERT_EQ(::mkdir(folder.c_str(), 0755), 0);
  std::ofstream(folder + "/keep") << "kept";
  EXPECT_FALSE(ReplaceFile(folder, "x", NewFileMode::kShared));
  EXPECT_EQ(FileText(folder + "/keep"), "kept");
  std::filesystem::remove_all(folder);
  onlyTheOldFile();
  // No folder to write in.
  EXPECT_FALSE(ReplaceFile(dir + "/no/such/file", "x", NewFileMode::kShared));
  onlyTheOldFile();
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace platform
