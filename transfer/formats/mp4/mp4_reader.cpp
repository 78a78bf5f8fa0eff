#include "transfer/formats/mp4/mp4_reader.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "device/codec.h"
#include "platform/text/text.h"
#include "transfer/formats/genres.h"

using namespace device;

namespace transfer {

namespace {

constexpr std::size_t kBlockBytes = 5000;
constexpr std::size_t kOverlap = 4;
constexpr std::size_t kSearchChunk = 1 << 16;
// Item data read at most: the data atom's 16-byte head and more text than a record field holds.
constexpr std::size_t kMaxItemData = 16 + 1024;

struct Atom {
  std::uint64_t start = 0;
  std::uint64_t size = 0;
  char type[4] = {};
  std::uint64_t end() const { return start + size; }
  bool Is(const char* name) const { return std::memcmp(type, name, 4) == 0; }
};

// The atom header at `pos` when it lies whole inside [pos, bound): a size below its own
// header or running past `bound` ends the walk.
std::optional<Atom> ReadAtom(ByteSource& source, std::uint64_t pos, std::uint64_t bound) {
  unsigned char h[8];
  if (pos + 8 > bound || !source.ReadExact(pos, h, sizeof h)) return std::nullopt;
  Atom a;
  a.start = pos;
  a.size = BigEndian32(h);
  std::memcpy(a.type, h + 4, 4);
  if (a.size < 8 || a.size > bound - pos) return std::nullopt;
  return a;
}

// The first child atom of that name between `first` and `end`.
std::optional<Atom> FindChild(ByteSource& source, std::uint64_t first, std::uint64_t end, const char* name) {
  std::uint64_t pos = first;
  while (const std::optional<Atom> child = ReadAtom(source, pos, end)) {
    if (child->Is(name)) return child;
    pos = child->end();
  }
  return std::nullopt;
}

void SetText(FixedString256& field, const std::vector<unsigned char>& data, std::size_t held) {
  if (held < 16) return;
  const char* text = reinterpret_cast<const char*>(data.data() + 16);
  const std::size_t available = std::min(held, data.size()) - 16;
  field.Set(std::string_view(text, strnlen(text, available)));
}

// One item of the list: its inner data atom holds the value 16 bytes in; a value is taken
// only when the item's data holds all of it.
void ReadItem(const Atom& item, const std::vector<unsigned char>& data, TrackRecord& record) {
  const std::size_t held = static_cast<std::size_t>(item.size - 8);
  const unsigned char* d = data.data();
  const std::size_t have = std::min(held, data.size());
  auto has = [&](std::size_t bytes) { return have >= bytes; };
  if (item.Is("\xA9nam")) SetText(record.title, data, held);
  else if (item.Is("\xA9" "ART")) SetText(record.artist, data, held);
  else if (item.Is("\xA9" "alb")) SetText(record.album, data, held);
  else if (item.Is("\xA9wrt")) SetText(record.composer, data, held);
  else if (item.Is("\xA9grp")) SetText(record.grouping, data, held);
  else if (item.Is("\xA9" "cmt")) SetText(record.comment, data, held);
  else if (item.Is("\xA9gen"))
    SetText(record.genre, data, held);
  else if (item.Is("\xA9" "day")) {
    if (has(16)) {
      const char* text = reinterpret_cast<const char*>(d + 16);
      record.year = platform::ParseInt32(std::string_view(text, strnlen(text, have - 16)));
    }
  } else if (item.Is("gnre")) {
    if (has(18)) {
      const int number = BigEndian16(d + 16);
      record.genre.Set(number >= 1 && number <= kGenreCount ? GenreName(number - 1) : std::string());
    }
  } else if (item.Is("trkn")) {
    if (has(22)) {
      record.trackNumber = BigEndian16(d + 18);
      record.trackCount = BigEndian16(d + 20);
    }
  } else if (item.Is("disk")) {
    if (has(22)) {
      record.discNumber = BigEndian16(d + 18);
      record.discCount = BigEndian16(d + 20);
    }
  } else if (item.Is("tmpo")) {
    if (has(18)) record.tempo = static_cast<std::int16_t>(BigEndian16(d + 16));
  } else if (item.Is("cpil")) {
    if (has(17)) record.compilation = d[16];
  }
}

// An atom anywhere in the file: a size of 1 is followed by a 64-bit size, a size of 0
// runs to `bound`; `head` is the header's length.
std::optional<Atom> ReadAnyAtom(ByteSource& source, std::uint64_t pos, std::uint64_t bound, std::uint64_t& head) {
  unsigned char h[16];
  if (pos + 8 > bound || !source.ReadExact(pos, h, 8)) return std::nullopt;
  Atom a;
  a.start = pos;
  a.size = BigEndian32(h);
  std::memcpy(a.type, h + 4, 4);
  head = 8;
  if (a.size == 1) {
    if (pos + 16 > bound || !source.ReadExact(pos + 8, h + 8, 8)) return std::nullopt;
    a.size = BigEndian64(h + 8);
    head = 16;
  } else if (a.size == 0) {
    a.size = bound - pos;
  }
  if (a.size < head || a.size > bound - pos) return std::nullopt;
  return a;
}

// What the audio track and the media data tell: the track's time scale, duration and
// sample rate, and the bytes of media data.
struct AudioFacts {
  std::uint64_t timescale = 0, duration = 0;
  std::uint32_t sampleRate = 0;
  std::uint64_t mediaBytes = 0;
};

// The first sound track's "mdhd" and first sample entry.
void ReadSoundTrack(ByteSource& source, const Atom& moov, AudioFacts& facts) {
  std::uint64_t pos = moov.start + 8;
  while (const std::optional<Atom> trak = ReadAtom(source, pos, moov.end())) {
    pos = trak->end();
    if (!trak->Is("trak")) continue;
    const std::optional<Atom> mdia = FindChild(source, trak->start + 8, trak->end(), "mdia");
    if (!mdia) continue;
    const std::optional<Atom> hdlr = FindChild(source, mdia->start + 8, mdia->end(), "hdlr");
    unsigned char handler[4];
    if (!hdlr || hdlr->size < 20 || !source.ReadExact(hdlr->start + 16, handler, 4) ||
        std::memcmp(handler, "soun", 4) != 0) {
      continue;
    }
    if (const std::optional<Atom> mdhd = FindChild(source, mdia->start + 8, mdia->end(), "mdhd")) {
      unsigned char m[32];
      if (source.ReadExact(mdhd->start + 8, m, 1)) {
        if (m[0] == 1 && mdhd->size >= 8 + 32 && source.ReadExact(mdhd->start + 8, m, 32)) {
          facts.timescale = BigEndian32(m + 20);
          facts.duration = BigEndian64(m + 24);
        } else if (m[0] == 0 && mdhd->size >= 8 + 20 && source.ReadExact(mdhd->start + 8, m, 20)) {
          facts.timescale = BigEndian32(m + 12);
          facts.duration = BigEndian32(m + 16);
        }
      }
    }
    const std::optional<Atom> minf = FindChild(source, mdia->start + 8, mdia->end(), "minf");
    const std::optional<Atom> stbl = minf ? FindChild(source, minf->start + 8, minf->end(), "stbl") : std::nullopt;
    const std::optional<Atom> stsd = stbl ? FindChild(source, stbl->start + 8, stbl->end(), "stsd") : std::nullopt;
    // The audio sample entry: 16.16 fixed-point rate 24 bytes after its header.
    unsigned char rate[4];
    if (stsd && stsd->size >= 16 + 36 && source.ReadExact(stsd->start + 16 + 32, rate, 4)) {
      facts.sampleRate = BigEndian32(rate) >> 16;
    }
    // Rates above 65,535 Hz do not fit the entry; the media's time scale is the rate then.
    if (facts.sampleRate == 0 && facts.timescale <= 0x7FFFFFFF)
      facts.sampleRate = static_cast<std::uint32_t>(facts.timescale);
    return;
  }
}

// The top-level atoms: the movie's sound track and the media data's bytes.
void ReadAudioFacts(ByteSource& source, AudioFacts& facts) {
  const std::uint64_t size = source.Size();
  std::uint64_t pos = 0;
  std::uint64_t head = 0;
  while (const std::optional<Atom> atom = ReadAnyAtom(source, pos, size, head)) {
    if (atom->Is("mdat")) facts.mediaBytes += atom->size - head;
    if (atom->Is("moov") && facts.timescale == 0 && head == 8) ReadSoundTrack(source, *atom, facts);
    pos = atom->end();
  }
}

bool ReadDuration(ByteSource& source, TrackRecord& record) {
  const std::uint64_t size = source.Size();
  std::optional<std::uint64_t> mvhd = FindAtomName(source, 0, 1, "mvhd");
  if (!mvhd) mvhd = FindAtomName(source, size > 500000 ? size - 500000 : 0, 100, "mvhd");
  if (!mvhd) return false;
  // Version 0 holds 32-bit times, version 1 64-bit ones.
  unsigned char m[32];
  if (!source.ReadExact(*mvhd + 4, m, 1)) return false;
  std::uint64_t timescale = 0;
  std::uint64_t duration = 0;
  if (m[0] == 1) {
    if (!source.ReadExact(*mvhd + 4, m, 32)) return false;
    timescale = BigEndian32(m + 20);
    duration = BigEndian64(m + 24);
  } else {
    if (!source.ReadExact(*mvhd + 4, m, 20)) return false;
    timescale = BigEndian32(m + 12);
    duration = BigEndian32(m + 16);
  }
  const std::uint64_t length = timescale ? duration / timescale : 0;
  record.length = SaturateInt32(length);
  record.bitrate = length ? SaturateInt32(size * 8 / 1000 / length) : 0;
  return true;
}

}  // namespace

std::optional<std::uint64_t> FindAtomName(ByteSource& source, std::uint64_t start, int maxBlocks,
                                          const char* name) {
  if (maxBlocks <= 0) return std::nullopt;
  // Blocks of 5000 bytes that overlap by 4 cover every 4 bytes of this range, so the
  // range is searched as a whole, in larger reads.
  const std::uint64_t stop =
      std::min<std::uint64_t>(source.Size(), start + std::uint64_t(maxBlocks - 1) * (kBlockBytes - kOverlap) + kBlockBytes);
  const std::unique_ptr<unsigned char[]> chunk(new unsigned char[kSearchChunk]);
  while (start + 4 <= stop) {
    const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(kSearchChunk, stop - start));
    const std::size_t len = source.ReadAt(start, chunk.get(), want);
    if (len < 4) return std::nullopt;
    const unsigned char* end = chunk.get() + len;
    for (const unsigned char* p = chunk.get(); end - p >= 4; ++p) {
      p = static_cast<const unsigned char*>(std::memchr(p, name[0], static_cast<std::size_t>(end - p) - 3));
      if (!p) break;
      if (std::memcmp(p, name, 4) == 0) return start + static_cast<std::uint64_t>(p - chunk.get());
    }
    if (len < want) return std::nullopt;
    start += len - 3;
  }
  return std::nullopt;
}

int Mp4Reader::Read(ByteSource& file, TrackRecord& record) const {
  // The walks read many headers of a few bytes.
  BufferedSource source(file);
  if (!ReadDuration(source, record)) return 0;
  const std::uint64_t size = source.Size();

  // The user data: searched near the end first, where it usually is.
  std::optional<std::uint64_t> name = FindAtomName(source, size > 999999 ? size - 1000000 : 0, 201, "udta");
  if (!name) name = FindAtomName(source, 0, 200, "udta");
  if (!name || *name < 4) return 0;
  const std::optional<Atom> udta = ReadAtom(source, *name - 4, size);
  if (!udta) return 0;

  // The bitrate again: the media data over the exact playing time, else an estimate
  // without the atoms' share; a floor for protected files.
  AudioFacts facts;
  ReadAudioFacts(source, facts);
  if (facts.sampleRate > 0) record.sampleRate = static_cast<std::int32_t>(facts.sampleRate);
  const double seconds = facts.timescale ? static_cast<double>(facts.duration) / facts.timescale : 0;
  if (facts.mediaBytes > 0 && seconds > 0) {
    record.bitrate =
        SaturateInt32(static_cast<std::uint64_t>(static_cast<double>(facts.mediaBytes) * 8 / seconds / 1000 + 0.5));
  } else if (record.length > 0) {
    const std::uint64_t overhead = std::uint64_t(record.length) * 300 + udta->size;
    const std::uint64_t media = size > overhead ? size - overhead : 0;
    record.bitrate = SaturateInt32(media * 8 / 1000 / std::uint64_t(record.length));
  }
  if (codec_ == kCodecM4p && record.bitrate < 135) record.bitrate = 128;

  // "meta" among the children of "udta"; it carries 4 bytes of version and flags.
  const std::optional<Atom> meta = FindChild(source, udta->start + 8, udta->end(), "meta");
  if (!meta || meta->size < 12) return 0;
  // The item list among the children of "meta" (after its handler).
  const std::optional<Atom> list = FindChild(source, meta->start + 12, meta->end(), "ilst");
  if (!list) return 0;

  // Items, and after them what follows the list inside "udta": a "free" atom there ends
  // the walk and marks an audiobook.
  std::vector<unsigned char> data;
  std::uint64_t pos = list->start + 8;
  while (pos < udta->end()) {
    const std::optional<Atom> item = ReadAtom(source, pos, udta->end());
    if (!item) return 0;
    if (item->Is("free")) {
      if (codec_ == kCodecM4b) record.genre.Set("Audiobook");
      return 1;
    }
    const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(item->size - 8, kMaxItemData));
    data.resize(want);
    if (!source.ReadExact(item->start + 8, data.data(), want)) return 0;
    ReadItem(*item, data, record);
    pos = item->end();
  }
  return 1;
}

int ReadMp4Tags(std::string_view path, TrackRecord& record) {
  return ReadFileWith(Mp4Reader(GetCodecFromPath(path)), path, record);
}

}  // namespace transfer
