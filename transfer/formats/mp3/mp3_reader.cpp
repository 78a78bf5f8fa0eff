#include "transfer/formats/mp3/mp3_reader.h"

#include <taglib/commentsframe.h>
#include <taglib/id3v2frame.h>
#include <taglib/id3v2header.h>
#include <taglib/id3v2tag.h>
#include <taglib/textidentificationframe.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string>
#include <vector>

#include "platform/text/text.h"
#include "transfer/formats/genres.h"

using namespace device;

namespace transfer {

namespace {

// Where the first frame is looked for after the tag: the design's 100 blocks of 5000 bytes.
constexpr std::uint64_t kFirstFrameSearch = 100 * 5000;
// Frames in a row that make a frame header real, not a chance pattern in other data.
constexpr int kFramesInARow = 3;
// Frames whose bitrates are compared to tell a constant bitrate from a variable one.
constexpr int kBitrateSample = 32;
// How far from each sampling point a frame is looked for.
constexpr std::uint64_t kBitrateSearch = 16384;
// A variable-bitrate file is walked up to this many bytes; the rest is estimated from them.
constexpr std::uint64_t kWalkLimit = std::uint64_t(64) << 20;
constexpr std::size_t kWindowBytes = 1 << 18;

// Layer III bitrates in kbit/s by index, MPEG-1 and MPEG-2/2.5.
constexpr int kBitratesV1[16] = {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0};
constexpr int kBitratesV2[16] = {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0};
// Sample rates by version bits (3 MPEG-1, 2 MPEG-2, 0 MPEG-2.5) and index.
constexpr int kSampleRates[4][3] = {{11025, 12000, 8000}, {0, 0, 0}, {22050, 24000, 16000}, {44100, 48000, 32000}};

// A Layer III frame header at p: the 11 sync bits, a version that is not reserved, layer
// III, a bitrate index of 1 to 14, a sample rate that is not reserved and an emphasis
// that is not reserved.
bool IsFrameHeader(const unsigned char* p) {
  if (p[0] != 0xFF || (p[1] & 0xE0) != 0xE0) return false;
  if (((p[1] >> 3) & 3) == 1) return false;
  if (((p[1] >> 1) & 3) != 1) return false;
  if (p[2] < 16 || p[2] > 239) return false;
  if ((p[2] & 0x0C) == 0x0C) return false;
  if ((p[3] & 3) == 2) return false;
  return true;
}

struct Frame {
  int version = 0;  // the version bits
  int bitrate = 0;
  int sampleRate = 0;
  int samples = 0;
  bool mono = false;
  std::uint32_t bytes = 0;
  bool SameStream(const Frame& o) const { return version == o.version && sampleRate == o.sampleRate; }
};

bool ParseFrame(const unsigned char* p, Frame& f) {
  if (!IsFrameHeader(p)) return false;
  f.version = (p[1] >> 3) & 3;
  const int index = p[2] >> 4;
  f.bitrate = f.version == 3 ? kBitratesV1[index] : kBitratesV2[index];
  f.sampleRate = kSampleRates[f.version][(p[2] >> 2) & 3];
  f.samples = f.version == 3 ? 1152 : 576;
  f.mono = (p[3] >> 6) == 3;
  const int padding = (p[2] >> 1) & 1;
  f.bytes = static_cast<std::uint32_t>((f.version == 3 ? 144000 : 72000) * f.bitrate / f.sampleRate + padding);
  return true;
}

// Reads the source for the frame walk: small pieces where it jumps (the sampling points),
// growing ones where it goes on from where the last ended (the walk over every frame).
class Window {
 public:
  Window(ByteSource& source, std::uint64_t end) : source_(source), end_(end) {}
  // `count` bytes at `pos` (before the end), or null.
  const unsigned char* At(std::uint64_t pos, std::size_t count) {
    if (pos > end_ || end_ - pos < count) return nullptr;
    if (pos < start_ || pos + count > start_ + held_) {
      piece_ = pos >= start_ && pos <= start_ + held_ && held_ != 0 ? std::min(piece_ * 2, kWindowBytes) : kFirstPiece;
      const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(std::max(piece_, count), end_ - pos));
      if (buffer_.size() < want) buffer_.resize(want);
      held_ = source_.ReadAt(pos, buffer_.data(), want);
      start_ = pos;
      if (held_ < count) return nullptr;
    }
    return buffer_.data() + (pos - start_);
  }
  std::uint64_t End() const { return end_; }

 private:
  static constexpr std::size_t kFirstPiece = 8192;
  ByteSource& source_;
  std::uint64_t end_;
  std::vector<unsigned char> buffer_;
  std::uint64_t start_ = 0;
  std::size_t held_ = 0;
  std::size_t piece_ = kFirstPiece;
};

bool FrameAt(Window& w, std::uint64_t pos, Frame& f) {
  const unsigned char* p = w.At(pos, 4);
  return p && ParseFrame(p, f);
}

// Whether the frame at `pos` is followed by frames of its stream (or by the end of the
// audio after at least one of them).
bool Confirmed(Window& w, std::uint64_t pos, const Frame& first) {
  std::uint64_t next = pos + first.bytes;
  for (int n = 1; n < kFramesInARow; ++n) {
    if (n >= 2 && next >= w.End()) return true;
    Frame f;
    if (!FrameAt(w, next, f) || !f.SameStream(first)) return false;
    next += f.bytes;
  }
  return true;
}

bool FindFirstFrame(Window& w, std::uint64_t from, std::uint64_t& pos, Frame& frame) {
  const std::uint64_t stop = std::min(w.End(), from + kFirstFrameSearch);
  for (std::uint64_t p = from; p + 4 <= stop; ++p) {
    const unsigned char* b = w.At(p, 4);
    if (!b) return false;
    if (b[0] != 0xFF) continue;
    Frame f;
    if (ParseFrame(b, f) && Confirmed(w, p, f)) {
      pos = p;
      frame = f;
      return true;
    }
  }
  return false;
}

// The frame count of a Xing or Info header (or of a VBRI header) in the first frame;
// `info` tells an Info header (a constant bitrate).
bool VbrHeader(Window& w, std::uint64_t pos, const Frame& f, std::uint32_t& frames, bool& info) {
  const int side = f.version == 3 ? (f.mono ? 17 : 32) : (f.mono ? 9 : 17);
  if (const unsigned char* x = w.At(pos + 4 + side, 12)) {
    const bool xing = std::memcmp(x, "Xing", 4) == 0;
    info = std::memcmp(x, "Info", 4) == 0;
    if ((xing || info) && (BigEndian32(x + 4) & 1)) {
      frames = BigEndian32(x + 8);
      return frames != 0;
    }
  }
  info = false;
  if (const unsigned char* v = w.At(pos + 4 + 32, 18); v && std::memcmp(v, "VBRI", 4) == 0) {
    frames = BigEndian32(v + 14);
    return frames != 0;
  }
  return false;
}

// A stream shorter than a second is audio all the same (its length reads 0 seconds).
bool Accept(double bitrate, double seconds, Mp3Facts& facts) {
  if (!(bitrate >= 1 && bitrate < 1000) || !(seconds > 0 && seconds < 86400)) return false;
  facts.bitrate = static_cast<int>(bitrate);
  facts.length = static_cast<int>(seconds);
  return true;
}

// Walks every frame from the first (finding the stream again after damage) and gives the
// mean bitrate over the playing time. Beyond kWalkLimit the rest is taken at the mean so far.
bool WalkFrames(Window& w, std::uint64_t pos, const Frame& first, Mp3Facts& facts) {
  const std::uint64_t start = pos;
  std::uint64_t frames = 0;
  std::uint64_t bytes = 0;
  while (pos < w.End() && pos - start < kWalkLimit) {
    Frame f;
    if (FrameAt(w, pos, f) && f.SameStream(first)) {
      ++frames;
      bytes += f.bytes;
      pos += f.bytes;
      continue;
    }
    // Lost: the next frame of the stream that another one follows.
    std::uint64_t q = pos + 1;
    for (; q + 4 <= w.End(); ++q) {
      const unsigned char* b = w.At(q, 4);
      if (b && b[0] == 0xFF && ParseFrame(b, f) && f.SameStream(first) && Confirmed(w, q, f)) break;
    }
    pos = q;
    if (q + 4 > w.End()) break;
  }
  if (frames == 0) return false;
  const double seconds = static_cast<double>(frames) * first.samples / first.sampleRate;
  const double kbps = static_cast<double>(bytes) * 8 / seconds / 1000;
  const double total =
      pos < w.End() ? seconds * static_cast<double>(w.End() - start) / static_cast<double>(pos - start) : seconds;
  return Accept(kbps, total, facts);
}

// Whether the stream keeps the first frame's bitrate: the first frames, and frames at a
// quarter, half and three quarters of the audio (a file that starts in silence has a run
// of equal small frames even at a variable bitrate).
bool ConstantBitrate(Window& w, std::uint64_t pos, const Frame& first) {
  const auto sameFrom = [&](std::uint64_t at, int count) {
    for (int n = 0; n < count && at < w.End(); ++n) {
      Frame f;
      if (!FrameAt(w, at, f) || !f.SameStream(first)) break;
      if (f.bitrate != first.bitrate) return false;
      at += f.bytes;
    }
    return true;
  };
  if (!sameFrom(pos, kBitrateSample)) return false;
  const std::uint64_t span = w.End() - pos;
  for (int quarter = 1; quarter <= 3; ++quarter) {
    const std::uint64_t from = pos + span * quarter / 4;
    for (std::uint64_t p = from; p + 4 <= w.End() && p < from + kBitrateSearch; ++p) {
      const unsigned char* b = w.At(p, 4);
      Frame f;
      if (b && b[0] == 0xFF && ParseFrame(b, f) && f.SameStream(first) && Confirmed(w, p, f)) {
        if (!sameFrom(p, kFramesInARow)) return false;
        break;
      }
    }
  }
  return true;
}

// ---- Tags ----

std::string Utf8(const TagLib::String& s) { return s.to8Bit(true); }

// The tag in its plain form, parsed by the tag library.
class PlainTag final : public TagLib::ID3v2::Tag {
 public:
  explicit PlainTag(const std::string& plain) {
    header()->setData(TagLib::ByteVector(plain.data(), 10));
    parse(TagLib::ByteVector(plain.data() + 10, static_cast<unsigned int>(plain.size() - 10)));
  }
};

// The values of every frame of `id`, joined.
std::string Joined(const TagLib::ID3v2::Tag& tag, const char* id) {
  const auto it = tag.frameListMap().find(id);
  if (it == tag.frameListMap().end()) return {};
  std::string out;
  for (const TagLib::ID3v2::Frame* frame : it->second) {
    TagLib::StringList values;
    if (const auto* text = dynamic_cast<const TagLib::ID3v2::TextIdentificationFrame*>(frame)) {
      values = text->fieldList();
    } else {
      values.append(frame->toString());
    }
    for (const TagLib::String& v : values) {
      const std::string value = platform::Trim(Utf8(v));
      if (value.empty()) continue;
      if (!out.empty()) out += kValueSeparator;
      out += value;
    }
  }
  return out;
}

bool AllDigits(std::string_view s) {
  return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::string GenreOfNumber(std::string_view digits) {
  // Numbers of the list are named; others stay as they are written.
  const int n = digits.size() <= 3 ? platform::ParseInt32(digits) : -1;
  const std::string name = GenreName(n);
  return name.empty() ? std::string(digits) : name;
}

// The genres of one value: "17", "(17)(18)", "(17)Rock", "((a text", "(RX)" or a name.
void AddGenres(std::string_view v, std::vector<std::string>& out) {
  const auto add = [&](std::string g) {
    if (!g.empty() && std::find(out.begin(), out.end(), g) == out.end()) out.push_back(std::move(g));
  };
  v = platform::TrimView(v);
  while (!v.empty() && v[0] == '(' && !(v.size() > 1 && v[1] == '(')) {
    const std::size_t close = v.find(')');
    if (close == std::string_view::npos) break;
    const std::string_view inner = v.substr(1, close - 1);
    if (AllDigits(inner)) {
      add(GenreOfNumber(inner));
    } else if (inner == "RX") {
      add("Remix");
    } else if (inner == "CR") {
      add("Cover");
    } else {
      break;
    }
    v = v.substr(close + 1);
  }
  if (v.size() > 1 && v[0] == '(' && v[1] == '(') v.remove_prefix(1);
  v = platform::TrimView(v);
  if (AllDigits(v)) {
    add(GenreOfNumber(v));
  } else {
    add(std::string(v));
  }
}

// The values of a text frame from its bytes, where no flag changes them (compression,
// unsynchronisation ...); the tag library's reading of a genre frame drops "(RX)" and the
// like, so genres are read from the bytes where they can be.
bool RawTextValues(int version, const Id3v2Frame& frame, std::vector<std::string>& values) {
  if (version != 2 && frame.bytes.size() >= 10 && frame.bytes[9] != 0) return false;
  const std::string_view body = Id3v2FrameBody(version, frame);
  if (body.empty()) return false;
  const char encoding = body[0];
  const std::string_view text = body.substr(1);
  const bool wide = encoding == 1 || encoding == 2;
  std::size_t start = 0;
  for (std::size_t i = 0; i <= text.size();) {
    const bool end =
        i == text.size() || (wide ? i + 1 < text.size() && text[i] == 0 && text[i + 1] == 0 : text[i] == 0);
    if (!end) {
      i += wide ? 2 : 1;
      continue;
    }
    const std::string_view piece = text.substr(start, (i < text.size() ? i : text.size()) - start);
    const TagLib::ByteVector bytes(piece.data(), static_cast<unsigned int>(piece.size()));
    const TagLib::String::Type type = encoding == 0   ? TagLib::String::Latin1
                                      : encoding == 1 ? TagLib::String::UTF16
                                      : encoding == 2 ? TagLib::String::UTF16BE
                                                      : TagLib::String::UTF8;
    if (!piece.empty()) values.push_back(Utf8(TagLib::String(bytes, type)));
    if (i >= text.size()) break;
    i += wide ? 2 : 1;
    start = i;
  }
  return true;
}

std::string Genres(const Id3v2Tag& raw, const TagLib::ID3v2::Tag& tag) {
  std::vector<std::string> genres;
  bool fromBytes = false;
  for (const Id3v2Frame& frame : raw.frames) {
    if (frame.id != "TCON" && frame.id != "TCO") continue;
    std::vector<std::string> values;
    if (!RawTextValues(raw.version, frame, values)) {
      fromBytes = false;
      genres.clear();
      break;
    }
    fromBytes = true;
    for (const std::string& v : values) AddGenres(v, genres);
  }
  if (!fromBytes) {
    const auto it = tag.frameListMap().find("TCON");
    if (it != tag.frameListMap().end()) {
      for (const TagLib::ID3v2::Frame* frame : it->second) {
        if (const auto* text = dynamic_cast<const TagLib::ID3v2::TextIdentificationFrame*>(frame)) {
          for (const TagLib::String& v : text->fieldList()) AddGenres(Utf8(v), genres);
        }
      }
    }
  }
  std::string out;
  for (const std::string& g : genres) {
    if (!out.empty()) out += kValueSeparator;
    out += g;
  }
  return out;
}

// A player's private numbers (loudness, gapless data) kept as a comment: groups of hex
// digits separated by blanks.
bool IsHexNumbers(std::string_view s) {
  int groups = 0;
  std::size_t i = 0;
  while (i < s.size()) {
    if (s[i] == ' ') {
      ++i;
      continue;
    }
    std::size_t digits = 0;
    while (i < s.size() && std::isxdigit(static_cast<unsigned char>(s[i]))) {
      ++i;
      ++digits;
    }
    if (digits < 8 || (i < s.size() && s[i] != ' ')) return false;
    ++groups;
  }
  return groups >= 3;
}

// The comment: the first without a description, else the first other one, never a
// program's private note ("iTunNORM", "iTunSMPB" ... or bare hex numbers).
std::string Comment(const TagLib::ID3v2::Tag& tag) {
  const auto it = tag.frameListMap().find("COMM");
  if (it == tag.frameListMap().end()) return {};
  std::string described;
  for (const TagLib::ID3v2::Frame* frame : it->second) {
    const auto* comment = dynamic_cast<const TagLib::ID3v2::CommentsFrame*>(frame);
    if (!comment) continue;
    const std::string text = platform::Trim(Utf8(comment->text()));
    const std::string description = Utf8(comment->description());
    if (text.empty() || IsPrivateComment(description, text)) continue;
    if (description.empty()) return text;
    if (described.empty()) described = text;
  }
  return described;
}

// "3/12": the number and the count.
void TrackNumbers(std::string_view text, TrackRecord& record) {
  const std::size_t slash = text.find('/');
  record.trackNumber = platform::ParseInt32(text.substr(0, slash));
  record.trackCount = slash == std::string_view::npos ? 0 : platform::ParseInt32(text.substr(slash + 1));
}

std::string Latin1Text(const unsigned char* p, std::size_t n) {
  std::size_t len = strnlen(reinterpret_cast<const char*>(p), n);
  return platform::Trim(
      Utf8(TagLib::String(std::string(reinterpret_cast<const char*>(p), len), TagLib::String::Latin1)));
}

void SetIfEmpty(FixedString256& field, const std::string& value) {
  if (field.Str().empty() && !value.empty()) field.Set(value);
}

void SetIfPresent(FixedString256& field, const FixedString256& value) {
  if (!value.Str().empty()) field.Set(value.Str());
}

}  // namespace

bool IsPrivateComment(std::string_view description, std::string_view text) {
  return platform::StartsWithNoCase(description, "iTun") || IsHexNumbers(text);
}

bool IsPlainComment(int version, const Id3v2Frame& frame) {
  Id3v2Tag one;
  one.version = version;
  one.frames.push_back(frame);
  const PlainTag t(one.Plain());
  const TagLib::ID3v2::FrameList& list = t.frameList();
  if (list.size() != 1) return false;
  const auto* comment = dynamic_cast<const TagLib::ID3v2::CommentsFrame*>(list.front());
  return comment && comment->description().isEmpty() && !IsPrivateComment({}, Utf8(comment->text()));
}

void ReadId3v2Fields(const Id3v2Tag& tag, TrackRecord& record) {
  if (tag.version < 2 || tag.version > 4) return;
  const PlainTag t(tag.Plain());
  const auto set = [](FixedString256& field, const std::string& value) {
    if (!value.empty()) field.Set(value);
  };
  set(record.title, Joined(t, "TIT2"));
  set(record.artist, Joined(t, "TPE1"));
  set(record.album, Joined(t, "TALB"));
  set(record.composer, Joined(t, "TCOM"));
  set(record.genre, Genres(tag, t));
  set(record.comment, Comment(t));
  const std::string track = Joined(t, "TRCK");
  if (!track.empty()) TrackNumbers(track, record);
  const std::string date = Joined(t, "TDRC");
  if (!date.empty()) record.year = platform::ParseInt32(date);
}

void ReadId3v1Fields(const unsigned char* v1, TrackRecord& record) {
  SetIfEmpty(record.title, Latin1Text(v1 + 3, 30));
  SetIfEmpty(record.artist, Latin1Text(v1 + 33, 30));
  SetIfEmpty(record.album, Latin1Text(v1 + 63, 30));
  if (record.year == 0) record.year = platform::ParseInt32(Latin1Text(v1 + 93, 4));
  // ID3v1.1 keeps the track number in the comment's last byte, after a zero.
  const bool hasTrack = v1[125] == 0 && v1[126] != 0;
  SetIfEmpty(record.comment, Latin1Text(v1 + 97, hasTrack ? 28 : 30));
  if (record.trackNumber == 0 && hasTrack) record.trackNumber = v1[126];
  if (record.genre.Str().empty()) record.genre.Set(GenreName(v1[127]));
}

std::uint64_t Id3v2TagBytes(ByteSource& source) {
  unsigned char h[10];
  if (!source.ReadExact(0, h, sizeof h)) return 0;
  if (std::memcmp(h, "ID3", 3) != 0 || h[3] == 0xFF || h[4] == 0xFF) return 0;
  if ((h[6] | h[7] | h[8] | h[9]) & 0x80) return 0;
  std::uint64_t size = (std::uint64_t(h[6]) << 21) | (h[7] << 14) | (h[8] << 7) | h[9];
  size += 10;
  if (h[3] >= 4 && (h[5] & 0x10)) size += 10;  // footer
  return size;
}

std::uint64_t Id3v1TagBytes(ByteSource& source) {
  const std::uint64_t size = source.Size();
  unsigned char t[3];
  if (size < 128 || !source.ReadExact(size - 128, t, sizeof t)) return 0;
  return std::memcmp(t, "TAG", 3) == 0 ? 128 : 0;
}

bool ScanMp3Audio(ByteSource& source, std::uint64_t audioStart, std::uint64_t audioEnd, Mp3Facts& facts) {
  Window w(source, std::min(audioEnd, source.Size()));
  std::uint64_t pos = 0;
  Frame first;
  if (!FindFirstFrame(w, audioStart, pos, first)) return false;
  facts.sampleRate = first.sampleRate;
  const std::uint64_t audioBytes = w.End() - pos;
  const double frameSeconds = static_cast<double>(first.samples) / first.sampleRate;

  std::uint32_t frames = 0;
  bool info = false;
  if (VbrHeader(w, pos, first, frames, info)) {
    const double seconds = frames * frameSeconds;
    const double kbps = info ? first.bitrate : static_cast<double>(audioBytes) * 8 / seconds / 1000;
    if (Accept(kbps, seconds, facts)) return true;
  }
  if (ConstantBitrate(w, pos, first)) {
    return Accept(first.bitrate, static_cast<double>(audioBytes) * 8 / 1000 / first.bitrate, facts);
  }
  return WalkFrames(w, pos, first, facts);
}

int Mp3Reader::Read(ByteSource& source, TrackRecord& record) const {
  // Into a record of their own first: ID3v2 wins, ID3v1 fills what it lacks.
  TrackRecord tags;
  Id3v2Tag v2;
  const bool hasV2 = ReadId3v2Tag(source, v2);
  if (hasV2) ReadId3v2Fields(v2, tags);
  const std::uint64_t v1Bytes = Id3v1TagBytes(source);
  if (v1Bytes) {
    unsigned char v1[128];
    if (source.ReadExact(source.Size() - 128, v1, sizeof v1)) ReadId3v1Fields(v1, tags);
  }
  SetIfPresent(record.title, tags.title);
  SetIfPresent(record.artist, tags.artist);
  SetIfPresent(record.album, tags.album);
  SetIfPresent(record.comment, tags.comment);
  SetIfPresent(record.composer, tags.composer);
  SetIfPresent(record.genre, tags.genre);
  record.trackNumber = tags.trackNumber;
  record.trackCount = tags.trackCount;
  record.year = tags.year;

  const std::uint64_t size = source.Size();
  const std::uint64_t before = hasV2 ? v2.regionBytes : 0;
  Mp3Facts facts;
  if (!ScanMp3Audio(source, before, size - v1Bytes, facts)) return 0;
  record.bitrate = facts.bitrate;
  record.length = facts.length;
  record.sampleRate = facts.sampleRate;
  return 1;
}

int ReadMp3Info(std::string_view path, TrackRecord& record) {
  return ReadFileWith(Mp3Reader(), path, record);
}

}  // namespace transfer
