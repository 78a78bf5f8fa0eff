#include "shellext/item_commands.h"

#include <algorithm>
#include <string>
#include <vector>

#include "common/shell_utilities.h"
#include "device/device_client_error.h"
#include "device/kernel_device.h"
#include "device/stream_playlist.h"
#include "platform/ui/desktop.h"
#include "platform/ui/host.h"
#include "platform/window/wait.h"
#include "shellext/library.h"
#include "tools/name_dlg.h"
#include "shellext/playlist_commands.h"
#include "shellext/queue_commands.h"

using namespace device;

namespace shellext {

namespace {

void AddTracksByTags(KernelDevice& device, SortableKernelIdArray& ids, std::string_view artist,
                     std::string_view album, std::string_view genre) {
  KernelId track;
  for (int n = device.GetFirstTrackByTags(track, artist, album, genre); n != 0; n = device.GetNextTrackByTags(track)) {
    ids.push_back(track);
  }
}

// The container kinds whose tracks a delete or a copy takes: one artist, album or genre.
bool IsTagFolder(const ShellItemData& item) {
  const std::uint32_t kind = item.id.word[0];
  if (item.nodeType == NT_CONTAINER) {
    return kind == kKindArtistTracks || kind == kKindAlbumTracks || kind == kKindGenreTracks;
  }
  return item.nodeType == NT_LISTS && kind == kListOneArtist;
}

bool IsDeletable(const ShellItemData& item) {
  switch (item.nodeType) {
    case NT_TRACK: case NT_DATA: case NT_PLITEM: case NT_QITEM: case NT_INDEXTRACK: case NT_NOTE:
    case NT_CONTACT: case NT_PLAYLIST: case NT_DATAFOLDER: case NT_NOTEFOLDER: case NT_CONTACTFOLDER:
      return true;
    default:
      return IsTagFolder(item);
  }
}

// A one-item list of a selected item, for change notices.
class ItemList {
 public:
  explicit ItemList(const ShellItemData& item) {
    std::vector<std::uint8_t> bytes(kOneItemListSize, 0);
    std::memcpy(bytes.data(), &item, sizeof item);
    list_ = platform::ItemIdListFromBytes(bytes.data(), bytes.size());
  }
  ~ItemList() { platform::FreeItemIdList(list_); }
  ItemList(const ItemList&) = delete;
  ItemList& operator=(const ItemList&) = delete;
  LPCITEMIDLIST Get() const { return list_; }

 private:
  LPITEMIDLIST list_ = nullptr;
};

void NotifyRemoved(CShellFolder* parent, const CPidlLast& item) {
  if (parent == nullptr) return;
  ItemList list(item.Item());
  NotifyItemRemoved(parent->AbsoluteList(), list.Get());
}

// The storage medium the items are listed in, when their folder is one.
const ShellItemData* StorageOf(CShellFolder* folder) {
  const ShellItemData* item = folder != nullptr ? GetLastItemId(folder->OwnList()) : nullptr;
  return item != nullptr && item->nodeType == NT_MEMSEG ? item : nullptr;
}

}  // namespace

void CollectItemTrackIds(const ShellItemData& item, SortableKernelIdArray& ids) {
  KernelDevice& device = Device();
  const std::uint32_t kind = item.id.word[0];
  switch (item.nodeType) {
    case NT_TRACK:
    case NT_QITEM:
    case NT_INDEXTRACK:
      ids.push_back(item.id);
      return;
    case NT_PLITEM:
      ids.insert(ids.begin(), item.id);
      return;
    case NT_PLAYLIST: {
      KernelId entry;
      for (int n = device.GetFirstPlaylistItem(item.id, entry); n != 0; n = device.GetNextPlaylistItem(item.id, entry)) {
        ids.push_back(entry);
      }
      return;
    }
    case NT_CONTAINER:
      if (kind == kKindActiveQueue) {
        KernelId entry;
        for (int n = device.GetFirstQueueEntry(entry); n != 0; n = device.GetNextQueueEntry(entry)) ids.push_back(entry);
      } else if (kind == kKindArtistTracks) {
        AddTracksByTags(device, ids, item.SecondText(), {}, {});
      } else if (kind == kKindAlbumTracks) {
        AddTracksByTags(device, ids, item.SecondText(), item.DisplayName(), {});
      } else if (kind == kKindGenreTracks) {
        AddTracksByTags(device, ids, {}, {}, item.DisplayName());
      }
      return;
    case NT_LISTS:
      if (kind == kListOneArtist) AddTracksByTags(device, ids, item.DisplayName(), {}, {});
      return;
    default:
      return;
  }
}

void CollectSelectionTrackIds(const CPidlList& selection, SortableKernelIdArray& ids) {
  if (ids.GetDevice() == nullptr) ids.SetDevice(&Device());
  try {
    bool ordered = false;
    for (const CPidlLast& item : selection) {
      const ShellItemData& data = item.Item();
      ordered = ordered || data.nodeType == NT_PLAYLIST || data.nodeType == NT_QITEM || data.nodeType == NT_PLITEM ||
                (data.nodeType == NT_CONTAINER && data.id.word[0] == kKindActiveQueue);
      CollectItemTrackIds(data, ids);
    }
    if (!ordered) ids.SortByTrackInfo(-1);
  } catch (const std::exception& e) {
    KernelDeviceClient::ReportError("Could not enumerate Audio ids.", e);
  }
}

void QueueOnPlayer(const CPidlList& selection) {
  platform::WaitCursor wait;
  SortableKernelIdArray ids(&Device());
  CollectSelectionTrackIds(selection, ids);
  try {
    for (const KernelId& id : ids) Device().EnqueueTrack(id);
  } catch (const std::exception& e) {
    KernelDeviceClient::ReportError("Could not queue tracks.", e);
  }
}

void PlayOnPlayer(const CPidlList& selection) {
  platform::WaitCursor wait;
  SortableKernelIdArray ids(&Device());
  CollectSelectionTrackIds(selection, ids);
  try {
    KernelDevice& device = Device();
    device.ClearQueue();
    for (const KernelId& id : ids) device.EnqueueTrack(id);
    if (!ids.empty()) device.PlayQueueCurrent();
  } catch (const std::exception& e) {
    KernelDeviceClient::ReportError("Could not play first track.", e);
  }
}

void PlayOnComputer(const CPidlList& selection) {
  SortableKernelIdArray ids(&Device());
  CollectSelectionTrackIds(selection, ids);
  // Without a tag index the playlist refuses with its own message, so the person hears why.
  try {
    PlayTracksOnComputer(Device(), ids);
  } catch (const std::exception& e) {
    KernelDeviceClient::ReportError("Could not play the tracks on the computer.", e);
  }
}

void DeleteTracks(CShellFolder* parent, const CPidlList& selection) {
  CDeleteDialog popup(GetOwnerWindow());
  popup.Start("Deleting tracks...", static_cast<int>(selection.size()));
  {
    platform::WaitCursor wait;
    SortableKernelIdArray ids(&Device());
    CollectSelectionTrackIds(selection, ids);
    ids.SortById(-1);
    try {
      for (const KernelId& id : ids) {
        Device().DeleteAudioTrack(id);
        popup.Step();
        platform::PumpMessages(0);
      }
    } catch (const std::exception& e) {
      KernelDeviceClient::ReportError("Could not delete file(s).", e);
    }
    // The folders go from the hosts' trees once their tracks are gone, so a host that
    // reloads at the notice does not list them again.
    for (const CPidlLast& item : selection) NotifyRemoved(parent, item);
  }
  popup.Close();
}

void DeleteItems(CShellFolder* parent, const CPidlList& selection) {
  if (selection.empty()) {
    ShowInformation("Please select at least one item to delete.");
    return;
  }
  const ShellItemData& first = selection.front().Item();
  if (!IsDeletable(first)) {
    ShowInformation("This item cannot be deleted.");
    return;
  }
  if (first.nodeType == NT_QITEM) {
    // In the queue, deleting takes the entries out of it; their tracks stay on the player.
    RemoveFromPlaylistOrQueue(CPidlLast(parent != nullptr ? parent->OwnList() : nullptr), selection);
    return;
  }
  if (ShowMessageBox("Are you sure you want to delete the selected items?",
                     platform::MB_YESNO | platform::MB_ICONQUESTION) != platform::IDYES) {
    return;
  }
  if (first.nodeType == NT_CONTAINER || first.nodeType == NT_LISTS) {
    DeleteTracks(parent, selection);
  } else {
    // Playlist entries leave their playlist first; their tracks go from the player below.
    if (first.nodeType == NT_PLITEM && parent != nullptr && parent->OwnList() != nullptr) {
      RemoveFromPlaylistOrQueue(CPidlLast(parent->OwnList()), selection);
    }
    CDeleteDialog popup(GetOwnerWindow());
    {
      platform::WaitCursor wait;
      popup.Start("Deleting files...", static_cast<int>(selection.size()));
      try {
        KernelDevice& device = Device();
        // Only a medium is a storage to select; other folders name none.
        if (const ShellItemData* medium = StorageOf(parent)) device.SelectStorage(medium->id);
        CPidlList ordered = selection;
        ordered.SortById(-1);
        for (const CPidlLast& item : ordered) {
          const ShellItemData& data = item.Item();
          popup.SetItemText(std::string(data.DisplayName()));
          switch (data.nodeType) {
            case NT_PLAYLIST:
              device.DeletePlaylist(data.id);
              NotifyRemoved(parent, item);
              break;
            case NT_DATAFOLDER:
            case NT_NOTEFOLDER:
            case NT_CONTACTFOLDER:
              if (popup.progress != nullptr) {
                popup.progress->SetRange32(0, 20);
                popup.progress->SetPos(0);
              }
              if (data.nodeType == NT_DATAFOLDER) DeleteDataFolderTree(data.id, popup);
              if (data.nodeType == NT_NOTEFOLDER) DeleteNoteFolderTree(data.id, popup);
              if (data.nodeType == NT_CONTACTFOLDER) DeleteContactFolderTree(data.id, popup);
              NotifyRemoved(parent, item);
              break;
            case NT_TRACK:
            case NT_PLITEM:
            case NT_INDEXTRACK:
              // A row of the playlist index stands for its track too.
              device.DeleteAudioTrack(data.id);
              break;
            case NT_DATA:
              device.DeleteDataFile(data.id);
              break;
            case NT_NOTE:
              device.DeleteNote(data.id);
              break;
            case NT_CONTACT:
              device.DeleteContact(data.id);
              break;
            default:
              break;
          }
          popup.Step();
          platform::PumpMessages(0);
        }
      } catch (const std::exception& e) {
        KernelDeviceClient::ReportError("Could not delete items.", e);
      }
    }
    popup.Close();
  }
  // What was deleted stays deleted; the views learn of it once the player has it.
  try {
    Device().CommitChanges();
  } catch (const std::exception& e) {
    KernelDeviceClient::ReportError("Could not delete items.", e);
  }
  RefreshFolderViews();
}

}  // namespace shellext
