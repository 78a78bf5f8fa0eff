// A small freedesktop system tray (trayer) on the test's display, for tests of tray icons
// on real windows; stopped with the object.
#pragma once

#include <signal.h>
#include <spawn.h>
#include <sys/types.h>
#include <sys/wait.h>

extern char** environ;

namespace platform::testing {

class Tray {
 public:
  Tray() {
    const char* argv[] = {"trayer", "--edge", "bottom", "--align", "right", "--widthtype", "request",
                          "--height", "24", "--SetDockType", "true", nullptr};
    if (posix_spawnp(&pid_, "trayer", nullptr, nullptr, const_cast<char**>(argv), environ) != 0) pid_ = 0;
  }
  ~Tray() {
    if (pid_ > 0) {
      ::kill(pid_, SIGTERM);
      ::waitpid(pid_, nullptr, 0);
    }
  }
  Tray(const Tray&) = delete;
  Tray& operator=(const Tray&) = delete;
  bool started() const { return pid_ > 0; }

 private:
  pid_t pid_ = 0;
};

}  // namespace platform::testing
