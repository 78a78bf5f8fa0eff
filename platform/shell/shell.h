// Starting programs and opening documents or addresses the way the desktop would.
// Targets are POSIX paths or URLs; callers that hold Windows-form paths convert them first.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/kernel/kernel.h"

namespace platform {

struct StartOptions {
  std::string workingDirectory;  // empty: the caller's
  bool wait = false;             // run to the end and report the exit code
  // Not waited for, but started only once the program says it runs (ReportStarted of
  // start_report.h): one that ends before, as a program whose libraries cannot be loaded
  // does, did not start, and the error says why. A program that neither says so nor ends
  // within a few seconds counts as started.
  bool awaitStart = false;
};

struct StartResult {
  bool started = false;
  int pid = 0;
  int exitCode = -1;  // when waited for: the exit code, or 128 + the signal that ended it
  std::string error;  // why it could not be started, for the user
};

// Starts a program (a path, or a name looked up on PATH) with the given arguments and the
// caller's environment. A program not waited for is reaped later by itself.
StartResult StartProcess(const std::string& program, const std::vector<std::string>& arguments,
                         const StartOptions& options = {});
// Waits for a program started without waiting: its exit code (as in StartResult), or
// nullopt when the time limit passed or it is not our child.
std::optional<int> WaitForProcess(int pid, DWORD timeoutMs = INFINITE);

// The desktop's "open": an executable file runs with the parameters (split at blanks,
// double quotes group); anything else goes to the desktop's handler (xdg-open) and the
// parameters are not used. Does not wait. False, with a message on stderr, when nothing
// could be started.
bool ShellOpen(const std::string& target, const std::string& parameters = {});

// While a recorder is installed, ShellOpen hands it the call instead of opening anything
// and answers what it answers (tests). An empty recorder removes it.
using ShellOpenRecorder = std::function<bool(const std::string& target, const std::string& parameters)>;
void SetShellOpenRecorder(ShellOpenRecorder recorder);

// Records every ShellOpen while it lives (answering true).
class ShellOpenRecording {
 public:
  struct Call {
    std::string target;
    std::string parameters;
  };
  ShellOpenRecording();
  ~ShellOpenRecording();
  ShellOpenRecording(const ShellOpenRecording&) = delete;
  ShellOpenRecording& operator=(const ShellOpenRecording&) = delete;
  std::vector<Call> calls() const;

 private:
  struct State;
  std::shared_ptr<State> state_;
};

}  // namespace platform
