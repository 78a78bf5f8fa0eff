#include "platform/shell/shell.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string_view>
#include <system_error>
#include <thread>

#include "platform/shell/start_report.h"

extern char** environ;

namespace platform {

namespace {

std::mutex g_mutex;
ShellOpenRecorder* g_recorder = new ShellOpenRecorder;

int ExitCodeOf(int status) { return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status); }

// Children started without waiting, each reaped by a thread of its own the moment it
// ends, so that none is left a zombie in a long-lived host: nullopt while it runs, then
// its exit code until WaitForProcess takes it.
struct Children {
  std::mutex mutex;
  std::condition_variable ended;
  std::map<pid_t, std::optional<int>> known;
};

Children& UnwaitedChildren() {
  static auto* children = new Children;
  return *children;
}

void Reap(pid_t pid) {
  int st = 0;
  pid_t r;
  while ((r = ::waitpid(pid, &st, 0)) < 0 && errno == EINTR) {
  }
  Children& c = UnwaitedChildren();
  std::lock_guard<std::mutex> lock(c.mutex);
  if (const auto it = c.known.find(pid); it != c.known.end()) {
    if (r == pid) {
      it->second = ExitCodeOf(st);
    } else {
      c.known.erase(it);  // the host reaped it itself
    }
  }
  c.ended.notify_all();
}

void ReapLater(pid_t pid) {
  Children& c = UnwaitedChildren();
  {
    std::lock_guard<std::mutex> lock(c.mutex);
    c.known[pid] = std::nullopt;
  }
  try {
    std::thread(Reap, pid).detach();
  } catch (const std::system_error&) {
    // No thread to spare: it stays unreaped, as nobody would wait for it.
    std::lock_guard<std::mutex> lock(c.mutex);
    c.known.erase(pid);
  }
}

// How long a program may take to say it runs before it counts as started anyway, and how
// long one that closed the report without a word may take to end.
constexpr int kStartLimitMs = 10000;
constexpr int kEndAfterCloseMs = 500;

// Why a program that ended before it said it runs did not start.
std::string EndedAtOnce(int status) {
  if (WIFEXITED(status) && WEXITSTATUS(status) == 127) return "it could not be loaded (a library it needs is missing)";
  if (WIFSIGNALED(status)) return "it ended at once (signal " + std::to_string(WTERMSIG(status)) + ")";
  return "it ended at once (exit code " + std::to_string(WEXITSTATUS(status)) + ")";
}

int RemainingMs(std::chrono::steady_clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
  return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

// Waits on the read end of a started program's report: true once it says it runs (or
// neither says so nor ends in time); false, with its status, when it ended first.
bool AwaitReport(pid_t pid, int report, int& status) {
  // Readable once it ends; -1 on kernels without (the C library's wrapper is not usable here).
  const int ended = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kStartLimitMs);
  bool open = true;
  bool started = false, done = false;
  while (!done) {
    pollfd fds[2] = {{open ? report : -1, POLLIN, 0}, {ended, POLLIN, 0}};
    const int n = ::poll(fds, 2, RemainingMs(deadline));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      started = true;  // no word in time, nor an end
      break;
    }
    if (fds[0].revents != 0) {
      char c = 0;
      const ssize_t r = ::read(report, &c, 1);
      if (r == 1) {
        started = true;
        break;
      }
      if (r < 0 && errno == EINTR) continue;
      // Closed without a word: it ended, or it runs on without saying so.
      open = false;
      deadline = std::min(deadline, std::chrono::steady_clock::now() + std::chrono::milliseconds(kEndAfterCloseMs));
      if (ended < 0) {
        // No descriptor to wait on: ask for its end until the bound passes.
        while (!done && RemainingMs(deadline) > 0) {
          const pid_t w = ::waitpid(pid, &status, WNOHANG);
          if (w == pid) {
            done = true;
          } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
          }
        }
        started = !done;
        done = true;
      }
    }
    if (!done && fds[1].revents != 0) {
      while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
      }
      done = true;
    }
  }
  if (ended >= 0) ::close(ended);
  return started;
}

bool IsExecutableFile(const std::string& path) {
  struct stat st {};
  return path.find('/') != std::string::npos && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
         ::access(path.c_str(), X_OK) == 0;
}

std::string FindOnPath(const std::string& name) {
  const char* path = std::getenv("PATH");
  std::string dirs = path != nullptr ? path : "/usr/local/bin:/usr/bin:/bin";
  std::size_t begin = 0;
  while (begin <= dirs.size()) {
    std::size_t end = dirs.find(':', begin);
    if (end == std::string::npos) end = dirs.size();
    std::string dir = dirs.substr(begin, end - begin);
    std::string candidate = (dir.empty() ? "." : dir) + "/" + name;
    if (IsExecutableFile(candidate)) return candidate;
    begin = end + 1;
  }
  return {};
}

std::vector<std::string> SplitParameters(const std::string& text) {
  std::vector<std::string> out;
  std::string current;
  bool quoted = false, any = false;
  for (char c : text) {
    if (c == '"') {
      quoted = !quoted;
      any = true;
    } else if ((c == ' ' || c == '\t') && !quoted) {
      if (any) out.push_back(current);
      current.clear();
      any = false;
    } else {
      current += c;
      any = true;
    }
  }
  if (any) out.push_back(current);
  return out;
}

}  // namespace

StartResult StartProcess(const std::string& program, const std::vector<std::string>& arguments,
                         const StartOptions& options) {
  StartResult result;
  std::vector<std::string> args{program};
  args.insert(args.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (!options.workingDirectory.empty()) {
    posix_spawn_file_actions_addchdir_np(&actions, options.workingDirectory.c_str());
  }
  // The caller's environment; the report's descriptor is named only to a program that is
  // waited on to say it runs.
  const std::string reportVariable = std::string(kStartReportVariable) + "=";
  std::vector<std::string> env;
  for (char** e = environ; e != nullptr && *e != nullptr; ++e) {
    if (std::string_view(*e).substr(0, reportVariable.size()) != reportVariable) env.emplace_back(*e);
  }
  int report[2] = {-1, -1};
  if (options.awaitStart && !options.wait) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) == 0) {
      // Above the descriptor the child gets it as, so that dup2 always makes a new one.
      report[0] = fds[0];
      report[1] = ::fcntl(fds[1], F_DUPFD_CLOEXEC, kStartReportDescriptor + 1);
      ::close(fds[1]);
    }
    if (report[0] < 0 || report[1] < 0) {
      if (report[0] >= 0) ::close(report[0]);
      result.error = "Could not start \"" + program + "\": " + std::strerror(errno);
      posix_spawn_file_actions_destroy(&actions);
      return result;
    }
    posix_spawn_file_actions_adddup2(&actions, report[1], kStartReportDescriptor);
    env.push_back(reportVariable + std::to_string(kStartReportDescriptor));
  }
  std::vector<char*> envp;
  for (auto& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);
  pid_t pid = -1;
  int rc = ::posix_spawnp(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  if (report[1] >= 0) ::close(report[1]);
  if (rc != 0) {
    if (report[0] >= 0) ::close(report[0]);
    result.error = "Could not start \"" + program + "\": " + std::strerror(rc);
    return result;
  }
  result.pid = pid;
  if (report[0] >= 0) {
    int st = 0;
    const bool started = AwaitReport(pid, report[0], st);
    ::close(report[0]);
    if (!started) {
      result.exitCode = ExitCodeOf(st);
      result.error = "Could not start \"" + program + "\": " + EndedAtOnce(st);
      return result;
    }
  }
  if (options.wait) {
    int st = 0;
    while (::waitpid(pid, &st, 0) < 0 && errno == EINTR) {
    }
    result.started = true;
    result.exitCode = ExitCodeOf(st);
    return result;
  }
  result.started = true;
  ReapLater(pid);
  return result;
}

std::optional<int> WaitForProcess(int pid, DWORD timeoutMs) {
  Children& c = UnwaitedChildren();
  std::unique_lock<std::mutex> lock(c.mutex);
  const auto done = [&] {
    const auto it = c.known.find(pid);
    return it == c.known.end() || it->second.has_value();
  };
  if (timeoutMs == INFINITE) {
    c.ended.wait(lock, done);
  } else if (!c.ended.wait_for(lock, std::chrono::milliseconds(timeoutMs), done)) {
    return std::nullopt;
  }
  const auto it = c.known.find(pid);
  if (it == c.known.end()) return std::nullopt;
  const std::optional<int> code = it->second;
  c.known.erase(it);
  return code;
}

bool ShellOpen(const std::string& target, const std::string& parameters) {
  {
    std::unique_lock<std::mutex> lock(g_mutex);
    if (*g_recorder) {
      ShellOpenRecorder recorder = *g_recorder;
      lock.unlock();
      return recorder(target, parameters);
    }
  }
  if (target.empty()) return false;
  StartResult r;
  if (IsExecutableFile(target)) {
    r = StartProcess(target, SplitParameters(parameters));
  } else {
    std::string opener = FindOnPath("xdg-open");
    if (opener.empty()) {
      std::fprintf(stderr,
                   "tovarin: cannot open \"%s\": the desktop's opener xdg-open was not found "
                   "(install the xdg-utils package)\n",
                   target.c_str());
      return false;
    }
    r = StartProcess(opener, {target});
  }
  if (!r.started) std::fprintf(stderr, "tovarin: %s\n", r.error.c_str());
  return r.started;
}

void SetShellOpenRecorder(ShellOpenRecorder recorder) {
  std::lock_guard<std::mutex> lock(g_mutex);
  *g_recorder = std::move(recorder);
}

struct ShellOpenRecording::State {
  std::mutex mutex;
  std::vector<Call> calls;
};

ShellOpenRecording::ShellOpenRecording() : state_(std::make_shared<State>()) {
  SetShellOpenRecorder([state = state_](const std::string& target, const std::string& parameters) {
    std::lock_guard<std::mutex> lock(state->mutex);
    state->calls.push_back({target, parameters});
    return true;
  });
}

ShellOpenRecording::~ShellOpenRecording() { SetShellOpenRecorder({}); }

std::vector<ShellOpenRecording::Call> ShellOpenRecording::calls() const {
  std::lock_guard<std::mutex> lock(state_->mutex);
  return state_->calls;
}

}  // namespace platform
