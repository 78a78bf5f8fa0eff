// Window messages of the device notices. Transfer progress is sent to the one progress
// window (its answer -1 asks the device to stop the file); playback notices are posted
// to every registered notify window.
#pragma once

#include "platform/window/window.h"

namespace device {

constexpr platform::UINT WM_UPLOADPROGRESS = 0x7E8;
constexpr platform::UINT WM_UPLOADDONE = 0x7E9;
constexpr platform::UINT WM_DOWNLOADPROGRESS = 0x7EA;
constexpr platform::UINT WM_DOWNLOADDONE = 0x7EB;
constexpr platform::UINT WM_NOWPLAYING = 0x7ED;       // wParam: word 0 of the track's id
constexpr platform::UINT WM_PLAYBACKSTOPPED = 0x7EE;

}  // namespace device
