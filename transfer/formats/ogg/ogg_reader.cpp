#include "transfer/formats/ogg/ogg_reader.h"

#include <vorbis/vorbisfile.h>

#include <cstdio>

#include "sql/values.h"

namespace transfer {

namespace {

size_t ReadCallback(void* ptr, size_t size, size_t nmemb, void* source) {
  if (size == 0) return 0;
  return static_cast<SourceCursor*>(source)->Read(ptr, size * nmemb) / size;
}

int SeekCallback(void* source, ogg_int64_t offset, int whence) {
  return static_cast<SourceCursor*>(source)->Seek(offset, whence);
}

long TellCallback(void* source) { return static_cast<long>(static_cast<SourceCursor*>(source)->position); }

// The first value of a comment, or null.
const char* Comment(vorbis_comment* comments, const char* key) { return vorbis_comment_query(comments, key, 0); }

}  // namespace

int OggReader::Read(ByteSource& source, TrackRecord& record) const {
  SourceCursor cursor(source);
  const ov_callbacks callbacks{ReadCallback, SeekCallback, nullptr, TellCallback};
  OggVorbis_File vf;
  if (ov_open_callbacks(&cursor, &vf, nullptr, 0, callbacks) != 0) return 0;
  vorbis_comment* comments = ov_comment(&vf, -1);
  if (!comments) {
    ov_clear(&vf);
    return 0;
  }
  const long bitrate = ov_bitrate(&vf, -1);
  record.bitrate = bitrate > 0 ? static_cast<std::int32_t>(bitrate / 1000) : 0;
  const double seconds = ov_time_total(&vf, -1);
  record.length = seconds > 0 && seconds < 2147483647.0 ? static_cast<std::int32_t>(seconds) : 0;
  // In this order, each found value overwriting the one before.
  if (const char* v = Comment(comments, "TITLE")) record.title.Set(v);
  if (const char* v = Comment(comments, "ALBUM")) record.album.Set(v);
  if (const char* v = Comment(comments, "TRACKNUMBER")) record.trackNumber = sql::SqlAtoi(v);
  if (const char* v = Comment(comments, "ARTIST")) {
    record.artist.Set(v);
    record.composer.Set(v);
  }
  if (const char* v = Comment(comments, "COMPOSER")) record.composer.Set(v);
  if (const char* v = Comment(comments, "PERFORMER")) record.artist.Set(v);
  if (const char* v = Comment(comments, "COMMENT")) record.comment.Set(v);
  if (const char* v = Comment(comments, "DESCRIPTION")) record.comment.Set(v);
  if (const char* v = Comment(comments, "GENRE")) record.genre.Set(v);
  if (const char* v = Comment(comments, "DATE")) record.year = sql::SqlAtoi(v);
  ov_clear(&vf);
  return 1;
}

int ReadOggTags(std::string_view path, TrackRecord& record) {
  FileSource source;
  if (!source.Open(path)) return 0;
  return OggReader().Read(source, record);
}

}  // namespace transfer
