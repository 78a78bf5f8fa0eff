// The scan of MP3 audio for its bitrate and length, on bytes built by hand.
#include "transfer/formats/mp3/mp3_reader.h"

#include <gtest/gtest.h>

#include <string>

using namespace device;

namespace transfer {
namespace {

// MPEG-1 Layer III frame headers, 44.1 kHz stereo: 128 and 64 kbit/s.
const std::string k128 = "\xFF\xFB\x90\x44";
const std::string k64 = "\xFF\xFB\x50\x44";

std::string Be32(std::uint32_t v) { return std::string{char(v >> 24), char(v >> 16), char(v >> 8), char(v)}; }

// `size` zero bytes with `what` put at `at`.
std::string Bytes(std::size_t size, std::initializer_list<std::pair<std::size_t, std::string>> what) {
  std::string b(size, '\0');
  for (const auto& [at, text] : what) b.replace(at, text.size(), text);
  return b;
}

// An ID3v2.3 tag of `size` bytes after its header, all padding but for `inside`.
std::string Id3v2(std::size_t size, const std::string& inside) {
  std::string h("ID3\x03\x00\x00", 6);
  h += {char((size >> 21) & 0x7F), char((size >> 14) & 0x7F), char((size >> 7) & 0x7F), char(size & 0x7F)};
  std::string body = inside;
  body.resize(size, '\0');
  return h + body;
}

TEST(Mp3Scan, BitrateAndLength) {
  const struct {
    const char* what;
    std::string file;
    int result, bitrate, length;
  } cases[] = {
      {"first frame header", Bytes(160000, {{100, k128}}), 1, 128, 10},
      // 418,000 bytes in 1,000 frames of 1,152 samples at 44.1 kHz: 128 kbit/s.
      {"Xing frame count", Bytes(418000, {{200, "Xing" + Be32(15) + Be32(1000)}}), 1, 128, 26},
      // The count lies across the end of the first block: it is read in the next one.
      {"Xing count across blocks", Bytes(418000, {{4990, "Xing" + Be32(15) + Be32(1000)}}), 1, 128, 26},
      {"frame header across blocks", Bytes(160000, {{4998, k128}}), 1, 128, 10},
      // 0xFF followed by bytes that pass every check but the sync bits is not a header.
      {"no sync bits", Bytes(80000, {{50, "\xFF\x1A\x90\x44"}, {300, k64}}), 1, 64, 10},
      {"a frame header inside the ID3v2 tag is skipped", Id3v2(3000, k128) + Bytes(80000, {{10, k64}}), 1, 64, 10},
      // The tag does not count in the length: 80,000 bytes of audio at 64 kbit/s.
      {"no frame header at all", Bytes(30000, {}), 0, 0, 0},
      {"a bitrate that makes the length a day or more", Bytes(6000, {{0, k128}}), 0, 0, 0},
      {"an ID3v2 tag larger than the file", Id3v2(100, "") .substr(0, 10) + Bytes(500, {{0, k128}}), 0, 0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    MemorySource source(c.file.data(), c.file.size());
    TrackRecord r;
    EXPECT_EQ(Mp3Reader().Read(source, r), c.result);
    EXPECT_EQ(r.bitrate, c.bitrate);
    EXPECT_EQ(r.length, c.length);
  }
}

}  // namespace
}  // namespace transfer
