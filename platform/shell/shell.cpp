#include "platform/shell/shell.h"

#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>

extern char** environ;

namespace platform {

namespace {

std::mutex g_mutex;
std::vector<pid_t>* g_unwaited = new std::vector<pid_t>;  // children nobody waits for
ShellOpenRecorder* g_recorder = new ShellOpenRecorder;

int ExitCodeOf(int status) { return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status); }

// Reaps the children that were started without waiting and have ended. Called with g_mutex.
void ReapFinished() {
  auto& v = *g_unwaited;
  v.erase(std::remove_if(v.begin(), v.end(),
                         [](pid_t pid) {
                           int st;
                           pid_t r = ::waitpid(pid, &st, WNOHANG);
                           return r == pid || (r < 0 && errno == ECHILD);
                         }),
          v.end());
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
  result.started = true;
  result.pid = pid;
  if (options.wait) {
    int st = 0;
    while (::waitpid(pid, &st, 0) < 0 && errno == EINTR) {
    }
    result.exitCode = ExitCodeOf(st);
  } else {
    std::lock_guard<std::mutex> lock(g_mutex);
    ReapFinished();
    g_unwaited->push_back(pid);
  }
  return result;
}

std::optional<int> WaitForProcess(int pid, DWORD timeoutMs) {
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    auto& v = *g_unwaited;
    if (std::find(v.begin(), v.end(), pid) == v.end()) return std::nullopt;
  }
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    int st = 0;
    pid_t r = ::waitpid(pid, &st, timeoutMs == INFINITE ? 0 : WNOHANG);
    if (r == pid || (r < 0 && errno != EINTR)) {
      std::lock_guard<std::mutex> lock(g_mutex);
      auto& v = *g_unwaited;
      v.erase(std::remove(v.begin(), v.end(), pid), v.end());
      if (r != pid) return std::nullopt;
      return ExitCodeOf(st);
    }
    if (timeoutMs != INFINITE && std::chrono::steady_clock::now() >= deadline) return std::nullopt;
    if (r == 0) std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
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
