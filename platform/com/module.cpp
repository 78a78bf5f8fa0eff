#include "platform/com/module.h"

#include <dlfcn.h>

namespace platform {

std::unique_ptr<ComModule> ComModule::Load(const std::string& path, std::string* error) {
  void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    if (error != nullptr) {
      const char* why = ::dlerror();
      *error = why != nullptr ? why : "cannot load " + path;
    }
    return nullptr;
  }
  std::unique_ptr<ComModule> module(new ComModule);
  module->handle_ = handle;
  module->path_ = path;
  module->getClassObject_ = reinterpret_cast<DllGetClassObjectFunction>(::dlsym(handle, "DllGetClassObject"));
  module->canUnloadNow_ = reinterpret_cast<DllCanUnloadNowFunction>(::dlsym(handle, "DllCanUnloadNow"));
  if (module->getClassObject_ == nullptr || module->canUnloadNow_ == nullptr) {
    if (error != nullptr) *error = path + " is not an in-process server (DllGetClassObject or DllCanUnloadNow missing)";
    return nullptr;
  }
  return module;
}

ComModule::~ComModule() {
  // A library that still has live objects (or says so) stays loaded, as a host keeps it.
  if (handle_ != nullptr && (canUnloadNow_ == nullptr || canUnloadNow_() == S_OK)) ::dlclose(handle_);
}

HRESULT ComModule::GetClassObject(REFCLSID clsid, REFIID riid, void** ppv) const {
  if (ppv == nullptr) return E_POINTER;
  return getClassObject_(clsid, riid, ppv);
}

HRESULT ComModule::CanUnloadNow() const { return canUnloadNow_(); }

void* ComModule::Symbol(const char* name) const { return ::dlsym(handle_, name); }

HRESULT CreateInstance(const ComModule& module, REFCLSID clsid, REFIID riid, void** ppv) {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  ComPtr<IClassFactory> factory;
  HRESULT hr = module.GetClassObject(clsid, IID_IClassFactory, factory.PutVoid());
  if (FAILED(hr)) return hr;
  if (!factory) return E_UNEXPECTED;
  return factory->CreateInstance(nullptr, riid, ppv);
}

}  // namespace platform
