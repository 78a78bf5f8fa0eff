// The manager's small services: message boxes and the message pump. Shell execution, the
// refresh broadcast to the folder views and string splitting are common/'s
// (shell_utilities.h), as are the settings family, work folders and path clean-up
// (settings.h, folders.h) and the text escapes (escape.h); ShowMessageBox is
// device/device_client_error.h's.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "common/escape.h"  // HtmlEscape, HtmlUnescape, EncodeUrlTokens, DecodeUrlTokens
#include "common/shell_utilities.h"
#include "device/device_client_error.h"
#include "platform/ui/host.h"
#include "platform/window/window.h"

namespace manager {

// ShowMessageBox with MB_TOPMOST added.
int ShowTopmostMessageBox(platform::UINT type, std::string_view text);

// Dispatches every message waiting for the calling thread, then sleeps 1 ms. Long device
// operations call it so that requests and notices are served meanwhile.
void PumpMessages();

}  // namespace manager
