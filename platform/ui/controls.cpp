#include "platform/ui/controls.h"

#include <algorithm>

#include "platform/text/text.h"

namespace platform {

// ---- Control ----

Control::Control(ControlOwner* owner, const ControlTemplate& t)
    : text_(t.text),
      owner_(owner),
      tmpl_(t),
      enabled_(!t.Has(kStyleDisabled)),
      visible_(!t.Has(kStyleHidden)) {}

std::string Control::Name() const {
  if (!tmpl_.label.empty()) return tmpl_.label;
  std::string name = CleanLabel(text_);
  return name.empty() ? std::string(ControlKindName(kind())) + " " + std::to_string(id()) : name;
}

void Control::SetText(std::string text) {
  if (text == text_) return;
  text_ = std::move(text);
  Changed(ControlAspect::Text);
}

void Control::Enable(bool enabled) {
  if (enabled == enabled_) return;
  enabled_ = enabled;
  Changed(ControlAspect::Enabled);
}

void Control::Show(bool visible) {
  if (visible == visible_) return;
  visible_ = visible;
  Changed(ControlAspect::Visible);
}

void Control::Changed(ControlAspect what) {
  if (owner_ != nullptr) owner_->ControlChanged(*this, what);
}

void Control::Command(int code) {
  if (owner_ != nullptr) owner_->ControlCommand(id(), code);
}

LRESULT Control::Notify(Notification& n) {
  n.id = id();
  n.from = this;
  return owner_ != nullptr ? owner_->ControlNotify(n) : 0;
}

LRESULT Control::Notify(NotifyCode code, int item, std::uint64_t data) {
  Notification n;
  n.code = code;
  n.item = item;
  n.data = data;
  return Notify(n);
}

// ---- Picture ----

void PictureControl::SetIcon(std::string name) {
  if (name == icon_) return;
  icon_ = std::move(name);
  Changed(ControlAspect::Image);
}

// ---- Edit ----

EditControl::EditControl(ControlOwner* owner, const ControlTemplate& t)
    : Control(owner, t), readOnly_(t.Has(kStyleReadOnly)) {}

void EditControl::SetReadOnly(bool readOnly) {
  if (readOnly == readOnly_) return;
  readOnly_ = readOnly;
  Changed(ControlAspect::Style);
}

bool EditControl::UserType(std::string text) {
  if (!CanUse() || readOnly_) return false;
  if (tmpl().Has(kStyleNumber) && !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    return false;
  }
  if (!tmpl().Has(kStyleMultiLine)) {
    text.erase(std::remove_if(text.begin(), text.end(), [](char c) { return c == '\r' || c == '\n'; }), text.end());
  }
  if (limit_ != 0 && text.size() > limit_) text.resize(Utf8PrefixLength(text, limit_));
  text_ = std::move(text);
  Changed(ControlAspect::Text);
  Command(EN_CHANGE);
  return true;
}

// ---- Buttons ----

void ButtonControl::SetCheck(int state) {
  state = std::clamp(state, 0, 2);
  if (state == check_) return;
  check_ = state;
  Changed(ControlAspect::Check);
}

bool ButtonControl::UserClick() {
  if (!CanUse()) return false;
  switch (kind()) {
    case ControlKind::CheckBox:
      SetCheck(tmpl().Has(kStyleThreeState) ? (check_ + 1) % 3 : (check_ == 0 ? 1 : 0));
      break;
    case ControlKind::RadioButton:
      SetCheck(1);
      if (owner() != nullptr) owner()->RadioChecked(*this);
      break;
    default:
      break;
  }
  Command(BN_CLICKED);
  return true;
}

// ---- Combo and list boxes ----

int ListControl::AddString(std::string text) {
  int at = GetCount();
  if (tmpl().Has(kStyleSorted)) {
    auto it = std::upper_bound(list_.items.begin(), list_.items.end(), text,
                               [](const std::string& t, const Item& i) { return CompareNoCase(t, i.text) < 0; });
    at = static_cast<int>(it - list_.items.begin());
  }
  return InsertString(at, std::move(text));
}

int ListControl::InsertString(int index, std::string text) {
  if (index == -1) index = GetCount();
  if (!list_.Insert(index, Item{std::move(text)})) return -1;
  Changed(ControlAspect::Items);
  return index;
}

bool ListControl::DeleteString(int index) {
  if (!list_.Erase(index)) return false;
  Changed(ControlAspect::Items);
  return true;
}

void ListControl::ResetContent() {
  list_.Clear();
  if (IsCombo() && tmpl().Has(kStyleDropDownList)) text_.clear();
  Changed(ControlAspect::Items);
}

std::string ListControl::GetItemText(int index) const {
  return list_.Valid(index) ? list_.items[static_cast<std::size_t>(index)].text : std::string();
}

bool ListControl::SetItemData(int index, std::uint64_t data) {
  if (!list_.Valid(index)) return false;
  list_.items[static_cast<std::size_t>(index)].data = data;
  return true;
}

std::uint64_t ListControl::GetItemData(int index) const {
  return list_.Valid(index) ? list_.items[static_cast<std::size_t>(index)].data : 0;
}

int ListControl::FindStringExact(int start, const std::string& text) const {
  const int n = GetCount();
  if (n == 0) return -1;
  int first = (start < 0 || start >= n) ? 0 : start + 1;
  for (int k = 0; k < n; ++k) {
    int i = (first + k) % n;
    if (EqualsNoCase(list_.items[static_cast<std::size_t>(i)].text, text)) return i;
  }
  return -1;
}

bool ListControl::SetCurSel(int index) {
  bool ok = index >= -1 && index < GetCount();
  int now = ok ? index : -1;
  if (IsCombo() && now >= 0) {
    text_ = list_.items[static_cast<std::size_t>(now)].text;
  } else if (IsCombo() && tmpl().Has(kStyleDropDownList)) {
    text_.clear();
  }
  if (now != list_.current) {
    list_.current = now;
    Changed(ControlAspect::Selection);
  }
  return ok && index != -1;
}

int ListControl::SelectString(const std::string& text) {
  int i = FindStringExact(-1, text);
  if (i >= 0) SetCurSel(i);
  return i;
}

std::vector<int> ListControl::GetSelItems() const {
  std::vector<int> out;
  for (int i = 0; i < GetCount(); ++i) {
    if (list_.items[static_cast<std::size_t>(i)].selected) out.push_back(i);
  }
  return out;
}

bool ListControl::SetSel(int index, bool selected) {
  if (!tmpl().Has(kStyleMultiSelect)) return SetCurSel(selected ? index : -1);
  if (index == -1) {
    for (auto& item : list_.items) item.selected = selected;
  } else if (list_.Valid(index)) {
    list_.items[static_cast<std::size_t>(index)].selected = selected;
  } else {
    return false;
  }
  Changed(ControlAspect::Selection);
  return true;
}

void ListControl::SetText(std::string text) {
  if (IsCombo() && tmpl().Has(kStyleDropDownList)) {
    SelectString(text);  // a drop-down list shows one of its items
    return;
  }
  Control::SetText(std::move(text));
}

bool ListControl::UserSelect(int index) {
  if (!CanUse() || !list_.Valid(index)) return false;
  if (!IsCombo() && tmpl().Has(kStyleMultiSelect)) {
    Item& item = list_.items[static_cast<std::size_t>(index)];
    item.selected = !item.selected;
    list_.current = index;
    Changed(ControlAspect::Selection);
  } else {
    SetCurSel(index);
    if (IsCombo()) Changed(ControlAspect::Text);
  }
  Command(IsCombo() ? CBN_SELCHANGE : LBN_SELCHANGE);
  return true;
}

bool ListControl::UserType(std::string text) {
  if (!CanUse() || !IsCombo() || tmpl().Has(kStyleDropDownList)) return false;
  text_ = std::move(text);
  if (list_.current != -1) {
    list_.current = -1;
    Changed(ControlAspect::Selection);
  }
  Changed(ControlAspect::Text);
  Command(CBN_EDITCHANGE);
  return true;
}

bool ListControl::UserDoubleClick(int index) {
  if (!UserSelect(index)) return false;
  Command(IsCombo() ? CBN_DBLCLK : LBN_DBLCLK);
  return true;
}

// ---- Ranges ----

void RangeControl::PutRange(int min, int max, bool keepOrder) {
  if (max < min && !keepOrder) std::swap(min, max);
  min_ = min;
  max_ = max;
  pos_ = std::clamp(pos_, std::min(min_, max_), std::max(min_, max_));
  Changed(ControlAspect::Range);
}

void RangeControl::SetPos(int pos) {
  pos = std::clamp(pos, std::min(min_, max_), std::max(min_, max_));
  if (pos == pos_) return;
  pos_ = pos;
  Changed(ControlAspect::Position);
}

// ---- Slider ----

void SliderControl::NotifyScroll(int action) {
  Notification n;
  n.code = NotifyCode::Scroll;
  n.action = action;
  n.pos = pos_;
  Notify(n);
}

bool SliderControl::UserDrag(int pos) {
  if (!CanUse()) return false;
  SetPos(pos);
  NotifyScroll(kScrollThumbTrack);
  return true;
}

bool SliderControl::UserRelease() {
  if (!CanUse()) return false;
  NotifyScroll(kScrollThumbPosition);
  NotifyScroll(kScrollEnd);
  Notify(NotifyCode::ReleasedCapture, pos_);
  return true;
}

bool SliderControl::UserKey(UINT key) {
  if (!CanUse()) return false;
  int action = -1;
  int to = pos_;
  switch (key) {
    case VK_LEFT:
    case VK_UP:
      action = kScrollLineUp;
      to = pos_ - 1;
      break;
    case VK_RIGHT:
    case VK_DOWN:
      action = kScrollLineDown;
      to = pos_ + 1;
      break;
    case VK_PRIOR:
      action = kScrollPageUp;
      to = pos_ - page_;
      break;
    case VK_NEXT:
      action = kScrollPageDown;
      to = pos_ + page_;
      break;
    case VK_HOME:
      action = kScrollTop;
      to = min_;
      break;
    case VK_END:
      action = kScrollBottom;
      to = max_;
      break;
    default:
      break;
  }
  if (action >= 0) {
    SetPos(to);
    NotifyScroll(action);
    NotifyScroll(kScrollEnd);
  }
  Notification k;
  k.code = NotifyCode::KeyDown;
  k.key = key;
  k.pos = pos_;
  Notify(k);
  return true;
}

// ---- Progress bar ----

void ProgressControl::StepIt() {
  if (max_ <= min_) {
    pos_ = min_;
  } else {
    long long next = static_cast<long long>(pos_) + step_;
    const long long span = static_cast<long long>(max_) - min_;
    if (next > max_) next = min_ + (next - max_ - 1) % span + 1;
    if (next < min_) next = min_;
    pos_ = static_cast<int>(next);
  }
  Changed(ControlAspect::Position);
}

// ---- Spin ----

bool SpinControl::UserStep(int delta) {
  if (!CanUse()) return false;
  // A range written high to low runs the arrows the other way, as the desktop's does.
  if (max_ < min_) delta = -delta;
  Notification n;
  n.code = NotifyCode::DeltaPos;
  n.pos = pos_;
  n.delta = delta;
  if (Notify(n) != 0) return true;
  SetPos(pos_ + delta);
  if (tmpl().buddy != 0 && owner() != nullptr) {
    if (Control* buddy = owner()->FindControl(tmpl().buddy)) buddy->SetText(std::to_string(pos_));
  }
  return true;
}

// ---- Link ----

bool LinkControl::UserClick() {
  if (!CanUse()) return false;
  Notification n;
  n.code = NotifyCode::LinkClick;
  n.text = GetTarget();
  Notify(n);
  return true;
}

// ---- Tabs ----

int TabsControl::InsertItem(int index, Tab tab) {
  if (index < 0 || index > GetItemCount()) index = GetItemCount();
  tabs_.Insert(index, std::move(tab));
  Changed(ControlAspect::Items);
  return index;
}

bool TabsControl::DeleteItem(int index) {
  if (!tabs_.Erase(index)) return false;
  Changed(ControlAspect::Items);
  return true;
}

void TabsControl::DeleteAllItems() {
  tabs_.Clear();
  Changed(ControlAspect::Items);
}

const TabsControl::Tab* TabsControl::GetItem(int index) const {
  return tabs_.Valid(index) ? &tabs_.items[static_cast<std::size_t>(index)] : nullptr;
}

void TabsControl::SetCurSel(int index) {
  if (!tabs_.Valid(index)) index = -1;
  if (index == tabs_.current) return;
  tabs_.current = index;
  Changed(ControlAspect::Selection);
}

bool TabsControl::UserSelect(int index) {
  if (!CanUse() || GetItem(index) == nullptr) return false;
  if (Notify(NotifyCode::SelChanging, index) != 0) return true;
  SetCurSel(index);
  Notify(NotifyCode::SelChanged, index);
  return true;
}

// ---- Page area ----

void PageAreaControl::SetTopInset(int pixels) {
  if (pixels == topInset_) return;
  topInset_ = pixels;
  Changed(ControlAspect::Style);
}

// ---- Toolbar ----

void ToolbarControl::SetImageList(const ImageList* images) {
  images_ = images;
  Changed(ControlAspect::Buttons);
}

void ToolbarControl::InsertButton(int index, ToolButton button) {
  if (button.separator) button.command = 0;
  if (index < 0 || index > GetButtonCount()) index = GetButtonCount();
  buttons_.insert(buttons_.begin() + index, std::move(button));
  Changed(ControlAspect::Buttons);
}

bool ToolbarControl::DeleteButton(int index) {
  if (index < 0 || index >= GetButtonCount()) return false;
  buttons_.erase(buttons_.begin() + index);
  Changed(ControlAspect::Buttons);
  return true;
}

int ToolbarControl::CommandToIndex(int command) const {
  for (int i = 0; i < GetButtonCount(); ++i) {
    const ToolButton& b = buttons_[static_cast<std::size_t>(i)];
    if (!b.separator && b.command == command) return i;
  }
  return -1;
}

bool ToolbarControl::ChangeButton(int command, const std::function<void(ToolButton&)>& change) {
  int i = CommandToIndex(command);
  if (i < 0) return false;
  change(buttons_[static_cast<std::size_t>(i)]);
  Changed(ControlAspect::Buttons);
  return true;
}

bool ToolbarControl::EnableButton(int command, bool enabled) {
  return ChangeButton(command, [&](ToolButton& b) { b.enabled = enabled; });
}

bool ToolbarControl::CheckButton(int command, bool checked) {
  return ChangeButton(command, [&](ToolButton& b) { b.checked = checked; });
}

bool ToolbarControl::HideButton(int command, bool hidden) {
  return ChangeButton(command, [&](ToolButton& b) { b.hidden = hidden; });
}

bool ToolbarControl::SetButtonText(int command, std::string label) {
  return ChangeButton(command, [&](ToolButton& b) { b.label = std::move(label); });
}

std::string ToolbarControl::GetTooltip(int command) {
  int i = CommandToIndex(command);
  if (i >= 0 && !buttons_[static_cast<std::size_t>(i)].tooltip.empty()) {
    return buttons_[static_cast<std::size_t>(i)].tooltip;
  }
  Notification n;
  n.code = NotifyCode::GetTooltip;
  n.item = command;
  Notify(n);
  return n.text;
}

bool ToolbarControl::UserClick(int command) {
  int i = CommandToIndex(command);
  if (!CanUse() || i < 0) return false;
  ToolButton& b = buttons_[static_cast<std::size_t>(i)];
  if (!b.enabled || b.hidden) return false;
  if (b.checkable) {
    b.checked = !b.checked;
    Changed(ControlAspect::Buttons);
  }
  if (owner() != nullptr) owner()->ControlCommand(command, BN_CLICKED);
  return true;
}

// ---- Status bar ----

void StatusBarControl::SetParts(std::vector<int> rightEdges) {
  parts_ = std::move(rightEdges);
  texts_.resize(std::max<std::size_t>(1, parts_.size()));
  Changed(ControlAspect::Parts);
}

bool StatusBarControl::SetPartText(int part, std::string text) {
  if (part < 0 || static_cast<std::size_t>(part) >= texts_.size()) return false;
  if (texts_[static_cast<std::size_t>(part)] == text) return true;
  texts_[static_cast<std::size_t>(part)] = std::move(text);
  Changed(ControlAspect::Text);
  return true;
}

std::string StatusBarControl::GetPartText(int part) const {
  return part >= 0 && static_cast<std::size_t>(part) < texts_.size() ? texts_[static_cast<std::size_t>(part)]
                                                                      : std::string();
}

}  // namespace platform
