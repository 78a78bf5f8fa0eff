#include "platform/kernel/shared_library.h"

#include <dlfcn.h>

#include <map>
#include <memory>
#include <mutex>

namespace platform {

namespace {

std::mutex& Lock() {
  static auto* m = new std::mutex;
  return *m;
}

// Never destroyed: the libraries stay loaded to the end of the process.
std::map<std::string, std::unique_ptr<SharedLibrary>>& Loaded() {
  static auto* loaded = new std::map<std::string, std::unique_ptr<SharedLibrary>>();
  return *loaded;
}

std::map<std::string, std::string>& Redirects() {
  static auto* redirects = new std::map<std::string, std::string>();
  return *redirects;
}

std::string RedirectedLocked(const std::string& name) {
  auto it = Redirects().find(name);
  return it != Redirects().end() ? it->second : name;
}

}  // namespace

const SharedLibrary* SharedLibrary::Load(const std::string& name, std::string* error) {
  if (name.empty()) {
    if (error != nullptr) *error = "no library named";
    return nullptr;
  }
  std::lock_guard<std::mutex> lock(Lock());
  const std::string path = RedirectedLocked(name);
  auto& loaded = Loaded();
  if (auto it = loaded.find(path); it != loaded.end()) return it->second.get();
  void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    // dlerror's text is per thread and read at once, under the lock.
    const char* reason = ::dlerror();
    if (error != nullptr) *error = reason != nullptr ? reason : path + ": cannot be loaded";
    return nullptr;
  }
  auto& slot = loaded[path];
  slot = std::make_unique<SharedLibrary>(handle);
  return slot.get();
}

void SharedLibrary::Redirect(const std::string& name, std::string to) {
  std::lock_guard<std::mutex> lock(Lock());
  if (to.empty()) {
    Redirects().erase(name);
  } else {
    Redirects()[name] = std::move(to);
  }
}

std::string SharedLibrary::Redirected(const std::string& name) {
  std::lock_guard<std::mutex> lock(Lock());
  return RedirectedLocked(name);
}

void* SharedLibrary::Symbol(const char* name) const { return ::dlsym(handle_, name); }

}  // namespace platform
