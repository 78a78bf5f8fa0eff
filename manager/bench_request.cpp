// Round trip of one simple device request (GetTrackYear) from a client process to a
// running trayhub that hosts the in-memory player, and the rate of four client processes
// at once; beside them, in the same run, the floor: a bare two-process ping-pong over
// POSIX named semaphores (sem_post / sem_wait). A summary line gives the ratio.
//
// Runs its own trayhub (from the folder of this program) in a private namespace and home.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "common/identity.h"
#include "device/kernel_device_client.h"
#include "manager/hosted_device.h"
#include "manager/manager_wnd.h"
#include "testing/bench_support.h"
#include "platform/paths/paths.h"
#include "platform/settings/settings.h"

using namespace manager;

using namespace device;

namespace {

constexpr int kRoundTrips = 20000;
constexpr int kPerClient = 20000;
constexpr int kWarmUp = 500;

namespace bench = platform::bench;

std::string Folder() {
  char buf[4096];
  ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
  buf[n > 0 ? n : 0] = '\0';
  return std::filesystem::path(buf).parent_path().string();
}

void BM_Floor_PosixSemaphorePingPong(benchmark::State& state) { bench::MeasureFloor(state, kWarmUp); }

KernelId FirstTrack() {
  MemoryDevice reference;
  SeedDemoCatalogue(reference);
  KernelId track;
  reference.GetFirstAudioTrack(track);
  return track;
}

void BM_RequestRoundTrip(benchmark::State& state) {
  KernelDeviceClient client;
  if (client.ConnectToManager(0, KernelId(5), KernelId(1), 0) == 0) {
    state.SkipWithError("trayhub not reached");
    return;
  }
  const KernelId track = FirstTrack();
  bench::Measure(state, "request", kWarmUp, [&] { benchmark::DoNotOptimize(client.GetTrackYear(track)); });
}

void BM_FourClientProcesses(benchmark::State& state) {
  for (auto _ : state) {
    std::vector<std::unique_ptr<bench::Child>> clients;
    for (int c = 0; c < 4; ++c) {
      clients.push_back(std::make_unique<bench::Child>(
          std::vector<std::string>{Folder() + "/trayhub_test_client", "bench", std::to_string(kPerClient)}));
      if (clients.back()->ReadLine() != "ready") {
        state.SkipWithError("client did not start");
        return;
      }
    }
    const auto t0 = std::chrono::steady_clock::now();
    for (auto& c : clients) c->WriteLine("go");
    for (auto& c : clients) {
      if (c->ReadLine(120000).rfind("done ", 0) != 0) state.SkipWithError("client failed");
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    const double rate = 4.0 * kPerClient / seconds;
    state.counters["requests_per_s"] = rate;
    bench::Results()["four"] = rate;
  }
}

BENCHMARK(BM_Floor_PosixSemaphorePingPong)->Iterations(kRoundTrips)->UseRealTime();
BENCHMARK(BM_RequestRoundTrip)->Iterations(kRoundTrips)->UseRealTime();
BENCHMARK(BM_FourClientProcesses)->Iterations(1)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  if (bench::IsFloorPeer(argc, argv)) return bench::FloorPeer(argv[2], argv[3]);

  // A namespace and home of our own, so a running system is never disturbed.
  const std::string ns = bench::UseOwnNamespace("benchreq");
  std::string home = (std::filesystem::temp_directory_path() / (ns + "-XXXXXX")).string();
  if (::mkdtemp(home.data()) == nullptr) return 1;
  ::setenv("TOVARIN_HOME", home.c_str(), 1);
  ::setenv("TMPDIR", home.c_str(), 1);
  ::setenv("TOVARIN_DEVICE", "memory", 1);
  g_ProductIdentity.InitFromPath("trayhub");
  auto key = platform::SettingsKey::Create(platform::Hive::CurrentUser, g_ProductIdentity.settingsKey);
  key.SetDword("Kor_InstallResult", kInstallJukeboxDriver | kInstallJukeboxTray);
  key.SetDword("VX_Disable", 1);
  // trayhub does not start without its application data folder.
  std::filesystem::create_directories(home + "/appdata");
  key.SetString("Gen_AppDataDir", platform::FromPosixPath(home + "/appdata"));

  int status = 0;
  {
    bench::Child manager({Folder() + "/trayhub"});
    for (int i = 0; i < 500 && platform::FindWindow(g_ProductIdentity.windowClassName) == 0; ++i) platform::Sleep(10);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (!bench::PrintRatioToFloor("request", "device request", "2")) status = 1;
    if (auto four = bench::Results().find("four"); four != bench::Results().end()) {
      std::printf("four client processes: %.0f requests/s in all\n", four->second);
    }
  }
  std::error_code ec;
  std::filesystem::remove_all(home, ec);
  bench::RemoveRuntimeFolder();
  return status;
}
