#include "transfer/formats/mp3/mp3_reader.h"

#include <taglib/commentsframe.h>
#include <taglib/id3v1tag.h>
#include <taglib/id3v2frame.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>

#include <cstring>
#include <string>
#include <vector>

#include "transfer/formats/genres.h"
#include "transfer/formats/taglib_stream.h"

using namespace device;

namespace transfer {

namespace {

constexpr std::size_t kBlockBytes = 5000;
constexpr int kMaxBlocks = 100;
// Consecutive blocks overlap so that a Xing header with its frame count (12 bytes) lies
// whole inside one of them.
constexpr std::size_t kOverlap = 12;

// Layer III bitrates in kbit/s by index, MPEG-1 and MPEG-2/2.5.
constexpr int kBitratesV1[16] = {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0};
constexpr int kBitratesV2[16] = {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0};
// Sample rates by index and version bits (3 MPEG-1, 2 MPEG-2, 0 MPEG-2.5).
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

int FrameBitrate(const unsigned char* p) {
  const int index = p[2] >> 4;
  return ((p[1] >> 3) & 3) == 3 ? kBitratesV1[index] : kBitratesV2[index];
}

// Sample rate and samples per frame of the frame that carries a Xing header at `xing`:
// its header sits 4 bytes plus the side information (32, 17 or 9 bytes, by version and
// channel mode) before the tag. Without a matching header, 44,100 Hz and 1,152 samples.
void XingFrameFormat(ByteSource& source, std::uint64_t xing, int& sampleRate, int& samplesPerFrame) {
  sampleRate = 44100;
  samplesPerFrame = 1152;
  for (const int side : {32, 17, 9}) {
    if (xing < std::uint64_t(4 + side)) continue;
    unsigned char h[4];
    if (!source.ReadExact(xing - 4 - side, h, sizeof h) || !IsFrameHeader(h)) continue;
    const int version = (h[1] >> 3) & 3;
    const bool mono = (h[3] >> 6) == 3;
    const int expected = version == 3 ? (mono ? 17 : 32) : (mono ? 9 : 17);
    if (expected != side) continue;
    sampleRate = kSampleRates[version][(h[2] >> 2) & 3];
    samplesPerFrame = version == 3 ? 1152 : 576;
    return;
  }
}

bool Accept(int bitrate, std::uint64_t audioBytes, Mp3Facts& facts) {
  if (bitrate <= 0 || bitrate > 999) return false;
  const std::uint64_t length = audioBytes * 8 / 1000 / static_cast<std::uint64_t>(bitrate);
  if (length == 0 || length >= 86400) return false;
  facts.bitrate = bitrate;
  facts.length = static_cast<int>(length);
  return true;
}

std::string Utf8(const TagLib::String& s) { return s.to8Bit(true); }

void SetIfPresent(FixedString256& field, const TagLib::String& value) {
  if (!value.isEmpty()) field.Set(Utf8(value));
}

void ReadTags(ByteSource& source, TrackRecord& record) {
  TagLibSourceStream stream(source);
  TagLib::MPEG::File file(&stream, TagLib::ID3v2::FrameFactory::instance(), false);
  if (!file.isValid()) return;
  TagLib::ID3v2::Tag* v2 = file.hasID3v2Tag() ? file.ID3v2Tag() : nullptr;
  TagLib::ID3v1::Tag* v1 = file.hasID3v1Tag() ? file.ID3v1Tag() : nullptr;
  // ID3v2 first; ID3v1 fills what it lacks.
  auto pick = [&](TagLib::String (TagLib::Tag::*get)() const) {
    TagLib::String value = v2 ? (v2->*get)() : TagLib::String();
    if (value.isEmpty() && v1) value = (v1->*get)();
    return value;
  };
  auto pickNumber = [&](unsigned int (TagLib::Tag::*get)() const) {
    unsigned int value = v2 ? (v2->*get)() : 0;
    if (value == 0 && v1) value = (v1->*get)();
    return value;
  };
  SetIfPresent(record.artist, pick(&TagLib::Tag::artist));
  SetIfPresent(record.album, pick(&TagLib::Tag::album));
  SetIfPresent(record.title, pick(&TagLib::Tag::title));
  SetIfPresent(record.comment, pick(&TagLib::Tag::comment));
  record.trackNumber = SaturateInt32(pickNumber(&TagLib::Tag::track));
  record.year = SaturateInt32(pickNumber(&TagLib::Tag::year));
  if (v2) {
    const TagLib::ID3v2::FrameList& composers = v2->frameList("TCOM");
    if (!composers.isEmpty()) SetIfPresent(record.composer, composers.front()->toString());
  }
  // The ID3v2 genre (numbers in it already named by the library), else the ID3v1 number.
  TagLib::String genre = v2 ? v2->genre() : TagLib::String();
  if (!genre.isEmpty()) {
    record.genre.Set(Utf8(genre));
  } else if (v1) {
    const std::string name = GenreName(static_cast<int>(v1->genreNumber()));
    if (!name.empty()) record.genre.Set(name);
  }
}

}  // namespace

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

bool ScanMp3Audio(ByteSource& source, std::uint64_t audioStart, std::uint64_t audioBytes, Mp3Facts& facts) {
  std::vector<unsigned char> block(kBlockBytes);
  std::uint64_t start = audioStart;
  for (int n = 0; n < kMaxBlocks; ++n) {
    const std::size_t len = source.ReadAt(start, block.data(), block.size());
    if (len <= 4) return false;
    const unsigned char* b = block.data();
    // A Xing header with its frame count inside the block.
    for (std::size_t p = 0; p + 12 <= len; ++p) {
      if (b[p] != 'X' || std::memcmp(b + p, "Xing", 4) != 0) continue;
      const std::uint32_t frames = BigEndian32(b + p + 8);
      if (frames == 0) continue;
      int sampleRate = 0;
      int samplesPerFrame = 0;
      XingFrameFormat(source, start + p, sampleRate, samplesPerFrame);
      const double bytesPerFrame = static_cast<double>(audioBytes) / frames;
      const double kbps = bytesPerFrame * 8.0 * sampleRate / samplesPerFrame / 1000.0;
      if (kbps >= 1000.0) continue;
      if (Accept(static_cast<int>(kbps), audioBytes, facts)) return true;
    }
    // The first frame header that passes the checks.
    for (std::size_t p = 0; p + 4 <= len; ++p) {
      if (b[p] != 0xFF || !IsFrameHeader(b + p)) continue;
      if (Accept(FrameBitrate(b + p), audioBytes, facts)) return true;
    }
    if (len < block.size()) return false;  // the end of the file
    start += len - kOverlap;
  }
  return false;
}

int Mp3Reader::Read(ByteSource& source, TrackRecord& record) const {
  ReadTags(source, record);
  const std::uint64_t size = source.Size();
  const std::uint64_t before = Id3v2TagBytes(source);
  const std::uint64_t tagBytes = before + Id3v1TagBytes(source);
  const std::uint64_t audioBytes = size > tagBytes ? size - tagBytes : 0;
  Mp3Facts facts;
  if (!ScanMp3Audio(source, before, audioBytes, facts)) return 0;
  record.bitrate = facts.bitrate;
  record.length = facts.length;
  return 1;
}

int ReadMp3Info(std::string_view path, TrackRecord& record) {
  return ReadFileWith(Mp3Reader(), path, record);
}

}  // namespace transfer
