#include "platform/paths/paths.h"

#include <gtest/gtest.h>
#include <stdlib.h>

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

}  // namespace
}  // namespace platform
