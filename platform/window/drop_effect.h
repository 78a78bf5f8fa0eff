// What a drop does with the dragged data, and the keys held while dragging: shared by the UI hosts, which drag files between
// programs, and the namespace interfaces, whose drop targets and sources answer with it.
#pragma once

#include "platform/kernel/kernel.h"

namespace platform {

constexpr DWORD DROPEFFECT_NONE = 0;
constexpr DWORD DROPEFFECT_COPY = 1;
constexpr DWORD DROPEFFECT_MOVE = 2;
constexpr DWORD DROPEFFECT_LINK = 4;

// The keys and buttons held during a drag (a drop target's key state).
constexpr DWORD MK_LBUTTON = 0x0001;
constexpr DWORD MK_RBUTTON = 0x0002;
constexpr DWORD MK_SHIFT = 0x0004;
constexpr DWORD MK_CONTROL = 0x0008;
constexpr DWORD MK_MBUTTON = 0x0010;

}  // namespace platform
