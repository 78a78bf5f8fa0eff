// Round trip of the cross-process request road: a client posts a message to a window of
// another process, whose procedure releases a named semaphore the client waits on.
// Beside it, in the same run, the floor: a bare two-process ping-pong over POSIX named
// semaphores (sem_post / sem_wait, no spinning). Each benchmark reports the median and
// the 90th percentile of single round trips; a summary line gives the ratio.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <poll.h>
#include <semaphore.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "platform/window/window.h"

extern char** environ;

using namespace platform;

namespace {

constexpr UINT kPing = WM_USER + 100;
constexpr int kRoundTrips = 20000;

std::map<std::string, double> g_medians;  // benchmark name -> median round trip in µs

// A copy of this program running one of the peer loops, its stdout piped to us.
class Peer {
 public:
  explicit Peer(std::vector<std::string> args) {
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) return;
    args.insert(args.begin(), "/proc/self/exe");
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_adddup2(&fa, out[1], 1);
    ::posix_spawn(&pid_, "/proc/self/exe", &fa, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&fa);
    ::close(out[1]);
    fd_ = out[0];
  }
  ~Peer() {
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
    if (fd_ >= 0) ::close(fd_);
  }
  std::string ReadLine() {
    std::string line;
    char c;
    pollfd p{fd_, POLLIN, 0};
    while (::poll(&p, 1, 10000) > 0 && ::read(fd_, &c, 1) == 1 && c != '\n') line += c;
    return line;
  }

 private:
  pid_t pid_ = -1;
  int fd_ = -1;
};

void Report(benchmark::State& state, const char* name, std::vector<double>& us) {
  if (us.empty()) return;
  std::sort(us.begin(), us.end());
  double median = us[us.size() / 2];
  state.counters["median_us"] = median;
  state.counters["p90_us"] = us[us.size() * 9 / 10];
  g_medians[name] = median;
}

template <typename RoundTrip>
void Measure(benchmark::State& state, const char* name, RoundTrip roundTrip) {
  std::vector<double> us;
  us.reserve(kRoundTrips);
  for (int i = 0; i < 200; ++i) roundTrip();  // warm-up
  for (auto _ : state) {
    auto t0 = std::chrono::steady_clock::now();
    roundTrip();
    auto t1 = std::chrono::steady_clock::now();
    us.push_back(std::chrono::duration<double, std::micro>(t1 - t0).count());
  }
  Report(state, name, us);
}

std::string PosixName(const char* what) { return "/tovarin-bench-" + std::to_string(::getpid()) + "-" + what; }

// ---- peers ----

int FloorPeer(const char* pingName, const char* pongName) {
  sem_t* ping = ::sem_open(pingName, 0);
  sem_t* pong = ::sem_open(pongName, 0);
  if (ping == SEM_FAILED || pong == SEM_FAILED) return 3;
  std::printf("ready\n");
  std::fflush(stdout);
  for (;;) {
    while (::sem_wait(ping) != 0) {
    }
    ::sem_post(pong);
  }
}

int OurSemaphorePeer(const char* pingName, const char* pongName) {
  auto ping = NamedSemaphore::Open(pingName);
  auto pong = NamedSemaphore::Open(pongName);
  if (!ping || !pong) return 3;
  std::printf("ready\n");
  std::fflush(stdout);
  for (;;) {
    ping->Wait(INFINITE);
    pong->Release();
  }
}

int WindowPeer(const char* semaphoreName) {
  auto done = NamedSemaphore::Open(semaphoreName);
  if (!done) return 3;
  RegisterClass("Bench Receiver");
  HWND h = CreateWindow("Bench Receiver", 0, [&](HWND, UINT m, WPARAM w, LPARAM) -> LRESULT {
    if (m == kPing) done->Release();
    return static_cast<LRESULT>(w + 1);
  });
  std::printf("%u\n", h);
  std::fflush(stdout);
  MSG msg;
  while (GetMessage(&msg) > 0) DispatchMessage(&msg);
  return 0;
}

// ---- benchmarks ----

void BM_Floor_PosixSemaphorePingPong(benchmark::State& state) {
  std::string a = PosixName("ping"), b = PosixName("pong");
  sem_t* ping = ::sem_open(a.c_str(), O_CREAT | O_EXCL, 0600, 0);
  sem_t* pong = ::sem_open(b.c_str(), O_CREAT | O_EXCL, 0600, 0);
  if (ping == SEM_FAILED || pong == SEM_FAILED) {
    state.SkipWithError("sem_open failed");
    return;
  }
  {
    Peer peer({"--peer-floor", a, b});
    if (peer.ReadLine() != "ready") {
      state.SkipWithError("peer did not start");
    } else {
      Measure(state, "floor", [&] {
        ::sem_post(ping);
        while (::sem_wait(pong) != 0) {
        }
      });
    }
  }
  ::sem_close(ping);
  ::sem_close(pong);
  ::sem_unlink(a.c_str());
  ::sem_unlink(b.c_str());
}

void BM_NamedSemaphorePingPong(benchmark::State& state) {
  auto ping = NamedSemaphore::Create("bench-ping");
  auto pong = NamedSemaphore::Create("bench-pong");
  Peer peer({"--peer-semaphore", "bench-ping", "bench-pong"});
  if (!ping || !pong || peer.ReadLine() != "ready") {
    state.SkipWithError("set-up failed");
    return;
  }
  Measure(state, "semaphore", [&] {
    ping->Release();
    pong->Wait(INFINITE);
  });
}

void BM_PostToWindowThenSemaphore(benchmark::State& state) {
  auto done = NamedSemaphore::Create("bench-done");
  Peer peer({"--peer-window", "bench-done"});
  HWND target = done ? static_cast<HWND>(std::strtoul(peer.ReadLine().c_str(), nullptr, 10)) : 0;
  if (target == 0) {
    state.SkipWithError("set-up failed");
    return;
  }
  Measure(state, "post", [&] {
    PostMessage(target, kPing, 0, 0);
    done->Wait(INFINITE);
  });
}

void BM_SendMessageAcrossProcesses(benchmark::State& state) {
  auto done = NamedSemaphore::Create("bench-done-send");
  Peer peer({"--peer-window", "bench-done-send"});
  HWND target = done ? static_cast<HWND>(std::strtoul(peer.ReadLine().c_str(), nullptr, 10)) : 0;
  if (target == 0) {
    state.SkipWithError("set-up failed");
    return;
  }
  Measure(state, "send", [&] { benchmark::DoNotOptimize(SendMessage(target, WM_USER, 1, 0)); });
}

BENCHMARK(BM_Floor_PosixSemaphorePingPong)->Iterations(kRoundTrips)->UseRealTime();
BENCHMARK(BM_NamedSemaphorePingPong)->Iterations(kRoundTrips)->UseRealTime();
BENCHMARK(BM_PostToWindowThenSemaphore)->Iterations(kRoundTrips)->UseRealTime();
BENCHMARK(BM_SendMessageAcrossProcesses)->Iterations(kRoundTrips)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::strcmp(argv[1], "--peer-floor") == 0) return FloorPeer(argv[2], argv[3]);
  if (argc == 4 && std::strcmp(argv[1], "--peer-semaphore") == 0) return OurSemaphorePeer(argv[2], argv[3]);
  if (argc == 3 && std::strcmp(argv[1], "--peer-window") == 0) return WindowPeer(argv[2]);

  // A namespace of our own, so a running system is never disturbed.
  std::string ns = "bench-" + std::to_string(::getpid());
  ::setenv("TOVARIN_NS", ns.c_str(), 1);

  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();

  auto floor = g_medians.find("floor");
  auto ipc = g_medians.find("post");
  if (floor != g_medians.end() && ipc != g_medians.end() && floor->second > 0) {
    std::printf("\nmedian round trip: floor (bare semaphore ping-pong) %.1f us, post + semaphore %.1f us, ratio %.2f (goal <= 1.5)\n",
                floor->second, ipc->second, ipc->second / floor->second);
  }
  std::error_code ec;
  std::string folder = RuntimeFolder();
  if (!folder.empty()) std::filesystem::remove_all(folder, ec);
  return 0;
}
