// MP3 files: ID3v1 and ID3v2 tags (2.2 to 2.4) through the tag library, then the bitrate
// and length from a Xing header or the first frame header after the tags.
#pragma once

#include <cstdint>
#include <string_view>

#include "transfer/formats/audio_format.h"

namespace transfer {

// Bytes of the ID3v2 tag at the start of the file (header, frames, padding, footer), 0
// when there is none; and of the ID3v1 tag at its end (128 or 0).
std::uint64_t Id3v2TagBytes(ByteSource& source);
std::uint64_t Id3v1TagBytes(ByteSource& source);

struct Mp3Facts {
  int bitrate = 0;  // kbit/s
  int length = 0;   // seconds
};

// Scans the audio (from `audioStart`, `audioBytes` long) in overlapping blocks of 5000
// bytes, at most 100 of them, for a Xing header with a frame count and for the first
// Layer III frame header; answers whether either gave a bitrate up to 999 kbit/s and a
// length of 1 s to a day.
bool ScanMp3Audio(ByteSource& source, std::uint64_t audioStart, std::uint64_t audioBytes, Mp3Facts& facts);

class Mp3Reader final : public TagReader {
 public:
  // The tags, then the scan of the audio; 1 when the scan found the facts, else 0 (the
  // tags stay in the record).
  int Read(ByteSource& source, device::TrackRecord& record) const override;
};

int ReadMp3Info(std::string_view path, device::TrackRecord& record);

}  // namespace transfer
