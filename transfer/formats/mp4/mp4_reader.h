// MP4-family files (m4a, m4p, m4b, mp4): the playing time from "mvhd" and the iTunes-style
// items under "udta"/"meta", found by searching the file for the atom names and walking
// from there with every size checked against its parent and the file.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "transfer/formats/audio_format.h"

namespace transfer {

// The position of the first `name` (4 bytes) at or after `start`, searching up to
// `maxBlocks` blocks of 5000 bytes that overlap by 4.
std::optional<std::uint64_t> FindAtomName(ByteSource& source, std::uint64_t start, int maxBlocks,
                                          const char* name);

class Mp4Reader final : public TagReader {
 public:
  // `codec` decides the m4p bitrate floor and the m4b genre.
  explicit Mp4Reader(int codec) : codec_(codec) {}
  // Length and bitrate, then title, artist, album, composer, grouping, comment, year,
  // genre, track and disc numbers and counts, tempo and compilation flag. 1 when the
  // item list was walked; 0 when "mvhd", "udta" or "meta" is missing or broken.
  int Read(ByteSource& source, device::TrackRecord& record) const override;

 private:
  int codec_;
};

int ReadMp4Tags(std::string_view path, device::TrackRecord& record);

}  // namespace transfer
