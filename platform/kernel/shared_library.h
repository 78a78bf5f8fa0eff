// Libraries loaded at run time: a computer without one still runs, and what it provides
// is reported missing where it is used instead of the program failing to start. Libraries
// only a rarely used feature needs are loaded this way too, so that every start does not
// pay for loading them.
//
// A library, once loaded, stays loaded for the life of the process (unloading and loading
// libraries again on every question is slow and not safe for all of them); a library that
// could not be loaded is tried again the next time it is asked for.
#pragma once

#include <mutex>
#include <string>
#include <utility>

namespace platform {

class SharedLibrary {
 public:
  // The library at `path` (a file, or a library name the system's loader searches), with
  // its own symbols kept to itself; null when it cannot be loaded, with the loader's
  // reason in `error` when given.
  static const SharedLibrary* Load(const std::string& path, std::string* error = nullptr);

  // Loads `to` wherever `name` is asked for (a test plays a computer that lacks a library
  // by pointing its name at a missing file); an empty `to` undoes it.
  static void Redirect(const std::string& name, std::string to);
  // The path `name` is loaded from: where it is redirected, else itself.
  static std::string Redirected(const std::string& name);

  // An exported symbol, or null.
  void* Symbol(const char* name) const;

  // Sets `fn` to the exported function `name`; false (and `fn` null) when it is missing.
  template <typename F>
  bool Resolve(const char* name, F*& fn) const {
    fn = reinterpret_cast<F*>(Symbol(name));
    return fn != nullptr;
  }

  explicit SharedLibrary(void* handle) : handle_(handle) {}

 private:
  void* handle_;
};

// A table of a library's functions is written once, as an X-macro list of their names,
// `#define SOME_FUNCTIONS(X) X(first) X(second)`: `SOME_FUNCTIONS(TOVARIN_LIBRARY_MEMBER)`
// in a struct declares a member per function, of the function's own type, and
// `SOME_FUNCTIONS(TOVARIN_LIBRARY_RESOLVE)` fills them, where `library` (a SharedLibrary)
// and `api` (the table) are in scope, clearing `bool ok` when one is missing.
#define TOVARIN_LIBRARY_MEMBER(name) decltype(&::name) name = nullptr;
#define TOVARIN_LIBRARY_RESOLVE(name) ok = library.Resolve(#name, api.name) && ok;

// A table of a library's functions, which `resolve` fills from the loaded library (false
// when one is missing). Get answers it, resolved once per load of the library, or null when
// the library cannot be loaded or lacks a function, with "The <what> could not be loaded:
// <reason>" in `error` when given. A feature keeps one for the process's life (never
// destroyed, as the libraries stay loaded) and asks it on use.
template <class Table>
class LibraryFunctions {
 public:
  LibraryFunctions(std::string name, std::string what, bool (*resolve)(const SharedLibrary&, Table&))
      : name_(std::move(name)), what_(std::move(what)), resolve_(resolve) {}

  const Table* Get(std::string* error = nullptr) {
    std::lock_guard<std::mutex> lock(mutex_);
    std::string reason;
    const SharedLibrary* library = SharedLibrary::Load(name_, &reason);
    if (library != nullptr && library == resolvedIn_) return &table_;
    Table found{};
    if (library != nullptr && !resolve_(*library, found)) {
      reason = name_ + " lacks a function this program uses";
      library = nullptr;
    }
    if (library == nullptr) {
      if (error != nullptr) *error = "The " + what_ + " could not be loaded: " + reason;
      return nullptr;
    }
    table_ = found;
    resolvedIn_ = library;
    return &table_;
  }

 private:
  const std::string name_;
  const std::string what_;
  bool (*const resolve_)(const SharedLibrary&, Table&);
  std::mutex mutex_;
  Table table_{};
  const SharedLibrary* resolvedIn_ = nullptr;  // the library `table_` was resolved in
};

}  // namespace platform
