// bench_sql: five statements over 100,000 tracks of an in-memory device, each timed
// against the same data and the equivalent statement in an in-memory SQLite database.
// After the runs a table gives each statement's ratio engine / SQLite.
//
// The engine runs over two devices holding the same catalogue:
//   memory  the MemoryDevice as tests use it (a map lookup per single-field operation;
//           GetTrackInfo assembled from thirteen of them);
//   direct  the same device answering tracks by index and GetTrackInfo with one copy of
//           the stored record, as a player driver does: the engine's own cost.
// Both sides include parsing and collect every result value as text.
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <cstdio>
#include <map>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "device/memory_device.h"
#include "sql/jukebox_tables.h"
#include "sql/result.h"
#include "sql/select.h"
#include "sql/small_parser.h"

using namespace sql;

using namespace device;

namespace {

constexpr int kTracks = 100000;
constexpr int kPlaylists = 1000;
constexpr int kPlaylistLength = 100;

struct Query {
  const char* name;
  const char* engine;
  const char* sqlite;
};

const Query kQueries[] = {
    {"contains",
     "SELECT id FROM audio WHERE artist?'love' OR album?'love' OR genre?'love' OR title?'love';",
     "SELECT id FROM audio WHERE artist LIKE '%love%' OR album LIKE '%love%' OR genre LIKE '%love%' "
     "OR title LIKE '%love%';"},
    {"range", "SELECT id FROM audio WHERE year >= 1990 AND year <= 1999",
     "SELECT id FROM audio WHERE year >= 1990 AND year <= 1999"},
    {"order_by", "SELECT artist, album, tracknum, title FROM audio ORDER BY artist, album, tracknum, title",
     "SELECT artist, album, tracknum, title FROM audio ORDER BY artist, album, tracknum, title"},
    {"join",
     "SELECT playlist.name, plitem.pos, plitem.aid FROM playlist, plitem WHERE playlist.id = plitem.plid",
     "SELECT playlist.name, plitem.pos, plitem.aid FROM playlist, plitem WHERE playlist.id = plitem.plid"},
    {"distinct", "SELECT DISTINCT artist FROM audio", "SELECT DISTINCT artist FROM audio"},
};

const char* const kWords[] = {"love", "night", "blue", "river", "fire", "dream", "city", "heart",
                              "road", "rain", "gold", "summer", "shadow", "light", "stone", "wild"};
const char* const kGenres[] = {"Rock", "Pop", "Jazz", "Blues", "Folk", "Soul", "Metal", "Lovers Rock",
                               "Country", "Electronic", "Classical", "Reggae"};

// The in-memory device with tracks found by index instead of by map lookup.
class DirectDevice final : public MemoryDeviceBase {
 public:
  // Call after the tracks (ids base, base + 1, ...) were added.
  void IndexTracks(const std::vector<KernelId>& tracks) {
    base_ = tracks.empty() ? 0 : tracks.front().word[0];
    for (const KernelId& t : tracks) records_.push_back(&RecordOf(t));
  }

 protected:
  const TrackRecord& R(const KernelId& t) const { return *records_.at(t.word[0] - base_); }
  int GetFirstAudioTrack(KernelId& t) override {
    cursor_ = 0;
    if (records_.empty()) return 0;
    t = KernelId(base_);
    return static_cast<int>(records_.size());
  }
  int GetNextAudioTrack(KernelId& t) override {
    if (++cursor_ >= records_.size()) return 0;
    t = KernelId(base_ + static_cast<std::uint32_t>(cursor_));
    return 1;
  }
  int GetTrackInfo(const KernelId& t, TrackRecord& r) override {
    TrackRecord::Copy(r, R(t));
    return 0;
  }
  std::string GetTrackArtist(const KernelId& t) override { return R(t).artist.Str(); }
  std::string GetTrackAlbum(const KernelId& t) override { return R(t).album.Str(); }
  std::string GetTrackTitle(const KernelId& t) override { return R(t).title.Str(); }
  std::string GetTrackGenre(const KernelId& t) override { return R(t).genre.Str(); }
  int GetTrackYear(const KernelId& t) override { return R(t).year; }
  int GetTrackNumber(const KernelId& t) override { return R(t).trackNumber; }
  int GetTrackLength(const KernelId& t) override { return R(t).length; }

 private:
  std::uint32_t base_ = 0;
  std::vector<const TrackRecord*> records_;
  std::size_t cursor_ = 0;
};

struct Catalogue {
  MemoryDevice device;
  DirectDevice direct;
  sqlite3* db = nullptr;

  Catalogue() {
    std::mt19937 rng(7);
    auto word = [&] { return std::string(kWords[rng() % std::size(kWords)]); };
    auto cap = [](std::string s) {
      s[0] = static_cast<char>(s[0] - 'a' + 'A');
      return s;
    };

    if (sqlite3_open(":memory:", &db) != SQLITE_OK) throw std::runtime_error("sqlite3_open");
    Exec("CREATE TABLE audio (id INTEGER PRIMARY KEY, artist TEXT, album TEXT, tracknum INTEGER, "
         "title TEXT, genre TEXT, year INTEGER, length INTEGER);"
         "CREATE TABLE playlist (id INTEGER PRIMARY KEY, name TEXT);"
         "CREATE TABLE plitem (plid INTEGER, pos INTEGER, aid INTEGER);"
         "BEGIN;");
    sqlite3_stmt* insertTrack = Prepare("INSERT INTO audio VALUES (?,?,?,?,?,?,?,?)");

    std::vector<std::string> artists;
    for (int a = 0; a < 5000; ++a) artists.push_back(cap(word()) + " " + cap(word()) + " " + std::to_string(a));
    std::vector<KernelId> tracks;
    tracks.reserve(kTracks);
    for (int i = 0; i < kTracks; ++i) {
      TrackSpec desc;
      desc.artist = artists[rng() % artists.size()];
      desc.album = cap(word()) + " of " + cap(word());
      desc.title = cap(word()) + " " + word() + " " + word();
      desc.genre = kGenres[rng() % std::size(kGenres)];
      desc.number = static_cast<int>(rng() % 20) + 1;
      desc.year = 1960 + static_cast<int>(rng() % 60);
      desc.length = 120 + static_cast<int>(rng() % 400);
      desc.fileSize = desc.length * 16000;
      const KernelId id = device.AddTrack(desc);
      if (direct.AddTrack(desc) != id) throw std::runtime_error("devices disagree");
      tracks.push_back(id);

      sqlite3_bind_int64(insertTrack, 1, static_cast<sqlite3_int64>(id.GetItemId()));
      sqlite3_bind_text(insertTrack, 2, desc.artist.c_str(), -1, SQLITE_TRANSIENT);
      sqlite3_bind_text(insertTrack, 3, desc.album.c_str(), -1, SQLITE_TRANSIENT);
      sqlite3_bind_int(insertTrack, 4, desc.number);
      sqlite3_bind_text(insertTrack, 5, desc.title.c_str(), -1, SQLITE_TRANSIENT);
      sqlite3_bind_text(insertTrack, 6, desc.genre.c_str(), -1, SQLITE_TRANSIENT);
      sqlite3_bind_int(insertTrack, 7, desc.year);
      sqlite3_bind_int(insertTrack, 8, desc.length);
      Step(insertTrack);
    }
    sqlite3_finalize(insertTrack);
    direct.IndexTracks(tracks);

    sqlite3_stmt* insertList = Prepare("INSERT INTO playlist VALUES (?,?)");
    sqlite3_stmt* insertItem = Prepare("INSERT INTO plitem VALUES (?,?,?)");
    for (int p = 0; p < kPlaylists; ++p) {
      std::vector<KernelId> items;
      for (int j = 0; j < kPlaylistLength; ++j) items.push_back(tracks[rng() % tracks.size()]);
      char name[32];
      std::snprintf(name, sizeof name, "Mix %04d", p);
      const KernelId list = device.AddPlaylist(name, items);
      direct.AddPlaylist(name, items);
      sqlite3_bind_int64(insertList, 1, static_cast<sqlite3_int64>(list.GetItemId()));
      sqlite3_bind_text(insertList, 2, name, -1, SQLITE_TRANSIENT);
      Step(insertList);
      for (int j = 0; j < kPlaylistLength; ++j) {
        sqlite3_bind_int64(insertItem, 1, static_cast<sqlite3_int64>(list.GetItemId()));
        sqlite3_bind_int(insertItem, 2, j);
        sqlite3_bind_int64(insertItem, 3, static_cast<sqlite3_int64>(items[static_cast<std::size_t>(j)].GetItemId()));
        Step(insertItem);
      }
    }
    sqlite3_finalize(insertList);
    sqlite3_finalize(insertItem);
    Exec("COMMIT;");
  }

  ~Catalogue() { sqlite3_close(db); }

  void Exec(const char* sql) {
    char* error = nullptr;
    if (sqlite3_exec(db, sql, nullptr, nullptr, &error) != SQLITE_OK) {
      std::string message = error ? error : "?";
      sqlite3_free(error);
      throw std::runtime_error(message);
    }
  }
  sqlite3_stmt* Prepare(const char* sql) {
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db, sql, -1, &st, nullptr) != SQLITE_OK) throw std::runtime_error(sqlite3_errmsg(db));
    return st;
  }
  void Step(sqlite3_stmt* st) {
    if (sqlite3_step(st) != SQLITE_DONE) throw std::runtime_error(sqlite3_errmsg(db));
    sqlite3_reset(st);
  }
};

Catalogue& Data() {
  static Catalogue catalogue;
  return catalogue;
}

std::size_t RunEngine(KernelDevice& device, const char* text) {
  CSmallParser parser;
  parser.Parse(text);
  CTableSourceJukebox source(&device);
  CSelectStatement statement(text, parser.GetStatement(), &source);
  statement.Build();
  CResultTable result;
  statement.Execute(result);
  return result.GetCount();
}

std::size_t RunSqlite(const char* text) {
  Catalogue& data = Data();
  sqlite3_stmt* st = data.Prepare(text);
  std::vector<std::vector<std::string>> rows;
  const int columns = sqlite3_column_count(st);
  while (sqlite3_step(st) == SQLITE_ROW) {
    std::vector<std::string> row;
    row.reserve(static_cast<std::size_t>(columns));
    for (int c = 0; c < columns; ++c) {
      const unsigned char* t = sqlite3_column_text(st, c);
      row.emplace_back(t ? reinterpret_cast<const char*>(t) : "");
    }
    rows.push_back(std::move(row));
  }
  sqlite3_finalize(st);
  return rows.size();
}

void BM_Memory(benchmark::State& state, const Query* q) {
  std::size_t rows = 0;
  for (auto _ : state) benchmark::DoNotOptimize(rows = RunEngine(Data().device, q->engine));
  state.counters["rows"] = static_cast<double>(rows);
}

void BM_Direct(benchmark::State& state, const Query* q) {
  std::size_t rows = 0;
  for (auto _ : state) benchmark::DoNotOptimize(rows = RunEngine(Data().direct, q->engine));
  state.counters["rows"] = static_cast<double>(rows);
}

void BM_Sqlite(benchmark::State& state, const Query* q) {
  std::size_t rows = 0;
  for (auto _ : state) benchmark::DoNotOptimize(rows = RunSqlite(q->sqlite));
  state.counters["rows"] = static_cast<double>(rows);
}

// Prints the usual console lines, then the ratio of each engine run to its SQLite run.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs)
      if (run.run_type == Run::RT_Iteration) times_[run.benchmark_name()] = run.GetAdjustedRealTime();
  }
  void Finalize() override {
    ConsoleReporter::Finalize();
    std::printf("\n%-10s %10s %10s %10s %8s %8s\n", "statement", "memory ms", "direct ms", "sqlite ms",
                "memory/", "direct/");
    for (const Query& q : kQueries) {
      const double m = Time(std::string("memory/") + q.name);
      const double d = Time(std::string("direct/") + q.name);
      const double s = Time(std::string("sqlite/") + q.name);
      std::printf("%-10s %10.2f %10.2f %10.2f %8.2f %8.2f\n", q.name, m, d, s, m / s, d / s);
    }
  }

 private:
  double Time(const std::string& name) const {
    const auto it = times_.find(name);
    return it == times_.end() ? 0.0 : it->second;
  }
  std::map<std::string, double> times_;
};

}  // namespace

int main(int argc, char** argv) {
  for (const Query& q : kQueries) {
    benchmark::RegisterBenchmark((std::string("memory/") + q.name).c_str(), BM_Memory, &q)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark((std::string("direct/") + q.name).c_str(), BM_Direct, &q)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark((std::string("sqlite/") + q.name).c_str(), BM_Sqlite, &q)
        ->Unit(benchmark::kMillisecond);
  }
  benchmark::Initialize(&argc, argv);
  Data();  // build the catalogue outside the timings
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
