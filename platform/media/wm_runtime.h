// Stand-in for the media runtime's codec side: a synchronous reader that decodes a file's
// audio to PCM (MP3, WMA and the other kinds FFmpeg reads), and a writer that encodes PCM
// as WMA into an ASF file, with the profile manager and the codec's list of formats that
// choose how. Built on FFmpeg's libraries, loaded at run time: without them the runtime
// counts as missing, and without a codec its export counts as missing.
//
// The runtime's own results are reduced to what callers tell apart: a call succeeds or
// fails, and the reader's end of the stream is NS_E_NO_MORE_SAMPLES.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/media/wave_format.h"

namespace platform {

constexpr int NS_E_NO_MORE_SAMPLES = static_cast<int>(0xC00D0BCF);
constexpr std::uint32_t WMT_VER_9_0 = 0x00090000;

// A stream's media type as far as audio goes.
struct WmMediaType {
  bool audio = true;              // major type audio
  bool pcm = true;                // sub-type PCM; otherwise compressed
  bool fixedSizeSamples = true;
  bool temporalCompression = false;
  std::uint32_t sampleSize = 0;
  WAVEFORMATEX format;
};

// The properties of a reader's output or a writer's input.
class WmMediaProps {
 public:
  // False for anything but audio in PCM whose format is one the runtime converts.
  bool SetMediaType(const WmMediaType& type);
  const WmMediaType& MediaType() const { return type_; }

 private:
  WmMediaType type_;
};

class WmSyncReader {
 public:
  WmSyncReader();
  ~WmSyncReader();
  WmSyncReader(const WmSyncReader&) = delete;
  WmSyncReader& operator=(const WmSyncReader&) = delete;

  // Opens a file (POSIX path); false when it holds no audio the runtime decodes.
  bool Open(const std::string& posixPath);
  // Output 0 is the first audio stream, given as 16-bit PCM at its own rate and channels
  // until other properties are set.
  bool GetOutputProps(std::uint32_t output, WmMediaProps& props) const;
  bool SetOutputProps(std::uint32_t output, const WmMediaProps& props);
  // "Duration" (100-nanosecond units) of stream 0; false when the file does not say.
  bool GetDuration(std::uint64_t& duration) const;
  // The next piece of PCM, never empty, with its time and length (100-nanosecond units);
  // 0, NS_E_NO_MORE_SAMPLES at the end, or another negative number on an error.
  int GetNextSample(std::uint16_t stream, std::vector<std::uint8_t>& sample, std::uint64_t& sampleTime,
                    std::uint64_t& duration);
  void Close();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// One format of the codec's list, turned into a stream of a profile.
class WmStreamConfig {
 public:
  std::uint32_t bitrate = 0;      // bits per second
  bool vbr = false;
  std::uint32_t vbrQuality = 0;   // 0 .. 100 with VBR
  std::uint32_t sampleRate = 0;
  std::uint16_t channels = 0;
  std::string streamName;
  std::string connectionName;
  std::uint16_t streamNumber = 0;

  bool SetStreamName(const std::string& name);
  bool SetConnectionName(const std::string& name);
  // 1 to 63.
  bool SetStreamNumber(std::uint16_t number);
};

class WmProfile {
 public:
  explicit WmProfile(std::uint32_t version) : version_(version) {}
  // False without a stream number or when the number is taken.
  bool AddStream(const WmStreamConfig& config);
  const std::vector<WmStreamConfig>& Streams() const { return streams_; }
  std::uint32_t Version() const { return version_; }

 private:
  std::uint32_t version_;
  std::vector<WmStreamConfig> streams_;
};

// The audio codecs' list of formats (codec index 0: WMA). Which formats it lists depends
// on the enumeration settings: "_VBRENABLED" lists the VBR formats by quality (1-pass,
// "_PASSESUSED" 1), otherwise the constant-bitrate ones.
class WmCodecInfo {
 public:
  // Known names: "_VBRENABLED" (0 or 1) and "_PASSESUSED" (1; 2-pass encoding is refused).
  bool SetCodecEnumerationSetting(std::uint32_t codecIndex, const std::string& name, std::uint32_t value);
  std::uint32_t GetCodecFormatCount(std::uint32_t codecIndex) const;
  // Null for a codec or format index past the list.
  std::unique_ptr<WmStreamConfig> GetCodecFormat(std::uint32_t codecIndex, std::uint32_t formatIndex) const;

 private:
  bool vbr_ = false;
};

class WmProfileManager {
 public:
  WmCodecInfo* GetCodecInfo() { return &codecInfo_; }
  // Null for a version the runtime does not know.
  std::unique_ptr<WmProfile> CreateEmptyProfile(std::uint32_t version) const;

 private:
  WmCodecInfo codecInfo_;
};

// A sample buffer of the writer.
class WmBuffer {
 public:
  explicit WmBuffer(std::uint32_t size) : bytes_(size), length_(0) {}
  std::uint8_t* Buffer() { return bytes_.data(); }
  std::uint32_t MaxLength() const { return static_cast<std::uint32_t>(bytes_.size()); }
  std::uint32_t Length() const { return length_; }
  // False past the buffer's size.
  bool SetLength(std::uint32_t length);

 private:
  std::vector<std::uint8_t> bytes_;
  std::uint32_t length_;
};

class WmWriter {
 public:
  WmWriter();
  ~WmWriter();
  WmWriter(const WmWriter&) = delete;
  WmWriter& operator=(const WmWriter&) = delete;

  // A profile of one audio stream.
  bool SetProfile(const WmProfile& profile);
  // Input 0 takes PCM; its format starts as the profile's rate and channels in 16 bits.
  bool GetInputProps(std::uint32_t input, WmMediaProps& props) const;
  bool SetInputProps(std::uint32_t input, const WmMediaProps& props);
  bool SetOutputFilename(const std::string& posixPath);
  bool BeginWriting();
  std::unique_ptr<WmBuffer> AllocateSample(std::uint32_t size) const;
  // PCM bytes of the input format; a frame split between samples is joined.
  bool WriteSample(std::uint32_t input, std::uint64_t sampleTime, std::uint32_t flags, const WmBuffer& sample);
  // Writes what the encoder holds and finishes the file.
  bool EndWriting();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// The runtime's exports, each null when the runtime lacks it; the whole is null when
// FFmpeg cannot be loaded.
struct WmRuntime {
  std::unique_ptr<WmSyncReader> (*WMCreateSyncReader)() = nullptr;
  std::unique_ptr<WmWriter> (*WMCreateWriter)() = nullptr;
  std::unique_ptr<WmProfileManager> (*WMCreateProfileManager)() = nullptr;
};
const WmRuntime* LoadWmRuntime();

}  // namespace platform
