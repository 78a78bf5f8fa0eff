// libFuzzer target: any bytes through the Ogg Vorbis decoding loop (pages, header packets,
// chained streams, synthesis), the samples written to /dev/null.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "transfer/formats/ogg/ogg_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  transfer::MemorySource source(data, size);
  transfer::OutputFile output;
  if (!output.Create("\\dev\\null", true)) std::abort();
  platform::WAVEFORMATEX format;
  transfer::ProgressReporter silent(nullptr, nullptr, 1);
  const int result = transfer::DecodeOggStream(source, output, format, nullptr, silent);
  if (result == transfer::kOggLibraryMissing) std::abort();
  if (result == 0 && (format.nChannels == 0 || format.nSamplesPerSec == 0)) std::abort();
  return 0;
}
