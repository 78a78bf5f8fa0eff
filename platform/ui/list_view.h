// The list view: rows of texts in columns (report mode) or of icons (list, icon and
// small-icon modes), with check boxes, images, row states, texts and images that the owner
// supplies on demand, sorting, a sort indicator, row and cell colours from the owner, a
// background picture and a drag that reorders rows.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/ui/controls.h"

namespace platform {

// Row states (the desktop's LVIS_* bits).
constexpr UINT LVIS_FOCUSED = 0x0001;
constexpr UINT LVIS_SELECTED = 0x0002;
constexpr UINT LVIS_CUT = 0x0004;
constexpr UINT LVIS_DROPHILITED = 0x0008;

// GetNextItem.
constexpr UINT LVNI_ALL = 0x0000;
constexpr UINT LVNI_FOCUSED = 0x0001;
constexpr UINT LVNI_SELECTED = 0x0002;

// Column alignment.
constexpr int LVCFMT_LEFT = 0;
constexpr int LVCFMT_RIGHT = 1;
constexpr int LVCFMT_CENTER = 2;

// Extended styles that callers switch at run time.
constexpr UINT LVS_EX_GRIDLINES = 0x0001;
constexpr UINT LVS_EX_CHECKBOXES = 0x0004;
constexpr UINT LVS_EX_HEADERDRAGDROP = 0x0010;  // a person may move columns by their headers
constexpr UINT LVS_EX_FULLROWSELECT = 0x0020;

// SetColumnWidth: the width of the widest text of the column.
constexpr int LVSCW_AUTOSIZE = -1;

// An image index the owner answers on demand.
constexpr int kImageOnDemand = -2;

class ListViewControl : public Control {
 public:
  struct Column {
    std::string title;
    int width = 100;  // pixels
    int format = LVCFMT_LEFT;
    int order = -1;   // InsertColumn: the display slot it takes (-1: after the others)
  };

  ListViewControl(ControlOwner* owner, const ControlTemplate& t);

  ListViewMode GetView() const { return mode_; }
  void SetView(ListViewMode mode);
  UINT GetExtendedStyle() const { return exStyle_; }
  void SetExtendedStyle(UINT mask, UINT style);

  // Columns (report mode).
  int InsertColumn(int index, Column column);
  bool DeleteColumn(int index);
  int GetColumnCount() const { return static_cast<int>(columns_.size()); }
  const Column& GetColumn(int index) const { return columns_.at(static_cast<std::size_t>(index)); }
  // LVSCW_AUTOSIZE: wide enough for the column's longest text (of every row).
  bool SetColumnWidth(int index, int width);
  bool SetColumnTitle(int index, std::string title);
  // The columns in display order (the column index shown at each slot from the left).
  std::vector<int> GetColumnOrderArray() const { return order_; }
  // False unless `order` holds every column index once.
  bool SetColumnOrderArray(const std::vector<int>& order);

  // Rows. InsertItem answers the row's index (-1 when `row` is beyond the end; pass
  // GetItemCount() to append).
  int InsertItem(int row, std::string text, int image = -1, std::uint64_t data = 0);
  // A row whose texts and image the owner gives when asked (GetDispInfo).
  int InsertItemOnDemand(int row, std::uint64_t data);
  // DeleteItem notification first, so the owner can free the row's data.
  bool DeleteItem(int row);
  void DeleteAllItems();
  int GetItemCount() const { return static_cast<int>(rows_.size()); }

  // An explicit text replaces what the owner would give for that cell.
  bool SetItemText(int row, int column, std::string text);
  // The cell's text: explicit, else asked of the owner; "" outside the list.
  std::string GetItemText(int row, int column);
  bool SetItemImage(int row, int image);
  int GetItemImage(int row);
  bool SetItemData(int row, std::uint64_t data);
  std::uint64_t GetItemData(int row) const;
  // -1 for the row: every row.
  bool SetItemState(int row, UINT state, UINT mask);
  UINT GetItemState(int row, UINT mask) const;
  bool SetCheck(int row, bool checked);
  bool GetCheck(int row) const;
  int GetSelectedCount() const;
  // The next row after `start` (-1: from the first) with all the LVNI_ bits of `flags`;
  // -1 when none.
  int GetNextItem(int start, UINT flags) const;
  std::vector<int> GetSelectedRows() const;
  // The row with this data; -1 when none.
  int FindItemByData(std::uint64_t data) const;

  // Sorting. The comparison gets two rows' data (SortItems) or two row indexes as they
  // were before the sort (SortItemsEx: GetItemText answers for those indexes during the
  // sort); it must order the rows (negative, 0, positive). The sort is stable.
  void SortItems(const std::function<int(std::uint64_t, std::uint64_t)>& compare);
  void SortItemsEx(const std::function<int(int, int)>& compare);
  // The arrow in a column header: direction +1 ascending, -1 descending, 0 none.
  void SetSortIndicator(int column, int direction);
  int GetSortColumn() const { return sortColumn_; }
  int GetSortDirection() const { return sortDirection_; }

  // Colours of a cell for painting: the owner's answer to CustomDraw (CLR_DEFAULT: the
  // list's own); the row's background also for the whole row (subItem -1).
  std::pair<COLORREF, COLORREF> GetCellColours(int row, int subItem);

  void SetImageList(const ImageList* images, bool small);
  const ImageList* GetImageList(bool small) const { return small ? smallImages_ : normalImages_; }

  // A picture behind the rows, at a place given in percent of the free room (100, 100:
  // bottom right); an empty name removes it.
  void SetBackgroundImage(std::string iconName, int xPercent, int yPercent);
  const std::string& GetBackgroundImage() const { return background_; }
  int GetBackgroundX() const { return bgX_; }
  int GetBackgroundY() const { return bgY_; }

  // The row whose top edge carries the reorder line (-1: none).
  void SetInsertMark(int row);
  int GetInsertMark() const { return insertMark_; }
  // Scrolls as little as makes the row visible (to the top when it lies above, to the
  // bottom when below).
  bool EnsureVisible(int row);
  int GetTopVisible() const { return topVisible_; }
  // How many rows fit the list's height, as its host reports it (else 20).
  int GetCountPerPage() const { return pageRows_; }
  void HostPageRows(int rows) { pageRows_ = rows > 0 ? rows : 1; }
  // The first row the host shows after a person scrolled (no notification).
  void HostTopRow(int row) { topVisible_ = row > 0 ? row : 0; }

  // Off: changes pile up unseen until it is on again, when the host hears them at once
  // (the desktop's WM_SETREDRAW; a list refilled row by row is drawn once). Offs nest:
  // the last on shows them.
  void SetRedraw(bool on);

  // What a person does. Each is false when the list cannot be used or the row does not
  // exist.
  // Clicking selects the row alone (or adds or removes it with Ctrl, or selects the range
  // from the focused row with Shift) and focuses it: ItemChanged.
  bool UserClickRow(int row, UINT modifiers = 0);
  // Selects exactly these rows (the first focused): ItemChanged.
  bool UserSelectRows(const std::vector<int>& rows);
  // Double click, or Enter on the focused row: ItemActivate.
  bool UserActivate(int row);
  bool UserClickColumn(int column);
  // Dragging a column's header to a display slot (with LVS_EX_HEADERDRAGDROP), and its
  // edge to a width.
  bool UserMoveColumn(int column, int slot);
  bool UserResizeColumn(int column, int width);
  // A right click on the column headers: HeaderRightClick.
  bool UserRightClickHeader(Point where = {});
  bool UserToggleCheck(int row);
  bool UserKey(UINT key, UINT modifiers = 0);
  // A key whose moving of the focus (arrows, pages, Home, End) or activation (Enter) the
  // host's widget does itself: the owner hears it (KeyDown) and nothing else happens here.
  bool UserKeyMovedByHost(UINT key, UINT modifiers = 0);
  bool UserRightClick(int row, Point where = {});
  // BeginDrag from the row; the owner may answer by BeginReorder.
  bool UserBeginDrag(int row);
  // The owner asks for a reorder drag of `row`: the row gets LVIS_DROPHILITED.
  void BeginReorder(int row);
  int GetReorderSource() const { return reorderSource_; }
  // During a reorder drag: the row under the mouse (-1 past the end).
  bool UserReorderOver(int row);
  bool UserReorderDrop(int row);
  bool UserReorderCancel();

 private:
  struct Cell {
    std::string text;
    bool explicitText = false;
  };
  struct Row {
    std::vector<Cell> cells;  // index = column
    bool onDemand = false;
    int image = -1;
    UINT state = 0;
    bool checked = false;
    std::uint64_t data = 0;
  };

  bool Valid(int row) const { return row >= 0 && row < GetItemCount(); }
  // Control::Changed, held back while redraw is off.
  void Changed(ControlAspect what);
  void NotifyKey(UINT key, UINT modifiers);
  int PutRow(int row, Row r);
  // Rows in the order of `order` (indexes of the rows as they are).
  void ApplyOrder(const std::vector<std::size_t>& order);
  void NotifyItemChanged(int row);
  void EndReorder();

  ListViewMode mode_;
  UINT exStyle_ = 0;
  std::vector<Column> columns_;
  std::vector<int> order_;  // display slot -> column
  std::vector<Row> rows_;
  // During SortItemsEx: the rows as they were, which GetItemText answers for.
  std::vector<Row>* sorting_ = nullptr;
  int sortColumn_ = -1;
  int sortDirection_ = 0;
  const ImageList* smallImages_ = nullptr;
  const ImageList* normalImages_ = nullptr;
  std::string background_;
  int bgX_ = 0;
  int bgY_ = 0;
  int insertMark_ = -1;
  int reorderSource_ = -1;
  int topVisible_ = 0;
  int pageRows_ = 20;
  int redrawOff_ = 0;
  std::vector<ControlAspect> heldBack_;
};

}  // namespace platform
