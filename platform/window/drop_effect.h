// What a drop does with the dragged data: shared by the UI hosts, which drag files between
// programs, and the namespace interfaces, whose drop targets and sources answer with it.
#pragma once

#include "platform/kernel/kernel.h"

namespace platform {

constexpr DWORD DROPEFFECT_NONE = 0;
constexpr DWORD DROPEFFECT_COPY = 1;
constexpr DWORD DROPEFFECT_MOVE = 2;
constexpr DWORD DROPEFFECT_LINK = 4;

}  // namespace platform
