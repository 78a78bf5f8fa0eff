// The fill dialog's roads into the transfer subsystem: names expanded into files as a
// transfer expands them (with the expansion log and list written), and the plan sent by
// the transfer engine's window, each file into its memory segment, one transfer at a time.
#pragma once

#include <string>
#include <vector>

#include "device/kernel_device.h"
#include "platform/ui/ui_window.h"
#include "tools/ferrowin_dialog.h"
#include "transfer/transfer_dialog.h"

namespace tools {

// Names (Windows form) to the files they hold: "_exlog.txt" and "_explist.txt" are
// recreated for every expansion.
std::vector<std::string> ExpandFillNames(const std::vector<std::string>& names, bool sorted, bool audioOnly);

// Sends the plan through a transfer window owned by `owner`: the files in order, each
// into segments[fileSegment[i]]; a file without a valid segment is left out. Says so and
// sends nothing while another transfer runs.
void SendFillPlan(device::KernelDevice& device, transfer::TransferShell* shell, platform::HWND owner,
                  const std::vector<std::string>& files, const std::vector<int>& fileSegment,
                  const std::vector<device::KernelId>& segments);

// Both roads for a dialog on `device`; `shell` (may be null) hears the engine's notices.
FerrowinRoutes TransferRoutes(device::KernelDevice& device, transfer::TransferShell* shell);

}  // namespace tools
