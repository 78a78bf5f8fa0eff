// The shared library's exported entry points. Only this file is built into tovarin.so
// alone; everything else is the shellext library, which tests link directly.
//
// Start-up runs once, at the first call of an entry point: the host has loaded the
// library and calls it before it gets anything from it, so this is the load as the host
// sees it, and it runs after every static object of the library (and of the libraries
// linked into it) is constructed and outside the loader's lock.
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "common/identity.h"
#include "platform/com/unknown.h"
#include "platform/ui/desktop_module.h"
#include "platform/ui/host.h"
#include "shellext/com_server.h"
#include "shellext/media_library_page.h"
#include "shellext/do_tovarin.h"
#include "shellext/send_files.h"
#include "shellext/transfer_entry.h"
#include "transfer/send_to.h"

#define TOVARIN_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

void EnsureStarted() {
  static std::once_flag once;
  std::call_once(once, shellext::StartLibrary);
}

// The launcher has no windows of its own: the transfer's window needs the desktop's host,
// made here unless the process has one, from the module beside this library.
void RunTransfer(const std::vector<std::string>& names, const char* launcherPath) {
  EnsureStarted();
  const std::string launcher = launcherPath != nullptr ? launcherPath : "";
  std::unique_ptr<platform::Host> desktop;
  if (dynamic_cast<platform::ConsoleHost*>(&platform::CurrentHost()) != nullptr) {
    const std::string library = ModulePath();
    const std::string folder = library.substr(0, library.rfind('/') + 1);
    desktop = platform::LoadDesktopHost(folder + platform::kDesktopModuleName, ModuleBaseName(launcher));
  }
  shellext::DoTovarinEntry(names, launcher);
  if (desktop) platform::SetCurrentHost(nullptr);
}

}  // namespace

TOVARIN_EXPORT platform::HRESULT DllGetClassObject(platform::REFCLSID clsid, platform::REFIID riid, void** ppv) {
  EnsureStarted();
  return shellext::GetClassObject(clsid, riid, ppv);
}

TOVARIN_EXPORT platform::HRESULT DllCanUnloadNow() {
  EnsureStarted();
  return shellext::CanUnloadNow();
}

// The installer registers the class and its place in the namespace; these change nothing.
TOVARIN_EXPORT platform::HRESULT DllRegisterServer() { return platform::S_OK; }
TOVARIN_EXPORT platform::HRESULT DllUnregisterServer() { return platform::S_OK; }

// The media player's library plug-in entry: the header, once the library has started;
// null (no plug-in) for a copy whose start-up refused its name.
TOVARIN_EXPORT shellext::MediaLibraryPluginHeader* winampGetMediaLibraryPlugin() {
  EnsureStarted();
  return shellext::theApp.Loaded() ? shellext::GetMediaLibraryPluginHeader() : nullptr;
}

TOVARIN_EXPORT void DoTovarin(char* files, char* launcherPath) {
  RunTransfer(transfer::SplitQuotedNames(files != nullptr ? files : ""), launcherPath);
}

__attribute__((visibility("default"))) void DoTovarin(const char* const* names, int count, const char* launcherPath) {
  std::vector<std::string> list;
  for (int i = 0; names != nullptr && i < count; ++i) {
    if (names[i] != nullptr) list.emplace_back(names[i]);
  }
  RunTransfer(list, launcherPath);
}

TOVARIN_EXPORT void PasteFilesIntoFolder(const void* folder, const char* const* paths, int count) {
  EnsureStarted();
  std::vector<std::string> list;
  for (int i = 0; paths != nullptr && i < count; ++i) {
    if (paths[i] != nullptr) list.emplace_back(paths[i]);
  }
  shellext::SendFilesIntoFolder(static_cast<platform::LPCITEMIDLIST>(folder), list);
}
