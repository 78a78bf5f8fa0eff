// The RIFF chunk walk and the 44-byte header.
#include "transfer/formats/wav/wav_reader.h"

#include <gtest/gtest.h>

#include <string>

using namespace device;

namespace transfer {
namespace {

std::string Le32(std::uint32_t v) { return std::string{char(v), char(v >> 8), char(v >> 16), char(v >> 24)}; }
std::string Le16(std::uint16_t v) { return std::string{char(v), char(v >> 8)}; }
std::string Chunk(const std::string& id, const std::string& body) {
  return id + Le32(static_cast<std::uint32_t>(body.size())) + body + (body.size() % 2 ? std::string(1, '\0') : "");
}
// A 16-bit stereo 44.1 kHz "fmt " body, with `extra` bytes after the 16.
std::string Fmt(std::size_t extra = 0) {
  return Le16(1) + Le16(2) + Le32(44100) + Le32(176400) + Le16(4) + Le16(16) + std::string(extra, '\0');
}
std::string Riff(const std::string& chunks) { return "RIFF" + Le32(4 + chunks.size()) + "WAVE" + chunks; }

TEST(WavChunks, WalkFindsFormatAndData) {
  const struct {
    const char* what;
    std::string file;
    bool reachesData;
    std::uint32_t dataOffset;
    std::uint32_t avgBytes;  // 0: no format found
  } cases[] = {
      {"plain", Riff(Chunk("fmt ", Fmt()) + Chunk("data", "abcd")), true, 44, 176400},
      {"format with extra bytes", Riff(Chunk("fmt ", Fmt(2)) + Chunk("data", "ab")), true, 46, 176400},
      // An odd-sized chunk is followed by a pad byte, which is not part of the next chunk.
      {"odd chunk before the data", Riff(Chunk("fmt ", Fmt()) + Chunk("LIST", "abc") + Chunk("data", "ab")), true,
       56, 176400},
      {"a format chunk of 14 bytes is refused", Riff(Chunk("fmt ", Fmt().substr(0, 14)) + Chunk("data", "ab")),
       true, 42, 0},
      {"no data chunk", Riff(Chunk("fmt ", Fmt())), false, 36, 176400},
      {"a chunk larger than the file", Riff(Chunk("fmt ", Fmt()) + "junk" + Le32(0xFFFFFFF0)), false, 44, 176400},
      {"shorter than the RIFF header", "RIFF", false, 4, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    MemorySource source(c.file.data(), c.file.size());
    platform::WAVEFORMATEX format;
    std::uint32_t dataOffset = 0;
    EXPECT_EQ(ReadWavChunks(source, format, dataOffset), c.reachesData);
    EXPECT_EQ(dataOffset, c.dataOffset);
    EXPECT_EQ(format.nAvgBytesPerSec, c.avgBytes);
    if (c.avgBytes) {
      EXPECT_EQ(format.nChannels, 2);
      EXPECT_EQ(format.nSamplesPerSec, 44100u);
      EXPECT_EQ(format.nBlockAlign, 4);
      EXPECT_EQ(format.wBitsPerSample, 16);
      EXPECT_EQ(format.cbSize, 0);
    }
  }
}

TEST(WavChunks, ReaderWithoutFormatGivesZeros) {
  const std::string file = Riff(Chunk("data", "abcd"));
  MemorySource source(file.data(), file.size());
  TrackRecord r;
  EXPECT_EQ(WavReader().Read(source, r), 1);
  EXPECT_EQ(r.bitrate, 0);
  EXPECT_EQ(r.length, 0);
}

TEST(WavHeader, HeaderBytes) {
  platform::WAVEFORMATEX f;
  f.wFormatTag = 1;
  f.nChannels = 2;
  f.nSamplesPerSec = 44100;
  f.nAvgBytesPerSec = 176400;
  f.nBlockAlign = 4;
  f.wBitsPerSample = 16;
  f.cbSize = 22;  // not written
  unsigned char h[kWavHeaderSize];
  WriteWavHeader(h, f, 176400);
  const std::string expected = "RIFF" + Le32(176436) + "WAVE" + "fmt " + Le32(16) + Le16(1) + Le16(2) + Le32(44100) +
                               Le32(176400) + Le16(4) + Le16(16) + "data" + Le32(176400);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(h), sizeof h), expected);
  // The RIFF size cannot wrap past 32 bits.
  WriteWavHeader(h, f, 0xFFFFFFF0u);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(h) + 4, 4), Le32(0xFFFFFFFFu));
  WriteWavHeader(nullptr, f, 1);  // nothing to fill, nothing done
}

}  // namespace
}  // namespace transfer
