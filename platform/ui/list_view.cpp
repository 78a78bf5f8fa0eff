#include "platform/ui/list_view.h"

#include <algorithm>
#include <numeric>

namespace platform {

ListViewControl::ListViewControl(ControlOwner* owner, const ControlTemplate& t)
    : Control(owner, t), mode_(t.mode), exStyle_(t.Has(kStyleCheckBoxes) ? LVS_EX_CHECKBOXES : 0) {}

void ListViewControl::Changed(ControlAspect what) {
  if (redrawOff_ == 0) {
    Control::Changed(what);
  } else if (std::find(heldBack_.begin(), heldBack_.end(), what) == heldBack_.end()) {
    heldBack_.push_back(what);
  }
}

void ListViewControl::SetRedraw(bool on) {
  if (!on) {
    ++redrawOff_;
    return;
  }
  if (redrawOff_ == 0 || --redrawOff_ > 0) return;
  std::vector<ControlAspect> held;
  held.swap(heldBack_);
  // Columns before rows, rows before their states and the place shown.
  std::sort(held.begin(), held.end(), [](ControlAspect a, ControlAspect b) {
    auto rank = [](ControlAspect x) {
      switch (x) {
        case ControlAspect::Style: return 0;
        case ControlAspect::Columns: return 1;
        case ControlAspect::Rows: return 2;
        case ControlAspect::RowState: return 3;
        case ControlAspect::Position: return 5;
        default: return 4;
      }
    };
    return rank(a) < rank(b);
  });
  for (ControlAspect what : held) Control::Changed(what);
}

void ListViewControl::SetView(ListViewMode mode) {
  if (mode == mode_) return;
  mode_ = mode;
  Changed(ControlAspect::Style);
}

void ListViewControl::SetExtendedStyle(UINT mask, UINT style) {
  UINT next = (exStyle_ & ~mask) | (style & mask);
  if (next == exStyle_) return;
  exStyle_ = next;
  Changed(ControlAspect::Style);
}

int ListViewControl::InsertColumn(int index, Column column) {
  if (index < 0 || index > GetColumnCount()) index = GetColumnCount();
  const int slot = column.order < 0 || column.order > GetColumnCount() ? GetColumnCount() : column.order;
  columns_.insert(columns_.begin() + index, std::move(column));
  for (int& c : order_) {
    if (c >= index) ++c;
  }
  order_.insert(order_.begin() + slot, index);
  for (Row& r : rows_) {
    if (static_cast<int>(r.cells.size()) > index) r.cells.insert(r.cells.begin() + index, Cell{});
  }
  Changed(ControlAspect::Columns);
  return index;
}

bool ListViewControl::SetColumnOrderArray(const std::vector<int>& order) {
  if (order.size() != columns_.size()) return false;
  std::vector<bool> seen(columns_.size(), false);
  for (int c : order) {
    if (c < 0 || c >= GetColumnCount() || seen[static_cast<std::size_t>(c)]) return false;
    seen[static_cast<std::size_t>(c)] = true;
  }
  order_ = order;
  Changed(ControlAspect::Columns);
  return true;
}

bool ListViewControl::DeleteColumn(int index) {
  if (index < 0 || index >= GetColumnCount()) return false;
  columns_.erase(columns_.begin() + index);
  order_.erase(std::find(order_.begin(), order_.end(), index));
  for (int& c : order_) {
    if (c > index) --c;
  }
  for (Row& r : rows_) {
    if (static_cast<int>(r.cells.size()) > index) r.cells.erase(r.cells.begin() + index);
  }
  if (sortColumn_ == index) {
    sortColumn_ = -1;
    sortDirection_ = 0;
  } else if (sortColumn_ > index) {
    --sortColumn_;
  }
  Changed(ControlAspect::Columns);
  return true;
}

namespace {

// Pixels of a text in the list's font, taken as an average character of 7 pixels.
int TextPixels(const std::string& text) {
  int characters = 0;
  for (unsigned char c : text) {
    if ((c & 0xC0) != 0x80) ++characters;  // lead bytes only
  }
  return characters * 7;
}

}  // namespace

bool ListViewControl::SetColumnWidth(int index, int width) {
  if (index < 0 || index >= GetColumnCount()) return false;
  if (width == LVSCW_AUTOSIZE) {
    int widest = 0;
    for (int row = 0; row < GetItemCount(); ++row) widest = std::max(widest, TextPixels(GetItemText(row, index)));
    width = widest + 12 + (index == 0 && smallImages_ != nullptr ? smallImages_->Width() + 4 : 0);
  }
  columns_[static_cast<std::size_t>(index)].width = std::max(width, 0);
  Changed(ControlAspect::Columns);
  return true;
}

bool ListViewControl::SetColumnTitle(int index, std::string title) {
  if (index < 0 || index >= GetColumnCount()) return false;
  columns_[static_cast<std::size_t>(index)].title = std::move(title);
  Changed(ControlAspect::Columns);
  return true;
}

int ListViewControl::PutRow(int row, Row r) {
  if (row < 0 || row > GetItemCount()) return -1;
  rows_.insert(rows_.begin() + row, std::move(r));
  if (insertMark_ >= row) ++insertMark_;
  if (reorderSource_ >= row) ++reorderSource_;
  Changed(ControlAspect::Rows);
  return row;
}

int ListViewControl::InsertItem(int row, std::string text, int image, std::uint64_t data) {
  Row r;
  r.cells.push_back(Cell{std::move(text), true});
  r.image = image;
  r.data = data;
  return PutRow(row, std::move(r));
}

int ListViewControl::InsertItemOnDemand(int row, std::uint64_t data) {
  Row r;
  r.onDemand = true;
  r.image = kImageOnDemand;
  r.data = data;
  return PutRow(row, std::move(r));
}

bool ListViewControl::DeleteItem(int row) {
  if (!Valid(row)) return false;
  Notify(NotifyCode::DeleteItem, row, rows_[static_cast<std::size_t>(row)].data);
  rows_.erase(rows_.begin() + row);
  if (insertMark_ == row) {
    insertMark_ = -1;
  } else if (insertMark_ > row) {
    --insertMark_;
  }
  if (reorderSource_ == row) {
    reorderSource_ = -1;
  } else if (reorderSource_ > row) {
    --reorderSource_;
  }
  Changed(ControlAspect::Rows);
  return true;
}

void ListViewControl::DeleteAllItems() {
  for (int row = 0; row < GetItemCount(); ++row) Notify(NotifyCode::DeleteItem, row, rows_[static_cast<std::size_t>(row)].data);
  rows_.clear();
  insertMark_ = -1;
  reorderSource_ = -1;
  topVisible_ = 0;
  Changed(ControlAspect::Rows);
}

bool ListViewControl::SetItemText(int row, int column, std::string text) {
  if (!Valid(row) || column < 0 || (column > 0 && column >= GetColumnCount())) return false;
  Row& r = rows_[static_cast<std::size_t>(row)];
  if (static_cast<int>(r.cells.size()) <= column) r.cells.resize(static_cast<std::size_t>(column) + 1);
  r.cells[static_cast<std::size_t>(column)] = Cell{std::move(text), true};
  Changed(ControlAspect::Rows);
  return true;
}

std::string ListViewControl::GetItemText(int row, int column) {
  std::vector<Row>& rows = sorting_ != nullptr ? *sorting_ : rows_;
  if (row < 0 || row >= static_cast<int>(rows.size()) || column < 0) return {};
  Row& r = rows[static_cast<std::size_t>(row)];
  if (static_cast<int>(r.cells.size()) > column && r.cells[static_cast<std::size_t>(column)].explicitText) {
    return r.cells[static_cast<std::size_t>(column)].text;
  }
  if (!r.onDemand) return {};
  Notification n;
  n.code = NotifyCode::GetDispInfo;
  n.item = row;
  n.subItem = column;
  n.data = r.data;
  Notify(n);
  if (n.keep && column < std::max(GetColumnCount(), 1)) {
    if (static_cast<int>(r.cells.size()) <= column) r.cells.resize(static_cast<std::size_t>(column) + 1);
    r.cells[static_cast<std::size_t>(column)] = Cell{n.text, true};
  }
  return n.text;
}

bool ListViewControl::SetItemImage(int row, int image) {
  if (!Valid(row)) return false;
  rows_[static_cast<std::size_t>(row)].image = image;
  Changed(ControlAspect::Rows);
  return true;
}

int ListViewControl::GetItemImage(int row) {
  if (!Valid(row)) return -1;
  const Row& r = rows_[static_cast<std::size_t>(row)];
  if (r.image != kImageOnDemand) return r.image;
  Notification n;
  n.code = NotifyCode::GetDispInfo;
  n.item = row;
  n.subItem = -1;  // the image only
  n.data = r.data;
  Notify(n);
  if (n.keep) rows_[static_cast<std::size_t>(row)].image = n.image;
  return n.image;
}

bool ListViewControl::SetItemData(int row, std::uint64_t data) {
  if (!Valid(row)) return false;
  rows_[static_cast<std::size_t>(row)].data = data;
  return true;
}

std::uint64_t ListViewControl::GetItemData(int row) const {
  return Valid(row) ? rows_[static_cast<std::size_t>(row)].data : 0;
}

bool ListViewControl::SetItemState(int row, UINT state, UINT mask) {
  if (row == -1) {
    for (Row& r : rows_) r.state = (r.state & ~mask) | (state & mask);
  } else if (Valid(row)) {
    Row& r = rows_[static_cast<std::size_t>(row)];
    // One row has the focus.
    if ((mask & LVIS_FOCUSED) && (state & LVIS_FOCUSED)) {
      for (Row& other : rows_) other.state &= ~LVIS_FOCUSED;
    }
    r.state = (r.state & ~mask) | (state & mask);
  } else {
    return false;
  }
  Changed(ControlAspect::RowState);
  return true;
}

UINT ListViewControl::GetItemState(int row, UINT mask) const {
  return Valid(row) ? rows_[static_cast<std::size_t>(row)].state & mask : 0;
}

bool ListViewControl::SetCheck(int row, bool checked) {
  if (!Valid(row)) return false;
  rows_[static_cast<std::size_t>(row)].checked = checked;
  Changed(ControlAspect::RowState);
  return true;
}

bool ListViewControl::GetCheck(int row) const { return Valid(row) && rows_[static_cast<std::size_t>(row)].checked; }

int ListViewControl::GetSelectedCount() const {
  return static_cast<int>(
      std::count_if(rows_.begin(), rows_.end(), [](const Row& r) { return (r.state & LVIS_SELECTED) != 0; }));
}

int ListViewControl::GetNextItem(int start, UINT flags) const {
  UINT want = 0;
  if (flags & LVNI_SELECTED) want |= LVIS_SELECTED;
  if (flags & LVNI_FOCUSED) want |= LVIS_FOCUSED;
  for (int row = std::max(start + 1, 0); row < GetItemCount(); ++row) {
    if ((rows_[static_cast<std::size_t>(row)].state & want) == want) return row;
  }
  return -1;
}

std::vector<int> ListViewControl::GetSelectedRows() const {
  std::vector<int> out;
  for (int row = 0; row < GetItemCount(); ++row) {
    if (rows_[static_cast<std::size_t>(row)].state & LVIS_SELECTED) out.push_back(row);
  }
  return out;
}

int ListViewControl::FindItemByData(std::uint64_t data) const {
  for (int row = 0; row < GetItemCount(); ++row) {
    if (rows_[static_cast<std::size_t>(row)].data == data) return row;
  }
  return -1;
}

void ListViewControl::ApplyOrder(const std::vector<std::size_t>& order) {
  std::vector<Row> sorted;
  sorted.reserve(rows_.size());
  for (std::size_t i : order) sorted.push_back(std::move(rows_[i]));
  rows_ = std::move(sorted);
  insertMark_ = -1;
  Changed(ControlAspect::Rows);
}

void ListViewControl::SortItems(const std::function<int(std::uint64_t, std::uint64_t)>& compare) {
  std::vector<std::size_t> order(rows_.size());
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(),
                   [&](std::size_t a, std::size_t b) { return compare(rows_[a].data, rows_[b].data) < 0; });
  ApplyOrder(order);
}

void ListViewControl::SortItemsEx(const std::function<int(int, int)>& compare) {
  std::vector<std::size_t> order(rows_.size());
  std::iota(order.begin(), order.end(), 0);
  sorting_ = &rows_;
  try {
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
      return compare(static_cast<int>(a), static_cast<int>(b)) < 0;
    });
  } catch (...) {
    sorting_ = nullptr;
    throw;
  }
  sorting_ = nullptr;
  ApplyOrder(order);
}

void ListViewControl::SetSortIndicator(int column, int direction) {
  if (column < 0 || column >= GetColumnCount() || direction == 0) {
    column = -1;
    direction = 0;
  }
  sortColumn_ = column;
  sortDirection_ = direction > 0 ? 1 : direction < 0 ? -1 : 0;
  Changed(ControlAspect::SortIndicator);
}

std::pair<COLORREF, COLORREF> ListViewControl::GetCellColours(int row, int subItem) {
  if (!Valid(row)) return {CLR_DEFAULT, CLR_DEFAULT};
  Notification n;
  n.code = NotifyCode::CustomDraw;
  n.item = row;
  n.subItem = subItem;
  n.data = rows_[static_cast<std::size_t>(row)].data;
  Notify(n);
  return {n.textColour, n.backColour};
}

void ListViewControl::SetImageList(const ImageList* images, bool small) {
  (small ? smallImages_ : normalImages_) = images;
  Changed(ControlAspect::Image);
}

void ListViewControl::SetBackgroundImage(std::string iconName, int xPercent, int yPercent) {
  background_ = std::move(iconName);
  bgX_ = std::clamp(xPercent, 0, 100);
  bgY_ = std::clamp(yPercent, 0, 100);
  Changed(ControlAspect::Background);
}

void ListViewControl::SetInsertMark(int row) {
  if (!Valid(row)) row = -1;
  if (row == insertMark_) return;
  insertMark_ = row;
  Changed(ControlAspect::RowState);
}

bool ListViewControl::EnsureVisible(int row) {
  if (!Valid(row)) return false;
  if (row < topVisible_) {
    topVisible_ = row;
  } else if (row >= topVisible_ + pageRows_) {
    topVisible_ = row - pageRows_ + 1;
  }
  Changed(ControlAspect::Position);
  return true;
}

void ListViewControl::NotifyItemChanged(int row) { Notify(NotifyCode::ItemChanged, row, GetItemData(row)); }

bool ListViewControl::UserClickRow(int row, UINT modifiers) {
  if (!CanUse() || !Valid(row)) return false;
  const bool single = tmpl().Has(kStyleSingleSelection);
  if ((modifiers & kModCtrl) && !single) {
    Row& r = rows_[static_cast<std::size_t>(row)];
    r.state ^= LVIS_SELECTED;
  } else if ((modifiers & kModShift) && !single) {
    int anchor = GetNextItem(-1, LVNI_FOCUSED);
    if (anchor < 0) anchor = row;
    for (int i = 0; i < GetItemCount(); ++i) {
      bool in = i >= std::min(anchor, row) && i <= std::max(anchor, row);
      Row& r = rows_[static_cast<std::size_t>(i)];
      r.state = in ? (r.state | LVIS_SELECTED) : (r.state & ~LVIS_SELECTED);
    }
  } else {
    for (Row& r : rows_) r.state &= ~LVIS_SELECTED;
    rows_[static_cast<std::size_t>(row)].state |= LVIS_SELECTED;
  }
  if (!(modifiers & kModShift)) {
    for (Row& r : rows_) r.state &= ~LVIS_FOCUSED;
    rows_[static_cast<std::size_t>(row)].state |= LVIS_FOCUSED;
  }
  Changed(ControlAspect::RowState);
  NotifyItemChanged(row);
  return true;
}

bool ListViewControl::UserSelectRows(const std::vector<int>& rows) {
  if (!CanUse()) return false;
  for (int row : rows) {
    if (!Valid(row)) return false;
  }
  if (rows.size() > 1 && tmpl().Has(kStyleSingleSelection)) return false;
  for (Row& r : rows_) r.state &= ~(LVIS_SELECTED | LVIS_FOCUSED);
  for (int row : rows) rows_[static_cast<std::size_t>(row)].state |= LVIS_SELECTED;
  if (!rows.empty()) rows_[static_cast<std::size_t>(rows.front())].state |= LVIS_FOCUSED;
  Changed(ControlAspect::RowState);
  NotifyItemChanged(rows.empty() ? -1 : rows.front());
  return true;
}

bool ListViewControl::UserActivate(int row) {
  if (!CanUse() || !Valid(row)) return false;
  Notify(NotifyCode::ItemActivate, row, GetItemData(row));
  return true;
}

bool ListViewControl::UserClickColumn(int column) {
  if (!CanUse() || column < 0 || column >= GetColumnCount() || tmpl().Has(kStyleNoSortHeader)) return false;
  Notification n;
  n.code = NotifyCode::ColumnClick;
  n.subItem = column;
  Notify(n);
  return true;
}

bool ListViewControl::UserMoveColumn(int column, int slot) {
  if (!CanUse() || !(exStyle_ & LVS_EX_HEADERDRAGDROP) || column < 0 || column >= GetColumnCount() || slot < 0 ||
      slot >= GetColumnCount()) {
    return false;
  }
  order_.erase(std::find(order_.begin(), order_.end(), column));
  order_.insert(order_.begin() + slot, column);
  Changed(ControlAspect::Columns);
  return true;
}

bool ListViewControl::UserResizeColumn(int column, int width) {
  if (!CanUse() || column < 0 || column >= GetColumnCount() || width < 0) return false;
  return SetColumnWidth(column, width);
}

bool ListViewControl::UserRightClickHeader(Point where) {
  if (!CanUse() || GetView() != ListViewMode::Report) return false;
  Notification n;
  n.code = NotifyCode::HeaderRightClick;
  n.point = where;
  Notify(n);
  return true;
}

bool ListViewControl::UserToggleCheck(int row) {
  if (!CanUse() || !Valid(row) || !(exStyle_ & LVS_EX_CHECKBOXES)) return false;
  Row& r = rows_[static_cast<std::size_t>(row)];
  r.checked = !r.checked;
  Changed(ControlAspect::RowState);
  NotifyItemChanged(row);
  return true;
}

void ListViewControl::NotifyKey(UINT key, UINT modifiers) {
  Notification n;
  n.code = NotifyCode::KeyDown;
  n.key = key;
  n.modifiers = modifiers;
  n.item = GetNextItem(-1, LVNI_FOCUSED);
  Notify(n);
}

bool ListViewControl::UserKeyMovedByHost(UINT key, UINT modifiers) {
  if (!CanUse()) return false;
  NotifyKey(key, modifiers);
  return true;
}

bool ListViewControl::UserKey(UINT key, UINT modifiers) {
  if (!CanUse()) return false;
  if (reorderSource_ >= 0 && key == VK_ESCAPE) return UserReorderCancel();
  NotifyKey(key, modifiers);
  const int focused = GetNextItem(-1, LVNI_FOCUSED);
  switch (key) {
    case VK_RETURN:
      if (focused >= 0 && !(modifiers & kModAlt)) UserActivate(focused);
      break;
    case VK_UP:
      if (focused > 0) UserClickRow(focused - 1, modifiers & kModShift);
      break;
    case VK_DOWN:
      if (focused + 1 < GetItemCount()) UserClickRow(focused + 1, modifiers & kModShift);
      break;
    case VK_HOME:
      if (GetItemCount() > 0) UserClickRow(0, modifiers & kModShift);
      break;
    case VK_END:
      if (GetItemCount() > 0) UserClickRow(GetItemCount() - 1, modifiers & kModShift);
      break;
    case VK_PRIOR:
      if (GetItemCount() > 0) UserClickRow(std::max(focused - pageRows_ + 1, 0), modifiers & kModShift);
      break;
    case VK_NEXT:
      if (GetItemCount() > 0) UserClickRow(std::min(std::max(focused, 0) + pageRows_ - 1, GetItemCount() - 1), modifiers & kModShift);
      break;
    case VK_SPACE:
      if (focused >= 0 && (exStyle_ & LVS_EX_CHECKBOXES)) UserToggleCheck(focused);
      break;
    default:
      break;
  }
  if (const int now = GetNextItem(-1, LVNI_FOCUSED); now >= 0 && now != focused) EnsureVisible(now);
  return true;
}

bool ListViewControl::UserRightClick(int row, Point where) {
  if (!CanUse() || (row != -1 && !Valid(row))) return false;
  if (row >= 0 && !(GetItemState(row, LVIS_SELECTED))) UserClickRow(row);
  Notification n;
  n.code = NotifyCode::RightClick;
  n.item = row;
  n.point = where;
  Notify(n);
  return true;
}

bool ListViewControl::UserBeginDrag(int row) {
  if (!CanUse() || !Valid(row)) return false;
  if (!GetItemState(row, LVIS_SELECTED)) UserClickRow(row);
  Notify(NotifyCode::BeginDrag, row, GetItemData(row));
  return true;
}

void ListViewControl::BeginReorder(int row) {
  if (!Valid(row)) return;
  reorderSource_ = row;
  rows_[static_cast<std::size_t>(row)].state |= LVIS_DROPHILITED;
  Changed(ControlAspect::RowState);
}

void ListViewControl::EndReorder() {
  if (Valid(reorderSource_)) rows_[static_cast<std::size_t>(reorderSource_)].state &= ~LVIS_DROPHILITED;
  reorderSource_ = -1;
  insertMark_ = -1;
  Changed(ControlAspect::RowState);
}

bool ListViewControl::UserReorderOver(int row) {
  if (reorderSource_ < 0 || !CanUse()) return false;
  if (!Valid(row)) row = -1;
  SetInsertMark(row);
  Notify(NotifyCode::ReorderOver, row);
  return true;
}

bool ListViewControl::UserReorderDrop(int row) {
  if (reorderSource_ < 0 || !CanUse()) return false;
  if (!Valid(row)) row = -1;
  Notification n;
  n.code = NotifyCode::ReorderDrop;
  n.item = row;
  n.pos = reorderSource_;
  EndReorder();
  Notify(n);
  return true;
}

bool ListViewControl::UserReorderCancel() {
  if (reorderSource_ < 0) return false;
  EndReorder();
  Notify(NotifyCode::ReorderCancel);
  return true;
}

}  // namespace platform
