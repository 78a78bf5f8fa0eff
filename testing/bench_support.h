// Scaffolding shared by the two-process benchmarks (benchmarks only; needs Google Benchmark):
// a child process on pipes, the timing of single round trips (median and 90th percentile),
// and the floor every cross-process road is measured against, a bare two-process ping-pong
// over POSIX named semaphores (sem_post / sem_wait, no spinning), with its summary line.
//
// The floor's peer is the benchmark program itself, started again with --peer-floor; its
// main() hands that over first thing:
//   if (bench::IsFloorPeer(argc, argv)) return bench::FloorPeer(argv[2], argv[3]);
#pragma once

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
#include <system_error>
#include <vector>

#include "platform/kernel/kernel.h"
#include "testing/spawn_piped.h"

extern char** environ;

namespace platform::bench {

// The run's figures by name, for the summary lines: median round trips in µs, rates.
inline std::map<std::string, double>& Results() {
  static std::map<std::string, double> results;
  return results;
}

// A namespace of the run's own ("<tag>-<pid>") in $TOVARIN_NS, so a running system is
// never disturbed; returns it.
inline std::string UseOwnNamespace(const char* tag) {
  std::string ns = std::string(tag) + "-" + std::to_string(::getpid());
  ::setenv("TOVARIN_NS", ns.c_str(), 1);
  return ns;
}

// Removes the namespace's runtime folder when the run ends.
inline void RemoveRuntimeFolder() {
  std::error_code ec;
  std::string folder = RuntimeFolder();
  if (!folder.empty()) std::filesystem::remove_all(folder, ec);
}

// A program (args[0], a path) with its stdin and stdout piped to us; sent `stopSignal` and
// reaped when dropped.
class Child {
 public:
  explicit Child(std::vector<std::string> args, int stopSignal = SIGTERM) : stopSignal_(stopSignal) {
    const pid_t pid = SpawnPiped(std::move(args), to_, from_);
    if (pid > 0) pid_ = pid;
  }
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;
  ~Child() {
    if (pid_ > 0) {
      ::kill(pid_, stopSignal_);
      ::waitpid(pid_, nullptr, 0);
    }
    if (to_ >= 0) ::close(to_);
    if (from_ >= 0) ::close(from_);
  }

  // The next line the child printed; what came by then when the time limit passes first.
  std::string ReadLine(int timeoutMs = 60000) {
    std::string line;
    char c;
    pollfd p{from_, POLLIN, 0};
    while (::poll(&p, 1, timeoutMs) > 0 && ::read(from_, &c, 1) == 1 && c != '\n') line += c;
    return line;
  }
  pid_t pid() const { return pid_; }
  void WriteLine(const std::string& s) {
    std::string l = s + "\n";
    ssize_t n = ::write(to_, l.data(), l.size());
    (void)n;
  }

 private:
  int stopSignal_;
  pid_t pid_ = -1;
  int to_ = -1;
  int from_ = -1;
};

// Sets the benchmark's counters from the round trips (µs) and keeps the median under `name`.
inline void Report(benchmark::State& state, const char* name, std::vector<double>& us) {
  if (us.empty()) return;
  std::sort(us.begin(), us.end());
  double median = us[us.size() / 2];
  state.counters["median_us"] = median;
  state.counters["p90_us"] = us[us.size() * 9 / 10];
  Results()[name] = median;
}

// Times each of the benchmark's iterations of `roundTrip` alone, after `warmUp` untimed ones.
template <typename RoundTrip>
void Measure(benchmark::State& state, const char* name, int warmUp, RoundTrip roundTrip) {
  std::vector<double> us;
  us.reserve(static_cast<std::size_t>(state.max_iterations));
  for (int i = 0; i < warmUp; ++i) roundTrip();
  for (auto _ : state) {
    auto t0 = std::chrono::steady_clock::now();
    roundTrip();
    auto t1 = std::chrono::steady_clock::now();
    us.push_back(std::chrono::duration<double, std::micro>(t1 - t0).count());
  }
  Report(state, name, us);
}

// A POSIX object name of the run's own: "/tovarin-<namespace>-<what>".
inline std::string PosixName(const char* what) { return "/tovarin-" + KernelNamespace() + "-" + what; }

inline constexpr const char* kFloorPeerFlag = "--peer-floor";

inline bool IsFloorPeer(int argc, char** argv) { return argc == 4 && std::strcmp(argv[1], kFloorPeerFlag) == 0; }

// The floor's peer: answers every ping with a pong, until it is killed.
inline int FloorPeer(const char* pingName, const char* pongName) {
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

// The floor benchmark; its median is kept as "floor".
inline void MeasureFloor(benchmark::State& state, int warmUp) {
  std::string a = PosixName("ping"), b = PosixName("pong");
  sem_t* ping = ::sem_open(a.c_str(), O_CREAT | O_EXCL, 0600, 0);
  sem_t* pong = ::sem_open(b.c_str(), O_CREAT | O_EXCL, 0600, 0);
  if (ping == SEM_FAILED || pong == SEM_FAILED) {
    state.SkipWithError("sem_open failed");
    return;
  }
  {
    Child peer({"/proc/self/exe", kFloorPeerFlag, a, b}, SIGKILL);
    if (peer.ReadLine() != "ready") {
      state.SkipWithError("peer did not start");
    } else {
      Measure(state, "floor", warmUp, [&] {
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

// Prints the summary line that sets the median round trip kept under `name` (`label` in
// the line) against the floor's; false when either is missing.
inline bool PrintRatioToFloor(const char* name, const char* label, const char* goal) {
  auto floor = Results().find("floor");
  auto road = Results().find(name);
  if (floor == Results().end() || road == Results().end() || floor->second <= 0) return false;
  std::printf("\nmedian round trip: floor (bare semaphore ping-pong) %.1f us, %s %.1f us, ratio %.2f (goal <= %s)\n",
              floor->second, label, road->second, road->second / floor->second, goal);
  return true;
}

}  // namespace platform::bench
