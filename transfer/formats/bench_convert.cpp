// Conversion speed beside the command-line tools, in one run on the same 60-second file:
//   - a 60-second 44.1 kHz stereo WAV (pink noise) encoded to MP3 at the defaults the
//     engine passes (CBR 128 kbit/s, joint stereo, no VBR header), by the encode job and
//     by `lame -b 128 -m j -t`;
//   - the same sound as FLAC decoded to WAV, by the decode job and by `flac -d`.
// Each figure includes reading the source and writing the result; the tools also pay for
// starting a process (a few milliseconds). The files live in a folder under $BENCH_DIR
// (default /tmp) that is removed at the end.
//
//   bench_convert [--benchmark_repetitions=5 ...]
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/paths/paths.h"
#include "transfer/conversion_job.h"
#include "testing/run_tool.h"
#include "testing/temp_folder.h"

namespace {

using transfer::RunTool;

class Files {
 public:
  Files() {
    const char* base = std::getenv("BENCH_DIR");
    std::string tmpl = base ? std::string(base) + "/tovbenchconvert.XXXXXX" : std::string();
    dir_ = base ? ::mkdtemp(tmpl.data()) : platform::testing::MakeTempFolder("tovbenchconvert");
    const bool ok = RunTool({"sox", "-n", "-r", "44100", "-c", "2", "-b", "16", Path("source.wav"), "synth", "60",
                          "pinknoise", "vol", "0.3"}) &&
                    RunTool({"flac", "--silent", "--force", Path("source.wav"), "-o", Path("source.flac")});
    if (!ok) std::exit(2);
  }
  ~Files() {
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }
  std::string Path(const std::string& name) const { return dir_ + "/" + name; }

 private:
  std::string dir_;
};

Files& TheFiles() {
  static Files files;
  return files;
}

void Record(void* user, int s, int, int) { *static_cast<int*>(user) = s; }

void BM_EncodeMp3Job(benchmark::State& state) {
  Files& files = TheFiles();
  for (auto _ : state) {
    int last = -1;
    auto job = std::make_unique<transfer::ConversionJob>();
    job->source = platform::FromPosixPath(files.Path("source.wav"));
    job->destination = platform::FromPosixPath(files.Path("job.mp3"));
    job->targetCodec = 2;
    job->vbr = false;
    job->value = 128;
    job->progress = Record;
    job->user = &last;
    job->step = 5;
    transfer::EncodeJobThreadProc(std::move(job));
    if (last != transfer::kConversionDone) state.SkipWithError("the encode job failed");
  }
}

void BM_LameCommand(benchmark::State& state) {
  Files& files = TheFiles();
  for (auto _ : state) {
    if (!RunTool({"lame", "--quiet", "-b", "128", "-m", "j", "-t", files.Path("source.wav"), files.Path("lame.mp3")}))
      state.SkipWithError("lame failed");
  }
}

void BM_DecodeFlacJob(benchmark::State& state) {
  Files& files = TheFiles();
  for (auto _ : state) {
    int last = -1;
    auto job = std::make_unique<transfer::ConversionJob>();
    job->source = platform::FromPosixPath(files.Path("source.flac"));
    job->destination = platform::FromPosixPath(files.Path("job.wav"));
    job->progress = Record;
    job->user = &last;
    job->step = 5;
    transfer::DecodeJobThreadProc(std::move(job));
    if (last != transfer::kConversionDone) state.SkipWithError("the decode job failed");
  }
}

void BM_FlacCommand(benchmark::State& state) {
  Files& files = TheFiles();
  for (auto _ : state) {
    if (!RunTool({"flac", "--silent", "--force", "-d", files.Path("source.flac"), "-o", files.Path("flac.wav")}))
      state.SkipWithError("flac failed");
  }
}

BENCHMARK(BM_EncodeMp3Job)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LameCommand)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeFlacJob)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FlacCommand)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
