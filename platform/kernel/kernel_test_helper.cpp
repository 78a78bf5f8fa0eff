// Second process for the kernel tests.
//   hold [sem NAME INITIAL MAX] [map NAME SIZE FILL] [lock NAME] ...
//       makes the objects, prints "ready", then obeys stdin: "release" (prints "ok" or
//       "full"), "exit" (ends through exit() with the objects still held); end of input ends too.
//   wait NAME TIMEOUT_MS     opens the semaphore ("absent" when none) and waits on it.
//   peek-map NAME            prints "size=N first=B" or "absent".
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "platform/kernel/kernel.h"

using namespace platform;

// Handles deliberately kept open until the process ends (reachable, so not leaks).
static std::vector<void*>* g_kept = new std::vector<void*>;

int main(int argc, char** argv) {
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  if (argc < 2) return 2;
  std::string mode = argv[1];
  if (mode == "hold") {
    std::vector<std::unique_ptr<NamedSemaphore>> sems;
    std::vector<std::unique_ptr<FileMapping>> maps;
    std::vector<MappedView> views;
    std::vector<std::unique_ptr<NamedLock>> locks;
    for (int i = 2; i < argc; ++i) {
      std::string what = argv[i];
      if (what == "sem" && i + 3 < argc) {
        sems.push_back(NamedSemaphore::Create(argv[i + 1], std::atoi(argv[i + 2]), std::atoi(argv[i + 3])));
        if (!sems.back()) return 3;
        i += 3;
      } else if (what == "map" && i + 3 < argc) {
        maps.push_back(FileMapping::Create(argv[i + 1], std::strtoul(argv[i + 2], nullptr, 10)));
        if (!maps.back()) return 3;
        views.push_back(maps.back()->Map());
        std::memset(views.back().data(), std::atoi(argv[i + 3]), views.back().size());
        i += 3;
      } else if (what == "lock" && i + 1 < argc) {
        locks.push_back(std::make_unique<NamedLock>(argv[i + 1]));
        if (!locks.back()->Lock(5000)) return 4;
        i += 1;
      } else {
        return 2;
      }
    }
    std::printf("ready\n");
    std::string line;
    while (std::getline(std::cin, line)) {
      if (line == "release") std::printf("%s\n", !sems.empty() && sems[0]->Release() ? "ok" : "full");
      if (line == "exit") {
        // Leave the handles open: the creator's exit path must still remove the names.
        for (auto& s : sems) g_kept->push_back(s.release());
        for (auto& m : maps) g_kept->push_back(m.release());
        std::exit(0);
      }
    }
    return 0;
  }
  if (mode == "wait" && argc == 4) {
    auto s = NamedSemaphore::Open(argv[2]);
    if (!s) {
      std::printf("absent\n");
      return 0;
    }
    std::printf("waiting\n");
    long t = std::atol(argv[3]);
    DWORD r = s->Wait(t < 0 ? INFINITE : static_cast<DWORD>(t));
    std::printf("%s\n", r == WAIT_OBJECT_0 ? "signaled" : "timeout");
    return 0;
  }
  if (mode == "peek-map" && argc == 3) {
    auto m = FileMapping::Open(argv[2]);
    if (!m) {
      std::printf("absent\n");
      return 0;
    }
    MappedView v = m->Map();
    std::printf("size=%zu first=%d\n", v.size(), static_cast<unsigned char*>(v.data())[0]);
    return 0;
  }
  return 2;
}
