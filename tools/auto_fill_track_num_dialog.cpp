#include "tools/auto_fill_track_num_dialog.h"

#include "platform/ui/data_exchange.h"
#include "platform/ui/host.h"

namespace tools {

using namespace platform::layout;

const platform::DialogTemplate& AutoFillTrackNumTemplate() {
  static const platform::DialogTemplate t = platform::MakeTemplate(
      CAutoFillTrackNumDialog::kTemplateId, "Auto-Fill Track Numbers",
      Column({Row({Text("Starting Number:"), Edit(CAutoFillTrackNumDialog::kStartingNumberId).Number().Width(6)}),
              Row({Text("Increment:"), Edit(CAutoFillTrackNumDialog::kIncrementId).Number().Width(6)}),
              Buttons({DefaultButton(platform::IDOK, "OK"), Button(platform::IDCANCEL, "Cancel")})}));
  return t;
}

CAutoFillTrackNumDialog::CAutoFillTrackNumDialog(platform::HWND parent)
    : Dialog(AutoFillTrackNumTemplate(), parent) {}

void CAutoFillTrackNumDialog::DoDataExchange(platform::DataExchange& dx) {
  dx.Int(kStartingNumberId, startingNumber, 0, 9999);
  dx.Int(kIncrementId, increment, 1, 9999);
}

}  // namespace tools
