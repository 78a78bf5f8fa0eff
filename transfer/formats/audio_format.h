// One interface for every audio format the transfer handles: each format folder
// (wav/, mp3/, wma/, flac/, ogg/, mp4/, audible/) offers a reader of its tags and facts,
// a writer where tags are written back, and the decoder and encoder of the conversion
// (transfer/formats/conversion.h) where it has them; the engine finds them by codec code
// and never names a format itself.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "device/records.h"
#include "transfer/formats/byte_source.h"
#include "transfer/formats/conversion.h"

namespace transfer {

class TagReader {
 public:
  virtual ~TagReader() = default;
  // Reads what the file holds into `record`. The caller has stored the path, file size
  // and codec and reset the numbers. Answers the format's result: 1 read, 0 not read
  // (what was stored so far stays), a negative code for a format's own failure.
  virtual int Read(ByteSource& source, device::TrackRecord& record) const = 0;
};

// A change of a file's tags as bytes at its ends: its head (the bytes before the audio,
// such as an ID3v2 tag or an ASF header) and its tail (an ID3v1 tag). The audio between
// them is never touched, so the change can be made in place when the new head fits the
// old one's room, and otherwise by making room at the start of the file or by rewriting it.
struct TagEdit {
  // Null: the head stays. Else the new head made exactly `size` bytes long (padding fills
  // the room), or nothing when it cannot be made that long; any size from `headMinimum`
  // + kHeadRoomMinimum up must be possible.
  std::function<std::optional<std::string>(std::uint64_t size)> renderHead;
  std::uint64_t headBytes = 0;    // the old head's bytes at the start of the file
  std::uint64_t headMinimum = 0;  // the smallest the new head can be
  // Whether the tail changes: `tailBytes` at the end of the file are replaced by `tail`
  // (0 bytes: it is added).
  bool changeTail = false;
  std::uint64_t tailBytes = 0;
  std::string tail;
};
constexpr std::uint64_t kHeadRoomMinimum = 64;

class TagWriter {
 public:
  virtual ~TagWriter() = default;
  // Plans writing the record's tags into the file read through `source`; false when they
  // cannot be written (the file is not of the format, or its tags were not read whole, so
  // writing them back would lose what was not read).
  virtual bool Plan(ByteSource& source, const device::TrackRecord& record, TagEdit& edit) const = 0;
};

struct AudioFormat {
  const char* name;            // "mp3", "mp4" ...: the format folder
  const TagReader* reader;     // never null
  const TagWriter* writer;     // null: tags of this format are not written back
  const AudioDecoder* decoder; // null: not decoded
  const AudioEncoder* encoder; // null: not a conversion target
};

// Opens the file (Windows-form path) and reads it with `reader`; 0 when it cannot be
// opened. The per-format entry points (ReadWavInfo, ReadMp3Info ...) are this.
inline int ReadFileWith(const TagReader& reader, std::string_view path, device::TrackRecord& record) {
  FileSource source;
  if (!source.Open(path)) return 0;
  return reader.Read(source, record);
}

// The format of a codec code (device/codec.h), or null for an unknown code and for 4
// (nvf), which has no reader.
const AudioFormat* FindAudioFormat(int codec);

}  // namespace transfer
