// Converting audio files: the job a worker thread runs, its progress report and cancel
// flag, and the pieces every decoder and encoder shares (the fixed PCM format, WAV input
// and output in pieces, where the codec libraries are loaded from).
//
// A conversion is two jobs: a decoder turns a source file into a PCM WAV file, an encoder
// turns a WAV file into the target format. Paths are in Windows form, mapped to POSIX only
// where a file is opened.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

#include "platform/media/wave_format.h"
#include "transfer/formats/byte_source.h"

namespace transfer {

// States reported to the progress callback: (user, state, value, maximum).
constexpr int kConversionStarted = 0;   // 0, 100
constexpr int kConversionProgress = 1;  // percent, 100
constexpr int kConversionDone = 2;      // 100, 100
constexpr int kConversionFailed = 3;    // result, result
using ConversionProgress = void (*)(void* user, int state, int value, int maximum);

// Set by whoever started the job (the progress dialog's Cancel); the job looks at it once
// per piece and stops.
using ConversionCancel = std::shared_ptr<std::atomic<bool>>;
inline ConversionCancel MakeConversionCancel() { return std::make_shared<std::atomic<bool>>(false); }

// Results besides 0 (success) and each routine's negative codes.
constexpr int kConversionNothingDone = 1;  // the plain copy failed, or no codec for the format
constexpr int kConversionCancelled = -1;   // stopped by the cancel flag

struct ConversionJob {
  std::string source;
  std::string destination;
  int targetCodec = 0;  // encode jobs: 1 wav, 2 mp3, 3 wma
  bool vbr = false;     // encode jobs
  int value = 0;        // encode jobs: VBR quality, or CBR bitrate in kbit/s
  ConversionProgress progress = nullptr;
  void* user = nullptr;
  int step = 1;  // progress only at multiples of this percentage
  ConversionCancel cancel;

  bool Cancelled() const { return cancel && cancel->load(std::memory_order_relaxed); }
};

// The format every decoder of the media runtime writes and every encoder expects: PCM,
// 2 channels, 44,100 Hz, 16 bits.
platform::WAVEFORMATEX FixedPcmFormat();
bool SameFormat(const platform::WAVEFORMATEX& a, const platform::WAVEFORMATEX& b);  // all 18 bytes

// State 1 reports: a percentage (done x 100 / total, 64-bit) is reported when it differs
// from the last one reported and is a multiple of the step (a step below 1 counts as 1).
class ProgressReporter {
 public:
  ProgressReporter(ConversionProgress progress, void* user, int step)
      : progress_(progress), user_(user), step_(step < 1 ? 1 : step) {}
  explicit ProgressReporter(const ConversionJob& job) : ProgressReporter(job.progress, job.user, job.step) {}
  void Report(std::uint64_t done, std::uint64_t total);

 private:
  ConversionProgress progress_;
  void* user_;
  int step_;
  int last_ = -1;
};

// The PCM of a WAV file, read in pieces from its "data" chunk. The chunk's declared size
// bounds the reading (what follows it is not audio), unless it is 0 or runs past the end
// of the file, as in a file written while it was streamed: then the rest of the file is
// read.
class WavInput {
 public:
  // False when the file cannot be opened.
  bool Open(std::string_view path);
  const platform::WAVEFORMATEX& Format() const { return format_; }
  // Up to `count` bytes of the data; 0 at its end or on a read error.
  std::size_t Read(void* buffer, std::size_t count);
  // Steps back over bytes read but not used.
  void StepBack(std::size_t count);
  // The file position and length, for progress.
  std::uint64_t FilePosition() const { return dataOffset_ + position_; }
  std::uint64_t FileLength() const { return source_.Size(); }

 private:
  FileSource source_;
  platform::WAVEFORMATEX format_;
  std::uint64_t dataOffset_ = 0, dataBytes_ = 0, position_ = 0;
};

// A file written in pieces; with `wavHeader`, the first 44 bytes are kept for the header
// written by Finish.
class OutputFile {
 public:
  OutputFile() = default;
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  bool Create(std::string_view path, bool wavHeader);
  bool Write(const void* data, std::size_t count);
  std::uint64_t DataBytes() const { return dataBytes_; }
  // Writes the header (with `format` and the data length) when the file has one, then
  // closes it; false when anything failed.
  bool Finish(const platform::WAVEFORMATEX* format = nullptr);

 private:
  std::FILE* file_ = nullptr;
  bool wavHeader_ = false, failed_ = false;
  std::uint64_t dataBytes_ = 0;
};

// The POSIX path of a codec library named by a shared setting ("ogg.dll", "libFLAC.dll"
// ...): the setting's path when it is set, else the system's library of that name.
std::string CodecLibraryPath(std::string_view settingName, const char* systemLibrary);

// What a format's decoder and encoder offer the conversion: whether their library can be
// loaded (and its name for the options page), and the conversion itself. Each answers
// 0 for success, kConversionCancelled, or its own negative codes.
class AudioDecoder {
 public:
  virtual ~AudioDecoder() = default;
  virtual bool Available(std::string& libraryName) const = 0;
  // Decodes the job's source into a PCM WAV file at `destination`.
  virtual int Decode(const ConversionJob& job, const std::string& destination, ProgressReporter& progress) const = 0;
};

class AudioEncoder {
 public:
  virtual ~AudioEncoder() = default;
  virtual bool Available(std::string& libraryName) const = 0;
  // Encodes the job's source (a WAV file in the fixed format) into `destination` with the
  // job's VBR flag and value.
  virtual int Encode(const ConversionJob& job, const std::string& destination, ProgressReporter& progress) const = 0;
};

}  // namespace transfer
