// trayhub's start-up with the demo player on a real (virtual) display with a system tray:
// the icon sits in the tray, its menu lists the items in order with the right ones
// greyed, and Connect, Pause, Volume, Exit (answered No), Options and Exit do what they
// should, checked on the player and in the settings store. The tray host restarting
// brings the icon back. Pictures of the menu, the close question and each option page
// go to $TOVARIN_GUI_OUT. Runs under tests/gui/headless; skipped without a display.
#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <functional>

#include "common/identity.h"
#include "common/settings.h"
#include "manager/manager_app.h"
#include "testing/trayhub.h"
#include "options/volume_dialog.h"
#include "testing/processes.h"
#include "testing/tray.h"
#include "platform/ui/wx/wx_host.h"

namespace manager {

using namespace device;

namespace {

const bool kIsolated = platform::testing::IsolateNamespace();
using Prompt = platform::WxPrompt;

using platform::testing::Tray;

std::string OutFolder() {
  const char* out = std::getenv("TOVARIN_GUI_OUT");
  std::string folder = out != nullptr && *out != '\0' ? out : "gui";
  std::filesystem::create_directories(folder);
  return folder;
}

std::string Describe(const std::vector<platform::RenderedMenuItem>& items) {
  std::string out;
  for (const auto& i : items) {
    out += std::string(static_cast<std::size_t>(i.depth) * 2, ' ');
    if (i.separator) {
      out += "-\n";
      continue;
    }
    out += (i.enabled ? "" : "(") + i.text + (i.enabled ? "" : ")") + (i.submenu ? " >" : "") + "\n";
  }
  return out;
}

TEST(TrayEndToEndTest, TheTrayMenuDrivesTheDemoPlayerAndTheSettings) {
  const char* display = std::getenv("DISPLAY");
  if (display == nullptr || *display == '\0') GTEST_SKIP() << "no display (run under tests/gui/headless)";
  const std::string keep = display;
  const std::string home = std::getenv("TOVARIN_HOME");
  trayhubtest::PrepareManagerHome(home, "7000,60000");
  ::setenv("DISPLAY", keep.c_str(), 1);
  ::unsetenv("TOVARIN_DEVICE");  // the driver over the demo player, as trayhub hosts it
  const std::string out = OutFolder();

  auto tray = std::make_unique<Tray>();
  ASSERT_TRUE(tray->started()) << "trayer could not be started";
  std::unique_ptr<platform::WxHost> host = platform::WxHost::Open("tray_e2e_test");
  ASSERT_NE(host, nullptr);

  // What a person does with each prompt, in order.
  std::deque<std::function<void(Prompt&)>> script;
  host->SetPromptObserver([&](Prompt& p) {
    if (script.empty()) {
      ADD_FAILURE() << "an unexpected prompt: \"" << p.caption() << "\" " << p.text();
      p.Cancel();
      return;
    }
    auto next = std::move(script.front());
    script.pop_front();
    next(p);
  });

  ManagerStartup startup;
  startup.identityPath = "trayhub";
  startup.makeDevice = MakeHostedDevice;
  OmbrixManagerApp app(std::move(startup));
  ASSERT_TRUE(app.InitInstance());
  OmbrixManagerWnd& wnd = *app.GetMainWnd();
  const platform::HWND h = wnd.GetSafeHwnd();
  KernelDevice* device = wnd.GetDevice();
  ASSERT_NE(device, nullptr);

  ASSERT_TRUE(host->PumpUntil([&] { return host->TrayIconEmbedded(h, TRAY_ICON_ID); }, 15000))
      << "the icon never sat in the tray";
  EXPECT_EQ(host->TrayIconTooltip(h, TRAY_ICON_ID), "Dozi Digital Jukebox\nNow Playing: Playback Stopped (0:00)");
  EXPECT_EQ(device->IsConnected(), 0);  // with a tray the person connects

  auto rightClick = [&](std::function<void(Prompt&)> onMenu) {
    script.push_back(std::move(onMenu));
    ASSERT_TRUE(host->ClickTrayIcon(h, TRAY_ICON_ID, platform::WM_RBUTTONDOWN));
  };

  // Disconnected: only Connect, the options, About and Exit can be chosen.
  rightClick([&](Prompt& menu) {
    EXPECT_EQ(Describe(menu.MenuItems()),
              "Connect Jukebox\n(Disconnect Jukebox)\n-\n(Open Ombrix Jukebox ...)\n(Browse Pallidor ...)\n-\n"
              "Kestrova Manager Options...\nAbout Kestrova Manager...\n-\nExit Kestrova Manager\n");
    EXPECT_FALSE(menu.Choose(ID_TRAY_DISCONNECT));  // greyed
    EXPECT_TRUE(menu.Choose(ID_TRAY_CONNECT));
  });
  ASSERT_TRUE(host->PumpUntil([&] { return device->IsConnected() != 0; }, 30000));

  KernelId track;
  ASSERT_NE(device->GetFirstAudioTrack(track), 0);
  for (int i = 0; i < 3; ++i) {
    device->EnqueueTrack(track);
    device->GetNextAudioTrack(track);
  }
  device->PlayQueueCurrent();

  rightClick([&](Prompt& menu) {
    EXPECT_EQ(Describe(menu.MenuItems()),
              "(Connect Jukebox)\nDisconnect Jukebox\n-\nOpen Ombrix Jukebox ...\nBrowse Pallidor ...\n"
              "Active Queue (Playing 1/3) >\n  Next Track\n  Previous Track\n  -\n  Play\n  Pause\n  Stop\n  -\n"
              "  Set Volume\n-\nKestrova Manager Options...\nAbout Kestrova Manager...\n-\nExit Kestrova Manager\n");
    EXPECT_TRUE(menu.SaveImage(out + "/tray_menu.png"));
    EXPECT_TRUE(menu.Choose(ID_TRAY_PAUSE));
  });
  ASSERT_TRUE(host->PumpUntil([&] { return device->IsPaused() != 0; }, 10000));

  rightClick([&](Prompt& menu) { EXPECT_TRUE(menu.Choose(ID_TRAY_VOLUME)); });
  script.push_back([&](Prompt& dialog) {
    EXPECT_EQ(dialog.caption(), "On-Board Volume");
    EXPECT_TRUE(dialog.Slide(options::VolumeDialog::kSliderId, 35));
    EXPECT_EQ(device->GetVolume(), 35);
    EXPECT_TRUE(dialog.Click(platform::IDCANCEL));
  });
  ASSERT_TRUE(host->PumpUntil([&] { return script.empty(); }, 10000));
  EXPECT_EQ(device->GetVolume(), 35);

  rightClick([&](Prompt& menu) { EXPECT_TRUE(menu.Choose(platform::ID_APP_EXIT)); });
  script.push_back([&](Prompt& box) {
    EXPECT_EQ(box.kind(), Prompt::Kind::MessageBox);
    EXPECT_NE(box.text().find("Do you still want to close Kestrova Manager?"), std::string::npos);
    EXPECT_TRUE(box.SaveImage(out + "/close_confirmation.png"));
    EXPECT_TRUE(box.Choose(platform::IDNO));
  });
  ASSERT_TRUE(host->PumpUntil([&] { return script.empty(); }, 10000));
  host->PumpUntil([] { return false; }, 100);
  EXPECT_TRUE(platform::IsWindow(h));

  rightClick([&](Prompt& menu) { EXPECT_TRUE(menu.Choose(ID_TRAY_OPTIONS)); });
  script.push_back([&](Prompt& sheet) {
    EXPECT_EQ(sheet.caption(), "Kestrova Manager Options");
    EXPECT_TRUE(sheet.SaveImage(out + "/tray_options_general.png"));
    EXPECT_TRUE(sheet.SelectPage("Pallidor HTTP Options"));
    EXPECT_TRUE(sheet.SaveImage(out + "/tray_options_web_server.png"));
    EXPECT_TRUE(sheet.SelectPage("About"));
    EXPECT_TRUE(sheet.SaveImage(out + "/tray_options_about.png"));
    EXPECT_TRUE(sheet.SelectPage("General"));
    EXPECT_TRUE(sheet.SetCheck(1014, true));
    EXPECT_TRUE(sheet.Click(platform::IDOK));
  });
  ASSERT_TRUE(host->PumpUntil([&] { return script.empty(); }, 10000));
  std::uint32_t noConfirm = 0;
  ReadSettingDword("Gen_DisableOmbMgrCloseConfirm", noConfirm);
  EXPECT_EQ(noConfirm, 1u);

  // The tray host restarts: the icon is added again and sits in the new tray.
  const int adds = wnd.GetTrayIcon().adds;
  tray.reset();
  tray = std::make_unique<Tray>();
  ASSERT_TRUE(host->PumpUntil(
      [&] { return wnd.GetTrayIcon().adds > adds && host->TrayIconEmbedded(h, TRAY_ICON_ID); }, 15000));

  // Exit, now without the question.
  rightClick([&](Prompt& menu) { EXPECT_TRUE(menu.Choose(platform::ID_APP_EXIT)); });
  ASSERT_TRUE(host->PumpUntil([&] { return !platform::IsWindow(h); }, 10000));
  EXPECT_TRUE(host->TrayIcons().empty());
  EXPECT_TRUE(script.empty());
  host->SetPromptObserver({});
}

}  // namespace

}  // namespace manager
