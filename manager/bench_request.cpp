// Round trip of one simple device request (GetTrackYear) from a client process to a
// running trayhub that hosts the in-memory player, and the rate of four client processes
// at once; beside them, in the same run, the floor: a bare two-process ping-pong over
// POSIX named semaphores (sem_post / sem_wait). A summary line gives the ratio.
//
// Runs its own trayhub (from the folder of this program) in a private namespace and home.
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

#include "common/identity.h"
#include "device/kernel_device_client.h"
#include "manager/hosted_device.h"
#include "manager/manager_wnd.h"
#include "platform/paths/paths.h"
#include "platform/settings/settings.h"

extern char** environ;

namespace {

constexpr int kRoundTrips = 20000;
constexpr int kPerClient = 20000;

std::map<std::string, double> g_results;

std::string Folder() {
  char buf[4096];
  ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
  buf[n > 0 ? n : 0] = '\0';
  return std::filesystem::path(buf).parent_path().string();
}

// A program with its stdin and stdout piped to us.
class Child {
 public:
  explicit Child(std::vector<std::string> args) {
    int in[2], out[2];
    if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0) return;
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_adddup2(&fa, in[0], 0);
    posix_spawn_file_actions_adddup2(&fa, out[1], 1);
    ::posix_spawn(&pid_, args[0].c_str(), &fa, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&fa);
    ::close(in[0]);
    ::close(out[1]);
    to_ = in[1];
    from_ = out[0];
  }
  ~Child() {
    if (pid_ > 0) {
      ::kill(pid_, SIGTERM);
      ::waitpid(pid_, nullptr, 0);
    }
    ::close(to_);
    ::close(from_);
  }
  std::string ReadLine(int timeoutMs = 60000) {
    std::string line;
    char c;
    pollfd p{from_, POLLIN, 0};
    while (::poll(&p, 1, timeoutMs) > 0 && ::read(from_, &c, 1) == 1 && c != '\n') line += c;
    return line;
  }
  void WriteLine(const std::string& s) {
    std::string l = s + "\n";
    ssize_t n = ::write(to_, l.data(), l.size());
    (void)n;
  }

 private:
  pid_t pid_ = -1;
  int to_ = -1;
  int from_ = -1;
};

void Report(benchmark::State& state, const char* name, std::vector<double>& us) {
  if (us.empty()) return;
  std::sort(us.begin(), us.end());
  double median = us[us.size() / 2];
  state.counters["median_us"] = median;
  state.counters["p90_us"] = us[us.size() * 9 / 10];
  g_results[name] = median;
}

template <typename RoundTrip>
void Measure(benchmark::State& state, const char* name, RoundTrip roundTrip) {
  std::vector<double> us;
  us.reserve(kRoundTrips);
  for (int i = 0; i < 500; ++i) roundTrip();  // warm-up
  for (auto _ : state) {
    auto t0 = std::chrono::steady_clock::now();
    roundTrip();
    auto t1 = std::chrono::steady_clock::now();
    us.push_back(std::chrono::duration<double, std::micro>(t1 - t0).count());
  }
  Report(state, name, us);
}

std::string PosixName(const char* what) { return "/tovarin-benchreq-" + std::to_string(::getpid()) + "-" + what; }

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

void BM_Floor_PosixSemaphorePingPong(benchmark::State& state) {
  std::string a = PosixName("ping"), b = PosixName("pong");
  sem_t* ping = ::sem_open(a.c_str(), O_CREAT | O_EXCL, 0600, 0);
  sem_t* pong = ::sem_open(b.c_str(), O_CREAT | O_EXCL, 0600, 0);
  if (ping == SEM_FAILED || pong == SEM_FAILED) {
    state.SkipWithError("sem_open failed");
    return;
  }
  {
    Child peer({"/proc/self/exe", "--peer-floor", a, b});
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
  Measure(state, "request", [&] { benchmark::DoNotOptimize(client.GetTrackYear(track)); });
}

void BM_FourClientProcesses(benchmark::State& state) {
  for (auto _ : state) {
    std::vector<std::unique_ptr<Child>> clients;
    for (int c = 0; c < 4; ++c) {
      clients.push_back(std::make_unique<Child>(
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
    g_results["four"] = rate;
  }
}

BENCHMARK(BM_Floor_PosixSemaphorePingPong)->Iterations(kRoundTrips)->UseRealTime();
BENCHMARK(BM_RequestRoundTrip)->Iterations(kRoundTrips)->UseRealTime();
BENCHMARK(BM_FourClientProcesses)->Iterations(1)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::strcmp(argv[1], "--peer-floor") == 0) return FloorPeer(argv[2], argv[3]);

  // A namespace and home of our own, so a running system is never disturbed.
  const std::string ns = "benchreq-" + std::to_string(::getpid());
  ::setenv("TOVARIN_NS", ns.c_str(), 1);
  std::string home = (std::filesystem::temp_directory_path() / (ns + "-XXXXXX")).string();
  if (::mkdtemp(home.data()) == nullptr) return 1;
  ::setenv("TOVARIN_HOME", home.c_str(), 1);
  ::setenv("TMPDIR", home.c_str(), 1);
  ::setenv("TOVARIN_DEVICE", "memory", 1);
  g_ProductIdentity.InitFromPath("trayhub");
  auto key = platform::SettingsKey::Create(platform::Hive::CurrentUser, g_ProductIdentity.settingsKey);
  key.SetDword("Kor_InstallResult", kInstallJukeboxDriver | kInstallJukeboxTray);
  key.SetDword("VX_Disable", 1);

  int status = 0;
  {
    Child manager({Folder() + "/trayhub"});
    for (int i = 0; i < 500 && platform::FindWindow(g_ProductIdentity.windowClassName) == 0; ++i) platform::Sleep(10);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    auto floor = g_results.find("floor");
    auto request = g_results.find("request");
    if (floor != g_results.end() && request != g_results.end() && floor->second > 0) {
      std::printf("\nmedian round trip: floor (bare semaphore ping-pong) %.1f us, device request %.1f us, ratio %.2f "
                  "(goal <= 2)\n",
                  floor->second, request->second, request->second / floor->second);
    } else {
      status = 1;
    }
    if (auto four = g_results.find("four"); four != g_results.end()) {
      std::printf("four client processes: %.0f requests/s in all\n", four->second);
    }
  }
  std::error_code ec;
  std::filesystem::remove_all(home, ec);
  std::string folder = platform::RuntimeFolder();
  if (!folder.empty()) std::filesystem::remove_all(folder, ec);
  return status;
}
