// The tree-navigated options sheet on a (virtual) display, driven with the display's own
// pointer and keys: the tree's highlight shows the page that is shown, also after a page
// refused to be left and after Ctrl+Tab. Runs under tests/gui/headless --wm; skipped
// without a display.
#include <gtest/gtest.h>

#include <X11/keysym.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "options/tree_prop_sheet.h"
#include "platform/ui/data_exchange.h"
#include "platform/ui/desktop.h"
#include "platform/ui/tree_view.h"
#include "platform/ui/wx/wx_host.h"
#include "testing/person.h"
#include "testing/processes.h"

namespace options::TreePropSheet {
namespace {

const bool kIsolated = platform::testing::IsolateNamespace();
constexpr int kValue = 1200;

const platform::DialogTemplate& PageTemplate() {
  using namespace platform::layout;
  static const platform::DialogTemplate t =
      platform::MakeTemplate(800, "Page", Column({Row({Text("Value:"), Edit(kValue).Number()})}), platform::kFrameChild);
  return t;
}

// A page many rows taller than the others.
const platform::DialogTemplate& TallTemplate() {
  using namespace platform::layout;
  static const platform::DialogTemplate t = platform::MakeTemplate(
      801, "Tall",
      Column({Text("First:"), Edit(kValue + 1), Text("Second:"), Edit(kValue + 2), Text("Third:"), Edit(kValue + 3),
              Text("Fourth:"), Edit(kValue + 4), Text("Fifth:"), Edit(kValue + 5)}),
      platform::kFrameChild);
  return t;
}

// A page with one number 0..99: a value out of range keeps the page from being left.
class NumberPage : public platform::PropertyPage {
 public:
  explicit NumberPage(std::string title) : PropertyPage(PageTemplate(), std::move(title)) {}
  int value = 1;
  void DoDataExchange(platform::DataExchange& dx) override { dx.Int(kValue, value, 0, 99); }
};

using platform::testing::Person;

TEST(TreePropSheetWindowTest, TheTreesHighlightShowsTheShownPage) {
  if (!platform::HasDisplay()) GTEST_SKIP() << "no display (run under tests/gui/headless --wm)";
  std::unique_ptr<platform::WxHost> host = platform::WxHost::Open("tree_prop_sheet_window_test");
  ASSERT_NE(host, nullptr);
  Person person;
  ASSERT_TRUE(person.ok());
  NumberPage general("General"), web("Web Server"), player("Player");
  CTreePropSheet sheet("Test Options");
  for (NumberPage* p : {&general, &web, &player}) sheet.AddPage(p);
  ASSERT_TRUE(sheet.SetTreeViewMode(true, true, false));
  platform::TreeViewControl* tree = nullptr;
  // What the widget highlights: the rendered tree's selected item's path.
  const auto highlighted = [&](platform::WxPrompt& p) -> std::string {
    for (const platform::RenderedControl& c : p.Controls()) {
      if (c.id == CTreePropSheet::kTreeId) return c.text;
    }
    return "(none)";
  };
  const auto shown = [&] { return sheet.GetShownPage() != nullptr ? sheet.GetShownPage()->GetTitle() : "(none)"; };
  std::vector<std::string> seen;
  int complaints = 0;
  host->SetPromptObserver([&](platform::WxPrompt& p) {
    if (p.kind() == platform::WxPrompt::Kind::MessageBox) {
      ++complaints;  // the page's, about its value
      person.Key(XK_Return);
      return;
    }
    tree = sheet.GetPageTree();
    ASSERT_NE(tree, nullptr);
    // The shown page refuses to be left: a click on another page keeps it, and its item.
    ASSERT_TRUE(p.Type(kValue, "500"));
    const std::optional<platform::Rect> item = host->ScreenRect(sheet, CTreePropSheet::kTreeId,
                                                                static_cast<long>(tree->FindByPath("Player")));
    ASSERT_TRUE(item.has_value());
    person.ClickAt((item->left + item->right) / 2, (item->top + item->bottom) / 2);
    host->PumpUntil([&] { return complaints == 1 && highlighted(p) == "General" && shown() == "General"; }, 3000);
    seen.push_back(shown() + " / " + highlighted(p));
    p.Cancel();
  });
  sheet.DoModal();
  EXPECT_EQ(seen, (std::vector<std::string>{"General / General"}));
}

// Ctrl+Tab shows the next page, and the highlight goes with it.
TEST(TreePropSheetWindowTest, CtrlTabMovesThePageAndTheHighlight) {
  if (!platform::HasDisplay()) GTEST_SKIP() << "no display (run under tests/gui/headless --wm)";
  std::unique_ptr<platform::WxHost> host = platform::WxHost::Open("tree_prop_sheet_window_test");
  ASSERT_NE(host, nullptr);
  Person person;
  ASSERT_TRUE(person.ok());
  NumberPage general("General"), web("Web Server"), player("Player");
  CTreePropSheet sheet("Test Options");
  for (NumberPage* p : {&general, &web, &player}) sheet.AddPage(p);
  ASSERT_TRUE(sheet.SetTreeViewMode(true, true, false));
  std::string seen;
  host->SetPromptObserver([&](platform::WxPrompt& p) {
    const auto highlighted = [&] {
      for (const platform::RenderedControl& c : p.Controls()) {
        if (c.id == CTreePropSheet::kTreeId) return c.text;
      }
      return std::string("(none)");
    };
    const auto shown = [&] { return sheet.GetShownPage() != nullptr ? sheet.GetShownPage()->GetTitle() : "(none)"; };
    person.Ctrl(XK_Tab);
    host->PumpUntil([&] { return shown() == "Web Server" && highlighted() == "Web Server"; }, 3000);
    seen = shown() + " / " + highlighted();
    p.Cancel();
  });
  sheet.DoModal();
  EXPECT_EQ(seen, "Web Server / Web Server");
}

// A sheet is sized once for its largest page: showing a taller page later leaves its window
// as it was (its OK button stays put), with the tree of pages and with tabs.
TEST(TreePropSheetWindowTest, TheSheetHoldsItsLargestPageFromTheStart) {
  if (!platform::HasDisplay()) GTEST_SKIP() << "no display (run under tests/gui/headless --wm)";
  std::unique_ptr<platform::WxHost> host = platform::WxHost::Open("tree_prop_sheet_window_test");
  ASSERT_NE(host, nullptr);
  const char* out = std::getenv("TOVARIN_GUI_OUT");
  const std::string folder = std::string(out != nullptr && *out != '\0' ? out : ".") + "/gui";
  std::filesystem::create_directories(folder);
  for (const bool tree : {true, false}) {
    SCOPED_TRACE(tree ? "tree of pages" : "tabs");
    NumberPage general("General");
    platform::PropertyPage tall(TallTemplate());
    CTreePropSheet sheet("Test Options");
    sheet.AddPage(&general);
    sheet.AddPage(&tall);
    ASSERT_TRUE(sheet.SetTreeViewMode(tree, true, false));
    std::optional<platform::Rect> before, after;
    host->SetPromptObserver([&](platform::WxPrompt& p) {
      before = host->ScreenRect(sheet, platform::IDOK);
      ASSERT_TRUE(p.SelectPage("Tall"));
      host->PumpUntil([&] { return sheet.GetShownPage() == &tall; }, 3000);
      host->Settle(3000);
      after = host->ScreenRect(sheet, platform::IDOK);
      EXPECT_TRUE(p.SaveImage(folder + (tree ? "/sheet_tree_tall_page.png" : "/sheet_tabs_tall_page.png")));
      p.Cancel();
    });
    sheet.DoModal();
    ASSERT_TRUE(before.has_value() && after.has_value());
    EXPECT_EQ(before->left, after->left);
    EXPECT_EQ(before->top, after->top);
  }
}

}  // namespace
}  // namespace options::TreePropSheet
