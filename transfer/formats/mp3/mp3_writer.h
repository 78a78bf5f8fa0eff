// Writing a record's tags into an MP3 file as ID3v2 and ID3v1.
#pragma once

#include <string>

#include "transfer/formats/audio_format.h"

namespace transfer {

class Mp3Writer final : public TagWriter {
 public:
  // Artist, album, title, track number and count, year, genre and comment replace those
  // of the ID3v2 tag (a field the record leaves empty or 0 is removed, never written as a
  // placeholder); a field whose value does not change keeps its frame as it was, and so
  // does every other frame. The file always gets an ID3v2 tag, since only it holds every
  // text whole: the file's own version (2.2, 2.3 or 2.4), else 2.3. An ID3v1 tag is written
  // as well with `ATM_TWB_UseV1` or when the file has one, so none is left stale. A tag
  // that was not read whole is not written.
  bool Plan(ByteSource& source, const device::TrackRecord& record, TagEdit& edit) const override;
};

// The 128-byte ID3v1 tag of a record: texts in Latin-1 (other characters become '?') cut
// to their fields, the year when it has 4 digits, the track number when it fits its byte,
// the genre's number (255 when it has none).
std::string RenderId3v1(const device::TrackRecord& record);

}  // namespace transfer
