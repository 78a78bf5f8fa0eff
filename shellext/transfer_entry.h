// The library's side of the launcher's entry: runs a transfer for the launcher through the
// process's device proxy, with the library's folder views and change notices as the
// engine's surroundings.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "transfer/transfer_dialog.h"

namespace shellext {

// This process's change notices for the folders it has listed.
class LibraryTransferShell : public transfer::TransferShell {
 public:
  void NotifyFixedFoldersUpdated() override;
  void NotifyRootFolderUpdated() override;
};

void DoTovarinEntry(const std::vector<std::string>& names, std::string_view launcherPath);

}  // namespace shellext
