// Rendering the Default skin's pages over an in-memory player with 10,000 tracks: the
// tracks page as a browser first opens it and sorted by title on a later page, and every
// track in one plain AUDIOALL loop (the list a skin without paging would print).
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "common/identity.h"
#include "device/memory_device.h"
#include "platform/paths/paths.h"
#include "platform/settings/settings.h"
#include "web/skin_files.h"
#include "web/template.h"

namespace {

constexpr int kTracks = 10000;

// Counts what a page writes and keeps nothing, like a socket would.
class CountingOutput : public TemplateOutput {
 public:
  void Write(std::string_view text) override { bytes_ += text.size(); }
  std::size_t bytes() const { return bytes_; }

 private:
  std::size_t bytes_ = 0;
};

struct Fixture {
  Fixture() {
    char tmpl[] = "/tmp/tovbench.XXXXXX";
    root = mkdtemp(tmpl);
    setenv("TOVARIN_HOME", (root + "/home").c_str(), 1);
    setenv("TMPDIR", root.c_str(), 1);
    g_ProductIdentity.InitFromPath("/usr/bin/trayhub");
    platform::SettingsKey key = platform::SettingsKey::Create(platform::Hive::CurrentUser, g_ProductIdentity.settingsKey);
    key.SetString("VX_TestSkinsDir", platform::FromPosixPath(TOVARIN_SKINS_DIR));
    key.SetString("Gen_AppDataDir", platform::FromPosixPath(root));
    for (int i = 0; i < kTracks; ++i) {
      const int artist = i % 400;
      const int album = i % 1000;
      device.AddTrack({.artist = "Artist " + std::to_string(artist),
                       .album = "Album " + std::to_string(album),
                       .title = "Title " + std::to_string((i * 7919) % kTracks),
                       .genre = "Genre " + std::to_string(i % 20),
                       .number = i % 12 + 1,
                       .year = 1960 + i % 60,
                       .length = 120 + i % 300,
                       .fileSize = 4000000 + i});
    }
  }
  ~Fixture() {
    std::error_code ec;
    std::filesystem::remove_all(root, ec);
  }

  // One request's page run, with the variables the default handler would set.
  std::size_t Render(const char* page, PageVariables variables) {
    variables.insert({{"devname", "Bench Player"}, {"volume", "50"}, {"pausedcode", "q_notpaused"},
                      {"hostname", "127.0.0.1:8047"}, {"date", "Monday"}});
    CountingOutput output;
    std::string path;
    if (!ResolveSkinRequest(page, path)) std::abort();
    TemplatePage run(path, output, ResolveSkinRequest);
    RunTemplatePage(run, variables, device);
    return output.bytes();
  }

  std::string root;
  MemoryDevice device;
};

Fixture& Shared() {
  static Fixture fixture;
  return fixture;
}

void BM_TracksPage(benchmark::State& state) {
  Fixture& f = Shared();
  std::size_t bytes = 0;
  for (auto _ : state) bytes = f.Render("tracks.html", {});
  state.counters["page_bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_TracksPage)->Unit(benchmark::kMillisecond);

void BM_TracksPageByTitlePage100(benchmark::State& state) {
  Fixture& f = Shared();
  for (auto _ : state) f.Render("tracks.html", {{"larg1", "title"}, {"larg2", "100"}});
}
BENCHMARK(BM_TracksPageByTitlePage100)->Unit(benchmark::kMillisecond);

void BM_AllTracksInOneLoop(benchmark::State& state) {
  Fixture& f = Shared();
  std::size_t bytes = 0;
  for (auto _ : state) {
    CountingOutput output;
    TemplatePage run("all", output, ResolveSkinRequest);
    PageVariables variables;
    RunTemplateText(
        "<?loop(AUDIOALL)?><li><a href=\"<?print(stream_url)?>\"><?print(displayname)?></a> <?print(length_secs)?></li>"
        "<?endloop?>",
        run, variables, f.device);
    bytes = output.bytes();
  }
  state.counters["page_bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_AllTracksInOneLoop)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
