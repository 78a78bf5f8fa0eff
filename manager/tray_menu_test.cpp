// The tray icon and its menu in this process, over the in-memory player and the scripted
// host: the menu's items, order and greyed ones for each state of the player, what every
// command does, the icon's picture and tooltip, and the tray host restarting.
#include <gtest/gtest.h>

#include <optional>

#include "common/identity.h"
#include "common/settings.h"
#include "device/memory_device.h"
#include "device/messages.h"
#include "manager/manager_app.h"
#include "manager/manager_wnd.h"
#include "manager/option_pages.h"
#include "testing/trayhub.h"
#include "options/tree_prop_sheet.h"
#include "options/volume_dialog.h"
#include "testing/processes.h"
#include "platform/settings/settings.h"
#include "platform/shell/shell.h"
#include "platform/ui/dialog_driver.h"
#include "platform/ui/scripted_host.h"
#include "platform/window/wait.h"

namespace manager {

using namespace device;

namespace {

using platform::DialogDriver;

const bool kIsolated = platform::testing::IsolateNamespace();

class TrayMenuTest : public ::testing::Test {
 public:
  void SetUp() override {
    key_.emplace(trayhubtest::PrepareWindowInThisProcess());
    ::setenv("PATH", "/usr/bin:/bin", 1);  // no shellhost anywhere
    wnd_ = std::make_unique<OmbrixManagerWnd>(MakeHostedDevice);
    ASSERT_TRUE(wnd_->Create());
    device_ = wnd_->GetDevice();
    memory_ = dynamic_cast<MemoryDeviceBase*>(device_);
    ASSERT_NE(memory_, nullptr);
    device_->Connect();
  }
  void TearDown() override { wnd_.reset(); }

  // Three tracks queued and the first playing.
  void StartQueue() {
    KernelId track;
    ASSERT_NE(device_->GetFirstAudioTrack(track), 0);
    for (int i = 0; i < 3; ++i) {
      device_->EnqueueTrack(track);
      device_->GetNextAudioTrack(track);
    }
    device_->PlayQueueCurrent();
  }
  // A right click on the icon; the menu is answered by `choose`, its command then runs.
  void RightClick(platform::ScriptedHost& host, platform::MenuChoice choose, platform::UINT iconId = TRAY_ICON_ID) {
    host.ExpectMenu(std::move(choose));
    platform::SendMessage(wnd_->GetSafeHwnd(), WM_TRAYNOTIFY, iconId, platform::WM_RBUTTONDOWN);
    platform::PumpMessages(0);
  }
  // A right click whose menu answers `command`; `more` queues the prompts that follow.
  void Choose(platform::ScriptedHost& host, platform::UINT command, const std::function<void()>& more = {}) {
    host.ExpectMenu(command);
    if (more) more();
    platform::SendMessage(wnd_->GetSafeHwnd(), WM_TRAYNOTIFY, TRAY_ICON_ID, platform::WM_RBUTTONDOWN);
    platform::PumpMessages(0);
  }
  // The command as a posted WM_COMMAND after the menu was opened (no menu offers it).
  void Command(platform::UINT command) {
    platform::SendMessage(wnd_->GetSafeHwnd(), platform::WM_COMMAND, command, 0);
  }

  std::optional<platform::SettingsKey> key_;
  std::unique_ptr<OmbrixManagerWnd> wnd_;
  KernelDevice* device_ = nullptr;
  MemoryDeviceBase* memory_ = nullptr;  // the same player, for what only the test can do
};

// The items in order, "(...)" greyed, "Active Queue ... >" the queue's sub-menu.
TEST_F(TrayMenuTest, MenuItemsOrderAndGreyedOnesFollowThePlayer) {
  struct Case {
    const char* what;
    std::function<void(TrayMenuTest&)> state;
    platform::UINT iconId;
    const char* menu;
  };
  const Case kCases[] = {
      {"connected, queue playing", [](TrayMenuTest& t) { t.StartQueue(); }, TRAY_ICON_ID,
       "(Connect Jukebox)\nDisconnect Jukebox\n-\nOpen Ombrix Jukebox ...\nBrowse Pallidor ...\n"
       "Active Queue (Playing 1/3) >\n  Next Track\n  Previous Track\n  -\n  Play\n  Pause\n  Stop\n  -\n"
       "  Set Volume\n-\nKestrova Manager Options...\nAbout Kestrova Manager...\n-\nExit Kestrova Manager\n"},
      {"connected, queue paused", [](TrayMenuTest& t) {
         t.StartQueue();
         t.device_->SetPaused(1);
       },
       TRAY_ICON_ID,
       "(Connect Jukebox)\nDisconnect Jukebox\n-\nOpen Ombrix Jukebox ...\nBrowse Pallidor ...\n"
       "Active Queue (Paused) >\n  Next Track\n  Previous Track\n  -\n  Play\n  Resume\n  Stop\n  -\n"
       "  Set Volume\n-\nKestrova Manager Options...\nAbout Kestrova Manager...\n-\nExit Kestrova Manager\n"},
      // What the title tells is what the player does: stopped, or the queue played out.
      {"connected, queue stopped", [](TrayMenuTest& t) {
         t.StartQueue();
         t.device_->StopPlayback();
       },
       TRAY_ICON_ID,
       "(Connect Jukebox)\nDisconnect Jukebox\n-\nOpen Ombrix Jukebox ...\nBrowse Pallidor ...\n"
       "Active Queue (Stopped 1/3) >\n  Next Track\n  Previous Track\n  -\n  Play\n  Pause\n  Stop\n  -\n"
       "  Set Volume\n-\nKestrova Manager Options...\nAbout Kestrova Manager...\n-\nExit Kestrova Manager\n"},
      {"connected, queue played out", [](TrayMenuTest& t) {
         t.StartQueue();
         for (int i = 0; i < 3; ++i) t.device_->NotifyStopped(1);
       },
       TRAY_ICON_ID,
       "(Connect Jukebox)\nDisconnect Jukebox\n-\nOpen Ombrix Jukebox ...\nBrowse Pallidor ...\n"
       "Active Queue (End Reached) >\n  Next Track\n  Previous Track\n  -\n  Play\n  Pause\n  Stop\n  -\n"
       "  Set Volume\n-\nKestrova Manager Options...\nAbout Kestrova Manager...\n-\nExit Kestrova Manager\n"},
      {"connected, empty queue", [](TrayMenuTest&) {}, TRAY_ICON_ID,
       "(Connect Jukebox)\nDisconnect Jukebox\n-\nOpen Ombrix Jukebox ...\nBrowse Pallidor ...\n-\n"
       "Kestrova Manager Options...\nAbout Kestrova Manager...\n-\nExit Kestrova Manager\n"},
      {"disconnected", [](TrayMenuTest& t) {
         t.StartQueue();
         t.device_->Disconnect();
       },
       TRAY_ICON_ID,
       "Connect Jukebox\n(Disconnect Jukebox)\n-\n(Open Ombrix Jukebox ...)\n(Browse Pallidor ...)\n-\n"
       "Kestrova Manager Options...\nAbout Kestrova Manager...\n-\nExit Kestrova Manager\n"},
      {"another icon", [](TrayMenuTest& t) { t.StartQueue(); }, 7,
       "Connect \n(Disconnect )\n-\n(Open Ombrix Jukebox ...)\n-\n"
       "Kestrova Manager Options...\nAbout Kestrova Manager...\n-\nExit Kestrova Manager\n"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.what);
    TearDown();
    SetUp();
    c.state(*this);
    platform::ScriptedHost host;
    std::string shown;
    RightClick(host, [&](const platform::Menu& m) {
      shown = m.Describe();
      return 0u;
    }, c.iconId);
    EXPECT_EQ(shown, c.menu);
  }
}

TEST_F(TrayMenuTest, PlaybackCommandsActOnALivePlayerOnly) {
  StartQueue();
  platform::ScriptedHost host;
  Choose(host, ID_TRAY_PAUSE);
  EXPECT_EQ(device_->IsPaused(), 1);
  Choose(host, ID_TRAY_PAUSE);
  EXPECT_EQ(device_->IsPaused(), 0);
  Choose(host, ID_TRAY_NEXT);
  EXPECT_EQ(device_->GetQueuePosition(), 1);
  Choose(host, ID_TRAY_PREVIOUS);
  EXPECT_EQ(device_->GetQueuePosition(), 0);
  const std::size_t played = memory_->PlayLog().size();
  Choose(host, ID_TRAY_PLAY);
  EXPECT_EQ(memory_->PlayLog().size(), played + 1);

  device_->Disconnect();
  Command(ID_TRAY_PAUSE);  // no menu offers it now; without a live player nothing happens
  EXPECT_EQ(device_->IsPaused(), 0);
  Command(ID_TRAY_VOLUME);  // no dialog
}

TEST_F(TrayMenuTest, VolumeDialogSetsThePlayersVolume) {
  StartQueue();
  platform::ScriptedHost host;
  Choose(host, ID_TRAY_VOLUME, [&] {
    host.ExpectDialog(options::VolumeDialog::kTemplateId, [](DialogDriver& d) {
      d.DragSlider(options::VolumeDialog::kSliderId, 35);
      d.Cancel();
    });
  });
  EXPECT_EQ(device_->GetVolume(), 35);
}

TEST_F(TrayMenuTest, OptionsSheetShowsThreePagesAndSavesOnOk) {
  platform::ScriptedHost host;
  Choose(host, ID_TRAY_OPTIONS, [&] {
    host.ExpectDialog("Kestrova Manager Options", [](DialogDriver& d) {
      platform::TreeViewControl& tree = d.window().Tree(options::TreePropSheet::CTreePropSheet::kTreeId);
      std::vector<std::string> pages;
      for (platform::HTREEITEM h : tree.GetChildren(platform::TVI_ROOT)) pages.push_back(tree.GetItemText(h));
      EXPECT_EQ(pages, (std::vector<std::string>{"General", "Pallidor HTTP Options", "About"}));
      d.Page().Click(manager::COptionGeneral::kNoCloseConfirm);
      d.SelectTreeItem(options::TreePropSheet::CTreePropSheet::kTreeId, "About");
      EXPECT_EQ(d.Page().Text(manager::CManagerOptionAbout::kProductLine).rfind("Kestrova Manager 1.", 0), 0u);
      d.Ok();
    });
  });
  std::uint32_t off = 0;
  EXPECT_EQ(ReadSettingDword("Gen_DisableOmbMgrCloseConfirm", off), 1);
  EXPECT_EQ(off, 1u);
}

TEST_F(TrayMenuTest, AboutSheetHoldsTheAboutPageForTheManagersIcon) {
  platform::ScriptedHost host;
  Choose(host, ID_TRAY_ABOUT, [&] {
    host.ExpectDialog("Kestrova Manager Options", [](DialogDriver& d) {
      platform::TabsControl& tabs = d.window().Tabs(platform::kSheetTabsId);
      ASSERT_EQ(tabs.GetItemCount(), 1);
      EXPECT_EQ(tabs.GetItem(0)->text, "About");
      EXPECT_FALSE(d.window().GetDlgItem(platform::ID_APPLY_NOW));
      d.Ok();
    });
  });
}

// The browse item names the port the server listens on: a VX_PortD above 9999 cannot be
// listened on, so the address falls back to 8047 as every stream address does.
TEST_F(TrayMenuTest, BrowseOpensTheWebInterfaceOnTheServersPort) {
  struct Case {
    std::optional<std::uint32_t> stored;
    const char* address;
  };
  const Case kCases[] = {{std::nullopt, "http://127.0.0.1:8047/"}, {9999, "http://127.0.0.1:9999/"},
                         {10000, "http://127.0.0.1:8047/"},       {0, "http://127.0.0.1:8047/"}};
  for (const Case& c : kCases) {
    if (c.stored) {
      key_->SetDword("VX_PortD", *c.stored);
    } else {
      key_->DeleteValue("VX_PortD");
    }
    platform::ShellOpenRecording opened;
    platform::ScriptedHost host;
    Choose(host, ID_TRAY_BROWSE);
    ASSERT_EQ(opened.calls().size(), 1u);
    EXPECT_EQ(opened.calls()[0].target, c.address);
  }
}

// "Open" and a double click start shellhost on the player's folder; without shellhost the
// person is told so.
TEST_F(TrayMenuTest, OpeningThePlayersFolderStartsShellhostOrSaysItIsMissing) {
  // The build puts shellhost beside this test when it builds the library.
  const std::filesystem::path here = std::filesystem::read_symlink("/proc/self/exe").parent_path();
  const std::string fileManager = FindFileManager(here, "");
  platform::ScriptedHost host;
  if (fileManager.empty()) {
    host.ExpectMessageBox(platform::IDOK, "shellhost");
    platform::SendMessage(wnd_->GetSafeHwnd(), WM_TRAYNOTIFY, TRAY_ICON_ID, platform::WM_LBUTTONDBLCLK);
    Choose(host, ID_TRAY_OPEN, [&] { host.ExpectMessageBox(platform::IDOK, "shellhost"); });
    return;
  }
  platform::ShellOpenRecording recording;
  platform::SendMessage(wnd_->GetSafeHwnd(), WM_TRAYNOTIFY, TRAY_ICON_ID, platform::WM_LBUTTONDBLCLK);
  Choose(host, ID_TRAY_OPEN);
  const auto calls = recording.calls();
  ASSERT_EQ(calls.size(), 2u);
  for (const auto& call : calls) EXPECT_EQ(platform::ToPosixPath(call.target), fileManager);
}

// shellhost is looked for beside the program, then along PATH.
TEST(FileManagerTest, FoundBesideTheProgramThenOnThePath) {
  const std::filesystem::path root = std::filesystem::path(::testing::TempDir()) / "file_manager_lookup";
  std::filesystem::remove_all(root);
  const auto make = [&](const char* folder) {
    std::filesystem::create_directories(root / folder);
    const std::filesystem::path file = root / folder / "shellhost";
    std::FILE* f = std::fopen(file.c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::fclose(f);
    std::filesystem::permissions(file, std::filesystem::perms::owner_all);
  };
  make("beside");
  make("onpath");
  std::filesystem::create_directories(root / "empty");
  const std::string beside = (root / "beside" / "shellhost").string();
  const std::string onPath = (root / "onpath" / "shellhost").string();
  const struct {
    std::filesystem::path program;
    std::string path;
    std::string expected;
  } kCases[] = {
      {root / "beside", (root / "onpath").string(), beside},
      {root / "empty", (root / "empty").string() + ":" + (root / "onpath").string(), onPath},
      {root / "empty", (root / "empty").string(), ""},
      {std::filesystem::path(), "", ""},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.program.string() + " | " + c.path);
    EXPECT_EQ(FindFileManager(c.program, c.path), c.expected);
  }
  std::filesystem::remove_all(root);
}

TEST_F(TrayMenuTest, ConnectAndDisconnectChangeTheIconsPicture) {
  platform::ScriptedHost host;
  Choose(host, ID_TRAY_DISCONNECT);
  EXPECT_EQ(device_->IsConnected(), 0);
  ASSERT_EQ(host.TrayIcons().size(), 0u);  // the icon was added before this host came
  Choose(host, ID_TRAY_CONNECT);
  EXPECT_EQ(device_->IsConnected(), 1);
  EXPECT_EQ(wnd_->GetTrayIcon().picture, kTrayIconConnected);
  Choose(host, ID_TRAY_DISCONNECT);
  EXPECT_EQ(wnd_->GetTrayIcon().picture, kTrayIconDisconnected);
  EXPECT_EQ(wnd_->GetTrayIcon().icon, 190);
}

// The tray host came back: the icon is removed and added again, and the host shows it.
TEST_F(TrayMenuTest, TaskbarCreatedAddsTheIconAgain) {
  platform::ScriptedHost host;
  const TrayIconState before = wnd_->GetTrayIcon();
  platform::SendMessage(wnd_->GetSafeHwnd(), platform::RegisterWindowMessage("TaskbarCreated"), 0, 0);
  EXPECT_EQ(wnd_->GetTrayIcon().deletes, before.deletes + 1);
  EXPECT_EQ(wnd_->GetTrayIcon().adds, before.adds + 1);
  const auto icons = host.TrayIcons();
  ASSERT_EQ(icons.size(), 1u);
  EXPECT_EQ(icons[0].id, TRAY_ICON_ID);
  EXPECT_EQ(icons[0].callbackMessage, WM_TRAYNOTIFY);
  EXPECT_EQ(icons[0].icon, kTrayIconConnected);
  EXPECT_EQ(icons[0].tooltip, "Dozi Digital Jukebox\nNow Playing: Playback Stopped (0:00)");
}

// The tooltip keeps at most 63 bytes and never half a character.
TEST_F(TrayMenuTest, TooltipIsCutWithoutSplittingACharacter) {
  // "Dozi Digital Jukebox\nNow Playing: " is 34 bytes; 28 more ASCII put "é" on bytes 63-64.
  const std::string title = std::string(28, 'a') + "\xC3\xA9" + "tail";
  KernelId track = memory_->AddTrack({.title = title, .length = 185});
  platform::SendMessage(wnd_->GetSafeHwnd(), WM_NOWPLAYING, track.word[0], 0);
  EXPECT_EQ(wnd_->GetTrayIcon().tooltip, "Dozi Digital Jukebox\nNow Playing: " + std::string(28, 'a'));
}

}  // namespace

}  // namespace manager
