#include "platform/ui/desktop_module.h"

#include <cstdio>

#include "platform/kernel/shared_library.h"

namespace platform {

std::unique_ptr<Host> LoadDesktopHost(const std::string& modulePath, const std::string& programName) {
  if (!HasDisplay()) return MakeConsoleHost();
  std::string error;
  const SharedLibrary* module = SharedLibrary::Load(modulePath, &error);
  decltype(&tovarin_open_desktop_host) open = nullptr;
  if (module != nullptr && !module->Resolve("tovarin_open_desktop_host", open)) {
    error = modulePath + " has no entry tovarin_open_desktop_host";
  }
  if (open == nullptr) {
    std::fprintf(stderr, "%s: the windows module could not be loaded, going on without windows: %s\n",
                 programName.c_str(), error.c_str());
    return MakeConsoleHost();
  }
  if (Host* host = open(programName.c_str())) return std::unique_ptr<Host>(host);
  return MakeConsoleHost();
}

}  // namespace platform
