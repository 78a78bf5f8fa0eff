#include "platform/ui/menu.h"

#include "platform/ui/dialog_template.h"
#include "platform/ui/host.h"

namespace platform {

Menu& Menu::Append(UINT flags, UINT id, std::string text) {
  Item item;
  item.id = (flags & MF_SEPARATOR) ? 0 : id;
  item.text = (flags & MF_SEPARATOR) ? std::string() : std::move(text);
  item.flags = flags & ~(MF_BYPOSITION | MF_POPUP);
  items_.push_back(std::move(item));
  return *this;
}

Menu& Menu::AppendSeparator() { return Append(MF_SEPARATOR, 0, {}); }

Menu& Menu::AppendPopup(std::string text, Menu popup, UINT flags) {
  Item item;
  item.text = std::move(text);
  item.flags = (flags | MF_POPUP) & ~MF_SEPARATOR;
  item.popup = std::make_shared<Menu>(std::move(popup));
  items_.push_back(std::move(item));
  return *this;
}

Menu& Menu::Insert(int position, Item item) {
  if (position < 0 || position > GetItemCount()) position = GetItemCount();
  items_.insert(items_.begin() + position, std::move(item));
  return *this;
}

bool Menu::Remove(UINT idOrPosition, UINT how) {
  if (how & MF_BYPOSITION) {
    if (idOrPosition >= items_.size()) return false;
    items_.erase(items_.begin() + static_cast<std::ptrdiff_t>(idOrPosition));
    return true;
  }
  for (auto it = items_.begin(); it != items_.end(); ++it) {
    if (!it->IsSeparator() && it->popup == nullptr && it->id == idOrPosition) {
      items_.erase(it);
      return true;
    }
    if (it->popup && it->popup->Remove(idOrPosition, how)) return true;
  }
  return false;
}

Menu::Item* Menu::Find(UINT id) {
  for (Item& item : items_) {
    if (!item.IsSeparator() && item.popup == nullptr && item.id == id) return &item;
    if (item.popup) {
      if (Item* inner = item.popup->Find(id)) return inner;
    }
  }
  return nullptr;
}

const Menu::Item* Menu::Find(UINT id) const { return const_cast<Menu*>(this)->Find(id); }

Menu* Menu::FindPopup(UINT id) {
  for (Item& item : items_) {
    if (!item.popup) continue;
    if (item.id == id) return item.popup.get();
    if (Menu* inner = item.popup->FindPopup(id)) return inner;
  }
  return nullptr;
}

int Menu::IndexOf(UINT id) const {
  for (int i = 0; i < GetItemCount(); ++i) {
    if (items_[static_cast<std::size_t>(i)].id == id) return i;
  }
  return -1;
}

const Menu::Item* Menu::FindText(const std::string& text) const {
  for (const Item& item : items_) {
    if (!item.IsSeparator() && CleanLabel(item.text) == CleanLabel(text)) return &item;
    if (item.popup) {
      if (const Item* inner = item.popup->FindText(text)) return inner;
    }
  }
  return nullptr;
}

bool Menu::EnableItem(UINT id, UINT enable) {
  Item* item = Find(id);
  if (item == nullptr) return false;
  item->flags = (item->flags & ~(MF_GRAYED | MF_DISABLED)) | (enable & (MF_GRAYED | MF_DISABLED));
  return true;
}

bool Menu::CheckItem(UINT id, bool checked) {
  Item* item = Find(id);
  if (item == nullptr) return false;
  item->flags = checked ? (item->flags | MF_CHECKED) : (item->flags & ~MF_CHECKED);
  return true;
}

bool Menu::SetDefaultItem(UINT id) {
  bool found = false;
  for (Item& item : items_) {
    item.isDefault = !item.IsSeparator() && item.popup == nullptr && item.id == id;
    found = found || item.isDefault;
  }
  return found;
}

bool Menu::SetItemText(UINT id, std::string text) {
  Item* item = Find(id);
  if (item == nullptr) return false;
  item->text = std::move(text);
  return true;
}

std::string Menu::Describe(int indent) const {
  std::string out;
  const std::string pad(static_cast<std::size_t>(indent) * 2, ' ');
  for (const Item& item : items_) {
    out += pad;
    if (item.IsSeparator()) {
      out += "-\n";
      continue;
    }
    std::string text = item.text;
    if (item.IsChecked()) text = "[x] " + text;
    if (item.isDefault) text = "*" + text + "*";
    if (item.IsGrayed()) text = "(" + text + ")";
    if (item.popup) text += " >";
    out += text + "\n";
    if (item.popup) out += item.popup->Describe(indent + 1);
  }
  return out;
}

std::string MenuLiteral(std::string_view name) {
  std::string out;
  out.reserve(name.size());
  for (const char c : name) {
    out += c;
    if (c == '&') out += '&';
  }
  return out;
}

UINT TrackPopupMenu(const Menu& menu, UINT flags, int x, int y, HWND owner) {
  UINT chosen = CurrentHost().TrackPopupMenu(menu, x, y, owner);
  if (chosen != 0) {
    const Menu::Item* item = menu.Find(chosen);
    if (item == nullptr || !item->IsChoosable()) chosen = 0;  // a host can only offer what is choosable
  }
  if (flags & TPM_RETURNCMD) return chosen;
  if (chosen != 0 && owner != 0) PostMessage(owner, WM_COMMAND, MAKEWPARAM(chosen, 0), 0);
  return chosen != 0 ? 1 : 0;
}

}  // namespace platform
