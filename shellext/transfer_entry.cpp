#include "shellext/transfer_entry.h"

#include "shellext/enum_id_list.h"
#include "shellext/library.h"
#include "shellext/queue_commands.h"
#include "transfer/send_to.h"

using namespace device;

namespace shellext {

void LibraryTransferShell::NotifyFixedFoldersUpdated() { shellext::NotifyFixedFoldersUpdated(); }

void LibraryTransferShell::NotifyRootFolderUpdated() {
  if (LPCITEMIDLIST root = GetFixedFolderList(FixedFolder::kDeviceRoot)) NotifyFolderUpdated(root);
}

void DoTovarinEntry(const std::vector<std::string>& names, std::string_view launcherPath) {
  LibraryTransferShell shell;
  transfer::DoTovarin(names, launcherPath, g_DeviceClient, &shell);
}

}  // namespace shellext
