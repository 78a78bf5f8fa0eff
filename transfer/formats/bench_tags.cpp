// Reading tags, length and bitrate of 1,000 generated files of mixed formats: our readers
// (ReadAudioFileTags) beside TagLib's own file reader (FileRef with audio properties) on
// the same files, in one run. The files are made once with the encoders (eight kinds,
// 125 copies each) in a folder under $BENCH_DIR (default /tmp) that is removed at the end.
//
//   bench_tags [--benchmark_repetitions=5 ...]
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <taglib/audioproperties.h>
#include <taglib/fileref.h>
#include <taglib/tag.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "platform/paths/paths.h"
#include "transfer/formats/audio_file_tags.h"
#include "testing/run_tool.h"
#include "testing/temp_folder.h"

using namespace device;

namespace {

constexpr int kCopies = 125;

using transfer::RunTool;

struct Kind {
  const char* name;  // also the file name of the original
  std::vector<std::string> command;  // makes it from "tone.wav" (in the folder)
};

class Files {
 public:
  Files() {
    const char* base = std::getenv("BENCH_DIR");
    std::string tmpl = base ? std::string(base) + "/tovbenchtags.XXXXXX" : std::string();
    dir_ = base ? ::mkdtemp(tmpl.data()) : platform::testing::MakeTempFolder("tovbenchtags");
    const std::string tone = dir_ + "/tone.wav";
    const std::string tags[] = {"-metadata", "title=A Title", "-metadata", "artist=An Artist", "-metadata",
                                "album=An Album", "-metadata", "track=3/12", "-metadata", "date=2001",
                                "-metadata", "genre=Rock"};
    auto ffmpeg = [&](std::vector<std::string> codec, const std::string& out) {
      std::vector<std::string> c = {"ffmpeg", "-loglevel", "error", "-y", "-i", tone};
      c.insert(c.end(), codec.begin(), codec.end());
      c.insert(c.end(), std::begin(tags), std::end(tags));
      c.push_back(dir_ + "/" + out);
      return c;
    };
    const std::vector<Kind> kinds = {
        {"cbr.mp3", {"lame", "--quiet", "-b", "128", "--tt", "A Title", "--ta", "An Artist", "--tl", "An Album",
                     "--ty", "2001", "--tn", "3", "--tg", "Rock", tone, dir_ + "/cbr.mp3"}},
        {"vbr.mp3", {"lame", "--quiet", "-V", "2", "--tt", "A Title", "--ta", "An Artist", tone, dir_ + "/vbr.mp3"}},
        {"v24.mp3", ffmpeg({"-c:a", "libmp3lame", "-b:a", "192k"}, "v24.mp3")},
        {"tags.ogg", {"oggenc", "--quiet", "-q", "4", "-t", "A Title", "-a", "An Artist", "-l", "An Album", "-N",
                      "3", "-d", "2001", "-G", "Rock", tone, "-o", dir_ + "/tags.ogg"}},
        {"tags.flac", {"flac", "--silent", "-T", "TITLE=A Title", "-T", "ARTIST=An Artist", "-T", "ALBUM=An Album",
                       "-T", "TRACKNUMBER=3", tone, "-o", dir_ + "/tags.flac"}},
        {"short.wav", {"sox", tone, dir_ + "/short.wav", "trim", "0", "3"}},
        {"tags.wma", ffmpeg({"-c:a", "wmav2", "-b:a", "128k"}, "tags.wma")},
        {"tags.m4a", ffmpeg({"-c:a", "aac", "-b:a", "128k"}, "tags.m4a")},
    };
    bool ok =
        RunTool({"sox", "-n", "-r", "44100", "-c", "2", "-b", "16", tone, "synth", "10", "pinknoise", "vol", "0.3"});
    for (const Kind& kind : kinds) ok = ok && RunTool(kind.command);
    if (!ok) std::exit(2);
    for (int copy = 0; copy < kCopies; ++copy) {
      for (const Kind& kind : kinds) {
        const std::string to = dir_ + "/" + std::to_string(copy) + "-" + kind.name;
        std::filesystem::copy_file(dir_ + "/" + kind.name, to);
        paths_.push_back(to);
        windowsPaths_.push_back(platform::FromPosixPath(to));
        byKind_[kind.name].push_back(paths_.size() - 1);
      }
    }
  }
  ~Files() {
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }

  std::vector<std::string> paths_;
  std::vector<std::string> windowsPaths_;
  std::map<std::string, std::vector<std::size_t>> byKind_;

 private:
  std::string dir_;
};

Files& Shared() {
  static Files files;
  return files;
}

// What both sides read of one file, so neither can skip work.
long ReadOurs(const std::string& windowsPath) {
  TrackRecord r;
  transfer::ReadAudioFileTags(windowsPath, r);
  return r.length + r.bitrate + r.trackNumber + r.year + static_cast<long>(r.title.GetText().size() +
                                                                           r.artist.GetText().size());
}

long ReadTagLib(const std::string& posixPath) {
  TagLib::FileRef f(posixPath.c_str(), true, TagLib::AudioProperties::Average);
  long sum = 0;
  if (const TagLib::Tag* t = f.tag()) {
    sum += t->track() + t->year() + t->title().size() + t->artist().size() + t->album().size() +
           t->genre().size() + t->comment().size();
  }
  if (const TagLib::AudioProperties* p = f.audioProperties()) sum += p->lengthInSeconds() + p->bitrate();
  return sum;
}

template <bool kOurs>
void ReadAll(benchmark::State& state, const std::vector<std::size_t>* only) {
  Files& files = Shared();
  std::size_t count = 0;
  for (auto _ : state) {
    long sum = 0;
    auto one = [&](std::size_t i) {
      sum += kOurs ? ReadOurs(files.windowsPaths_[i]) : ReadTagLib(files.paths_[i]);
      ++count;
    };
    if (only) {
      for (const std::size_t i : *only) one(i);
    } else {
      for (std::size_t i = 0; i < files.paths_.size(); ++i) one(i);
    }
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(count));
}

void BM_Ours_Mixed(benchmark::State& state) { ReadAll<true>(state, nullptr); }
void BM_TagLib_Mixed(benchmark::State& state) { ReadAll<false>(state, nullptr); }
BENCHMARK(BM_Ours_Mixed)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TagLib_Mixed)->Unit(benchmark::kMillisecond);

// The same per kind of file (125 files each).
void RegisterPerKind() {
  for (const char* kind : {"cbr.mp3", "vbr.mp3", "v24.mp3", "tags.ogg", "tags.flac", "short.wav", "tags.wma",
                           "tags.m4a"}) {
    benchmark::RegisterBenchmark((std::string("BM_Ours/") + kind).c_str(),
                                 [kind](benchmark::State& s) { ReadAll<true>(s, &Shared().byKind_[kind]); })
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark((std::string("BM_TagLib/") + kind).c_str(),
                                 [kind](benchmark::State& s) { ReadAll<false>(s, &Shared().byKind_[kind]); })
        ->Unit(benchmark::kMillisecond);
  }
}

}  // namespace

int main(int argc, char** argv) {
  // A settings store and work folder of the run's own, so a user's are never touched.
  const std::string home = platform::testing::MakeTempFolder("tovbenchhome");
  ::setenv("TOVARIN_HOME", home.c_str(), 1);
  Shared();
  RegisterPerKind();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::error_code ec;
  std::filesystem::remove_all(home, ec);
  return 0;
}
