// The PCM format record that the audio code passes between readers, decoders and
// encoders, laid out as the desktop's (18 bytes, no padding).
#pragma once

#include <cstddef>
#include <cstdint>

namespace platform {

constexpr std::uint16_t WAVE_FORMAT_PCM = 1;

#pragma pack(push, 1)
struct WAVEFORMATEX {
  std::uint16_t wFormatTag = 0;
  std::uint16_t nChannels = 0;
  std::uint32_t nSamplesPerSec = 0;
  std::uint32_t nAvgBytesPerSec = 0;
  std::uint16_t nBlockAlign = 0;
  std::uint16_t wBitsPerSample = 0;
  std::uint16_t cbSize = 0;  // bytes of format data after this record
};
#pragma pack(pop)

static_assert(sizeof(WAVEFORMATEX) == 18);
static_assert(offsetof(WAVEFORMATEX, nAvgBytesPerSec) == 8);
static_assert(offsetof(WAVEFORMATEX, cbSize) == 16);

}  // namespace platform
