#include "platform/media/pcm.h"

#include <algorithm>
#include <cstring>

namespace platform {

bool PcmSpecOf(const WAVEFORMATEX& format, PcmSpec& spec) {
  spec = PcmSpec();
  const int bits = format.wBitsPerSample;
  if (format.wFormatTag == WAVE_FORMAT_PCM || format.wFormatTag == WAVE_FORMAT_EXTENSIBLE) {
    switch (bits) {
      case 8: spec.format = AV_SAMPLE_FMT_U8; spec.fileBytes = 1; break;
      case 16: spec.format = AV_SAMPLE_FMT_S16; spec.fileBytes = 2; break;
      case 24: spec.format = AV_SAMPLE_FMT_S32; spec.fileBytes = 3; break;
      case 32: spec.format = AV_SAMPLE_FMT_S32; spec.fileBytes = 4; break;
      default: return false;
    }
  } else if (format.wFormatTag == WAVE_FORMAT_IEEE_FLOAT) {
    switch (bits) {
      case 32: spec.format = AV_SAMPLE_FMT_FLT; spec.fileBytes = 4; break;
      case 64: spec.format = AV_SAMPLE_FMT_DBL; spec.fileBytes = 8; break;
      default: return false;
    }
  } else {
    return false;
  }
  spec.channels = format.nChannels;
  spec.rate = static_cast<int>(format.nSamplesPerSec);
  if (spec.channels < 1 || spec.channels > 8 || spec.rate < 1 || spec.rate > 768000) return false;
  return format.nBlockAlign == spec.FrameBytes();
}

Resampler::~Resampler() {
  if (swr_) api_.swr_free(&swr_);
}

bool Resampler::Open(AVSampleFormat inFormat, int inChannels, int inRate, AVSampleFormat outFormat,
                     int outChannels, int outRate) {
  if (swr_) api_.swr_free(&swr_);
  AVChannelLayout inLayout, outLayout;
  api_.av_channel_layout_default(&inLayout, inChannels);
  api_.av_channel_layout_default(&outLayout, outChannels);
  const int r = api_.swr_alloc_set_opts2(&swr_, &outLayout, outFormat, outRate, &inLayout, inFormat, inRate, 0,
                                         nullptr);
  api_.av_channel_layout_uninit(&inLayout);
  api_.av_channel_layout_uninit(&outLayout);
  if (r < 0 || !swr_) return false;
  if (api_.swr_init(swr_) < 0) {
    api_.swr_free(&swr_);
    return false;
  }
  return true;
}

int Resampler::Convert(const std::uint8_t* const* in, int inFrames, std::uint8_t* const* out, int outCapacity) {
  if (!swr_) return -1;
  const std::uint8_t** input = const_cast<const std::uint8_t**>(in);
  const int n = api_.swr_convert(swr_, const_cast<std::uint8_t**>(out), outCapacity, input, in ? inFrames : 0);
  return n < 0 ? -1 : n;
}

int Resampler::MaxOut(int inFrames) const {
  if (!swr_) return 0;
  const int n = api_.swr_get_out_samples(swr_, inFrames);
  return n < 0 ? 0 : n;
}

bool PcmConverter::Open(const WAVEFORMATEX& from, const WAVEFORMATEX& to) {
  if (!PcmSpecOf(from, from_) || !PcmSpecOf(to, to_)) return false;
  return resampler_.Open(from_.format, from_.channels, from_.rate, to_.format, to_.channels, to_.rate);
}

int PcmConverter::FramesThatFit(std::size_t outBytes) const {
  const std::size_t outFrames = outBytes / to_.FrameBytes();
  // Output frames per input frame, rounded up, plus what the resampler may hold back.
  const std::size_t held = static_cast<std::size_t>(resampler_.MaxOut(0));
  if (outFrames <= held + 1) return outFrames ? 1 : 0;
  const std::size_t frames = (outFrames - held - 1) * static_cast<std::size_t>(from_.rate) / to_.rate;
  return static_cast<int>(std::max<std::size_t>(frames, 1));
}

bool PcmConverter::Convert(const std::uint8_t* in, int frames, std::vector<std::uint8_t>& out) {
  const std::uint8_t* input = in;
  if (in && from_.fileBytes == 3) {
    // 24-bit samples enter as the high three bytes of 32-bit ones.
    const std::size_t samples = std::size_t(frames) * from_.channels;
    unpacked_.resize(samples * 4);
    for (std::size_t i = 0; i < samples; ++i) {
      unpacked_[i * 4] = 0;
      std::memcpy(&unpacked_[i * 4 + 1], in + i * 3, 3);
    }
    input = unpacked_.data();
  }
  const int passBytes = to_.fileBytes == 3 ? 4 : to_.fileBytes;
  for (;;) {
    const int capacity = std::max(resampler_.MaxOut(in ? frames : 0), 256);
    converted_.resize(std::size_t(capacity) * to_.channels * passBytes);
    std::uint8_t* outPlane = converted_.data();
    const int n = resampler_.Convert(input ? &input : nullptr, input ? frames : 0, &outPlane, capacity);
    if (n < 0) return false;
    const std::size_t samples = std::size_t(n) * to_.channels;
    if (to_.fileBytes == 3) {
      const std::size_t at = out.size();
      out.resize(at + samples * 3);
      for (std::size_t i = 0; i < samples; ++i) std::memcpy(&out[at + i * 3], &converted_[i * 4 + 1], 3);
    } else {
      out.insert(out.end(), converted_.begin(), converted_.begin() + static_cast<std::ptrdiff_t>(samples * passBytes));
    }
    // Input goes in once; a drain repeats until the resampler is empty.
    if (input || n == 0) return true;
  }
}

}  // namespace platform
