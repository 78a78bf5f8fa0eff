// The connect pop-up: its place beside the taskbar, its bar, and the scope that drives it.
#include "driver/systray_progress.h"

#include <gtest/gtest.h>

#include <optional>

#include "common/identity.h"
#include "testing/processes.h"
#include "platform/settings/settings.h"
#include "platform/ui/scripted_host.h"

namespace driver {

namespace {

const bool kIsolated = platform::testing::IsolateNamespace();

TEST(SystrayProgressTest, ThePopUpSitsInTheCornerOfTheNotificationArea) {
  platform::ScriptedHost host;
  const int w = DlgSystrayProgress::kWidth, h = DlgSystrayProgress::kHeight;
  const struct {
    const char* edge;
    platform::Rect bar;
    int x, y;
  } kCases[] = {
      {"bottom", {0, 1040, 1920, 1080}, 1920 - 2 - w, 1040 - h},
      {"right", {1860, 0, 1920, 1080}, 1860 - w, 1080 - 2 - h},
      {"left", {0, 0, 60, 1080}, 60, 1080 - 2 - h},
      {"top", {0, 0, 1920, 40}, 1920 - 2 - w, 40},
      {"square", {0, 0, 500, 500}, 0 - w, 500 - 2 - h},
  };
  for (const auto& c : kCases) {
    host.SetTaskbarRect(c.bar);
    DlgSystrayProgress popup;
    popup.ShowAtTray("Connecting...", 5);
    EXPECT_EQ(popup.GetX(), c.x) << c.edge;
    EXPECT_EQ(popup.GetY(), c.y) << c.edge;
    EXPECT_TRUE(popup.IsVisible());
    EXPECT_TRUE(popup.IsTopmost());
    EXPECT_EQ(host.FindOpenWindow(DlgSystrayProgress::kTemplateId), &popup);
  }
  EXPECT_TRUE(host.OpenWindows().empty());
}

TEST(SystrayProgressTest, ABarOfFourStepsIsFullAfterFourAndStartsOverAfterMore) {
  DlgSystrayProgress popup;
  EXPECT_NE(popup.GetSafeHwnd(), 0u);  // a window of the thread's queue from the start
  EXPECT_FALSE(popup.IsVisible());
  EXPECT_EQ(popup.GetText(), "Connecting...");
  popup.ShowAtTray("Disconnecting...", 4);
  EXPECT_EQ(popup.GetText(), "Disconnecting...");
  EXPECT_EQ(popup.GetPos(), 0);
  for (int i = 0; i < 4; ++i) popup.StepIt();
  EXPECT_EQ(popup.GetPos(), popup.GetRangeMax());
  popup.StepIt();
  EXPECT_EQ(popup.GetPos(), 1);
  popup.ShowAtTray("Connecting...", 5);
  EXPECT_EQ(popup.GetPos(), 0);  // every showing starts an empty bar
  popup.UserKey(platform::VK_ESCAPE);  // a key hides it at most; only its scope ends it
  EXPECT_FALSE(popup.IsVisible());
  EXPECT_TRUE(popup.IsOpen());
}

TEST(SystrayProgressTest, TheScopeShowsStepsAndHidesUnlessSwitchedOff) {
  g_ProductIdentity.InitFromPath("trayhub");
  platform::SettingsKey::Delete(platform::Hive::CurrentUser, g_ProductIdentity.settingsKey);
  auto key = platform::SettingsKey::Create(platform::Hive::CurrentUser, g_ProductIdentity.settingsKey);
  DlgSystrayProgress popup;
  {
    SystrayProgressScope scope(&popup, "Connecting...", 3);
    EXPECT_TRUE(popup.IsVisible());
    scope.Step();
    scope.Step();
    EXPECT_EQ(popup.GetPos(), 2);
  }
  EXPECT_FALSE(popup.IsVisible());
  key.SetDword("Gen_DisableSystrayProgress", 1);
  {
    SystrayProgressScope scope(&popup, "Disconnecting...", 3);
    scope.Step();
    EXPECT_FALSE(popup.IsVisible());
  }
  EXPECT_EQ(popup.GetShowCount(), 1);
  EXPECT_EQ(popup.GetText(), "Connecting...");
  SystrayProgressScope none(nullptr, "Connecting...", 3);  // a driver without its pop-up
  none.Step();
}

}  // namespace

}  // namespace driver
