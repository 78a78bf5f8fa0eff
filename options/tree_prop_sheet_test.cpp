// The tree-navigated options sheet: page paths from "::" captions, nodes without a page and
// their message, pages that refuse to be left, OK saving every visited page, keyboard
// page changes through the tree, failed tree insertions, and the caption bar's painting.
#include "options/tree_prop_sheet.h"

#include <gtest/gtest.h>

#include "testing/processes.h"
#include "platform/ui/data_exchange.h"
#include "platform/ui/dialog_driver.h"
#include "platform/ui/scripted_host.h"

namespace options::TreePropSheet {
namespace {

using platform::DialogDriver;
using platform::HTREEITEM;
using platform::IDOK;

const bool kIsolated = platform::testing::IsolateNamespace();
constexpr int kTree = CTreePropSheet::kTreeId;
constexpr int kValue = 1200;

const platform::DialogTemplate& PageTemplate() {
  using namespace platform::layout;
  static const platform::DialogTemplate t =
      platform::MakeTemplate(800, "Page", Column({Row({Text("Value:"), Edit(kValue).Number()})}), platform::kFrameChild);
  return t;
}

// A page with one number 0..99 that logs when it saves.
class TestPage : public platform::PropertyPage {
 public:
  TestPage(std::string title, std::vector<std::string>& log) : PropertyPage(PageTemplate(), std::move(title)), log_(log) {}
  int value = 1;
  void DoDataExchange(platform::DataExchange& dx) override { dx.Int(kValue, value, 0, 99); }
  void OnOK() override { log_.push_back(GetTitle() + "=" + std::to_string(value)); }

 private:
  std::vector<std::string>& log_;
};

struct PathCase {
  const char* path;
  const char* segment;
  const char* rest;
};

TEST(TreePropSheetTest, CaptionsSplitAtUnescapedDoubleColons) {
  const PathCase kCases[] = {
      {"Jukebox", "Jukebox", ""},
      {"Jukebox::Tag Handling", "Jukebox", "Tag Handling"},
      {"a::b::c", "a", "b::c"},
      {"Jukebox\\::Tag", "Jukebox\\::Tag", ""},      // one backslash escapes; the whole is not unescaped
      {"Jukebox\\::Tag::Sub", "Jukebox::Tag", "Sub"},  // a taken segment loses its escapes
      {"a\\\\::b", "a\\", "b"},                       // two backslashes are one, and do not escape
      {"::Jukebox", "::Jukebox", ""},                 // a leading "::" is no separator
      {"::a::b", "::a", "b"},
      {"", "", ""},
  };
  for (const auto& c : kCases) {
    std::string path = c.path;
    EXPECT_EQ(CTreePropSheet::SplitPagePath(path), c.segment) << c.path;
    EXPECT_EQ(path, c.rest) << c.path;
  }
}

struct SheetTest : ::testing::Test {
  platform::ScriptedHost host;
  std::vector<std::string> log;
  std::vector<std::unique_ptr<TestPage>> pages;
  CTreePropSheet sheet{"Ombrix Jukebox Options"};

  TestPage& Add(const std::string& title) {
    pages.push_back(std::make_unique<TestPage>(title, log));
    sheet.AddPage(pages.back().get());
    return *pages.back();
  }
  platform::TreeViewControl& Tree() { return *sheet.GetPageTree(); }
  std::string Shown() {
    platform::PropertyPage* p = sheet.GetShownPage();
    return p == nullptr ? "(none)" : p->GetTitle();
  }
  std::string Selected() { return Tree().GetItemText(Tree().GetSelectedItem()); }
};

TEST_F(SheetTest, DoubleColonCaptionsBuildTheTreeAndANodeWithoutAPageShowsItsMessage) {
  Add("General");
  Add("Jukebox");
  Add("Jukebox::Tag Handling");
  Add("Jukebox::Brevlink");
  Add("Player::Sync");  // "Player" itself has no page
  ASSERT_TRUE(sheet.SetTreeViewMode(true, true, false));
  sheet.SetEmptyPageText("Please select a child item of '%1'.");
  host.ExpectDialog("Ombrix Jukebox Options", [&](DialogDriver& d) {
    platform::TreeViewControl& tree = Tree();
    std::vector<std::string> roots;
    for (HTREEITEM h : tree.GetChildren(platform::TVI_ROOT)) roots.push_back(tree.GetItemText(h));
    EXPECT_EQ(roots, (std::vector<std::string>{"General", "Jukebox", "Player"}));
    const HTREEITEM jukebox = tree.FindByPath("Jukebox");
    EXPECT_EQ(tree.GetChildren(jukebox).size(), 2u);
    EXPECT_TRUE(tree.IsExpanded(jukebox));
    EXPECT_FALSE(d.Visible(platform::kSheetTabsId));
    EXPECT_EQ(Selected(), "General");
    EXPECT_EQ(Shown(), "General");
    EXPECT_EQ(sheet.GetFrame()->GetCaptionText(), "General");

    d.SelectTreeItem(kTree, "Jukebox");
    EXPECT_EQ(Shown(), "Jukebox");  // the node shows the first page of that path
    d.SelectTreeItem(kTree, "Jukebox/Brevlink");
    EXPECT_EQ(Shown(), "Jukebox::Brevlink");
    EXPECT_EQ(sheet.GetFrame()->GetCaptionText(), "Brevlink");

    d.SelectTreeItem(kTree, "Player");
    EXPECT_EQ(Shown(), "(none)");
    EXPECT_EQ(sheet.GetActiveIndex(), 3);  // the last page stays the active one, hidden
    EXPECT_EQ(sheet.GetFrame()->GetMessageText(), "Please select a child item of 'Player'.");
    EXPECT_EQ(sheet.GetFrame()->GetCaptionText(), "Player");
    platform::Canvas canvas({0, 0, 300, 200});
    sheet.Paint(CTreePropSheet::kFrameId, canvas);
    bool drawn = false;
    for (const auto& op : canvas.Ops()) {
      drawn = drawn || (op.kind == platform::DrawOp::Kind::Text && op.text == "Please select a child item of 'Player'.");
    }
    EXPECT_TRUE(drawn);
    d.SelectTreeItem(kTree, "Player/Sync");
    EXPECT_EQ(Shown(), "Player::Sync");
    d.Cancel();
  });
  EXPECT_EQ(sheet.DoModal(), platform::IDCANCEL);
  EXPECT_TRUE(log.empty());
}

TEST_F(SheetTest, ANodeWithoutAPageShowsAnEmptyMessageByDefault) {
  Add("Player::Sync");
  host.ExpectDialog("Options", [&](DialogDriver& d) {
    d.SelectTreeItem(kTree, "Player");
    EXPECT_EQ(Shown(), "(none)");
    EXPECT_EQ(sheet.GetFrame()->GetMessageText(), "");
    d.Ok();
  });
  EXPECT_EQ(sheet.DoModal(), IDOK);
  EXPECT_EQ(log, (std::vector<std::string>{"Player::Sync=1"}));  // shown once, saved though hidden at the end
}

TEST_F(SheetTest, OkSavesEveryVisitedPageAndAPageCanRefuseToBeLeft) {
  TestPage& general = Add("General");
  TestPage& jukebox = Add("Jukebox");
  Add("Jukebox::Tag Handling");
  Add("About");
  host.ExpectDialog("Options", [&](DialogDriver& d) {
    d.SelectTreeItem(kTree, "Jukebox");
    d.Page().Type(kValue, "100");
    host.ExpectNextMessageBox(IDOK, "between 0 and 99 in \"Value\"");
    d.SelectTreeItem(kTree, "About");
    EXPECT_EQ(Selected(), "Jukebox");  // the refusal keeps the tree where it was
    EXPECT_EQ(Shown(), "Jukebox");
    host.ExpectNextMessageBox(IDOK, "between 0 and 99");
    d.Key(platform::VK_TAB, platform::kModCtrl);
    EXPECT_EQ(Selected(), "Jukebox");
    d.Page().Type(kValue, "42");
    d.SelectTreeItem(kTree, "General");
    d.Page().Type(kValue, "7");
    d.Ok();
  });
  EXPECT_EQ(sheet.DoModal(), IDOK);
  EXPECT_EQ(general.value, 7);
  EXPECT_EQ(jukebox.value, 42);
  EXPECT_EQ(log, (std::vector<std::string>{"General=7", "Jukebox=42"}));  // never-visited pages are not saved
}

TEST_F(SheetTest, CtrlTabWalksTheTreeInPreOrderAndWrapsAround) {
  Add("General");
  Add("Jukebox::Tag Handling");
  Add("Jukebox::Brevlink::Folders");
  Add("About");
  host.ExpectDialog("Options", [&](DialogDriver& d) {
    std::vector<std::string> forward;
    for (int i = 0; i < 7; ++i) {
      if (i > 0) d.Key(platform::VK_TAB, platform::kModCtrl);
      forward.push_back(Selected() + "|" + Shown());
    }
    EXPECT_EQ(forward, (std::vector<std::string>{"General|General", "Jukebox|(none)",
                                                 "Tag Handling|Jukebox::Tag Handling", "Brevlink|(none)",
                                                 "Folders|Jukebox::Brevlink::Folders", "About|About",
                                                 "General|General"}));
    d.Key(platform::VK_TAB, platform::kModCtrl | platform::kModShift);  // from the first: the deepest last node
    EXPECT_EQ(Selected(), "About");
    d.SelectTreeItem(kTree, "Jukebox/Tag Handling");
    d.Key(platform::VK_TAB, platform::kModCtrl | platform::kModShift);
    EXPECT_EQ(Selected(), "Jukebox");
    d.SelectTreeItem(kTree, "About");
    d.Key(platform::VK_TAB, platform::kModCtrl | platform::kModShift);
    EXPECT_EQ(Selected(), "Folders");  // the previous sibling's deepest last node
    d.Cancel();
  });
  sheet.DoModal();
}

// A tree that cannot make some items, as a tree out of memory would.
class FailingTree : public platform::TreeViewControl {
 public:
  using TreeViewControl::TreeViewControl;
  HTREEITEM InsertItem(const std::string& text, HTREEITEM parent, HTREEITEM after, int image, int selectedImage,
                       std::uint64_t data) override {
    if (text == "Broken") return 0;
    return TreeViewControl::InsertItem(text, parent, after, image, selectedImage, data);
  }
};

class FailingSheet : public CTreePropSheet {
 public:
  using CTreePropSheet::CTreePropSheet;
  std::unique_ptr<platform::TreeViewControl> CreatePageTree(const platform::ControlTemplate& t) override {
    return std::make_unique<FailingTree>(this, t);
  }
};

TEST(TreePropSheetFaultTest, AFailedTreeInsertionIsNeverUsedAsANode) {
  platform::ScriptedHost host;
  std::vector<std::string> log;
  TestPage first("General", log), broken("Broken", log), child("Holder::Broken", log), last("About", log);
  FailingSheet sheet("Options");
  sheet.SetEmptyPageText("No page: %1");
  for (TestPage* p : {&first, &broken, &child, &last}) sheet.AddPage(p);
  host.ExpectDialog("Options", [&](DialogDriver& d) {
    platform::TreeViewControl& tree = *sheet.GetPageTree();
    EXPECT_EQ(tree.GetCount(), 3);  // General, Holder, About
    const HTREEITEM holder = tree.FindByPath("Holder");
    ASSERT_NE(holder, 0u);
    EXPECT_FALSE(tree.ItemHasChildren(holder));
    d.SelectTreeItem(CTreePropSheet::kTreeId, "Holder");
    EXPECT_EQ(sheet.GetShownPage(), nullptr);  // the holder did not take its child's page
    EXPECT_EQ(sheet.GetFrame()->GetMessageText(), "No page: Holder");
    d.SelectTreeItem(CTreePropSheet::kTreeId, "About");
    EXPECT_EQ(sheet.GetShownPage(), &last);
    d.Ok();
  });
  EXPECT_EQ(sheet.DoModal(), IDOK);
}

TEST_F(SheetTest, TheCaptionBarFadesIntoTheFrameAndTooNarrowACaptionDrawsNoGradient) {
  Add("Jukebox");
  ASSERT_TRUE(sheet.SetTreeViewMode(true, true, false));
  host.ExpectDialog("Options", [&](DialogDriver& d) {
    EXPECT_FALSE(sheet.SetTreeViewMode(false));  // too late once the window exists
    CPropPageFrame& frame = *sheet.GetFrame();
    const int h = platform::CurrentHost().GetSystemMetric(platform::kMetricTabItemHeight);
    EXPECT_EQ(frame.GetCaptionHeight(), h);
    EXPECT_EQ(sheet.PageArea(CTreePropSheet::kFrameId).GetTopInset(), h + 1);  // the page sits below the caption

    platform::Canvas canvas({0, 0, 200, 150});
    sheet.Paint(CTreePropSheet::kFrameId, canvas);
    const auto& ops = canvas.Ops();
    ASSERT_GE(ops.size(), 3u);
    EXPECT_EQ(ops[0].kind, platform::DrawOp::Kind::Gradient);
    EXPECT_EQ(ops[0].rect, (platform::Rect{4, 1, 201, h}));
    EXPECT_EQ(ops[0].colour, platform::CurrentHost().GetSysColor(platform::COLOR_INACTIVECAPTION));
    EXPECT_EQ(ops[1].kind, platform::DrawOp::Kind::Text);
    EXPECT_EQ(ops[1].text, " Jukebox");
    EXPECT_EQ(ops[1].font, platform::FontKind::System);
    EXPECT_EQ(ops[2].kind, platform::DrawOp::Kind::SunkenEdge);
    EXPECT_EQ(ops[2].rect, (platform::Rect{3, 1, 197, 147}));
    EXPECT_EQ(ops.back().kind, platform::DrawOp::Kind::Text);  // the message area last
    EXPECT_EQ(ops.back().rect.top, h + 1);

    for (const platform::Rect narrow : {platform::Rect{0, 0, 3, 150}, platform::Rect{0, 0, 0, 0}}) {
      platform::Canvas small(narrow);
      sheet.Paint(CTreePropSheet::kFrameId, small);
      for (const auto& op : small.Ops()) EXPECT_NE(op.kind, platform::DrawOp::Kind::Gradient);
    }
    d.Cancel();
  });
  sheet.DoModal();
}

TEST_F(SheetTest, TreeImagesCopyTheTabIconsAndMarkPagelessNodesWithTheDefaults) {
  platform::ImageList tabIcons;
  tabIcons.Add("preferences-system");
  sheet.SetTabImageList(&tabIcons);
  sheet.DefaultImages().Add("folder");         // a node without a page
  sheet.DefaultImages().Add("text-x-generic");  // a page without an image
  Add("General").SetTabImage(0);
  Add("Jukebox::Tag Handling");
  ASSERT_TRUE(sheet.SetTreeViewMode(true, true, true));
  host.ExpectDialog("Options", [&](DialogDriver& d) {
    const platform::ImageList& images = sheet.GetTreeImages();
    ASSERT_EQ(images.GetImageCount(), 3);
    platform::TreeViewControl& tree = Tree();
    auto iconOf = [&](const char* path) {
      int image = -1, selected = -1;
      tree.GetItemImage(tree.FindByPath(path), image, selected);
      return images.GetIcon(image);
    };
    EXPECT_EQ(iconOf("General"), "preferences-system");
    EXPECT_EQ(iconOf("Jukebox"), "folder");
    EXPECT_EQ(iconOf("Jukebox/Tag Handling"), "text-x-generic");
    EXPECT_EQ(sheet.GetFrame()->GetCaptionIcon(), "preferences-system");
    d.SelectTreeItem(kTree, "Jukebox");
    EXPECT_EQ(sheet.GetFrame()->GetCaptionIcon(), "folder");
    d.Cancel();
  });
  sheet.DoModal();
}

TEST_F(SheetTest, WithoutTreeModeItIsAPlainTabbedSheet) {
  Add("General");
  Add("Jukebox::Tag Handling");
  ASSERT_TRUE(sheet.SetTreeViewMode(false));
  host.ExpectDialog("Options", [&](DialogDriver& d) {
    EXPECT_EQ(sheet.GetPageTree(), nullptr);
    EXPECT_TRUE(d.Visible(platform::kSheetTabsId));
    d.SelectTab(1);
    EXPECT_EQ(Shown(), "Jukebox::Tag Handling");
    d.Key(platform::VK_TAB, platform::kModCtrl);
    EXPECT_EQ(Shown(), "General");
    d.Ok();
  });
  EXPECT_EQ(sheet.DoModal(), IDOK);
  EXPECT_EQ(log, (std::vector<std::string>{"General=1", "Jukebox::Tag Handling=1"}));
}

}  // namespace
}  // namespace options::TreePropSheet
