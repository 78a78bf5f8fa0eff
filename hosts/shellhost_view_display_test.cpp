// shellhost's folder view on a (virtual) display with a window manager, driven as a
// person drives it: keys and clicks sent to the window with xdotool. The list's keys,
// its styles, sorting and moving columns by their headers, the media keys, the end of the
// play queue, a refresh that keeps the selection, the status bar, names with line breaks,
// the folders' pictures and a library copy named in upper case. Each case saves pictures
// of the window in the pictures folder.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <sstream>
#include <thread>

#include "common/shell_utilities.h"
#include "testing/shellhost.h"

using namespace device;

namespace shellhosttest {
namespace {

const bool kIsolated = platform::testing::IsolateNamespace();

bool Contains(const std::vector<std::string>& lines, const std::string& text) {
  return std::any_of(lines.begin(), lines.end(), [&](const std::string& l) { return l.find(text) != std::string::npos; });
}

// The first line that begins with `start`, without it; nullopt when none does.
std::optional<std::string> LineAfter(const std::vector<std::string>& lines, const std::string& start) {
  for (const std::string& l : lines) {
    if (l.rfind(start, 0) == 0) return l.substr(start.size());
  }
  return std::nullopt;
}

// xdotool with its arguments, on the tests' display (the managers' start-up took it from
// the environment); what it printed.
std::string Xdo(const std::string& arguments) {
  std::string out;
  if (FILE* p = ::popen(("DISPLAY='" + kStartDisplay + "' xdotool " + arguments + " 2>/dev/null").c_str(), "r")) {
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, p) != nullptr) out += buffer;
    ::pclose(p);
  }
  return out;
}

struct Point {
  int x = 0;
  int y = 0;
};

class ViewOnDisplayTest : public ShellhostTest {
 protected:
  using Lines = std::vector<std::string>;

  // Runs `commands` (the window's loop serving meanwhile) until `done` holds for their
  // output; false after the time limit.
  static bool WaitFor(Session& s, const Lines& commands, const std::function<bool(const Lines&)>& done,
                      Lines* last = nullptr) {
    Lines with = {"pump 60"};
    with.insert(with.end(), commands.begin(), commands.end());
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20 * platform::testing::SlowFactor());
    Lines out;
    do {
      out = s.Run(with);
      if (done(out)) break;
    } while (std::chrono::steady_clock::now() < until);
    if (last != nullptr) *last = out;
    return done(out);
  }
  static bool WaitForLine(Session& s, const Lines& commands, const std::string& line, Lines* last = nullptr) {
    return WaitFor(s, commands, [&](const Lines& out) { return std::find(out.begin(), out.end(), line) != out.end(); },
                   last);
  }

  // The middle of a thing on the screen ("view ROW", "header SLOT", "tree PATH").
  static std::optional<Point> Where(Session& s, const std::string& what) {
    const Lines out = s.Run({"screen-rect " + what});
    int l = 0, t = 0, r = 0, b = 0;
    for (const std::string& line : out) {
      if (std::sscanf(line.c_str(), "rect %d %d %d %d", &l, &t, &r, &b) == 4) return Point{(l + r) / 2, (t + b) / 2};
    }
    return std::nullopt;
  }

  // shellhost's frame, raised and given the keyboard by the window manager.
  static std::string FrameWindow() {
    std::istringstream ids(Xdo("search --sync --onlyvisible --classname shellhost"));
    std::string id;
    std::string frame;
    int widest = 0;
    // The frame is its widest window (a message box is smaller).
    while (ids >> id) {
      int width = 0;
      std::sscanf(Xdo("getwindowgeometry " + id).c_str(), "%*[^G]Geometry: %dx", &width);
      if (width > widest) {
        widest = width;
        frame = id;
      }
    }
    return frame;
  }
  static int VisibleWindows() {
    std::istringstream ids(Xdo("search --onlyvisible --classname shellhost"));
    int n = 0;
    for (std::string id; ids >> id;) ++n;
    return n;
  }
  static void Activate() { Xdo("windowactivate --sync " + FrameWindow()); }
  static void Click(Point p, int count = 1) {
    Xdo("mousemove --sync " + std::to_string(p.x) + " " + std::to_string(p.y) + " click --repeat " +
        std::to_string(count) + " --delay 80 1");
  }
  static void Key(const std::string& keys) { Xdo("key --clearmodifiers --delay 60 " + keys); }

  // The view's list as shellhost tells it.
  static std::string Selected(const Lines& out) { return LineAfter(out, "selected").value_or("?"); }
  static int Number(const Lines& out, const std::string& start) {
    const std::optional<std::string> v = LineAfter(out, start);
    return v ? std::atoi(v->c_str()) : -1;
  }
  static std::string Shot(Session& s, const std::string& name) {
    const std::string file = PicturesFolder() + "/view_" + name + ".png";
    std::filesystem::remove(file);
    const Lines out = s.Run({"pump 200", "shot " + file});
    EXPECT_TRUE(std::filesystem::exists(file) && std::filesystem::file_size(file) > 1000) << file << "\n" << Joined(out);
    return file;
  }
  static void ExpectRenderedAsHeld(Session& s, const std::string& when) {
    const Lines out = s.Run({"pump 100", "rendered"});
    EXPECT_TRUE(Contains(out, "as the view holds it")) << when << ":\n" << Joined(out);
  }
  // The row of the view whose first column reads `name`; -1 when none does.
  static int RowNamed(Session& s, const std::string& name) {
    const auto rows = s.Rows();
    for (std::size_t i = 1; i < rows.size(); ++i) {
      if (!rows[i].empty() && rows[i][0] == name) return static_cast<int>(i) - 1;
    }
    return -1;
  }

  void StartPlayerOf(int tracks) {
    ::setenv("SHELLHOST_TEST_TRACKS", std::to_string(tracks).c_str(), 1);
    StartManager("shellhost_test_player");
    ::unsetenv("SHELLHOST_TEST_TRACKS");
  }
};

// Up, Down, Page Down, End and Enter work in the list as Ctrl+A, Delete and a double
// click do.
TEST_F(ViewOnDisplayTest, KeysMoveTheSelectionAndOpenRows) {
  StartPlayerOf(200);
  Session s(home_, true);
  s.Run({"view Audio Tracks", "pump 300"});
  Activate();
  const std::optional<Point> first = Where(s, "view 0");
  ASSERT_TRUE(first);
  Click(*first);
  Lines out;
  ASSERT_TRUE(WaitForLine(s, {"list-state"}, "selected 0", &out)) << Joined(out);
  Key("Down");
  EXPECT_TRUE(WaitForLine(s, {"list-state"}, "focused 1", &out)) << Joined(out);
  EXPECT_EQ(Selected(out), " 1");
  Key("Next");  // Page Down: a page further, the list scrolled with it
  EXPECT_TRUE(WaitFor(s, {"list-state"}, [](const Lines& o) { return Number(o, "focused ") > 5; }, &out)) << Joined(out);
  Key("End");
  EXPECT_TRUE(WaitForLine(s, {"list-state"}, "focused 199", &out)) << Joined(out);
  EXPECT_GT(Number(out, "top "), 150);
  Key("Up");
  EXPECT_TRUE(WaitForLine(s, {"list-state"}, "selected 198", &out)) << Joined(out);
  Shot(s, "keys_moved");
  Key("ctrl+a");
  EXPECT_TRUE(WaitFor(s, {"list-state"}, [](const Lines& o) { return LineAfter(o, "selected").value_or("").size() > 600; },
                      &out))
      << Joined(out);
  // Delete asks first (its box holds the window's loop until it is answered); Escape
  // keeps the tracks.
  const int before = VisibleWindows();
  Key("Delete");
  s.Start({"pump 100"});
  bool asked = false;
  for (int i = 0; i < 200 * platform::testing::SlowFactor() && !asked; ++i) {
    asked = VisibleWindows() > before;
    if (!asked) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  EXPECT_TRUE(asked);
  Key("Escape");
  s.Finish();
  EXPECT_EQ(VisibleWindows(), before);
  EXPECT_EQ(s.Rows().size(), 201u);

  // Enter and a double click open a folder's row.
  s.Run({"view /", "pump 300"});
  const int audio = RowNamed(s, "Audio Tracks");
  ASSERT_GE(audio, 0);
  Click(*Where(s, "view " + std::to_string(audio)));
  ASSERT_TRUE(WaitForLine(s, {"list-state"}, "selected " + std::to_string(audio), &out)) << Joined(out);
  Key("Return");
  EXPECT_TRUE(WaitForLine(s, {"where"}, "Audio Tracks", &out)) << Joined(out);
  s.Run({"view /", "pump 300"});
  const int playlists = RowNamed(s, "Playlists");
  ASSERT_GE(playlists, 0);
  Click(*Where(s, "view " + std::to_string(playlists)), 2);
  EXPECT_TRUE(WaitForLine(s, {"where"}, "Playlists", &out)) << Joined(out);
}

// View > Large Icons, List and Details change the list shown at once.
TEST_F(ViewOnDisplayTest, TheViewMenuChangesTheListsStyleAtOnce) {
  StartManager("trayhub");
  Session s(home_, true);
  s.Run({"view Albums", "pump 300"});
  Activate();
  Lines out;
  const struct {
    const char* key;  // the entry's mnemonic in the View menu
    const char* mode;
    const char* picture;
  } styles[] = {{"l", "mode large icons", "large_icons"}, {"i", "mode list", "list"}, {"d", "mode details", "details"}};
  for (const auto& style : styles) {
    Key("alt+v");
    std::this_thread::sleep_for(std::chrono::milliseconds(300));  // the menu opens
    Key(style.key);
    EXPECT_TRUE(WaitForLine(s, {"list-state"}, style.mode, &out)) << style.mode << "\n" << Joined(out);
    ExpectRenderedAsHeld(s, style.mode);
    Shot(s, std::string("style_") + style.picture);
  }
}

// A click on a header puts the sort arrow on that column wherever it is shown; a header
// dragged to another place moves its column there; the grid lines are drawn.
TEST_F(ViewOnDisplayTest, HeadersSortAndMoveColumnsUnderGridLines) {
  StartManager("trayhub");
  Session s(home_, true);
  s.Run({"view Audio Tracks", "pump 300"});
  Activate();
  const auto titles = [&] { return s.Rows().at(0); };
  const std::vector<std::string> before = titles();
  ASSERT_GE(before.size(), 4u);
  EXPECT_EQ(before[1], "Size");  // shown before "Type", whose column comes first in the list
  ExpectRenderedAsHeld(s, "opened");
  const std::optional<Point> size = Where(s, "header 1");
  ASSERT_TRUE(size);
  Click(*size);
  Lines out;
  EXPECT_TRUE(WaitFor(s, {"rendered"}, [](const Lines& o) { return Contains(o, "as the view holds it"); }, &out))
      << Joined(out);
  Shot(s, "sorted_by_size");
  // "Size" dragged onto the fourth header.
  const std::optional<Point> to = Where(s, "header 3");
  ASSERT_TRUE(to);
  Xdo("mousemove --sync " + std::to_string(size->x) + " " + std::to_string(size->y) + " mousedown 1");
  for (int step = 1; step <= 8; ++step) {
    Xdo("mousemove --sync " + std::to_string(size->x + (to->x - size->x) * step / 8) + " " + std::to_string(size->y));
  }
  Xdo("mouseup 1");
  EXPECT_TRUE(WaitFor(s, {}, [&](const Lines&) { return titles().size() > 3 && titles()[3] == "Size"; }))
      << Joined(titles());
  ExpectRenderedAsHeld(s, "moved");
  Shot(s, "column_moved");
}

// The media keys reach the view, also while the folder tree has the keyboard; at the end
// of the queue the view says it was reached and Play starts the queue again.
TEST_F(ViewOnDisplayTest, MediaKeysPlayAndTheQueuesEndIsTold) {
  StartManager("trayhub");
  KernelDeviceClient client;
  ASSERT_TRUE(Connect(client));
  const std::vector<KernelId> tracks = EnqueueFirstTracks(client, 2);
  ASSERT_EQ(tracks.size(), 2u);
  Session s(home_, true);
  s.Run({"view Active Queue", "pump 300"});
  Activate();
  // The keyboard in the list, no row chosen: the status bar's last part is the player's.
  const Point first = *Where(s, "view 0");
  Click(first);
  Xdo("keydown ctrl");
  Click(first);
  Xdo("keyup ctrl");
  Lines out;
  ASSERT_TRUE(WaitForLine(s, {"list-state"}, "selected", &out)) << Joined(out);
  Key("XF86AudioNext");  // the second entry
  EXPECT_TRUE(WaitFor(s, {"status"}, [&](const Lines& o) {
    return Contains(o, "2: Playing") && Contains(o, client.GetTrackTitle(tracks[1]));
  }, &out)) << Joined(out);
  Key("XF86AudioPlay");  // play/pause: as the Pause button
  EXPECT_TRUE(WaitFor(s, {}, [&](const Lines&) { return client.IsPaused() == 1; }));
  Key("XF86AudioPlay");
  EXPECT_TRUE(WaitFor(s, {}, [&](const Lines&) { return client.IsPaused() == 0; }));
  // The demo's tracks last a few seconds: the last one ends and the queue has played out.
  EXPECT_TRUE(WaitForLine(s, {"status"}, "2: Playback Stopped: the end of the queue was reached.", &out)) << Joined(out);
  Click(*Where(s, "tree Active Queue"));  // the keyboard in the folder tree
  Key("XF86AudioNext");
  EXPECT_TRUE(WaitForLine(s, {"status"}, "2: Nothing to play: the end of the queue was reached.", &out)) << Joined(out);
  Shot(s, "queue_played_out");
  s.Run({"command 2601"});  // Play
  EXPECT_TRUE(WaitFor(s, {"status"}, [&](const Lines& o) { return Contains(o, client.GetTrackTitle(tracks[0])); }, &out))
      << Joined(out);
  Key("XF86AudioStop");
  EXPECT_TRUE(WaitFor(s, {"status"}, [](const Lines& o) { return Contains(o, "2: Playback Stopped"); }, &out))
      << Joined(out);
}

// A refresh from another program keeps the rows chosen and the place shown; the status
// bar follows the selection.
TEST_F(ViewOnDisplayTest, ARefreshKeepsTheSelectionAndTheStatusFollowsIt) {
  StartPlayerOf(120);
  Session s(home_, true);
  s.Run({"view Audio Tracks", "pump 300"});
  Activate();
  Click(*Where(s, "view 0"));
  Key("Next Next Down");
  Lines out;
  ASSERT_TRUE(WaitFor(s, {"list-state"}, [](const Lines& o) { return Number(o, "top ") > 0; }, &out)) << Joined(out);
  const int row = Number(out, "focused ");
  Click(*Where(s, "view " + std::to_string(row - 2)));
  Xdo("keydown ctrl");
  Click(*Where(s, "view " + std::to_string(row)));
  Xdo("keyup ctrl");
  ASSERT_TRUE(WaitForLine(s, {"list-state"}, "selected " + std::to_string(row - 2) + " " + std::to_string(row), &out))
      << Joined(out);
  const std::string selected = Selected(out);
  const int top = Number(out, "top ");
  const std::optional<std::string> name = LineAfter(s.Run({"status"}), "2: ");
  RefreshFolderViews();
  s.Run({"pump 500"});
  out = s.Run({"list-state", "status"});
  EXPECT_EQ(Selected(out), selected);
  EXPECT_EQ(Number(out, "top "), top);
  EXPECT_EQ(LineAfter(out, "2: "), name);
  ExpectRenderedAsHeld(s, "refreshed");
  Shot(s, "refreshed_keeps_selection");
  // Ctrl+click the two chosen rows: nothing chosen, no name in the status bar.
  Xdo("keydown ctrl");
  Click(*Where(s, "view " + std::to_string(row)));
  Click(*Where(s, "view " + std::to_string(row - 2)));
  Xdo("keyup ctrl");
  EXPECT_TRUE(WaitForLine(s, {"list-state", "status"}, "2: ", &out)) << Joined(out);
}

// A manager that stops leaves rows that say so, with no counts beside them.
TEST_F(ViewOnDisplayTest, AStoppedManagersRowsShowNoCounts) {
  StartManager("trayhub");
  Session s(home_, true);
  s.Run({"view Audio Tracks", "pump 300"});
  Lines out;
  ASSERT_TRUE(WaitFor(s, {"status"}, [](const Lines& o) { return Contains(o, " MB free."); }, &out)) << Joined(out);
  manager_->Kill(SIGTERM);
  manager_->Wait();
  manager_.reset();
  s.Run({"command " + std::to_string(0x6003)});  // the frame's Refresh
  EXPECT_TRUE(WaitForLine(s, {"status"}, "0: ", &out)) << Joined(out);
  Shot(s, "manager_stopped_status");
}

// Names holding line breaks show as one line; the folders of the root and of Playlists
// each have a picture of their own.
TEST_F(ViewOnDisplayTest, OddNamesAndPictures) {
  ::setenv("SHELLHOST_TEST_ODD_NAMES", "1", 1);
  StartManager("shellhost_test_player");
  ::unsetenv("SHELLHOST_TEST_ODD_NAMES");
  Session s(home_, true);
  s.Run({"view Playlists", "pump 300"});
  EXPECT_GE(RowNamed(s, "Late  Night Mix"), 0);
  ExpectRenderedAsHeld(s, "playlists");
  Shot(s, "playlists_pictures_and_names");
  s.Run({"view Audio Tracks", "pump 300"});
  EXPECT_GE(RowNamed(s, "Line - Break - 01 - Two  Lines"), 0);
  Shot(s, "names_with_line_breaks");
  s.Run({"view /", "pump 300"});
  Shot(s, "root_pictures");
}

// A copy of the library named in upper case loads and shows the player.
TEST_F(ViewOnDisplayTest, AnUpperCaseCopyOfTheLibraryLoads) {
  StartManager("trayhub");
  std::filesystem::copy_file(home_ + "/lib/ombrixj1.so", home_ + "/lib/OMBRIXJ1.SO",
                             std::filesystem::copy_options::overwrite_existing);
  Session upper(home_, true, "OMBRIXJ1.SO");
  const Lines out = upper.Run({"view /", "pump 300"});
  EXPECT_FALSE(Contains(out, "misnamed")) << Joined(out);
  EXPECT_GE(RowNamed(upper, "Audio Tracks"), 0);
  Shot(upper, "upper_case_copy");
}

}  // namespace
}  // namespace shellhosttest
