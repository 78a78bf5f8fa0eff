// Menus: pop-up menus (tray, context and button menus) and the menus a window merges into
// its host's menu bar. Items carry a command id, a text and flags (checked, greyed, a
// default item); separators and sub-menus. A pop-up is shown by TrackPopupMenu through the
// current host.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ui/ui_types.h"

namespace platform {

// Item flags (the desktop's MF_* numbers).
constexpr UINT MF_STRING = 0x0000;
constexpr UINT MF_GRAYED = 0x0001;
constexpr UINT MF_DISABLED = 0x0002;
constexpr UINT MF_CHECKED = 0x0008;
constexpr UINT MF_POPUP = 0x0010;
constexpr UINT MF_SEPARATOR = 0x0800;
constexpr UINT MF_BYCOMMAND = 0x0000;
constexpr UINT MF_BYPOSITION = 0x0400;
constexpr UINT MF_ENABLED = 0x0000;
constexpr UINT MF_UNCHECKED = 0x0000;

// TrackPopupMenu flags.
constexpr UINT TPM_LEFTBUTTON = 0x0000;
constexpr UINT TPM_RIGHTBUTTON = 0x0002;
constexpr UINT TPM_NONOTIFY = 0x0080;
constexpr UINT TPM_RETURNCMD = 0x0100;

// The framework's exit command.
constexpr UINT ID_APP_EXIT = 57665;

class Menu {
 public:
  struct Item {
    UINT id = 0;
    std::string text;
    UINT flags = 0;  // MF_GRAYED, MF_DISABLED, MF_CHECKED, MF_SEPARATOR, MF_POPUP
    bool isDefault = false;
    std::shared_ptr<Menu> popup;  // MF_POPUP

    bool IsSeparator() const { return (flags & MF_SEPARATOR) != 0; }
    bool IsGrayed() const { return (flags & (MF_GRAYED | MF_DISABLED)) != 0; }
    bool IsChecked() const { return (flags & MF_CHECKED) != 0; }
    // A person can choose it: a command that is neither greyed nor a separator or sub-menu.
    bool IsChoosable() const { return !IsSeparator() && !IsGrayed() && popup == nullptr; }
  };

  Menu& Append(UINT flags, UINT id, std::string text);
  Menu& AppendSeparator();
  Menu& AppendPopup(std::string text, Menu popup, UINT flags = 0);
  // Before the item at `position` (-1 or past the end: appends).
  Menu& Insert(int position, Item item);
  // Removes one item by command (searching sub-menus) or by position.
  bool Remove(UINT idOrPosition, UINT how = MF_BYCOMMAND);

  int GetItemCount() const { return static_cast<int>(items_.size()); }
  const Item& GetItem(int position) const { return items_.at(static_cast<std::size_t>(position)); }
  Item& GetItem(int position) { return items_.at(static_cast<std::size_t>(position)); }
  const std::vector<Item>& Items() const { return items_; }

  // The item with this command, here or in a sub-menu; null when none.
  Item* Find(UINT id);
  const Item* Find(UINT id) const;
  // The sub-menu with this id (a host names its menu bar's popups so that a view can
  // merge items into them), here or deeper; null when none.
  Menu* FindPopup(UINT id);
  // The position of the item (a command, a separator or a sub-menu) with this id at this
  // level; -1 when none.
  int IndexOf(UINT id) const;
  // The item whose text (without "&" marks) equals `text`, here or in a sub-menu.
  const Item* FindText(const std::string& text) const;

  // MF_GRAYED / MF_ENABLED; false when there is no such item.
  bool EnableItem(UINT id, UINT enable);
  bool CheckItem(UINT id, bool checked);
  bool SetDefaultItem(UINT id);
  bool SetItemText(UINT id, std::string text);

  // One line per item, indented per sub-menu level: "Play", "-" for a separator,
  // "[x] Mute" checked, "(Pause)" greyed, "*Open*" the default, "Active Queue >" a
  // sub-menu. For tests and the console.
  std::string Describe(int indent = 0) const;

 private:
  std::vector<Item> items_;
};

// A name shown as an item's text as it stands: its "&" are doubled, so that none is
// taken for the mark of a key ("Rock & Roll" stays "Rock & Roll" on screen).
std::string MenuLiteral(std::string_view name);

// Shows the menu at (x, y) for `owner` and waits for the person: the chosen command, or
// 0 when nothing was chosen. Without TPM_RETURNCMD the command is also posted to `owner`
// as WM_COMMAND (and the answer is non-zero when one was chosen).
UINT TrackPopupMenu(const Menu& menu, UINT flags, int x, int y, HWND owner);

}  // namespace platform
