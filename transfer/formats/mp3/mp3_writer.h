// Writing a record's tags into an MP3 file as ID3v1 and/or ID3v2.
#pragma once

#include "transfer/formats/audio_format.h"

namespace transfer {

class Mp3Writer final : public TagWriter {
 public:
  // Artist, album, title, track number (its low 8 bits, no total), year, genre and comment
  // replace those of the tags; every other frame stays. The kinds written: ID3v1 with
  // `ATM_TWB_UseV1`, ID3v2 with `ATM_TWB_UseV2`, ID3v1 when neither is set, and every kind
  // the file already has, so none is left stale. A new ID3v2 tag is version 2.3; an
  // existing 2.4 tag stays 2.4.
  int Write(const std::string& posixPath, const device::TrackRecord& record) const override;
};

}  // namespace transfer
