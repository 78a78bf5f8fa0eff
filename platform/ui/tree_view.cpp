#include "platform/ui/tree_view.h"

#include <algorithm>

#include "platform/text/text.h"

namespace platform {

TreeViewControl::TreeViewControl(ControlOwner* owner, const ControlTemplate& t) : Control(owner, t) {}

std::vector<HTREEITEM>* TreeViewControl::SiblingsOf(HTREEITEM parent) {
  if (parent == 0 || parent == TVI_ROOT) return &roots_;
  auto it = items_.find(parent);
  return it == items_.end() ? nullptr : &it->second.children;
}

const std::vector<HTREEITEM>& TreeViewControl::SiblingsOf(HTREEITEM parent) const {
  static const std::vector<HTREEITEM> none;
  if (parent == 0 || parent == TVI_ROOT) return roots_;
  auto it = items_.find(parent);
  return it == items_.end() ? none : it->second.children;
}

HTREEITEM TreeViewControl::InsertItem(const std::string& text, HTREEITEM parent, HTREEITEM after, int image,
                                      int selectedImage, std::uint64_t data) {
  std::vector<HTREEITEM>* siblings = SiblingsOf(parent);
  if (siblings == nullptr) return 0;
  std::size_t at = siblings->size();
  if (after == TVI_FIRST) {
    at = 0;
  } else if (after == TVI_SORT) {
    at = 0;
    while (at < siblings->size() && CompareNoCase(items_[(*siblings)[at]].text, text) <= 0) ++at;
  } else if (after != TVI_LAST) {
    auto it = std::find(siblings->begin(), siblings->end(), after);
    if (it == siblings->end()) return 0;
    at = static_cast<std::size_t>(it - siblings->begin()) + 1;
  }
  const HTREEITEM h = next_++;
  Item item;
  item.text = text;
  item.data = data;
  item.image = image;
  item.selectedImage = selectedImage;
  item.parent = (parent == TVI_ROOT) ? 0 : parent;
  items_.emplace(h, std::move(item));
  siblings = SiblingsOf(parent);  // the map may have moved nothing, but stay safe
  siblings->insert(siblings->begin() + static_cast<std::ptrdiff_t>(at), h);
  Changed(ControlAspect::Tree);
  return h;
}

void TreeViewControl::Erase(HTREEITEM item) {
  auto it = items_.find(item);
  if (it == items_.end()) return;
  std::vector<HTREEITEM> children = it->second.children;
  for (HTREEITEM c : children) Erase(c);
  if (selected_ == item) selected_ = 0;
  items_.erase(item);
}

bool TreeViewControl::DeleteItem(HTREEITEM item) {
  if (item == 0 || item == TVI_ROOT) {
    items_.clear();
    roots_.clear();
    selected_ = 0;
    Changed(ControlAspect::Tree);
    return true;
  }
  auto it = items_.find(item);
  if (it == items_.end()) return false;
  std::vector<HTREEITEM>* siblings = SiblingsOf(it->second.parent);
  siblings->erase(std::remove(siblings->begin(), siblings->end(), item), siblings->end());
  Erase(item);
  Changed(ControlAspect::Tree);
  return true;
}

HTREEITEM TreeViewControl::GetChildItem(HTREEITEM item) const {
  const auto& c = SiblingsOf(item == 0 ? TVI_ROOT : item);
  if (item != 0 && item != TVI_ROOT && !Exists(item)) return 0;
  return c.empty() ? 0 : c.front();
}

HTREEITEM TreeViewControl::GetNextSiblingItem(HTREEITEM item) const {
  auto it = items_.find(item);
  if (it == items_.end()) return 0;
  const auto& s = SiblingsOf(it->second.parent);
  auto pos = std::find(s.begin(), s.end(), item);
  return (pos == s.end() || pos + 1 == s.end()) ? 0 : *(pos + 1);
}

HTREEITEM TreeViewControl::GetPrevSiblingItem(HTREEITEM item) const {
  auto it = items_.find(item);
  if (it == items_.end()) return 0;
  const auto& s = SiblingsOf(it->second.parent);
  auto pos = std::find(s.begin(), s.end(), item);
  return (pos == s.end() || pos == s.begin()) ? 0 : *(pos - 1);
}

HTREEITEM TreeViewControl::GetParentItem(HTREEITEM item) const {
  auto it = items_.find(item);
  return it == items_.end() ? 0 : it->second.parent;
}

HTREEITEM TreeViewControl::GetNextItem(HTREEITEM item, UINT code) const {
  switch (code) {
    case TVGN_ROOT: return GetRootItem();
    case TVGN_NEXT: return GetNextSiblingItem(item);
    case TVGN_PREVIOUS: return GetPrevSiblingItem(item);
    case TVGN_PARENT: return GetParentItem(item);
    case TVGN_CHILD: return GetChildItem(item);
    case TVGN_CARET: return selected_;
    default: return 0;
  }
}

bool TreeViewControl::ItemHasChildren(HTREEITEM item) const {
  auto it = items_.find(item);
  return it != items_.end() && !it->second.children.empty();
}

std::vector<HTREEITEM> TreeViewControl::GetChildren(HTREEITEM item) const { return SiblingsOf(item); }

std::string TreeViewControl::GetItemText(HTREEITEM item) const {
  auto it = items_.find(item);
  return it == items_.end() ? std::string() : it->second.text;
}

bool TreeViewControl::SetItemText(HTREEITEM item, std::string text) {
  auto it = items_.find(item);
  if (it == items_.end()) return false;
  it->second.text = std::move(text);
  Changed(ControlAspect::Tree);
  return true;
}

std::uint64_t TreeViewControl::GetItemData(HTREEITEM item) const {
  auto it = items_.find(item);
  return it == items_.end() ? 0 : it->second.data;
}

bool TreeViewControl::SetItemData(HTREEITEM item, std::uint64_t data) {
  auto it = items_.find(item);
  if (it == items_.end()) return false;
  it->second.data = data;
  return true;
}

bool TreeViewControl::GetItemImage(HTREEITEM item, int& image, int& selectedImage) const {
  auto it = items_.find(item);
  if (it == items_.end()) return false;
  image = it->second.image;
  selectedImage = it->second.selectedImage;
  return true;
}

bool TreeViewControl::SetItemImage(HTREEITEM item, int image, int selectedImage) {
  auto it = items_.find(item);
  if (it == items_.end()) return false;
  it->second.image = image;
  it->second.selectedImage = selectedImage;
  Changed(ControlAspect::Tree);
  return true;
}

bool TreeViewControl::GetCheck(HTREEITEM item) const {
  auto it = items_.find(item);
  return it != items_.end() && it->second.checked;
}

bool TreeViewControl::SetCheck(HTREEITEM item, bool checked) {
  auto it = items_.find(item);
  if (it == items_.end()) return false;
  it->second.checked = checked;
  Changed(ControlAspect::Tree);
  return true;
}

bool TreeViewControl::Expand(HTREEITEM item, UINT code) {
  auto it = items_.find(item);
  if (it == items_.end()) return false;
  bool expand = code == TVE_EXPAND || (code == TVE_TOGGLE && !it->second.expanded);
  if (code != TVE_EXPAND && code != TVE_COLLAPSE && code != TVE_TOGGLE) return false;
  if (expand == it->second.expanded) return true;
  Notification before;
  before.code = NotifyCode::ItemExpanding;
  before.newItem = item;
  before.action = expand ? static_cast<int>(TVE_EXPAND) : static_cast<int>(TVE_COLLAPSE);
  before.data = it->second.data;
  if (Notify(before) != 0) return false;
  it = items_.find(item);  // the owner may have changed the tree
  if (it == items_.end()) return false;
  it->second.expanded = expand;
  Changed(ControlAspect::Expanded);
  Notification after = before;
  after.code = NotifyCode::ItemExpanded;
  after.result = 0;
  Notify(after);
  return true;
}

bool TreeViewControl::IsExpanded(HTREEITEM item) const {
  auto it = items_.find(item);
  return it != items_.end() && it->second.expanded;
}

bool TreeViewControl::EnsureVisible(HTREEITEM item) {
  if (!Exists(item)) return false;
  for (HTREEITEM p = GetParentItem(item); p != 0; p = GetParentItem(p)) {
    if (!IsExpanded(p)) Expand(p, TVE_EXPAND);
  }
  return true;
}

bool TreeViewControl::SelectItem(HTREEITEM item, int action) {
  if (item != 0 && !Exists(item)) return false;
  if (item == selected_) return true;
  Notification changing;
  changing.code = NotifyCode::SelChanging;
  changing.oldItem = selected_;
  changing.newItem = item;
  changing.action = action;
  changing.data = GetItemData(item);
  if (Notify(changing) != 0) return false;
  if (item != 0 && !Exists(item)) return false;
  const HTREEITEM old = selected_;
  selected_ = item;
  Changed(ControlAspect::Selection);
  Notification changed;
  changed.code = NotifyCode::SelChanged;
  changed.oldItem = old;
  changed.newItem = item;
  changed.action = action;
  changed.data = GetItemData(item);
  Notify(changed);
  return true;
}

void TreeViewControl::SetImageList(const ImageList* images) {
  images_ = images;
  Changed(ControlAspect::Image);
}

std::vector<HTREEITEM> TreeViewControl::VisibleOrder() const {
  std::vector<HTREEITEM> out;
  std::vector<HTREEITEM> stack(roots_.rbegin(), roots_.rend());
  while (!stack.empty()) {
    HTREEITEM h = stack.back();
    stack.pop_back();
    out.push_back(h);
    const Item& i = items_.at(h);
    if (i.expanded) stack.insert(stack.end(), i.children.rbegin(), i.children.rend());
  }
  return out;
}

bool TreeViewControl::UserSelect(HTREEITEM item) {
  if (!CanUse() || !Exists(item)) return false;
  SelectItem(item, kByMouse);
  return true;
}

bool TreeViewControl::UserExpand(HTREEITEM item, bool expand) {
  if (!CanUse() || !Exists(item)) return false;
  Expand(item, expand ? TVE_EXPAND : TVE_COLLAPSE);
  return true;
}

bool TreeViewControl::UserRightClick(HTREEITEM item, Point where) {
  if (!CanUse() || (item != 0 && !Exists(item))) return false;
  Notification n;
  n.code = NotifyCode::RightClick;
  n.newItem = item;
  n.point = where;
  Notify(n);
  return true;
}

bool TreeViewControl::UserKey(UINT key, UINT) {
  if (!CanUse()) return false;
  const std::vector<HTREEITEM> order = VisibleOrder();
  if (order.empty()) return true;
  auto pos = std::find(order.begin(), order.end(), selected_);
  switch (key) {
    case VK_UP:
      if (pos != order.end() && pos != order.begin()) SelectItem(*(pos - 1), kByKeyboard);
      break;
    case VK_DOWN:
      if (pos == order.end()) {
        SelectItem(order.front(), kByKeyboard);
      } else if (pos + 1 != order.end()) {
        SelectItem(*(pos + 1), kByKeyboard);
      }
      break;
    case VK_HOME:
      SelectItem(order.front(), kByKeyboard);
      break;
    case VK_END:
      SelectItem(order.back(), kByKeyboard);
      break;
    case VK_RIGHT:
      if (selected_ != 0) Expand(selected_, TVE_EXPAND);
      break;
    case VK_LEFT:
      if (selected_ != 0) {
        if (IsExpanded(selected_)) {
          Expand(selected_, TVE_COLLAPSE);
        } else if (HTREEITEM p = GetParentItem(selected_)) {
          SelectItem(p, kByKeyboard);
        }
      }
      break;
    default:
      break;
  }
  return true;
}

HTREEITEM TreeViewControl::FindByPath(const std::string& path) const {
  HTREEITEM parent = TVI_ROOT;
  std::size_t start = 0;
  for (;;) {
    std::size_t slash = path.find('/', start);
    std::string part = path.substr(start, slash == std::string::npos ? std::string::npos : slash - start);
    HTREEITEM found = 0;
    for (HTREEITEM c : SiblingsOf(parent)) {
      if (items_.at(c).text == part) {
        found = c;
        break;
      }
    }
    if (found == 0) return 0;
    if (slash == std::string::npos) return found;
    parent = found;
    start = slash + 1;
  }
}

}  // namespace platform
