// What a drop did, or may do, with dragged data: the desktop's DROPEFFECT numbers, one home
// for the drag-and-drop interfaces and the UI hosts' file drags.
#pragma once

namespace platform {

constexpr int DROPEFFECT_NONE = 0;
constexpr int DROPEFFECT_COPY = 1;
constexpr int DROPEFFECT_MOVE = 2;
constexpr int DROPEFFECT_LINK = 4;

}  // namespace platform
