#include "hosts/shell_frame.h"

#include <cstring>
#include <functional>

#include "common/shell_utilities.h"
#include "platform/shell/change_notify.h"
#include "platform/shell/drag_drop.h"
#include "platform/ui/host.h"
#include "platform/window/wait.h"

namespace shellhost {

using platform::HRESULT;
using platform::S_OK;

namespace {

constexpr platform::UINT kNavigateMessage = platform::WM_APP + 1;
constexpr platform::UINT kNoticeMessage = platform::WM_APP + 2;

const platform::DialogTemplate& FrameTemplate() {
  using namespace platform::layout;
  static const platform::DialogTemplate t = platform::MakeTemplate(
      0, "",
      Column({Toolbar(kFrameToolbarId).Style(platform::kStyleFlat | platform::kStyleTextBesideImage),
              Row({Paint(kFrameTreeAreaId).Width(31), Paint(kFrameViewAreaId).Expand()}).Expand(),
              StatusBar(kFrameStatusBarId)}),
      platform::kFrameCaption | platform::kFrameSystemMenu | platform::kFrameThick);
  return t;
}

const platform::DialogTemplate& TreeTemplate() {
  using namespace platform::layout;
  static const platform::DialogTemplate t = platform::MakeTemplate(
      0, "",
      Column({Tree(kTreeId)
                  .Style(platform::kStyleHasButtons | platform::kStyleHasLines | platform::kStyleLinesAtRoot |
                         platform::kStyleShowSelAlways)
                  .Expand()}),
      platform::kFrameChild);
  return t;
}

platform::Menu Popup(std::initializer_list<platform::Menu::Item> items) {
  platform::Menu m;
  for (const platform::Menu::Item& item : items) m.Insert(-1, item);
  return m;
}

platform::Menu::Item Command(int id, const char* text) {
  platform::Menu::Item item;
  item.id = static_cast<platform::UINT>(id);
  item.text = text;
  return item;
}

platform::Menu::Item Separator(platform::UINT id = 0) {
  platform::Menu::Item item;
  item.id = id;
  item.flags = platform::MF_SEPARATOR;
  return item;
}

platform::Menu::Item PopupItem(platform::UINT id, const char* text, platform::Menu popup) {
  platform::Menu::Item item;
  item.id = id;
  item.text = text;
  item.flags = platform::MF_POPUP;
  item.popup = std::make_shared<platform::Menu>(std::move(popup));
  return item;
}

// The frame's menu bar: File, Edit, View (with the marker the view's items go before),
// Go and Help.
platform::Menu FrameMenu() {
  platform::Menu bar;
  bar.Insert(-1, PopupItem(platform::FCIDM_MENU_FILE, "&File", Popup({Command(kCmdClose, "&Close")})));
  bar.Insert(-1, PopupItem(platform::FCIDM_MENU_EDIT, "&Edit", platform::Menu()));
  bar.Insert(-1, PopupItem(platform::FCIDM_MENU_VIEW, "&View",
                           Popup({Separator(platform::FCIDM_MENU_VIEW_SEP_OPTIONS), Command(kCmdRefresh, "&Refresh")})));
  bar.Insert(-1, PopupItem(platform::FCIDM_MENU_TOOLS, "&Go",
                           Popup({Command(kCmdBack, "&Back"), Command(kCmdUp, "&Up One Level")})));
  bar.Insert(-1, PopupItem(platform::FCIDM_MENU_HELP, "&Help", Popup({Command(kCmdAbout, "&About shellhost")})));
  return bar;
}

// Bytes of a list without its terminator; 0 for null or malformed.
std::size_t ItemBytes(LPCITEMIDLIST list) {
  const std::size_t size = platform::ItemIdListSize(list);
  return size >= 2 ? size - 2 : 0;
}

// A list without its last item (null when it has one item or none), and its last item.
std::pair<OwnedList, OwnedList> SplitLast(LPCITEMIDLIST list) {
  const std::size_t length = ItemBytes(list);
  if (length == 0) return std::pair<OwnedList, OwnedList>();
  std::size_t cut = 0;
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(list);
  platform::ForEachItemId(bytes, length + 2, [&](const std::uint8_t* item, std::size_t size) {
    if (static_cast<std::size_t>(item - bytes) + size < length) cut = static_cast<std::size_t>(item - bytes) + size;
    return true;
  });
  std::vector<std::uint8_t> parent(bytes, bytes + cut);
  parent.insert(parent.end(), {0, 0});
  std::vector<std::uint8_t> last(bytes + cut, bytes + length);
  last.insert(last.end(), {0, 0});
  return {OwnedList(cut > 0 ? platform::ItemIdListFromBytes(parent.data(), parent.size()) : nullptr),
          OwnedList(platform::ItemIdListFromBytes(last.data(), last.size()))};
}

}  // namespace

OwnedList& OwnedList::operator=(OwnedList&& o) noexcept {
  if (this != &o) {
    platform::FreeItemIdList(p_);
    p_ = o.Release();
  }
  return *this;
}

std::vector<FolderEntry> EnumerateFolder(platform::IShellFolder* folder, platform::DWORD flags,
                                         platform::HRESULT* result) {
  std::vector<FolderEntry> entries;
  platform::ComPtr<platform::IEnumIDList> items;
  const HRESULT hr = folder->EnumObjects(0, flags, items.Put());
  if (result != nullptr) *result = hr;
  if (hr != S_OK || !items) return entries;
  for (;;) {
    LPITEMIDLIST item = nullptr;
    platform::ULONG fetched = 0;
    if (items->Next(1, &item, &fetched) != S_OK || fetched != 1) break;
    FolderEntry e;
    e.list = OwnedList(item);
    platform::STRRET name;
    if (folder->GetDisplayNameOf(item, platform::SHGDN_INFOLDER, &name) == S_OK) {
      e.name = platform::StrRetToString(&name, item);
    }
    LPCITEMIDLIST one = item;
    platform::ULONG attributes = 0;
    folder->GetAttributesOf(1, &one, &attributes);
    e.folder = (attributes & platform::SFGAO_FOLDER) != 0;
    entries.push_back(std::move(e));
  }
  return entries;
}

// ---- Windows ----

class ShellFrame::FrameWindow final : public platform::View {
 public:
  explicit FrameWindow(ShellFrame& frame) : View(FrameTemplate(), std::string(kExplorerClass)), frame_(frame) {}

 protected:
  bool OnCommand(int id, int) override {
    frame_.Command(id);
    return true;
  }
  platform::LRESULT WindowProc(platform::UINT message, platform::WPARAM wParam, platform::LPARAM lParam) override {
    if (message == kNavigateMessage) {
      frame_.NavigatePending();
      return 0;
    }
    if (message == platform::WM_APPCOMMAND) {
      // A media key pressed anywhere in the window (the tree pane's too) is the folder
      // view's; what the view leaves comes back here once and ends.
      const auto origin = static_cast<platform::HWND>(wParam);
      if (forwarding_ || frame_.viewWindow_ == 0 || origin == frame_.viewWindow_) return 0;
      forwarding_ = true;
      const platform::LRESULT used = platform::SendMessage(frame_.viewWindow_, message, wParam, lParam);
      forwarding_ = false;
      return used;
    }
    return View::WindowProc(message, wParam, lParam);
  }
  void OnClose() override { frame_.Command(kCmdClose); }

 private:
  ShellFrame& frame_;
  bool forwarding_ = false;
};

class ShellFrame::TreeWindow final : public platform::View {
 public:
  explicit TreeWindow(ShellFrame& frame) : View(TreeTemplate(), std::string(kTreePaneClass)), frame_(frame) {}

 protected:
  void OnNotify(platform::Notification& n) override {
    if (n.code == platform::NotifyCode::SelChanged) frame_.OnTreeSelection(n.newItem);
    if (n.code == platform::NotifyCode::ItemExpanding) frame_.OnTreeExpanding(n.newItem);
    if (n.code == platform::NotifyCode::RightClick) frame_.ShowTreeMenu(n.newItem, n.point);
  }
  bool OnKeyDown(platform::UINT key, platform::UINT) override {
    if (key != platform::VK_F5) return false;
    frame_.ReloadTree();
    return true;
  }
  platform::LRESULT WindowProc(platform::UINT message, platform::WPARAM wParam, platform::LPARAM lParam) override {
    // F5 from RefreshFolderViews, in this process or another; the key-up is ignored.
    if (message == platform::WM_KEYDOWN && wParam == platform::VK_F5) {
      frame_.ReloadTree();
      return 0;
    }
    if (message == kNoticeMessage) {
      frame_.ReloadTree();
      return 0;
    }
    return View::WindowProc(message, wParam, lParam);
  }

 private:
  ShellFrame& frame_;
};

// ---- The frame ----

ShellFrame::ShellFrame(platform::ComPtr<platform::IShellFolder> root, LPCITEMIDLIST rootList, std::string productName)
    : root_(std::move(root)),
      rootList_(platform::CloneItemIdList(rootList)),
      productName_(std::move(productName)),
      ownMenu_(FrameMenu()) {}

ShellFrame::~ShellFrame() { Close(); }

bool ShellFrame::Create() {
  if (frame_) return true;
  frame_ = std::make_unique<FrameWindow>(*this);
  // What a host needs before it shows the frame: its menu bar, its size, and where the
  // tree pane and the folder's view go.
  shownMenu_ = &ownMenu_;
  frame_->SetMenuBar(shownMenu_);
  frame_->SetWindowText(productName_);
  frame_->SetWindowPos(platform::HWND_TOP, 0, 0, 1200, 720, platform::SWP_NOMOVE | platform::SWP_NOZORDER);
  frame_->SetChildArea(std::string(kTreePaneClass), kFrameTreeAreaId);
  frame_->SetChildArea(std::string(kFolderViewClass), kFrameViewAreaId);
  if (!frame_->Create(0)) {
    frame_.reset();
    return false;
  }
  tree_ = std::make_unique<TreeWindow>(*this);
  if (!tree_->Create(frame_->GetSafeHwnd(), frame_.get())) {
    tree_.reset();
    frame_.reset();
    return false;
  }
  // Drops on the tree go to the folder under the pointer.
  tree_->SetDropHandler(platform::MakeDropTargetHandler([this](const platform::DragState& state) {
    if (state.treeItem != dropItem_ || !dropTarget_) {
      dropItem_ = state.treeItem;
      dropTarget_ = state.treeItem != 0 ? TreeItemDropTarget(state.treeItem) : nullptr;
    }
    return dropTarget_;
  }));
  noticeRegistration_ = platform::SHChangeNotifyRegister(
      tree_->GetSafeHwnd(), platform::SHCNE_RMDIR | platform::SHCNE_MKDIR | platform::SHCNE_UPDATEDIR, kNoticeMessage);
  SetOwnButtons();
  ReloadTree();
  return true;
}

void ShellFrame::DropView() {
  if (!view_) return;
  view_->SaveViewState();
  view_->UIActivate(platform::SVUIA_DEACTIVATE);
  view_->DestroyViewWindow();
  view_.Reset();
  viewWindow_ = 0;
}

void ShellFrame::Close() {
  DropView();
  folder_.Reset();
  if (noticeRegistration_ != 0) platform::SHChangeNotifyDeregister(noticeRegistration_);
  noticeRegistration_ = 0;
  if (tree_) {
    FreeTreeData(platform::TVI_ROOT);
    tree_->Destroy();
    tree_.reset();
  }
  if (frame_) {
    frame_->Destroy();
    frame_.reset();
  }
}

platform::UiWindow* ShellFrame::Frame() const { return frame_.get(); }
platform::UiWindow* ShellFrame::TreePane() const { return tree_.get(); }
platform::TreeViewControl& ShellFrame::Tree() const { return tree_->Tree(kTreeId); }
platform::StatusBarControl& ShellFrame::StatusBar() const { return frame_->StatusBar(kFrameStatusBarId); }
platform::ToolbarControl& ShellFrame::Toolbar() const { return frame_->Toolbar(kFrameToolbarId); }
const platform::Menu& ShellFrame::MenuBar() const { return shownMenu_ != nullptr ? *shownMenu_ : ownMenu_; }

platform::UiWindow* ShellFrame::ViewWindow() const { return platform::UiWindow::FromHandle(viewWindow_); }

platform::ListViewControl* ShellFrame::ViewList() const {
  platform::UiWindow* window = ViewWindow();
  if (window == nullptr) return nullptr;
  for (const auto& c : window->Controls()) {
    if (auto* list = dynamic_cast<platform::ListViewControl*>(c.get())) return list;
  }
  return nullptr;
}

void ShellFrame::SetOwnButtons() {
  platform::ToolbarControl& bar = Toolbar();
  while (bar.GetButtonCount() > 0) bar.DeleteButton(0);
  if (toolbarImages_.GetImageCount() == 0) {
    for (const char* icon : {"go-previous", "go-up", "view-refresh"}) toolbarImages_.Add(icon);
  }
  bar.SetImageList(&toolbarImages_);
  bar.AddButton({.command = kCmdBack, .label = "", .image = 0, .tooltip = "Back"});
  bar.AddButton({.command = kCmdUp, .label = "", .image = 1, .tooltip = "Up One Level"});
  bar.AddButton({.command = kCmdRefresh, .label = "", .image = 2, .tooltip = "Refresh"});
  viewButtons_.clear();
}

platform::ComPtr<platform::IShellFolder> ShellFrame::Bind(LPCITEMIDLIST relative) {
  if (relative == nullptr || ItemBytes(relative) == 0) return root_;
  platform::ComPtr<platform::IShellFolder> folder;
  if (root_->BindToObject(relative, nullptr, platform::IID_IShellFolder, folder.PutVoid()) != S_OK) return nullptr;
  return folder;
}

bool ShellFrame::BrowseTo(LPCITEMIDLIST relative) { return Show(relative, true); }

bool ShellFrame::Show(LPCITEMIDLIST relative, bool remember) {
  if (!frame_) return false;
  platform::ComPtr<platform::IShellFolder> folder = Bind(relative);
  if (!folder) return false;
  platform::ComPtr<platform::IShellView> view;
  if (folder->CreateViewObject(frame_->GetSafeHwnd(), platform::IID_IShellView, view.PutVoid()) != S_OK) return false;
  // One view at a time owns the merged menus and buttons: the old one goes first.
  if (view_) {
    DropView();
    SetOwnButtons();
  }
  platform::FOLDERSETTINGS settings{platform::FVM_DETAILS, 0};
  const platform::Rect area = frame_->GetWindowRect();
  const platform::RECT bounds{0, 0, area.Width() > 0 ? area.Width() : 1000, area.Height() > 0 ? area.Height() : 640};
  platform::HWND window = 0;
  if (view->CreateViewWindow(nullptr, &settings, this, &bounds, &window) != S_OK) return false;
  if (remember && shown_) history_.push_back(current_.Copy());
  shown_ = true;
  current_ = OwnedList(relative != nullptr ? platform::CloneItemIdList(relative) : nullptr);
  folder_ = folder;
  view_ = view;
  viewWindow_ = window;
  view_->UIActivate(platform::SVUIA_ACTIVATE_FOCUS);

  std::string caption = productName_;
  if (current_.Get() != nullptr) {
    platform::STRRET name;
    if (root_->GetDisplayNameOf(current_.Get(), platform::SHGDN_NORMAL, &name) == S_OK) {
      caption = platform::StrRetToString(&name, current_.Get());
    }
  }
  frame_->SetWindowText(caption);
  SelectTreeItemOf(current_.Get());
  return true;
}

bool ShellFrame::FindPath(const std::string& path, OwnedList& out, std::string& error) {
  OwnedList relative;
  platform::ComPtr<platform::IShellFolder> folder = root_;
  std::string rest = path;
  auto trim = [&rest] {
    while (!rest.empty() && (rest.front() == '/' || rest.front() == '\\')) rest.erase(0, 1);
  };
  trim();
  while (!rest.empty()) {
    std::vector<FolderEntry> entries = EnumerateFolder(folder.Get(), platform::SHCONTF_FOLDERS | platform::SHCONTF_NONFOLDERS);
    // The longest name that the rest of the path starts with, up to a separator.
    const FolderEntry* match = nullptr;
    for (const FolderEntry& e : entries) {
      if (!e.folder || rest.compare(0, e.name.size(), e.name) != 0) continue;
      if (rest.size() != e.name.size() && rest[e.name.size()] != '/' && rest[e.name.size()] != '\\') continue;
      if (match == nullptr || e.name.size() > match->name.size()) match = &e;
    }
    if (match == nullptr) {
      error = "no folder \"" + rest.substr(0, rest.find_first_of("/\\")) + "\"";
      return false;
    }
    relative = OwnedList(platform::CombineItemIdLists(relative.Get(), match->list.Get()));
    folder = Bind(relative.Get());
    if (!folder) {
      error = "cannot open \"" + match->name + "\"";
      return false;
    }
    rest.erase(0, match->name.size());
    trim();
  }
  out = std::move(relative);
  return true;
}

bool ShellFrame::Open(const std::string& path, std::string& error) {
  OwnedList relative;
  if (!FindPath(path, relative, error)) return false;
  if (!BrowseTo(relative.Get())) {
    error = "the folder gives no view";
    return false;
  }
  return true;
}

void ShellFrame::Pump() {
  platform::MSG msg;
  while (platform::PeekMessage(&msg, 0, 0, 0, platform::PM_REMOVE)) platform::DispatchMessage(&msg);
}

std::string ShellFrame::CurrentPath() const {
  std::string path;
  const std::size_t length = ItemBytes(current_.Get());
  if (length == 0) return path;
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(current_.Get());
  platform::ForEachItemId(bytes, length + 2, [&](const std::uint8_t* item, std::size_t size) {
    // The name of each item is the root's name of the list up to it.
    std::vector<std::uint8_t> prefix(bytes, item + size);
    prefix.push_back(0);
    prefix.push_back(0);
    OwnedList list(platform::ItemIdListFromBytes(prefix.data(), prefix.size()));
    platform::STRRET name;
    if (root_->GetDisplayNameOf(list.Get(), platform::SHGDN_INFOLDER, &name) == S_OK) {
      path += (path.empty() ? "" : "/") + platform::StrRetToString(&name, list.Get());
    }
    return true;
  });
  return path;
}

void ShellFrame::Command(int id) {
  switch (id) {
    case kCmdClose:
      // The loop ends; the windows go after it, never inside their own close.
      platform::PostQuitMessage(0);
      return;
    case kCmdBack:
      pendingBack_ = true;
      NavigatePending();
      return;
    case kCmdUp: {
      if (ItemBytes(current_.Get()) == 0) return;
      OwnedList up = std::move(SplitLast(current_.Get()).first);
      BrowseTo(up.Get());
      return;
    }
    case kCmdRefresh:
      if (viewWindow_ != 0) platform::SendMessage(viewWindow_, WM_VIEWCOMMAND, 0, kViewCommandRefresh);
      ReloadTree();
      return;
    case kCmdAbout:
      platform::CurrentHost().MessageBox("shellhost shows " + productName_ + " as a folder tree.", productName_,
                                         platform::MB_OK | platform::MB_ICONINFORMATION);
      return;
    default:
      // Everything else is the view's: its merged menu items and toolbar buttons.
      if (viewWindow_ != 0) platform::SendMessage(viewWindow_, platform::WM_COMMAND, static_cast<platform::WPARAM>(id), 0);
      return;
  }
}

void ShellFrame::NavigatePending() {
  if (pendingBack_) {
    pendingBack_ = false;
    pending_.reset();
    if (history_.empty()) return;
    OwnedList target = std::move(history_.back());
    history_.pop_back();
    Show(target.Get(), false);
    return;
  }
  if (!pending_) return;
  std::unique_ptr<OwnedList> target = std::move(pending_);
  BrowseTo(target->Get());
}

// ---- The tree pane ----

void ShellFrame::FreeTreeData(platform::HTREEITEM item) {
  if (!tree_) return;
  platform::TreeViewControl& tree = Tree();
  for (platform::HTREEITEM child : tree.GetChildren(item)) {
    FreeTreeData(child);
    platform::FreeItemIdList(reinterpret_cast<LPITEMIDLIST>(static_cast<std::uintptr_t>(tree.GetItemData(child))));
    tree.SetItemData(child, 0);
  }
}

int ShellFrame::TreeImage(platform::IShellFolder* folder, LPCITEMIDLIST item) {
  platform::ComPtr<platform::IExtractIconA> icon;
  if (folder->GetUIObjectOf(0, 1, &item, platform::IID_IExtractIconA, nullptr, icon.PutVoid()) != S_OK) return -1;
  char file[1024] = {};
  int index = -1;
  platform::UINT flags = 0;
  if (icon->GetIconLocation(0, file, sizeof file, &index, &flags) != S_OK) return -1;
  platform::HICON large = nullptr;
  platform::HICON small = nullptr;
  if (icon->Extract(file, static_cast<platform::UINT>(index), &large, &small, 16) != S_OK) return -1;
  const std::string name = platform::IconName(small);
  const std::string fallback = platform::IconFallbackName(small);
  const std::string emblem = platform::IconEmblemName(small);
  platform::DestroyIcon(large);
  platform::DestroyIcon(small);
  if (name.empty()) return -1;
  for (int i = 0; i < treeImages_.GetImageCount(); ++i) {
    if (treeImages_.GetIcon(i) == name && treeImages_.GetEmblem(i) == emblem) return i;
  }
  return treeImages_.Add(name, fallback, emblem);
}

void ShellFrame::FillTreeLevel(platform::HTREEITEM parent, LPCITEMIDLIST relative) {
  platform::ComPtr<platform::IShellFolder> folder = Bind(relative);
  if (!folder) return;
  platform::TreeViewControl& tree = Tree();
  for (FolderEntry& e : EnumerateFolder(folder.Get(), platform::SHCONTF_FOLDERS)) {
    if (!e.folder) continue;
    LPITEMIDLIST full = platform::CombineItemIdLists(relative, e.list.Get());
    const int image = TreeImage(folder.Get(), e.list.Get());
    const platform::HTREEITEM item =
        tree.InsertItem(e.name, parent, platform::TVI_LAST, image, image, reinterpret_cast<std::uintptr_t>(full));
    if (item == 0) {
      platform::FreeItemIdList(full);
      continue;
    }
    LPCITEMIDLIST one = e.list.Get();
    platform::ULONG attributes = 0;
    folder->GetAttributesOf(1, &one, &attributes);
    // A placeholder child shows the item can be opened; it is replaced when it is.
    if (attributes & platform::SFGAO_HASSUBFOLDER) tree.InsertItem("", item);
  }
}

void ShellFrame::OnTreeExpanding(platform::HTREEITEM item) {
  platform::TreeViewControl& tree = Tree();
  const std::vector<platform::HTREEITEM> children = tree.GetChildren(item);
  if (children.size() != 1 || tree.GetItemData(children.front()) != 0 || !tree.GetItemText(children.front()).empty()) {
    return;  // filled already
  }
  tree.DeleteItem(children.front());
  FillTreeLevel(item, reinterpret_cast<LPCITEMIDLIST>(static_cast<std::uintptr_t>(tree.GetItemData(item))));
}

void ShellFrame::ReloadTree() {
  if (!tree_) return;
  platform::TreeViewControl& tree = Tree();
  // The open folders and the selection, by their paths of names.
  std::vector<std::string> expanded;
  std::function<void(platform::HTREEITEM, const std::string&)> remember = [&](platform::HTREEITEM parent,
                                                                              const std::string& prefix) {
    for (platform::HTREEITEM child : tree.GetChildren(parent)) {
      const std::string path = prefix.empty() ? tree.GetItemText(child) : prefix + "/" + tree.GetItemText(child);
      if (tree.IsExpanded(child)) {
        expanded.push_back(path);
        remember(child, path);
      }
    }
  };
  remember(platform::TVI_ROOT, "");
  selecting_ = true;
  FreeTreeData(platform::TVI_ROOT);
  tree.DeleteAllItems();
  dropItem_ = 0;
  dropTarget_.Reset();
  if (treeImages_.GetImageCount() == 0) treeImages_.Add("multimedia-player", "drive-removable-media");
  tree.SetImageList(&treeImages_);
  const platform::HTREEITEM top = tree.InsertItem(productName_, platform::TVI_ROOT, platform::TVI_LAST, 0, 0);
  FillTreeLevel(top, nullptr);
  tree.Expand(top, platform::TVE_EXPAND);
  for (const std::string& path : expanded) {
    if (const platform::HTREEITEM item = tree.FindByPath(path)) tree.Expand(item, platform::TVE_EXPAND);
  }
  selecting_ = false;
  SelectTreeItemOf(current_.Get());
}

void ShellFrame::SelectTreeItemOf(LPCITEMIDLIST relative) {
  if (!tree_) return;
  platform::TreeViewControl& tree = Tree();
  selecting_ = true;
  platform::HTREEITEM item = tree.GetRootItem();
  const std::string path = relative == current_.Get() ? CurrentPath() : std::string();
  std::size_t at = 0;
  while (item != 0 && at < path.size()) {
    tree.Expand(item, platform::TVE_EXPAND);
    // The child whose name the rest of the path starts with (the longest).
    platform::HTREEITEM next = 0;
    std::size_t nextLength = 0;
    for (platform::HTREEITEM child : tree.GetChildren(item)) {
      const std::string name = tree.GetItemText(child);
      if (name.empty() || path.compare(at, name.size(), name) != 0) continue;
      if (at + name.size() != path.size() && path[at + name.size()] != '/') continue;
      if (name.size() > nextLength) {
        next = child;
        nextLength = name.size();
      }
    }
    if (next == 0) break;  // a folder the tree does not show (a track list's entry)
    item = next;
    at += nextLength + 1;
  }
  if (item != 0) {
    tree.SelectItem(item);
    tree.EnsureVisible(item);
  }
  selecting_ = false;
}

platform::ComPtr<platform::IContextMenu> ShellFrame::TreeItemMenu(platform::HTREEITEM item) {
  platform::ComPtr<platform::IContextMenu> menu;
  if (!tree_) return menu;
  const auto list = reinterpret_cast<LPCITEMIDLIST>(static_cast<std::uintptr_t>(Tree().GetItemData(item)));
  auto [parent, last] = SplitLast(list);
  platform::ComPtr<platform::IShellFolder> folder = Bind(parent.Get());
  if (!folder) return menu;
  LPCITEMIDLIST one = last.Get();
  folder->GetUIObjectOf(tree_->GetSafeHwnd(), one != nullptr ? 1 : 0, one != nullptr ? &one : nullptr,
                        platform::IID_IContextMenu, nullptr, menu.PutVoid());
  return menu;
}

void ShellFrame::ShowTreeMenu(platform::HTREEITEM item, platform::Point at) {
  platform::ComPtr<platform::IContextMenu> menu = TreeItemMenu(item);
  if (!menu) return;
  platform::Menu popup;
  constexpr platform::UINT kFirst = 1;
  if (platform::FAILED(menu->QueryContextMenu(&popup, 0, kFirst, 0x7FFF, platform::CMF_EXPLORE)) ||
      popup.GetItemCount() == 0) {
    return;
  }
  const platform::UINT chosen =
      platform::TrackPopupMenu(popup, platform::TPM_RETURNCMD | platform::TPM_RIGHTBUTTON, at.x, at.y, tree_->GetSafeHwnd());
  if (chosen == 0) return;
  platform::CMINVOKECOMMANDINFO info;
  info.hwnd = tree_->GetSafeHwnd();
  info.lpVerb = platform::VerbFromOffset(chosen - kFirst);
  menu->InvokeCommand(&info);
}

platform::ComPtr<platform::IDropTarget> ShellFrame::TreeItemDropTarget(platform::HTREEITEM item) {
  platform::ComPtr<platform::IDropTarget> target;
  if (!tree_) return target;
  const auto list = reinterpret_cast<LPCITEMIDLIST>(static_cast<std::uintptr_t>(Tree().GetItemData(item)));
  auto [parent, last] = SplitLast(list);
  platform::ComPtr<platform::IShellFolder> folder = Bind(parent.Get());
  if (!folder) return target;
  if (last.Get() == nullptr) {
    folder->CreateViewObject(tree_->GetSafeHwnd(), platform::IID_IDropTarget, target.PutVoid());
  } else {
    LPCITEMIDLIST one = last.Get();
    folder->GetUIObjectOf(tree_->GetSafeHwnd(), 1, &one, platform::IID_IDropTarget, nullptr, target.PutVoid());
  }
  return target;
}

void ShellFrame::OnTreeSelection(platform::HTREEITEM item) {
  if (selecting_ || item == 0) return;
  BrowseTo(reinterpret_cast<LPCITEMIDLIST>(static_cast<std::uintptr_t>(Tree().GetItemData(item))));
}

// ---- IShellBrowser ----

HRESULT ShellFrame::QueryInterface(platform::REFIID riid, void** ppv) {
  if (ppv == nullptr) return platform::E_POINTER;
  if (riid == platform::IID_IUnknown || riid == platform::IID_IOleWindow || riid == platform::IID_IShellBrowser) {
    *ppv = static_cast<platform::IShellBrowser*>(this);
    AddRef();
    return S_OK;
  }
  *ppv = nullptr;
  return platform::E_NOINTERFACE;
}

HRESULT ShellFrame::GetWindow(platform::HWND* window) {
  if (window == nullptr) return platform::E_POINTER;
  *window = frame_ ? frame_->GetSafeHwnd() : 0;
  return S_OK;
}

HRESULT ShellFrame::InsertMenusSB(platform::HMENU shared, platform::OLEMENUGROUPWIDTHS*) {
  if (shared == nullptr) return platform::E_INVALIDARG;
  *static_cast<platform::Menu*>(shared) = FrameMenu();
  return S_OK;
}

HRESULT ShellFrame::SetMenuSB(platform::HMENU shared, void*, platform::HWND activeObject) {
  shownMenu_ = shared != nullptr ? static_cast<platform::Menu*>(shared) : &ownMenu_;
  menuTarget_ = activeObject;
  if (frame_) frame_->SetMenuBar(shownMenu_);
  return S_OK;
}

HRESULT ShellFrame::RemoveMenusSB(platform::HMENU shared) {
  if (shownMenu_ == shared) {
    shownMenu_ = &ownMenu_;
    if (frame_) frame_->SetMenuBar(shownMenu_);
  }
  return S_OK;
}

HRESULT ShellFrame::SetStatusTextSB(const char* text) {
  if (!frame_) return platform::E_FAIL;
  StatusBar().SetPartText(0, text != nullptr ? text : "");
  return S_OK;
}

HRESULT ShellFrame::BrowseObject(LPCITEMIDLIST list, platform::UINT flags) {
  if (!frame_) return platform::E_FAIL;
  if (flags & platform::SBSP_NAVIGATEBACK) {
    pendingBack_ = true;
  } else {
    OwnedList target;
    if (flags & platform::SBSP_RELATIVE) {
      target = OwnedList(platform::CombineItemIdLists(current_.Get(), list));
    } else if (list != nullptr) {
      // An absolute list begins with the root's own items.
      const std::size_t rootBytes = ItemBytes(rootList_.Get());
      const std::size_t listBytes = ItemBytes(list);
      if (listBytes < rootBytes || std::memcmp(list, rootList_.Get(), rootBytes) != 0) return platform::E_INVALIDARG;
      if (listBytes > rootBytes) {
        target = OwnedList(platform::ItemIdListFromBytes(reinterpret_cast<const std::uint8_t*>(list) + rootBytes,
                                                         listBytes - rootBytes + 2));
      }
    }
    pending_ = std::make_unique<OwnedList>(std::move(target));
  }
  // Never inside the view's own call: the view may be the one that goes.
  platform::PostMessage(frame_->GetSafeHwnd(), kNavigateMessage, 0, 0);
  return S_OK;
}

HRESULT ShellFrame::GetControlWindow(platform::UINT id, platform::HWND* window) {
  if (window == nullptr) return platform::E_POINTER;
  *window = 0;
  if (id == platform::FCW_TREE && tree_) *window = tree_->GetSafeHwnd();
  if ((id == platform::FCW_STATUS || id == platform::FCW_TOOLBAR) && frame_) *window = frame_->GetSafeHwnd();
  return *window != 0 ? S_OK : platform::E_FAIL;
}

HRESULT ShellFrame::SendControlMsg(platform::UINT id, platform::UINT message, platform::WPARAM wParam,
                                   platform::LPARAM lParam, platform::LRESULT* result) {
  if (result != nullptr) *result = 0;
  if (!frame_) return platform::E_FAIL;
  platform::LRESULT answer = 0;
  if (id == platform::FCW_STATUS) {
    platform::StatusBarControl& bar = StatusBar();
    switch (message) {
      case platform::SB_SETTEXT:
        answer = bar.SetPartText(static_cast<int>(wParam & 0xFF),
                                 lParam != 0 ? reinterpret_cast<const char*>(lParam) : "");
        break;
      case platform::SB_GETTEXT:
        if (lParam != 0) *reinterpret_cast<std::string*>(lParam) = bar.GetPartText(static_cast<int>(wParam & 0xFF));
        answer = 1;
        break;
      case platform::SB_SETPARTS: {
        const auto* edges = reinterpret_cast<const int*>(lParam);
        bar.SetParts(edges != nullptr ? std::vector<int>(edges, edges + wParam) : std::vector<int>());
        answer = 1;
        break;
      }
      case platform::WM_SHOWWINDOW:
        frame_->ShowDlgItem(kFrameStatusBarId, wParam != 0);
        break;
      default:
        return platform::E_INVALIDARG;
    }
  } else if (id == platform::FCW_TOOLBAR) {
    platform::ToolbarControl& bar = Toolbar();
    switch (message) {
      case platform::TB_CHECKBUTTON:
        answer = bar.CheckButton(static_cast<int>(wParam), lParam != 0);
        break;
      case platform::TB_ISBUTTONCHECKED: {
        const int at = bar.CommandToIndex(static_cast<int>(wParam));
        answer = at >= 0 && bar.GetButton(at).checked;
        break;
      }
      default:
        return platform::E_INVALIDARG;
    }
  } else {
    return platform::E_INVALIDARG;
  }
  if (result != nullptr) *result = answer;
  return S_OK;
}

HRESULT ShellFrame::QueryActiveShellView(platform::IShellView** view) {
  if (view == nullptr) return platform::E_POINTER;
  *view = view_.Get();
  if (*view == nullptr) return platform::E_FAIL;
  (*view)->AddRef();
  return S_OK;
}

HRESULT ShellFrame::OnViewWindowActive(platform::IShellView*) { return S_OK; }

HRESULT ShellFrame::SetToolbarItems(const platform::TBBUTTON* buttons, platform::UINT count, platform::UINT) {
  if (!frame_) return platform::E_FAIL;
  SetOwnButtons();
  platform::ToolbarControl& bar = Toolbar();
  platform::ImageList& images = toolbarImages_;
  if (count > 0) bar.AddButton({.separator = true});
  for (platform::UINT i = 0; buttons != nullptr && i < count; ++i) {
    const platform::TBBUTTON& b = buttons[i];
    if (b.fsStyle & platform::BTNS_SEP) {
      bar.AddButton({.separator = true});
      continue;
    }
    int image = -1;
    if (b.icon != nullptr) {
      for (int k = 0; k < images.GetImageCount() && image < 0; ++k) {
        if (images.GetIcon(k) == b.icon) image = k;
      }
      if (image < 0) image = images.Add(b.icon);
    }
    platform::ToolbarControl::ToolButton t;
    t.command = b.idCommand;
    t.label = (b.fsStyle & platform::BTNS_SHOWTEXT) && b.text != nullptr ? b.text : "";
    t.image = image;
    t.tooltip = b.tooltip != nullptr ? b.tooltip : "";
    t.checkable = (b.fsStyle & platform::BTNS_CHECK) != 0;
    t.checked = (b.fsState & platform::TBSTATE_CHECKED) != 0;
    t.enabled = (b.fsState & platform::TBSTATE_ENABLED) != 0;
    bar.AddButton(t);
    viewButtons_.push_back(b.idCommand);
  }
  bar.SetImageList(&images);  // the new pictures are shown
  return S_OK;
}

}  // namespace shellhost
