// shellhost in script mode against a real trayhub: the demo player, the in-memory player
// for the kinds of content the demo lacks, and the text rows of a stopped manager, a
// disconnected player and a failing request; and how a misnamed copy of the library
// answers.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <sstream>

#include "testing/trayhub.h"
#include "testing/processes.h"

namespace {

using platform::testing::ChildProcess;

const bool kIsolated = platform::testing::IsolateNamespace();

struct Line {
  std::string kind;  // "D" or "I"
  std::string name;
  std::string second;
  std::string icon;
};

std::vector<std::string> Split(const std::string& text, char at) {
  std::vector<std::string> parts;
  std::stringstream in(text);
  std::string part;
  while (std::getline(in, part, at)) parts.push_back(part);
  if (!text.empty() && text.back() == at) parts.emplace_back();
  return parts;
}

// One run of shellhost: everything it printed, and per script command its listing.
struct Output {
  int exitCode = -1;
  std::string all;
  std::map<std::string, std::vector<Line>> listings;
  std::map<std::string, std::vector<std::string>> text;

  std::vector<std::string> Names(const std::string& command) const {
    std::vector<std::string> names;
    auto it = listings.find(command);
    if (it != listings.end()) {
      for (const Line& l : it->second) names.push_back(l.name);
    }
    return names;
  }
  std::vector<std::string> SortedNames(const std::string& command) const {
    std::vector<std::string> names = Names(command);
    std::sort(names.begin(), names.end());
    return names;
  }
  bool Shows(const std::string& text) const { return all.find(text) != std::string::npos; }
};

class ShellhostTest : public ::testing::Test {
 protected:
  void SetUp() override {
    home_ = std::getenv("TOVARIN_HOME");
    trayhubtest::PrepareManagerHome(home_, "2000,20000");
    ::unsetenv("TOVARIN_DEVICE");
    ::unsetenv("SHELLHOST_TEST_PLAYER");
    ::unsetenv("SHELLHOST_TEST_FAIL");
    // The library under its variant names, as the install step lays it out.
    const std::string built = platform::testing::ToolsFolder() + "/../lib/tovarin.so";
    std::filesystem::create_directories(home_ + "/lib");
    for (const char* name : {"ombrixj1.so", "ombrixq7.so"}) {
      std::filesystem::copy_file(built, home_ + "/lib/" + name, std::filesystem::copy_options::overwrite_existing);
    }
  }
  void TearDown() override {
    if (manager_) {
      manager_->Kill(SIGTERM);
      manager_->Wait();
      for (int i = 0; i < 500 && platform::FindWindow(g_ProductIdentity.windowClassName) != 0; ++i) {
        platform::Sleep(10);
      }
    }
  }

  void StartManager(const char* tool) {
    manager_ = trayhubtest::StartTool(tool);
    ASSERT_NE(trayhubtest::WaitForManager(0, 2000), 0u) << tool << " did not start";
  }

  Output Run(const std::vector<std::string>& script, const std::string& library = "ombrixj1.so") {
    ChildProcess shellhost("/bin/sh", {"-c", "exec \"$0\" \"$@\" 2>&1", platform::testing::ToolsFolder() + "/shellhost",
                                       "-l", home_ + "/lib/" + library, "script"});
    for (const std::string& line : script) shellhost.WriteLine(line);
    shellhost.CloseInput();
    Output out;
    std::string command;
    while (auto line = shellhost.ReadLine(60000)) {
      out.all += *line + "\n";
      if (line->rfind("> ", 0) == 0) {
        command = line->substr(2);
        out.listings[command];
        continue;
      }
      out.text[command].push_back(*line);
      const std::vector<std::string> parts = Split(*line, '\t');
      if (parts.size() == 4 && (parts[0] == "D" || parts[0] == "I")) {
        out.listings[command].push_back({parts[0], parts[1], parts[2], parts[3]});
      }
    }
    out.exitCode = shellhost.Wait();
    return out;
  }

  std::string home_;
  std::unique_ptr<ChildProcess> manager_;
};

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
