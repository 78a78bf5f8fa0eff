// Tick count, ids, the namespace and its runtime folder, process liveness.
#include "platform/kernel/kernel.h"

#include <fcntl.h>
#include <malloc.h>
#include <poll.h>
#include <pthread.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/types.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <utility>

#include "platform/paths/paths.h"

namespace platform {

namespace {

// Characters kept as they are in names; everything else is written %XX.
bool PlainNameChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
         c == '-';
}

std::string EscapeName(std::string_view name) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (char c : name) {
    if (PlainNameChar(c)) {
      out += c;
    } else {
      auto b = static_cast<unsigned char>(c);
      out += '%';
      out += kHex[b >> 4];
      out += kHex[b & 15];
    }
  }
  // Keep file names well below NAME_MAX and socket paths below their limit.
  if (out.size() > 100) {
    std::uint64_t h = 14695981039346656037ull;
    for (char c : name) {
      h = (h ^ static_cast<unsigned char>(c)) * 1099511628211ull;
    }
    char buf[20];
    std::snprintf(buf, sizeof buf, "~%016llx", static_cast<unsigned long long>(h));
    out = out.substr(0, 60) + buf;
  }
  return out;
}

bool EnsurePrivateFolder(const std::string& path) {
  std::string problem;
  if (MakePrivateFolder(path, &problem)) return true;
  std::fprintf(stderr, "tovarin: %s\n", problem.c_str());
  return false;
}

long SysPidfdOpen(pid_t pid) {
#ifdef SYS_pidfd_open
  return ::syscall(SYS_pidfd_open, pid, 0);
#else
  errno = ENOSYS;
  return -1;
#endif
}

bool Readable(int fd) {
  pollfd p{fd, POLLIN, 0};
  int r;
  do {
    r = ::poll(&p, 1, 0);
  } while (r < 0 && errno == EINTR);
  return r > 0;
}

// Exit descriptors of the processes we asked about, keyed by (pid, start time). A
// descriptor handed out stays open while its holder watches it, also when the cache
// learns meanwhile that the process ended.
struct LivenessCache {
  std::mutex mutex;
  std::map<std::pair<DWORD, std::uint64_t>, std::shared_ptr<const ExitDescriptor>> fds;
};

LivenessCache& Liveness() {
  static auto* cache = new LivenessCache;  // lives until the process ends
  return *cache;
}

// The cached descriptor, opening it on first use; null when the process is gone or cannot
// be watched. `checked`: whether a cached descriptor is first asked whether it turned
// readable. Called with the cache locked.
std::shared_ptr<const ExitDescriptor> CachedExitFd(LivenessCache& cache, DWORD pid, std::uint64_t start, bool checked,
                                                   bool* gone) {
  *gone = false;
  auto key = std::make_pair(pid, start);
  auto it = cache.fds.find(key);
  if (it != cache.fds.end()) {
    if (checked && Readable(it->second->fd())) {
      cache.fds.erase(it);
      *gone = true;
      return nullptr;
    }
    return it->second;
  }
  long fd = SysPidfdOpen(static_cast<pid_t>(pid));
  if (fd < 0) {
    *gone = (errno == ESRCH);
    return nullptr;
  }
  // The descriptor names whoever had the id when it was opened: it is ours only when the
  // start time matches and that process has not ended since.
  if (ProcessStartTime(pid) != start || Readable(static_cast<int>(fd))) {
    ::close(static_cast<int>(fd));
    *gone = true;
    return nullptr;
  }
  ::fcntl(static_cast<int>(fd), F_SETFD, FD_CLOEXEC);
  auto watch = std::make_shared<const ExitDescriptor>(static_cast<int>(fd));
  cache.fds.emplace(key, watch);
  return watch;
}

// The process id, asked of the system once and again in a forked child.
std::atomic<DWORD> g_processId{0};

void ForgetProcessId() { g_processId.store(0, std::memory_order_relaxed); }

}  // namespace

DWORD GetTickCount() { return static_cast<DWORD>(GetTickCount64()); }

std::uint64_t GetTickCount64() {
  timespec ts{};
  ::clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<std::uint64_t>(ts.tv_sec) * 1000u + static_cast<std::uint64_t>(ts.tv_nsec) / 1000000u;
}

void Sleep(DWORD milliseconds) {
  timespec ts{static_cast<time_t>(milliseconds / 1000), static_cast<long>(milliseconds % 1000) * 1000000L};
  while (::nanosleep(&ts, &ts) != 0 && errno == EINTR) {
  }
}

DWORD GetCurrentThreadId() {
  thread_local DWORD tid = static_cast<DWORD>(::syscall(SYS_gettid));
  return tid;
}

DWORD GetCurrentProcessId() {
  DWORD pid = g_processId.load(std::memory_order_relaxed);
  if (pid == 0) {
    static const bool watched = ::pthread_atfork(nullptr, nullptr, ForgetProcessId) == 0;
    (void)watched;
    pid = static_cast<DWORD>(::getpid());
    g_processId.store(pid, std::memory_order_relaxed);
  }
  return pid;
}

std::string KernelNamespace() {
  const char* ns = std::getenv("TOVARIN_NS");
  if (ns != nullptr && *ns != '\0') return ns;
  return std::to_string(::getuid());
}

std::string RuntimeFolder() {
  std::string ns = EscapeName(KernelNamespace());
  static std::mutex mutex;
  static std::map<std::string, std::string> verified;
  std::lock_guard<std::mutex> lock(mutex);
  auto it = verified.find(ns);
  if (it != verified.end()) {
    struct stat st {};
    if (::lstat(it->second.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return it->second;
    verified.erase(it);
  }
  std::string base;
  const char* xdg = std::getenv("XDG_RUNTIME_DIR");
  struct stat st {};
  if (xdg != nullptr && xdg[0] == '/' && ::stat(xdg, &st) == 0 && S_ISDIR(st.st_mode)) {
    base = std::string(xdg) + "/tovarin";
  } else {
    base = "/tmp/tovarin-" + std::to_string(::geteuid());
  }
  if (!EnsurePrivateFolder(base)) return {};
  std::string folder = base + "/" + ns;
  if (!EnsurePrivateFolder(folder)) return {};
  verified[ns] = folder;
  return folder;
}

std::string KernelObjectName(std::string_view kind, std::string_view name) {
  // '.' never appears inside an escaped part, so the parts cannot run into each other.
  return "/tovarin." + std::to_string(::geteuid()) + "." + EscapeName(KernelNamespace()) + "." +
         std::string(kind) + "." + EscapeName(name);
}

std::uint64_t ProcessStartTime(DWORD pid) {
  char path[64];
  std::snprintf(path, sizeof path, "/proc/%u/stat", pid);
  int fd = ::open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return 0;
  char buf[1024];
  ssize_t n = ::read(fd, buf, sizeof buf - 1);
  ::close(fd);
  if (n <= 0) return 0;
  buf[n] = '\0';
  // The command name in parentheses may hold blanks and parentheses: fields follow the last ')'.
  char* p = std::strrchr(buf, ')');
  if (p == nullptr) return 0;
  ++p;
  // Field 3 is the state, field 22 the start time.
  char state = 0;
  unsigned long long start = 0;
  int field = 2;
  char* save = nullptr;
  for (char* tok = ::strtok_r(p, " ", &save); tok != nullptr; tok = ::strtok_r(nullptr, " ", &save)) {
    ++field;
    if (field == 3) state = tok[0];
    if (field == 22) {
      start = std::strtoull(tok, nullptr, 10);
      break;
    }
  }
  if (state == 'Z' || state == 'X' || state == 'x') return 0;
  return start;
}

std::uint64_t CurrentProcessStartTime() {
  static const std::uint64_t start = ProcessStartTime(GetCurrentProcessId());
  // A forked child inherits the cached value; ask again when the id changed.
  static const DWORD pid = GetCurrentProcessId();
  if (pid != GetCurrentProcessId()) return ProcessStartTime(GetCurrentProcessId());
  return start;
}

ExitDescriptor::~ExitDescriptor() { ::close(fd_); }

bool IsProcessAlive(DWORD pid, std::uint64_t startTime) {
  if (pid == 0 || startTime == 0) return false;
  if (pid == GetCurrentProcessId()) return startTime == CurrentProcessStartTime();
  auto& cache = Liveness();
  std::lock_guard<std::mutex> lock(cache.mutex);
  bool gone = false;
  if (CachedExitFd(cache, pid, startTime, true, &gone)) return true;
  if (gone) return false;
  return ProcessStartTime(pid) == startTime;  // no exit descriptors on this system
}

std::shared_ptr<const ExitDescriptor> ProcessExitWatch(DWORD pid, std::uint64_t startTime) {
  if (pid == GetCurrentProcessId()) return nullptr;
  auto& cache = Liveness();
  std::lock_guard<std::mutex> lock(cache.mutex);
  bool gone = false;
  // Its holder polls it: asking here whether it turned readable would only repeat that.
  return CachedExitFd(cache, pid, startTime, false, &gone);
}

void LimitAllocatorArenas(int arenas) { ::mallopt(M_ARENA_MAX, arenas); }

void ReturnFreeMemory() { ::malloc_trim(0); }

}  // namespace platform
