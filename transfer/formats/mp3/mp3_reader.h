// MP3 files: ID3v1 and ID3v2 tags (2.2 to 2.4), then the bitrate, length and sample rate
// from a Xing, Info or VBRI header, or from the frames themselves.
#pragma once

#include <cstdint>
#include <string_view>

#include "transfer/formats/audio_format.h"
#include "transfer/formats/mp3/id3v2_tag.h"

namespace transfer {

// Bytes of the ID3v2 tag at the start of the file (header, frames, padding, footer), 0
// when there is none; and of the ID3v1 tag at its end (128 or 0).
std::uint64_t Id3v2TagBytes(ByteSource& source);
std::uint64_t Id3v1TagBytes(ByteSource& source);

// Separates several values of one field, as other programs show them.
constexpr std::string_view kValueSeparator = " / ";

// The fields an ID3v2 tag holds, into `record` (fields the tag lacks are left alone):
// texts with several values joined by kValueSeparator, genre numbers named, track number
// and count ("3/12"), the year, and the comment that is no program's private note.
void ReadId3v2Fields(const Id3v2Tag& tag, device::TrackRecord& record);
// Whether a comment is a program's private note ("iTunNORM", "iTunSMPB" ..., or bare
// groups of hex digits), which is never shown as the comment.
bool IsPrivateComment(std::string_view description, std::string_view text);
// Whether a comment frame of a tag of `version` is the one a write-back owns: no
// description, and no private note.
bool IsPlainComment(int version, const Id3v2Frame& frame);
// The fields of a 128-byte ID3v1 tag that `record` does not have yet.
void ReadId3v1Fields(const unsigned char* tag, device::TrackRecord& record);

struct Mp3Facts {
  int bitrate = 0;     // kbit/s
  int length = 0;      // seconds
  int sampleRate = 0;  // Hz
};

// Finds the audio's first frame (from `audioStart`, within 500,000 bytes; a frame counts
// only when the next frames follow it) and takes the facts from its Xing, Info or VBRI
// header; without one, from the frame's bitrate when the first frames share it, else
// from a walk over the frames (a variable bitrate). `audioEnd` is where the audio ends
// (before an ID3v1 tag). Answers whether it found a bitrate up to 999 kbit/s and a length
// of 1 s to a day.
bool ScanMp3Audio(ByteSource& source, std::uint64_t audioStart, std::uint64_t audioEnd, Mp3Facts& facts);

class Mp3Reader final : public TagReader {
 public:
  // The tags, then the scan of the audio; 1 when the scan found the facts, else 0 (the
  // tags stay in the record).
  int Read(ByteSource& source, device::TrackRecord& record) const override;
};

int ReadMp3Info(std::string_view path, device::TrackRecord& record);

}  // namespace transfer
