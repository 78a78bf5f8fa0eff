#include "platform/paths/paths.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

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

}  // namespace
}  // namespace platform
