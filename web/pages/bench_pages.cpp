// The Default skin's pages as a person meets them: a trayhub of this build (from the
// folder of this program) hosting a generated player of 5,000 tracks through the player
// driver, asked over HTTP. Every page is requested one second apart (as a person clicks)
// and back to back, in one run; each reports the median and the 90th percentile of its
// answer times (the whole answer read), and a summary sets them against the goals.
//
//   TOVARIN_BENCH_TRACKS  tracks of the generated player (default 5000)
//   TOVARIN_BENCH_ROUNDS  requests per page and pace (default 15)
//   TOVARIN_BENCH_SKINS   the skins folder to serve (default the source tree's skins), so
//                         that an older trayhub placed beside this program can be measured
//                         with its own skin
//
// It also reports how soon trayhub answers on its port after it was started (the median and
// the slowest of several starts), and the most memory trayhub held (its peak, and what it
// holds once idle again).
//
// Runs in a namespace, home and port of its own; nothing of a running system is touched.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "common/identity.h"
#include "manager/manager_wnd.h"
#include "testing/bench_support.h"
#include "testing/ports.h"
#include "platform/paths/paths.h"
#include "platform/settings/settings.h"
#include "platform/vendorsdk/generated_player.h"

using namespace web;

namespace {

namespace bench = platform::bench;
using Clock = std::chrono::steady_clock;

int EnvNumber(const char* name, int fallback) {
  const char* text = std::getenv(name);
  const int value = text != nullptr ? std::atoi(text) : 0;
  return value > 0 ? value : fallback;
}

std::string Folder() {
  char buf[4096];
  const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
  buf[n > 0 ? n : 0] = '\0';
  return std::filesystem::path(buf).parent_path().string();
}

int g_port = 0;

// One GET over a new connection; the whole answer, or "" when the server cannot be reached.
std::string Get(const std::string& url) { return platform::testing::HttpGet(g_port, url); }

// A figure of /proc/<pid>/status in kB ("VmHWM", "VmRSS"); 0 when it cannot be read.
long StatusKB(pid_t pid, const std::string& field) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(in, line);) {
    if (line.compare(0, field.size() + 1, field + ":") == 0) return std::atol(line.c_str() + field.size() + 1);
  }
  return 0;
}

// How soon a trayhub started now takes connections on its port, in ms; -1 when it does
// not within 6 s.
constexpr int kStarts = 5;
double ListenAfterStart(std::unique_ptr<bench::Child>& manager) {
  const auto started = Clock::now();
  manager = std::make_unique<bench::Child>(std::vector<std::string>{Folder() + "/trayhub"});
  for (int i = 0; i < 30000; ++i) {
    if (platform::testing::PortAnswers(g_port)) return std::chrono::duration<double, std::milli>(Clock::now() - started).count();
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  return -1;
}

struct Page {
  std::string name;
  std::string url;
  double goalMedianMs;  // 0: no goal
  double goalP90Ms;
};

struct Figures {
  double medianMs = 0;
  double p90Ms = 0;
  double bytes = 0;
};
std::map<std::string, Figures>& Measured() {
  static std::map<std::string, Figures> measured;
  return measured;
}

void MeasurePage(benchmark::State& state, const Page& page, bool paced, int rounds) {
  std::vector<double> ms;
  std::size_t bytes = 0;
  for (auto _ : state) {
    double total = 0;
    for (int i = 0; i < rounds; ++i) {
      if (paced) std::this_thread::sleep_for(std::chrono::seconds(1));
      const auto t0 = Clock::now();
      const std::string answer = Get(page.url);
      const double took = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
      if (answer.find("</footer>") == std::string::npos) {
        state.SkipWithError(("incomplete page " + page.url).c_str());
        return;
      }
      bytes = answer.size();
      ms.push_back(took);
      total += took;
    }
    state.SetIterationTime(total / 1000);
  }
  std::sort(ms.begin(), ms.end());
  Figures f{ms[ms.size() / 2], ms[std::min(ms.size() - 1, ms.size() * 9 / 10)], static_cast<double>(bytes)};
  state.counters["median_ms"] = f.medianMs;
  state.counters["p90_ms"] = f.p90Ms;
  state.counters["page_bytes"] = f.bytes;
  Measured()[page.name + (paced ? " paced" : " b2b")] = f;
}

// The id of the playlist named `name` on the playlists page.
std::string PlaylistId(const std::string& name) {
  const std::string page = Get("/playlists.html");
  const std::string marker = "playlist.html?larg1=";
  for (std::size_t at = page.find(marker); at != std::string::npos; at = page.find(marker, at + 1)) {
    const std::size_t from = at + marker.size();
    const std::size_t end = page.find_first_not_of("0123456789", from);
    const std::size_t close = page.find('>', end);
    if (close != std::string::npos && page.compare(close + 1, name.size(), name) == 0) {
      return page.substr(from, end - from);
    }
  }
  return "0";
}

void PrintSummary(const std::vector<Page>& pages, int tracks, std::vector<double> listenMs, double coldMs) {
  std::string each;
  for (const double ms : listenMs) each += (each.empty() ? "" : ", ") + std::to_string(std::lround(ms));
  std::sort(listenMs.begin(), listenMs.end());
  const double median = listenMs[listenMs.size() / 2];
  std::printf("\ntrayhub answered on its port after its start: median %.0f ms, slowest %.0f ms (goal: < 300 ms: %s; "
              "starts in turn: %s ms)\n",
              median, listenMs.back(), median < 300 ? "met" : "NOT met", each.c_str());
  std::printf("%d tracks; first tracks page after start (the tracks walked once): %.0f ms\n", tracks, coldMs);
  std::printf("%-22s %12s %12s %12s %12s   %s\n", "page", "paced med", "paced p90", "b2b med", "b2b p90",
              "goal (paced)");
  for (const Page& p : pages) {
    const Figures paced = Measured()[p.name + " paced"];
    const Figures b2b = Measured()[p.name + " b2b"];
    std::string goal = "-";
    if (p.goalMedianMs > 0) {
      const bool met = paced.medianMs < p.goalMedianMs && (p.goalP90Ms <= 0 || paced.p90Ms < p.goalP90Ms);
      char text[96];
      if (p.goalP90Ms > 0) {
        std::snprintf(text, sizeof text, "median < %.0f, p90 < %.0f: %s", p.goalMedianMs, p.goalP90Ms,
                      met ? "met" : "NOT met");
      } else {
        std::snprintf(text, sizeof text, "< %.0f: %s", p.goalMedianMs, met ? "met" : "NOT met");
      }
      goal = text;
    }
    std::printf("%-22s %9.1f ms %9.1f ms %9.1f ms %9.1f ms   %s\n", p.name.c_str(), paced.medianMs, paced.p90Ms,
                b2b.medianMs, b2b.p90Ms, goal.c_str());
  }
}

}  // namespace

int main(int argc, char** argv) {
  const int tracks = EnvNumber("TOVARIN_BENCH_TRACKS", 5000);
  const int rounds = EnvNumber("TOVARIN_BENCH_ROUNDS", 15);

  const std::string ns = bench::UseOwnNamespace("benchpages");
  std::string home = (std::filesystem::temp_directory_path() / (ns + "-XXXXXX")).string();
  if (::mkdtemp(home.data()) == nullptr) return 1;
  for (const char* sub : {"/tmp", "/app", "/run"}) std::filesystem::create_directories(home + sub);
  ::setenv("TOVARIN_HOME", home.c_str(), 1);
  ::setenv("TMPDIR", (home + "/tmp").c_str(), 1);
  ::unsetenv("TOVARIN_DEVICE");  // the player driver over the generated player
  g_ProductIdentity.InitFromPath("trayhub");
  g_port = platform::testing::FreePort();
  auto key = platform::SettingsKey::Create(platform::Hive::CurrentUser, g_ProductIdentity.settingsKey);
  key.SetDword("Kor_InstallResult", kInstallJukeboxDriver | kInstallJukeboxTray);
  key.SetDword("VX_PortD", static_cast<std::uint32_t>(g_port));
  key.SetString("Gen_AppDataDir", platform::FromPosixPath(home + "/app"));
  const char* skins = std::getenv("TOVARIN_BENCH_SKINS");
  key.SetString("VX_TestSkinsDir", platform::FromPosixPath(skins != nullptr && *skins != '\0' ? skins : TOVARIN_SKINS_DIR));

  std::string error;
  const auto made = Clock::now();
  if (!platform::CreateGeneratedPlayer(platform::FromPosixPath(home + "/app/player"), {.tracks = tracks}, &error)) {
    std::fprintf(stderr, "bench_pages: %s\n", error.c_str());
    return 1;
  }
  std::printf("generated a player of %d tracks in %.1f s\n", tracks,
              std::chrono::duration<double>(Clock::now() - made).count());

  {
    // Several starts, one after another: one alone says little on a busy machine. The last
    // one serves the pages.
    std::unique_ptr<bench::Child> manager;
    std::vector<double> listenMs;
    for (int i = 0; i < kStarts; ++i) {
      manager.reset();
      const double ms = ListenAfterStart(manager);
      if (ms < 0) {
        std::fprintf(stderr, "bench_pages: trayhub did not listen on its port\n");
        return 1;
      }
      listenMs.push_back(ms);
    }
    bool up = false;
    for (int i = 0; i < 600 && !up; ++i) {
      up = Get("/index.html").find("</footer>") != std::string::npos;
      if (!up) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    if (!up) {
      std::fprintf(stderr, "bench_pages: trayhub did not serve the overview\n");
      return 1;
    }
    const auto t0 = Clock::now();
    Get("/tracks.html");
    const double coldMs = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();

    const std::vector<Page> pages = {
        {"tracks", "/tracks.html", 150, 250},
        {"tracks by title", "/tracks.html?larg1=title", 150, 250},
        {"tracks by artist p50", "/tracks.html?larg1=artist&larg2=50", 150, 250},
        {"quick search", "/search.html?larg1=quick&larg2=love", 150, 250},
        {"simple search", "/search.html?larg1=simple&larg2=the&larg4=night", 150, 250},
        {"advanced search", "/search.html?larg1=advanced&larg2=year+%3E%3D+1990+AND+genre+%3F+%27o%27", 150, 250},
        {"artists", "/artists.html", 100, 0},
        {"albums", "/albums.html", 100, 0},
        {"overview", "/", 0, 0},
        {"long playlist", "/playlist.html?larg1=" + PlaylistId("Long Mix"), 0, 0},
    };
    for (const Page& page : pages) {
      for (const bool paced : {true, false}) {
        benchmark::RegisterBenchmark((page.name + (paced ? "/paced" : "/b2b")).c_str(),
                                     [page, paced, rounds](benchmark::State& s) { MeasurePage(s, page, paced, rounds); })
            ->Iterations(1)
            ->UseManualTime()
            ->Unit(benchmark::kMillisecond);
      }
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    PrintSummary(pages, tracks, listenMs, coldMs);
    // The pages one beside the other, as several browser tabs ask them.
    std::vector<std::thread> tabs;
    for (int i = 0; i < 16; ++i) tabs.emplace_back([&pages, i] { Get(pages[static_cast<std::size_t>(i) % 3].url); });
    for (std::thread& t : tabs) t.join();
    const long peakKB = StatusKB(manager->pid(), "VmHWM");
    std::this_thread::sleep_for(std::chrono::seconds(5));  // idle: the memory of the pages goes back
    const long idleKB = StatusKB(manager->pid(), "VmRSS");
    std::printf("trayhub memory: peak %.1f MB (goal: < 100 MB: %s), %.1f MB once idle\n", peakKB / 1024.0,
                peakKB < 100 * 1024 ? "met" : "NOT met", idleKB / 1024.0);
  }
  std::error_code ec;
  std::filesystem::remove_all(home, ec);
  bench::RemoveRuntimeFolder();
  return 0;
}
