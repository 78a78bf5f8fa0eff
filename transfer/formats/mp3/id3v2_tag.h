// The structure of an ID3v2 tag (versions 2.2 to 2.4), walked by our own code: the header,
// an extended header, a footer, a whole-tag unsynchronisation and the frames, kept as the
// bytes they are. The tag library misreads tags with an extended header or a footer (it
// skips the wrong number of bytes and finds no frame, or cuts off the last one); it reads
// the plain form made here reliably, and a write keeps every frame it does not change
// byte for byte.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "transfer/formats/byte_source.h"

namespace transfer {

struct Id3v2Frame {
  std::string id;     // "TIT2"; three letters ("TT2") in a version 2.2 tag
  std::string bytes;  // header and body; the size in the header in its version's own form
};

struct Id3v2Tag {
  int version = 0;                // 2, 3 or 4; 0 when the file has no tag
  std::uint64_t regionBytes = 0;  // the bytes before the audio: header, body, footer
  std::vector<Id3v2Frame> frames;
  // Every frame was read: the walk ended at the padding or at the end of the tag. A tag
  // read in part must never be written back, or the frames not read would be lost.
  bool complete = false;

  // The tag in its plain form: no extended header, footer or whole-tag unsynchronisation,
  // no padding. What the tag library parses.
  std::string Plain() const;
  // Header and frames; the smallest a written tag can be.
  std::uint64_t MinimumBytes() const;
  // The tag as written: `totalBytes` (at least MinimumBytes) long, filled with padding.
  std::string Render(std::uint64_t totalBytes) const;
};

constexpr std::uint64_t kId3v2MaxBytes = 10 + 0x0FFFFFFF;  // a 28-bit size after the header

// Reads the tag at the start of `source`. False when there is none; a tag whose frames
// could not all be read comes back with `complete` false and the frames read before.
bool ReadId3v2Tag(ByteSource& source, Id3v2Tag& tag);

// One frame of `version` with `id` and `body`.
std::string MakeId3v2Frame(int version, std::string_view id, std::string_view body);
// The body of a frame as its bytes hold it.
std::string_view Id3v2FrameBody(int version, const Id3v2Frame& frame);

}  // namespace transfer
