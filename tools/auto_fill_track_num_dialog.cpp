#include "tools/auto_fill_track_num_dialog.h"

#include <string>

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

CAutoFillTrackNumDialog::CAutoFillTrackNumDialog(platform::HWND parent, std::size_t trackCount)
    : Dialog(AutoFillTrackNumTemplate(), parent), trackCount_(trackCount) {}

void CAutoFillTrackNumDialog::DoDataExchange(platform::DataExchange& dx) {
  dx.Int(kStartingNumberId, startingNumber, 0, kMaxTrackNumber);
  dx.Int(kIncrementId, increment, 1, kMaxTrackNumber);
  if (!dx.IsSaving() || trackCount_ == 0) return;
  const std::int64_t last = NumberFor(trackCount_ - 1);
  if (last > kMaxTrackNumber) {
    // Where the person most likely mends it: the start when the step cannot be smaller or
    // even the second track is past the end, else the step.
    const int id = increment == 1 || startingNumber + increment > kMaxTrackNumber ? kStartingNumberId : kIncrementId;
    dx.Fail(id, "The last of the " + std::to_string(trackCount_) + " tracks would be numbered " + std::to_string(last) +
                    ", and track numbers go up to " + std::to_string(kMaxTrackNumber) +
                    ".  Please choose a smaller starting number or increment.");
  }
}

}  // namespace tools
