// CShellView: the pane a host shows for one folder of the player. Its window (of the class
// "Quorvane NameSpace Extension_NSClass", so that other processes reach it with
// WM_VIEWCOMMAND) holds a list of the folder's items, for some folders a folder toolbar
// above it, and merges its menu items and buttons into the host's menus and toolbar.
//
// The list stores no texts: every cell is asked of the view (texts and icons on demand,
// view_texts.cpp); rows carry their item-id lists. Sorting is by a column's texts or by
// folder order and is always a strict weak ordering (ties broken by id). Commands of
// menus, toolbars and keys are WM_COMMAND ids; those of the items (context-menu ids) go to
// the folder's context menu with the selection.
//
// Rows dragged out carry a data object of the items (other programs get files, the
// library's own targets their ids); dragging a row inside a playlist or the Active Queue
// reorders it. Drops on the list go to the folder's drop target, or to a data folder's
// when dropped on its row. Copy puts the selection on the desktop's clipboard; Paste
// sends the clipboard's files to the player.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/shell/shell_interfaces.h"
#include "platform/ui/menu.h"
#include "platform/ui/ui_window.h"
#include "shellext/column_manager.h"
#include "shellext/library.h"
#include "shellext/shell_item.h"

namespace shellext {

class CShellFolder;

// Window and control ids of the view.
constexpr int kFolderToolbarId = 1;
constexpr int kViewListId = 1001;

// Menus of the view: Edit (121) and View (122) merged into the host's, the toolbar menu
// (566) and the column menu (672).
platform::Menu ViewEditMenu();
platform::Menu ViewViewMenu();
platform::Menu ToolbarPopupMenu();
platform::Menu ColumnPopupMenu();

// Commands the view answers itself.
enum ViewCommand : int {
  kCmdCopy = 2012,
  kCmdPaste = 2013,
  kCmdSelectAll = 2016,
  kCmdInvertSelection = 2017,
  kCmdLargeIcons = 2021,
  kCmdSmallIcons = 2022,
  kCmdList = 2023,
  kCmdDetails = 2024,
  kCmdPrevious = 2600,
  kCmdPlay = 2601,
  kCmdNext = 2602,
  kCmdStop = 2603,
  kCmdPause = 2604,
  kCmdOptions = 2605,
  kCmdMute = 2606,
  kCmdVolume = 2607,
  kCmdReports = 2610,
  kCmdSync = 2611,
  kCmdHelp = 2612,
  kCmdFill = 2613,
  kCmdTopLevel = 2614,
  kCmdAudioTracks = 2615,
  kCmdSearch = 2616,
  kCmdPlaylists = 2617,
  kCmdActiveQueue = 2618,
  kCmdProperties = 3030,
  kCmdRestoreColumns = 3064,
  kCmdCompactColumns = 3066,
};

using platform::WM_APPCOMMAND;  // the media keys
constexpr platform::UINT WM_SETFOCUS = 0x0007;

class CShellView final : public platform::IShellView {
 public:
  // `folderList`: the folder's own list (copied; null for the namespace root).
  CShellView(CShellFolder* folder, LPCITEMIDLIST folderList);

  // IUnknown
  platform::HRESULT QueryInterface(platform::REFIID riid, void** ppv) override;
  platform::ULONG AddRef() override;
  platform::ULONG Release() override;
  // IOleWindow
  platform::HRESULT GetWindow(platform::HWND* window) override;
  platform::HRESULT ContextSensitiveHelp(bool) override { return platform::E_NOTIMPL; }
  // IShellView
  platform::HRESULT TranslateAccelerator(platform::MSG*) override { return platform::E_NOTIMPL; }
  platform::HRESULT EnableModeless(bool) override { return platform::E_NOTIMPL; }
  platform::HRESULT UIActivate(platform::UINT state) override;
  platform::HRESULT Refresh() override { return platform::S_OK; }  // refreshing goes through WM_VIEWCOMMAND
  platform::HRESULT CreateViewWindow(platform::IShellView* previous, const platform::FOLDERSETTINGS* settings,
                                     platform::IShellBrowser* browser, const platform::RECT* bounds,
                                     platform::HWND* window) override;
  platform::HRESULT DestroyViewWindow() override;
  platform::HRESULT GetCurrentInfo(platform::FOLDERSETTINGS* settings) override;
  platform::HRESULT AddPropertySheetPages(platform::DWORD, void*, platform::LPARAM) override {
    return platform::E_NOTIMPL;
  }
  platform::HRESULT SaveViewState() override;
  platform::HRESULT SelectItem(LPCITEMIDLIST, platform::UINT) override { return platform::E_NOTIMPL; }
  // The context menu of the selection (SVGIO_SELECTION) or of the folder
  // (SVGIO_BACKGROUND), as a right click gets it: how a host runs item commands by id.
  platform::HRESULT GetItemObject(platform::UINT item, platform::REFIID riid, void** ppv) override;

  // The view's window object, list and column manager while the window exists (hosts
  // render them; tests drive them).
  platform::View* Window() const;
  platform::ListViewControl* List() const;
  ColumnManager* Columns() const { return columns_.get(); }
  int SortColumn() const { return sortColumn_; }
  int SortDirection() const { return sortDirection_; }
  platform::UINT ViewMode() const { return settings_.ViewMode; }
  platform::UINT UiState() const { return uiState_; }
  // The folder's node type and kind (word 0 of its id); 0 for the root or a bad list.
  std::uint32_t FolderType() const { return folderType_; }
  std::uint32_t FolderKind() const { return folderKind_; }

  // Filling and texts (view_texts.cpp).
  void FillList();
  void RefreshList();
  void UpdateStatus();
  void UpdateSelectionStatus();
  // The text of one cell: column is a definition index of the column set.
  std::string ItemText(const ShellItemData& item, int column);

  // Operations of the command table and the keyboard.
  void SelectAll();
  void InvertSelection();
  void ShowProperties();
  void DefaultAction();
  void DeleteSelection();
  void ActivateSelectedRow();
  void SetListStyle(platform::UINT mode);
  // Sorts by a column as a click on its header does (the direction flips every click).
  void ClickColumn(int listColumn);
  void SortList();
  // Another window's list that the view's sort orders (the media-library page's, whose
  // rows carry item-id lists as the view's do, and whose column titles name the columns);
  // null: the view's own list again.
  void SetListWindow(platform::ListViewControl* list) { externalList_ = list; }
  void SetSortColumn(int column) { sortColumn_ = column; }
  void SetSortDirection(int direction) { sortDirection_ = direction; }

 private:
  class ViewWindow;
  class ViewDrops;
  friend class ViewWindow;
  friend class ViewCommands;  // the player's commands and the playback display
  friend class ViewDrops;
  ~CShellView() override;

  bool OnCreate();
  platform::LRESULT OnMessage(platform::UINT message, platform::WPARAM wParam, platform::LPARAM lParam, bool& handled);
  void OnCommand(int id);
  void OnNotify(platform::Notification& n);
  void OnKeyDown(platform::UINT key, platform::UINT modifiers);
  void OnGetDispInfo(platform::Notification& n);
  void OnCustomDraw(platform::Notification& n);
  void OnContextMenu(bool header, bool ctrl);
  void OnBeginDrag(int row);
  void OnReorderDrop(int source, int target);
  // A playlist view whose playlist the player wrote anew under a new id (same name) asks
  // the browser for the view of the new id; true when this view is being replaced so.
  bool FollowRewrittenPlaylist();
  // The row a drag is over, highlighted (-1: none), and the drop target a drop there goes
  // to (null for an unreadable list).
  void SetDropRow(int row);
  platform::ComPtr<platform::IDropTarget> DropTargetAt(int row);
  void OnViewCommand(platform::LPARAM code);
  void AddToolbarButtons();
  void BuildFolderToolbar();
  void MergeMenus();
  void RemoveMenus();
  void UpdateToolbarState();
  void SetStatusText(int part, const std::string& text);

  // The selected rows' item-id lists (owned by the rows), and a run of a context-menu
  // command over them (or over the folder's own list when `items` is empty).
  std::vector<LPCITEMIDLIST> SelectedLists() const;
  void InvokeItemCommand(int command, const std::vector<LPCITEMIDLIST>& items);
  LPCITEMIDLIST RowList(int row) const;
  const ShellItemData* RowItem(int row) const { return GetLastItemId(RowList(row)); }
  void SetAnchorToLastSelected();
  bool UsesFolderOrder() const;
  bool ReordersRows() const;

  LiveObject live_;
  platform::RefCount refs_;
  CShellFolder* folder_;
  PidlManager pidls_;
  LPITEMIDLIST folderList_ = nullptr;
  std::uint32_t folderType_ = 0;
  std::uint32_t folderKind_ = 0;
  bool folderListReadable_ = false;

  int sortColumn_ = 0;
  int sortDirection_ = 1;
  platform::ListViewControl* externalList_ = nullptr;
  std::unique_ptr<ViewWindow> window_;
  std::unique_ptr<ColumnManager> columns_;
  std::unique_ptr<platform::Menu> menu_;  // the host's menu with the view's items merged
  platform::UINT uiState_ = platform::SVUIA_DEACTIVATE;
  platform::FOLDERSETTINGS settings_{};
  platform::IShellBrowser* browser_ = nullptr;
  int anchorRow_ = -1;
  bool followed_ = false;  // the browser was asked for the rewritten playlist's view
  bool backgroundPicture_ = false;
  bool spreadsheet_ = true;
  platform::COLORREF spreadsheetColour_ = 0x00FFE6E6;
  bool hasFolderToolbar_ = false;
  int dropRow_ = -1;
  bool placeholder_ = false;  // the rows say why there is nothing (no manager, no player, an error)
};

}  // namespace shellext
