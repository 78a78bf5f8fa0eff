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

  // Groups: folders relative to the root, a folder outside it by its whole path, the
  // playlist by its name, the root's own files under the empty key.
  EXPECT_EQ(Group("music\\"), (std::vector<std::string>{W("lib/music/a.mp3")}));
  const std::vector<std::string> rock = Group("music\\rock\\");
  EXPECT_EQ(rock.size(), 3u);
  EXPECT_NE(std::find(rock.begin(), rock.end(), W("lib/music/rock/q\"u|o.mp3")), rock.end());
  EXPECT_EQ(Group(W("li") + "\\"), (std::vector<std::string>{W("li/c.mp3")}));
  EXPECT_EQ(Group("mix"), (std::vector<std::string>{W("lib/music/a.mp3"), W("li/c.mp3")}));
  EXPECT_EQ(Group(""), (std::vector<std::string>{W("lib/single.wma")}));

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
  EXPECT_NE(log.find("Processing " + W("nothing") + "...invalid path...skipped."), std::string::npos) << log;
}

TEST_F(ExpansionTest, ExclusionSettingsAndAudioOnly) {
  const struct {
    const char* setting;
    int audioOnly;
    const char* logged;
    std::vector<std::string> expected;
  } cases[] = {
      // Playlist entries are not tested: a.mp3 still comes through mix.m3u.
      {"Gen_Tx_SkipMP3", 0, "MP3 files ignored.", {W("lib/music/a.mp3"), W("lib/music/rock/notes.txt")}},
      {"Gen_Tx_SkipData", 0, "Data files ignored.",
       {W("lib/music/a.mp3"), W("lib/music/a.mp3"), W("lib/music/rock/b.mp3"), W("lib/music/rock/q\"u|o.mp3")}},
      {"", 1, "only picking audio files...skipping.",
       {W("lib/music/a.mp3"), W("lib/music/rock/b.mp3"), W("lib/music/rock/q\"u|o.mp3")}},
      {"Gen_Tx_DisableRecursion", 0, "directory...recursion disabled...skipped.", {W("lib/music/a.mp3")}},
  };
  for (const auto& c : cases) {
    if (*c.setting != '\0') settings_->SetDword(c.setting, 1);
    // Without the links, so that each setting's effect stands alone.
    for (const char* link : {"lib/music/li", "lib/music/li2", "lib/music/dangling", "lib/music/rock/up"}) {
      fs::remove(top_ + "/" + link);
    }
    const std::string log = Expand({W("lib/music"), W("lib/mix.m3u")}, c.audioOnly);
    std::vector<std::string> expected = c.expected;
    std::sort(expected.begin(), expected.end());
    if (c.audioOnly == 0) {
      // mix.m3u also names c.mp3 by its absolute path.
      expected.insert(expected.begin(), W("li/c.mp3"));
    }
    EXPECT_EQ(files_, expected) << c.setting;
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
  EXPECT_NE(log.find("Processing " + W("pipe.m3u") + "...file...processing.\r\nFile is a playlist...could not open...skipping."),
            std::string::npos)
      << log;
  EXPECT_NE(log.find("Processing " + W("gone") + "...invalid path...skipped."), std::string::npos) << log;
  if (!canStillRead) {
    EXPECT_NE(log.find("directory...could not read contents...skipped."), std::string::npos) << log;
    EXPECT_NE(log.find("File is a playlist...could not open...skipping."), std::string::npos) << log;
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

}  // namespace
}  // namespace transfer
