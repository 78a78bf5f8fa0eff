// The library as an in-process server: its start-up when a process loads it, the class
// factory, and what the exported entry points answer.
//
// One build serves many product variants; which one a loaded copy is (the class it
// serves, whether and how it connects to the manager) follows only from the base name of
// its own file (common/identity.h holds the table). A library cannot refuse to be loaded
// here: a copy whose start-up fails answers every class request with "class not
// available", and its application object no longer holds it, so the host may unload it.
#pragma once

#include <string>

#include "platform/com/unknown.h"
#include "shellext/library.h"

namespace shellext {

// The application object: counts itself as a live object for the library's life.
class OmbrixApp {
 public:
  OmbrixApp();
  ~OmbrixApp();
  OmbrixApp(const OmbrixApp&) = delete;
  OmbrixApp& operator=(const OmbrixApp&) = delete;

  // Start-up from the full path of the library's own file: identity, processor affinity
  // and priority, icons, then by the variant table connect the device proxy and register
  // the item-list clipboard format. False (after the misnamed message) when the file
  // name is no variant's.
  bool InitInstance(const std::string& modulePath);
  // Whether start-up succeeded.
  bool Loaded() const { return loaded_; }

 private:
  bool loaded_ = false;
  bool counted_ = true;
};

extern OmbrixApp theApp;

class OmbrixClassFactory final : public platform::ComObject<platform::IClassFactory> {
 public:
  OmbrixClassFactory() = default;

  // Aggregation is refused; the shell-extension and context-menu interfaces are the
  // context menu's, every other request gets a folder (the namespace root).
  platform::HRESULT CreateInstance(platform::IUnknown* outer, platform::REFIID riid, void** ppv) override;
  platform::HRESULT LockServer(bool lock) override;  // E_NOTIMPL

 private:
  ~OmbrixClassFactory() override = default;
  LiveObject live_;
};

// The bodies of the exported entry points.
platform::HRESULT GetClassObject(platform::REFCLSID clsid, platform::REFIID riid, void** ppv);
platform::HRESULT CanUnloadNow();

// The shared library's start-up: registers the clipboard formats and runs the
// application's start-up from the library's own file.
void StartLibrary();

}  // namespace shellext
