// An in-process server loaded from its file: the host's side of the class-factory road.
//
//   std::string error;
//   auto module = platform::ComModule::Load("/opt/x/ombrixj1.so", &error);
//   platform::ComPtr<platform::IClassFactory> factory;
//   HRESULT hr = module->GetClassObject(clsid, platform::IID_IClassFactory, factory.PutVoid());
//
// The library stays loaded until the ComModule is destroyed, and after it when the
// library's DllCanUnloadNow does not answer S_OK.
#pragma once

#include <memory>
#include <string>

#include "platform/com/unknown.h"

namespace platform {

class ComModule {
 public:
  // Loads the file (dlopen, its own symbols first) and finds DllGetClassObject and
  // DllCanUnloadNow; null with *error set when the file cannot be loaded or lacks them.
  static std::unique_ptr<ComModule> Load(const std::string& path, std::string* error);
  ~ComModule();
  ComModule(const ComModule&) = delete;
  ComModule& operator=(const ComModule&) = delete;

  HRESULT GetClassObject(REFCLSID clsid, REFIID riid, void** ppv) const;
  HRESULT CanUnloadNow() const;
  // Another exported function of the library, or null.
  void* Symbol(const char* name) const;
  const std::string& path() const { return path_; }

 private:
  ComModule() = default;
  void* handle_ = nullptr;
  std::string path_;
  DllGetClassObjectFunction getClassObject_ = nullptr;
  DllCanUnloadNowFunction canUnloadNow_ = nullptr;
};

// The factory's object of `clsid` for `riid`: GetClassObject, then CreateInstance with no
// outer object. The first failure is the answer.
HRESULT CreateInstance(const ComModule& module, REFCLSID clsid, REFIID riid, void** ppv);

}  // namespace platform
