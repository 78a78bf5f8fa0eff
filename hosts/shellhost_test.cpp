// shellhost in script mode against a real trayhub: the demo player, the in-memory player
// for the kinds of content the demo lacks, and the text rows of a stopped manager, a
// disconnected player and a failing request; and how a misnamed copy of the library
// answers.
#include <gtest/gtest.h>

#include "common/shell_utilities.h"
#include "testing/shellhost.h"

namespace {

using namespace device;
using namespace shellhosttest;

const bool kIsolated = platform::testing::IsolateNamespace();

const std::vector<std::string> kNotConnected = {
    "Ombrix Suite cannot currently establish communication with your device.",
    "Please make sure that Kestrova Manager is running in the systray and",
    "verify that your device is on and properly connected.",
    "For more help, double-click here to browse to our online Troubleshooter.",
};

TEST_F(ShellhostTest, EveryFolderOfTheDemoPlayer) {
  StartManager("trayhub");
  struct Case {
    std::string path;
    std::vector<std::string> names;  // sorted, except where the order is the folder's own
    bool ordered;
  };
  const std::vector<Case> cases = {
      {"", {"Audio Tracks", "Data Files", "Search", "Active Queue", "Playlists", "Artists", "Albums", "Genres",
            "Last Transfer", "Device Information"}, true},
      {"Audio Tracks",
       {"Harbor Lights - Tidewater Sketches - 01 - Low Tide", "Harbor Lights - Tidewater Sketches - 02 - Salt and Glass",
        "Harbor Lights - Tidewater Sketches - 03 - Fog Bell", "Northwind Brass - Small Hours - 01 - Midnight Stroll",
        "Northwind Brass - Small Hours - 02 - Blue Lantern", "Northwind Brass - Small Hours - 03 - Last Tram Home",
        "Mira Solenne - Paper Lanterns - 01 - Orchard Song", "Mira Solenne - Paper Lanterns - 02 - River Road",
        "Mira Solenne - Paper Lanterns - 03 - Winter Wheat", "The Glass Ferns - Signals - 01 - Pulse",
        "The Glass Ferns - Signals - 02 - Circuit Garden", "The Glass Ferns - Afterglow - 01 - Neon Rain"}, true},
      {"Artists", {"Harbor Lights", "Mira Solenne", "Northwind Brass", "The Glass Ferns"}, true},
      {"Artists/The Glass Ferns", {"[ All: The Glass Ferns ]", "Afterglow", "Signals"}, true},
      {"Artists/The Glass Ferns/Signals",
       {"The Glass Ferns - Signals - 01 - Pulse", "The Glass Ferns - Signals - 02 - Circuit Garden"}, false},
      {"Albums", {"Afterglow", "Paper Lanterns", "Signals", "Small Hours", "Tidewater Sketches"}, true},
      {"Albums/Small Hours",
       {"Northwind Brass - Small Hours - 01 - Midnight Stroll", "Northwind Brass - Small Hours - 02 - Blue Lantern",
        "Northwind Brass - Small Hours - 03 - Last Tram Home"}, false},
      {"Genres", {"Ambient", "Electronic", "Folk", "Jazz"}, true},
      {"Genres/Electronic",
       {"The Glass Ferns - Afterglow - 01 - Neon Rain", "The Glass Ferns - Signals - 01 - Pulse",
        "The Glass Ferns - Signals - 02 - Circuit Garden"}, false},
      {"Playlists", {"[ Playlist Index ]", "Evening Mix", "Road Trip"}, true},
      {"Playlists/Evening Mix",
       {"Harbor Lights - Tidewater Sketches - 01 - Low Tide", "Northwind Brass - Small Hours - 01 - Midnight Stroll",
        "Mira Solenne - Paper Lanterns - 01 - Orchard Song", "The Glass Ferns - Afterglow - 01 - Neon Rain",
        "Northwind Brass - Small Hours - 02 - Blue Lantern"}, true},
      {"Data Files", {"Documents"}, true},
      {"Data Files/Documents", {"Welcome.txt"}, true},
      {"Search", {}, true},
      {"Active Queue", {}, true},
      {"Last Transfer", {}, true},
  };
  std::vector<std::string> script;
  for (const Case& c : cases) script.push_back(c.path.empty() ? "ls" : "ls " + c.path);
  script.push_back("ls Device Information");
  script.push_back("ls Playlists/[ Playlist Index ]");
  const Output out = Run(script);
  ASSERT_EQ(out.exitCode, 0) << out.all;
  for (const Case& c : cases) {
    const std::string command = c.path.empty() ? "ls" : "ls " + c.path;
    EXPECT_EQ(c.ordered ? out.Names(command) : out.SortedNames(command), c.names) << command << "\n" << out.all;
  }

  std::map<std::string, std::string> info;
  for (const Line& l : out.listings.at("ls Device Information")) info[l.name] = l.second;
  const std::map<std::string, std::string> expected = {
      {"Model", "Dozi Jukebox"},      {"Owner", "Demo User"},          {"Audio Support", "Yes"},
      {"Tag/Search Support", "Yes"},  {"Playlist Support", "Yes"},     {"Data Support", "Yes"},
      {"'Play on Jukebox' Support", "Yes"},
  };
  for (const auto& [row, value] : expected) EXPECT_EQ(info[row], value) << row;
  for (const char* row : {"Date/Time", "Hardware Version", "Firmware Version", "Driver Version"}) {
    EXPECT_FALSE(info[row].empty()) << row;
  }
  EXPECT_EQ(info.count("FM Preset Support"), 0u);

  // The playlist index shows every track with the playlists that hold it.
  const auto& index = out.listings.at("ls Playlists/[ Playlist Index ]");
  ASSERT_EQ(index.size(), 12u);
  EXPECT_EQ(index[0].second, "Evening Mix");
  EXPECT_EQ(index[2].second, "");
  // Icons: folders by kind, tracks by their file type, playlist entries with the link emblem.
  EXPECT_EQ(out.listings.at("ls")[0].icon, "folder-music");
  EXPECT_EQ(out.listings.at("ls Audio Tracks")[0].icon, "audio-x-wav");
  EXPECT_EQ(out.listings.at("ls Audio Tracks")[1].icon, "audio-mpeg");
  EXPECT_EQ(out.listings.at("ls Playlists/Evening Mix")[0].icon, "audio-x-wav+emblem-symbolic-link");
  EXPECT_EQ(out.listings.at("ls Data Files/Documents")[0].icon, "text-plain");
}

TEST_F(ShellhostTest, KindsTheDemoPlayerLacksFromTheInMemoryPlayer) {
  StartManager("shellhost_test_player");
  const Output out = Run({"ls", "ls FM Radio Tuner", "ls Notes", "ls Contacts", "ls Internal"});
  ASSERT_EQ(out.exitCode, 0) << out.all;
  const std::vector<std::string> root = out.Names("ls");
  ASSERT_FALSE(root.empty()) << out.all;
  EXPECT_EQ(root.front(), "Internal");
  for (const char* name : {"FM Radio Tuner", "Contacts", "Notes", "Open Ferrowin..."}) {
    EXPECT_NE(std::find(root.begin(), root.end(), name), root.end()) << name;
  }
  EXPECT_EQ(out.listings.at("ls")[0].icon, "drive-harddisk");
  EXPECT_EQ(out.Names("ls FM Radio Tuner"), (std::vector<std::string>{"94.70 MHz"}));
  EXPECT_EQ(out.Names("ls Notes"), (std::vector<std::string>{"Shopping"}));
  EXPECT_EQ(out.Names("ls Contacts"), (std::vector<std::string>{"Mara Quill"}));
  const std::vector<std::string> medium = out.Names("ls Internal");
  ASSERT_EQ(medium.size(), 13u);  // its tracks, then the data items of its root
  EXPECT_EQ(medium[0], "Ada Lind - North Light - 01 - Harbour");
  EXPECT_EQ(medium[12], "Documents");
}

TEST_F(ShellhostTest, TextRowsOfAStoppedManagerADisconnectedPlayerAndAFailingRequest) {
  // No manager at all.
  Output out = Run({"ls", "flags 0x20", "ls"});
  EXPECT_EQ(out.Names("ls"), kNotConnected) << out.all;
  EXPECT_FALSE(out.Shows("---")) << "no message box: " << out.all;

  ::setenv("SHELLHOST_TEST_PLAYER", "disconnected", 1);
  StartManager("shellhost_test_player");
  out = Run({"ls"});
  EXPECT_EQ(out.Names("ls"), kNotConnected) << out.all;
  EXPECT_EQ(out.listings.at("ls")[0].icon, "dialog-error");
  EXPECT_EQ(out.listings.at("ls")[1].icon, "-");
  TearDown();
  manager_.reset();

  ::setenv("SHELLHOST_TEST_PLAYER", "full", 1);
  ::setenv("SHELLHOST_TEST_FAIL", "GetNextGenre", 1);
  StartManager("shellhost_test_player");
  out = Run({"ls Genres"});
  EXPECT_EQ(out.Names("ls Genres"), (std::vector<std::string>{"Folk"})) << out.all;  // what came before stays
  EXPECT_TRUE(out.Shows("Could not access genres.")) << out.all;
  EXPECT_TRUE(out.Shows("It failed on purpose.")) << out.all;
}

TEST_F(ShellhostTest, AMisnamedCopySaysSoAndServesNoClass) {
  const Output out = Run({"ls"}, "ombrixq7.so");
  EXPECT_EQ(out.exitCode, 1);
  EXPECT_TRUE(out.Shows("You have a misnamed DLL file.  Please reinstall.")) << out.all;
  EXPECT_TRUE(out.Shows("DllGetClassObject: class not available (0x80040111)")) << out.all;
  EXPECT_LT(out.all.find("misnamed"), out.all.find("DllGetClassObject"));
}

TEST_F(ShellhostTest, TheLibraryStaysLoadedAndNamesItsClass) {
  const Output out = Run({"canunload", "classid", "name Device Information"});
  EXPECT_EQ(out.text.at("canunload"), (std::vector<std::string>{"DllCanUnloadNow: false (0x00000001)"}));
  EXPECT_EQ(out.text.at("classid"), (std::vector<std::string>{"{6E3F1B27-C48A-4D05-9B7E-52A0F8C3D14B}"}));
  // Without a manager the root has no folders, so a path into it is refused.
  EXPECT_EQ(out.text.at("name Device Information"), (std::vector<std::string>{"error: no item \"Device Information\""}));
}

}  // namespace

namespace {

// Each kind of folder of the demo player in the folder view: its columns and one row.
TEST_F(ShellhostTest, TheViewOfEachKindOfFolder) {
  StartManager("trayhub");
  struct Case {
    std::string path;
    std::vector<std::string> titles;
    std::size_t row;
    std::vector<std::string> texts;
  };
  const std::vector<Case> cases = {
      {"", {"Name", "Count", "Used Space", "Free Space", "Total Space"}, 0, {}},
      {"Audio Tracks", {"Name", "Size", "Type", "Length", "Bitrate", "Year", "Genre", "Comment"}, 1,
       {"Harbor Lights - Tidewater Sketches - 01 - Low Tide"}},
      {"Artists", {"Name", "Contains"}, 1, {"Harbor Lights", "1"}},
      {"Artists/The Glass Ferns", {"Name", "Contains"}, 1, {"[ All: The Glass Ferns ]", "3"}},
      {"Albums/Small Hours", {"Name", "Size", "Type", "Length", "Bitrate", "Year", "Genre", "Comment"}, 1,
       {"Northwind Brass - Small Hours - 01 - Midnight Stroll"}},
      {"Genres", {"Name", "Contains"}, 1, {"Ambient"}},
      {"Playlists", {"Name", "Contains"}, 1, {"[ Playlist Index ]"}},
      {"Playlists/Evening Mix", {"#", "Name", "Type", "Size", "Length", "Bitrate", "Genre", "Year", "Comment"}, 1,
       {"1", "Harbor Lights - Tidewater Sketches - 01 - Low Tide"}},
      {"Playlists/[ Playlist Index ]", {"Name", "Count", "Playlists"}, 1,
       {"Harbor Lights - Tidewater Sketches - 01 - Low Tide", "1", "Evening Mix"}},
      {"Data Files", {"Name", "Size", "Type", "Modified", "Attributes"}, 1, {"Documents"}},
      {"Data Files/Documents", {"Name", "Size", "Type", "Modified", "Attributes"}, 1, {"Welcome.txt"}},
      {"Device Information", {"Device Property", "Value"}, 1, {"Model", "Dozi Jukebox"}},
      {"Active Queue", {"#", "Name", "Status", "Length"}, 0, {}},
  };
  Session session(home_);
  for (const Case& c : cases) {
    const auto rows = session.Rows(c.path.empty() ? "/" : c.path);
    ASSERT_FALSE(rows.empty()) << c.path;
    EXPECT_EQ(rows[0], c.titles) << c.path;
    if (c.texts.empty()) continue;
    ASSERT_GT(rows.size(), c.row) << c.path;
    const std::vector<std::string> row(rows[c.row].begin(), rows[c.row].begin() +
                                                              static_cast<std::ptrdiff_t>(std::min(rows[c.row].size(), c.texts.size())));
    EXPECT_EQ(row, c.texts) << c.path;
  }
}

// Every column of the track list sorts both ways into a total order: sorting downwards
// gives the upward order turned round, every time.
TEST_F(ShellhostTest, EveryColumnSortsBothWays) {
  StartManager("trayhub");
  Session session(home_);
  const auto first = session.Rows("Audio Tracks");
  ASSERT_FALSE(first.empty());
  const std::vector<std::string> titles = first[0];
  auto names = [](const std::vector<std::vector<std::string>>& rows) {
    std::vector<std::string> out;
    for (std::size_t r = 1; r < rows.size(); ++r) out.push_back(rows[r][0]);
    return out;
  };
  for (const std::string& title : titles) {
    session.Run({"sort " + title});
    const auto down = session.Rows();  // the first click sorts downwards
    session.Run({"sort " + title});
    const auto up = session.Rows();
    session.Run({"sort " + title});
    EXPECT_EQ(names(session.Rows()), names(down)) << title << ": sorting again changed the order";
    std::vector<std::string> turned = names(up);
    std::reverse(turned.begin(), turned.end());
    EXPECT_EQ(turned, names(down)) << title;
    session.Run({"sort " + title});  // upwards again for the next column
  }
  session.Run({"sort Length"});
  session.Run({"sort Length"});
  const std::vector<std::string> lengths = Column(session.Rows(), "Length");
  EXPECT_TRUE(std::is_sorted(lengths.begin(), lengths.end(), [](const std::string& a, const std::string& b) {
    return a.size() != b.size() ? a.size() < b.size() : a < b;
  }));
}

// The columns a person chose are there again in the next shellhost.
TEST_F(ShellhostTest, StoredColumnLayoutsSurviveARestart) {
  StartManager("trayhub");
  {
    Session session(home_);
    session.Run({"view Audio Tracks", "command 20001", "command 20011"});  // show Artist, hide Genre
  }
  Session again(home_);
  const auto rows = again.Rows("Audio Tracks");
  ASSERT_FALSE(rows.empty());
  EXPECT_EQ(rows[0], (std::vector<std::string>{"Name", "Artist", "Size", "Type", "Length", "Bitrate", "Year", "Comment"}));
}

// Another process changes the player and calls RefreshFolderViews: the open view reloads,
// and so does the tree pane.
TEST_F(ShellhostTest, ARefreshPostedFromAnotherProcessReloadsTheOpenView) {
  StartManager("trayhub");
  Session session(home_);
  session.Run({"view Playlists/Evening Mix", "view Playlists"});
  ASSERT_TRUE(Column(session.Rows(), "Name").size() >= 3u);
  KernelDeviceClient client;
  ASSERT_TRUE(Connect(client));
  KernelId made;
  ASSERT_EQ(client.CreatePlaylist("Late Night", made), 0);
  client.CommitChanges();
  RefreshFolderViews();
  const std::vector<std::string> out = session.Run({"pump 10000 Late Night", "rows", "pane"});
  auto shows = [&](const std::string& text) {
    return std::any_of(out.begin(), out.end(), [&](const std::string& l) { return l.find(text) != std::string::npos; });
  };
  EXPECT_TRUE(shows("Late Night\t")) << "the view";
  EXPECT_TRUE(std::any_of(out.begin(), out.end(), [](const std::string& l) { return l == "    Late Night"; }))
      << "the tree pane:\n" << Joined(out);
  (void)shows;
}

// The queue commands change the player's queue, and the open view shows it.
TEST_F(ShellhostTest, QueueCommandsChangeThePlayersQueue) {
  StartManager("trayhub");
  KernelDeviceClient client;
  ASSERT_TRUE(Connect(client));
  KernelId track;
  std::vector<KernelId> tracks;
  for (int n = client.GetFirstAudioTrack(track); n != 0 && tracks.size() < 5; n = client.GetNextAudioTrack(track)) {
    tracks.push_back(track);
  }
  for (const KernelId& t : tracks) client.EnqueueTrack(t);
  Session session(home_);
  EXPECT_EQ(Column(session.Rows("Active Queue"), "#").size(), tracks.size());
  session.Run({"invoke-folder 3019"});  // Shuffle Queue
  EXPECT_EQ(Column(session.Rows(), "#"), (std::vector<std::string>{"1", "2", "3", "4", "5"}));
  session.Run({"invoke-folder 3060"});  // Clear Queue
  EXPECT_EQ(Column(session.Rows(), "#").size(), 0u);
  EXPECT_EQ(client.GetFirstQueueEntry(track), 0);
}

TEST_F(ShellhostTest, TheViewWithoutAManagerShowsItsTextRows) {
  Session session(home_);
  const auto rows = session.Rows("/");
  ASSERT_EQ(rows.size(), 1 + kNotConnected.size());
  EXPECT_EQ(rows[0], (std::vector<std::string>{"Name", "Count", "Used Space", "Free Space", "Total Space"}));
  for (std::size_t i = 0; i < kNotConnected.size(); ++i) EXPECT_EQ(rows[i + 1][0], kNotConnected[i]);
}

TEST_F(ShellhostTest, ActivatingAndDraggingRowsInTheView) {
  StartManager("trayhub");
  Session session(home_);
  std::vector<std::string> out = session.Run({"view Artists", "select 1", "activate", "where"});
  EXPECT_EQ(out.back(), "Artists/Mira Solenne");
  out = session.Run({"back", "where"});
  EXPECT_EQ(out.back(), "Artists");
  // The last entry of a playlist dragged to the front.
  const auto before = Column(session.Rows("Playlists/Evening Mix"), "Name");
  ASSERT_EQ(before.size(), 5u);
  out = session.Run({"drag 4 0"});
  const auto after = Column(session.Rows(), "Name");
  EXPECT_EQ(session.Run({"where"}).back(), "Playlists/Evening Mix");  // the playlist, written anew
  EXPECT_EQ(after, (std::vector<std::string>{before[4], before[0], before[1], before[2], before[3]}));
  out = session.Run({"select 0 1", "drag 0 3"});
  EXPECT_TRUE(std::any_of(out.begin(), out.end(), [](const std::string& l) {
    return l.find("You can only reorder one track at a time.") != std::string::npos;
  }));
}

TEST_F(ShellhostTest, TheTagCommandsAreReachedThroughTheirIds) {
  StartManager("trayhub");
  Session session(home_);
  session.Rows("Audio Tracks");
  const std::vector<std::pair<const char*, const char*>> kCommands = {
      {"invoke 3061", "Could not find log file."},
      {"invoke 3068", "\"Albums by '"},  // the request waits for the window, which cannot be shown here
      {"invoke 4020", "\"Auto-Fill Track Numbers\" cannot be shown here"},
  };
  for (const auto& [command, said] : kCommands) {
    const std::vector<std::string> out = session.Run({"select 0", command});
    const std::string expected = said;  // clang 14 cannot capture a structured binding
    EXPECT_TRUE(std::any_of(out.begin(), out.end(), [&](const std::string& l) { return l.find(expected) != std::string::npos; }))
        << command;
  }
}

}  // namespace
