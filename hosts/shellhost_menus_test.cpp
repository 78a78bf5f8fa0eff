// shellhost against trayhub with the demo player, without a display: the context menus of
// the tree and their commands, drops on the tree and the view, and copies of the player's
// items through the clipboard.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "testing/processes.h"
#include "testing/shellhost.h"

using namespace device;

namespace {

using namespace shellhosttest;
namespace fs = std::filesystem;

const bool kIsolated = platform::testing::IsolateNamespace();

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// The lines a command printed.
const std::vector<std::string>& Said(const Output& out, const std::string& command) {
  static const std::vector<std::string> none;
  auto it = out.text.find(command);
  return it == out.text.end() ? none : it->second;
}

// A copied track becomes a file on the computer when a program asks for the clipboard's
// files, and the clipboard then names that file; it carries the library's own formats.
TEST_F(ShellhostTest, ACopiedTrackBecomesAFileWhenAProgramAsksForIt) {
  StartManager("trayhub");
  const Output out = Run({"view Audio Tracks", "select 0", "key ctrl+c", "clipboard"});
  const std::vector<std::string>& lines = Said(out, "clipboard");
  EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + std::min<std::size_t>(3, lines.size())),
            (std::vector<std::string>{"format Quorvane Explorer No Transfer to Self", "format text/uri-list",
                                      "format Quorvane Explorer Kernel ID List"}))
      << out.all;
  std::vector<std::string> files;
  for (const std::string& l : lines) {
    if (l.rfind("file ", 0) == 0) files.push_back(l.substr(5));
  }
  ASSERT_EQ(files.size(), 1u) << out.all;
  const std::string bytes = ReadFile(files[0]);
  ASSERT_FALSE(bytes.empty()) << files[0] << "\n" << out.all;
  bool same = false;
  for (const auto& entry : fs::directory_iterator(home_ + "/appdata/player/files")) {
    same = same || ReadFile(entry.path()) == bytes;
  }
  EXPECT_TRUE(same) << files[0];
}

// A tree item's menu comes from its folder and runs its entries; the top item's is the
// namespace root's.
TEST_F(ShellhostTest, TreeItemsShowTheirMenusAndRunTheirEntries) {
  StartManager("trayhub");
  KernelDeviceClient client;
  ASSERT_TRUE(Connect(client));
  KernelId mix;
  ASSERT_EQ(client.CreatePlaylist("Unsorted", mix), 0);
  std::vector<KernelId> tracks;
  KernelId t;
  for (int n = client.GetFirstAudioTrack(t); n != 0; n = client.GetNextAudioTrack(t)) tracks.push_back(t);
  ASSERT_GE(tracks.size(), 3u);
  client.ClearPendingIds();
  for (auto it = tracks.rbegin(); it != tracks.rend(); ++it) client.AddPendingId(*it);
  client.AddPendingToPlaylist(mix);
  auto order = [&] {
    std::vector<std::string> titles;
    KernelId playlist, item;
    for (int n = client.GetFirstPlaylist(playlist); n != 0; n = client.GetNextPlaylist(playlist)) {
      if (client.GetPlaylistName(playlist) != "Unsorted") continue;
      for (int m = client.GetFirstPlaylistItem(playlist, item); m != 0; m = client.GetNextPlaylistItem(playlist, item)) {
        titles.push_back(client.GetTrackArtist(item) + "/" + client.GetTrackAlbum(item) + "/" +
                         std::to_string(client.GetTrackNumber(item)));
      }
    }
    return titles;
  };
  const Output out = Run({"tree-popup ", "tree-popup Playlists", "tree-popup Playlists/Unsorted\tSort"});
  EXPECT_EQ(Said(out, "tree-popup"),
            (std::vector<std::string>{"Refresh", "Rebuild Left Pane Tree", "-", "(Paste Tracks)"}));
  EXPECT_EQ(Said(out, "tree-popup Playlists"),
            (std::vector<std::string>{"New Playlist...", "New Quodrel...", "-", "Backup Playlists...",
                                      "Restore Playlist...", "-", "Refresh", "Rebuild Left Pane Tree"}));
  const std::vector<std::string> sorted = order();
  std::vector<std::string> expected = sorted;
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(sorted, expected) << out.all;
}

// Another program's files dropped on a tree item or a row of the view go to the player
// as the target folder takes them: a storage folder through the list of files to send,
// a data folder as data files.
TEST_F(ShellhostTest, FilesDroppedOnTheTreeAndTheViewAreSent) {
  StartManager("trayhub");
  // An installed launcher that keeps a copy of each list it is given, by the list's name.
  const std::string install = home_ + "/install dir";
  std::filesystem::create_directories(install);
  std::ofstream(install + "/tovarinj1") << "#!/bin/sh\n"
                                        << platform::testing::ScriptReportsStarted()
                                        << "cp \"$1\" \"$0.$(basename \"$1\").tmp\" && mv \"$0.$(basename \"$1\").tmp\" "
                                           "\"$0.$(basename \"$1\")\"\n";
  std::filesystem::permissions(install + "/tovarinj1", std::filesystem::perms::owner_all);
  platform::SettingsKey::Create(platform::Hive::CurrentUser, g_ProductIdentity.settingsKey)
      .SetString("", platform::FromPosixPath(install));
  const auto sent = [&](const char* list) {
    const std::string copy = install + "/tovarinj1." + list;
    for (int i = 0; i < 1000 && !std::filesystem::exists(copy); ++i) platform::Sleep(10);
    return ReadFile(copy);
  };
  const Output tree = Run({"drop Audio Tracks\t/music/a b.mp3\t/music/c.flac"});
  EXPECT_EQ(Said(tree, "drop Audio Tracks\t/music/a b.mp3\t/music/c.flac"), std::vector<std::string>{"effect 1"})
      << tree.all;
  EXPECT_EQ(sent("_txman.dat"), "\\music\\a b.mp3\r\n\\music\\c.flac\r\n");

  Session session(home_);
  const auto rows = session.Rows("Data Files");
  int documents = -1;
  for (std::size_t r = 1; r < rows.size(); ++r) {
    if (!rows[r].empty() && rows[r][0] == "Documents") documents = static_cast<int>(r) - 1;
  }
  ASSERT_GE(documents, 0);
  const std::vector<std::string> view = session.Run({"drop-view " + std::to_string(documents) + "\t/home/me/notes.txt"});
  EXPECT_NE(std::find(view.begin(), view.end(), "effect 1"), view.end()) << Joined(view);
  const std::string list = sent("_txdat.dat");
  EXPECT_NE(list.find("\r\n\\home\\me\\notes.txt\r\n"), std::string::npos) << list;
}

}  // namespace
