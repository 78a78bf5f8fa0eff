// Process-wide objects that every copy of the platform code in a process shares.
//
// A library that hosts load (tovarin.so) links its own copies of the platform layers, and
// keeps its symbols to itself. State that must be one per process whatever copy of the
// code touches it (the window layer's queues and windows, the UI core's window objects
// and current host) is found by name here: a host program exports the registry
// (`tovarin_process_object`, CMake: `tovarin_host_shares_platform(target)`), every copy
// asks it, and the first asker's object is everyone's. Without an exported registry each
// copy keeps its own objects, as before.
//
// The copies are built from the same sources in one build, so an object made by one of
// them has the layout the others expect; the size is checked as a guard all the same.
#pragma once

#include <cstddef>

extern "C" {
// The object registered under `name`, made by `make` when there is none yet; null when the
// registered object has another size. Visible by default: a library that exports it
// (tovarin.so) builds this file into itself.
__attribute__((visibility("default"))) void* tovarin_process_object(const char* name, std::size_t size, void* (*make)());
}

namespace platform {

// A symbol the program exports, looked up in the process's global scope: the program, the
// libraries it links and those loaded global, in that order. Not RTLD_DEFAULT: a library
// linked -Bsymbolic (tovarin.so) would find its own export first there, where the host
// program's must win.
void* ProgramSymbol(const char* name);

namespace detail {
void* FindProcessObject(const char* name, std::size_t size, void* (*make)());
}

// The process's one T of this name (made with `new T` by the first copy that asks). It
// lives until the process ends.
// Call it with one name per T.
template <class T>
T& ProcessObject(const char* name) {
  static T* object = static_cast<T*>(detail::FindProcessObject(name, sizeof(T), []() -> void* { return new T; }));
  return *object;
}

}  // namespace platform
