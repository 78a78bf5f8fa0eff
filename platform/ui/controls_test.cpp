// Controls: what a person's actions do to their state and what their window hears; list
// views with texts on demand, sorting and reordering; tree views with a selection the
// window can refuse.
#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <map>

#include "testing/processes.h"
#include "platform/text/text.h"
#include "platform/ui/dialog_driver.h"
#include "platform/ui/scripted_host.h"

namespace platform {
namespace {

const bool kIsolated = testing::IsolateNamespace();

enum : int {
  kSorted = 2001,
  kPick,
  kEditable,
  kSlider,
  kBar,
  kSpin,
  kSpinEdit,
  kRows,
  kTree,
  kTools,
  kStatus,
  kPaint,
};

const DialogTemplate& AllTemplate() {
  using namespace layout;
  static const DialogTemplate t = MakeTemplate(
      710, "All",
      Column({Toolbar(kTools), Combo(kSorted).Sorted(), Combo(kPick).DropDownList(), Combo(kEditable),
              Row({Text("Volume"), Slider(kSlider)}), Progress(kBar), Row({Edit(kSpinEdit).Number(), Spin(kSpin, kSpinEdit)}),
              ListView(kRows).Style(kStyleCheckBoxes), Tree(kTree), Paint(kPaint), StatusBar(kStatus)}),
      kFrameCaption | kFrameVisible);
  return t;
}

// Records what the window hears; answers the list view's and tree's questions.
class AllWindow : public Dialog {
 public:
  AllWindow() : Dialog(AllTemplate()) {}
  std::vector<std::string> heard;
  std::map<std::uint64_t, std::vector<std::string>> rowTexts;  // data -> column texts
  HTREEITEM refuse = 0;
  int asked = 0;
  bool keepTexts = false;

 protected:
  bool OnCommand(int id, int code) override {
    heard.push_back("command " + std::to_string(id) + "/" + std::to_string(code));
    return Dialog::OnCommand(id, code);
  }
  void OnNotify(Notification& n) override {
    switch (n.code) {
      case NotifyCode::GetDispInfo: {
        ++asked;
        const auto& texts = rowTexts[n.data];
        if (n.subItem >= 0 && n.subItem < static_cast<int>(texts.size())) n.text = texts[n.subItem];
        n.image = static_cast<int>(n.data % 3);
        n.keep = keepTexts;
        return;
      }
      case NotifyCode::CustomDraw:
        if (n.item % 2 == 0) n.backColour = RGB(230, 230, 255);
        return;
      case NotifyCode::SelChanging:
        heard.push_back("changing " + std::to_string(n.oldItem) + ">" + std::to_string(n.newItem));
        n.result = (n.newItem == refuse && refuse != 0) ? 1 : 0;
        return;
      case NotifyCode::SelChanged:
        heard.push_back("changed " + std::to_string(n.newItem));
        return;
      case NotifyCode::Scroll:
        heard.push_back("scroll " + std::to_string(n.action) + "@" + std::to_string(n.pos));
        return;
      case NotifyCode::ReleasedCapture:
        heard.push_back("released");
        return;
      case NotifyCode::ReorderDrop:
        heard.push_back("drop " + std::to_string(n.pos) + ">" + std::to_string(n.item));
        return;
      case NotifyCode::DeleteItem:
        heard.push_back("delete " + std::to_string(n.data));
        return;
      case NotifyCode::BeginDrag:
        Dialog::ListView(kRows).BeginReorder(n.item);
        return;
      case NotifyCode::GetTooltip:
        n.text = "Tip " + std::to_string(n.item);
        return;
      case NotifyCode::HeaderRightClick:
        heard.push_back("header menu");
        return;
      default:
        return;
    }
  }
};

class ControlsTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(w.Create()); }
  ScriptedHost host;
  AllWindow w;
  DialogDriver d{w};
};

TEST_F(ControlsTest, ComboAndListBoxesKeepOrderSelectionAndText) {
  ListControl& sorted = w.List(kSorted);
  for (const char* s : {"pop", "Jazz", "ambient", "jazz", "Rock"}) sorted.AddString(s);
  EXPECT_EQ(d.Items(kSorted), (std::vector<std::string>{"ambient", "Jazz", "jazz", "pop", "Rock"}));
  EXPECT_EQ(sorted.FindStringExact(-1, "JAZZ"), 1);
  EXPECT_EQ(sorted.FindStringExact(1, "jazz"), 2);
  EXPECT_EQ(sorted.FindStringExact(2, "jazz"), 1);  // goes round once
  EXPECT_EQ(sorted.FindStringExact(-1, "blues"), -1);

  ListControl& pick = w.List(kPick);
  pick.AddString("Properties (Edit Tag)");
  pick.AddString("Play in Player");
  EXPECT_FALSE(pick.SetCurSel(5));
  EXPECT_EQ(pick.GetCurSel(), -1);
  pick.SetText("play in player");  // a drop-down list shows one of its items
  EXPECT_EQ(pick.GetCurSel(), 1);
  EXPECT_EQ(pick.GetText(), "Play in Player");
  d.Select(kPick, 0);
  EXPECT_EQ(d.Text(kPick), "Properties (Edit Tag)");
  EXPECT_NONFATAL_FAILURE(d.Type(kPick, "free text"), "cannot type");
  EXPECT_TRUE(pick.DeleteString(0));
  EXPECT_EQ(pick.GetCurSel(), -1);  // the selected item went

  ListControl& editable = w.List(kEditable);
  editable.AddString("D:");
  editable.SetCurSel(0);
  d.Type(kEditable, "E:");
  EXPECT_EQ(editable.GetText(), "E:");
  EXPECT_EQ(editable.GetCurSel(), -1);
  const std::vector<std::string> heard = {"command " + std::to_string(kPick) + "/" + std::to_string(CBN_SELCHANGE),
                                          "command " + std::to_string(kEditable) + "/" + std::to_string(CBN_EDITCHANGE)};
  EXPECT_EQ(w.heard, heard);
}

TEST_F(ControlsTest, ProgressBarsWrapSlidersClampAndSpinsStepTheirBuddy) {
  const struct {
    int min, max, step, steps, pos;
  } kBars[] = {
      {0, 4, 1, 4, 4},      // full after four steps
      {0, 4, 1, 5, 1},      // and starts over
      {10, 14, 1, 6, 12},   // from its own start
      {0, 0, 1, 3, 0},      // an empty range stays empty
      {0, 100, 10, 13, 30}, // past the end by more than one
  };
  ProgressControl& bar = w.Progress(kBar);
  for (const auto& c : kBars) {
    bar.SetRange32(c.min, c.max);
    bar.SetStep(c.step);
    bar.SetPos(c.min);
    for (int i = 0; i < c.steps; ++i) bar.StepIt();
    EXPECT_EQ(bar.GetPos(), c.pos) << c.min << ".." << c.max << " x" << c.steps;
  }
  bar.SetRange32(0, 10);
  bar.SetPos(50);
  EXPECT_EQ(bar.GetPos(), 10);

  SliderControl& slider = w.Slider(kSlider);
  slider.SetPos(150);
  EXPECT_EQ(slider.GetPos(), 100);  // kept in the range
  slider.SetRange(0, 10);
  EXPECT_EQ(slider.GetPos(), 10);
  slider.SetPos(7);
  w.heard.clear();
  d.DragSlider(kSlider, 9);
  const std::vector<std::string> dragged = {"scroll 5@8", "scroll 5@9", "scroll 4@9", "scroll 8@9", "released"};
  EXPECT_EQ(w.heard, dragged);
  w.heard.clear();
  d.SliderKey(kSlider, VK_HOME);
  EXPECT_EQ(slider.GetPos(), 0);
  EXPECT_EQ(w.heard.front(), "scroll 6@0");

  SpinControl& spin = w.Spin(kSpin);
  spin.SetRange(1, 3);
  spin.SetPos(2);
  spin.UserStep(+1);
  spin.UserStep(+1);
  EXPECT_EQ(spin.GetPos(), 3);
  EXPECT_EQ(d.Text(kSpinEdit), "3");
}

TEST_F(ControlsTest, ListViewsAskForTextsOnDemandAndSortByThemStably) {
  ListViewControl& list = w.ListView(kRows);
  list.InsertColumn(0, {"Title", 200});
  list.InsertColumn(1, {"Length", 60, LVCFMT_RIGHT});
  const struct {
    std::uint64_t data;
    const char* title;
    const char* length;
  } kRowsData[] = {{11, "beta", "3:05"}, {12, "Alpha", "10:00"}, {13, "beta", "0:59"}, {14, "gamma", "1:00"}};
  for (const auto& r : kRowsData) {
    w.rowTexts[r.data] = {r.title, r.length};
    list.InsertItemOnDemand(list.GetItemCount(), r.data);
  }
  list.InsertItem(list.GetItemCount(), "explicit", 2, 15);
  EXPECT_EQ(w.asked, 0);  // nothing is asked until someone reads
  EXPECT_EQ(list.GetItemText(1, 0), "Alpha");
  EXPECT_EQ(list.GetItemText(2, 1), "0:59");
  EXPECT_EQ(list.GetItemImage(2), 13 % 3);
  EXPECT_EQ(list.GetItemText(4, 0), "explicit");
  EXPECT_EQ(list.GetItemText(4, 1), "");
  EXPECT_EQ(list.GetItemImage(4), 2);
  EXPECT_EQ(list.GetItemText(9, 0), "");
  EXPECT_EQ(w.asked, 3);

  // Case-blind by title; equal titles keep their order (stable).
  list.SortItemsEx([&](int a, int b) {
    std::string x = list.GetItemText(a, 0), y = list.GetItemText(b, 0);
    return CompareNoCase(x, y);
  });
  list.SetSortIndicator(0, +1);
  std::vector<std::uint64_t> order;
  for (int i = 0; i < list.GetItemCount(); ++i) order.push_back(list.GetItemData(i));
  EXPECT_EQ(order, (std::vector<std::uint64_t>{12, 11, 13, 15, 14}));
  EXPECT_EQ(list.GetSortColumn(), 0);
  EXPECT_EQ(list.GetSortDirection(), 1);
  list.SortItems([](std::uint64_t a, std::uint64_t b) { return a > b ? -1 : a < b ? 1 : 0; });
  EXPECT_EQ(list.GetItemData(0), 15u);

  EXPECT_EQ(list.GetCellColours(0, 0).second, RGB(230, 230, 255));
  EXPECT_EQ(list.GetCellColours(1, 0).second, CLR_DEFAULT);
}

// Columns keep a display order apart from their indexes: inserted at a slot, moved by a
// person only where headers may be dragged, and renumbered when a column goes.
TEST_F(ControlsTest, ListViewColumnsKeepTheirDisplayOrder) {
  ListViewControl& list = w.ListView(kRows);
  list.InsertColumn(0, {"Name", 300, LVCFMT_LEFT, 1});
  list.InsertColumn(1, {"#", 30, LVCFMT_RIGHT, 0});
  list.InsertColumn(2, {"Size", 80, LVCFMT_RIGHT});
  EXPECT_EQ(list.GetColumnOrderArray(), (std::vector<int>{1, 0, 2}));
  EXPECT_FALSE(list.UserMoveColumn(2, 0));  // headers are not draggable yet
  list.SetExtendedStyle(LVS_EX_HEADERDRAGDROP, LVS_EX_HEADERDRAGDROP);
  EXPECT_TRUE(list.UserMoveColumn(2, 0));
  EXPECT_EQ(list.GetColumnOrderArray(), (std::vector<int>{2, 1, 0}));
  EXPECT_TRUE(list.DeleteColumn(1));
  EXPECT_EQ(list.GetColumnOrderArray(), (std::vector<int>{1, 0}));
  for (const std::vector<int>& bad : {std::vector<int>{0}, std::vector<int>{0, 0}, std::vector<int>{0, 2}}) {
    EXPECT_FALSE(list.SetColumnOrderArray(bad));
  }
  EXPECT_TRUE(list.SetColumnOrderArray({0, 1}));
  EXPECT_TRUE(list.UserResizeColumn(1, 55));
  EXPECT_EQ(list.GetColumn(1).width, 55);
  EXPECT_TRUE(list.UserRightClickHeader());
  EXPECT_EQ(w.heard.back(), "header menu");
}

// Texts the owner marks to be kept are asked once; an automatic width fits the longest.
TEST_F(ControlsTest, ListViewsKeepTextsTheOwnerMarksAndSizeColumnsToThem) {
  ListViewControl& list = w.ListView(kRows);
  list.InsertColumn(0, {"Title", 10});
  w.rowTexts[1] = {"short"};
  w.rowTexts[2] = {"a much longer title"};
  w.keepTexts = true;
  list.InsertItemOnDemand(0, 1);
  list.InsertItemOnDemand(1, 2);
  EXPECT_EQ(list.GetItemText(1, 0), "a much longer title");
  w.rowTexts[2] = {"changed"};
  EXPECT_EQ(list.GetItemText(1, 0), "a much longer title");
  EXPECT_EQ(w.asked, 1);
  ASSERT_TRUE(list.SetColumnWidth(0, LVSCW_AUTOSIZE));
  const int wide = list.GetColumn(0).width;
  EXPECT_GT(wide, list.GetItemText(0, 0).size() * 7);
  list.DeleteItem(1);
  ASSERT_TRUE(list.SetColumnWidth(0, LVSCW_AUTOSIZE));
  EXPECT_LT(list.GetColumn(0).width, wide);
}

TEST_F(ControlsTest, ListViewSelectionChecksDeletionAndReorderDrags) {
  ListViewControl& list = w.ListView(kRows);
  list.InsertColumn(0, {"Name"});
  for (int i = 0; i < 5; ++i) list.InsertItem(i, "row " + std::to_string(i), -1, 100 + static_cast<std::uint64_t>(i));
  ASSERT_TRUE(list.UserClickRow(1));
  ASSERT_TRUE(list.UserClickRow(3, kModShift));
  EXPECT_EQ(list.GetSelectedRows(), (std::vector<int>{1, 2, 3}));
  ASSERT_TRUE(list.UserClickRow(2, kModCtrl));
  EXPECT_EQ(list.GetSelectedRows(), (std::vector<int>{1, 3}));
  EXPECT_EQ(list.GetNextItem(-1, LVNI_FOCUSED), 2);
  EXPECT_EQ(list.GetNextItem(1, LVNI_SELECTED), 3);
  EXPECT_TRUE(list.UserToggleCheck(4));
  EXPECT_TRUE(list.GetCheck(4));

  w.heard.clear();
  ASSERT_TRUE(list.UserBeginDrag(0));  // the window asks for a reorder drag
  EXPECT_EQ(list.GetReorderSource(), 0);
  EXPECT_EQ(list.GetItemState(0, LVIS_DROPHILITED), LVIS_DROPHILITED);
  list.UserReorderOver(3);
  EXPECT_EQ(list.GetInsertMark(), 3);
  list.UserReorderDrop(3);
  EXPECT_EQ(list.GetReorderSource(), -1);
  EXPECT_EQ(list.GetInsertMark(), -1);
  EXPECT_EQ(list.GetItemState(0, LVIS_DROPHILITED), 0u);
  EXPECT_EQ(w.heard, (std::vector<std::string>{"drop 0>3"}));

  w.heard.clear();
  list.DeleteItem(1);
  list.DeleteAllItems();
  EXPECT_EQ(w.heard, (std::vector<std::string>{"delete 101", "delete 100", "delete 102", "delete 103", "delete 104"}));
  EXPECT_EQ(list.GetItemCount(), 0);
}

TEST_F(ControlsTest, TreeSelectionGoesThroughItsWindowWhichCanRefuseIt) {
  TreeViewControl& tree = w.Tree(kTree);
  HTREEITEM jukebox = tree.InsertItem("Jukebox");
  HTREEITEM tags = tree.InsertItem("Tag Handling", jukebox);
  HTREEITEM brev = tree.InsertItem("Brevlink", jukebox);
  HTREEITEM first = tree.InsertItem("General", TVI_ROOT, TVI_FIRST);
  EXPECT_EQ(tree.InsertItem("orphan", 999), 0u);
  EXPECT_EQ(tree.InsertItem("after nothing", TVI_ROOT, 999), 0u);
  EXPECT_EQ(tree.GetRootItem(), first);
  EXPECT_EQ(tree.GetNextSiblingItem(first), jukebox);
  EXPECT_EQ(tree.GetChildren(jukebox), (std::vector<HTREEITEM>{tags, brev}));
  EXPECT_EQ(tree.FindByPath("Jukebox/Brevlink"), brev);

  w.heard.clear();
  ASSERT_TRUE(tree.SelectItem(first));
  w.refuse = tags;
  d.SelectTreeItem(kTree, "Jukebox/Tag Handling");
  EXPECT_EQ(tree.GetSelectedItem(), first);
  EXPECT_FALSE(tree.SelectItem(tags));
  const std::string f = std::to_string(first), t = std::to_string(tags);
  EXPECT_EQ(w.heard, (std::vector<std::string>{"changing 0>" + f, "changed " + f, "changing " + f + ">" + t,
                                               "changing " + f + ">" + t}));
  w.refuse = 0;
  EXPECT_TRUE(tree.SelectItem(tags));
  d.SelectTreeItem(kTree, "Jukebox");
  EXPECT_TRUE(tree.UserKey(VK_RIGHT));
  EXPECT_TRUE(tree.IsExpanded(jukebox));
  EXPECT_TRUE(tree.UserKey(VK_DOWN));
  EXPECT_EQ(tree.GetSelectedItem(), tags);
  EXPECT_TRUE(tree.DeleteItem(jukebox));
  EXPECT_EQ(tree.GetSelectedItem(), 0u);  // the selection went with its item
  EXPECT_FALSE(tree.Exists(tags));
  EXPECT_EQ(tree.GetCount(), 1);
}

TEST_F(ControlsTest, ToolbarsRunCommandsAndAskForTooltips) {
  ToolbarControl& tools = w.Toolbar(kTools);
  tools.AddButton({.command = 2601, .label = "Play", .image = 2, .tooltip = "Play"});
  tools.AddButton({.separator = true});
  tools.AddButton({.command = 2606, .label = "Mute", .checkable = true});
  tools.AddButton({.command = 2604, .label = "Pause", .enabled = false});
  EXPECT_EQ(tools.GetTooltip(2601), "Play");
  EXPECT_EQ(tools.GetTooltip(2606), "Tip 2606");
  d.ClickToolbar(kTools, 2606);
  EXPECT_TRUE(tools.GetButton(2).checked);
  EXPECT_NONFATAL_FAILURE(d.ClickToolbar(kTools, 2604), "cannot click button 2604");
  EXPECT_EQ(w.heard, (std::vector<std::string>{"command 2606/0"}));
  StatusBarControl& status = w.StatusBar(kStatus);
  status.SetParts({300, 200, -1});
  EXPECT_TRUE(status.SetPartText(2, "12 items"));
  EXPECT_FALSE(status.SetPartText(3, "none"));
  EXPECT_EQ(status.GetPartText(2), "12 items");
}

}  // namespace
}  // namespace platform
