// libFuzzer target: any bytes through the MP4 search and atom walk, as each codec of the
// family (the first byte chooses). The walk must end without reading outside the bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "device/codec.h"
#include "transfer/formats/mp4/mp4_reader.h"

using namespace device;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const int kCodecs[] = {kCodecM4a, kCodecM4p, kCodecM4b, kCodecMp4};
  const int codec = size ? kCodecs[data[0] % 4] : kCodecM4a;
  transfer::MemorySource source(data, size);
  TrackRecord record;
  transfer::Mp4Reader(codec).Read(source, record);
  if (record.length < 0 || record.bitrate < 0) std::abort();
  if (record.title.GetText().size() > 256 || record.artist.zero != 0) std::abort();
  return 0;
}
