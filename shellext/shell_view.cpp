#include "shellext/shell_view.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <optional>

#include "common/identity.h"
#include "common/settings.h"
#include "common/shell_utilities.h"
#include "device/sortable.h"
#include "device/messages.h"
#include "platform/com/drop_files.h"
#include "platform/shell/drag_drop.h"
#include "platform/text/text.h"
#include "platform/ui/desktop.h"
#include "shellext/context_menu.h"
#include "shellext/data_object.h"
#include "shellext/drag_drop.h"
#include "shellext/enum_id_list.h"
#include "shellext/fill_command.h"
#include "shellext/icons.h"
#include "shellext/item_order.h"
#include "shellext/playlist_commands.h"
#include "shellext/shell_folder.h"
#include "shellext/view_commands.h"

using namespace device;

namespace shellext {

using platform::HRESULT;
using platform::LPARAM;
using platform::LRESULT;
using platform::S_OK;
using platform::UINT;
using platform::WPARAM;

namespace {

const platform::DialogTemplate& ViewTemplate(bool folderToolbar) {
  using namespace platform::layout;
  static const platform::DialogTemplate with = platform::MakeTemplate(
      0, "",
      Column({Toolbar(kFolderToolbarId).Style(platform::kStyleFlat | platform::kStyleTextBesideImage),
              ListView(kViewListId).Style(platform::kStyleShowSelAlways | platform::kStyleNoBorder).Expand()}),
      platform::kFrameChild);
  static const platform::DialogTemplate without = platform::MakeTemplate(
      0, "", Column({ListView(kViewListId).Style(platform::kStyleShowSelAlways | platform::kStyleNoBorder).Expand()}),
      platform::kFrameChild);
  return folderToolbar ? with : without;
}

platform::ListViewMode ModeOf(UINT viewMode) {
  switch (viewMode) {
    case platform::FVM_SMALLICON: return platform::ListViewMode::SmallIcon;
    case platform::FVM_LIST: return platform::ListViewMode::List;
    case platform::FVM_DETAILS: return platform::ListViewMode::Report;
    default: return platform::ListViewMode::Icon;
  }
}

// The folder toolbar's pictures by the index of the design's bitmap; Restore Playlist
// (the design's 13 as well) has a picture of its own, 14.
const char* FolderToolbarIcon(int image) {
  switch (image) {
    case 11: return "edit-find";
    case 13: return "document-save";
    case 14: return "document-revert";
    case 17: return "list-add";
    case 23: return "folder-new";
    case 30: return "mail-send-receive";
    case 31: return "contact-new";
    case 32: return "document-new";
    default: return "image-missing";
  }
}

// The folder toolbar's buttons by the folder's node type (0: every other folder): the
// folder's own item command, its label and its picture.
struct FolderButton {
  std::uint32_t folderType;
  int command;
  const char* label;
  int image;
};

constexpr FolderButton kFolderButtons[] = {
    {NT_LISTS, kItemNewPlaylist, "New Playlist", 17},
    {NT_LISTS, kItemNewQuodrel, "New Quodrel", 17},
    {NT_LISTS, kItemBackupPlaylists, "Backup Playlists", 13},
    {NT_LISTS, kItemRestorePlaylist, "Restore Playlist", 14},
    {NT_CONTACTFOLDER, kItemNewNoteOrContact, "New Contact", 31},
    {NT_CONTACTFOLDER, kItemSyncContacts, "Sync with vCard Folder (Default Folder)", 30},
    {NT_CONTACTFOLDER, kItemSyncContactsChoose, "Sync with vCard Folder (Choose Folder)", 30},
    {NT_NOTEFOLDER, kItemNewNoteOrContact, "New Note", 32},
    {NT_NOTEFOLDER, kItemNewFolder, "New Notes Folder", 23},
    {0, kItemNewSimpleSearch, "Simple Search", 11},
    {0, kItemNewAdvancedSearch, "Advanced Search", 11},
};

bool IsFolderButton(int command) {
  return std::any_of(std::begin(kFolderButtons), std::end(kFolderButtons),
                     [command](const FolderButton& b) { return b.command == command; });
}

// The buttons the view adds to its host's toolbar: command, tooltip, picture and the
// capability that shows it (null: always).
struct BrowserButton {
  int command;  // 0: a separator
  const char* tooltip;
  const char* icon;
  int (KernelDevice::*shownWhen)();
};

const std::vector<BrowserButton>& BrowserButtons() {
  static const std::vector<BrowserButton> buttons = {
      {kCmdOptions, nullptr, "preferences-system", nullptr},
      {kCmdHelp, "Help", "help-browser", nullptr},
      {0, nullptr, nullptr, nullptr},
      {kCmdSync, "Sync", "emblem-synchronizing", &KernelDevice::SupportsTagIndex},  // not the host's Refresh
      {kCmdFill, "Ferrowin", "document-send", &KernelDevice::SupportsStorageList},
      {kCmdReports, "Reports", "x-office-document", nullptr},
      {0, nullptr, nullptr, &KernelDevice::SupportsPlayback},
      {kCmdPrevious, "Back", "media-skip-backward", &KernelDevice::SupportsPlayback},
      {kCmdPlay, "Play", "media-playback-start", &KernelDevice::SupportsPlayback},
      {kCmdPause, "Pause", "media-playback-pause", &KernelDevice::SupportsPlayback},
      {kCmdStop, "Stop", "media-playback-stop", &KernelDevice::SupportsPlayback},
      {kCmdNext, "Next", "media-skip-forward", &KernelDevice::SupportsPlayback},
      {0, nullptr, nullptr, &KernelDevice::SupportsPlayback},
      {kCmdMute, "Mute", "audio-volume-muted", &KernelDevice::SupportsPlayback},
      {kCmdVolume, "Volume/EAX", "audio-volume-high", &KernelDevice::SupportsPlayback},
      {0, nullptr, nullptr, nullptr},
      {kCmdTopLevel, "Top Level", "go-top", nullptr},
      {kCmdAudioTracks, "Audio Tracks", "folder-music", &KernelDevice::SupportsTagIndex},
      {kCmdSearch, "Search", "edit-find", &KernelDevice::SupportsTagIndex},
      {kCmdPlaylists, "Playlists", "view-list", &KernelDevice::SupportsPlaylists},
      {kCmdActiveQueue, "Active Queue", "view-list-ordered", &KernelDevice::SupportsPlayback},
  };
  return buttons;
}

std::string OptionsTooltip() { return g_ProductIdentity.suiteName + " Options"; }

platform::Menu::Item Separator() {
  platform::Menu::Item item;
  item.flags = platform::MF_SEPARATOR;
  return item;
}

// Rows that sort by folder order whatever the column.
bool IsSpecialRow(std::uint32_t type) {
  return type == NT_MESSAGE || type == NT_ERROR || type == 0x2010 || type == NT_ACTION;
}

}  // namespace

// ---- Menus ----

platform::Menu ViewEditMenu() {
  platform::Menu m;
  m.Append(platform::MF_STRING, kCmdCopy, "Copy");
  m.Append(platform::MF_STRING, kCmdPaste, "Paste");
  m.AppendSeparator();
  m.Append(platform::MF_STRING, kCmdSelectAll, "&Select All");
  m.Append(platform::MF_STRING, kCmdInvertSelection, "&Invert selection");
  return m;
}

platform::Menu ViewViewMenu() {
  platform::Menu m;
  m.Append(platform::MF_STRING, kCmdLargeIcons, "&Large Icons");
  m.Append(platform::MF_STRING, kCmdSmallIcons, "&Small Icons");
  m.Append(platform::MF_STRING, kCmdList, "L&ist");
  m.Append(platform::MF_STRING, kCmdDetails, "&Details");
  m.AppendSeparator();
  m.Append(platform::MF_STRING, kCmdProperties, "&Properties");
  return m;
}

platform::Menu ToolbarPopupMenu() {
  platform::Menu m;
  m.Append(platform::MF_STRING, kCmdOptions, "Configuration");
  m.Append(platform::MF_STRING, kCmdHelp, "Help");
  m.AppendSeparator();
  m.Append(platform::MF_STRING, kCmdReports, "Reports");
  m.Append(platform::MF_STRING, kCmdSync, "Synchro");
  m.AppendSeparator();
  m.Append(platform::MF_STRING, kCmdPrevious, "Back");
  m.Append(platform::MF_STRING, kCmdPlay, "Play");
  m.Append(platform::MF_STRING, kCmdPause, "Pause");
  m.Append(platform::MF_STRING, kCmdStop, "Stop");
  m.Append(platform::MF_STRING, kCmdNext, "Next");
  m.AppendSeparator();
  m.Append(platform::MF_STRING, kCmdMute, "Mute");
  m.Append(platform::MF_STRING, kCmdVolume, "Volume/EAX");
  return m;
}

platform::Menu ColumnPopupMenu() {
  platform::Menu m;
  m.Append(platform::MF_STRING, kCmdRestoreColumns, "Restore Column Defaults");
  m.Append(platform::MF_STRING, kCmdCompactColumns, "Compact Column Widths");
  return m;
}

// ---- The window ----

class CShellView::ViewWindow final : public platform::View {
 public:
  ViewWindow(CShellView& view, const platform::DialogTemplate& t) : View(t, std::string(kFolderViewClass)), view_(view) {}

 protected:
  void OnCreate() override { view_.OnCreate(); }
  bool OnCommand(int id, int) override {
    view_.OnCommand(id);
    return true;
  }
  void OnNotify(platform::Notification& n) override { view_.OnNotify(n); }
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
    bool handled = false;
    const LRESULT r = view_.OnMessage(message, wParam, lParam, handled);
    return handled ? r : View::WindowProc(message, wParam, lParam);
  }

 private:
  CShellView& view_;
};

// The list's drop target: a drag of the library's ids marks the pointer as over its own
// target; every drag may drop (the folder's target decides and says why not); the row
// under the pointer is highlighted.
class CShellView::ViewDrops final : public platform::DropHandler {
 public:
  explicit ViewDrops(CShellView& view) : view_(view) {}

  platform::DWORD DragEnter(const std::shared_ptr<platform::DataOffer>& offer, const platform::DragState& state) override {
    data_ = platform::ComPtr<platform::IDataObject>::Attach(platform::DataObjectOfOffer(offer));
    platform::FORMATETC ids;
    ids.cfFormat = static_cast<platform::CLIPFORMAT>(g_cfKernelIdList);
    const bool own = g_cfKernelIdList != 0 && data_ && data_->QueryGetData(&ids) == S_OK;
    if (own) g_DragOverOwnTarget = 1;
    view_.SetDropRow(state.row);
    return own ? platform::DROPEFFECT_COPY : platform::DROPEFFECT_NONE;
  }
  platform::DWORD DragOver(const platform::DragState& state) override {
    view_.SetDropRow(state.row);
    return platform::DROPEFFECT_COPY;
  }
  void DragLeave() override {
    view_.SetDropRow(-1);
    g_DragOverOwnTarget = 0;
    data_.Reset();
  }
  platform::DWORD Drop(const std::shared_ptr<platform::DataOffer>& offer, const platform::DragState& state) override {
    view_.SetDropRow(-1);
    if (!data_) data_ = platform::ComPtr<platform::IDataObject>::Attach(platform::DataObjectOfOffer(offer));
    platform::DWORD effect = platform::DROPEFFECT_NONE;
    if (platform::ComPtr<platform::IDropTarget> target = view_.DropTargetAt(state.row); target && data_) {
      effect = state.allowed;
      target->Drop(data_.Get(), state.keys, platform::POINTL{state.at.x, state.at.y}, &effect);
    }
    g_DragOverOwnTarget = 0;
    data_.Reset();
    return effect;
  }

 private:
  CShellView& view_;
  platform::ComPtr<platform::IDataObject> data_;
};

// ---- Construction and COM ----

CShellView::CShellView(CShellFolder* folder, LPCITEMIDLIST folderList)
    : folder_(folder), folderList_(pidls_.Copy(folderList)) {
  if (folder_ != nullptr) folder_->AddRef();
  if (GetLastItemId(folderList_) != nullptr) {
    const CPidlLast last(folderList_);
    folderType_ = last->nodeType;
    folderKind_ = last->id.word[0];
    folderListReadable_ = true;
  }
}

CShellView::~CShellView() {
  if (window_) DestroyViewWindow();
  pidls_.Free(folderList_);
  if (folder_ != nullptr) folder_->Release();
}

HRESULT CShellView::QueryInterface(platform::REFIID riid, void** ppv) {
  if (ppv == nullptr) return platform::E_POINTER;
  if (riid == platform::IID_IUnknown || riid == platform::IID_IOleWindow || riid == platform::IID_IShellView) {
    *ppv = static_cast<platform::IShellView*>(this);
    AddRef();
    return S_OK;
  }
  *ppv = nullptr;
  return platform::E_NOINTERFACE;
}

platform::ULONG CShellView::AddRef() { return refs_.Add(); }

platform::ULONG CShellView::Release() {
  const platform::ULONG n = refs_.Drop();
  if (n == 0) delete this;
  return n;
}

HRESULT CShellView::GetWindow(platform::HWND* window) {
  if (window == nullptr) return platform::E_POINTER;
  *window = window_ ? window_->GetSafeHwnd() : 0;
  return S_OK;
}

HRESULT CShellView::GetCurrentInfo(platform::FOLDERSETTINGS* settings) {
  if (settings == nullptr) return platform::E_POINTER;
  *settings = settings_;
  return S_OK;
}

HRESULT CShellView::GetItemObject(platform::UINT item, platform::REFIID riid, void** ppv) {
  if (ppv == nullptr) return platform::E_POINTER;
  *ppv = nullptr;
  if (riid != platform::IID_IContextMenu || folder_ == nullptr) return platform::E_NOTIMPL;
  std::vector<LPCITEMIDLIST> items;
  if ((item & 0xFF) == platform::SVGIO_SELECTION) {
    items = SelectedLists();
  } else if (folderList_ != nullptr) {
    items.push_back(folderList_);
  }
  return folder_->GetUIObjectOf(window_ ? window_->GetSafeHwnd() : 0, static_cast<UINT>(items.size()),
                                items.empty() ? nullptr : items.data(), riid, nullptr, ppv);
}

HRESULT CShellView::SaveViewState() {
  if (settings_.ViewMode == platform::FVM_DETAILS && columns_) columns_->SaveLayout();
  return platform::E_NOTIMPL;
}

platform::View* CShellView::Window() const { return window_.get(); }

platform::ListViewControl* CShellView::List() const {
  if (externalList_ != nullptr) return externalList_;
  if (!window_ || !window_->IsOpen()) return nullptr;
  return &window_->ListView(kViewListId);
}

LPCITEMIDLIST CShellView::RowList(int row) const {
  platform::ListViewControl* list = List();
  if (list == nullptr) return nullptr;
  return reinterpret_cast<LPCITEMIDLIST>(static_cast<std::uintptr_t>(list->GetItemData(row)));
}

// ---- Window creation ----

HRESULT CShellView::CreateViewWindow(platform::IShellView*, const platform::FOLDERSETTINGS* settings,
                                     platform::IShellBrowser* browser, const platform::RECT* bounds,
                                     platform::HWND* window) {
  if (window != nullptr) *window = 0;
  if (browser == nullptr) return platform::E_INVALIDARG;
  if (window_) return platform::E_FAIL;
  browser_ = browser;
  browser_->AddRef();
  if (settings != nullptr) settings_ = *settings;
  platform::HWND parent = 0;
  browser_->GetWindow(&parent);

  // The folder toolbar: Search, Notes, Contacts, and Playlists on a player with a tag index.
  hasFolderToolbar_ = (folderType_ == NT_CONTAINER && folderKind_ == kKindSearch) || folderType_ == NT_NOTEFOLDER ||
                      folderType_ == NT_CONTACTFOLDER ||
                      (folderType_ == NT_LISTS && folderKind_ == kListPlaylists &&
                       Capability(&KernelDevice::SupportsTagIndex) != 0);
  window_ = std::make_unique<ViewWindow>(*this, ViewTemplate(hasFolderToolbar_));
  if (!window_->Create(parent, platform::UiWindow::FromHandle(parent))) {
    window_.reset();
    browser_->Release();
    browser_ = nullptr;
    return platform::E_FAIL;
  }
  SetOwnerWindow(window_->GetSafeHwnd());
  window_->SetDropHandler(std::make_shared<ViewDrops>(*this));
  if (bounds != nullptr) {
    window_->SetWindowPos(platform::HWND_TOP, bounds->left, bounds->top, bounds->right - bounds->left,
                          bounds->bottom - bounds->top, platform::SWP_NOZORDER);
  }
  AddToolbarButtons();
  if (window != nullptr) *window = window_->GetSafeHwnd();
  return S_OK;
}

bool CShellView::OnCreate() {
  platform::ListViewControl& list = window_->ListView(kViewListId);

  // Details, unless the person chose another style for this kind of folder.
  settings_.ViewMode = platform::FVM_DETAILS;
  std::uint32_t stored = settings_.ViewMode;
  if (folderType_ == NT_CONTAINER || folderType_ == NT_LISTS) {
    ReadSettingDword("Gen_AudioViewMode", stored);
  } else if (folderType_ == NT_DATAFOLDER || folderType_ == NT_DATA) {
    ReadSettingDword("Gen_DataViewMode", stored);
  }
  if (stored >= platform::FVM_ICON && stored <= platform::FVM_DETAILS) settings_.ViewMode = stored;
  if (hasFolderToolbar_) BuildFolderToolbar();
  list.SetView(ModeOf(settings_.ViewMode));

  columns_ = std::make_unique<ColumnManager>(list, folderList_);
  list.SetImageList(&SharedImageList(true), true);
  list.SetImageList(&SharedImageList(false), false);
  try {
    Device().AddNotifyWindow(window_->GetSafeHwnd());
  } catch (const std::exception&) {
    // playback notices are a nicety
  }

  // The product's picture behind the root and the device information.
  if (folderList_ == nullptr || folderType_ == NT_DEVICE || folderType_ == NT_INFO) {
    list.SetBackgroundImage("multimedia-player", 100, 100);
    backgroundPicture_ = true;
  }

  std::uint32_t colour = spreadsheetColour_;
  ReadSettingDword("Gen_SpreadsheetColor", colour);
  spreadsheetColour_ = colour;
  std::uint32_t fullRow = 1;
  ReadSettingDword("Gen_EnableFullRowSelect", fullRow);
  std::uint32_t grid = 1;
  ReadSettingDword("Gen_EnableSpreadsheetView", grid);
  spreadsheet_ = grid != 0;
  UINT style = fullRow != 0 ? platform::LVS_EX_FULLROWSELECT : 0;
  if (!backgroundPicture_ && spreadsheet_ && folderType_ != NT_LISTS) style |= platform::LVS_EX_GRIDLINES;
  list.SetExtendedStyle(platform::LVS_EX_FULLROWSELECT | platform::LVS_EX_GRIDLINES, style);

  browser_->SendControlMsg(platform::FCW_STATUS, platform::WM_SHOWWINDOW, 1, 0, nullptr);
  return true;
}

void CShellView::BuildFolderToolbar() {
  platform::ToolbarControl& bar = window_->Toolbar(kFolderToolbarId);
  std::vector<FolderButton> buttons;
  for (const FolderButton& b : kFolderButtons) {
    if (b.folderType == folderType_) buttons.push_back(b);
  }
  if (buttons.empty()) {
    for (const FolderButton& b : kFolderButtons) {
      if (b.folderType == 0) buttons.push_back(b);
    }
  }
  static platform::ImageList images(16, 16);
  if (images.GetImageCount() == 0) {
    for (int image : {11, 13, 14, 17, 23, 30, 31, 32}) images.Add(FolderToolbarIcon(image));
  }
  bar.SetImageList(&images);
  for (const FolderButton& b : buttons) {
    int at = 0;
    for (int i = 0; i < images.GetImageCount(); ++i) {
      if (images.GetIcon(i) == FolderToolbarIcon(b.image)) at = i;
    }
    bar.AddButton({.command = b.command, .label = b.label, .image = at, .tooltip = b.label});
  }
}

void CShellView::AddToolbarButtons() {
  std::vector<platform::TBBUTTON> buttons;
  const std::string options = OptionsTooltip();
  for (const BrowserButton& b : BrowserButtons()) {
    if (b.shownWhen != nullptr && Capability(b.shownWhen) == 0) continue;
    platform::TBBUTTON t;
    if (b.command == 0) {
      t.fsStyle = platform::BTNS_SEP;
    } else {
      t.idCommand = b.command;
      t.icon = b.icon;
      t.tooltip = b.tooltip != nullptr ? b.tooltip : options.c_str();
      if (b.command == kCmdOptions) {
        t.fsStyle = platform::BTNS_SHOWTEXT;
        t.text = options.c_str();
      }
      if (b.command == kCmdPause || b.command == kCmdMute) t.fsStyle |= platform::BTNS_CHECK;
    }
    buttons.push_back(t);
  }
  browser_->SetToolbarItems(buttons.data(), static_cast<UINT>(buttons.size()), platform::FCT_ADDTOEND);
}

HRESULT CShellView::DestroyViewWindow() {
  if (!window_) return S_OK;
  if (platform::ListViewControl* list = List()) list->DeleteAllItems();  // the rows' lists go
  UIActivate(platform::SVUIA_DEACTIVATE);
  columns_.reset();
  window_->Destroy();
  window_.reset();
  if (browser_ != nullptr) {
    browser_->Release();
    browser_ = nullptr;
  }
  return S_OK;
}

// ---- Activation, menus and the host's toolbar ----

HRESULT CShellView::UIActivate(platform::UINT state) {
  if (state == uiState_) return S_OK;
  std::uint32_t autoFocus = 0;
  ReadSettingDword("Gen_Acc_RightPaneAutoFocus", autoFocus);
  if (autoFocus != 0 && window_) window_->GotoDlgCtrl(kViewListId);
  if (uiState_ != platform::SVUIA_DEACTIVATE) {
    RemoveMenus();
    uiState_ = platform::SVUIA_DEACTIVATE;
  }
  if (state != platform::SVUIA_DEACTIVATE && browser_ != nullptr) MergeMenus();
  uiState_ = state;
  UpdateToolbarState();
  if (state != platform::SVUIA_DEACTIVATE && browser_ != nullptr) {
    // Every part keeps room of its own: 300 pixels, 200 more, then the rest.
    const int edges[3] = {300, 500, -1};
    browser_->SendControlMsg(platform::FCW_STATUS, platform::SB_SETPARTS, 3, reinterpret_cast<LPARAM>(edges), nullptr);
    UpdateStatus();
    RefreshList();
  }
  return S_OK;
}

void CShellView::MergeMenus() {
  menu_ = std::make_unique<platform::Menu>();
  platform::OLEMENUGROUPWIDTHS widths;
  browser_->InsertMenusSB(menu_.get(), &widths);
  if (platform::Menu* view = menu_->FindPopup(platform::FCIDM_MENU_VIEW)) {
    const int marker = view->IndexOf(platform::FCIDM_MENU_VIEW_SEP_OPTIONS);
    int at = marker >= 0 ? marker : view->GetItemCount();
    const platform::Menu items = ViewViewMenu();
    for (const platform::Menu::Item& item : items.Items()) view->Insert(at++, item);
    view->Insert(at, Separator());
  }
  if (platform::Menu* edit = menu_->FindPopup(platform::FCIDM_MENU_EDIT)) {
    int at = 0;
    const platform::Menu items = ViewEditMenu();
    for (const platform::Menu::Item& item : items.Items()) edit->Insert(at++, item);
    edit->Insert(at, Separator());
  }
  browser_->SetMenuSB(menu_.get(), nullptr, window_ ? window_->GetSafeHwnd() : 0);
}

void CShellView::RemoveMenus() {
  if (!menu_) return;
  if (browser_ != nullptr) {
    browser_->SetMenuSB(nullptr, nullptr, 0);
    browser_->RemoveMenusSB(menu_.get());
  }
  menu_.reset();
}

void CShellView::UpdateToolbarState() {
  if (browser_ == nullptr) return;
  const int mode = settings_.ViewMode == platform::FVM_ICON        ? kCmdLargeIcons
                   : settings_.ViewMode == platform::FVM_SMALLICON ? kCmdSmallIcons
                   : settings_.ViewMode == platform::FVM_LIST      ? kCmdList
                                                                   : kCmdDetails;
  browser_->SendControlMsg(platform::FCW_TOOLBAR, platform::TB_CHECKBUTTON, static_cast<WPARAM>(mode), 1, nullptr);
  try {
    KernelDevice& device = Device();
    if (device.SupportsPlayback() != 0) {
      browser_->SendControlMsg(platform::FCW_TOOLBAR, platform::TB_CHECKBUTTON, kCmdMute, device.IsMuted() != 0, nullptr);
      browser_->SendControlMsg(platform::FCW_TOOLBAR, platform::TB_CHECKBUTTON, kCmdPause, device.IsPaused() != 0, nullptr);
    }
  } catch (const std::exception&) {
    // the buttons keep their state
  }
}

void CShellView::SetStatusText(int part, const std::string& text) {
  if (browser_ == nullptr) return;
  browser_->SendControlMsg(platform::FCW_STATUS, platform::SB_SETTEXT, static_cast<WPARAM>(part),
                           reinterpret_cast<LPARAM>(text.c_str()), nullptr);
}

// ---- Messages, commands and notifications ----

LRESULT CShellView::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) {
  handled = true;
  switch (message) {
    case WM_VIEWCOMMAND:
      OnViewCommand(lParam);
      return 0;
    case WM_APPCOMMAND: {
      // The media keys run the player's buttons.
      const int command = static_cast<int>((static_cast<std::uint64_t>(lParam) >> 16) & 0x0FFF);
      switch (command) {
        case 11: OnCommand(kCmdNext); return 1;
        case 12: OnCommand(kCmdPrevious); return 1;
        case 13: OnCommand(kCmdStop); return 1;
        case 14: OnCommand(kCmdPause); return 1;
        default:
          handled = false;  // the desktop's rule: on to the parent
          return 0;
      }
    }
    case WM_NOWPLAYING:
      ViewCommands(*this).NowPlaying(wParam, lParam);
      return 0;
    case WM_PLAYBACKSTOPPED:
      ViewCommands(*this).PlaybackStopped();
      return 0;
    case WM_SETFOCUS:
      if (browser_ != nullptr) browser_->OnViewWindowActive(this);
      UIActivate(platform::SVUIA_ACTIVATE_FOCUS);
      return 0;
    case platform::WM_CONTEXTMENU:
      OnContextMenu(false, false);
      return 0;
    case platform::WM_KEYDOWN:
      if (wParam == platform::VK_ESCAPE) {
        if (platform::ListViewControl* list = List()) list->UserReorderCancel();
      }
      return 0;
    default:
      handled = false;
      return 0;
  }
}

void CShellView::OnViewCommand(LPARAM code) {
  switch (code) {
    case static_cast<LPARAM>(kViewCommandRefresh):
    case static_cast<LPARAM>(kViewCommandReload):
      RefreshList();
      break;
    case static_cast<LPARAM>(kViewCommandActivate):
      ActivateSelectedRow();
      break;
    case static_cast<LPARAM>(kViewCommandBack):
      if (browser_ != nullptr) browser_->BrowseObject(nullptr, platform::SBSP_NAVIGATEBACK);
      break;
    default:
      break;
  }
}

void CShellView::OnCommand(int id) {
  switch (id) {
    case kCmdCopy: {
      const std::vector<LPCITEMIDLIST> selection = SelectedLists();
      if (selection.empty()) {
        ShowInformation("No files are selected.");
      } else if (folder_ != nullptr) {
        CopyItemsToClipboard(*folder_, selection);
      }
      return;
    }
    case kCmdPaste:
      if (folderList_ != nullptr && !folderListReadable_) {
        ShowInformation("The file manager passed bad items to " + g_ProductIdentity.suiteName + ".");
      } else {
        InvokeItemCommand(kItemPaste, {});
      }
      return;
    case kCmdFill: OpenFillDialog(Device(), GetOwnerWindow()); return;
    case kCmdSelectAll: SelectAll(); return;
    case kCmdInvertSelection: InvertSelection(); return;
    case kCmdLargeIcons: SetListStyle(platform::FVM_ICON); return;
    case kCmdSmallIcons: SetListStyle(platform::FVM_SMALLICON); return;
    case kCmdList: SetListStyle(platform::FVM_LIST); return;
    case kCmdDetails: SetListStyle(platform::FVM_DETAILS); return;
    case kCmdTopLevel:
    case kCmdAudioTracks:
    case kCmdSearch:
    case kCmdPlaylists:
    case kCmdActiveQueue: {
      const FixedFolder which = id == kCmdTopLevel      ? FixedFolder::kDeviceRoot
                                : id == kCmdAudioTracks ? FixedFolder::kAudioTracks
                                : id == kCmdSearch      ? FixedFolder::kSearch
                                : id == kCmdPlaylists   ? FixedFolder::kPlaylists
                                                        : FixedFolder::kActiveQueue;
      if (LPCITEMIDLIST target = GetFixedFolderList(which); target != nullptr && browser_ != nullptr) {
        browser_->BrowseObject(target, platform::SBSP_ABSOLUTE);
      }
      return;
    }
    case kCmdRestoreColumns:
      if (columns_) {
        columns_->RestoreDefaults();
        columns_->SaveLayout();
      }
      return;
    case kCmdCompactColumns:
      if (columns_) {
        columns_->AutoSizeColumns();
        columns_->SaveLayout();
      }
      return;
    default:
      if (IsFolderButton(id)) {
        InvokeItemCommand(id, {});  // the folder's own item command
        return;
      }
      if (ViewCommands(*this).Run(id)) return;
      if (id >= kColumnCommandFirst && id <= kColumnCommandLast && columns_) {
        columns_->ToggleColumn(id - kColumnCommandFirst);
        columns_->SaveLayout();
      }
      return;
  }
}

void CShellView::OnNotify(platform::Notification& n) {
  switch (n.code) {
    case platform::NotifyCode::GetDispInfo: OnGetDispInfo(n); return;
    case platform::NotifyCode::CustomDraw: OnCustomDraw(n); return;
    case platform::NotifyCode::ColumnClick: ClickColumn(n.subItem); return;
    case platform::NotifyCode::KeyDown:
      OnKeyDown(n.key, n.modifiers);
      UpdateSelectionStatus();
      return;
    case platform::NotifyCode::ItemActivate: ActivateSelectedRow(); return;
    case platform::NotifyCode::ItemChanged: UpdateSelectionStatus(); return;
    case platform::NotifyCode::BeginDrag: OnBeginDrag(n.item); return;
    case platform::NotifyCode::ReorderDrop: OnReorderDrop(n.pos, n.item); return;
    case platform::NotifyCode::RightClick: OnContextMenu(false, (n.modifiers & platform::kModCtrl) != 0); return;
    case platform::NotifyCode::HeaderRightClick: OnContextMenu(true, false); return;
    case platform::NotifyCode::DeleteItem:
      pidls_.Free(reinterpret_cast<LPITEMIDLIST>(static_cast<std::uintptr_t>(n.data)));
      return;
    default:
      return;
  }
}

void CShellView::OnKeyDown(UINT key, UINT modifiers) {
  const bool ctrl = (modifiers & platform::kModCtrl) != 0;
  const bool shift = (modifiers & platform::kModShift) != 0;
  const bool alt = (modifiers & platform::kModAlt) != 0;
  if (alt && key == platform::VK_RETURN) {
    ShowProperties();
  } else if ((shift && key == platform::VK_INSERT) || (ctrl && key == 'V')) {
    OnCommand(kCmdPaste);
  } else if ((ctrl && key == platform::VK_INSERT) || (ctrl && key == 'C')) {
    OnCommand(kCmdCopy);
  } else if (key == platform::VK_DELETE) {
    DeleteSelection();
  } else if (ctrl && key == 'A') {
    SelectAll();
  }
}

void CShellView::OnCustomDraw(platform::Notification& n) {
  if (backgroundPicture_) {
    n.backColour = platform::CLR_NONE;
    return;
  }
  if (spreadsheet_ && folderType_ != NT_LISTS && n.item % 2 == 0) n.backColour = spreadsheetColour_;
  if (folderType_ == NT_CONTAINER && folderKind_ == kKindActiveQueue) {
    if (LPCITEMIDLIST list = RowList(n.item); GetLastItemId(list) != nullptr) {
      const CPidlLast last(list);
      if (last->nodeType == NT_QITEM && last->value3 == 0) n.backColour = 0x0080FF80;  // the current track
    }
  }
}

// ---- Selection and operations ----

std::vector<LPCITEMIDLIST> CShellView::SelectedLists() const {
  std::vector<LPCITEMIDLIST> lists;
  platform::ListViewControl* list = List();
  if (list == nullptr) return lists;
  for (int row : list->GetSelectedRows()) lists.push_back(RowList(row));
  return lists;
}

void CShellView::InvokeItemCommand(int command, const std::vector<LPCITEMIDLIST>& items) {
  if (folder_ == nullptr) return;
  std::vector<LPCITEMIDLIST> lists = items;
  if (lists.empty() && folderList_ != nullptr) lists.push_back(folderList_);
  platform::ComPtr<platform::IContextMenu> menu;
  const platform::HWND hwnd = window_ ? window_->GetSafeHwnd() : 0;
  if (folder_->GetUIObjectOf(hwnd, static_cast<UINT>(lists.size()), lists.empty() ? nullptr : lists.data(),
                             platform::IID_IContextMenu, nullptr, menu.PutVoid()) != S_OK) {
    return;
  }
  platform::CMINVOKECOMMANDINFO info;
  info.hwnd = hwnd;
  info.lpVerb = platform::VerbFromOffset(static_cast<UINT>(command));
  menu->InvokeCommand(&info);
}

void CShellView::SetAnchorToLastSelected() {
  platform::ListViewControl* list = List();
  if (list == nullptr) return;
  const std::vector<int> rows = list->GetSelectedRows();
  if (!rows.empty()) anchorRow_ = rows.back();
}

void CShellView::SelectAll() {
  platform::ListViewControl* list = List();
  if (list == nullptr) return;
  list->SetItemState(-1, platform::LVIS_SELECTED, platform::LVIS_SELECTED);
  list->Invalidate();
  UpdateSelectionStatus();
}

void CShellView::InvertSelection() {
  platform::ListViewControl* list = List();
  if (list == nullptr) return;
  for (int row = 0; row < list->GetItemCount(); ++row) {
    const UINT now = list->GetItemState(row, platform::LVIS_SELECTED);
    list->SetItemState(row, now ? 0 : platform::LVIS_SELECTED, platform::LVIS_SELECTED);
  }
  list->Invalidate();
  UpdateSelectionStatus();
}

void CShellView::ShowProperties() {
  const std::vector<LPCITEMIDLIST> selection = SelectedLists();
  if (selection.empty()) {
    ShowInformation("No files are selected.");
    return;
  }
  SetAnchorToLastSelected();
  InvokeItemCommand(kItemEdit, selection);
}

void CShellView::DefaultAction() {
  const std::vector<LPCITEMIDLIST> selection = SelectedLists();
  if (selection.empty()) {
    ShowInformation("No files are selected.");
    return;
  }
  SetAnchorToLastSelected();
  std::uint32_t action = 0;
  ReadSettingDword("Gen_TrackDefaultAction", action);
  if (const ShellItemData* first = GetLastItemId(selection.front()); first != nullptr) {
    const CPidlLast last(selection.front());
    if (last->nodeType == NT_NOTE || last->nodeType == NT_CONTACT) action = 0;
  }
  const int command = action == 1 ? kItemPlayOnComputer : action == 2 ? kItemPlayOnPlayer
                      : action == 3 ? kItemQueueOnPlayer : kItemEdit;
  InvokeItemCommand(command, selection);
}

void CShellView::DeleteSelection() {
  // Without a selection the key does nothing: the folder's own item is never what goes.
  const std::vector<LPCITEMIDLIST> selection = SelectedLists();
  if (selection.empty()) return;
  // A queue entry leaves the queue; its track stays on the player.
  const bool list = folderType_ == NT_PLAYLIST || (folderType_ == NT_CONTAINER && folderKind_ == kKindActiveQueue);
  InvokeItemCommand(list ? kItemRemoveFromList : kItemDelete, selection);
}

void CShellView::SetListStyle(UINT mode) {
  platform::ListViewControl* list = List();
  if (list == nullptr) return;
  list->SetView(ModeOf(mode));
  settings_.ViewMode = mode;
  const bool data = folderType_ == NT_DATAFOLDER || folderType_ == NT_DATA;
  WriteSettingDword(data ? "Gen_DataViewMode" : "Gen_AudioViewMode", mode);
}

void CShellView::ActivateSelectedRow() {
  platform::ListViewControl* list = List();
  if (list == nullptr || list->GetSelectedCount() == 0) return;
  const int row = list->GetNextItem(-1, platform::LVNI_SELECTED);
  LPCITEMIDLIST rowList = RowList(row);
  if (rowList == nullptr) return;
  try {
    const CPidlLast last(rowList);  // a bad list throws: nothing happens
    switch (last->nodeType) {
      case NT_TRACK:
      case NT_PLITEM:
      case NT_QITEM:
      case NT_NOTE:
      case NT_CONTACT:
        DefaultAction();
        return;
      case NT_LINK:
      case NT_HELPLINK:
      case NT_NOTICE:
        ShellOpenFile(last.GetSecondText());
        return;
      case NT_ACTION:
        // The action table runs for action rows only.
        switch (last->id.word[0]) {
          case kActionNewSimpleSearch: InvokeItemCommand(kItemNewSimpleSearch, {}); return;
          case kActionNewAdvancedSearch: InvokeItemCommand(kItemNewAdvancedSearch, {}); return;
          case kActionNewPlaylist: InvokeItemCommand(kItemNewPlaylist, {}); return;
          case kActionNewQuodrel: InvokeItemCommand(kItemNewQuodrel, {}); return;
          case kActionSyncContacts: InvokeItemCommand(kItemSyncContacts, {}); return;
          case kActionSyncContactsChoose: InvokeItemCommand(kItemSyncContactsChoose, {}); return;
          case kActionNewContact:
          case kActionNewNote: InvokeItemCommand(kItemNewNoteOrContact, {}); return;
          case kActionFillDialog: OnCommand(kCmdFill); return;
          case kActionOpenLocation: ShellOpenFile(last.GetSecondText()); return;
          case kActionSetupWizard:
            Device().RunSetupWizard(1);
            RefreshFolderViews();
            RefreshFolderViews();
            return;
          default: return;
        }
      default:
        // The row's list is its own item, relative to this folder.
        if (browser_ != nullptr) browser_->BrowseObject(rowList, platform::SBSP_RELATIVE);
        return;
    }
  } catch (const std::exception&) {
    // dropped: the operation that ran showed what it had to
  }
}

// ---- Sorting ----

bool CShellView::UsesFolderOrder() const {
  if (folderList_ != nullptr && !folderListReadable_) return true;
  switch (folderType_) {
    case NT_MEMSEG:
    case NT_FMTUNER:
    case NT_PLAYLIST:
    case NT_INFO:
      return true;
    case NT_DATAFOLDER:
    case NT_DATA:
    case NT_NOTEFOLDER:
    case NT_NOTE:
    case NT_CONTACTFOLDER:
    case NT_CONTACT:
      return sortColumn_ == 0;
    case NT_CONTAINER:
      return folderKind_ == kKindActiveQueue || folderKind_ == kKindAlbumTracks;
    default:
      return false;
  }
}

void CShellView::ClickColumn(int listColumn) {
  platform::ListViewControl* list = List();
  if (list == nullptr || listColumn < 0 || listColumn >= list->GetColumnCount()) return;
  sortColumn_ = listColumn;
  sortDirection_ = -sortDirection_;
  SortList();
}

namespace {

struct SortKey {
  int lead = 2;   // 0 "[ All: ", 1 "[ Playlist Index ]", 2 the rest
  int band = 1;   // 0 leading action rows, 1 plain rows, 2 other text rows, 3 the trailing action row, 4 unreadable
  bool digits = false;
  std::string number;  // digits without leading zeros
  std::string text;
  std::string fold;
  std::string fold0;
  std::optional<CPidlLast> item;
};

int Sign(int v) { return v < 0 ? -1 : v > 0 ? 1 : 0; }

std::string Fold(const std::string& s) {
  std::string out(s);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

}  // namespace

void CShellView::SortList() {
  platform::ListViewControl* list = List();
  if (list == nullptr) return;
  const int count = list->GetItemCount();
  const bool folderOrder = UsesFolderOrder();
  const int definition = columns_ ? columns_->GetDefinitionIndex(sortColumn_) : 0;
  std::string title;
  if (columns_) {
    title = columns_->GetColumnTitle(definition);
  } else if (sortColumn_ >= 0 && sortColumn_ < list->GetColumnCount()) {
    title = list->GetColumn(sortColumn_).title;
  }
  const bool byLength = title == "Length" || title == "Size" || title == "Bitrate";
  const bool tagIndex = Capability(&KernelDevice::SupportsTagIndex) != 0;
  // An album's folder shows its tracks by number; other folders by artist, album, number.
  const int trackKey = folderType_ == NT_CONTAINER && folderKind_ == kKindAlbumTracks ? kSortTrackNumber : 99;

  // Every row's keys once: a comparison asks nothing of the device.
  std::vector<SortKey> keys(static_cast<std::size_t>(count));
  for (int row = 0; row < count; ++row) {
    SortKey& k = keys[static_cast<std::size_t>(row)];
    k.text = list->GetItemText(row, sortColumn_);
    if (k.text.find("[ All: ") != std::string::npos) {
      k.lead = 0;
    } else if (k.text.find("[ Playlist Index ]") != std::string::npos) {
      k.lead = 1;
    }
    LPCITEMIDLIST rowList = RowList(row);
    if (GetLastItemId(rowList) != nullptr) k.item.emplace(rowList);
    if (!k.item) {
      k.band = 4;
    } else if (IsLeadingActionRow(k.item->Item())) {
      k.band = 0;
    } else if (IsTrailingActionRow(k.item->Item())) {
      k.band = 3;
    } else if (IsSpecialRow(k.item->Item().nodeType)) {
      k.band = 2;
    }
    if (folderOrder) continue;
    k.digits = !k.text.empty() && k.text.find_first_not_of("0123456789") == std::string::npos;
    if (k.digits) {
      const std::size_t nonZero = k.text.find_first_not_of('0');
      k.number = nonZero == std::string::npos ? std::string() : k.text.substr(nonZero);
    }
    k.fold = Fold(k.text);
    k.fold0 = Fold(sortColumn_ == 0 ? k.text : list->GetItemText(row, 0));
  }
  auto itemOf = [](const SortKey& k) { return k.item ? &k.item->Item() : nullptr; };
  const int direction = sortDirection_ < 0 ? -1 : 1;
  list->SortItemsEx([&](int a, int b) {
    const SortKey& x = keys[static_cast<std::size_t>(a)];
    const SortKey& y = keys[static_cast<std::size_t>(b)];
    // Summary rows stay on top whichever the direction.
    if (x.lead != y.lead) return x.lead < y.lead ? -1 : 1;
    if (folderOrder) return CompareFolderItems(itemOf(x), itemOf(y), trackKey, tagIndex);
    // Text rows keep the folder's order and their place around the others.
    if (x.band != y.band) return x.band < y.band ? -1 : 1;
    if (x.band != 1) return CompareFolderItems(itemOf(x), itemOf(y), 99, tagIndex);
    int r = 0;
    if (x.digits != y.digits) {
      r = x.digits ? -1 : 1;  // numbers before words
    } else if (x.digits) {
      r = x.number.size() != y.number.size() ? (x.number.size() < y.number.size() ? -1 : 1)
                                               : Sign(x.number.compare(y.number));
    } else if (byLength && x.text.size() != y.text.size()) {
      r = x.text.size() < y.text.size() ? -1 : 1;
    }
    if (r == 0) r = Sign(x.fold.compare(y.fold));
    if (r == 0) r = Sign(x.fold0.compare(y.fold0));
    if (r == 0) r = Sign(x.text.compare(y.text));
    if (r == 0) r = CompareFolderItems(itemOf(x), itemOf(y), 99, tagIndex);
    return r * direction;
  });
  list->SetSortIndicator(sortColumn_, direction);
}

// ---- Context menus and drags ----

void CShellView::OnContextMenu(bool header, bool ctrl) {
  if (!window_) return;
  const platform::HWND hwnd = window_->GetSafeHwnd();
  const platform::Point at = platform::GetCursorPos();
  if (header) {
    platform::Menu menu = ColumnPopupMenu();
    if (columns_) columns_->AppendColumnMenu(menu);
    const UINT command = platform::TrackPopupMenu(menu, platform::TPM_RETURNCMD | platform::TPM_RIGHTBUTTON, at.x,
                                                  at.y, hwnd);
    if (command != 0) OnCommand(static_cast<int>(command));
    return;
  }
  if (!ctrl && folder_ != nullptr) {
    std::vector<LPCITEMIDLIST> items = SelectedLists();
    if (items.empty() || uiState_ == platform::SVUIA_ACTIVATE_NOFOCUS) {
      items.clear();
      if (folderList_ != nullptr) items.push_back(folderList_);
    }
    platform::ComPtr<platform::IContextMenu> menu;
    if (folder_->GetUIObjectOf(hwnd, static_cast<UINT>(items.size()), items.empty() ? nullptr : items.data(),
                               platform::IID_IContextMenu, nullptr, menu.PutVoid()) == S_OK) {
      platform::Menu popup;
      constexpr UINT kFirst = 1;
      if (platform::SUCCEEDED(menu->QueryContextMenu(&popup, 0, kFirst, 0x7FFF, platform::CMF_NORMAL))) {
        const UINT chosen = platform::TrackPopupMenu(popup, platform::TPM_RETURNCMD | platform::TPM_RIGHTBUTTON,
                                                     at.x, at.y, hwnd);
        if (chosen != 0) {
          platform::CMINVOKECOMMANDINFO info;
          info.hwnd = hwnd;
          info.lpVerb = platform::VerbFromOffset(chosen - kFirst);  // the offset the menu's ids began at
          menu->InvokeCommand(&info);
        }
        SetAnchorToLastSelected();
        return;
      }
    }
  }
  // The toolbar's menu; its commands come back as WM_COMMAND.
  window_->SetForegroundWindow();
  platform::TrackPopupMenu(ToolbarPopupMenu(), platform::TPM_RIGHTBUTTON, at.x, at.y, hwnd);
}

bool CShellView::ReordersRows() const {
  return folderType_ == NT_PLAYLIST || (folderType_ == NT_CONTAINER && folderKind_ == kKindActiveQueue);
}

void CShellView::OnBeginDrag(int) {
  platform::ListViewControl* list = List();
  if (list == nullptr || list->GetSelectedCount() == 0) return;
  if (folderList_ != nullptr && !folderListReadable_) return;
  if (ReordersRows()) {
    if (list->GetSelectedCount() != 1) {
      ShowInformation("You can only reorder one track at a time.");
      return;
    }
    list->BeginReorder(list->GetNextItem(-1, platform::LVNI_SELECTED));
    return;
  }
  // The player's folders that hold no items of their own stay where they are.
  const std::vector<LPCITEMIDLIST> selection = SelectedLists();
  if (GetLastItemId(selection.front()) == nullptr || folder_ == nullptr) return;
  const CPidlLast first(selection.front());
  const std::uint32_t type = first->nodeType;
  const std::uint32_t kind = first->id.word[0];
  if (type == NT_DEVICE || type == NT_MEMSEG || type == NT_FMTUNER || type == NT_LISTS || type == NT_FREQ ||
      (type == NT_CONTAINER && (kind == 2 || kind == kKindActiveQueue))) {
    return;
  }
  platform::ComPtr<platform::IDataObject> data;
  const platform::HWND hwnd = window_ ? window_->GetSafeHwnd() : 0;
  if (folder_->GetUIObjectOf(hwnd, static_cast<UINT>(selection.size()), const_cast<LPCITEMIDLIST*>(selection.data()),
                             platform::IID_IDataObject, nullptr, data.PutVoid()) != S_OK) {
    return;
  }
  auto source = platform::ComPtr<platform::IDropSource>::Attach(new CDropSource(dynamic_cast<CDataObject*>(data.Get())));
  g_DragOverOwnTarget = 0;
  platform::DWORD effect = platform::DROPEFFECT_NONE;
  platform::DoDragDrop(data.Get(), source.Get(), platform::DROPEFFECT_COPY | platform::DROPEFFECT_MOVE, &effect);
  g_DragOverOwnTarget = 0;
}

void CShellView::SetDropRow(int row) {
  platform::ListViewControl* list = List();
  if (list == nullptr || row == dropRow_) return;
  if (dropRow_ >= 0 && dropRow_ < list->GetItemCount()) list->SetItemState(dropRow_, 0, platform::LVIS_DROPHILITED);
  dropRow_ = row >= 0 && row < list->GetItemCount() ? row : -1;
  if (dropRow_ >= 0) list->SetItemState(dropRow_, platform::LVIS_DROPHILITED, platform::LVIS_DROPHILITED);
}

platform::ComPtr<platform::IDropTarget> CShellView::DropTargetAt(int row) {
  platform::ComPtr<platform::IDropTarget> target;
  if (folderList_ != nullptr && !folderListReadable_) return target;
  if (const ShellItemData* item = row >= 0 ? RowItem(row) : nullptr; item != nullptr && item->nodeType == NT_DATAFOLDER) {
    target = platform::ComPtr<platform::IDropTarget>::Attach(new CDropTarget(RowList(row)));
  } else if (folder_ != nullptr) {
    folder_->CreateViewObject(window_ ? window_->GetSafeHwnd() : 0, platform::IID_IDropTarget, target.PutVoid());
  }
  return target;
}

bool CShellView::FollowRewrittenPlaylist() {
  if (followed_) return true;
  if (folderType_ != NT_PLAYLIST || browser_ == nullptr || GetLastItemId(folderList_) == nullptr) return false;
  const LPCITEMIDLIST playlists = GetFixedFolderList(FixedFolder::kPlaylists);
  if (playlists == nullptr) return false;
  ShellItemData item;
  std::memcpy(static_cast<void*>(&item), &CPidlLast(folderList_).Item(), sizeof item);
  std::optional<KernelId> now;
  try {
    now = FindRewrittenPlaylist(Device(), item);
  } catch (const std::exception&) {
    return false;  // the listing says what the player answers
  }
  if (!now) return false;
  item.id.Assign(*now);
  std::vector<std::uint8_t> bytes(kOneItemListSize, 0);
  std::memcpy(bytes.data(), &item, sizeof item);
  const LPITEMIDLIST one = platform::ItemIdListFromBytes(bytes.data(), bytes.size());
  const LPITEMIDLIST absolute = pidls_.Concatenate(playlists, one);
  followed_ = true;
  browser_->BrowseObject(absolute, platform::SBSP_ABSOLUTE);
  pidls_.Free(absolute);
  platform::FreeItemIdList(one);
  return true;
}

void CShellView::OnReorderDrop(int source, int target) {
  if (target < 0) {
    ShowInformation("You cannot drag past the last item in the list.");
    return;
  }
  if (target == source || target == source + 1) {
    ShowInformation("Item was not moved.");
    return;
  }
  const ShellItemData* from = RowItem(source);
  const ShellItemData* to = RowItem(target);
  if (from == nullptr || to == nullptr) return;
  // Playlist entries count from 1, queue entries from 0.
  const int base = folderType_ == NT_PLAYLIST ? 1 : 0;
  const int fromIndex = CPidlLast(RowList(source))->position - base;
  const int toIndex = CPidlLast(RowList(target))->position - base;
  try {
    KernelDevice& device = Device();
    if (folderType_ == NT_PLAYLIST) {
      device.MovePlaylistItem(CurrentPlaylistId(device, CPidlLast(folderList_).Item()), fromIndex, toIndex);
    } else {
      device.MoveQueueEntry(fromIndex, toIndex);
    }
  } catch (const std::exception& e) {
    KernelDeviceClient::ReportError("Could not move the item.", e);
    return;
  }
  anchorRow_ = -1;
  RefreshList();  // shows the playlist under a new id when the player wrote it anew
  RefreshFolderViews();
}

}  // namespace shellext
