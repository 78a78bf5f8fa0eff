// ShellFrame: shellhost's file-manager window around a namespace extension, with or
// without a display. A frame of the class "CabinetWClass" holds a toolbar, the tree pane
// (a child window of the class "SysTreeView32" with the folders of the namespace), the
// area where the folder's own view shows, and a status bar; the menu bar is the frame's
// with the view's items merged in. It is the host side of the browser interface
// (IShellBrowser): navigation, status texts, merged menus and toolbar buttons, whose
// commands go to the view's window.
//
// Navigation a view asks for (BrowseObject) runs from the frame's queue, never inside the
// view's own call. The tree pane reloads on F5 (which RefreshFolderViews sends from any
// process) and on the namespace's change notices.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/shell/shell_interfaces.h"
#include "platform/ui/menu.h"
#include "platform/ui/ui_window.h"

namespace shellhost {

using platform::LPCITEMIDLIST;
using platform::LPITEMIDLIST;

// An item-id list owned here, freed through the shell allocator.
class OwnedList {
 public:
  explicit OwnedList(LPITEMIDLIST list = nullptr) : p_(list) {}
  OwnedList(OwnedList&& o) noexcept : p_(o.Release()) {}
  OwnedList& operator=(OwnedList&& o) noexcept;
  ~OwnedList() { platform::FreeItemIdList(p_); }
  LPITEMIDLIST Get() const { return p_; }
  LPITEMIDLIST Release() {
    LPITEMIDLIST p = p_;
    p_ = nullptr;
    return p;
  }
  OwnedList Copy() const { return OwnedList(platform::CloneItemIdList(p_)); }

 private:
  LPITEMIDLIST p_;
};

// One child of a folder: its one-item list, display name and whether it is a folder.
struct FolderEntry {
  OwnedList list;
  std::string name;
  bool folder = false;
};

// The children of a folder (SHCONTF flags), with their names and attributes; `result`
// (when given) gets EnumObjects' answer.
std::vector<FolderEntry> EnumerateFolder(platform::IShellFolder* folder, platform::DWORD flags,
                                         platform::HRESULT* result = nullptr);

// Command and control ids of the frame.
constexpr int kFrameToolbarId = 59392;
constexpr int kFrameStatusBarId = 59393;
constexpr int kFrameTreeAreaId = 59648;
constexpr int kFrameViewAreaId = 59649;
constexpr int kTreeId = 1;
// The frame's own commands (below 0x7000, as the toolkit's menus want them).
constexpr int kCmdClose = 0x6000;
constexpr int kCmdBack = 0x6001;
constexpr int kCmdUp = 0x6002;
constexpr int kCmdRefresh = 0x6003;
constexpr int kCmdAbout = 0x6004;

class ShellFrame final : public platform::IShellBrowser {
 public:
  // The namespace's root folder and its absolute list (copied).
  ShellFrame(platform::ComPtr<platform::IShellFolder> root, LPCITEMIDLIST rootList, std::string productName);
  ~ShellFrame() override;
  ShellFrame(const ShellFrame&) = delete;
  ShellFrame& operator=(const ShellFrame&) = delete;

  // Makes the frame and the tree pane and fills the tree's top level; false when the
  // windows cannot be made.
  bool Create();
  // Closes the view and the windows.
  void Close();

  // Shows the folder at `relative` (a list relative to the root; null: the root) at once.
  bool BrowseTo(LPCITEMIDLIST relative);
  // The list of the folder at a path of display names ("Artists/Harbor Lights"; "" the
  // root), relative to the root; false with a message when there is none.
  bool FindPath(const std::string& path, OwnedList& out, std::string& error);
  // Shows the folder of a path.
  bool Open(const std::string& path, std::string& error);
  // Runs the navigation that views asked for (BrowseObject) and whatever else waits in
  // this thread's queue.
  void Pump();

  // What shows now.
  platform::UiWindow* Frame() const;
  platform::UiWindow* TreePane() const;
  platform::IShellView* ActiveView() const { return view_.Get(); }
  platform::UiWindow* ViewWindow() const;
  // The first list view of the active view's window; null when none shows.
  platform::ListViewControl* ViewList() const;
  platform::TreeViewControl& Tree() const;
  platform::StatusBarControl& StatusBar() const;
  platform::ToolbarControl& Toolbar() const;
  // The menu bar: the view's merged menu while it has one, else the frame's own.
  const platform::Menu& MenuBar() const;
  LPCITEMIDLIST CurrentList() const { return current_.Get(); }
  std::string CurrentPath() const;
  // Commands of the menu bar and the toolbar: the frame's own, else the view's.
  void Command(int id);

  // Reloads the tree pane, keeping the expanded folders and the selection.
  void ReloadTree();

  // A tree item's context menu (the top item's: the namespace root's, with no item), as
  // its folder gives it; null when it gives none.
  platform::ComPtr<platform::IContextMenu> TreeItemMenu(platform::HTREEITEM item);
  // A right click on a tree item: its menu at `at`, and the command chosen run.
  void ShowTreeMenu(platform::HTREEITEM item, platform::Point at);
  // What a drop on a tree item goes to (the top item: the player as a whole); null when
  // the folder gives nothing.
  platform::ComPtr<platform::IDropTarget> TreeItemDropTarget(platform::HTREEITEM item);

  // IUnknown: the frame is the program's object, counted but never deleted by Release.
  platform::HRESULT QueryInterface(platform::REFIID riid, void** ppv) override;
  platform::ULONG AddRef() override { return ++refs_; }
  platform::ULONG Release() override { return --refs_; }
  // IOleWindow
  platform::HRESULT GetWindow(platform::HWND* window) override;
  platform::HRESULT ContextSensitiveHelp(bool) override { return platform::E_NOTIMPL; }
  // IShellBrowser
  platform::HRESULT InsertMenusSB(platform::HMENU shared, platform::OLEMENUGROUPWIDTHS* widths) override;
  platform::HRESULT SetMenuSB(platform::HMENU shared, void* reserved, platform::HWND activeObject) override;
  platform::HRESULT RemoveMenusSB(platform::HMENU shared) override;
  platform::HRESULT SetStatusTextSB(const char* text) override;
  platform::HRESULT EnableModelessSB(bool) override { return platform::E_NOTIMPL; }
  platform::HRESULT TranslateAcceleratorSB(platform::MSG*, std::uint16_t) override { return platform::E_NOTIMPL; }
  platform::HRESULT BrowseObject(LPCITEMIDLIST list, platform::UINT flags) override;
  platform::HRESULT GetControlWindow(platform::UINT id, platform::HWND* window) override;
  platform::HRESULT SendControlMsg(platform::UINT id, platform::UINT message, platform::WPARAM wParam,
                                   platform::LPARAM lParam, platform::LRESULT* result) override;
  platform::HRESULT QueryActiveShellView(platform::IShellView** view) override;
  platform::HRESULT OnViewWindowActive(platform::IShellView* view) override;
  platform::HRESULT SetToolbarItems(const platform::TBBUTTON* buttons, platform::UINT count,
                                    platform::UINT flags) override;

 private:
  class FrameWindow;
  class TreeWindow;
  friend class FrameWindow;
  friend class TreeWindow;

  platform::ComPtr<platform::IShellFolder> Bind(LPCITEMIDLIST relative);
  bool Show(LPCITEMIDLIST relative, bool remember);
  // The view saves its state, leaves the menus and buttons and goes.
  void DropView();
  void FillTreeLevel(platform::HTREEITEM parent, LPCITEMIDLIST relative);
  void SelectTreeItemOf(LPCITEMIDLIST relative);
  void OnTreeSelection(platform::HTREEITEM item);
  void OnTreeExpanding(platform::HTREEITEM item);
  void FreeTreeData(platform::HTREEITEM item);
  void NavigatePending();
  void SetOwnButtons();

  platform::ComPtr<platform::IShellFolder> root_;
  OwnedList rootList_;
  std::string productName_;
  std::unique_ptr<FrameWindow> frame_;
  std::unique_ptr<TreeWindow> tree_;
  platform::ComPtr<platform::IShellFolder> folder_;
  platform::ComPtr<platform::IShellView> view_;
  platform::HWND viewWindow_ = 0;
  OwnedList current_;
  std::vector<OwnedList> history_;
  platform::Menu ownMenu_;
  platform::Menu* shownMenu_ = nullptr;
  platform::HWND menuTarget_ = 0;
  std::vector<int> viewButtons_;  // commands of the view's toolbar buttons
  platform::ImageList toolbarImages_{16, 16};
  platform::ImageList treeImages_{16, 16};
  // The tree's picture of a folder's child (its icon handler's named icon); -1 for none.
  int TreeImage(platform::IShellFolder* folder, LPCITEMIDLIST item);
  // The drop target of the tree item under a drag, kept while the drag stays on it.
  platform::HTREEITEM dropItem_ = 0;
  platform::ComPtr<platform::IDropTarget> dropTarget_;
  std::unique_ptr<OwnedList> pending_;
  bool pendingBack_ = false;
  platform::ULONG noticeRegistration_ = 0;
  platform::ULONG refs_ = 1;
  bool selecting_ = false;
  bool shown_ = false;  // a folder has been shown (the history starts after it)
};

}  // namespace shellhost
