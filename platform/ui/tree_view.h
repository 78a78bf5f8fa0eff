// The tree view: items with a text, data and images, children in order, expansion, and one
// selected item. A selection change goes to the owner first (SelChanging, which can refuse
// it) and is reported after (SelChanged), whether a person or code makes it.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "platform/ui/controls.h"

namespace platform {

using HTREEITEM = std::uint32_t;  // 0: no item
constexpr HTREEITEM TVI_ROOT = 0xFFFF0000;
constexpr HTREEITEM TVI_FIRST = 0xFFFF0001;
constexpr HTREEITEM TVI_LAST = 0xFFFF0002;
constexpr HTREEITEM TVI_SORT = 0xFFFF0003;

// GetNextItem.
constexpr UINT TVGN_ROOT = 0x0000;
constexpr UINT TVGN_NEXT = 0x0001;
constexpr UINT TVGN_PREVIOUS = 0x0002;
constexpr UINT TVGN_PARENT = 0x0003;
constexpr UINT TVGN_CHILD = 0x0004;
constexpr UINT TVGN_CARET = 0x0009;

// Expand.
constexpr UINT TVE_COLLAPSE = 0x0001;
constexpr UINT TVE_EXPAND = 0x0002;
constexpr UINT TVE_TOGGLE = 0x0003;

class TreeViewControl : public Control {
 public:
  TreeViewControl(ControlOwner* owner, const ControlTemplate& t);

  // A new item below `parent` (TVI_ROOT: at the top), after `after` (TVI_FIRST, TVI_LAST,
  // TVI_SORT or a sibling); 0 when the parent or the sibling does not exist. Virtual so
  // that a test can make insertions fail.
  virtual HTREEITEM InsertItem(const std::string& text, HTREEITEM parent = TVI_ROOT, HTREEITEM after = TVI_LAST,
                               int image = -1, int selectedImage = -1, std::uint64_t data = 0);
  // The item and its descendants (TVI_ROOT or 0: everything). A deleted selection leaves
  // the tree without a selection.
  bool DeleteItem(HTREEITEM item);
  bool DeleteAllItems() { return DeleteItem(TVI_ROOT); }
  int GetCount() const { return static_cast<int>(items_.size()); }
  bool Exists(HTREEITEM item) const { return items_.count(item) != 0; }

  HTREEITEM GetRootItem() const { return roots_.empty() ? 0 : roots_.front(); }
  HTREEITEM GetChildItem(HTREEITEM item) const;
  HTREEITEM GetNextSiblingItem(HTREEITEM item) const;
  HTREEITEM GetPrevSiblingItem(HTREEITEM item) const;
  HTREEITEM GetParentItem(HTREEITEM item) const;
  HTREEITEM GetNextItem(HTREEITEM item, UINT code) const;
  bool ItemHasChildren(HTREEITEM item) const;
  std::vector<HTREEITEM> GetChildren(HTREEITEM item) const;  // TVI_ROOT: the top items

  std::string GetItemText(HTREEITEM item) const;
  bool SetItemText(HTREEITEM item, std::string text);
  std::uint64_t GetItemData(HTREEITEM item) const;
  bool SetItemData(HTREEITEM item, std::uint64_t data);
  bool GetItemImage(HTREEITEM item, int& image, int& selectedImage) const;
  bool SetItemImage(HTREEITEM item, int image, int selectedImage);
  bool GetCheck(HTREEITEM item) const;
  bool SetCheck(HTREEITEM item, bool checked);

  // ItemExpanding (can be refused), then ItemExpanded. False when refused or no item.
  bool Expand(HTREEITEM item, UINT code);
  bool IsExpanded(HTREEITEM item) const;
  bool EnsureVisible(HTREEITEM item);

  HTREEITEM GetSelectedItem() const { return selected_; }
  // SelChanging to the owner (a non-zero answer refuses: false), then the selection and
  // SelChanged. Selecting the selected item again changes nothing and answers true. 0
  // clears the selection.
  bool SelectItem(HTREEITEM item, int action = kByUnknown);

  void SetImageList(const ImageList* images);
  const ImageList* GetImageList() const { return images_; }

  // What a person does: picking an item (SelectItem by mouse), opening or closing it,
  // keys (Up / Down move to the previous / next visible item, Right opens, Left closes
  // or moves to the parent). False when the tree cannot be used or no such item.
  bool UserSelect(HTREEITEM item);
  bool UserExpand(HTREEITEM item, bool expand);
  bool UserKey(UINT key, UINT modifiers = 0);
  // A right click on an item (0: the empty part of the tree): RightClick with the item in
  // newItem; the selection stays.
  bool UserRightClick(HTREEITEM item, Point where = {});

  // The item whose texts from the top, joined by "/", equal `path`; 0 when none.
  HTREEITEM FindByPath(const std::string& path) const;

 private:
  struct Item {
    std::string text;
    std::uint64_t data = 0;
    int image = -1;
    int selectedImage = -1;
    HTREEITEM parent = 0;  // 0: a top item
    std::vector<HTREEITEM> children;
    bool expanded = false;
    bool checked = false;
  };

  std::vector<HTREEITEM>* SiblingsOf(HTREEITEM parent);
  const std::vector<HTREEITEM>& SiblingsOf(HTREEITEM parent) const;
  void Erase(HTREEITEM item);
  // Visible items (every ancestor expanded) in display order.
  std::vector<HTREEITEM> VisibleOrder() const;

  std::map<HTREEITEM, Item> items_;
  std::vector<HTREEITEM> roots_;
  HTREEITEM next_ = 1;
  HTREEITEM selected_ = 0;
  const ImageList* images_ = nullptr;
};

}  // namespace platform
