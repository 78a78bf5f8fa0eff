#include "transfer/formats/ogg/ogg_reader.h"

// The header's own callbacks over stdio are not used.
#define OV_EXCLUDE_STATIC_CALLBACKS
#include <vorbis/vorbisfile.h>

#include <cmath>
#include <cstdio>
#include <cstring>

#include "platform/text/text.h"
#include "transfer/formats/ogg/ogg_library.h"

using namespace device;

namespace transfer {

namespace {

constexpr std::size_t kReadChunk = 8192;
constexpr std::uint64_t kTailSpans[] = {8192, 65536};

#define TOVARIN_VORBISFILE_FUNCTIONS(X) \
  X(ov_open_callbacks)                  \
  X(ov_comment)                         \
  X(ov_info)                            \
  X(ov_bitrate)                         \
  X(ov_time_total)                      \
  X(ov_clear)

struct VorbisFileFunctions {
  TOVARIN_VORBISFILE_FUNCTIONS(TOVARIN_LIBRARY_MEMBER)
};

bool ResolveVorbisFileFunctions(const platform::SharedLibrary& library, VorbisFileFunctions& api) {
  bool ok = true;
  TOVARIN_VORBISFILE_FUNCTIONS(TOVARIN_LIBRARY_RESOLVE)
  return ok;
}

// What the reader calls, from the three libraries.
struct OggApi : OggFunctions, VorbisFunctions, VorbisFileFunctions {};

// The system's libraries, each loaded at the first read; false when one cannot be loaded.
// All three are needed even where the page walk alone would do, so that whether a file
// reads does not depend on the road it takes.
bool LoadOggApi(OggApi& api) {
  static auto* ogg =
      new platform::LibraryFunctions<OggFunctions>(kOggLibraryName, "Ogg library", &ResolveOggFunctions);
  static auto* vorbis =
      new platform::LibraryFunctions<VorbisFunctions>(kVorbisLibraryName, "Vorbis library", &ResolveVorbisFunctions);
  static auto* file = new platform::LibraryFunctions<VorbisFileFunctions>(
      kVorbisFileLibraryName, "Vorbis file library", &ResolveVorbisFileFunctions);
  const OggFunctions* o = ogg->Get();
  const VorbisFunctions* v = o != nullptr ? vorbis->Get() : nullptr;
  const VorbisFileFunctions* f = v != nullptr ? file->Get() : nullptr;
  if (f == nullptr) return false;
  api = OggApi{*o, *v, *f};
  return true;
}

// What the comments and the stream facts come from.
struct OggFacts {
  long rate = 0;
  double seconds = 0;
  long bitsPerSecond = 0;
};

// ---- The quick road: the first pages and the last page of a plain stream ----
//
// vorbisfile unpacks the codebooks of the setup header (twice, for a seekable file) before
// it tells the playing time; none of that is needed for comments, length and average
// bitrate. The quick road reads the identification and comment headers through libvorbis,
// skips the setup header, and takes the length from the last page's granule position. It
// answers false for anything but one Vorbis stream that starts at sample 0 (chained or
// multiplexed files, streams cut from a live source), which vorbisfile then reads.

class PageReader {
 public:
  PageReader(const OggApi& api, ByteSource& source, std::uint64_t from)
      : api_(api), source_(source), readPos_(from), pagePos_(from) {
    api_.ogg_sync_init(&sync_);
  }
  ~PageReader() { api_.ogg_sync_clear(&sync_); }
  PageReader(const PageReader&) = delete;
  PageReader& operator=(const PageReader&) = delete;

  // The next whole page (checksum verified) before `stop`; where it starts and ends.
  bool Next(ogg_page& page, std::uint64_t stop, std::uint64_t& start, std::uint64_t& end) {
    for (;;) {
      const long r = api_.ogg_sync_pageseek(&sync_, &page);
      if (r > 0) {
        start = pagePos_;
        pagePos_ += static_cast<std::uint64_t>(r);
        end = pagePos_;
        return true;
      }
      if (r < 0) {
        pagePos_ += static_cast<std::uint64_t>(-r);
        continue;
      }
      if (readPos_ >= stop) return false;
      const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(kReadChunk, stop - readPos_));
      char* buffer = api_.ogg_sync_buffer(&sync_, static_cast<long>(want));
      if (!buffer) return false;
      const std::size_t n = source_.ReadAt(readPos_, buffer, want);
      if (n == 0) return false;
      api_.ogg_sync_wrote(&sync_, static_cast<long>(n));
      readPos_ += n;
    }
  }

 private:
  const OggApi& api_;
  ByteSource& source_;
  ogg_sync_state sync_;
  std::uint64_t readPos_;
  std::uint64_t pagePos_;
};

bool IsSetupHeader(const ogg_packet& p) {
  return p.bytes >= 7 && p.packet[0] == 5 && std::memcmp(p.packet + 1, "vorbis", 6) == 0;
}

bool QuickRead(const OggApi& api, ByteSource& source, vorbis_info& info, vorbis_comment& comments, OggFacts& facts) {
  const std::uint64_t size = source.Size();
  PageReader pages(api, source, 0);
  ogg_stream_state stream;
  bool streamOpen = false;
  int serial = 0;
  int packets = 0;
  std::uint64_t dataOffset = 0;
  ogg_page page;
  ogg_packet packet;
  std::uint64_t start = 0;
  std::uint64_t end = 0;
  bool ok = false;
  // Headers, then the first audio page.
  while (pages.Next(page, size, start, end)) {
    if (!streamOpen) {
      if (!api.ogg_page_bos(&page)) break;
      serial = api.ogg_page_serialno(&page);
      if (api.ogg_stream_init(&stream, serial) != 0) break;
      streamOpen = true;
    } else if (api.ogg_page_serialno(&page) != serial) {
      break;  // another stream beside this one
    }
    if (packets == 3) {
      // Begins at sample 0: the first audio page ends within its packets' longest blocks.
      const ogg_int64_t granule = api.ogg_page_granulepos(&page);
      const long longBlock = api.vorbis_info_blocksize(&info, 1);
      ok = granule >= 0 && longBlock > 0 && granule <= std::int64_t(api.ogg_page_packets(&page)) * longBlock / 2;
      break;
    }
    if (api.ogg_stream_pagein(&stream, &page) != 0) break;
    bool bad = false;
    while (packets < 3 && api.ogg_stream_packetout(&stream, &packet) == 1) {
      ++packets;
      if (packets < 3 ? api.vorbis_synthesis_headerin(&info, &comments, &packet) != 0 : !IsSetupHeader(packet)) {
        bad = true;
        break;
      }
    }
    if (bad) break;
    if (packets == 3) dataOffset = end;  // the setup header ends its page
  }
  if (streamOpen) api.ogg_stream_clear(&stream);
  if (!ok || info.rate <= 0) return false;

  // The last page with a granule position, in the file's last 8 KB, else its last 64 KB
  // (the largest page); a page of another stream there means a chained file.
  ogg_int64_t granule = -1;
  std::uint64_t lastPage = 0;
  for (const std::uint64_t span : kTailSpans) {
    const std::uint64_t tail = size > dataOffset + span ? size - span : dataOffset;
    PageReader last(api, source, tail);
    while (last.Next(page, size, start, end)) {
      if (api.ogg_page_serialno(&page) != serial) return false;
      if (api.ogg_page_granulepos(&page) >= 0) {
        granule = api.ogg_page_granulepos(&page);
        lastPage = start;
      }
    }
    if (granule >= 0 || tail == dataOffset) break;
  }
  if (granule <= 0 || lastPage < dataOffset) return false;
  facts.rate = info.rate;
  facts.seconds = static_cast<double>(granule) / info.rate;
  // vorbisfile's average: the bytes from the first audio page to the start of the last
  // page, over the playing time.
  facts.bitsPerSecond = std::lrint(static_cast<double>(lastPage - dataOffset) * 8 / facts.seconds);
  return true;
}

// ---- The full road: vorbisfile over the same source ----

size_t ReadCallback(void* ptr, size_t size, size_t nmemb, void* source) {
  if (size == 0) return 0;
  return static_cast<SourceCursor*>(source)->Read(ptr, size * nmemb) / size;
}

int SeekCallback(void* source, ogg_int64_t offset, int whence) {
  return static_cast<SourceCursor*>(source)->Seek(offset, whence);
}

long TellCallback(void* source) { return static_cast<long>(static_cast<SourceCursor*>(source)->position); }

void FillComments(const OggApi& api, vorbis_comment* comments, TrackRecord& record) {
  auto first = [&](const char* key) -> const char* { return api.vorbis_comment_query(comments, key, 0); };
  // In this order, each found value overwriting the one before.
  if (const char* v = first("TITLE")) record.title.Set(v);
  if (const char* v = first("ALBUM")) record.album.Set(v);
  if (const char* v = first("TRACKNUMBER")) record.trackNumber = platform::ParseInt32(v);
  // The performer names the artist only where the file has no artist.
  if (const char* v = first("ARTIST")) {
    record.artist.Set(v);
  } else if (const char* p = first("PERFORMER")) {
    record.artist.Set(p);
  }
  if (const char* v = first("COMPOSER")) record.composer.Set(v);
  if (const char* v = first("COMMENT")) record.comment.Set(v);
  if (const char* v = first("DESCRIPTION")) record.comment.Set(v);
  if (const char* v = first("GENRE")) record.genre.Set(v);
  if (const char* v = first("DATE")) record.year = platform::ParseInt32(v);
}

void FillFacts(const OggFacts& facts, TrackRecord& record) {
  if (facts.rate > 0 && facts.rate <= 0x7FFFFFFF) record.sampleRate = static_cast<std::int32_t>(facts.rate);
  record.bitrate = facts.bitsPerSecond > 0 ? SaturateInt32(static_cast<std::uint64_t>(facts.bitsPerSecond) / 1000) : 0;
  record.length = facts.seconds > 0 && facts.seconds < 2147483647.0 ? static_cast<std::int32_t>(facts.seconds) : 0;
}

}  // namespace

int OggReader::Read(ByteSource& source, TrackRecord& record) const {
  OggApi api;
  if (!LoadOggApi(api)) return 0;
  {
    vorbis_info info;
    vorbis_comment comments;
    api.vorbis_info_init(&info);
    api.vorbis_comment_init(&comments);
    OggFacts facts;
    const bool quick = QuickRead(api, source, info, comments, facts);
    if (quick) {
      FillFacts(facts, record);
      FillComments(api, &comments, record);
    }
    api.vorbis_comment_clear(&comments);
    api.vorbis_info_clear(&info);
    if (quick) return 1;
  }
  SourceCursor cursor(source);
  const ov_callbacks callbacks{ReadCallback, SeekCallback, nullptr, TellCallback};
  OggVorbis_File vf;
  if (api.ov_open_callbacks(&cursor, &vf, nullptr, 0, callbacks) != 0) return 0;
  vorbis_comment* comments = api.ov_comment(&vf, -1);
  if (!comments) {
    api.ov_clear(&vf);
    return 0;
  }
  OggFacts facts;
  facts.bitsPerSecond = api.ov_bitrate(&vf, -1);
  facts.seconds = api.ov_time_total(&vf, -1);
  if (const vorbis_info* info = api.ov_info(&vf, 0)) facts.rate = info->rate;
  FillFacts(facts, record);
  FillComments(api, comments, record);
  api.ov_clear(&vf);
  return 1;
}

int ReadOggTags(std::string_view path, TrackRecord& record) {
  return ReadFileWith(OggReader(), path, record);
}

}  // namespace transfer
