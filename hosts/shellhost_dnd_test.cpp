// Drag and drop and the clipboard between shellhost and another program of the desktop,
// on a (virtual) display against trayhub with the demo player: files dragged in from the
// other program go to the player, a track dragged out lands there as a file, copy and
// paste work both ways; and pictures of the context menus of a track and a playlist.
// The pointer is moved and pressed through the X server's test extension, as a person's
// hand would.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "platform/paths/paths.h"
#include "testing/audio_fixtures.h"
#include "testing/processes.h"
#include "testing/shellhost.h"

// Last: the X headers' macros would clash with names above.
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#undef None
#undef Bool
#undef Status
#undef Success
#undef Always

using namespace device;

namespace {

using namespace shellhosttest;
namespace fs = std::filesystem;

const bool kIsolated = platform::testing::IsolateNamespace();

struct ScreenRect {
  int left = 0, top = 0, right = 0, bottom = 0;
  int x() const { return (left + right) / 2; }
  int y() const { return (top + bottom) / 2; }
};

// "rect L T R B" among the lines; nullopt when none.
std::optional<ScreenRect> RectIn(const std::vector<std::string>& lines) {
  for (const std::string& line : lines) {
    ScreenRect r;
    if (std::sscanf(line.c_str(), "rect %d %d %d %d", &r.left, &r.top, &r.right, &r.bottom) == 4) return r;
  }
  return std::nullopt;
}

// The pointer of the display, moved and pressed through the test extension.
class Pointer {
 public:
  Pointer() : display_(XOpenDisplay(kStartDisplay.c_str())) {}
  ~Pointer() {
    if (display_ != nullptr) XCloseDisplay(display_);
  }
  bool ok() const {
    int event = 0, error = 0, major = 0, minor = 0;
    return display_ != nullptr && XTestQueryExtension(display_, &event, &error, &major, &minor);
  }
  void MoveTo(int x, int y) {
    XTestFakeMotionEvent(display_, -1, x, y, CurrentTime);
    XFlush(display_);
    x_ = x;
    y_ = y;
    Pause(30);
  }
  // In small steps, as a hand moves: toolkits start a drag only after the pointer has
  // moved a few pixels with the button held, and follow it from window to window.
  void Glide(int x, int y) {
    const int steps = 30;
    const int fromX = x_;
    const int fromY = y_;
    for (int i = 1; i <= steps; ++i) MoveTo(fromX + (x - fromX) * i / steps, fromY + (y - fromY) * i / steps);
  }
  void Press() {
    XTestFakeButtonEvent(display_, 1, 1, CurrentTime);
    XFlush(display_);
    Pause(100);
  }
  void Release() {
    XTestFakeButtonEvent(display_, 1, 0, CurrentTime);
    XFlush(display_);
    Pause(100);
  }
  // A drag from one place to another with the left button.
  void Drag(int fromX, int fromY, int toX, int toY) {
    MoveTo(fromX, fromY);
    Press();
    Glide(fromX + 12, fromY + 12);
    Glide(toX, toY);
    Pause(300);  // the target answers the last position
    MoveTo(toX + 1, toY + 1);
    Pause(300);
    Release();
  }
  static void Pause(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

 private:
  Display* display_;
  int x_ = 0;
  int y_ = 0;
};

// The other program: dnd_peer on the display.
class Peer {
 public:
  Peer()
      : process_("/bin/sh", {"-c", "exec \"$0\" \"$@\" 2>&1", "/usr/bin/env", "DISPLAY=" + kStartDisplay,
                             platform::testing::ToolsFolder() + "/dnd_peer"}) {
    ready_ = WaitFor("ready").has_value();
  }
  ~Peer() {
    process_.WriteLine("quit");
    process_.CloseInput();
    process_.Wait();
  }
  bool ready() const { return ready_; }
  std::string Drain() {
    std::string all;
    while (auto line = process_.ReadLine(500)) all += *line + "\n";
    return all;
  }
  // A command and the first line of its answer that begins with `answer`.
  std::optional<std::string> Ask(const std::string& command, const std::string& answer) {
    process_.WriteLine(command);
    return WaitFor(answer);
  }

 private:
  std::optional<std::string> WaitFor(const std::string& start) {
    while (auto line = process_.ReadLine(20000 * platform::testing::SlowFactor())) {
      if (line->rfind(start, 0) == 0) return line;
    }
    return std::nullopt;
  }
  platform::testing::ChildProcess process_;
  bool ready_ = false;
};

// The paths of an answer "WORD PATH<TAB>PATH...".
std::vector<std::string> Tabbed(const std::string& answer) {
  std::vector<std::string> parts;
  const std::size_t space = answer.find(' ');
  std::stringstream in(space == std::string::npos ? std::string() : answer.substr(space + 1));
  for (std::string part; std::getline(in, part, '\t');) {
    if (!part.empty()) parts.push_back(part);
  }
  return parts;
}

class ShellhostDndTest : public ShellhostTest {
 protected:
  void SetUp() override {
    ShellhostTest::SetUp();
    if (kStartDisplay.empty()) GTEST_SKIP() << "no display";
    ASSERT_TRUE(pointer_.ok()) << "the display has no test extension";
    // The install step's layout: the launcher under its family names, closing its
    // window by itself at the end of a send.
    install_ = home_ + "/install";
    fs::create_directories(install_);
    const std::string tools = platform::testing::ToolsFolder();
    for (const char* name : {"tovarin.so", "tovarinwx.so"}) {
      fs::copy_file(tools + "/../lib/" + name, install_ + "/" + name, fs::copy_options::overwrite_existing);
    }
    for (const char* family : {"j1", "j2", "j3", "jz"}) {
      fs::copy_file(tools + "/tovarinxx", install_ + "/tovarin" + family, fs::copy_options::overwrite_existing);
    }
    auto key = platform::SettingsKey::Create(platform::Hive::CurrentUser, g_ProductIdentity.settingsKey);
    key.SetString("", platform::FromPosixPath(install_));
    key.SetDword("Gen_Tx_AutoCloseDialog", 1);
    src_ = home_ + "/src";
    fs::create_directories(src_);
  }

  // An MP3 of a second of tone titled `title`.
  std::string Mp3(const std::string& title) {
    static const std::string tone = [] {
      transfer::testing::ScratchFolder dir;
      if (!transfer::testing::MakeTone(dir / "t.wav", 1) ||
          !transfer::testing::Tool({"lame", "--quiet", "-b", "64", dir / "t.wav", dir / "t.mp3"})) {
        return std::string();
      }
      return transfer::testing::ReadBytes(dir / "t.mp3");
    }();
    std::string tag = "TAG" + title + std::string(30 - title.size(), '\0') + "Drag Test" + std::string(21, '\0') +
                      "Drop Album" + std::string(20, '\0') + std::string(34, '\0') + '\xff';
    const std::string path = src_ + "/" + title + ".mp3";
    transfer::testing::WriteBytes(path, tone + tag);
    return path;
  }

  // Whether the player holds a track of this title within the time.
  bool PlayerHolds(const std::string& title, int ms = 30000) {
    KernelDeviceClient client;
    if (!Connect(client)) return false;
    const auto start = std::chrono::steady_clock::now();
    while (platform::testing::ElapsedMs(start) < ms * platform::testing::SlowFactor()) {
      KernelId track;
      for (int n = client.GetFirstAudioTrack(track); n != 0; n = client.GetNextAudioTrack(track)) {
        if (client.GetTrackTitle(track) == title) return true;
      }
      Pointer::Pause(300);
    }
    return false;
  }

  Pointer pointer_;
  std::string install_;
  std::string src_;
};

TEST_F(ShellhostDndTest, FilesDraggedInFromAnotherProgramGoToThePlayer) {
  StartManager("trayhub");
  const std::string file = Mp3("Dropped In");
  Session session(home_, true);
  const std::optional<ScreenRect> view = RectIn(session.Run({"view Audio Tracks", "pump 300", "screen-rect view"}));
  ASSERT_TRUE(view);
  Peer peer;
  ASSERT_TRUE(peer.ready());
  ASSERT_TRUE(peer.Ask("files " + file, "ok"));
  const std::optional<std::string> row = peer.Ask("where 0", "rect");
  const std::optional<ScreenRect> from = row ? RectIn({*row}) : std::nullopt;
  ASSERT_TRUE(from) << row.value_or("");
  session.Start({"pump 8000"});
  pointer_.Drag(from->left + 30, from->y(), view->x(), view->y());
  const std::vector<std::string> out = session.Finish();
  EXPECT_TRUE(PlayerHolds("Dropped In")) << Joined(out) << peer.Drain();
}

TEST_F(ShellhostDndTest, ATrackDraggedOutIsCopiedToTheComputer) {
  StartManager("trayhub");
  Session session(home_, true);
  const std::optional<ScreenRect> row =
      RectIn(session.Run({"view Audio Tracks", "pump 300", "select 0", "screen-rect view 0"}));
  ASSERT_TRUE(row);
  Peer peer;
  ASSERT_TRUE(peer.ready());
  const std::optional<std::string> where = peer.Ask("where", "rect");
  const std::optional<ScreenRect> to = where ? RectIn({*where}) : std::nullopt;
  ASSERT_TRUE(to);
  session.Start({"pump 10000"});
  pointer_.Drag(row->left + 30, row->y(), to->x(), to->y());
  const std::vector<std::string> out = session.Finish();
  const std::optional<std::string> dropped = peer.Ask("dropped", "dropped");
  ASSERT_TRUE(dropped);
  const std::vector<std::string> files = Tabbed(*dropped);
  ASSERT_EQ(files.size(), 1u) << *dropped << "\n" << Joined(out);
  // The file is the track's bytes, as the player keeps them.
  const std::string bytes = transfer::testing::ReadBytes(files[0]);
  ASSERT_FALSE(bytes.empty()) << files[0] << Joined(out);
  bool same = false;
  for (const auto& entry : fs::directory_iterator(home_ + "/appdata/player/files")) {
    same = same || transfer::testing::ReadBytes(entry.path()) == bytes;
  }
  EXPECT_TRUE(same) << files[0];
}

TEST_F(ShellhostDndTest, CopyAndPasteThroughTheClipboardBothWays) {
  StartManager("trayhub");
  Session session(home_, true);
  Peer peer;
  ASSERT_TRUE(peer.ready());
  // Another program's files pasted into the player's tracks.
  const std::string file = Mp3("Pasted In");
  ASSERT_TRUE(peer.Ask("copy " + file, "ok"));
  session.Run({"view Audio Tracks", "pump 300", "key ctrl+v", "pump 500"});
  EXPECT_TRUE(PlayerHolds("Pasted In"));

  // A track of the player copied and pasted in the other program: the file is made when
  // it pastes.
  session.Run({"select 0", "key ctrl+c"});
  session.Start({"pump 8000"});
  const std::optional<std::string> pasted = peer.Ask("paste", "pasted");
  session.Finish();
  ASSERT_TRUE(pasted);
  const std::vector<std::string> files = Tabbed(*pasted);
  ASSERT_EQ(files.size(), 1u) << *pasted;
  EXPECT_GT(fs::file_size(files[0]), 1000u) << files[0];

  // The player's own copied track cannot be pasted back into it.
  const std::vector<std::string> self = session.Run({"view /", "pump 300", "select none", "popup"});
  EXPECT_TRUE(std::any_of(self.begin(), self.end(), [](const std::string& l) { return l == "(Paste Tracks)"; }))
      << Joined(self);
}

TEST_F(ShellhostDndTest, PicturesOfTheContextMenusOfATrackAndAPlaylist) {
  StartManager("trayhub");
  Session session(home_, true);
  const std::string track = PicturesFolder() + "/context_menu_track.png";
  const std::string playlist = PicturesFolder() + "/context_menu_playlist.png";
  const std::string tree = PicturesFolder() + "/context_menu_tree_playlists.png";
  for (const std::string& f : {track, playlist, tree}) fs::remove(f);
  // The row of a playlist among the Playlists folder's rows (its action rows come first).
  const std::vector<std::vector<std::string>> rows = session.Rows("Playlists");
  int evening = -1;
  for (std::size_t r = 1; r < rows.size(); ++r) {
    if (!rows[r].empty() && rows[r][0] == "Evening Mix") evening = static_cast<int>(r) - 1;
  }
  ASSERT_GE(evening, 0);
  const std::vector<std::string> out =
      session.Run({"view Audio Tracks", "pump 300", "select 0", "popup-shot " + track, "view Playlists", "pump 300",
                   "select " + std::to_string(evening), "popup-shot " + playlist,
                   "tree-popup-shot Playlists\t" + tree});
  EXPECT_FALSE(std::any_of(out.begin(), out.end(), [](const std::string& l) { return l.find("error:") != std::string::npos; }))
      << Joined(out);
  for (const std::string& f : {track, playlist, tree}) {
    EXPECT_TRUE(fs::exists(f) && fs::file_size(f) > 1000) << f;
  }
}

}  // namespace
