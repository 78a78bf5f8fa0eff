// WMA files, through the media runtime's metadata editor (platform/media).
#pragma once

#include <string_view>

#include "transfer/formats/audio_format.h"

namespace transfer {

class WmaReader final : public TagReader {
 public:
  // Texts, track number ("WM/TrackNumber", else "WM/Track" counted from 0), year,
  // bitrate and length; 0 when the file cannot be opened as ASF.
  int Read(ByteSource& source, device::TrackRecord& record) const override;
};

int ReadWmaTags(std::string_view path, device::TrackRecord& record);

class WmaWriter final : public TagWriter {
 public:
  // Artist, album, title, track number, track (number - 1), year, genre and comment as
  // string attributes of stream 0; an empty text or a number of 0 removes its attribute.
  // Changes only the header object: a padding object keeps its size where it can.
  bool Plan(ByteSource& source, const device::TrackRecord& record, TagEdit& edit) const override;
};

}  // namespace transfer
