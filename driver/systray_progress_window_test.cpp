// The connection pop-up on a (virtual) display with a window manager: it comes without the
// manager's title bar or border, and its first frame on the screen is already painted.
// Runs under tests/gui/headless --wm; skipped without a display.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <set>
#include <string>

#include "driver/systray_progress.h"
#include "platform/ui/desktop.h"
#include "platform/ui/wx/wx_host.h"
#include "testing/processes.h"

namespace driver {
namespace {

const bool kIsolated = platform::testing::IsolateNamespace();

TEST(SystrayProgressWindowTest, ThePopUpIsUndecoratedAndPaintedWhenItShows) {
  if (!platform::HasDisplay()) GTEST_SKIP() << "no display (run under tests/gui/headless --wm)";
  std::unique_ptr<platform::WxHost> host = platform::WxHost::Open("systray_progress_window_test");
  ASSERT_NE(host, nullptr);
  const char* out = std::getenv("TOVARIN_GUI_OUT");
  const std::string folder = std::string(out != nullptr && *out != '\0' ? out : ".") + "/gui";
  std::filesystem::create_directories(folder);

  DlgSystrayProgress popup;
  popup.ShowAtTray("Connecting...", 4);
  // What the screen shows of it as the call returns, before any more of the toolkit's
  // events run: the text on its background, not a black or empty box.
  const std::optional<platform::Rect> shown = host->WindowScreenRect(popup);
  ASSERT_TRUE(shown.has_value());
  const std::vector<platform::COLORREF> first = host->ScreenPixels(*shown);
  EXPECT_TRUE(host->SaveScreenImage(*shown, folder + "/systray_progress_first_frame.png"));
  ASSERT_FALSE(first.empty());
  std::size_t black = 0;
  std::set<platform::COLORREF> colours;
  for (platform::COLORREF c : first) {
    if (c == platform::RGB(0, 0, 0)) ++black;
    colours.insert(c);
  }
  EXPECT_LT(black * 10, first.size()) << black << " of " << first.size() << " pixels black";
  EXPECT_GT(colours.size(), 4u) << "one flat colour: nothing drawn";

  // It asks the window manager for no decorations at all (a resizing border brings the
  // manager's on some desktops), and this one draws no frame round it.
  EXPECT_EQ(host->WindowDecorationHint(popup), std::optional<unsigned long>(0));
  std::optional<platform::Rect> frame;
  ASSERT_TRUE(host->PumpUntil([&] { return (frame = host->WindowFrameExtents(popup)).has_value(); }, 5000))
      << "the window manager never told its frame";
  EXPECT_EQ(*frame, (platform::Rect{0, 0, 0, 0}))
      << "frame " << frame->left << " " << frame->top << " " << frame->right << " " << frame->bottom;
  popup.Hide();
}

}  // namespace
}  // namespace driver
