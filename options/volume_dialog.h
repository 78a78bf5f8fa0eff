// The small dialog with one slider that sets the player's own playback volume. Every move
// of the slider goes to the player at once; there is nothing to save.
#pragma once

#include "platform/ui/ui_window.h"

namespace device {
class KernelDevice;
}  // namespace device
namespace options {

class VolumeDialog : public platform::Dialog {
 public:
  static constexpr int kTemplateId = 520;
  static constexpr int kSliderId = 1100;

  // The device is the caller's and must outlive the dialog.
  VolumeDialog(device::KernelDevice* device, platform::HWND parent = 0);

  // The slider runs 0..100 and starts at the player's volume (kept inside the range).
  bool OnInitDialog() override;

 private:
  // Sends the slider's position to the player; a failing call changes nothing here.
  void SendVolume();

  device::KernelDevice* device_;
};

const platform::DialogTemplate& VolumeDialogTemplate();

}  // namespace options
