// The entry point of the desktop host module (tovarinwx.so); the rest of the module is
// the wx host and its copy of the platform code, none of it exported.
#include "platform/ui/desktop_module.h"
#include "platform/ui/wx/wx_host.h"

extern "C" __attribute__((visibility("default"))) platform::Host* tovarin_open_desktop_host(const char* programName) {
  return platform::WxHost::Open(programName != nullptr ? programName : "").release();
}
