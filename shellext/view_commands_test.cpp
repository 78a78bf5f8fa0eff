// The view's own commands in shellhost's frame: the player's buttons and media keys with
// their toolbar state and failures, the playback display, the sheets and dialogs each
// command opens, the options sheet's pages by kind of player, and Brevlink.
#include "shellext/view_commands.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>

#include "common/folders.h"
#include "device/messages.h"
#include "options/log_page.h"
#include "options/playback_page.h"
#include "options/tree_prop_sheet.h"
#include "options/volume_dialog.h"
#include "platform/paths/paths.h"
#include "platform/shell/shell.h"
#include "platform/ui/dialog_driver.h"
#include "platform/window/window.h"
#include "shellext/computer_player.h"
#include "shellext/synchro.h"
#include "testing/shell_view.h"
#include "testing/xdg_folders.h"
#include "tools/sql_gen_dlg.h"
#include "transfer/log_file.h"

using namespace device;

extern "C" const char* __lsan_default_suppressions() { return "leak:libgio-2.0.so\nleak:libglib-2.0.so\n"; }

namespace shellexttest {
namespace {

namespace fs = std::filesystem;
using namespace shellext;
using platform::DialogDriver;
using platform::IDOK;

const bool kIsolated = platform::testing::IsolateNamespace();

class ViewCommandsTest : public ViewTest {
 protected:
  void SetUp() override {
    ViewTest::SetUp();
    ResetPlaybackDisplayForTesting();
  }
  bool Pressed(int command) {
    const int i = Frame().Toolbar().CommandToIndex(command);
    return i >= 0 && Frame().Toolbar().GetButton(i).checked;
  }
  void Command(int id) {
    Frame().Command(id);
    Frame().Pump();
  }
  platform::LRESULT Send(platform::UINT message, platform::WPARAM w, platform::LPARAM l) {
    return View().Window()->SendToWindow(message, w, l);
  }
};

TEST_F(ViewCommandsTest, ThePlayersButtonsDriveItsQueueAndPressTheirButtons) {
  for (const KernelId& t : {catalogue_.harbour, catalogue_.mirror, catalogue_.opening}) device_.EnqueueTrack(t);
  Open("Active Queue");
  Command(kCmdPlay);
  ASSERT_EQ(device_.PlayLog().size(), 1u);
  EXPECT_EQ(device_.PlayLog().back().word[0], catalogue_.harbour.word[0]);
  Command(kCmdPause);
  EXPECT_EQ(device_.IsPaused(), 1);
  EXPECT_TRUE(Pressed(kCmdPause));
  Command(kCmdPause);  // twice: playing again, the button up
  EXPECT_EQ(device_.IsPaused(), 0);
  EXPECT_FALSE(Pressed(kCmdPause));
  Command(kCmdPause);
  Command(kCmdNext);  // playing the next releases Pause
  EXPECT_EQ(device_.PlayLog().back().word[0], catalogue_.mirror.word[0]);
  EXPECT_FALSE(Pressed(kCmdPause));
  Command(kCmdPrevious);
  EXPECT_EQ(device_.PlayLog().back().word[0], catalogue_.harbour.word[0]);
  Command(kCmdMute);
  EXPECT_EQ(device_.IsMuted(), 1);
  EXPECT_TRUE(Pressed(kCmdMute));
  Command(kCmdMute);
  EXPECT_EQ(device_.IsMuted(), 0);
  EXPECT_FALSE(Pressed(kCmdMute));
  const std::string part0 = Status(0);
  Command(kCmdStop);
  EXPECT_EQ(device_.IsPlaybackStopped(), 1);
  EXPECT_EQ(Status(2), "Playback Stopped");
  EXPECT_EQ(Status(0), part0);
  EXPECT_TRUE(host_.shown().empty());
}

TEST_F(ViewCommandsTest, PlayWithAnEmptyQueueSaysSoAndPlaysNothing) {
  Open("Active Queue");
  host_.ExpectMessageBox(IDOK, "There are no tracks in the Active Queue.");
  Command(kCmdPlay);
  EXPECT_TRUE(device_.PlayLog().empty());
}

TEST_F(ViewCommandsTest, MediaKeysRunTheButtons) {
  for (const KernelId& t : {catalogue_.harbour, catalogue_.mirror}) device_.EnqueueTrack(t);
  Open("Audio Tracks");
  auto key = [&](int command) { return Send(WM_APPCOMMAND, 0, static_cast<platform::LPARAM>(command) << 16); };
  EXPECT_EQ(key(14), 1);  // play/pause: as the Pause button
  EXPECT_EQ(device_.IsPaused(), 1);
  EXPECT_TRUE(Pressed(kCmdPause));
  EXPECT_EQ(key(14), 1);
  EXPECT_EQ(device_.IsPaused(), 0);
  EXPECT_EQ(key(11), 1);  // next
  EXPECT_EQ(device_.PlayLog().back().word[0], catalogue_.mirror.word[0]);
  EXPECT_EQ(key(12), 1);  // previous
  EXPECT_EQ(device_.PlayLog().back().word[0], catalogue_.harbour.word[0]);
  EXPECT_EQ(key(13), 1);  // stop
  EXPECT_EQ(device_.IsPlaybackStopped(), 1);
  EXPECT_EQ(key(8), 0);  // not the view's
}

TEST_F(ViewCommandsTest, APlayerThatFailsIsReportedAndTheButtonsStay) {
  struct Case {
    DeviceOp op;
    int command;
    const char* text;
  };
  const Case cases[] = {
      {DeviceOp::PlayPreviousInQueue, kCmdPrevious, "Could not play previous track in queue."},
      {DeviceOp::PlayQueueCurrent, kCmdPlay, "Could not play next track in the Active Queue."},
      {DeviceOp::GetFirstQueueEntry, kCmdPlay, "Could not play next track in the Active Queue."},
      {DeviceOp::PlayNextInQueue, kCmdNext, "Could not play next track in queue."},
      {DeviceOp::StopPlayback, kCmdStop, "Could not stop track."},
      {DeviceOp::SetPaused, kCmdPause, "Could not change pause state."},
      {DeviceOp::IsPaused, kCmdPause, "Could not change pause state."},
      {DeviceOp::SetMute, kCmdMute, "Could not change mute state."},
  };
  for (const KernelId& t : {catalogue_.harbour, catalogue_.mirror, catalogue_.opening}) device_.EnqueueTrack(t);
  Open("Active Queue");
  Command(kCmdPlay);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    device_.SetQueuePosition(1);  // inside the queue: Back and Next each have a track to play
    device_.FailWithError(c.op, platform::E_FAIL, "Memory Device", "The player is busy.", 1);
    host_.ExpectMessageBox(IDOK, c.text);
    const std::string status = Status(2);
    Command(c.command);
    EXPECT_FALSE(Pressed(kCmdPause));
    EXPECT_FALSE(Pressed(kCmdMute));
    EXPECT_EQ(Status(2), status);
  }
  EXPECT_EQ(device_.IsPaused(), 0);
  EXPECT_EQ(device_.IsMuted(), 0);
}

TEST_F(ViewCommandsTest, TheStatusBarShowsWhatPlaysAndWhenItStopped) {
  Open("Audio Tracks");
  const std::string part0 = Status(0);
  const std::string part1 = Status(1);
  const platform::WPARAM harbour = catalogue_.harbour.word[0];
  Send(WM_NOWPLAYING, harbour, 75);
  EXPECT_EQ(Status(2), "Playing (0:00/3:00)  Harbour");  // a new track starts at 0:00
  device_.RecordOf(catalogue_.harbour).title.Set("Renamed");
  Send(WM_NOWPLAYING, harbour, 61);
  EXPECT_EQ(Status(2), "Playing (1:01/3:00)  Harbour");  // the title is read once per track
  Send(WM_NOWPLAYING, harbour, 62);
  EXPECT_EQ(Status(2), "Playing (1:02/3:00)  Harbour");
  EXPECT_EQ(Send(WM_PLAYBACKSTOPPED, 7, 9), 0);
  EXPECT_EQ(Status(2), "Playback Stopped");
  EXPECT_EQ(Status(0), part0);
  EXPECT_EQ(Status(1), part1);
  Send(WM_NOWPLAYING, harbour, 63);
  EXPECT_EQ(Status(2), "Playing (1:03/3:00)  Harbour");
  Send(WM_NOWPLAYING, catalogue_.mirror.word[0], 30);
  EXPECT_EQ(Status(2), "Playing (0:00/2:30)  Mirror");
  device_.FailWithError(DeviceOp::GetTrackTitle, platform::E_FAIL, "Memory Device", "Gone.", 1);
  Send(WM_NOWPLAYING, catalogue_.opening.word[0], 5);
  EXPECT_EQ(Status(2), "Playing (0:00/0:00)  Could not read name of current track.");
  EXPECT_TRUE(host_.shown().empty());
}

// After the queue plays out the view says so, Play starts the queue again, and Back and
// Next never step beyond an end (where the design's Back would fail).
TEST_F(ViewCommandsTest, TheQueuesEndsAreToldAndPlayStartsAPlayedOutQueueAgain) {
  for (const KernelId& t : {catalogue_.harbour, catalogue_.mirror}) device_.EnqueueTrack(t);
  Open("Active Queue");
  Command(kCmdPrevious);
  EXPECT_EQ(Status(2), "Nothing to play: the start of the queue was reached.");
  Command(kCmdPlay);
  Command(kCmdNext);
  ASSERT_EQ(device_.PlayLog().size(), 2u);
  Command(kCmdNext);  // the last one plays: nothing after it
  EXPECT_EQ(Status(2), "Nothing to play: the end of the queue was reached.");
  EXPECT_EQ(device_.PlayLog().size(), 2u);
  EXPECT_EQ(device_.GetQueuePosition(), 1);
  // The last track ends: the player moves past the end and says it stopped.
  device_.NotifyStopped(1);
  Frame().Pump();
  EXPECT_EQ(Status(2), "Playback Stopped: the end of the queue was reached.");
  View().RefreshList();
  EXPECT_EQ(List().GetItemText(1, 2), "Already played.");
  Command(kCmdPlay);  // from the start again
  ASSERT_EQ(device_.PlayLog().size(), 3u);
  EXPECT_EQ(device_.PlayLog().back().word[0], catalogue_.harbour.word[0]);
  // Moved past the end twice (another program's Next): Back plays the last entry.
  device_.NotifyStopped(1);
  device_.NotifyStopped(1);
  device_.PlayNextInQueue();
  ASSERT_GT(device_.GetQueuePosition(), 2);
  Command(kCmdPrevious);
  EXPECT_EQ(device_.PlayLog().back().word[0], catalogue_.mirror.word[0]);
  EXPECT_TRUE(host_.shown().empty());
  // With nothing queued the ends say so too.
  device_.ClearQueue();
  Command(kCmdNext);
  EXPECT_EQ(Status(2), "Nothing to play: the queue is empty.");
}

// What each command of the table brings up.
TEST_F(ViewCommandsTest, EveryCommandOpensWhatItShould) {
  Open("Audio Tracks");
  platform::ShellOpenRecording opened;
  auto closes = [](DialogDriver& d) { d.Cancel(); };
  host_.ExpectDialog("Ombrix Jukebox Options", closes);
  Command(kCmdOptions);
  host_.ExpectDialog(options::VolumeDialog::kTemplateId, [](DialogDriver& d) { d.Click(platform::IDCANCEL); });
  Command(kCmdVolume);
  host_.ExpectDialog("Logs and Reports", [](DialogDriver& d) {
    EXPECT_EQ(d.Page().TemplateId(), tools::CSQLGenDlg::kTemplateId);
    d.Cancel();
  });
  Command(kCmdReports);
  host_.ExpectMessageBox(IDOK, "Could not read url for help page from the registry.");
  Command(kCmdHelp);
  Settings().SetString("URL_Help", "");
  host_.ExpectMessageBox(IDOK, "Could not read url for help page from the registry.");
  Command(kCmdHelp);  // empty: not opened
  Settings().SetString("URL_Help", "https://help.example/");
  Command(kCmdHelp);
  host_.ExpectMessageBox(IDOK, "No files are selected.");
  Command(kCmdProperties);
  ASSERT_EQ(opened.calls().size(), 1u);
  EXPECT_EQ(opened.calls()[0].target, "https://help.example/");
  const std::vector<platform::Prompt> prompts = host_.prompts();
  ASSERT_EQ(prompts.size(), 6u);
  EXPECT_EQ(prompts[0].caption, "Ombrix Jukebox Options");
  EXPECT_EQ(prompts[1].templateId, options::VolumeDialog::kTemplateId);
}

TEST_F(ViewCommandsTest, ChoosingTheSoftwarePlayerShowsThePlaybackPageAlone) {
  Open("Audio Tracks");
  host_.ExpectDialog("Ombrix Jukebox Options", [](DialogDriver& d) {
    auto& sheet = dynamic_cast<platform::PropertySheet&>(d.window());
    EXPECT_EQ(sheet.GetPageCount(), 1);
    EXPECT_EQ(d.Page().TemplateId(), 563);
    EXPECT_EQ(dynamic_cast<options::TreePropSheet::CTreePropSheet*>(&sheet), nullptr);
    EXPECT_NE(sheet.GetFlags() & platform::PSH_NOAPPLYNOW, 0u);
    d.Cancel();
  });
  platform::ComPtr<platform::IContextMenu> menu;
  ASSERT_EQ(View().GetItemObject(platform::SVGIO_BACKGROUND, platform::IID_IContextMenu, menu.PutVoid()),
            platform::S_OK);
  platform::CMINVOKECOMMANDINFO info;
  info.lpVerb = platform::VerbFromOffset(3023);
  menu->InvokeCommand(&info);
}

TEST_F(ViewCommandsTest, AfterTheOptionsTheListFollowsTheirDisplaySettings) {
  Open("Audio Tracks");
  ASSERT_NE(List().GetExtendedStyle() & platform::LVS_EX_GRIDLINES, 0u);
  host_.ExpectDialog("Ombrix Jukebox Options", [](DialogDriver& d) {
    d.Page().Click(1193).Click(1234);  // the General page: no spreadsheet, no full-row selection
    d.Ok();
  });
  Command(kCmdOptions);
  EXPECT_EQ(List().GetExtendedStyle() & (platform::LVS_EX_GRIDLINES | platform::LVS_EX_FULLROWSELECT), 0u);
  EXPECT_EQ(List().GetCellColours(0, 0).second, platform::CLR_DEFAULT);
}

TEST_F(LibraryTest, TheReportsSheetOpensOnTheReportPageOfAPlayerWithATagIndex) {
  const struct {
    int tagIndex;
    std::vector<int> pages;
  } cases[] = {{1, {tools::CSQLGenDlg::kTemplateId, options::CLogDlg::kTemplateId}}, {0, {options::CLogDlg::kTemplateId}}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.tagIndex);
    MemoryDevice player;
    player.SetCapability(DeviceOp::SupportsTagIndex, c.tagIndex);
    platform::ScriptedHost host;
    host.ExpectDialog("Logs and Reports", [&](DialogDriver& d) {
      auto& sheet = dynamic_cast<platform::PropertySheet&>(d.window());
      std::vector<int> pages;
      for (int i = 0; i < sheet.GetPageCount(); ++i) pages.push_back(sheet.GetPage(i)->GetTemplateId());
      EXPECT_EQ(pages, c.pages);
      EXPECT_NE(sheet.GetFlags() & platform::PSH_NOAPPLYNOW, 0u);
      d.Cancel();
    });
    RunReportsSheet(player, 0);
  }
}

// A player of a chosen kind and device word for the options sheet.
class KindPlayer : public MemoryDeviceBase {
 public:
  KindPlayer(int kind, std::uint32_t word0) {
    deviceIndex_ = kind;
    deviceId_.word[0] = word0;
  }
};

std::vector<std::string> TreeLines(options::TreePropSheet::CTreePropSheet& sheet) {
  std::vector<std::string> lines;
  platform::TreeViewControl* tree = sheet.GetPageTree();
  std::function<void(platform::HTREEITEM, const std::string&)> walk = [&](platform::HTREEITEM parent,
                                                                          const std::string& indent) {
    for (platform::HTREEITEM item : tree->GetChildren(parent)) {
      lines.push_back(indent + tree->GetItemText(item));
      walk(item, indent + "  ");
    }
  };
  walk(platform::TVI_ROOT, "");
  return lines;
}

TEST_F(LibraryTest, TheOptionsSheetHoldsThePagesOfThePlayersKind) {
  struct Case {
    const char* what;
    int kind;
    std::uint32_t word0;
    int tagIndex;
    int storageList;
    std::vector<std::string> tree;
  };
  const std::vector<std::string> tail = {"Transfers", "Tonavel", "  Encoding Options", "Lumarest", "About"};
  auto with = [&](std::vector<std::string> head, std::vector<std::string> end) {
    head.insert(head.end(), end.begin(), end.end());
    return head;
  };
  const Case cases[] = {
      {"jukebox", 0, 0, 1, 0, with({"General", "Jukebox", "  Tag Handling", "  Brevlink"}, tail)},
      {"ZaRo", 5, 0, 0, 0, with({"General", "VANTRO ZaRo"}, tail)},
      {"ZaRo FX", 8, 0, 0, 0, with({"General", "VANTRO ZaRo FX"}, tail)},
      {"VANTRO II", 1, 0, 0, 1, {"General", "VANTRO II", "Transfers", "Tonavel", "  Encoding Options", "About"}},
      {"kind 1 with a device word", 1, 3, 0, 0, with({"General"}, tail)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    KindPlayer player(c.kind, c.word0);
    player.SetCapability(DeviceOp::SupportsTagIndex, c.tagIndex);
    player.SetCapability(DeviceOp::SupportsStorageList, c.storageList);
    player.SetCapability(DeviceOp::SupportsCopyToComputer, 1);
    platform::ScriptedHost host;
    host.ExpectDialog("Ombrix Jukebox Options", [&](DialogDriver& d) {
      auto& sheet = dynamic_cast<options::TreePropSheet::CTreePropSheet&>(d.window());
      EXPECT_EQ(TreeLines(sheet), c.tree);
      EXPECT_NE(sheet.GetFlags() & platform::PSH_NOAPPLYNOW, 0u);
      EXPECT_EQ(d.Page().TemplateId(), 550);  // General first
      d.Cancel();
    });
    RunOptionsSheet(player, 0);
  }
}

// The pages ask the desktop the same questions, and each may start one of its tools: while
// the sheet is open each reaches the desktop once, and the playback page's off the
// window's thread.
TEST_F(LibraryTest, TheOptionsSheetAsksTheDesktopEachQuestionOnce) {
  desktop_.AddApplication("alpha.desktop", "Alpha", "/usr/bin/alpha", {"audio/x-mpegurl"});
  desktop_.AddApplication("beta.desktop", "", "/usr/bin/beta", {"audio/x-scpls"});
  desktop_.systemDefaults["audio/x-mpegurl"] = "alpha.desktop";
  desktop_.versions["/usr/bin/alpha"] = {"Alpha player", "3.0"};
  desktop_.versions["/usr/bin/beta"] = {"Beta player", "1.0"};
  desktop_.asked.clear();
  desktop_.askedOnTestThread.clear();
  KindPlayer player(0, 0);
  player.SetCapability(DeviceOp::SupportsTagIndex, 1);
  player.SetCapability(DeviceOp::SupportsCopyToComputer, 1);
  platform::ScriptedHost host;
  host.ExpectDialog("Ombrix Jukebox Options", [&](DialogDriver& d) {
    auto& sheet = dynamic_cast<options::TreePropSheet::CTreePropSheet&>(d.window());
    for (int round = 0; round < 2; ++round) {
      for (int i = 0; i < sheet.GetPageCount(); ++i) {
        ASSERT_TRUE(sheet.SetActivePage(i)) << i;
        if (dynamic_cast<options::OptLumarest*>(sheet.GetActivePage()) == nullptr) continue;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (!d.Page().Enabled(options::OptLumarest::kPrograms)) {
          ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "the program list was never filled";
          platform::WaitForInput(100);
          d.Pump();
        }
      }
    }
    d.Cancel();
  });
  RunOptionsSheet(player, 0);
  EXPECT_FALSE(desktop_.asked.empty());
  for (const auto& [question, times] : desktop_.asked) EXPECT_EQ(times, 1) << question;
  // Only the General page's "Play in" name is asked before the sheet shows.
  EXPECT_EQ(desktop_.askedOnTestThread,
            (std::map<std::string, int>{{"default audio/x-mpegurl", 1}, {"find alpha.desktop", 1}}));
}

// The General page names the default player before the sheet shows: that answer is kept
// from one sheet to the next, and for the menus, until the desktop's choice changes.
TEST_F(LibraryTest, TheDefaultPlayersNameIsKeptUntilTheDesktopsChoiceChanges) {
  platform::testing::XdgTestFolders xdg(root_ + "/xdg");
  const std::string list = root_ + "/xdg/config/mimeapps.list";
  std::ofstream(list) << "[Default Applications]\naudio/x-mpegurl=alpha.desktop\n";
  const auto settled = fs::file_time_type::clock::now() - std::chrono::hours(1);
  platform::testing::SetTimesBelow(root_ + "/xdg", settled);
  desktop_.AddApplication("alpha.desktop", "Alpha", "/usr/bin/alpha", {"audio/x-mpegurl"});
  desktop_.systemDefaults["audio/x-mpegurl"] = "alpha.desktop";
  KindPlayer player(0, 0);
  const auto open = [&] {
    desktop_.asked.clear();
    platform::ScriptedHost host;
    host.ExpectDialog("Ombrix Jukebox Options", [&](DialogDriver& d) {
      EXPECT_EQ(d.Page().TemplateId(), 550);
      d.Cancel();
    });
    RunOptionsSheet(player, 0);
    return desktop_.asked;
  };
  using Asked = std::map<std::string, int>;
  EXPECT_EQ(open(), (Asked{{"default audio/x-mpegurl", 1}, {"find alpha.desktop", 1}}));
  EXPECT_EQ(open(), Asked{});
  std::string name;
  EXPECT_EQ(GetDefaultPlayerName(name), "Alpha");
  EXPECT_EQ(desktop_.asked, Asked{}) << "the menus' Play in";
  fs::last_write_time(list, settled + std::chrono::seconds(1));
  EXPECT_EQ(open(), (Asked{{"default audio/x-mpegurl", 1}}));
}

TEST(NowPlayingTextTest, MinutesAndSeconds) {
  EXPECT_EQ(NowPlayingText(0, 0, "A"), "Playing (0:00/0:00)  A");
  EXPECT_EQ(NowPlayingText(61, 3600, "B"), "Playing (1:01/60:00)  B");
}

// ---- Brevlink ----

class SynchroTest : public LibraryTest {
 protected:
  void SetUp() override {
    LibraryTest::SetUp();
    music_ = root_ + "/music";
    fs::create_directories(music_ + "/album");
    std::ofstream(music_ + "/a.mp3") << "a";
    std::ofstream(music_ + "/album/b.mp3") << "bb";
    std::ofstream(music_ + "/album/cover.jpg") << "picture";
    Settings().SetString("JB_Tx_SyncFolderList",
                         platform::FromPosixPath(music_) + "|" + platform::FromPosixPath(root_ + "/gone") + "|");
  }
  std::vector<std::string> Run() {
    std::vector<std::string> sent;
    RunSynchro([&](const std::vector<std::string>& files) { sent = files; });
    return sent;
  }
  // The transfer log of a run that handled the files with these outcomes, written a
  // second after the last hand-over (or a second before it).
  void TransferLog(const std::vector<std::pair<std::string, std::string>>& outcomes, bool afterHandOver = true) {
    transfer::TransferLogFile log;
    ASSERT_EQ(log.Open(), 1);
    log.WriteString("Transferring to Device");
    for (const auto& [file, outcome] : outcomes) {
      log.WriteString("File: " + W(music_ + file) + ".File is audio...reading tag...starting transfer..." + outcome);
    }
    log.Close();
    const std::string handed = platform::ToPosixPath(SyncPendingPath());
    if (fs::exists(handed)) {
      const auto second = std::chrono::seconds(afterHandOver ? 1 : -1);
      fs::last_write_time(platform::ToPosixPath(log.GetPath()), fs::last_write_time(handed) + second);
    }
  }
  std::string W(const std::string& posix) { return platform::FromPosixPath(posix); }
  std::string music_;
  platform::ScriptedHost host_;
};

TEST_F(SynchroTest, NewAndChangedAudioFilesGoToThePlayerUntilItHasThem) {
  host_.ExpectMessageBox(IDOK, "These source folders are missing and were skipped:\n" + root_ + "/gone");
  EXPECT_EQ(Run(), (std::vector<std::string>{W(music_ + "/a.mp3"), W(music_ + "/album/b.mp3")}));
  TransferLog({{"/a.mp3", "complete."}, {"/album/b.mp3", "already exists...skipped."}});
  host_.ExpectMessageBox(IDOK, "Brevlink found no new files to transfer.");
  EXPECT_TRUE(Run().empty());

  std::ofstream(music_ + "/album/b.mp3") << "changed";
  std::ofstream(music_ + "/c.mp3") << "c";
  std::ofstream(music_ + "/d.mp3") << "d";
  host_.ExpectMessageBox(IDOK, "missing");
  EXPECT_EQ(Run(), (std::vector<std::string>{W(music_ + "/album/b.mp3"), W(music_ + "/c.mp3"), W(music_ + "/d.mp3")}));
  // Only what the player took is remembered: a cancelled or failed file is sent again.
  TransferLog({{"/album/b.mp3", "canceled."}, {"/c.mp3", "complete."}, {"/d.mp3", "error (0x1)(0x0)."}});
  host_.ExpectMessageBox(IDOK, "missing");
  EXPECT_EQ(Run(), (std::vector<std::string>{W(music_ + "/album/b.mp3"), W(music_ + "/d.mp3")}));

  // Resetting the cache sends everything again.
  for (const std::string& f : {SyncCachePath(), SyncPendingPath()}) fs::remove(platform::ToPosixPath(f));
  host_.ExpectMessageBox(IDOK, "missing");
  EXPECT_EQ(Run().size(), 4u);
}

TEST_F(SynchroTest, ALogOlderThanTheHandOverConfirmsNothing) {
  Settings().SetString("JB_Tx_SyncFolderList", W(music_));
  EXPECT_EQ(Run().size(), 2u);
  // The launcher never ran: the log is an earlier transfer's.
  TransferLog({{"/a.mp3", "complete."}, {"/album/b.mp3", "complete."}}, false);
  EXPECT_EQ(Run().size(), 2u);
  TransferLog({{"/a.mp3", "complete."}});
  EXPECT_EQ(Run(), std::vector<std::string>{W(music_ + "/album/b.mp3")});
}

TEST(SynchroLogTest, TheTransferLogConfirmsWhatThePlayerHolds) {
  const SyncCache pending = {{"C:\\m\\a.mp3", {}},
                             {"C:\\m\\b.mp3", {}},
                             {"C:\\m\\c.File is audio...d.mp3", {}},
                             {"C:\\m\\e.mp3", {}},
                             {"C:\\m\\f.mp3", {}},
                             {"C:\\m\\g.mp3", {}}};
  const std::string log =
      "10:00:00 AM  2024-01-01\r\n"
      "Transferring to Device\r\n"
      "File: C:\\m\\a.mp3.File is audio...reading tag...tag is good...a(x)b(y)t(z)...starting transfer...complete.\r\n"
      "File: C:\\m\\b.mp3.File is audio...reading tag...starting transfer...already exists...skipped.\r\n"
      "File: C:\\m\\c.File is audio...d.mp3.File is audio...starting transfer...complete.\r\n"
      "File: C:\\m\\e.mp3.File is audio...reading tag...starting transfer...canceled.\r\n"
      "File: C:\\m\\f.mp3.File is audio...reading tag...autoskipping...skipped.\r\n"
      "File: C:\\m\\g.mp3.File is data...starting transfer...complete.\r\n"
      "File: C:\\m\\other.mp3.File is audio...starting transfer...complete.\r\n"
      "File: C:\\m\\e.mp3.File is audio...complete";  // cut short
  std::vector<std::string> confirmed = ConfirmedByTransferLog(log, pending);
  std::sort(confirmed.begin(), confirmed.end());
  EXPECT_EQ(confirmed, (std::vector<std::string>{"C:\\m\\a.mp3", "C:\\m\\b.mp3", "C:\\m\\c.File is audio...d.mp3"}));
}

TEST_F(SynchroTest, TheAnalysisIsLoggedWhenLoggingIsOn) {
  Settings().SetDword("JB_Tx_SyncLogging", 1);
  host_.ExpectMessageBox(IDOK, "missing");
  Run();
  TransferLog({{"/a.mp3", "complete."}});
  host_.ExpectMessageBox(IDOK, "missing");
  Run();
  std::ifstream in(platform::ToPosixPath(transfer::GetSyncLogPath()));
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line.substr(0, line.find('\r')));
  ASSERT_EQ(lines.size(), 7u);
  EXPECT_EQ(lines[1], "1 of 2 files handed over last time are on the player.");
  EXPECT_EQ(lines[2], "Scanning " + W(music_) + "...");
  EXPECT_EQ(lines[3], W(music_ + "/album/b.mp3") + "... new.");
  EXPECT_EQ(lines[4], "Scanning " + W(root_ + "/gone") + "... missing.");
  EXPECT_EQ(lines[5], "1 new or changed files, 1 unchanged, 1 other files.");
  EXPECT_EQ(lines[6], "Handed 1 files to the transfer.");
}

TEST_F(SynchroTest, WithoutSourceFoldersNothingIsScanned) {
  Settings().SetString("JB_Tx_SyncFolderList", "");
  host_.ExpectMessageBox(IDOK, "There are no PC source folders to synchronize.");
  EXPECT_TRUE(Run().empty());
}

TEST_F(SynchroTest, TheCacheReadsBackWhatWasWrittenAndForgetsDamagedLines) {
  const std::string file = W(root_ + "/cache.db");
  const SyncCache cache = {{"C:\\a\tb.mp3", {12, 1700000000}}, {"\\x\\y.mp3", {0, -5}}};
  ASSERT_TRUE(WriteSyncCache(file, cache));
  EXPECT_EQ(ReadSyncCache(file), cache);
  std::ofstream(root_ + "/cache.db", std::ios::app) << "x\t1\tC:\\bad\r\n12\t\r\n5\t6\r\n";
  EXPECT_EQ(ReadSyncCache(file), cache);
}

}  // namespace
}  // namespace shellexttest
