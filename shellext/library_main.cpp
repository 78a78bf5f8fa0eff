// The shared library's exported entry points. Only this file is built into tovarin.so
// alone; everything else is the shellext library, which tests link directly.
//
// Start-up runs once, at the first call of an entry point: the host has loaded the
// library and calls it before it gets anything from it, so this is the load as the host
// sees it, and it runs after every static object of the library (and of the libraries
// linked into it) is constructed and outside the loader's lock.
#include <mutex>

#include "platform/com/unknown.h"
#include "shellext/com_server.h"
#include "shellext/media_library_page.h"

#define TOVARIN_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

void EnsureStarted() {
  static std::once_flag once;
  std::call_once(once, shellext::StartLibrary);
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
