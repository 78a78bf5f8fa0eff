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

// A page whose heading is filled in as it opens (its template holds no text): the width
// the template gives the heading is room the sheet keeps from the start.
constexpr int kHeading = 1300;
const platform::DialogTemplate& HeadingTemplate() {
  using namespace platform::layout;
  static const platform::DialogTemplate t = platform::MakeTemplate(
      802, "Heading",
      Column({Text("", kHeading).Style(platform::kStyleTitle).Width(40),
              Text("A note under the heading, long enough to be wrapped where its width ends.").Width(30)}),
      platform::kFrameChild);
  return t;
}

class HeadingPage : public platform::PropertyPage {
 public:
  HeadingPage() : PropertyPage(HeadingTemplate()) {}
  std::string heading = "Test Manager 1.0.0";
  void DoDataExchange(platform::DataExchange& dx) override { dx.Text(kHeading, heading); }
};

// A page with one number 0..99: a value out of range keeps the page from being left.
class NumberPage : public platform::PropertyPage {
 public:
  explicit NumberPage(std::string title) : PropertyPage(PageTemplate(), std::move(title)) {}
  int value = 1;
  void DoDataExchange(platform::DataExchange& dx) override { dx.Int(kValue, value, 0, 99); }
};

using platform::testing::Person;

class TreePropSheetWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!platform::HasDisplay()) GTEST_SKIP() << "no display (run under tests/gui/headless --wm)";
    host = platform::WxHost::Open("tree_prop_sheet_window_test");
    ASSERT_NE(host, nullptr);
  }
  std::unique_ptr<platform::WxHost> host;
};

// Three pages in a tree, and the display's own pointer and keys.
class ThreePageSheetTest : public TreePropSheetWindowTest {
 protected:
  void SetUp() override {
    TreePropSheetWindowTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    ASSERT_TRUE(person.ok());
    for (NumberPage* p : {&general, &web, &player}) sheet.AddPage(p);
    ASSERT_TRUE(sheet.SetTreeViewMode(true, true, false));
  }
  // What the widget highlights: the rendered tree's selected item's path.
  static std::string Highlighted(platform::WxPrompt& p) {
    for (const platform::RenderedControl& c : p.Controls()) {
      if (c.id == CTreePropSheet::kTreeId) return c.text;
    }
    return "(none)";
  }
  std::string Shown() { return sheet.GetShownPage() != nullptr ? sheet.GetShownPage()->GetTitle() : "(none)"; }

  Person person;
  NumberPage general{"General"}, web{"Web Server"}, player{"Player"};
  CTreePropSheet sheet{"Test Options"};
};

TEST_F(ThreePageSheetTest, TheTreesHighlightShowsTheShownPage) {
  std::vector<std::string> seen;
  int complaints = 0;
  host->SetPromptObserver([&](platform::WxPrompt& p) {
    if (p.kind() == platform::WxPrompt::Kind::MessageBox) {
      ++complaints;  // the page's, about its value
      person.Key(XK_Return);
      return;
    }
    platform::TreeViewControl* tree = sheet.GetPageTree();
    ASSERT_NE(tree, nullptr);
    // The shown page refuses to be left: a click on another page keeps it, and its item.
    ASSERT_TRUE(host->PumpUntil([&] { return person.ActiveCaption() == "Test Options"; }, 5000));
    ASSERT_TRUE(p.Type(kValue, "500"));
    const std::optional<platform::Rect> item = host->ScreenRect(sheet, CTreePropSheet::kTreeId,
                                                                static_cast<long>(tree->FindByPath("Player")));
    ASSERT_TRUE(item.has_value());
    person.ClickAt((item->left + item->right) / 2, (item->top + item->bottom) / 2);
    host->PumpUntil([&] { return complaints == 1 && Highlighted(p) == "General" && Shown() == "General"; }, 3000);
    seen.push_back(Shown() + " / " + Highlighted(p));
    p.Cancel();
  });
  sheet.DoModal();
  EXPECT_EQ(seen, (std::vector<std::string>{"General / General"}));
}

// Ctrl+Tab shows the next page, and the highlight goes with it.
TEST_F(ThreePageSheetTest, CtrlTabMovesThePageAndTheHighlight) {
  std::string seen;
  host->SetPromptObserver([&](platform::WxPrompt& p) {
    ASSERT_TRUE(host->PumpUntil([&] { return person.ActiveCaption() == "Test Options"; }, 5000));
    person.Ctrl(XK_Tab);
    host->PumpUntil([&] { return Shown() == "Web Server" && Highlighted(p) == "Web Server"; }, 3000);
    seen = Shown() + " / " + Highlighted(p);
    p.Cancel();
  });
  sheet.DoModal();
  EXPECT_EQ(seen, "Web Server / Web Server");
}

// A sheet is sized once for its largest page: showing a later page leaves its window as it
// was (its OK button stays put), with the tree of pages and with tabs. The later page is
// taller, or wider once its texts are filled in.
TEST_F(TreePropSheetWindowTest, TheSheetHoldsItsLargestPageFromTheStart) {
  const char* out = std::getenv("TOVARIN_GUI_OUT");
  const std::string folder = std::string(out != nullptr && *out != '\0' ? out : ".") + "/gui";
  std::filesystem::create_directories(folder);
  for (const char* name : {"tall", "heading"}) {
    for (const bool tree : {true, false}) {
      SCOPED_TRACE(std::string(name) + (tree ? ", tree of pages" : ", tabs"));
      NumberPage general("General");
      platform::PropertyPage tall(TallTemplate());
      HeadingPage heading;
      platform::PropertyPage* later = name == std::string("tall") ? &tall : static_cast<platform::PropertyPage*>(&heading);
      CTreePropSheet sheet("Test Options");
      sheet.AddPage(&general);
      sheet.AddPage(later);
      ASSERT_TRUE(sheet.SetTreeViewMode(tree, true, false));
      std::optional<platform::Rect> before, after;
      host->SetPromptObserver([&](platform::WxPrompt& p) {
        before = host->ScreenRect(sheet, platform::IDOK);
        ASSERT_TRUE(p.SelectPage(later->GetTitle()));
        host->PumpUntil([&] { return sheet.GetShownPage() == later; }, 3000);
        host->Settle(3000);
        after = host->ScreenRect(sheet, platform::IDOK);
        EXPECT_TRUE(p.SaveImage(folder + "/sheet_" + (tree ? "tree_" : "tabs_") + name + "_page.png"));
        p.Cancel();
      });
      sheet.DoModal();
      ASSERT_TRUE(before.has_value() && after.has_value());
      EXPECT_EQ(before->left, after->left);
      EXPECT_EQ(before->top, after->top);
    }
  }
}

}  // namespace
}  // namespace options::TreePropSheet
