// Ogg Vorbis files: comments and playing time through vorbisfile.
#pragma once

#include <string_view>

#include "transfer/formats/audio_format.h"

namespace transfer {

class OggReader final : public TagReader {
 public:
  // Bitrate (the stream's average) and whole seconds; title, album, track number, artist
  // (performer over artist), composer (artist unless a composer is named), comment
  // (description over comment), genre and year. 0 when the stream cannot be opened.
  int Read(ByteSource& source, device::TrackRecord& record) const override;
};

int ReadOggTags(std::string_view path, device::TrackRecord& record);

}  // namespace transfer
