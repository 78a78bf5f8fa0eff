// Round trip of the cross-process request road: a client posts a message to a window of
// another process, whose procedure releases a named semaphore the client waits on.
// Beside it, in the same run, the floor: a bare two-process ping-pong over POSIX named
// semaphores (sem_post / sem_wait, no spinning). Each benchmark reports the median and
// the 90th percentile of single round trips; a summary line gives the ratio.
#include <benchmark/benchmark.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "testing/bench_support.h"
#include "platform/window/window.h"

using namespace platform;

namespace {

constexpr UINT kPing = WM_USER + 100;
constexpr int kRoundTrips = 20000;
constexpr int kWarmUp = 200;
constexpr int kPeerStartMs = 10000;

// A copy of this program running one of the peer loops.
bench::Child StartPeer(std::vector<std::string> args) {
  args.insert(args.begin(), "/proc/self/exe");
  return bench::Child(std::move(args), SIGKILL);
}

// ---- peers ----

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

void BM_Floor_PosixSemaphorePingPong(benchmark::State& state) { bench::MeasureFloor(state, kWarmUp); }

void BM_NamedSemaphorePingPong(benchmark::State& state) {
  auto ping = NamedSemaphore::Create("bench-ping");
  auto pong = NamedSemaphore::Create("bench-pong");
  auto peer = StartPeer({"--peer-semaphore", "bench-ping", "bench-pong"});
  if (!ping || !pong || peer.ReadLine(kPeerStartMs) != "ready") {
    state.SkipWithError("set-up failed");
    return;
  }
  bench::Measure(state, "semaphore", kWarmUp, [&] {
    ping->Release();
    pong->Wait(INFINITE);
  });
}

// The semaphore `name` and a window peer that releases it on kPing; target is 0 when
// either could not be had.
struct WindowPeerSetUp {
  explicit WindowPeerSetUp(const char* name)
      : done(NamedSemaphore::Create(name)),
        peer(StartPeer({"--peer-window", name})),
        target(done ? static_cast<HWND>(std::strtoul(peer.ReadLine(kPeerStartMs).c_str(), nullptr, 10)) : 0) {}
  std::unique_ptr<NamedSemaphore> done;
  bench::Child peer;
  HWND target;
};

void BM_PostToWindowThenSemaphore(benchmark::State& state) {
  WindowPeerSetUp w("bench-done");
  if (w.target == 0) {
    state.SkipWithError("set-up failed");
    return;
  }
  bench::Measure(state, "post", kWarmUp, [&] {
    PostMessage(w.target, kPing, 0, 0);
    w.done->Wait(INFINITE);
  });
}

void BM_SendMessageAcrossProcesses(benchmark::State& state) {
  WindowPeerSetUp w("bench-done-send");
  if (w.target == 0) {
    state.SkipWithError("set-up failed");
    return;
  }
  bench::Measure(state, "send", kWarmUp, [&] { benchmark::DoNotOptimize(SendMessage(w.target, WM_USER, 1, 0)); });
}

BENCHMARK(BM_Floor_PosixSemaphorePingPong)->Iterations(kRoundTrips)->UseRealTime();
BENCHMARK(BM_NamedSemaphorePingPong)->Iterations(kRoundTrips)->UseRealTime();
BENCHMARK(BM_PostToWindowThenSemaphore)->Iterations(kRoundTrips)->UseRealTime();
BENCHMARK(BM_SendMessageAcrossProcesses)->Iterations(kRoundTrips)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  if (bench::IsFloorPeer(argc, argv)) return bench::FloorPeer(argv[2], argv[3]);
  if (argc == 4 && std::strcmp(argv[1], "--peer-semaphore") == 0) return OurSemaphorePeer(argv[2], argv[3]);
  if (argc == 3 && std::strcmp(argv[1], "--peer-window") == 0) return WindowPeer(argv[2]);

  bench::UseOwnNamespace("bench");
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  bench::PrintRatioToFloor("post", "post + semaphore", "1.5");
  bench::RemoveRuntimeFolder();
  return 0;
}
