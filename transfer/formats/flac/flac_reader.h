// FLAC files: STREAMINFO and the Vorbis comments through libFLAC's metadata chain, the
// library loaded at the first read (flac_library.h).
#pragma once

#include <string>
#include <string_view>

#include <FLAC/format.h>

#include "transfer/formats/audio_format.h"

namespace transfer {

// The chain could not be read (not FLAC, or its metadata is damaged).
constexpr int kFlacChainUnreadable = -200;

// The value of the first comment named `name` (case ignored): 1 and
// `value` set (at most 1023 bytes of the entry are taken), else 0 (also when the library
// cannot be loaded).
int FindFlacComment(const FLAC__StreamMetadata* block, const char* name, std::string& value);

class FlacReader final : public TagReader {
 public:
  // Length, sample rate and bitrate from STREAMINFO; title, album, track number, artist
  // (performer over artist), composer (artist unless a composer is named), comment
  // (description over comment), genre and year from the comments. 1; 0 when the
  // library cannot be loaded or cannot start; kFlacChainUnreadable.
  int Read(ByteSource& source, device::TrackRecord& record) const override;
};

int ReadFlacTags(std::string_view path, device::TrackRecord& record);

}  // namespace transfer
