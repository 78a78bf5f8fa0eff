// Controls: the typed state of every control of a window, addressed by id.
//
// A control belongs to one window (its owner). Changes made by code are told to the
// owner, which tells the host that renders it (ControlAspect says what changed). What a
// person does arrives through the User* operations, which hosts and test drivers call:
// they change the state the way the real control would and then notify the owner with
// the desktop's command codes (BN_CLICKED, EN_CHANGE, CBN_SELCHANGE, ...) or with a
// Notification for the richer controls. Only tree-view selection changes notify also
// when code makes them (the owner may veto them), as the desktop's tree view does.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/ui/dialog_template.h"
#include "platform/ui/image_list.h"
#include "platform/ui/ui_types.h"

namespace platform {

class Control;

// Items with one current index that follows insertions and deletions (-1: none).
template <class T>
struct IndexedItems {
  std::vector<T> items;
  int current = -1;

  int Count() const { return static_cast<int>(items.size()); }
  bool Valid(int index) const { return index >= 0 && index < Count(); }
  // At `index` (0..Count()); false beyond.
  bool Insert(int index, T item) {
    if (index < 0 || index > Count()) return false;
    items.insert(items.begin() + index, std::move(item));
    if (current >= index) ++current;
    return true;
  }
  bool Erase(int index) {
    if (!Valid(index)) return false;
    items.erase(items.begin() + index);
    if (current == index) {
      current = -1;
    } else if (current > index) {
      --current;
    }
    return true;
  }
  void Clear() {
    items.clear();
    current = -1;
  }
};

enum class ControlAspect : std::uint8_t {
  Text,
  Enabled,
  Visible,
  Check,
  Items,
  Selection,
  Range,
  Position,
  Columns,
  Rows,
  RowState,
  Tree,
  Expanded,
  Buttons,
  Parts,
  Image,
  Style,
  SortIndicator,
  Background,
  Repaint,
};

enum class NotifyCode : std::uint8_t {
  // List view.
  GetDispInfo,    // the owner fills text (and image) of item/subItem, for rows shown on demand;
                  // with keep set the list keeps the answer and asks no more
  CustomDraw,     // the owner may set textColour / backColour of item/subItem
  ColumnClick,    // subItem: the column
  ItemChanged,    // item's state changed by the person (selection, focus, check)
  ItemActivate,   // double click or Enter on the focused row (item)
  BeginDrag,      // the person starts dragging the selected rows (item: the row under the mouse)
  ReorderOver,    // during a reorder drag: item is the row under the mouse (-1: past the end)
  ReorderDrop,    // the reorder drag ended over item (-1: past the end)
  ReorderCancel,  // Escape ended the reorder drag
  KeyDown,        // key, modifiers
  RightClick,     // item (-1: background), point
  HeaderRightClick,  // point
  DeleteItem,     // item is about to go; data is its data
  // Tree view.
  SelChanging,    // oldItem -> newItem; result non-zero refuses the change
  SelChanged,
  ItemExpanding,  // newItem; result non-zero refuses
  ItemExpanded,
  // Slider and spin.
  Scroll,           // action: a Scroll* code, pos: the position
  ReleasedCapture,  // the mouse let go of the slider
  DeltaPos,         // spin: pos before, delta
  // Link.
  LinkClick,
  // Toolbar.
  GetTooltip,  // item: the command; the owner fills text
};

// Scroll actions of a slider (the desktop's TB_* numbers).
constexpr int kScrollLineUp = 0;
constexpr int kScrollLineDown = 1;
constexpr int kScrollPageUp = 2;
constexpr int kScrollPageDown = 3;
constexpr int kScrollThumbPosition = 4;
constexpr int kScrollThumbTrack = 5;
constexpr int kScrollTop = 6;
constexpr int kScrollBottom = 7;
constexpr int kScrollEnd = 8;

// How a tree selection came about.
constexpr int kByUnknown = 0;
constexpr int kByMouse = 1;
constexpr int kByKeyboard = 2;

struct Notification {
  int id = 0;
  NotifyCode code = NotifyCode::ItemChanged;
  Control* from = nullptr;
  int item = -1;
  int subItem = 0;
  std::uint32_t oldItem = 0;
  std::uint32_t newItem = 0;
  std::uint64_t data = 0;
  int action = 0;
  UINT key = 0;
  UINT modifiers = 0;
  int pos = 0;
  int delta = 0;
  std::string text;
  int image = -1;
  COLORREF textColour = CLR_DEFAULT;
  COLORREF backColour = CLR_DEFAULT;
  Point point;
  LRESULT result = 0;
  bool keep = false;  // GetDispInfo: the list keeps the text (the desktop's LVIF_DI_SETITEM)
};

// What a control needs of the window that holds it.
class ControlOwner {
 public:
  virtual ~ControlOwner() = default;
  virtual void ControlChanged(Control& control, ControlAspect what) = 0;
  virtual void ControlCommand(int id, int code) = 0;
  virtual LRESULT ControlNotify(Notification& n) = 0;
  // A radio button was checked by a person: the others of its group are cleared.
  virtual void RadioChecked(Control& radio) = 0;
  // Another control of the same window; null when none.
  virtual Control* FindControl(int id) = 0;
};

class Control {
 public:
  Control(ControlOwner* owner, const ControlTemplate& t);
  virtual ~Control() = default;
  Control(const Control&) = delete;
  Control& operator=(const Control&) = delete;

  int id() const { return tmpl_.id; }
  ControlKind kind() const { return tmpl_.kind; }
  const ControlTemplate& tmpl() const { return tmpl_; }
  // What the control is called in messages (its template label, else its text).
  std::string Name() const;

  const std::string& GetText() const { return text_; }
  virtual void SetText(std::string text);
  bool IsEnabled() const { return enabled_; }
  void Enable(bool enabled = true);
  bool IsVisible() const { return visible_; }
  void Show(bool visible);
  // Asks the host to paint it again (painted areas, colours that depend on the owner).
  void Invalidate() { Changed(ControlAspect::Repaint); }
  // True when a person could act on it now.
  bool CanUse() const { return enabled_ && visible_; }

 protected:
  void Changed(ControlAspect what);
  void Command(int code);
  LRESULT Notify(Notification& n);
  // A notification with a code, an item and its data; the owner's answer.
  LRESULT Notify(NotifyCode code, int item = -1, std::uint64_t data = 0);
  ControlOwner* owner() const { return owner_; }

  std::string text_;

 private:
  ControlOwner* owner_;
  ControlTemplate tmpl_;
  bool enabled_;
  bool visible_;
};

// Static text, painted areas, the page area, pictures.
class LabelControl : public Control {
 public:
  using Control::Control;
};

class PictureControl : public Control {
 public:
  PictureControl(ControlOwner* owner, const ControlTemplate& t) : Control(owner, t), icon_(t.icon) {}
  const std::string& GetIcon() const { return icon_; }
  void SetIcon(std::string name);

 private:
  std::string icon_;
};

class EditControl : public Control {
 public:
  EditControl(ControlOwner* owner, const ControlTemplate& t);
  bool IsReadOnly() const { return readOnly_; }
  void SetReadOnly(bool readOnly);
  // 0: no limit. A longer text is cut (on a character boundary) when typed.
  void SetLimitText(std::size_t bytes) { limit_ = bytes; }
  std::size_t GetLimitText() const { return limit_; }

  // The person replaces the text (EN_CHANGE). False when disabled, hidden or read-only;
  // a number edit takes only digits.
  bool UserType(std::string text);

 private:
  bool readOnly_;
  std::size_t limit_ = 0;
};

// Push buttons, check boxes and radio buttons.
class ButtonControl : public Control {
 public:
  using Control::Control;
  // 0 unchecked, 1 checked, 2 indeterminate (three-state check boxes).
  int GetCheck() const { return check_; }
  void SetCheck(int state);
  // The person clicks: a check box toggles (or cycles its three states), a radio button
  // becomes the checked one of its group; then BN_CLICKED. False when disabled or hidden.
  bool UserClick();

 private:
  int check_ = 0;
};

// Combo boxes and list boxes: a list of texts with data.
class ListControl : public Control {
 public:
  struct Item {
    std::string text;
    std::uint64_t data = 0;
    bool selected = false;  // multi-select list boxes
  };

  using Control::Control;
  // Adds at the end, or in its sorted place (ASCII case ignored) for kStyleSorted; index.
  int AddString(std::string text);
  // At `index` (-1: the end); index, or -1 when out of range.
  int InsertString(int index, std::string text);
  bool DeleteString(int index);
  void ResetContent();
  int GetCount() const { return list_.Count(); }
  std::string GetItemText(int index) const;
  bool SetItemData(int index, std::uint64_t data);
  std::uint64_t GetItemData(int index) const;
  // The first item from after `start` (-1: from the beginning) whose text equals `text`,
  // ASCII case ignored, going round once; -1 when none.
  int FindStringExact(int start, const std::string& text) const;

  // -1 when nothing is selected.
  int GetCurSel() const { return list_.current; }
  // -1 clears. False when out of range (the selection is then cleared, as the desktop does).
  bool SetCurSel(int index);
  // Selects the first item that equals the text; its index or -1.
  int SelectString(const std::string& text);
  // Multi-select list boxes.
  std::vector<int> GetSelItems() const;
  bool SetSel(int index, bool selected);

  // The text of an editable combo box; the selected item's text otherwise.
  void SetText(std::string text) override;

  // The person picks an item (CBN_SELCHANGE / LBN_SELCHANGE); multi-select list boxes
  // toggle it. False when disabled, hidden or out of range.
  bool UserSelect(int index);
  // The person types into an editable combo box (CBN_EDITCHANGE).
  bool UserType(std::string text);
  // The person double-clicks an item (LBN_DBLCLK).
  bool UserDoubleClick(int index);

 private:
  bool IsCombo() const { return kind() == ControlKind::ComboBox; }
  IndexedItems<Item> list_;
};

// Sliders, progress bars and spins: a position kept inside a range.
class RangeControl : public Control {
 public:
  using Control::Control;
  int GetRangeMin() const { return min_; }
  int GetRangeMax() const { return max_; }
  // Kept inside the range.
  void SetPos(int pos);
  int GetPos() const { return pos_; }

 protected:
  // A range given high to low is turned round (spins keep it: their arrows run the other
  // way); the position is kept inside.
  void PutRange(int min, int max, bool keepOrder = false);
  int min_ = 0;
  int max_ = 100;
  int pos_ = 0;
};

class SliderControl : public RangeControl {
 public:
  using RangeControl::RangeControl;
  void SetRange(int min, int max) { PutRange(min, max); }
  void SetTicFreq(int freq) { ticFreq_ = freq; }
  int GetTicFreq() const { return ticFreq_; }
  void SetPageSize(int size) { page_ = size; }
  int GetPageSize() const { return page_; }

  // The person drags the thumb to `pos`: the position (kept in range) and a Scroll
  // notification with kScrollThumbTrack.
  bool UserDrag(int pos);
  // The person lets go of the thumb: kScrollThumbPosition, kScrollEnd, ReleasedCapture.
  bool UserRelease();
  // The person presses a key on it (arrows move one, Page Up/Down a page, Home/End the
  // ends): Scroll notifications, then KeyDown.
  bool UserKey(UINT key);

 private:
  void NotifyScroll(int action);
  int ticFreq_ = 1;
  int page_ = 10;
};

class ProgressControl : public RangeControl {
 public:
  using RangeControl::RangeControl;
  void SetRange32(int min, int max) { PutRange(min, max); }
  void SetStep(int step) { step_ = step; }
  int GetStep() const { return step_; }
  // Advances by the step; past the end it starts over from the beginning (as the desktop's
  // bar does), and an empty range stays at its start.
  void StepIt();

 private:
  int step_ = 10;
};

class SpinControl : public RangeControl {
 public:
  using RangeControl::RangeControl;
  void SetRange(int min, int max) { PutRange(min, max, true); }
  // The person clicks an arrow (+1 up, -1 down): DeltaPos (result non-zero refuses), then
  // the new position, which the buddy edit (when there is one) shows.
  bool UserStep(int delta);
};

class LinkControl : public Control {
 public:
  using Control::Control;
  const std::string& GetTarget() const { return tmpl().target; }
  // LinkClick to the owner; a link with an address is opened by whoever handles it.
  bool UserClick();
};

class TabsControl : public Control {
 public:
  struct Tab {
    std::string text;
    int image = -1;
  };
  using Control::Control;
  int InsertItem(int index, Tab tab);
  bool DeleteItem(int index);
  void DeleteAllItems();
  int GetItemCount() const { return tabs_.Count(); }
  const Tab* GetItem(int index) const;
  int GetCurSel() const { return tabs_.current; }
  void SetCurSel(int index);
  void SetImageList(const ImageList* images) { images_ = images; }
  const ImageList* GetImageList() const { return images_; }
  // The person picks a tab: SelChanging (item: the tab; a non-zero answer refuses), then
  // the selection and SelChanged.
  bool UserSelect(int index);

 private:
  IndexedItems<Tab> tabs_;
  const ImageList* images_ = nullptr;
};

// The area where a property sheet shows its page; its window paints it, and a page sits
// below topInset.
class PageAreaControl : public Control {
 public:
  using Control::Control;
  void SetTopInset(int pixels);
  int GetTopInset() const { return topInset_; }

 private:
  int topInset_ = 0;
};

class ToolbarControl : public Control {
 public:
  struct ToolButton {
    int command = 0;  // 0 with separator set: a separator
    std::string label = {};
    int image = -1;  // in the toolbar's image list
    std::string tooltip = {};
    bool separator = false;
    bool checkable = false;
    bool checked = false;
    bool enabled = true;
    bool hidden = false;
  };

  using Control::Control;
  void SetImageList(const ImageList* images);
  const ImageList* GetImageList() const { return images_; }
  // At `index` (-1: the end).
  void InsertButton(int index, ToolButton button);
  void AddButton(ToolButton button) { InsertButton(-1, std::move(button)); }
  bool DeleteButton(int index);
  int GetButtonCount() const { return static_cast<int>(buttons_.size()); }
  const ToolButton& GetButton(int index) const { return buttons_.at(static_cast<std::size_t>(index)); }
  // The first button of the command; -1 when none.
  int CommandToIndex(int command) const;
  bool EnableButton(int command, bool enabled);
  bool CheckButton(int command, bool checked);
  bool HideButton(int command, bool hidden);
  bool SetButtonText(int command, std::string label);
  // The button's tooltip, else what the owner answers to GetTooltip.
  std::string GetTooltip(int command);

  // The person presses a button: a checkable one toggles; WM_COMMAND with the command.
  // False for separators, disabled or hidden buttons.
  bool UserClick(int command);

 private:
  bool ChangeButton(int command, const std::function<void(ToolButton&)>& change);
  std::vector<ToolButton> buttons_;
  const ImageList* images_ = nullptr;
};

class StatusBarControl : public Control {
 public:
  using Control::Control;
  // Right edges of the parts in pixels; -1 reaches the right end.
  void SetParts(std::vector<int> rightEdges);
  const std::vector<int>& GetParts() const { return parts_; }
  // False when the part does not exist (a bar without parts has one).
  bool SetPartText(int part, std::string text);
  std::string GetPartText(int part) const;

 private:
  std::vector<int> parts_;
  std::vector<std::string> texts_{std::string()};
};

}  // namespace platform
