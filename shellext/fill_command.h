// The view's fill command: the flash-fill dialog on the library's player, modal, its
// transfers told to this process's folder tree.
#pragma once

#include "device/kernel_device.h"
#include "platform/window/window.h"

namespace shellext {

void OpenFillDialog(device::KernelDevice& device, platform::HWND owner);

}  // namespace shellext
