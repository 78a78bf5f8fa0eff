#include "manager/utilities.h"

#include "platform/window/wait.h"

namespace manager {

using namespace device;

int ShowTopmostMessageBox(platform::UINT type, std::string_view text) {
  return ShowMessageBox(text, type | platform::MB_TOPMOST);
}

void PumpMessages() { platform::PumpMessages(1); }

}  // namespace manager
