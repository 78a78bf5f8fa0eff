// Test support for tests that run real second processes: each test process gets its own
// namespace ($TOVARIN_NS) and home ($TOVARIN_HOME), inherited by the helpers it starts and
// removed when the tests end.
#pragma once

#include <gtest/gtest.h>
#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/kernel/kernel.h"
#include "platform/shell/start_report.h"
#include "testing/spawn_piped.h"
#include "testing/temp_folder.h"

extern char** environ;

namespace platform::testing {

// The folder of the helper executables: $TOVARIN_TEST_TOOLS, else the test's own folder.
inline std::string ToolsFolder() {
  if (const char* t = std::getenv("TOVARIN_TEST_TOOLS"); t != nullptr && *t != '\0') return t;
  char buf[PATH_MAX];
  ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return ".";
  buf[n] = '\0';
  return std::filesystem::path(buf).parent_path().string();
}

// How much longer than in a normal build the limits of a test should be: a sanitizer build
// runs several times slower, and CI runs it beside the rest of the suite.
inline int SlowFactor() {
#if defined(__SANITIZE_ADDRESS__)
  return 4;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
  return 4;
#else
  return 1;
#endif
#else
  return 1;
#endif
}

// The line of a shell script standing in for a launcher that says it runs, as the real
// launcher does first thing (platform::ReportStarted).
inline std::string ScriptReportsStarted() {
  const std::string var = std::string("$") + platform::kStartReportVariable;
  return "[ -z \"" + var + "\" ] || eval \"printf x >&" + var + "\"\n";
}

// Milliseconds on the steady clock since `since`.
inline long ElapsedMs(std::chrono::steady_clock::time_point since) {
  return static_cast<long>(
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - since).count());
}

// A helper process with its stdin and stdout connected to the test.
class ChildProcess {
 public:
  ChildProcess(const std::string& tool, const std::vector<std::string>& args) {
    // A child that has already gone must not take the test with it: a write to its
    // closed input fails (WriteLine answers false) instead of raising SIGPIPE.
    static const bool pipeSignalIgnored = ::signal(SIGPIPE, SIG_IGN) != SIG_ERR;
    (void)pipeSignalIgnored;
    std::string path = tool.find('/') == std::string::npos ? ToolsFolder() + "/" + tool : tool;
    std::vector<std::string> all{path};
    all.insert(all.end(), args.begin(), args.end());
    const pid_t pid = SpawnPiped(std::move(all), toChild_, fromChild_);
    if (pid > 0) pid_ = pid;
  }
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;
  ~ChildProcess() {
    if (pid_ > 0 && !reaped_) {
      ::kill(pid_, SIGKILL);
      Wait();
    }
    if (toChild_ >= 0) ::close(toChild_);
    if (fromChild_ >= 0) ::close(fromChild_);
  }

  bool started() const { return pid_ > 0; }
  pid_t pid() const { return pid_; }

  // The next line the child printed, or nullopt at end of output or after the time limit.
  std::optional<std::string> ReadLine(int timeoutMs = 10000) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
      auto nl = buffer_.find('\n');
      if (nl != std::string::npos) {
        std::string line = buffer_.substr(0, nl);
        buffer_.erase(0, nl + 1);
        return line;
      }
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0) return std::nullopt;
      pollfd p{fromChild_, POLLIN, 0};
      if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
      char chunk[4096];
      ssize_t n = ::read(fromChild_, chunk, sizeof chunk);
      if (n <= 0) return std::nullopt;
      buffer_.append(chunk, static_cast<std::size_t>(n));
    }
  }

  bool WriteLine(const std::string& line) {
    std::string s = line + "\n";
    return ::write(toChild_, s.data(), s.size()) == static_cast<ssize_t>(s.size());
  }
  void CloseInput() {
    if (toChild_ >= 0) ::close(toChild_);
    toChild_ = -1;
  }

  void Kill(int sig = SIGKILL) { ::kill(pid_, sig); }

  // The exit code, or 128 + the signal that ended the child.
  int Wait() {
    if (reaped_) return status_;
    int st = 0;
    while (::waitpid(pid_, &st, 0) < 0 && errno == EINTR) {
    }
    reaped_ = true;
    status_ = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
    return status_;
  }

 private:
  pid_t pid_ = -1;
  int toChild_ = -1;
  int fromChild_ = -1;
  bool reaped_ = false;
  int status_ = -1;
  std::string buffer_;
};

// Removes what the namespace left: its runtime folder and its shared-memory objects.
inline void RemoveNamespaceLeftovers() {
  std::error_code ec;
  std::string folder = RuntimeFolder();
  if (!folder.empty()) std::filesystem::remove_all(folder, ec);
  std::string prefix = KernelObjectName("", "").substr(1);
  prefix = prefix.substr(0, prefix.size() - 1);  // "tovarin.<uid>.<ns>."
  for (auto& e : std::filesystem::directory_iterator("/dev/shm", ec)) {
    if (e.path().filename().string().rfind(prefix, 0) == 0) std::filesystem::remove(e.path(), ec);
  }
}

class IsolatedNamespace : public ::testing::Environment {
 public:
  explicit IsolatedNamespace(std::string home) : home_(std::move(home)) {}
  void TearDown() override {
    RemoveNamespaceLeftovers();
    // The folder made at start, not whatever TOVARIN_HOME names by now: tests that point it
    // elsewhere left one behind per test process.
    std::error_code ec;
    if (!home_.empty()) std::filesystem::remove_all(home_, ec);
  }

 private:
  std::string home_;
};

// Call once from a static initialiser of the test file.
inline bool IsolateNamespace() {
  static bool done = false;
  if (done) return true;
  done = true;
  char ns[64];
  std::snprintf(ns, sizeof ns, "t%d-%lld", static_cast<int>(::getpid()),
                static_cast<long long>(std::chrono::steady_clock::now().time_since_epoch().count() % 1000000007));
  ::setenv("TOVARIN_NS", ns, 1);
  std::string home = (std::filesystem::temp_directory_path() / (std::string("tovarin-home-") + ns + "-XXXXXX")).string();
  if (::mkdtemp(home.data()) != nullptr) {
    ::setenv("TOVARIN_HOME", home.c_str(), 1);
    // A run that only lists the tests (ctest's discovery) never tears the environment down.
    static std::string made = home;
    std::atexit([] {
      std::error_code ec;
      std::filesystem::remove_all(made, ec);
    });
  } else {
    home.clear();
  }
  ::testing::AddGlobalTestEnvironment(new IsolatedNamespace(home));
  return true;
}

// A fresh folder under $TMPDIR for each test (dir_, POSIX), removed with what it holds.
class TempFolderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = MakeTempFolder("tovtest");
    ASSERT_FALSE(dir_.empty());
  }
  void TearDown() override {
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }
  std::string dir_;
};

}  // namespace platform::testing
