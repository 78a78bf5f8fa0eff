#include "platform/ui/dialog_driver.h"

#include <gtest/gtest.h>

#include "platform/window/wait.h"

namespace platform {

namespace {

std::string Where(const UiWindow& w, int id) {
  return "window " + std::to_string(w.GetTemplateId()) + " \"" + w.GetWindowText() + "\", control " +
         std::to_string(id);
}

bool WindowShown(const UiWindow& w) {
  for (const UiWindow* p = &w; p != nullptr; p = p->GetParentWindow()) {
    if (!p->IsWindowVisible() || !p->IsWindowEnabled()) return false;
  }
  return true;
}

}  // namespace

Control* DialogDriver::Usable(int id, const char* action) const {
  Control* c = window_.GetDlgItem(id);
  if (c == nullptr) {
    ADD_FAILURE() << "cannot " << action << ": " << Where(window_, id) << " does not exist";
    return nullptr;
  }
  if (!WindowShown(window_)) {
    ADD_FAILURE() << "cannot " << action << ": " << Where(window_, id) << " is in a window that is not shown";
    return nullptr;
  }
  if (!c->CanUse()) {
    ADD_FAILURE() << "cannot " << action << ": " << Where(window_, id) << " (" << c->Name() << ") is "
                  << (c->IsEnabled() ? "hidden" : "disabled");
    return nullptr;
  }
  return c;
}

std::string DialogDriver::Text(int id) const { return window_.GetDlgItemText(id); }

int DialogDriver::Check(int id) const { return window_.IsDlgButtonChecked(id); }

bool DialogDriver::Enabled(int id) const {
  const Control* c = window_.GetDlgItem(id);
  return c != nullptr && c->IsEnabled();
}

bool DialogDriver::Visible(int id) const {
  const Control* c = window_.GetDlgItem(id);
  return c != nullptr && c->IsVisible();
}

int DialogDriver::Selection(int id) const {
  Control* c = window_.GetDlgItem(id);
  if (auto* l = dynamic_cast<ListControl*>(c)) return l->GetCurSel();
  if (auto* s = dynamic_cast<SliderControl*>(c)) return s->GetPos();
  if (auto* p = dynamic_cast<ProgressControl*>(c)) return p->GetPos();
  if (auto* s = dynamic_cast<SpinControl*>(c)) return s->GetPos();
  if (auto* t = dynamic_cast<TabsControl*>(c)) return t->GetCurSel();
  return -1;
}

std::vector<std::string> DialogDriver::Items(int id) const {
  std::vector<std::string> out;
  if (auto* l = dynamic_cast<ListControl*>(window_.GetDlgItem(id))) {
    for (int i = 0; i < l->GetCount(); ++i) out.push_back(l->GetItemText(i));
  }
  return out;
}

bool DialogDriver::Ended() const {
  auto* d = dynamic_cast<Dialog*>(&window_);
  return d != nullptr && ((d->IsModal() && d->IsEnded()) || (!d->IsModal() && !d->IsOpen()));
}

int DialogDriver::Result() const {
  auto* d = dynamic_cast<Dialog*>(&window_);
  return d != nullptr ? d->GetModalResult() : 0;
}

DialogDriver& DialogDriver::Type(int id, const std::string& text) {
  Control* c = Usable(id, "type into");
  if (c == nullptr) return *this;
  bool ok = false;
  if (auto* e = dynamic_cast<EditControl*>(c)) {
    ok = e->UserType(text);
  } else if (auto* l = dynamic_cast<ListControl*>(c)) {
    ok = l->UserType(text);
  }
  if (!ok) ADD_FAILURE() << "cannot type \"" << text << "\" into " << Where(window_, id);
  return *this;
}

DialogDriver& DialogDriver::Click(int id) {
  Control* c = Usable(id, "click");
  if (c == nullptr) return *this;
  bool ok = false;
  if (auto* b = dynamic_cast<ButtonControl*>(c)) {
    ok = b->UserClick();
  } else if (auto* l = dynamic_cast<LinkControl*>(c)) {
    ok = l->UserClick();
  }
  if (!ok) ADD_FAILURE() << "cannot click " << Where(window_, id);
  return *this;
}

DialogDriver& DialogDriver::Select(int id, int index) {
  Control* c = Usable(id, "select in");
  if (c == nullptr) return *this;
  bool ok = false;
  if (auto* l = dynamic_cast<ListControl*>(c)) ok = l->UserSelect(index);
  if (!ok) ADD_FAILURE() << "cannot select item " << index << " of " << Where(window_, id);
  return *this;
}

DialogDriver& DialogDriver::Select(int id, const std::string& itemText) {
  auto* l = dynamic_cast<ListControl*>(window_.GetDlgItem(id));
  int index = l != nullptr ? l->FindStringExact(-1, itemText) : -1;
  if (index < 0) {
    ADD_FAILURE() << "no item \"" << itemText << "\" in " << Where(window_, id);
    return *this;
  }
  return Select(id, index);
}

DialogDriver& DialogDriver::SelectRows(int id, const std::vector<int>& rows) {
  auto* l = dynamic_cast<ListViewControl*>(Usable(id, "select rows of"));
  if (l != nullptr && !l->UserSelectRows(rows)) ADD_FAILURE() << "cannot select those rows of " << Where(window_, id);
  return *this;
}

DialogDriver& DialogDriver::ActivateRow(int id, int row) {
  auto* l = dynamic_cast<ListViewControl*>(Usable(id, "activate a row of"));
  if (l != nullptr && !(l->UserClickRow(row) && l->UserActivate(row))) {
    ADD_FAILURE() << "cannot activate row " << row << " of " << Where(window_, id);
  }
  return *this;
}

DialogDriver& DialogDriver::ClickColumn(int id, int column) {
  auto* l = dynamic_cast<ListViewControl*>(Usable(id, "click a column of"));
  if (l != nullptr && !l->UserClickColumn(column)) {
    ADD_FAILURE() << "cannot click column " << column << " of " << Where(window_, id);
  }
  return *this;
}

DialogDriver& DialogDriver::SelectTreeItem(int id, const std::string& path) {
  auto* t = dynamic_cast<TreeViewControl*>(Usable(id, "select in"));
  if (t == nullptr) return *this;
  HTREEITEM item = t->FindByPath(path);
  if (item == 0 || !t->UserSelect(item)) ADD_FAILURE() << "no tree item \"" << path << "\" in " << Where(window_, id);
  return *this;
}

DialogDriver& DialogDriver::DragSlider(int id, int to) {
  auto* s = dynamic_cast<SliderControl*>(Usable(id, "drag"));
  if (s == nullptr) return *this;
  int pos = s->GetPos();
  const int step = to >= pos ? 1 : -1;
  while (pos != to) {
    pos += step;
    s->UserDrag(pos);
    if (s->GetPos() != pos) break;  // the end of the range
  }
  s->UserRelease();
  return *this;
}

DialogDriver& DialogDriver::SliderKey(int id, UINT key) {
  auto* s = dynamic_cast<SliderControl*>(Usable(id, "press a key on"));
  if (s != nullptr) s->UserKey(key);
  return *this;
}

DialogDriver& DialogDriver::ClickToolbar(int id, int command) {
  auto* t = dynamic_cast<ToolbarControl*>(Usable(id, "click a button of"));
  if (t != nullptr && !t->UserClick(command)) {
    ADD_FAILURE() << "cannot click button " << command << " of " << Where(window_, id);
  }
  return *this;
}

DialogDriver& DialogDriver::ClickLink(int id) { return Click(id); }

DialogDriver& DialogDriver::Key(UINT key, UINT modifiers) {
  if (!WindowShown(window_)) {
    ADD_FAILURE() << "cannot press a key in window " << window_.GetTemplateId() << ": it is not shown";
    return *this;
  }
  window_.UserKey(key, modifiers);
  return *this;
}

DialogDriver& DialogDriver::Close() {
  window_.UserClose();
  return *this;
}

DialogDriver& DialogDriver::Pump() {
  PumpMessages(0);
  return *this;
}

DialogDriver DialogDriver::Page() const {
  auto* sheet = dynamic_cast<PropertySheet*>(&window_);
  PropertyPage* page = sheet != nullptr ? sheet->GetShownPage() : nullptr;
  if (page == nullptr) {
    ADD_FAILURE() << "window \"" << window_.GetWindowText() << "\" shows no property page";
    return DialogDriver(window_);
  }
  return DialogDriver(*page);
}

DialogDriver& DialogDriver::SelectTab(int index) {
  auto* t = dynamic_cast<TabsControl*>(Usable(kSheetTabsId, "pick a tab of"));
  if (t != nullptr && !t->UserSelect(index)) ADD_FAILURE() << "no tab " << index;
  return *this;
}

}  // namespace platform
