#include "common/folders.h"

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "testing/other_user.h"
#include "testing/temp_home.h"
#include "platform/paths/paths.h"
#include "platform/settings/settings.h"

namespace {

namespace fs = std::filesystem;

TEST(NormalisePath, Table) {
  struct Case { const char* in; const char* out; };
  const Case cases[] = {
      {"C:/a//b:c", "C:\\a\\bc"},
      {"C:/music/a:b?.mp3", "C:\\music\\ab.mp3"},
      {"\\\\srv\\\\share\\x", "\\\\srv\\share\\x"},
      {"\\\\srv\\a:b\\\\\\c", "\\\\srv\\ab\\c"},
      {"a\\\\\\b", "a\\b"},           // a run of three collapses to one
      {"<x>|*\"?", "x"},
      {"C:", "C:"},
      {"", ""},
  };
  for (const auto& c : cases) {
    std::string out;
    EXPECT_EQ(NormalisePath(out, c.in), c.out) << c.in;
    EXPECT_EQ(CleanPathName(out, c.in), c.out) << c.in;
  }
}

TEST(PathText, StripRoutines) {
  std::string out;
  EXPECT_EQ(StripSlashes(out, "AC/DC \\ live"), "ACDC  live");
  EXPECT_EQ(StripTrailingBackslash(out, "C:\\a\\"), "C:\\a");
  EXPECT_EQ(StripTrailingBackslash(out, "C:\\a\\\\"), "C:\\a\\");  // exactly one
  EXPECT_EQ(StripTrailingBackslash(out, "C:\\a"), "C:\\a");
  EXPECT_EQ(StripTrailingBackslash(out, ""), "");
}

class Folders : public TempHome {
 protected:
  std::string Win(const std::string& posix) { return platform::FromPosixPath(posix); }
  void Touch(const std::string& p) { std::ofstream(p) << "x"; }
};

TEST_F(Folders, WorkFolderDefaultsToTheProductFolderInTemp) {
  std::string out;
  GetWorkFolder(out, "");
  EXPECT_EQ(out, Win(root_ + "/tmp") + "\\$Ombrix Jukebox$\\");
  GetWorkFolder(out, "skin");
  EXPECT_EQ(out, Win(root_ + "/tmp") + "\\$Ombrix Jukebox$\\skin\\");
  EXPECT_TRUE(fs::is_directory(root_ + "/tmp/$Ombrix Jukebox$/skin"));
}

TEST_F(Folders, WorkFolderFollowsGenTempPath) {
  auto key = platform::SettingsKey::Create(platform::Hive::CurrentUser, g_ProductIdentity.settingsKey);
  std::string out;

  key.SetString("Gen_TempPath", Win(root_ + "/missing") + "\\\\");  // doubled backslashes collapse
  GetWorkFolder(out, "reports");
  EXPECT_EQ(out, Win(root_ + "/missing") + "\\reports\\");
  EXPECT_TRUE(fs::is_directory(root_ + "/missing/reports"));

  Touch(root_ + "/plainfile");
  key.SetString("Gen_TempPath", Win(root_ + "/plainfile"));
  GetWorkFolder(out, "");
  EXPECT_EQ(out, Win(root_ + "/tmp") + "\\$Ombrix Jukebox$\\");
}

TEST_F(Folders, EmptyWorkFolderStartsEmpty) {
  std::string out;
  GetWorkFolder(out, "tx2pc");
  Touch(root_ + "/tmp/$Ombrix Jukebox$/tx2pc/old.mp3");
  fs::create_directories(root_ + "/tmp/$Ombrix Jukebox$/tx2pc/sub/deeper");
  EXPECT_EQ(ResetWorkFolder("tx2pc"), out);
  EXPECT_TRUE(fs::is_directory(root_ + "/tmp/$Ombrix Jukebox$/tx2pc"));
  EXPECT_TRUE(fs::is_empty(root_ + "/tmp/$Ombrix Jukebox$/tx2pc"));
}

TEST_F(Folders, WorkFoldersArePrivate) {
  std::string out;
  ASSERT_TRUE(GetPrivateWorkFolder(out, "reports"));
  for (const char* folder : {"/tmp/$Ombrix Jukebox$", "/tmp/$Ombrix Jukebox$/reports"}) {
    struct stat st {};
    ASSERT_EQ(::lstat((root_ + folder).c_str(), &st), 0) << folder;
    EXPECT_EQ(st.st_mode & 07777, 0700u) << folder;
  }
}

// Another user who makes the work folder first (the temporary folder is shared) gets
// nothing: the folder is refused, nothing is made or deleted in it.
TEST_F(Folders, AWorkFolderAnotherUserMadeIsRefused) {
  using platform::testing::OtherUser;
  if (!OtherUser::Available()) GTEST_SKIP() << "no second user can be run here";
  const std::string shared = OtherUser::SharedFolder(root_);
  ASSERT_FALSE(shared.empty());
  Touch(root_ + "/precious");
  const std::string theirs = shared + "/$Ombrix Jukebox$";
  ASSERT_TRUE(OtherUser::Run("mkdir -m 777 '" + theirs + "' '" + theirs + "/reports' '" + theirs +
                             "/tx2pc' && ln -s '" + root_ + "/precious' '" + theirs + "/reports/_txlog.txt'" +
                             " && touch '" + theirs + "/tx2pc/planted.mp3'"));
  setenv("TMPDIR", shared.c_str(), 1);

  std::string out, refusal;
  EXPECT_FALSE(GetPrivateWorkFolder(out, "reports", &refusal));
  EXPECT_EQ(out, Win(theirs) + "\\reports\\");
  EXPECT_NE(refusal.find(theirs + " is not a private folder of this user"), std::string::npos) << refusal;
  EXPECT_LT(platform::CreatePrivateFile(out + "_txlog.txt"), 0);
  EXPECT_TRUE(fs::is_symlink(theirs + "/reports/_txlog.txt"));
  ResetWorkFolder("tx2pc");
  EXPECT_TRUE(fs::exists(theirs + "/tx2pc/planted.mp3"));
  std::ifstream in(root_ + "/precious");
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "x");
}

// The temporary folder made first by another user, open to all (as /tmp/tovarin-<uid>
// can be): a work folder made in it could be renamed away and swapped; it is refused.
TEST_F(Folders, AWorkFolderInATemporaryFolderAnotherUserMadeIsRefused) {
  using platform::testing::OtherUser;
  if (!OtherUser::Available()) GTEST_SKIP() << "no second user can be run here";
  const std::string shared = OtherUser::SharedFolder(root_);
  ASSERT_FALSE(shared.empty());
  const std::string theirs = shared + "/tovarin-" + std::to_string(::geteuid());
  ASSERT_TRUE(OtherUser::Run("mkdir -m 777 '" + theirs + "'"));
  setenv("TMPDIR", theirs.c_str(), 1);

  std::string out, refusal;
  EXPECT_FALSE(GetPrivateWorkFolder(out, "reports", &refusal));
  EXPECT_NE(refusal.find("another user may change the folder " + theirs), std::string::npos) << refusal;
  EXPECT_FALSE(fs::exists(theirs + "/$Ombrix Jukebox$"));
}

TEST_F(Folders, CreateDirectoryPathMakesParentsFirst) {
  CreateDirectoryPath(Win(root_ + "/a/b/c") + "\\");
  EXPECT_TRUE(fs::is_directory(root_ + "/a/b/c"));
  CreateDirectoryPath(Win(root_ + "/a//b/d"));
  EXPECT_TRUE(fs::is_directory(root_ + "/a/b/d"));
  CreateDirectoryPath("");  // nothing, no crash
}

TEST_F(Folders, DeleteFolderTreeRemovesEverythingButFollowsNoLink) {
  const std::string t = root_ + "/tree";
  fs::create_directories(t + "/nested/deep");
  Touch(t + "/nested/deep/f.txt");
  Touch(t + "/readonly.txt");
  chmod((t + "/readonly.txt").c_str(), 0444);
  chmod((t + "/nested/deep").c_str(), 0555);  // a folder we may not write into
  Touch(t + "/..hidden");                     // a real entry, not the parent
  fs::create_directories(root_ + "/outside");
  Touch(root_ + "/outside/keep.txt");
  fs::create_directory_symlink(root_ + "/outside", t + "/link");
  EXPECT_TRUE(DeleteFolderTree(Win(t)));
  EXPECT_FALSE(fs::exists(t));
  EXPECT_TRUE(fs::exists(root_ + "/outside/keep.txt"));

  // A link given as the folder itself is removed as a link.
  fs::create_directory_symlink(root_ + "/outside", root_ + "/direct");
  DeleteFolderTree(Win(root_ + "/direct"));
  EXPECT_FALSE(fs::exists(root_ + "/direct"));
  EXPECT_TRUE(fs::exists(root_ + "/outside/keep.txt"));
  EXPECT_FALSE(DeleteFolderTree(Win(root_ + "/never")));
}

// A replaced file reads back whole; a write that cannot finish leaves the old content and
// no stray file; a name as long as the file system allows still gets its temporary file.
TEST_F(Folders, ReplacingAFileKeepsTheOldOneUntilTheNewOneIsWhole) {
  const std::string dir = root_ + "/files";
  fs::create_directories(dir);
  const std::string path = Win(dir + "/rule");
  ASSERT_TRUE(ReplaceFileBytes(path, std::string("a\0b", 3)));
  EXPECT_EQ(ReadFileBytes(path), std::string("a\0b", 3));
  ASSERT_TRUE(ReplaceFileBytes(path, ""));
  EXPECT_EQ(ReadFileBytes(path), "");

  const std::string longest = Win(dir + "/" + std::string(255, 'A'));
  EXPECT_TRUE(ReplaceFileBytes(longest, "x"));
  EXPECT_EQ(ReadFileBytes(longest), "x");

  ASSERT_TRUE(ReplaceFileBytes(path, "old"));
  ::chmod(dir.c_str(), 0500);  // no new file can be made beside it
  if (::geteuid() != 0) {
    EXPECT_FALSE(ReplaceFileBytes(path, "new"));
    EXPECT_EQ(ReadFileBytes(path), "old");
  }
  ::chmod(dir.c_str(), 0700);
  fs::create_directories(dir + "/sub");
  EXPECT_FALSE(ReplaceFileBytes(Win(dir + "/sub"), "x"));  // the rename cannot finish
  EXPECT_TRUE(fs::is_directory(dir + "/sub"));
  std::size_t files = 0;
  for ([[maybe_unused]] const auto& entry : fs::directory_iterator(dir)) ++files;
  EXPECT_EQ(files, 3u);  // rule, the long name, sub: no temporary file stays
  EXPECT_FALSE(ReadFileBytes(Win(dir + "/missing")));
  EXPECT_FALSE(ReplaceFileBytes(Win(root_ + "/no/such/folder/x"), "x"));
}

TEST(SafeFileNamePart, MakesOneHarmlessPart) {
  struct Case {
    std::string in, out;
  };
  const Case cases[] = {
      {"Song.mp3", "Song.mp3"},   {"..", "__"},           {".", "_"},
      {"", "_"},                  {"../x", "___x"},       {"a/b\\c", "a_b_c"},
      {"C:\\Windows", "C__Windows"}, {"tab\there\n", "tab_here_"}, {"q?<>*|\"", "q______"},
      {".hidden", "_hidden"},     {"a..b", "a..b"},       {"Ünïcødé ♫.ogg", "Ünïcødé ♫.ogg"},
  };
  for (const Case& k : cases) EXPECT_EQ(SafeFileNamePart(k.in), k.out) << k.in;
  // Long names keep their extension and whole characters.
  const std::string cut = SafeFileNamePart(std::string(253, 'a') + "\xC3\xA9" + std::string(40, 'b') + ".flac");
  EXPECT_EQ(cut, std::string(250, 'a') + ".flac");
  EXPECT_EQ(SafeFileNamePart(std::string(300, 'x'), 100), std::string(100, 'x'));
  EXPECT_EQ(SafeFileNamePart(std::string(252, 'x') + "\xE2\x99\xAB" + ".ogg"), std::string(251, 'x') + ".ogg");
}

}  // namespace
