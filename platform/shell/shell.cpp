#include "platform/shell/shell.h"

#include <spawn.h>
#include <sys/stat.h>
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
#include <system_error>
#include <thread>

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
  pid_t pid = -1;
  int rc = ::posix_spawnp(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) {
    result.error = "Could not start \"" + program + "\": " + std::strerror(rc);
    return result;
  }
  result.pid = pid;
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
