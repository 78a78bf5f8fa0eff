#include "shellext/media_library_page.h"

#include <dlfcn.h>

#include <array>
#include <cstdio>
#include <deque>
#include <new>

#include "common/identity.h"
#include "common/settings.h"
#include "common/shell_utilities.h"
#include "device/codec.h"
#include "device/track_names.h"
#include "platform/text/text.h"
#include "platform/ui/desktop.h"
#include "shellext/icons.h"
#include "shellext/shell_folder.h"
#include "shellext/shell_view.h"

using namespace device;

namespace shellext {

using platform::LPARAM;
using platform::LRESULT;
using platform::UINT;
using platform::WPARAM;

namespace {

// The header of the one plug-in this library is; the host fills in its windows.
MediaLibraryPluginHeader g_Header = {kMediaLibraryPluginVersion,
                                     "ml_ombrix",
                                     &MediaLibraryPluginInit,
                                     &MediaLibraryPluginQuit,
                                     &MediaLibraryPluginMessageProc,
                                     0,
                                     0,
                                     nullptr};

// The tree entry's title and the id the host gave it.
char g_EntryTitle[256];
std::intptr_t g_EntryId = 0;

struct PageColumn {
  const char* title;
  int width;
  int format;
};
constexpr std::array<PageColumn, 8> kColumns = {{{"Name", 500, platform::LVCFMT_CENTER},
                                                 {"Type", 40, platform::LVCFMT_LEFT},
                                                 {"Size", 70, platform::LVCFMT_LEFT},
                                                 {"Length", 60, platform::LVCFMT_RIGHT},
                                                 {"Bitrate", 70, platform::LVCFMT_RIGHT},
                                                 {"Genre", 100, platform::LVCFMT_RIGHT},
                                                 {"Year", 40, platform::LVCFMT_LEFT},
                                                 {"Comment", 200, platform::LVCFMT_RIGHT}}};

// How the host anchors each control when the page is resized.
constexpr std::array<MediaLibraryControlAnchor, 8> kAnchors = {{{CWinampMLDlg::kListId, 0x11, {}},
                                                                {CWinampMLDlg::kIconId, 0x101, {}},
                                                                {CWinampMLDlg::kPlayId, 0x101, {}},
                                                                {CWinampMLDlg::kPlayAllId, 0x101, {}},
                                                                {CWinampMLDlg::kEnqueueId, 0x101, {}},
                                                                {CWinampMLDlg::kEnqueueAllId, 0x101, {}},
                                                                {CWinampMLDlg::kStatusId, 0x101, {}},
                                                                {CWinampMLDlg::kHelpId, 0x1010, {}}}};

// The list drawn with border style 1.
constexpr int kBorders[1] = {(1 << 16) | CWinampMLDlg::kListId};

const platform::DialogTemplate& PageTemplate() {
  using namespace platform::layout;
  static const platform::DialogTemplate t = platform::MakeTemplate(
      CWinampMLDlg::kTemplateId, "",
      Column({ListView(CWinampMLDlg::kListId).Style(platform::kStyleShowSelAlways).Expand(),
              Row({Picture(CWinampMLDlg::kIconId, "multimedia-player"), Button(CWinampMLDlg::kPlayId, "Play"),
                   Button(CWinampMLDlg::kPlayAllId, "Play All"), Button(CWinampMLDlg::kEnqueueId, "Enqueue"),
                   Button(CWinampMLDlg::kEnqueueAllId, "Enqueue All"),
                   Text("Status", CWinampMLDlg::kStatusId).Width(44).Expand(), Button(CWinampMLDlg::kHelpId, "Help")}),
              Text("", CWinampMLDlg::kCreditId)}),
      platform::kFrameChild);
  return t;
}

std::string Fixed2(double value) {
  char text[64];
  std::snprintf(text, sizeof text, "%.2f", value);
  return text;
}

bool IsTrackRow(std::uint32_t type) {
  return type == NT_TRACK || type == NT_PLITEM || type == NT_QITEM || type == NT_INDEXTRACK;
}

std::string DeviceTag() {
  KernelDevice& device = Device();
  const int driver = device.GetDeviceIndex();
  const std::uint32_t kind = device.GetDeviceId().word[0];
  if (driver == 0) {
    switch (kind) {
      case 1: return "JB1";
      case 2: return "JB2";
      case 3: return "JB3";
      case 4: return "Zen";
      default: return "Unknown";
    }
  }
  if (driver == 1 && kind == 1) return "JB1";
  return "Unknown";
}

void* LoadAddress() {
  Dl_info info{};
  if (::dladdr(reinterpret_cast<void*>(&MediaLibraryPluginInit), &info) == 0) return nullptr;
  return info.dli_fbase;
}

}  // namespace

// ---- The plug-in ----

MediaLibraryPluginHeader* GetMediaLibraryPluginHeader() {
  g_Header.instance = LoadAddress();
  return &g_Header;
}

std::string MediaLibraryEntryTitle() { return g_ProductIdentity.productName + " " + DeviceTag(); }

int MediaLibraryPluginInit() {
  const std::string title = MediaLibraryEntryTitle();
  std::snprintf(g_EntryTitle, sizeof g_EntryTitle, "%s", title.c_str());
  MediaLibraryTreeEntry entry{0, g_EntryTitle, 1, 0};
  platform::SendMessage(g_Header.libraryWindow, WM_ML_IPC, reinterpret_cast<WPARAM>(&entry), kMlAddTreeEntry);
  g_EntryId = entry.id;
  return 0;
}

void MediaLibraryPluginQuit() {}

std::intptr_t MediaLibraryPluginMessageProc(int message, std::intptr_t param1, std::intptr_t, std::intptr_t param3) {
  if (message != kMlCreatePage || param1 != g_EntryId) return 0;
  CWinampMLDlg* page = new (std::nothrow) CWinampMLDlg(g_Header);
  if (page == nullptr) return 0;
  const auto parent = static_cast<platform::HWND>(param3);
  if (!page->CreatePage(parent)) return 0;  // a page without a window has deleted itself
  return static_cast<std::intptr_t>(page->GetSafeHwnd());
}

platform::Menu MediaLibraryListMenu() {
  platform::Menu menu;
  menu.Append(platform::MF_STRING, CWinampMLDlg::kPlayId, "Play in Media Player");
  menu.Append(platform::MF_STRING, CWinampMLDlg::kEnqueueId, "Enqueue in Media Player");
  return menu;
}

// ---- The page ----

CWinampMLDlg::CWinampMLDlg(const MediaLibraryPluginHeader& header)
    : View(PageTemplate(), kWindowClass), header_(header) {}

CWinampMLDlg::~CWinampMLDlg() {
  if (view_ != nullptr) view_->Release();
  if (folder_ != nullptr) folder_->Release();
}

bool CWinampMLDlg::CreatePage(platform::HWND parent) {
  // The page's folder: the first item of the namespace's top level. When that is a text
  // row (the player could not be reached), the top level itself, which shows the text.
  CShellFolder* top = new CShellFolder(nullptr, nullptr);
  LPITEMIDLIST first = nullptr;
  EnumerateFolderItems(*top, 0, platform::SHCONTF_FOLDERS | platform::SHCONTF_NONFOLDERS, [&](LPITEMIDLIST item) {
    if (first == nullptr) {
      first = item;
    } else {
      pidls_.Free(item);
    }
  });
  if (GetLastItemId(first) != nullptr && (CPidlLast(first)->nodeType & 0xF000) == 0x1000) {  // a folder
    folder_ = new CShellFolder(nullptr, first);
    view_ = new CShellView(folder_, first);
    top->Release();
  } else {
    folder_ = top;
    view_ = new CShellView(folder_, nullptr);
  }
  pidls_.Free(first);
  if (!Create(parent, platform::UiWindow::FromHandle(parent))) {
    delete this;
    return false;
  }
  return true;
}

void* CWinampMLDlg::HostRoutine(int number) const {
  const LRESULT address =
      platform::SendMessage(header_.libraryWindow, WM_ML_IPC, static_cast<WPARAM>(number), kMlSkinRoutine);
  return reinterpret_cast<void*>(static_cast<std::intptr_t>(address));
}

void CWinampMLDlg::OnCreate() {
  colour_ = reinterpret_cast<SkinColourRoutine>(HostRoutine(kSkinColour));
  message_ = reinterpret_cast<SkinMessageRoutine>(HostRoutine(kSkinMessage));
  borders_ = reinterpret_cast<SkinBorderRoutine>(HostRoutine(kSkinDrawBorders));
  registerResize_ = reinterpret_cast<SkinResizeRoutine>(HostRoutine(kSkinRegisterResize));
  resize_ = reinterpret_cast<SkinResizeRoutine>(HostRoutine(kSkinResize));
  if (registerResize_ != nullptr) registerResize_(GetSafeHwnd(), kAnchors.data(), static_cast<int>(kAnchors.size()));

  platform::ListViewControl& list = List();
  for (std::size_t c = 0; c < kColumns.size(); ++c) {
    list.InsertColumn(static_cast<int>(c), {kColumns[c].title, platform::ScaleDesignWidth(kColumns[c].width), kColumns[c].format});
  }
  list.SetExtendedStyle(platform::LVS_EX_FULLROWSELECT, platform::LVS_EX_FULLROWSELECT);
  list.SetImageList(&SharedImageList(true), true);
  list.SetImageList(&SharedImageList(false), false);

  textColour_ = colour_ != nullptr ? colour_(1) : 0xFFFFFF;
  backColour_ = colour_ != nullptr ? colour_(0) : 0;
  skinHandle_ = platform::SendMessage(header_.libraryWindow, WM_ML_IPC, ControlRef(GetSafeHwnd(), kListId), kMlSkinList);

  SetDlgItemText(kCreditId, g_ProductIdentity.suiteName + " by " + g_ProductIdentity.makerName + " Software");
  if (view_ != nullptr) {
    view_->SetSortColumn(0);
    view_->SetSortDirection(1);
    view_->SetListWindow(&list);
  }
  FillList();
}

// ---- Filling ----

LPCITEMIDLIST CWinampMLDlg::RowList(int row) const {
  return reinterpret_cast<LPCITEMIDLIST>(static_cast<std::uintptr_t>(List().GetItemData(row)));
}

void CWinampMLDlg::ClearList() {
  if (IsOpen()) List().DeleteAllItems();  // each row's list is freed as it goes
}

void CWinampMLDlg::FillList() {
  ClearList();
  platform::ListViewControl& list = List();
  bool first = true;
  if (folder_ != nullptr) {
    EnumerateFolderItems(*folder_, GetSafeHwnd(), platform::SHCONTF_FOLDERS | platform::SHCONTF_NONFOLDERS,
                         [&](LPITEMIDLIST item) {
                           if (first) {
                             first = false;
                             if (GetLastItemId(item) != nullptr) {
                               const std::uint32_t type = CPidlLast(item)->nodeType;
                               if (type == NT_MESSAGE || type == NT_ERROR || type == NT_HELPLINK) {
                                 // A message takes the whole width.
                                 list.SetColumnWidth(0, platform::ScaleDesignWidth(500));
                                 for (int c = 1; c < list.GetColumnCount(); ++c) list.SetColumnWidth(c, 0);
                               }
                             }
                           }
                           if (list.InsertItemOnDemand(list.GetItemCount(), reinterpret_cast<std::uintptr_t>(item)) < 0) {
                             pidls_.Free(item);
                           }
                         });
  }
  if (view_ != nullptr) view_->SortList();
  std::uint32_t width = 0;
  ReadSettingDword("JB_ViewFirstColumnWidth", width);
  if (width != 0) list.SetColumnWidth(0, static_cast<int>(width & 0xFFFF));
  UpdateStatus();
}

void CWinampMLDlg::OnGetDispInfo(platform::Notification& n) {
  const auto list = reinterpret_cast<LPCITEMIDLIST>(static_cast<std::uintptr_t>(n.data));
  if (GetLastItemId(list) == nullptr) return;  // a bad list stays unanswered
  n.keep = true;
  if (n.subItem < 0) {
    if (folder_ != nullptr) {
      if (const int index = FolderItemIcon(*folder_, GetSafeHwnd(), list); index >= 0) n.image = index;
    }
    SharedImageList(true);  // a file type's icon may have been added
    SharedImageList(false);
    return;
  }
  n.text = CellText(CPidlLast(list).Item(), n.subItem);
}

std::string CWinampMLDlg::CellText(const ShellItemData& item, int column) const {
  if (column == 0) return std::string(item.DisplayName());
  if (!IsTrackRow(item.nodeType)) return {};  // folders and text rows have a name only
  const TrackRecord& t = item.track;
  char text[64];
  switch (column) {
    case 1: return GetCodecExtension(t.codec);
    case 2: return Fixed2(item.value2 / 1048576.0) + " MB";
    case 3:
      std::snprintf(text, sizeof text, "%d:%02d", t.length / 60, t.length % 60);
      return text;
    case 4:
      if (t.bitrate == 1) return "VBR";
      std::snprintf(text, sizeof text, "%d Kbps", t.bitrate);
      return text;
    case 5: return std::string(t.genre.GetText());
    case 6: return std::to_string(t.year);
    case 7: return std::string(t.comment.GetText());
    default: return {};
  }
}

// ---- Status ----

void CWinampMLDlg::UpdateStatus() {
  if (!IsOpen()) return;
  platform::ListViewControl& list = List();
  std::vector<int> rows = list.GetSelectedRows();
  const bool selection = !rows.empty();
  if (!selection) {
    for (int row = 0; row < list.GetItemCount(); ++row) rows.push_back(row);
  }
  std::int64_t bytes = 0;
  std::int64_t seconds = 0;
  for (int row : rows) {
    if (GetLastItemId(RowList(row)) == nullptr) continue;
    const CPidlLast item(RowList(row));
    bytes += item->value2;
    seconds += item->track.length;
  }
  const int count = static_cast<int>(rows.size());
  char time[64];
  std::snprintf(time, sizeof time, "%02d:%02d:%02d", static_cast<int>(seconds / 3600),
                static_cast<int>(seconds / 60 % 60), static_cast<int>(seconds % 60));
  SetDlgItemText(kStatusId, std::to_string(count) + " file" + (count > 1 ? "s" : "") + " " +
                                (selection ? "selected " : "") + "(" + Fixed2(static_cast<double>(bytes) / 1048576.0) +
                                "MB, " + time + ").");
}

// ---- Sending tracks to the player ----

void CWinampMLDlg::PlayOrEnqueue(bool all, bool enqueue) {
  platform::ListViewControl& list = List();
  if (!all && list.GetSelectedCount() == 0) return;
  std::vector<int> rows;
  if (all) {
    for (int row = 0; row < list.GetItemCount(); ++row) rows.push_back(row);
  } else {
    rows = list.GetSelectedRows();
  }
  const bool single = !all && rows.size() == 1;

  // The texts live here while the host reads them.
  std::deque<std::string> texts;
  auto keep = [&texts](std::string_view text) {
    texts.emplace_back(text);
    return texts.back().data();
  };
  std::vector<MediaLibraryRecord> records;
  for (int row : rows) {
    if (GetLastItemId(RowList(row)) == nullptr) continue;
    const CPidlLast last(RowList(row));
    const ShellItemData& item = last.Item();
    if (!IsTrackRow(item.nodeType)) continue;  // a folder or a text row names no stream
    const TrackRecord& t = item.track;
    if (t.playOnly != 0) {
      if (single) {
        ShowMessageBox("This track is locked and cannot be played on your computer.", platform::MB_ICONINFORMATION);
      }
      continue;
    }
    std::string address;
    try {
      address = FormatStreamAddress(Device(), KernelId::FromItemId(item.id.GetItemId()));
    } catch (const std::exception&) {
      continue;  // the name could not be asked: no address to give
    }
    if (records.size() == records.capacity()) records.reserve(records.capacity() + 257);
    // The host makes lines of a playlist of these: no control character may break one.
    const auto field = [&keep](const FixedString256& tag) { return keep(platform::BlankControls(tag.GetText())); };
    records.push_back({keep(address), field(t.title), field(t.album), field(t.artist), nullptr, field(t.genre), t.year,
                       t.trackNumber, t.length, nullptr});
  }
  MediaLibraryRecordList recordList{records.data(), static_cast<int>(records.size()),
                                    static_cast<int>(records.capacity())};
  MediaLibrarySendToPlayer request{0, &recordList, enqueue ? 1 : 0};
  platform::SendMessage(header_.libraryWindow, WM_ML_IPC, reinterpret_cast<WPARAM>(&request), kMlSendToPlayer);
}

void CWinampMLDlg::OnHelp() {
  std::string address;
  ReadSettingString("URL_Help", address);
  if (!address.empty()) ShellOpenFile(address);
}

void CWinampMLDlg::OnItemActivate() {
  platform::ListViewControl& list = List();
  const int row = list.GetNextItem(-1, platform::LVNI_SELECTED);
  if (row < 0) return;
  if (GetLastItemId(RowList(row)) != nullptr) {
    const CPidlLast last(RowList(row));
    if (last->nodeType == NT_HELPLINK || last->nodeType == NT_LINK) {
      ShellOpenFile(last.GetSecondText());
      return;
    }
  }
  PlayOrEnqueue(false, true);
}

void CWinampMLDlg::OnColumnClick(int column) {
  if (view_ != nullptr) view_->ClickColumn(column);
}

void CWinampMLDlg::OnRightClick() {
  const platform::Point at = platform::GetCursorPos();
  platform::TrackPopupMenu(MediaLibraryListMenu(), platform::TPM_RIGHTBUTTON, at.x, at.y, GetSafeHwnd());
}

// ---- Messages ----

bool CWinampMLDlg::OnCommand(int id, int code) {
  switch (id) {
    case kPlayId: PlayOrEnqueue(false, false); return true;
    case kPlayAllId: PlayOrEnqueue(true, false); return true;
    case kEnqueueId: PlayOrEnqueue(false, true); return true;
    case kEnqueueAllId: PlayOrEnqueue(true, true); return true;
    case kHelpId: OnHelp(); return true;
    default: return View::OnCommand(id, code);
  }
}

void CWinampMLDlg::OnNotify(platform::Notification& n) {
  if (n.id != kListId) return;
  switch (n.code) {
    case platform::NotifyCode::GetDispInfo: OnGetDispInfo(n); return;
    case platform::NotifyCode::CustomDraw:
      n.textColour = textColour_;
      n.backColour = backColour_;
      return;
    case platform::NotifyCode::ItemActivate: OnItemActivate(); return;
    case platform::NotifyCode::RightClick: OnRightClick(); return;
    case platform::NotifyCode::ItemChanged: UpdateStatus(); return;
    case platform::NotifyCode::ColumnClick: OnColumnClick(n.subItem); return;
    case platform::NotifyCode::DeleteItem:
      pidls_.Free(reinterpret_cast<LPITEMIDLIST>(static_cast<std::uintptr_t>(n.data)));
      return;
    default: return;
  }
}

void CWinampMLDlg::OnSize(WPARAM kind) {
  if (kind != SIZE_MINIMIZED && resize_ != nullptr) {
    resize_(GetSafeHwnd(), kAnchors.data(), static_cast<int>(kAnchors.size()));
  }
}

void CWinampMLDlg::OnPaint() {
  if (borders_ != nullptr) borders_(GetSafeHwnd(), kBorders, 1);
}

void CWinampMLDlg::OnDestroyPage() {
  ClearList();
  if (view_ != nullptr) view_->SetListWindow(nullptr);
  platform::SendMessage(header_.libraryWindow, WM_ML_IPC, static_cast<WPARAM>(skinHandle_), kMlUnskinList);
}

LRESULT CWinampMLDlg::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_SIZE:
      OnSize(wParam);
      return 0;
    case WM_PAINT:
      OnPaint();
      return 0;
    case platform::WM_DESTROY:
      if (destroyed_) return 0;
      destroyed_ = true;
      OnDestroyPage();
      // The host destroyed the window: the page goes with it (its object is its own).
      Destroy();
      delete this;
      return 0;
    case platform::WM_COMMAND:
    case platform::WM_TIMER:
    case platform::WM_CLOSE:
      return View::WindowProc(message, wParam, lParam);
    default:
      // The host's skin may take what the page does not handle itself.
      if (message_ != nullptr) {
        if (const LRESULT r = message_(GetSafeHwnd(), message, wParam, lParam); r != 0) return r;
      }
      return View::WindowProc(message, wParam, lParam);
  }
}

}  // namespace shellext
