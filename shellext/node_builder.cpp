// The node builder: one ShellItemData from a node type, an id, a position, a name and the
// numbers its type asks the device for.
#include <cstring>

#include "common/settings.h"
#include "device/codec.h"
#include "device/track_names.h"
#include "shellext/enum_id_list.h"

using namespace device;

namespace shellext {

void CEnumIDList::FillTrackFields(ShellItemData& item, const TrackRecord* record) {
  if (device_.SupportsTagIndex() != 0) {
    if (record != nullptr) {
      TrackRecord::Copy(item.track, *record);
    } else {
      device_.GetTrackInfo(item.id, item.track);
    }
    // Read for every item: a change of the setting shows at the next listing.
    std::string format;
    ReadSettingString(kDisplayFormatSetting, format);
    if (format.empty()) format = kDisplayFormatDefault;
    SetItemText(item.displayName, FormatTrackPattern(format, item.track, TrackFieldMode::kRaw));
    item.value2 = item.track.fileSize;
  } else {
    SetItemText(item.displayName, device_.GetTrackFileName(item.id));
    item.track.length = device_.GetTrackLength(item.id);
    item.track.bitrate = device_.GetTrackBitrate(item.id);
    item.value2 = device_.GetTrackSize(item.id);
  }
}

ShellItemData* CEnumIDList::AddItem(std::uint32_t nodeType, const KernelId& id, int position, std::string_view name,
                                    int value, std::string_view second, const TrackRecord* record) {
  void* block = pidls_.Allocator() != nullptr ? pidls_.Allocator()->Alloc(kOneItemListSize) : nullptr;
  if (block == nullptr) return nullptr;
  std::memset(block, 0, kOneItemListSize);
  auto* list = static_cast<LPITEMIDLIST>(block);
  auto& item = *static_cast<ShellItemData*>(block);
  // Owned by the enumerator from here, so a device error below frees it with the rest.
  struct Guard {
    PidlManager& pidls;
    LPITEMIDLIST list;
    ~Guard() { pidls.Free(list); }
  } guard{pidls_, list};

  item.cb = kShellItemSize;
  std::memcpy(item.signature, kShellItemSignature, sizeof item.signature);
  item.nodeType = nodeType;
  item.id.Assign(id);
  item.position = position;
  SetItemText(item.displayName, name);

  KernelId scratch;
  switch (nodeType) {
    case NT_MEMSEG:
      item.itemClass = kClassFolder;
      item.value2 = device_.GetStorageTotalKB(id);
      item.value1 = device_.GetStorageFreeKB(id);
      item.value0 = device_.GetStorageUsedKB(id);
      item.value3 = device_.StorageHasItems(id);
      break;
    case NT_FMTUNER:
      item.itemClass = kClassFolder;
      item.value3 = device_.GetFirstFMPreset(scratch);
      break;
    case NT_CONTAINER:
      item.itemClass = kClassFolder;
      switch (id.word[0]) {
        case kKindAudioTracks:
          item.value3 = device_.GetFirstAudioTrack(scratch);
          item.value2 = device_.GetTotalSpaceKB();
          item.value1 = device_.GetFreeSpaceKB();
          item.value0 = device_.GetAudioFilesSize();
          break;
        case kKindSearch: {
          std::lock_guard<std::mutex> lock(g_SearchResultsLock);
          item.value3 = static_cast<std::int32_t>(g_SearchResults.size());
          break;
        }
        case kKindActiveQueue:
          item.value3 = device_.GetFirstQueueEntry(scratch);
          break;
        case kKindArtistTracks:
        case kKindAlbumTracks:
        case kKindGenreTracks:
          item.value3 = value;
          SetItemText(item.secondText, second);
          break;
        case kKindLastTransfer:
          item.value3 = value;
          break;
        case kKindPlaylistIndex:
          item.value3 = device_.GetFirstAudioTrack(scratch);
          break;
        default:
          break;
      }
      break;
    case NT_LISTS:
      item.itemClass = kClassFolder;
      item.value3 = value;
      SetItemText(item.secondText, second);
      break;
    case NT_PLAYLIST:
      item.itemClass = kClassFolder;
      item.value3 = device_.GetFirstPlaylistItem(id, scratch);
      break;
    case NT_INFO:
    case NT_NOTEFOLDER:
    case NT_CONTACTFOLDER:
      item.value3 = value;
      break;
    case NT_DATAFOLDER:
      item.value3 = value;
      item.value0 = device_.GetDataFilesSize();
      item.value1 = device_.GetDataItemModifiedTime(id);
      break;
    case NT_FREQ:
      item.itemClass = kClassFolder;
      break;
    case NT_TRACK:
    case NT_PLITEM:
      item.itemClass = kClassTrack;
      FillTrackFields(item, record);
      break;
    case NT_QITEM:
      item.itemClass = kClassTrack;
      item.value3 = value;
      FillTrackFields(item, record);
      break;
    case NT_INDEXTRACK:
      item.itemClass = kClassTrack;
      item.value3 = device_.GetTrackPlaylistCount(id);
      SetItemText(item.secondText, device_.GetTrackPlaylistNames(id));
      FillTrackFields(item, record);
      break;
    case NT_DATA:
      item.itemClass = kClassDataFile;
      item.value2 = device_.GetDataFileSize(id);
      item.value1 = device_.GetDataItemAttributes(id);
      item.value3 = device_.GetDataItemModifiedTime(id);
      break;
    case NT_INFOROW:
    case NT_LINK:
    case NT_HELPLINK:
    case NT_ACTION:
    case NT_NOTICE:
      SetItemText(item.secondText, second);
      break;
    case NT_NOTE:
    case NT_CONTACT:
      item.itemClass = kClassNote;
      break;
    default:
      break;  // NT_MESSAGE, NT_ERROR and unknown types: the common fields only
  }

  items_.push_back(list);
  guard.list = nullptr;
  return &item;
}

}  // namespace shellext
