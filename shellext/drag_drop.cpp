#include "shellext/drag_drop.h"

#include <cstdio>

#include "common/shell_utilities.h"
#include "device/sortable.h"
#include "platform/com/drop_files.h"
#include "platform/ui/host.h"
#include "shellext/clipboard_formats.h"
#include "shellext/data_object.h"
#include "shellext/folder_commands.h"
#include "shellext/playlist_commands.h"
#include "shellext/send_files.h"

using namespace device;

namespace shellext {

using platform::DWORD;
using platform::HRESULT;
using platform::S_OK;

std::atomic<int> g_DragOverOwnTarget{0};

namespace {

const char* Plural(std::size_t n) { return n == 1 ? "" : "s"; }

bool Offers(platform::IDataObject* data, platform::UINT format) {
  if (data == nullptr || format == 0) return false;
  platform::FORMATETC f;
  f.cfFormat = static_cast<platform::CLIPFORMAT>(format);
  f.tymed = platform::TYMED_HGLOBAL;
  return data->QueryGetData(&f) == S_OK;
}

bool IsFileTargetType(std::uint32_t type) {
  return type == NT_MEMSEG || type == NT_CONTAINER || type == NT_LISTS || type == NT_DATAFOLDER;
}

// The dropped ids that are tracks on the player, in order: a data file or folder dragged
// along has no place in the queue, a playlist or a track's tags. False (after saying so)
// when none is.
bool KeepTracks(std::vector<KernelId>& ids) {
  KernelDevice& device = Device();
  std::erase_if(ids, [&device](const KernelId& id) { return device.TrackExists(id) == 0; });
  if (!ids.empty()) return true;
  ShowInformation("Only tracks can be dropped here; the dropped items are not tracks.");
  return false;
}

}  // namespace

// ---- The drag's source ----

CDropSource::CDropSource(CDataObject* data) : data_(data) {}

HRESULT CDropSource::QueryInterface(platform::REFIID riid, void** ppv) {
  if (ppv == nullptr) return platform::E_POINTER;
  if (riid == platform::IID_IUnknown || riid == platform::IID_IDropSource) {
    *ppv = static_cast<platform::IDropSource*>(this);
    AddRef();
    return S_OK;
  }
  *ppv = nullptr;
  return platform::E_NOINTERFACE;
}

platform::ULONG CDropSource::Release() {
  const platform::ULONG n = refs_.Drop();
  if (n == 0) delete this;
  return n;
}

HRESULT CDropSource::QueryContinueDrag(bool escapePressed, DWORD keyState) {
  if (escapePressed) return platform::DRAGDROP_S_CANCEL;
  if (keyState & platform::MK_LBUTTON) return S_OK;
  if (data_ == nullptr) return platform::DRAGDROP_S_DROP;
  if (lastEffect_ == platform::DROPEFFECT_NONE) return platform::DRAGDROP_S_CANCEL;
  if (g_DragOverOwnTarget.load() == 0) data_->PrepareFiles();  // the items become files on the computer now
  return platform::DRAGDROP_S_DROP;
}

HRESULT CDropSource::GiveFeedback(DWORD effect) {
  lastEffect_ = effect;
  return platform::DRAGDROP_S_USEDEFAULTCURSORS;
}

// ---- The target ----

CDropTarget::CDropTarget(LPCITEMIDLIST target) : target_(pidls_.Copy(target)) {}

CDropTarget::~CDropTarget() { pidls_.Free(target_); }

HRESULT CDropTarget::QueryInterface(platform::REFIID riid, void** ppv) {
  if (ppv == nullptr) return platform::E_POINTER;
  if (riid == platform::IID_IUnknown || riid == platform::IID_IDropTarget) {
    *ppv = static_cast<platform::IDropTarget*>(this);
    AddRef();
    return S_OK;
  }
  *ppv = nullptr;
  return platform::E_NOINTERFACE;
}

platform::ULONG CDropTarget::Release() {
  const platform::ULONG n = refs_.Drop();
  if (n == 0) delete this;
  return n;
}

HRESULT CDropTarget::DragEnter(platform::IDataObject* data, DWORD keyState, platform::POINTL point, DWORD* effect) {
  accept_ = false;
  if (GetLastItemId(target_) != nullptr) {
    const CPidlLast item(target_);
    const std::uint32_t type = item->nodeType;
    const std::uint32_t kind = item->id.word[0];
    const bool takesIds = type == NT_PLAYLIST || type == NT_DATAFOLDER ||
                          (type == NT_CONTAINER && kind != 1 && kind != 2) ||
                          (type == NT_LISTS && (kind == kListPlaylists || kind == kListOneArtist));
    if (takesIds) {
      g_DragOverOwnTarget = 1;
      accept_ = Offers(data, g_cfKernelIdList);
    }
    // The player's own items never go back to it as files.
    if (!accept_ && !Offers(data, g_cfNoTransferToSelf) && IsFileTargetType(type)) {
      accept_ = Offers(data, platform::CF_HDROP);
    }
  }
  return DragOver(keyState, point, effect);
}

HRESULT CDropTarget::DragOver(DWORD keyState, platform::POINTL, DWORD* effect) {
  if (effect == nullptr) return platform::E_INVALIDARG;
  *effect = !accept_ ? platform::DROPEFFECT_NONE
                     : (keyState & platform::MK_MBUTTON) != 0 ? platform::DROPEFFECT_LINK
                                                              : platform::DROPEFFECT_COPY;
  return S_OK;
}

HRESULT CDropTarget::DragLeave() {
  g_DragOverOwnTarget = 0;
  accept_ = false;
  return S_OK;
}

HRESULT CDropTarget::Drop(platform::IDataObject* data, DWORD, platform::POINTL, DWORD* effect) {
  if (effect != nullptr) *effect = platform::DROPEFFECT_NONE;
  g_DragOverOwnTarget = 0;
  accept_ = false;
  bool done = false;
  const bool ids = Offers(data, g_cfKernelIdList);
  const bool files = Offers(data, platform::CF_HDROP) && !Offers(data, g_cfNoTransferToSelf);
  if (target_ == nullptr) {
    // The player as a whole.
    if (Capability(&KernelDevice::SupportsStorageList) != 0) {
      ShowInformation("Please drop directly to either Internal Memory or the SmartMedia card.");
    } else if (files) {
      done = DropFiles(data, KernelId(), false);
    } else {
      ShowInformation("This folder is not a valid drop target");
    }
  } else if (GetLastItemId(target_) == nullptr) {
    ShowInformation("This folder is not a valid drop target");
  } else if (ids) {
    done = DropItemIds(data);
  } else {
    const CPidlLast item(target_);
    if (files && IsFileTargetType(item->nodeType)) {
      done = DropFiles(data, item->id, item->nodeType == NT_DATAFOLDER);
    } else {
      ShowInformation("This folder is not a valid drop target");
    }
  }
  if (effect != nullptr && done) *effect = platform::DROPEFFECT_COPY;
  return S_OK;
}

bool CDropTarget::DropItemIds(platform::IDataObject* data) {
  platform::FORMATETC f;
  f.cfFormat = static_cast<platform::CLIPFORMAT>(g_cfKernelIdList);
  f.tymed = platform::TYMED_HGLOBAL;
  platform::STGMEDIUM medium;
  std::optional<std::vector<KernelId>> ids;
  if (data->GetData(&f, &medium) == S_OK && medium.tymed == platform::TYMED_HGLOBAL) {
    ids = ReadKernelIdListBlock(medium.hGlobal);
  }
  platform::ReleaseStgMedium(&medium);
  if (!ids) {
    ShowInformation("The drop object is invalid.");
    return false;
  }
  if (ids->empty()) {
    ShowInformation("The drop object contained no items.");
    return false;
  }
  const CPidlLast item(target_);
  const std::uint32_t kind = item->id.word[0];
  try {
    switch (item->nodeType) {
      case NT_CONTAINER:
        if (kind == kKindActiveQueue) return KeepTracks(*ids) && QueueDroppedTracks(*ids);
        if (kind == kKindArtistTracks || kind == kKindAlbumTracks || kind == kKindGenreTracks) {
          return KeepTracks(*ids) && ChangeFieldByDrop(*ids, kind);
        }
        return false;
      case NT_LISTS:
        if (kind == kListPlaylists) return KeepTracks(*ids) && CreatePlaylistFromDrop(data, *ids);
        if (kind == kListOneArtist) return KeepTracks(*ids) && ChangeFieldByDrop(*ids, kKindArtistTracks);
        return false;
      case NT_PLAYLIST: {
        if (!KeepTracks(*ids)) return false;
        SortableKernelIdArray tracks(&Device());
        tracks.assign(ids->begin(), ids->end());
        return AddTracksToPlaylist(CurrentPlaylistId(Device(), item.Item()), tracks) > 0;
      }
      default:
        break;
    }
  } catch (const std::exception& e) {
    KernelDeviceClient::ReportError("Could not read the dropped items.", e);
    return false;
  }
  switch (item->nodeType) {
    case NT_DATAFOLDER:
      return MoveDroppedDataItems(*ids);
    default:
      return false;
  }
}

bool CDropTarget::QueueDroppedTracks(const std::vector<KernelId>& ids) {
  std::size_t queued = 0;  // what the player took
  try {
    KernelDevice& device = Device();
    for (const KernelId& id : ids) {
      if (device.EnqueueTrack(id) == 0) ++queued;
    }
  } catch (const std::exception& e) {
    KernelDeviceClient::ReportError("Could not queue track(s).", e);
    return false;
  }
  char text[64];
  std::snprintf(text, sizeof text, "%zu track%s queued.", queued, Plural(queued));
  ShowInformation(text);
  RefreshFolderViews();
  return true;
}

bool CDropTarget::ChangeFieldByDrop(const std::vector<KernelId>& ids, std::uint32_t kind) {
  const char* field = kind == kKindArtistTracks ? "artist" : kind == kKindAlbumTracks ? "album" : "genre";
  std::string value;
  try {
    value = CPidlLast(target_).GetDisplayName();
  } catch (const CPidlException&) {
    ShowInformation("This folder is not a valid drop target.");
    return false;
  }
  const std::string count = std::to_string(ids.size()) + " track" + Plural(ids.size());
  const std::string question =
      std::string("This will change the ") + field + " to '" + value + "' on " + count + ".  Are you sure?";
  if (ShowMessageBox(question, platform::MB_YESNO | platform::MB_ICONQUESTION) != platform::IDYES) return false;
  try {
    KernelDevice& device = Device();
    for (const KernelId& id : ids) {
      if (kind == kKindArtistTracks) device.SetTrackArtist(id, value);
      if (kind == kKindAlbumTracks) device.SetTrackAlbum(id, value);
      if (kind == kKindGenreTracks) device.SetTrackGenre(id, value);
    }
    device.CommitChanges();
  } catch (const std::exception& e) {
    KernelDeviceClient::ReportError("Could not change tag fields.", e);
    return false;
  }
  ShowInformation(std::string("Changed ") + field + " to '" + value + "' on " + count + ".");
  RefreshFolderViews();
  return true;
}

bool CDropTarget::CreatePlaylistFromDrop(platform::IDataObject* data, const std::vector<KernelId>& ids) {
  // The name of the dragged folder, when the drag is this process's own; from elsewhere
  // the person names the playlist.
  auto* own = dynamic_cast<CDataObject*>(data);
  std::string name = own != nullptr ? own->SourceName() : std::string();
  const bool ask = name.empty();
  if (ask) name = "type name here";
  SortableKernelIdArray tracks(&Device());
  tracks.assign(ids.begin(), ids.end());
  const int made = CreateDevicePlaylist(ask, name, &tracks, true);
  if (made < 0) {
    ShowInformation("Could not create playlist using drop items.");
    return false;
  }
  ShowInformation("Playlist '" + name + "' created with " + std::to_string(made) + " track" + Plural(made) + ".");
  return true;
}

bool CDropTarget::MoveDroppedDataItems(const std::vector<KernelId>& ids) {
  try {
    return MoveDataItems(CPidlLast(target_).GetId(), ids) > 0;
  } catch (const std::exception& e) {
    KernelDeviceClient::ReportError("Could not move data items.", e);
    return false;
  }
}

bool CDropTarget::DropFiles(platform::IDataObject* data, const KernelId& target, bool dataFolder) {
  platform::FORMATETC f;
  f.cfFormat = platform::CF_HDROP;
  f.tymed = platform::TYMED_HGLOBAL;
  platform::STGMEDIUM medium;
  std::optional<std::vector<std::string>> paths;
  if (data->GetData(&f, &medium) == S_OK && medium.tymed == platform::TYMED_HGLOBAL) {
    paths = platform::ReadDropFiles(medium.hGlobal);  // whole names, however long
  }
  platform::ReleaseStgMedium(&medium);
  if (!paths) {
    ShowInformation("The drop object is invalid.");
    return false;
  }
  try {
    if (dataFolder) {
      SendDataFilesToFolder(target, *paths);
    } else {
      SendFilesToPlayer(target, *paths);
    }
  } catch (const std::exception& e) {
    KernelDeviceClient::ReportError("Could not perform drop transfer.", e);
    return false;
  }
  return true;
}

int MoveDataItems(const KernelId& folder, const std::vector<KernelId>& items) {
  KernelDevice& device = Device();
  int moved = 0;
  for (const KernelId& item : items) {
    const int status = device.MoveDataItem(item, folder);
    if (NameTaken(status)) {
      ShowInformation("An item named " + device.GetDataItemName(item) + " already exists.");
      break;
    }
    if (status != 0) {
      ShowInformation("Could not move " + device.GetDataItemName(item) + ".");
      break;
    }
    ++moved;
  }
  if (moved > 0) {
    device.CommitChanges();
    RefreshFolderViews();
  }
  return moved > 0 ? moved : -1;
}

}  // namespace shellext
