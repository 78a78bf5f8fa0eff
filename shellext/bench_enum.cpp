// Enumerating "Audio Tracks" of a 10,000-track player through the manager, as the folder
// does it (the content build and a walk that copies every item out), with the number of
// device requests per item; beside it, in the same run, the bare round trip of one device
// request.
//
// Runs its own manager (shellhost_test_player, from the folder of this program) in a
// private namespace and home.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

#include "common/identity.h"
#include "device/kernel_device_client.h"
#include "manager/manager_wnd.h"
#include "testing/bench_support.h"
#include "platform/settings/settings.h"
#include "testing/bench_manager.h"
#include "shellext/enum_id_list.h"
#include "shellext/library.h"

using namespace device;

namespace {

namespace bench = platform::bench;

constexpr int kTracks = 10000;
constexpr int kRoundTrips = 20000;
constexpr int kWarmUp = 500;

// Forwards every operation to another device and counts those that are requests (the
// capability questions are answered from the proxy's cache).
class CountingDevice final : public KernelDevice {
 public:
  explicit CountingDevice(KernelDevice& inner) : inner_(inner) {}
  long requests = 0;

#define COUNTING_ROW(code, Name, R, Flow, ...)                             \
  ::device::devop::R::Type Name(DEVOP_PARAMS(__VA_ARGS__)) override {             \
    if (!::device::devop::Flow::kCapability) ++requests;                           \
    return inner_.Name(DEVOP_ARGS(__VA_ARGS__));                           \
  }
  KERNEL_DEVICE_OPERATIONS(COUNTING_ROW)
#undef COUNTING_ROW

  int EnumFirstPlaylist(KernelId&) override { return 0; }
  int EnumNextPlaylist(KernelId&) override { return 0; }
  int EnumFirstPlaylistItem(const KernelId&, KernelId&) override { return 0; }
  int EnumNextPlaylistItem(const KernelId&, KernelId&) override { return 0; }

 private:
  KernelDevice& inner_;
};

// The one-item list of the "Audio Tracks" folder.
platform::LPITEMIDLIST AudioTracksFolder() {
  std::vector<std::uint8_t> bytes(shellext::kOneItemListSize, 0);
  auto* item = reinterpret_cast<shellext::ShellItemData*>(bytes.data());
  item->cb = shellext::kShellItemSize;
  std::memcpy(item->signature, shellext::kShellItemSignature, 4);
  item->nodeType = shellext::NT_CONTAINER;
  item->id.word[0] = shellext::kKindAudioTracks;
  return platform::ItemIdListFromBytes(bytes.data(), bytes.size());
}

void BM_RequestRoundTrip(benchmark::State& state) {
  KernelId track;
  shellext::g_DeviceClient.GetFirstAudioTrack(track);
  bench::Measure(state, "request", kWarmUp,
                 [&] { benchmark::DoNotOptimize(shellext::g_DeviceClient.GetTrackYear(track)); });
}

void BM_EnumerateAudioTracks(benchmark::State& state) {
  CountingDevice counting(shellext::g_DeviceClient);
  shellext::SetDeviceForTesting(&counting);
  platform::LPITEMIDLIST folder = AudioTracksFolder();
  std::vector<double> ms;
  long items = 0;
  for (auto _ : state) {
    counting.requests = 0;
    const auto t0 = std::chrono::steady_clock::now();
    auto* e = new shellext::CEnumIDList(nullptr, folder, platform::SHCONTF_FOLDERS | platform::SHCONTF_NONFOLDERS);
    items = 0;
    platform::LPITEMIDLIST item = nullptr;
    while (e->Next(1, &item, nullptr) == platform::S_OK) {
      platform::FreeItemIdList(item);
      ++items;
    }
    e->Release();
    ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count());
  }
  platform::FreeItemIdList(folder);
  shellext::SetDeviceForTesting(nullptr);
  std::sort(ms.begin(), ms.end());
  state.counters["items"] = static_cast<double>(items);
  state.counters["median_ms"] = ms[ms.size() / 2];
  state.counters["requests_per_item"] = items > 0 ? static_cast<double>(counting.requests) / items : 0;
  bench::Results()["enum_ms"] = ms[ms.size() / 2];
  bench::Results()["enum_requests_per_item"] = items > 0 ? static_cast<double>(counting.requests) / items : 0;
  bench::Results()["enum_items"] = static_cast<double>(items);
}

BENCHMARK(BM_RequestRoundTrip)->Iterations(kRoundTrips)->UseRealTime();
BENCHMARK(BM_EnumerateAudioTracks)->Iterations(10)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  shellext::benchmarks::BenchManager manager("benchenum", kTracks);
  if (!manager.Connected()) return 1;
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  auto& r = bench::Results();
  if (r.count("enum_ms") != 0 && r.count("request") != 0) {
    std::printf("\"Audio Tracks\" of %.0f tracks: %.1f ms (goal: under 500 ms), %.3f device requests per item; "
                "one device request: %.1f us, so the requests alone take %.1f ms\n",
                r["enum_items"], r["enum_ms"], r["enum_requests_per_item"], r["request"],
                r["request"] * r["enum_requests_per_item"] * r["enum_items"] / 1000.0);
  }
  return 0;
}
