// libFuzzer target: any bytes through the RIFF chunk walk and the WAV reader. The walk
// must end, and what it reports must lie inside the bytes it was given.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "transfer/formats/wav/wav_reader.h"

using namespace device;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  transfer::MemorySource source(data, size);
  platform::WAVEFORMATEX format;
  std::uint32_t dataOffset = 0;
  const bool reached = transfer::ReadWavChunks(source, format, dataOffset);
  if (dataOffset > size || (reached && dataOffset < 20)) std::abort();
  TrackRecord record;
  transfer::WavReader().Read(source, record);
  if (record.length < 0 || record.bitrate < 0) std::abort();
  return 0;
}
