// The dialog that asks how to number a list of tracks: where to start and by how much to
// step. Callers (track commands, the transfer preparation sheet) number their tracks in
// their own order with the answer.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/ui/ui_window.h"
#include "tools/tag_edit_dlg.h"

namespace tools {

class CAutoFillTrackNumDialog : public platform::Dialog {
 public:
  static constexpr int kTemplateId = 599;
  static constexpr int kStartingNumberId = 1102;
  static constexpr int kIncrementId = 1103;

  static constexpr int kMaxTrackNumber = TagEditDlg::kMaxTrackNumber;

  // `trackCount`: how many tracks the caller numbers; OK is refused while the last of them
  // would be numbered past what the tag editor takes.
  explicit CAutoFillTrackNumDialog(platform::HWND parent = 0, std::size_t trackCount = 1);

  int startingNumber = 1;  // 0..9999
  int increment = 1;       // 1..9999

  // The number of the track at `position` (0 for the first) of the caller's order.
  std::int64_t NumberFor(std::size_t position) const {
    return startingNumber + static_cast<std::int64_t>(position) * increment;
  }

  void DoDataExchange(platform::DataExchange& dx) override;

 private:
  std::size_t trackCount_;
};

const platform::DialogTemplate& AutoFillTrackNumTemplate();

}  // namespace tools
