#include "options/volume_dialog.h"

#include <exception>

#include "device/kernel_device.h"
#include "platform/ui/host.h"

using namespace device;

namespace options {

using namespace platform::layout;

const platform::DialogTemplate& VolumeDialogTemplate() {
  static const platform::DialogTemplate t = platform::MakeTemplate(
      VolumeDialog::kTemplateId, "On-Board Volume",
      Column({Text("Volume"),
              Row({Text("Min"), Slider(VolumeDialog::kSliderId).Label("Volume").Width(30).Expand(), Text("Max")}),
              Buttons({DefaultButton(platform::IDCANCEL, "Close")})}));
  return t;
}

VolumeDialog::VolumeDialog(KernelDevice* device, platform::HWND parent)
    : Dialog(VolumeDialogTemplate(), parent), device_(device) {
  HandleNotify(kSliderId, platform::NotifyCode::Scroll, [this](platform::Notification&) { SendVolume(); });
  HandleNotify(kSliderId, platform::NotifyCode::ReleasedCapture, [this](platform::Notification&) { SendVolume(); });
  HandleNotify(kSliderId, platform::NotifyCode::KeyDown, [this](platform::Notification&) { SendVolume(); });
}

bool VolumeDialog::OnInitDialog() {
  Dialog::OnInitDialog();
  platform::SliderControl& slider = Slider(kSliderId);
  slider.SetRange(0, 100);
  try {
    if (device_ != nullptr) slider.SetPos(device_->GetVolume());
  } catch (const std::exception&) {
    // The player could not say; the slider stays where it is.
  }
  return true;
}

void VolumeDialog::SendVolume() {
  if (device_ == nullptr) return;
  try {
    device_->SetVolume(Slider(kSliderId).GetPos());
  } catch (const std::exception&) {
    // The player refused; the slider keeps its place and the dialog stays open.
  }
}

}  // namespace options
