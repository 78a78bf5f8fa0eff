#include "shellext/transfer_entry.h"

#include "shellext/library.h"
#include "transfer/send_to.h"

namespace shellext {

void DoTovarinEntry(const std::vector<std::string>& names, std::string_view launcherPath) {
  transfer::TransferShell shell;
  transfer::DoTovarin(names, launcherPath, g_DeviceClient, &shell);
}

}  // namespace shellext
