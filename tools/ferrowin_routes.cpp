#include "tools/ferrowin_routes.h"

#include "device/device_client_error.h"
#include "device/kernel_device_client.h"
#include "platform/kernel/kernel.h"
#include "platform/ui/host.h"
#include "transfer/expansion.h"
#include "transfer/log_file.h"
#include "transfer/send_to.h"

using namespace device;

namespace tools {

std::vector<std::string> ExpandFillNames(const std::vector<std::string>& names, bool sorted, bool audioOnly) {
  transfer::ExpansionLogFile log;
  transfer::ExpansionListFile list;
  log.Open();
  list.Open();
  std::vector<std::string> files;
  transfer::SourceGroups roots;
  transfer::ExpandTransferList(&log, &list, names, files, roots, 0, sorted ? 1 : 0, audioOnly ? 1 : 0);
  log.Close();
  list.Close();
  return files;
}

void SendFillPlan(KernelDevice& device, transfer::TransferShell* shell, platform::HWND owner,
                  const std::vector<std::string>& files, const std::vector<int>& fileSegment,
                  const std::vector<KernelId>& segments) {
  std::vector<std::string> sent;
  std::vector<KernelId> targets;
  for (std::size_t i = 0; i < files.size() && i < fileSegment.size(); ++i) {
    const int segment = fileSegment[i];
    if (segment < 0 || static_cast<std::size_t>(segment) >= segments.size()) continue;
    sent.push_back(files[i]);
    targets.push_back(segments[static_cast<std::size_t>(segment)]);
  }
  // The launcher's transfers and this one share the player: one at a time.
  platform::NamedLock single(transfer::TransferLockName());
  if (!single.Lock(5)) {
    ShowMessageBox("Another transfer is already in progress.", platform::MB_ICONINFORMATION);
    return;
  }
  platform::Host& host = platform::CurrentHost();
  const platform::HWND previousOwner = host.GetOwnerWindow();
  transfer::CTransferDialog dialog(device, shell, owner);
  try {
    if (dialog.Create(owner)) {
      dialog.CenterWindow();
      dialog.ShowWindow(platform::SW_SHOW);
      dialog.SetForegroundWindow();
      host.SetOwnerWindow(dialog.GetSafeHwnd());
    }
    transfer::TransferLogFile log;
    log.Open();
    dialog.TransferToSegments(&log, sent, targets, 0);
    log.Close();
  } catch (const std::exception& e) {
    KernelDeviceClient::ReportError("Problem encountered during transfer to your device.", e);
  }
  host.SetOwnerWindow(previousOwner);
  if (dialog.IsOpen()) dialog.DestroyWindow();
}

FerrowinRoutes TransferRoutes(KernelDevice& device, transfer::TransferShell* shell) {
  return {&ExpandFillNames,
          [&device, shell](platform::HWND owner, const std::vector<std::string>& files,
                           const std::vector<int>& fileSegment, const std::vector<KernelId>& segments) {
            SendFillPlan(device, shell, owner, files, fileSegment, segments);
          }};
}

}  // namespace tools
