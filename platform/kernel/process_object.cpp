#include "platform/kernel/process_object.h"

#include <dlfcn.h>

#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <unordered_map>

namespace {

struct Entry {
  void* object;
  std::size_t size;
};

std::mutex& RegistryMutex() {
  static auto* mutex = new std::mutex;
  return *mutex;
}

std::unordered_map<std::string, Entry>& Registry() {
  static auto* registry = new std::unordered_map<std::string, Entry>;
  return *registry;
}

using Finder = void* (*)(const char*, std::size_t, void* (*)());

// The registry the program exports, else this copy's own.
Finder SharedFinder() {
  static const Finder finder = [] {
    auto found = reinterpret_cast<Finder>(platform::ProgramSymbol("tovarin_process_object"));
    return found != nullptr ? found : &tovarin_process_object;
  }();
  return finder;
}

}  // namespace

extern "C" void* tovarin_process_object(const char* name, std::size_t size, void* (*make)()) {
  std::lock_guard<std::mutex> lock(RegistryMutex());
  auto it = Registry().find(name);
  if (it == Registry().end()) it = Registry().emplace(name, Entry{make(), size}).first;
  return it->second.size == size ? it->second.object : nullptr;
}

namespace platform {

void* ProgramSymbol(const char* name) {
  static void* const program = ::dlopen(nullptr, RTLD_NOW);
  return program != nullptr ? ::dlsym(program, name) : nullptr;
}

}  // namespace platform

namespace platform::detail {

void* FindProcessObject(const char* name, std::size_t size, void* (*make)()) {
  if (void* shared = SharedFinder()(name, size, make)) return shared;
  // Another build of the code registered the name: keep to this copy's own object.
  std::fprintf(stderr, "tovarin: the process object \"%s\" differs between the program and a library\n", name);
  return make();
}

}  // namespace platform::detail
