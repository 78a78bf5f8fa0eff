// The folder view's list and status texts: filling the list from the folder's enumeration,
// refreshing it, each cell's text and icon when the list asks, and the status bar's texts
// for the folder and for the selection.
#include <algorithm>
#include <cstdarg>
#include <type_traits>
#include <cstdio>
#include <ctime>
#include <mutex>
#include <optional>
#include <set>
#include <tuple>

#include "common/settings.h"
#include "device/codec.h"
#include "platform/shell/desktop.h"
#include "platform/text/text.h"
#include "shellext/enum_id_list.h"
#include "shellext/icons.h"
#include "shellext/shell_folder.h"
#include "shellext/shell_view.h"
#include "shellext/view_commands.h"

using namespace device;

namespace shellext {

namespace {

// Filling and the texts share one lock: a device call inside them may run a loop that
// enters the view again on the same thread.
std::recursive_mutex& ViewLock() {
  static std::recursive_mutex lock;
  return lock;
}

std::string Length(int seconds) { return platform::Printf("%d:%02d", seconds / 60, seconds % 60); }

std::string Bitrate(int kbps) { return kbps == 1 ? "VBR" : platform::Printf("%d Kbps", kbps); }

// "%m/%d/%Y %I:%M %p" of a time taken as UTC.
std::string Date(std::uint32_t time) {
  const std::time_t t = static_cast<std::time_t>(time);
  std::tm tm{};
  if (gmtime_r(&t, &tm) == nullptr) return {};
  char text[64];
  std::strftime(text, sizeof text, "%m/%d/%Y %I:%M %p", &tm);
  return text;
}

std::string Kilobytes(std::int64_t bytes) { return FormatIntegerLocale(bytes / 1024) + " KB"; }

std::string Plural(std::int64_t n) { return n == 1 ? "" : "s"; }

// The answer of a device call; `otherwise` when it fails.
template <class F, class T = std::invoke_result_t<F>>
T Ask(F f, T otherwise = T()) {
  try {
    return f();
  } catch (const std::exception&) {
    return otherwise;
  }
}

}  // namespace

// ---- Filling ----

void CShellView::FillList() {
  platform::ListViewControl* list = List();
  if (list == nullptr || folder_ == nullptr) return;
  placeholder_ = false;
  {
    std::lock_guard<std::recursive_mutex> lock(ViewLock());
    list->SetRedraw(false);
    bool first = true;
    bool autoSize = false;
    const bool listed = EnumerateFolderItems(
        *folder_, Window()->GetSafeHwnd(), platform::SHCONTF_FOLDERS | platform::SHCONTF_NONFOLDERS,
        [&](LPITEMIDLIST item) {
          if (first) {
            first = false;
            if (const ShellItemData* data = GetLastItemId(item); data != nullptr) {
              const std::uint32_t type = CPidlLast(item)->nodeType;
              if (type == NT_MESSAGE || type == NT_ERROR || type == 0x2010 || type == 0x2013) {
                if (columns_) columns_->DisableSave();  // a placeholder never takes the folder's layout
                autoSize = true;
                placeholder_ = true;
              }
            }
          }
          if (list->InsertItemOnDemand(list->GetItemCount(), reinterpret_cast<std::uintptr_t>(item)) < 0) {
            pidls_.Free(item);
          }
        });
    if (listed) {
      if (autoSize) list->SetColumnWidth(0, platform::LVSCW_AUTOSIZE);
      SortList();
    }
    list->SetRedraw(true);
    if (!listed) return;
  }
  UpdateStatus();
  UpdateSelectionStatus();
  if (folderType_ == NT_PLAYLIST) {
    std::uint32_t width = 0;
    ReadSettingDword("JB_PlaylistFirstColumnWidth", width);
    if (width != 0) list->SetColumnWidth(0, static_cast<int>(width & 0xFFFF));
  }
}

namespace {

// What a row shows, as far as a refresh goes: its kind, its id and its place. A refilled
// list holds new copies of the items, maybe in other rows.
using RowKey = std::tuple<std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t, std::int32_t>;

std::optional<RowKey> KeyOf(LPCITEMIDLIST list) {
  const ShellItemData* item = GetLastItemId(list);
  if (item == nullptr) return std::nullopt;
  const CPidlLast last(list);
  const KernelId& id = last->id;
  return RowKey{last->nodeType, id.word[0], id.word[1], id.word[2], id.word[3], last->position};
}

}  // namespace

void CShellView::RefreshList() {
  platform::ListViewControl* list = List();
  if (list == nullptr) return;
  if (FollowRewrittenPlaylist()) return;  // the view of the playlist's new id takes over
  const int count = list->GetItemCount();
  const int lastVisible = std::min(list->GetTopVisible() + list->GetCountPerPage() - 1, count - 1);
  // The person's selection comes back on the same items: a new track playing, a transfer
  // or another program's change refreshes every open view.
  std::multiset<RowKey> selected;
  std::optional<RowKey> focused;
  for (int row = 0; row < count; ++row) {
    const platform::UINT state = list->GetItemState(row, platform::LVIS_SELECTED | platform::LVIS_FOCUSED);
    if (state == 0) continue;
    const std::optional<RowKey> key = KeyOf(RowList(row));
    if (!key) continue;
    if (state & platform::LVIS_SELECTED) selected.insert(*key);
    if (state & platform::LVIS_FOCUSED) focused = key;
  }
  list->SetRedraw(false);
  list->DeleteAllItems();  // each row's list is freed as it goes
  FillList();
  if (!selected.empty() || focused) {
    // Same kind, id and place first; an item whose place moved (an entry removed above
    // it) by kind and id.
    std::vector<std::optional<RowKey>> keys(static_cast<std::size_t>(list->GetItemCount()));
    for (int row = 0; row < list->GetItemCount(); ++row) keys[static_cast<std::size_t>(row)] = KeyOf(RowList(row));
    std::vector<bool> chosen(keys.size(), false);
    for (std::size_t row = 0; row < keys.size(); ++row) {
      if (!keys[row]) continue;
      if (auto it = selected.find(*keys[row]); it != selected.end()) {
        chosen[row] = true;
        selected.erase(it);
      }
    }
    auto sameItem = [](const RowKey& a, const RowKey& b) {
      return std::get<0>(a) == std::get<0>(b) && std::get<1>(a) == std::get<1>(b) && std::get<2>(a) == std::get<2>(b) &&
             std::get<3>(a) == std::get<3>(b) && std::get<4>(a) == std::get<4>(b);
    };
    for (const RowKey& left : selected) {
      for (std::size_t row = 0; row < keys.size(); ++row) {
        if (!chosen[row] && keys[row] && sameItem(*keys[row], left)) {
          chosen[row] = true;
          break;
        }
      }
    }
    int focusRow = -1;
    for (std::size_t row = 0; row < keys.size(); ++row) {
      if (chosen[row]) list->SetItemState(static_cast<int>(row), platform::LVIS_SELECTED, platform::LVIS_SELECTED);
      if (focused && focusRow < 0 && keys[row] && sameItem(*keys[row], *focused)) focusRow = static_cast<int>(row);
    }
    if (focusRow >= 0) list->SetItemState(focusRow, platform::LVIS_FOCUSED, platform::LVIS_FOCUSED);
    UpdateSelectionStatus();
  }
  if (lastVisible >= 0) list->EnsureVisible(lastVisible);
  list->SetRedraw(true);
  if (anchorRow_ >= 0 && anchorRow_ < list->GetItemCount()) {
    Window()->GotoDlgCtrl(kViewListId);
    const platform::UINT both = platform::LVIS_SELECTED | platform::LVIS_FOCUSED;
    list->SetItemState(anchorRow_, both, both);
    list->EnsureVisible(anchorRow_);
    UpdateSelectionStatus();
  }
}

// ---- Cells ----

void CShellView::OnGetDispInfo(platform::Notification& n) {
  std::lock_guard<std::recursive_mutex> lock(ViewLock());
  const auto list = reinterpret_cast<LPCITEMIDLIST>(static_cast<std::uintptr_t>(n.data));
  if (GetLastItemId(list) == nullptr) return;  // a bad list stays unanswered
  const CPidlLast last(list);
  n.keep = true;
  if (n.subItem < 0) {
    if (const int index = FolderItemIcon(*folder_, 0, list); index >= 0) n.image = index;
    SharedImageList(true);  // a file type's icon may have been added
    SharedImageList(false);
    return;
  }
  const int column = columns_ ? columns_->GetDefinitionIndex(n.subItem) : 0;
  if (column == 0) {
    platform::STRRET name;
    if (folder_->GetDisplayNameOf(list, platform::SHGDN_INFOLDER, &name) == platform::S_OK) {
      n.text = platform::BlankControls(platform::StrRetToString(&name, list));
    }
    return;
  }
  // A tag or name may hold line breaks and other control characters: a row is one line.
  n.text = platform::BlankControls(ItemText(last.Item(), column));
}

std::string CShellView::ItemText(const ShellItemData& item, int column) {
  KernelDevice& device = Device();
  const TrackRecord& t = item.track;
  std::uint32_t type = item.nodeType;
  // A playlist entry of a player of kind 8 reads as a track.
  if (type == NT_PLITEM && Ask([&] { return device.GetDeviceIndex(); }) == 8) type = NT_TRACK;
  const bool storage = (type == NT_TRACK || type == NT_DATA) && Ask([&] { return device.SupportsStorageList(); }) != 0;
  switch (type) {
    case NT_MEMSEG:
      switch (column) {
        case 1: return platform::Printf("%d", item.value3);
        case 2: return FormatFloatLocale(item.value0 / 1024.0) + " MB";
        case 3: return FormatFloatLocale(item.value1 / 1024.0) + " MB";
        case 4: return FormatFloatLocale(item.value2 / 1024.0) + " MB";
        default: return {};
      }
    case NT_FMTUNER:
    case NT_LISTS:
    case NT_PLAYLIST:
    case NT_INFO:
    case NT_NOTEFOLDER:
    case NT_CONTACTFOLDER:
      return column == 1 ? platform::Printf("%d", item.value3) : std::string();
    case NT_CONTAINER: {
      const std::uint32_t kind = item.id.word[0];
      switch (column) {
        case 1: return platform::Printf("%d", item.value3);
        case 2: return kind <= 2 ? FormatIntegerLocale(item.value0 / 1024) + " MB" : std::string();
        case 3: return kind == 1 ? FormatIntegerLocale(item.value1 / 1024) + " MB" : std::string();
        case 4: return kind == 1 ? FormatIntegerLocale(item.value2 / 1024) + " MB" : std::string();
        default: return {};
      }
    }
    case NT_DATAFOLDER:
      if (folderList_ == nullptr || folderType_ == NT_DEVICE) {  // a row of the device root
        if (column == 1) return Ask([&] { return platform::Printf("%d", device.GetDataFileCount()); });
        if (column == 2) return Ask([&] { return FormatIntegerLocale(device.GetDataFilesSize() / 1024) + " MB"; });
        return {};
      }
      switch (column) {
        case 1: return platform::Printf("%d", item.value3);
        case 2: return "File Folder";
        case 3: return item.value1 != 0 ? FormatDateTimeLocale(static_cast<std::uint32_t>(item.value1)) : std::string();
        default: return {};
      }
    case NT_FREQ:
      return column == 1 ? platform::Printf("%d", item.position) : std::string();
    case NT_TRACK:
      if (storage) {
        switch (column) {
          case 1: return platform::Printf("%d", item.position);
          case 2: return Kilobytes(item.value2);
          case 3: return Length(t.length);
          case 4: return Bitrate(t.bitrate);
          case 5:
            return Ask([&] {
              return platform::Printf("%s.%s", device.GetTrackTitle(item.id).c_str(),
                            GetCodecExtension(device.GetTrackCodec(item.id)).c_str());
            });
          default: return {};
        }
      }
      switch (column) {
        case 1: return std::string(t.artist.GetText());
        case 2: return std::string(t.album.GetText());
        case 3: return platform::Printf("%d", t.trackNumber);
        case 4: return std::string(t.title.GetText());
        case 5: return GetCodecExtension(t.codec);
        case 6: return Kilobytes(item.value2);
        case 7: return Length(t.length);
        case 8: return Bitrate(t.bitrate);
        case 9: return platform::Printf("%d kHz", t.sampleRate / 1000);  // the record holds Hz
        case 10: return platform::Printf("%d", t.year);
        case 11: return std::string(t.genre.GetText());
        case 12: return std::string(t.composer.GetText());
        case 13: return platform::Printf("%d", t.tempo);
        case 14: return platform::Printf("%d", t.rating / 20);
        case 15: return platform::Printf("%d", t.playCount);
        case 16: return Date(t.lastPlayed);
        case 17: return std::string(t.comment.GetText());
        case 18: return Date(t.addedTime);
        case 19: return Date(t.modifiedTime);
        case 20: return Ask([&] { return platform::Printf("%d", device.GetTrackPlaylistCount(item.id)); });
        case 21: return platform::Printf("%u", item.id.word[0]);
        case 22: {
          std::string path(t.path.GetText());
          std::replace(path.begin(), path.end(), ':', '\\');
          return path;
        }
        default: return {};
      }
    case NT_DATA:
      if (storage) {
        switch (column) {
          case 1: return platform::Printf("%d", item.position);
          case 2: return FormatIntegerLocale(std::max(1, item.value2 / 1024)) + " KB";  // under 2 KB shows 1
          default: return {};
        }
      }
      switch (column) {
        case 1: return FormatIntegerLocale(std::max(1, item.value2 / 1024)) + " KB";
        case 2: return platform::FileTypeNameOf(item.DisplayName());
        case 3: return item.value3 != 0 ? FormatDateTimeLocale(static_cast<std::uint32_t>(item.value3)) : std::string();
        case 4: {
          const auto a = static_cast<std::uint32_t>(item.value1);
          return platform::Printf("%s%s%s%s%s", a & 0x1 ? "R" : "", a & 0x2 ? "H" : "", a & 0x20 ? "A" : "", a & 0x800 ? "C" : "",
                        a & 0x4000 ? "E" : "");
        }
        default: return {};
      }
    case NT_PLITEM:
      switch (column) {
        case 1: return platform::Printf("%d", item.position);
        case 2: return GetCodecExtension(t.codec);
        case 3: return Kilobytes(item.value2);
        case 4: return Length(t.length);
        case 5: return Bitrate(t.bitrate);
        case 6: return std::string(t.genre.GetText());
        case 7: return platform::Printf("%d", t.year);
        case 8: return std::string(t.comment.GetText());
        case 9: return platform::Printf("%d", static_cast<int>(item.id.word[0]));
        default: return {};
      }
    case NT_QITEM:
      switch (column) {
        case 1: return platform::Printf("%d", item.position + 1);
        case 2: return item.value3 == -1 ? "Already played." : item.value3 == 0 ? "Current track." : "Not yet played.";
        case 3: return Length(t.length);
        default: return {};
      }
    case NT_INFOROW:
      return column == 1 ? std::string(item.SecondText()) : std::string();
    case NT_INDEXTRACK:
      if (column == 1) return platform::Printf("%d", item.value3);
      if (column == 2) return std::string(item.SecondText());
      return {};
    default:
      return {};
  }
}

// ---- Status texts ----

void CShellView::UpdateStatus() {
  platform::ListViewControl* list = List();
  if (list == nullptr || browser_ == nullptr) return;
  // No row's name there: what the player plays, or that it stopped.
  SetStatusText(2, PlaybackStatusText());
  if (placeholder_) {
    // The rows say why there is nothing to count.
    SetStatusText(0, "");
    SetStatusText(1, "");
    return;
  }
  const int rows = list->GetItemCount();
  if (folderType_ == NT_CONTAINER && folderKind_ == kKindSearch) {
    std::size_t matches = 0;
    {
      std::lock_guard<std::mutex> lock(g_SearchResultsLock);
      matches = g_SearchResults.size();
    }
    SetStatusText(0, platform::Printf("%d match%s.", static_cast<int>(matches), matches == 1 ? "" : "es"));
    std::string query;
    ReadSettingString("SQL_LastSearchQuery", query);
    SetStatusText(1, query);
    return;
  }
  if (folderType_ != NT_MEMSEG && folderType_ != NT_CONTAINER && folderType_ != NT_PLAYLIST &&
      folderType_ != NT_DATAFOLDER) {
    SetStatusText(0, platform::Printf("%d item%s.", rows, Plural(rows).c_str()));
    SetStatusText(1, "");
    return;
  }
  SetStatusText(1, "");
  try {
    KernelDevice& device = Device();
    KernelId root;
    device.GetDataRootFolder(root);
    const std::int64_t freeKB = device.GetFreeSpaceKB();
    const std::string files = FormatIntegerLocale(rows);
    const char* s = rows == 1 ? "" : "s";
    auto whole = [&](std::int64_t usedMB, std::int64_t freeMB) {
      return files + " file" + s + " (" + FormatIntegerLocale(usedMB) + " MB). " + FormatIntegerLocale(freeMB) +
             " MB free.";
    };
    const KernelId self = folderList_ != nullptr ? CPidlLast(folderList_).GetId() : KernelId();
    std::string text;
    if (folderType_ == NT_MEMSEG && device.Op3170() == 0) {
      text = whole(device.GetStorageUsedKB(self) / 1024, device.GetStorageFreeKB(self) / 1024);
    } else if (folderType_ == NT_CONTAINER && folderKind_ == kKindAudioTracks) {
      text = whole(device.GetAudioFilesSize() / 1024, freeKB / 1024);
    } else if (folderType_ == NT_DATAFOLDER && !(self != root)) {
      text = whole(device.GetDataFilesSize() / 1024, freeKB / 1024);
    } else {
      std::int64_t kilobytes = 0;
      std::int64_t seconds = 0;
      for (int row = 0; row < rows; ++row) {
        if (GetLastItemId(RowList(row)) == nullptr) continue;
        const CPidlLast item(RowList(row));
        kilobytes += item->value2 / 1024;
        seconds += item->track.length;
      }
      if (folderType_ == NT_DATAFOLDER) {
        text = whole(kilobytes / 1024, freeKB / 1024);
      } else {
        text = files + " file" + s + " (" + FormatIntegerLocale(kilobytes / 1024) + " MB, " +
               platform::Printf("%02d:%02d:%02d", static_cast<int>(seconds / 3600), static_cast<int>(seconds / 60 % 60),
                      static_cast<int>(seconds % 60)) +
               "). " + FormatIntegerLocale(freeKB / 1024) + " MB free.";
      }
    }
    SetStatusText(0, text);
  } catch (const std::exception&) {
    // the status stays as it was
  }
}

void CShellView::UpdateSelectionStatus() {
  platform::ListViewControl* list = List();
  if (list == nullptr || browser_ == nullptr) return;
  if (folderType_ != NT_MEMSEG && folderType_ != NT_CONTAINER && folderType_ != NT_PLAYLIST &&
      folderType_ != NT_DATAFOLDER) {
    return;
  }
  const std::vector<int> selected = list->GetSelectedRows();
  if (selected.empty() || placeholder_) {
    UpdateStatus();
    return;
  }
  std::int64_t kilobytes = 0;
  std::int64_t seconds = 0;
  std::string lastName;
  for (int row : selected) {
    if (GetLastItemId(RowList(row)) == nullptr) continue;
    const CPidlLast item(RowList(row));
    kilobytes += item->value2 / 1024;
    seconds += item->track.length;
  }
  const std::size_t n = selected.size();
  const std::string head = FormatIntegerLocale(static_cast<std::int64_t>(n)) + " file" + (n > 1 ? "s" : "") +
                           " selected (" + FormatIntegerLocale(kilobytes / 1024) + " MB";
  if (folderType_ == NT_DATAFOLDER) {
    SetStatusText(0, head + ").");
  } else {
    SetStatusText(0, head + platform::Printf(", %02d:%02d:%02d).", static_cast<int>(seconds / 3600),
                                   static_cast<int>(seconds / 60 % 60), static_cast<int>(seconds % 60)));
  }
  SetStatusText(2, list->GetItemText(selected.back(), 0));
}

}  // namespace shellext
