// The desktop host as a module loaded on demand. A program that shows windows only now and
// then (the launcher: a progress window when there is a display) does not link the toolkit:
// loading it and the libraries under it costs more than the rest of its start. The module
// (tovarinwx.so, installed beside the library) holds WxHost and its own copy of the
// platform code, which shares the process's objects through the exported registry
// (platform/kernel/process_object.h), so its host is everyone's current host.
#pragma once

#include <memory>
#include <string>

#include "platform/ui/host.h"

// The module's one entry point: opens the toolkit on the display and returns its host,
// made current and owned by the caller; null (with a line on stderr) when the display
// cannot be opened.
extern "C" platform::Host* tovarin_open_desktop_host(const char* programName);

namespace platform {

// The module's file name.
inline constexpr const char* kDesktopModuleName = "tovarinwx.so";

// With a display, the host of the module at `modulePath` (made current); without one, or
// when the module or the display cannot be opened, a ConsoleHost (made current). A
// module that cannot be loaded is reported on stderr under `programName`. The caller
// keeps the host while the program runs; the module stays loaded.
std::unique_ptr<Host> LoadDesktopHost(const std::string& modulePath, const std::string& programName);

}  // namespace platform
