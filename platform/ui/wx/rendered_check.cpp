// Checks of a rendered window against its model; no toolkit here.
#include <algorithm>
#include <string>
#include <vector>

#include "platform/ui/list_view.h"
#include "platform/ui/property_sheet.h"
#include "platform/ui/tree_view.h"
#include "platform/ui/wx/wx_host.h"

namespace platform {

namespace {

std::string Words(const std::string& text) {
  std::string out;
  for (char ch : text) {
    const bool blank = ch == ' ' || ch == '\n' || ch == '\t';
    if (blank && (out.empty() || out.back() == ' ')) continue;
    out += blank ? ' ' : ch;
  }
  while (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

}  // namespace

std::vector<std::string> CompareWithModel(UiWindow& window, const std::vector<RenderedControl>& rendered) {
  std::vector<std::string> faults;
  std::vector<UiWindow*> windows = {&window};
  if (auto* sheet = dynamic_cast<PropertySheet*>(&window); sheet != nullptr && sheet->GetShownPage()) {
    windows.push_back(sheet->GetShownPage());
  }
  std::size_t next = 0;
  for (UiWindow* w : windows) {
    for (const auto& owned : w->Controls()) {
      Control& c = *owned;
      if (c.kind() == ControlKind::PageArea) continue;  // the sheet's page is inside it
      const std::string name = "control " + std::to_string(c.id()) + " (" + ControlKindName(c.kind()) +
                               " \"" + c.GetText() + "\")";
      // Controls are rendered in template order; statics are matched by that order too.
      const RenderedControl* r = nullptr;
      for (std::size_t i = next; i < rendered.size(); ++i) {
        if (rendered[i].id == c.id() && rendered[i].kind == c.kind()) {
          r = &rendered[i];
          next = i + 1;
          break;
        }
      }
      if (r == nullptr) {
        faults.push_back(name + " is not rendered");
        continue;
      }
      auto expect = [&](bool ok, const std::string& what) {
        if (!ok) faults.push_back(name + ": " + what);
      };
      expect(r->enabled == c.IsEnabled(), "enabled state differs");
      if (c.kind() != ControlKind::Tabs) expect(r->shown == c.IsVisible(), "visibility differs");
      using K = ControlKind;
      switch (c.kind()) {
        case K::Label:
        case K::Edit:
        case K::PushButton:
        case K::CheckBox:
        case K::RadioButton:
          // Labels may be wrapped on screen: line breaks count as blanks.
          expect(Words(r->text) == Words(CleanLabel(c.GetText())) || Words(r->text) == Words(c.GetText()),
                 "text \"" + r->text + "\" is not \"" + c.GetText() + "\"");
          if (c.kind() == K::CheckBox || c.kind() == K::RadioButton) {
            expect(r->check == static_cast<ButtonControl&>(c).GetCheck(), "check state differs");
          }
          break;
        case K::ComboBox:
        case K::ListBox: {
          auto& list = static_cast<ListControl&>(c);
          std::vector<std::string> items;
          for (int i = 0; i < list.GetCount(); ++i) items.push_back(list.GetItemText(i));
          expect(r->items == items, "items differ");
          expect(r->selection == list.GetCurSel(), "selection differs");
          break;
        }
        case K::Slider:
        case K::Spin: {
          auto& range = static_cast<RangeControl&>(c);
          expect(r->position == range.GetPos(), "position " + std::to_string(r->position) + " is not " +
                                                    std::to_string(range.GetPos()));
          expect(r->rangeMin == std::min(range.GetRangeMin(), range.GetRangeMax()) &&
                     r->rangeMax == std::max(range.GetRangeMin(), range.GetRangeMax()),
                 "range differs");
          break;
        }
        case K::ProgressBar: {
          auto& bar = static_cast<ProgressControl&>(c);
          expect(r->position == bar.GetPos() - bar.GetRangeMin(), "position differs");
          expect(r->rangeMax == std::max(1, bar.GetRangeMax() - bar.GetRangeMin()), "range differs");
          break;
        }
        case K::TreeView: {
          auto& tree = static_cast<TreeViewControl&>(c);
          expect(static_cast<int>(r->items.size()) == tree.GetCount(), "item count differs");
          if (tree.GetSelectedItem() != 0) {
            std::string path = tree.GetItemText(tree.GetSelectedItem());
            for (auto p = tree.GetParentItem(tree.GetSelectedItem()); p != 0; p = tree.GetParentItem(p)) {
              path = tree.GetItemText(p) + "/" + path;
            }
            expect(r->text == path, "selected item \"" + r->text + "\" is not \"" + path + "\"");
          }
          break;
        }
        case K::ListView: {
          auto& lv = static_cast<ListViewControl&>(c);
          expect(static_cast<int>(r->items.size()) == lv.GetItemCount(), "row count differs");
          for (int i = 0; i < lv.GetItemCount() && i < static_cast<int>(r->items.size()); ++i) {
            expect(r->items[static_cast<std::size_t>(i)] == lv.GetItemText(i, 0), "row " + std::to_string(i) + " differs");
          }
          expect(r->mode == lv.GetView(), "the list's mode differs");
          expect(r->selectedRows == lv.GetSelectedRows(), "the selected rows differ");
          if (lv.GetView() == ListViewMode::Report) {
            std::vector<std::string> titles;
            for (int column : lv.GetColumnOrderArray()) titles.push_back(lv.GetColumn(column).title);
            expect(r->columns == titles, "the header's columns differ");
            const std::vector<int> order = lv.GetColumnOrderArray();
            const auto slot = std::find(order.begin(), order.end(), lv.GetSortColumn());
            const int sortSlot = lv.GetSortDirection() != 0 && slot != order.end() ? static_cast<int>(slot - order.begin()) : -1;
            expect(r->sortSlot == sortSlot, "the sort arrow is on column " + std::to_string(r->sortSlot) + ", not " +
                                                std::to_string(sortSlot));
            if (sortSlot >= 0) expect(r->sortAscending == (lv.GetSortDirection() > 0), "the sort arrow points the other way");
            expect(r->gridLines == ((lv.GetExtendedStyle() & LVS_EX_GRIDLINES) != 0), "grid lines differ");
          }
          break;
        }
        case K::Tabs: {
          auto& tabs = static_cast<TabsControl&>(c);
          if (!tabs.IsVisible()) break;
          std::vector<std::string> items;
          for (int i = 0; i < tabs.GetItemCount(); ++i) items.push_back(tabs.GetItem(i)->text);
          expect(r->items == items, "tabs differ");
          expect(r->selection == tabs.GetCurSel(), "selected tab differs");
          break;
        }
        default:
          break;
      }
    }
  }
  // Shown controls lie side by side, never on top of one another (a page that was never
  // laid out piles its controls in a corner). Containers hold others.
  std::vector<const RenderedControl*> placed;
  for (const RenderedControl& r : rendered) {
    if (!r.shown || r.width <= 0 || r.height <= 0 || r.kind == ControlKind::Tabs || r.kind == ControlKind::PageArea) {
      continue;
    }
    for (const RenderedControl* other : placed) {
      const bool apart = r.left >= other->left + other->width || other->left >= r.left + r.width ||
                         r.top >= other->top + other->height || other->top >= r.top + r.height;
      if (!apart) {
        faults.push_back("control " + std::to_string(r.id) + " (" + ControlKindName(r.kind) + ") lies over control " +
                         std::to_string(other->id) + " (" + ControlKindName(other->kind) + ")");
      }
    }
    placed.push_back(&r);
  }
  return faults;
}


}  // namespace platform
