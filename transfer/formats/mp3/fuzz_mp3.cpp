// libFuzzer target: any bytes through the MP3 reader: the ID3v2 and ID3v1 tags through
// the tag library, the tag sizes and the scan for the Xing header and frame headers.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "transfer/formats/mp3/mp3_reader.h"

using namespace device;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  transfer::MemorySource source(data, size);
  TrackRecord record;
  const int result = transfer::Mp3Reader().Read(source, record);
  if (result == 1 && (record.bitrate < 1 || record.bitrate > 999 || record.length < 1 || record.length >= 86400)) {
    std::abort();
  }
  if (record.title.zero != 0 || record.comment.zero != 0) std::abort();
  return 0;
}
