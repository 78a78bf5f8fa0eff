// Another user of the machine, for tests of what one user can do to another's folders and
// files. Commands run as that user through setpriv, which needs the right to change
// users (root); where the machine does not give it, OtherUser::Available() is false and
// the test skips.
#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "platform/shell/shell.h"

namespace platform::testing {

class OtherUser {
 public:
  // A user id no account has here; files it makes belong to nobody the test knows.
  static constexpr unsigned kUid = 54321;

  // Whether commands can run as the other user.
  static bool Available() {
    static const bool available = ::geteuid() == 0 && Run("true");
    return available;
  }

  // Runs the shell script as the other user; true when it ran and ended with 0.
  static bool Run(const std::string& script) {
    StartOptions options;
    options.wait = true;
    const std::string id = std::to_string(kUid);
    const StartResult r = StartProcess(
        "setpriv", {"--reuid=" + id, "--regid=" + id, "--clear-groups", "/bin/sh", "-c", script}, options);
    return r.started && r.exitCode == 0;
  }

  // A folder inside `root` (a test's own folder) that both users may write, as /tmp is:
  // world-writable and sticky. `root` becomes passable for others (mode 0711), so the
  // other user reaches it without seeing what else it holds. Empty when the other user
  // still cannot write there (a folder above `root` is closed to others).
  static std::string SharedFolder(const std::string& root) {
    const std::string shared = root + "/shared";
    if (::mkdir(shared.c_str(), 0777) != 0 || ::chmod(shared.c_str(), 01777) != 0 || ::chmod(root.c_str(), 0711) != 0) {
      return {};
    }
    return Run("test -w '" + shared + "'") ? shared : std::string();
  }
};

}  // namespace platform::testing
