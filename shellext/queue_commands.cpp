#include "shellext/queue_commands.h"

#include <vector>

#include "common/shell_utilities.h"
#include "platform/shell/change_notify.h"
#include "platform/ui/desktop.h"
#include "shellext/enum_id_list.h"
#include "shellext/library.h"

using namespace device;

namespace shellext {

namespace {

template <class Operation>
void RunOnQueue(Operation operation, const char* failure) {
  try {
    {
      platform::WaitCursor wait;
      operation(Device());
    }
    RefreshFolderViews();
  } catch (const std::exception& e) {
    KernelDeviceClient::ReportError(failure, e);
  }
}

void RemoveAndMake(LPCITEMIDLIST list) {
  const platform::UINT flags = platform::SHCNF_IDLIST | platform::SHCNF_FLUSH;
  platform::SHChangeNotify(platform::SHCNE_RMDIR, flags, list, nullptr);
  platform::SHChangeNotify(platform::SHCNE_MKDIR, flags, list, nullptr);
}

// The operations of one kind of folder tree.
struct TreeOperations {
  int (KernelDevice::*first)(const KernelId&, KernelId&);
  int (KernelDevice::*next)(const KernelId&, KernelId&);
  int (KernelDevice::*isFolder)(const KernelId&);
  std::string (KernelDevice::*name)(const KernelId&);
  int (KernelDevice::*deleteItem)(const KernelId&);
  int (KernelDevice::*deleteFolder)(const KernelId&);
};

void DeleteTree(KernelDevice& device, const TreeOperations& op, const KernelId& folder, CDeleteDialog& progress) {
  std::vector<KernelId> children;
  KernelId child;
  for (int n = (device.*op.first)(folder, child); n != 0; n = (device.*op.next)(folder, child)) {
    children.push_back(child);
  }
  for (const KernelId& c : children) {
    progress.Step();
    if ((device.*op.isFolder)(c) != 0) {
      DeleteTree(device, op, c, progress);
    } else {
      progress.SetItemText((device.*op.name)(c));
      (device.*op.deleteItem)(c);
    }
  }
  (device.*op.deleteFolder)(folder);
}

}  // namespace

void ClearActiveQueue() {
  RunOnQueue([](KernelDevice& d) { d.ClearQueue(); }, "Could not clear the active queue.");
}

void ShuffleActiveQueue() {
  RunOnQueue([](KernelDevice& d) { d.ShuffleQueue(); }, "Could not shuffle the active queue.");
}

void NotifyFixedFoldersUpdated() {
  for (FixedFolder which : {FixedFolder::kPlaylists, FixedFolder::kDataFiles, FixedFolder::kAlbums,
                            FixedFolder::kArtists, FixedFolder::kGenres}) {
    if (LPCITEMIDLIST list = GetFixedFolderList(which)) RemoveAndMake(list);
  }
}

void NotifyFolderUpdated(LPCITEMIDLIST folder) {
  platform::SHChangeNotify(platform::SHCNE_UPDATEDIR, platform::SHCNF_IDLIST | platform::SHCNF_FLUSH, folder, nullptr);
}

void NotifyItemRemoved(LPCITEMIDLIST parent, LPCITEMIDLIST child) {
  PidlManager pidls;
  LPITEMIDLIST joined = pidls.Concatenate(parent, child);
  if (joined == nullptr) return;
  platform::SHChangeNotify(platform::SHCNE_RMDIR, platform::SHCNF_IDLIST | platform::SHCNF_FLUSH, joined, nullptr);
  pidls.Free(joined);
}

void DeleteDataFolderTree(const KernelId& folder, CDeleteDialog& progress) {
  static const TreeOperations op = {&KernelDevice::GetFirstDataItem, &KernelDevice::GetNextDataItem,
                                    &KernelDevice::IsDataFolder,     &KernelDevice::GetDataItemName,
                                    &KernelDevice::DeleteDataFile,   &KernelDevice::DeleteDataFolder};
  DeleteTree(Device(), op, folder, progress);
}

void DeleteNoteFolderTree(const KernelId& folder, CDeleteDialog& progress) {
  static const TreeOperations op = {&KernelDevice::GetFirstNote, &KernelDevice::GetNextNote,
                                    &KernelDevice::IsNoteFolder, &KernelDevice::GetNoteName,
                                    &KernelDevice::DeleteNote,   &KernelDevice::DeleteNoteFolder};
  DeleteTree(Device(), op, folder, progress);
}

void DeleteContactFolderTree(const KernelId& folder, CDeleteDialog& progress) {
  static const TreeOperations op = {&KernelDevice::GetFirstContact, &KernelDevice::GetNextContact,
                                    &KernelDevice::IsContactFolder, &KernelDevice::GetContactName,
                                    &KernelDevice::DeleteContact,   &KernelDevice::DeleteContactFolder};
  DeleteTree(Device(), op, folder, progress);
}

}  // namespace shellext
