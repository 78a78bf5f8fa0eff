// PCM sample conversion for the media stand-ins, over FFmpeg's resampler: any rate, any
// channel count (default layouts: mono is copied to both sides, more channels are mixed
// down), 8-bit unsigned, 16-, 24- and 32-bit signed and 32- or 64-bit float samples.
// Only the stand-ins in this folder include this.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/media/ffmpeg_api.h"
#include "platform/media/wave_format.h"

namespace platform {

constexpr std::uint16_t WAVE_FORMAT_IEEE_FLOAT = 3;
constexpr std::uint16_t WAVE_FORMAT_EXTENSIBLE = 0xFFFE;

// How the samples of a WAV format lie in the file, and how they pass the resampler.
struct PcmSpec {
  AVSampleFormat format = AV_SAMPLE_FMT_NONE;  // packed; 24-bit samples pass as 32-bit
  int channels = 0;
  int rate = 0;
  int fileBytes = 0;  // bytes of one sample in the file (3 for 24-bit)
  int FrameBytes() const { return fileBytes * channels; }
};

// False for anything but integer PCM (plain, or the extensible tag, whose sub-format is not
// known here and is taken as integer PCM) and IEEE float, and for a format whose block
// align does not match its channels and sample size.
bool PcmSpecOf(const WAVEFORMATEX& format, PcmSpec& spec);

// One resampler context: frames in, frames out, in any sample layout FFmpeg knows.
class Resampler {
 public:
  explicit Resampler(const FfmpegApi& api) : api_(api) {}
  ~Resampler();
  Resampler(const Resampler&) = delete;
  Resampler& operator=(const Resampler&) = delete;

  bool Open(AVSampleFormat inFormat, int inChannels, int inRate, AVSampleFormat outFormat, int outChannels,
            int outRate);
  // Converts `inFrames` (null input drains what the resampler holds); answers the frames
  // written (at most `outCapacity`), or -1. Input beyond what fits is held back.
  int Convert(const std::uint8_t* const* in, int inFrames, std::uint8_t* const* out, int outCapacity);
  // Frames that `inFrames` more may give at most.
  int MaxOut(int inFrames) const;

 private:
  const FfmpegApi& api_;
  SwrContext* swr_ = nullptr;
};

// Packed bytes of one WAV format to packed bytes of another.
class PcmConverter {
 public:
  explicit PcmConverter(const FfmpegApi& api) : resampler_(api) {}

  bool Open(const WAVEFORMATEX& from, const WAVEFORMATEX& to);
  const PcmSpec& From() const { return from_; }
  const PcmSpec& To() const { return to_; }
  // The most input frames whose output is sure to fit `outBytes` (at least 1 while the
  // output holds one frame).
  int FramesThatFit(std::size_t outBytes) const;
  // Converts whole frames, appending to `out`; null `in` drains the resampler. False on
  // a resampler error.
  bool Convert(const std::uint8_t* in, int frames, std::vector<std::uint8_t>& out);

 private:
  Resampler resampler_;
  PcmSpec from_, to_;
  std::vector<std::uint8_t> unpacked_, converted_;
};

}  // namespace platform
