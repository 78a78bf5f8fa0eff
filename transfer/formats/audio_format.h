// One interface for every audio format the transfer handles: each format folder
// (wav/, mp3/, wma/, flac/, ogg/, mp4/, audible/) offers a reader of its tags and facts,
// a writer where tags are written back, and the decoder and encoder of the conversion
// (transfer/formats/conversion.h) where it has them; the engine finds them by codec code
// and never names a format itself.
#pragma once

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

class TagWriter {
 public:
  virtual ~TagWriter() = default;
  // Writes the record's tags into the file at `posixPath` (a private copy of the file
  // named by the record's path); 1 written, 0 failed.
  virtual int Write(const std::string& posixPath, const device::TrackRecord& record) const = 0;
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
