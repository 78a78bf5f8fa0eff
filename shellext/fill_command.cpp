#include "shellext/fill_command.h"

#include "shellext/icons.h"
#include "shellext/transfer_entry.h"
#include "tools/ferrowin_routes.h"

using namespace device;

namespace shellext {

void OpenFillDialog(KernelDevice& device, platform::HWND owner) {
  LibraryTransferShell shell;
  tools::FerrowinDialog dialog(device, &SharedImageList(true), tools::TransferRoutes(device, &shell), owner);
  dialog.DoModal();
}

}  // namespace shellext
