// Ogg Vorbis files: comments and playing time through libogg and libvorbis, or vorbisfile
// where the page walk declines; the three are loaded at the first read (ogg_library.h).
#pragma once

#include <string_view>

#include "transfer/formats/audio_format.h"

namespace transfer {

class OggReader final : public TagReader {
 public:
  // Bitrate (the stream's average) and whole seconds; title, album, track number, artist
  // (performer over artist), composer (artist unless a composer is named), comment
  // (description over comment), genre and year. 0 when the stream cannot be opened, as
  // when one of the libraries cannot be loaded.
  int Read(ByteSource& source, device::TrackRecord& record) const override;
};

int ReadOggTags(std::string_view path, device::TrackRecord& record);

}  // namespace transfer
