// The list expansion over a real folder tree: folders walked, links followed or refused,
// playlists read at the top only, the exclusion settings, the source groups and the log.
#include "transfer/expansion.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "common/folders.h"
#include "testing/temp_home.h"
#include "testing/processes.h"
#include "platform/paths/paths.h"
#include "platform/settings/settings.h"
#include "platform/ui/scripted_host.h"
#include "testing/audio_fixtures.h"

namespace transfer {
namespace {

const bool kIsolated = platform::testing::IsolateNamespace();

namespace fs = std::filesystem;
using testing::ReadBytes;
using testing::WriteBytes;

class ExpansionTest : public TempHome {
 protected:
  void SetUp() override {
    TempHome::SetUp();
    settings_ = platform::SettingsKey::Create(platform::Hive::CurrentUser, g_ProductIdentity.settingsKey);
    top_ = root_ + "/tree";
    for (const char* d : {"lib/music/rock", "li"}) fs::create_directories(top_ + "/" + d);
    for (const char* f : {"lib/music/a.mp3", "lib/music/rock/b.mp3", "lib/music/rock/notes.txt",
                          "lib/music/rock/q\"u|o.mp3", "lib/single.wma", "li/c.mp3"}) {
      WriteBytes(top_ + "/" + f, "x");
    }
    WriteBytes(top_ + "/lib/music/rock/inner.m3u", "a.mp3\n");
    // Links: back to the selected folder (a loop inside the root), twice to a folder
    // outside the root whose name the root's path begins with, and to nothing.
    fs::create_directory_symlink(top_ + "/lib/music", top_ + "/lib/music/rock/up");
    fs::create_directory_symlink("../../li", top_ + "/lib/music/li");
    fs::create_directory_symlink(top_ + "/li", top_ + "/lib/music/li2");
    fs::create_symlink(top_ + "/nothing", top_ + "/lib/music/dangling");
    WriteBytes(top_ + "/lib/mix.m3u", "#EXTM3U\r\nmusic/a.mp3\r\n" + top_ + "/li/c.mp3\r\nmissing.mp3\r\n");
  }

  std::string W(const std::string& relative) const { return platform::FromPosixPath(top_ + "/" + relative); }
  // A file and the folders it lies in.
  static void Put(const std::string& path, const std::string& bytes) {
    fs::create_directories(fs::path(path).parent_path());
    WriteBytes(path, bytes);
  }

  // Runs the expansion; the log's lines after its time stamp.
  std::string Expand(const std::vector<std::string>& names, int audioOnly = 0) {
    ExpansionLogFile log;
    ExpansionListFile list;
    log.Open();
    list.Open();
    files_.clear();
    roots_ = SourceGroups();
    ExpandTransferList(&log, &list, names, files_, roots_, 0, 1, audioOnly);
    log.Close();
    list.Close();
    listText_ = ReadBytes(platform::ToPosixPath(list.GetPath()));
    return ReadBytes(platform::ToPosixPath(log.GetPath()));
  }

  std::vector<std::string> Group(const std::string& key) const {
    const std::vector<std::string>* paths = roots_.Find(key);
    return paths == nullptr ? std::vector<std::string>{} : *paths;
  }

  platform::ScriptedHost host_;
  std::optional<platform::SettingsKey> settings_;
  std::string top_;
  std::vector<std::string> files_;
  SourceGroups roots_;
  std::string listText_;
};

TEST_F(ExpansionTest, FoldersLinksAndPlaylistsBecomeOneSortedListWithItsGroups) {
  const std::string log = Expand({W("lib/music"), W("lib/mix.m3u"), W("lib/single.wma")});
  const std::vector<std::string> expected = {W("li/c.mp3"),          W("li/c.mp3"),
                                             W("lib/music/a.mp3"),    W("lib/music/a.mp3"),
                                             W("lib/music/rock/b.mp3"), W("lib/music/rock/notes.txt"),
                                             W("lib/music/rock/q\"u|o.mp3"), W("lib/single.wma")};
  EXPECT_EQ(files_, expected);
  std::string lines;
  for (const std::string& f : expected) lines += f + "\r\n";
  EXPECT_EQ(listText_.substr(listText_.find("\r\n") + 2), lines);

  // Groups: folders relative to the root (a folder behind a link where the link is), the
  // playlist by its name, files chosen themselves under the empty key; data files in none.
  EXPECT_EQ(Group("music\\"), (std::vector<std::string>{W("lib/music/a.mp3")}));
  EXPECT_EQ(Group("music\\rock\\"), (std::vector<std::string>{W("lib/music/rock/b.mp3"), W("lib/music/rock/q\"u|o.mp3")}));
  EXPECT_EQ(Group("music\\li\\"), (std::vector<std::string>{W("li/c.mp3")}));
  EXPECT_EQ(Group("mix"), (std::vector<std::string>{W("lib/music/a.mp3"), W("li/c.mp3")}));
  EXPECT_EQ(Group(""), (std::vector<std::string>{W("lib/single.wma")}));
  EXPECT_EQ(roots_.size(), 5u);

  for (const char* text :
       {"1 directories detected at top-level.", "Recursion enabled.", "File is a playlist...depth is greater than 0...skipping.",
        "Relative path...added to filelist using root ", "UNC path...added to filelist.", "Invalid path...skipping.",
        "Done with playlist...closing.", "8 files added to filelist."}) {
    EXPECT_NE(log.find(text), std::string::npos) << text << "\n" << log;
  }
  EXPECT_NE(log.find("Transfer rooted at: " + W("lib") + "\\."), std::string::npos) << log;
  // The link back into the root and the second link to the walked folder are refused;
  // the first link to the folder whose name starts like the root is followed.
  EXPECT_NE(log.find("resolved to " + W("lib/music") + ".\nFollowing this shortcut would produce an infinite loop"),
            std::string::npos)
      << log;
  EXPECT_NE(log.find("resolved to " + W("li") + ".\nFollowing this shortcut would produce an infinite loop"),
            std::string::npos)
      << log;
  EXPECT_NE(log.find("Processing " + W("li") + "...directory...contains 1 items...recursively processing."),
            std::string::npos)
      << log;
  EXPECT_NE(log.find("resolved to " + W("nothing") + ".\nThe shortcut leads nowhere (the target does not exist)...skipping."),
            std::string::npos)
      << log;
}

TEST_F(ExpansionTest, ExclusionSettingsAndAudioOnly) {
  const struct {
    const char* setting;
    int audioOnly;
    const char* logged;
    std::vector<std::string> expected;  // mix.m3u names a.mp3 and c.mp3 too
  } cases[] = {
      // A playlist's entries are what the walk would take on its own.
      {"Gen_Tx_SkipMP3", 0, "Relative path...MP3 files ignored.", {W("lib/music/rock/notes.txt")}},
      {"Gen_Tx_SkipData", 0, "Data files ignored.",
       {W("li/c.mp3"), W("lib/music/a.mp3"), W("lib/music/a.mp3"), W("lib/music/rock/b.mp3"),
        W("lib/music/rock/q\"u|o.mp3")}},
      {"", 1, "only picking audio files...skipping.",
       {W("lib/music/a.mp3"), W("lib/music/rock/b.mp3"), W("lib/music/rock/q\"u|o.mp3")}},
      {"Gen_Tx_DisableRecursion", 0, "directory...recursion disabled...skipped.", {W("li/c.mp3"), W("lib/music/a.mp3")}},
  };
  for (const auto& c : cases) {
    if (*c.setting != '\0') settings_->SetDword(c.setting, 1);
    // Without the links, so that each setting's effect stands alone.
    for (const char* link : {"lib/music/li", "lib/music/li2", "lib/music/dangling", "lib/music/rock/up"}) {
      fs::remove(top_ + "/" + link);
    }
    const std::string log = Expand({W("lib/music"), W("lib/mix.m3u")}, c.audioOnly);
    EXPECT_EQ(files_, c.expected) << c.setting;
    EXPECT_NE(log.find(c.logged), std::string::npos) << c.setting << "\n" << log;
    if (*c.setting != '\0') settings_->DeleteValue(c.setting);
  }
}

TEST_F(ExpansionTest, NamesThatCannotBeReadAreLoggedAndSkipped) {
  fs::create_directory(top_ + "/closed");
  fs::permissions(top_ + "/closed", fs::perms::none);
  const bool canStillRead = ::access((top_ + "/closed").c_str(), R_OK) == 0;  // running as root
  WriteBytes(top_ + "/unreadable.m3u", "a.mp3\n");
  fs::permissions(top_ + "/unreadable.m3u", fs::perms::none);
  ASSERT_EQ(::mkfifo((top_ + "/pipe.m3u").c_str(), 0600), 0);  // would never answer a read
  const std::string log = Expand({W("gone"), W("closed"), W("unreadable.m3u"), W("pipe.m3u")});
  fs::permissions(top_ + "/closed", fs::perms::owner_all);
  EXPECT_TRUE(files_.empty());
  EXPECT_NE(log.find("Processing " + W("pipe.m3u") +
                     "...file...processing.\r\nFile is a playlist...could not open (not a regular file)...skipping."),
            std::string::npos)
      << log;
  EXPECT_NE(log.find("Processing " + W("gone") + "...invalid path...skipped."), std::string::npos) << log;
  if (!canStillRead) {
    EXPECT_NE(log.find("directory...could not read contents...skipped."), std::string::npos) << log;
    EXPECT_NE(log.find("File is a playlist...could not open (the file cannot be read)...skipping."), std::string::npos)
        << log;
  }
  EXPECT_NE(log.find("0 files added to filelist."), std::string::npos);
}

TEST_F(ExpansionTest, EachPlaylistFormatIsReadWhenSelected) {
  const std::string a = top_ + "/lib/music/a.mp3";
  const std::string c = top_ + "/li/c.mp3";
  const struct {
    const char* name;
    std::string text;
  } playlists[] = {
      {"p.m3u", "music/a.mp3\n"},
      {"p.pls", "[playlist]\nFile1=" + c + "\nTitle1=C\n"},
      {"p.bpl", "<entry Playstring=\"file:" + a + "\">\n"},
      {"p.b4s", "<entry Playstring=\"file:" + c + "\">\n"},
      {"p.wpl", "<media src=\"music\\a.mp3\"/>\n"},
      {"p.rmp", "<filename>" + c + "</filename>\n"},
  };
  for (const auto& p : playlists) {
    WriteBytes(top_ + "/lib/" + p.name, p.text);
    Expand({W(std::string("lib/") + p.name)});
    ASSERT_EQ(files_.size(), 1u) << p.name;
    EXPECT_TRUE(files_[0] == W("lib/music/a.mp3") || files_[0] == W("li/c.mp3")) << p.name << ": " << files_[0];
    EXPECT_EQ(Group("p"), files_) << p.name;
  }
}


// A hostile tree: link loops outside the root (reached from the root and from inside a
// linked album), a FIFO, names the player cannot hold, a very deep tree. Each is logged
// and skipped; nothing else is lost.
TEST_F(ExpansionTest, LinkLoopsSpecialFilesAndUnholdableNamesAreLoggedAndSkipped) {
  const std::string col = top_ + "/music/col", out = top_ + "/outside";
  fs::create_directories(col);
  fs::create_directories(out + "/album");
  fs::create_symlink(out + "/l2", out + "/l1");
  fs::create_symlink(out + "/l1", out + "/l2");
  fs::create_symlink(out + "/l1", col + "/loop");
  fs::create_symlink(out + "/l1", out + "/album/loop");
  fs::create_directory_symlink(out + "/album", col + "/linked");
  Put(out + "/album/in album.mp3", "x");
  ASSERT_EQ(::mkfifo((col + "/fifo.mp3").c_str(), 0600), 0);
  Put(col + "/back\\slash.mp3", "x");
  Put(col + "/bad\xff.mp3", "x");
  Put(col + "/good.mp3", "x");
  std::string deep = col + "/deep";
  for (int i = 0; i < kMaxExpansionDepth + 5; ++i) deep += "/d";
  fs::create_directories(deep);
  Put(deep + "/too deep.mp3", "x");

  const std::string log = Expand({W("music/col")});
  EXPECT_EQ(files_, (std::vector<std::string>{W("music/col/good.mp3"), W("outside/album/in album.mp3")})) << log;
  EXPECT_EQ(Group("col\\linked\\"), (std::vector<std::string>{W("outside/album/in album.mp3")}));
  for (const std::string& text : {
           "resolved to " + W("outside/l1") + ".\nThe shortcut leads nowhere (a loop of links)...skipping.",
           "Processing " + W("music/col/fifo.mp3") + "...file...processing.\r\nnot a regular file...skipping.",
           "Processing " + W("music/col") + "\\back\\slash.mp3...the name holds a backslash, which the player cannot take...skipped.",
           std::string("the name is not valid UTF-8, which the player cannot take...skipping."),
           "nested more than " + std::to_string(kMaxExpansionDepth) + " levels deep...skipped.",
       }) {
    EXPECT_NE(log.find(text), std::string::npos) << text << "\n" << log;
  }
  // Both loops: the one reached from the root and the one inside the linked album.
  std::size_t loops = 0;
  for (std::size_t at = log.find("(a loop of links)"); at != std::string::npos; at = log.find("(a loop of links)", at + 1)) {
    ++loops;
  }
  EXPECT_EQ(loops, 2u) << log;
}

// Entries in the order a file manager shows them; each group named by its folder as the
// person sees it, relative to the folder of the name it came from.
TEST_F(ExpansionTest, FoldersAreReadInNaturalOrderAndGroupsAreNamedByTheirOwnFolders) {
  const std::string col = top_ + "/col";
  for (const char* f : {"Album/Track 10.mp3", "Album/track 2.mp3", "Album/Track 1.mp3", "Album/cover.jpg",
                        "Album/Disc 2/01.mp3", "Album/Disc 10/01.mp3", "Scans/front.png"}) {
    fs::create_directories(fs::path(col + "/" + f).parent_path());
    Put(col + "/" + f, "x");
  }
  Put(top_ + "/elsewhere/Other Album/x.mp3", "x");
  Put(top_ + "/elsewhere/loose.mp3", "x");
  fs::create_directory_symlink(top_ + "/elsewhere/Other Album", col + "/Linked");
  Put(top_ + "/a/mix.m3u", "../col/Album/Track 1.mp3\n");
  Put(top_ + "/b/mix.pls", "File1=../col/Album/track 2.mp3\n");
  Expand({W("col/Album"), W("elsewhere/Other Album"), W("elsewhere/loose.mp3"), W("col/Linked"), W("a/mix.m3u"),
          W("b/mix.pls")});

  const std::vector<std::string> album = {W("col/Album/Track 1.mp3"), W("col/Album/track 2.mp3"),
                                          W("col/Album/Track 10.mp3")};
  EXPECT_EQ(Group("Album\\"), album);
  EXPECT_EQ(Group("Album\\Disc 2\\"), (std::vector<std::string>{W("col/Album/Disc 2/01.mp3")}));
  EXPECT_EQ(Group("Other Album\\"), (std::vector<std::string>{W("elsewhere/Other Album/x.mp3")}));
  EXPECT_EQ(Group(""), (std::vector<std::string>{W("elsewhere/loose.mp3")}));
  // Entries as written (the engine sends one file reached by two names once).
  EXPECT_EQ(Group("mix"), (std::vector<std::string>{W("a/../col/Album/Track 1.mp3")}));
  EXPECT_EQ(Group("mix (2)"), (std::vector<std::string>{W("b/../col/Album/track 2.mp3")}));
  // Album, its two discs, the other album, the loose file, the two playlists: the link
  // leads to a folder walked already.
  EXPECT_EQ(roots_.size(), 7u);
  for (const auto& g : roots_.groups()) EXPECT_EQ(g.key.find(top_.substr(1)), std::string::npos) << g.key;
  // Sent in the same order, folder by folder.
  const auto at = [&](const std::string& f) { return std::find(files_.begin(), files_.end(), f) - files_.begin(); };
  EXPECT_LT(at(album[0]), at(album[1]));
  EXPECT_LT(at(album[1]), at(album[2]));
  EXPECT_LT(at(W("col/Album/Disc 2/01.mp3")), at(W("col/Album/Disc 10/01.mp3")));
  EXPECT_LT(at(album[2]), static_cast<std::ptrdiff_t>(files_.size()));
}

// A playlist may come from anywhere: it sends only audio files the walk would take itself.
TEST_F(ExpansionTest, PlaylistEntriesAreOnlyAudioFilesTheWalkWouldTake) {
  const std::string dir = top_ + "/lists";
  Put(dir + "/good.mp3", "x");
  Put(dir + "/secret.txt", "private");
  Put(top_ + "/private.txt", "private");
  ASSERT_EQ(::mkfifo((dir + "/pipe.mp3").c_str(), 0600), 0);
  const std::string nul = std::string("secret.txt") + '\0' + ".mp3";
  const struct {
    const char* name;
    std::string text;
  } playlists[] = {
      {"p.m3u", "secret.txt\n../private.txt\n" + top_ + "/private.txt\n" + nul + "\n.\npipe.mp3\ngood.mp3\n"},
      {"p.m3u8", "\xEF\xBB\xBFgood.mp3\nsecret.txt\n"},
      {"p.pls", "[playlist]\nFile1=\nFile2=good.mp3\nFile3=secret.txt\n"},
      {"p.asx", "<asx version=\"3.0\"><entry><ref href=\"good.mp3\"/></entry>\n<entry><ref href=\"secret.txt\"/></entry>\n"},
      {"p.wpl", "<media src=\"good.mp3\"/>\n<media src=\"&#x73;ecret.txt\"/>\n"},
  };
  for (const auto& p : playlists) {
    Put(dir + "/" + p.name, p.text);
    const std::string log = Expand({W(std::string("lists/") + p.name)});
    EXPECT_EQ(files_, std::vector<std::string>{W("lists/good.mp3")}) << p.name << "\n" << log;
    EXPECT_NE(log.find("not an audio file...skipping."), std::string::npos) << p.name << "\n" << log;
    EXPECT_EQ(Group("p"), files_) << p.name;
  }
  const std::string log = Expand({W("lists/p.m3u")});
  for (const char* text : {"Relative path...a folder...skipping.", "Relative path...not a regular file...skipping.",
                           "Path: secret.txt", "Invalid path...skipping."}) {
    EXPECT_NE(log.find(text), std::string::npos) << text << "\n" << log;
  }
  EXPECT_NE(Expand({W("lists/p.pls")}).find("Empty entry...skipping."), std::string::npos);

  // A playlist past the bound is not read at all.
  {
    std::ofstream big(dir + "/big.m3u", std::ios::binary);
    big << std::string(kMaxPlaylistBytes + 1, 'a');
  }
  EXPECT_NE(Expand({W("lists/big.m3u")}).find("File is a playlist...could not open (larger than 16 MB)...skipping."),
            std::string::npos);
  EXPECT_TRUE(files_.empty());
}


// The order of a transfer's list: folder by folder, each name as a file manager shows it.
TEST(TransferOrderTest, PathsGoFolderByFolderInNaturalOrder) {
  const struct {
    const char* a;
    const char* b;
    bool less;
  } cases[] = {
      {"C:\\m\\a.mp3", "C:\\m\\a.mp3", false},
      {"C:\\m\\Track 2.mp3", "C:\\m\\track 10.mp3", true},
      {"C:\\m\\track 10.mp3", "C:\\m\\Track 2.mp3", false},
      {"C:\\m\\B.mp3", "C:\\m\\a.mp3", false},
      // A file beside a folder goes by its name, not before the folder's files.
      {"C:\\m\\z.mp3", "C:\\m\\b\\a.mp3", false},
      {"C:\\m\\a.mp3", "C:\\m\\b\\a.mp3", true},
      {"C:\\m\\Disc 2\\z.mp3", "C:\\m\\Disc 10\\a.mp3", true},
      // A path that is the other's folder goes first.
      {"C:\\m", "C:\\m\\a.mp3", true},
      {"C:\\m\\a.mp3", "C:\\m", false},
      {"C:\\m\\", "C:\\m\\a", true},
      {"C:\\m\\a", "C:\\m\\", false},
      // Equal numbers: the fewer leading zeros first.
      {"C:\\m\\01.mp3", "C:\\m\\1.mp3", false},
      {"C:\\m\\1.mp3", "C:\\m\\01.mp3", true},
      {"", "C:", true},
      {"", "", false},
  };
  for (const auto& c : cases) EXPECT_EQ(TransferOrderLess(c.a, c.b), c.less) << c.a << " < " << c.b;
}

}  // namespace
}  // namespace transfer
