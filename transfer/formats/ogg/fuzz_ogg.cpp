// libFuzzer target: any bytes through the Ogg Vorbis reader: the page walk of the quick
// road (headers, first audio page, last page) and, when it declines, vorbisfile.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "transfer/formats/ogg/ogg_reader.h"

using namespace device;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  transfer::MemorySource source(data, size);
  TrackRecord record;
  transfer::OggReader().Read(source, record);
  if (record.length < 0 || record.bitrate < 0) std::abort();
  if (record.title.zero != 0 || record.comment.zero != 0) std::abort();
  return 0;
}
