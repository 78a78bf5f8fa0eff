// MP3 on bytes built by hand: the scan of the audio for its facts, and the walk over the
// ID3v2 tag's structure.
#include "transfer/formats/mp3/mp3_reader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "testing/audio_fixtures.h"

using namespace device;

namespace transfer {
namespace {

using testing::Be32;
using testing::SynchSafe;

// A Layer III frame: its header (version bits 3 MPEG-1, 2 MPEG-2, 0 MPEG-2.5; bitrate and
// sample rate indexes; stereo) and zeros to its length.
std::string Frame(int version, int bitrateIndex, int rateIndex = 0) {
  static const int kV1[] = {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320};
  static const int kV2[] = {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160};
  static const int kRates[4][3] = {{11025, 12000, 8000}, {0, 0, 0}, {22050, 24000, 16000}, {44100, 48000, 32000}};
  const int kbps = version == 3 ? kV1[bitrateIndex] : kV2[bitrateIndex];
  const int rate = kRates[version][rateIndex];
  const int bytes = (version == 3 ? 144000 : 72000) * kbps / rate;
  std::string f(static_cast<std::size_t>(bytes), '\0');
  f[0] = '\xFF';
  f[1] = static_cast<char>(0xE0 | (version << 3) | (1 << 1) | 1);
  f[2] = static_cast<char>((bitrateIndex << 4) | (rateIndex << 2));
  f[3] = '\x04';
  return f;
}

std::string Repeat(const std::string& s, int n) {
  std::string out;
  for (int i = 0; i < n; ++i) out += s;
  return out;
}

// A first frame that carries a "Xing" (or "Info") header with a frame count.
std::string XingFrame(int bitrateIndex, std::uint32_t frames, const char* kind = "Xing") {
  std::string f = Frame(3, bitrateIndex);
  f.replace(4 + 32, 12, std::string(kind) + Be32(1) + Be32(frames));
  return f;
}

// An ID3v2.3 tag of `size` bytes after its header, all padding but for `inside`.
std::string Id3v2(std::size_t size, const std::string& inside) {
  std::string body = inside;
  body.resize(size, '\0');
  return testing::Id3Tag(3, 0, body);
}

TEST(Mp3Scan, FactsOfTheAudio) {
  // 128 and 64 kbit/s at 44.1 kHz: 417 and 208 bytes a frame, 38.28 frames a second.
  const std::string f128 = Frame(3, 9), f64 = Frame(3, 5), f256 = Frame(3, 13);
  const struct {
    const char* what;
    std::string file;
    int result, bitrate, length, sampleRate;
  } cases[] = {
      {"constant bitrate", Repeat(f128, 400), 1, 128, 10, 44100},
      // 1000 frames of 1152 samples (26.1 s); their bytes make the mean.
      {"Xing frame count", XingFrame(13, 1000) + Repeat(f256, 999), 1, 255, 26, 44100},
      {"Info: a constant bitrate", XingFrame(9, 400, "Info") + Repeat(f128, 399), 1, 128, 10, 44100},
      // No header and changing bitrates: every frame is walked (200 of 64, 200 of 256).
      {"variable bitrate without a header", Repeat(f64 + f256, 200), 1, 159, 10, 44100},
      // A quiet start of equal small frames does not make it a constant bitrate.
      {"variable bitrate after silence", Repeat(f64, 40) + Repeat(f256, 360), 1, 236, 10, 44100},
      {"48 kHz", Repeat(Frame(3, 9, 1), 400), 1, 128, 9, 48000},
      {"22.05 kHz MPEG-2", Repeat(Frame(2, 8), 400), 1, 64, 10, 22050},
      {"8 kHz MPEG-2.5", Repeat(Frame(0, 1, 2), 200), 1, 8, 14, 8000},
      // Something else before the audio is skipped.
      {"junk before the frames", std::string(300, 'j') + Repeat(f128, 400), 1, 128, 10, 44100},
      {"frame headers inside the ID3v2 tag are skipped", Id3v2(3000, f128 + f128) + Repeat(f64, 400), 1, 64, 10, 44100},
      // One plausible header in other data is no MP3 (a FLAC file named .mp3).
      {"a lone frame header", std::string(200, 'x') + f128.substr(0, 4) + std::string(160000, 'y'), 0, 0, 0, 0},
      {"no frame at all", std::string(30000, '\0'), 0, 0, 0, 0},
      // A sound shorter than a second is audio: its bitrate, no whole second.
      {"shorter than a second", Repeat(Frame(3, 1), 3), 1, 32, 0, 44100},
      {"an ID3v2 tag larger than the file", Id3v2(100000, "").substr(0, 10) + Repeat(f128, 5), 0, 0, 0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    MemorySource source(c.file.data(), c.file.size());
    TrackRecord r;
    r.sampleRate = 0;
    EXPECT_EQ(Mp3Reader().Read(source, r), c.result);
    EXPECT_EQ(r.bitrate, c.bitrate);
    EXPECT_EQ(r.length, c.length);
    EXPECT_EQ(r.sampleRate, c.sampleRate);
  }
}

// ---- The ID3v2 structure ----

std::string Frame3(const std::string& id, const std::string& body) { return testing::Id3Frame(3, id, body); }
std::string Frame4(const std::string& id, const std::string& body) { return testing::Id3Frame(4, id, body); }
std::string Tag(int version, int flags, const std::string& body) { return testing::Id3Tag(version, flags, body); }

TEST(Id3v2Structure, FramesBehindEveryHeaderForm) {
  const std::string title3 = Frame3("TIT2", std::string("\0Title", 6)),
                    artist3 = Frame3("TPE1", std::string("\0Artist", 7));
  const std::string title4 = Frame4("TIT2", std::string("\3Title", 6)),
                    artist4 = Frame4("TPE1", std::string("\3Artist", 7));
  const std::string audio(100, 'a');
  const struct {
    const char* what;
    std::string file;
    bool complete;
    std::vector<std::string> ids;
    std::uint64_t region;  // bytes before the audio
  } cases[] = {
      {"2.3", Tag(3, 0, title3 + artist3 + std::string(50, '\0')) + audio, true, {"TIT2", "TPE1"}, 10 + 83},
      // The extended header's size counts the bytes after it: 6, or 10 with a CRC.
      {"2.3 extended header",
       Tag(3, 0x40, Be32(6) + std::string(6, '\0') + title3 + artist3) + audio,
       true,
       {"TIT2", "TPE1"},
       10 + 10 + 33},
      {"2.3 extended header with CRC",
       Tag(3, 0x40, Be32(10) + std::string("\x80\0", 2) + Be32(0) + Be32(0x1234) + title3 + artist3) + audio,
       true,
       {"TIT2", "TPE1"},
       10 + 14 + 33},
      // 2.4 counts the whole extended header; a footer follows the frames.
      {"2.4 extended header and footer",
       Tag(4, 0x50, SynchSafe(6) + std::string("\x01\0", 2) + title4 + artist4) + "3DI" + std::string("\x04\0\x50", 3) +
           SynchSafe(6 + 33) + audio,
       true,
       {"TIT2", "TPE1"},
       10 + 39 + 10},
      // A whole 2.3 tag unsynchronised: 0xFF 0x00 stands for 0xFF.
      {"2.3 unsynchronised",
       Tag(3, 0x80, "TIT2" + Be32(3) + std::string("\0\0\0\xFF\0\xFE", 6)) + audio,
       true,
       {"TIT2"},
       10 + 14},
      // Some writers put plain sizes into 2.4 tags (200 is not synch-safe as 0xC8).
      {"2.4 plain sizes",
       Tag(4, 0, "TIT2" + Be32(200) + std::string(2, '\0') + std::string(1, '\3') + std::string(199, 'x') + artist4) +
           audio,
       true,
       {"TIT2", "TPE1"},
       10 + 210 + 17},
      {"2.2",
       Tag(2, 0, "TT2" + std::string("\0\0\x06", 3) + std::string("\0Title", 6)) + audio,
       true,
       {"TT2"},
       10 + 12},
      // Bytes that are neither a frame nor padding: read in part.
      {"garbage among the frames", Tag(3, 0, title3 + "ti t" + std::string(20, 'x')) + audio, false, {"TIT2"}, 10 + 40},
      {"a frame past the tag's end",
       Tag(3, 0, title3 + "TPE1" + Be32(500) + std::string(2, '\0') + "x") + audio,
       false,
       {"TIT2"},
       10 + 27},
      {"cut short", Tag(3, 0, title3 + artist3).substr(0, 30), false, {"TIT2"}, 10 + 33},
      {"an extended header larger than the tag", Tag(3, 0x40, Be32(100) + title3) + audio, false, {}, 10 + 20},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    MemorySource source(c.file.data(), c.file.size());
    Id3v2Tag tag;
    ASSERT_TRUE(ReadId3v2Tag(source, tag));
    EXPECT_EQ(tag.complete, c.complete);
    EXPECT_EQ(tag.regionBytes, c.region);
    std::vector<std::string> ids;
    for (const Id3v2Frame& f : tag.frames) ids.push_back(f.id);
    EXPECT_EQ(ids, c.ids);
    if (std::string(c.what) == "2.3 unsynchronised") {
      EXPECT_EQ(tag.frames[0].bytes, "TIT2" + Be32(3) + std::string("\0\0\0\xFF\xFE", 5));
    }
    // The plain form reads the same frames back, and a rendered tag has the size asked for.
    if (tag.complete) {
      const std::string plain = tag.Plain();
      MemorySource again(plain.data(), plain.size());
      Id3v2Tag back;
      ASSERT_TRUE(ReadId3v2Tag(again, back));
      EXPECT_TRUE(back.complete);
      ASSERT_EQ(back.frames.size(), tag.frames.size());
      for (std::size_t i = 0; i < tag.frames.size(); ++i) EXPECT_EQ(back.frames[i].bytes, tag.frames[i].bytes);
      EXPECT_EQ(tag.Render(tag.MinimumBytes() + 100).size(), tag.MinimumBytes() + 100);
    }
  }
  const std::string none = audio;
  MemorySource source(none.data(), none.size());
  Id3v2Tag tag;
  EXPECT_FALSE(ReadId3v2Tag(source, tag));
}

TEST(Id3v2Structure, FieldsOfTheTagsInAnyForm) {
  const std::string audio(100, 'a');
  const auto text3 = [](const std::string& id, const std::string& latin1) {
    return Frame3(id, std::string(1, '\0') + latin1);
  };
  const auto comment3 = [](const std::string& description, const std::string& text) {
    return Frame3("COMM", std::string(1, '\0') + "eng" + description + std::string(1, '\0') + text);
  };
  const std::string itunNorm =
      " 0000044E 00000061 00009B67 000044C3 00022478 00022182 00007FCC 00007E5D 0002245E 0002CE25";
  const struct {
    const char* what;
    std::string tag;
    std::string artist, genre, comment;
    int track, count;
  } cases[] = {
      {"values of 2.4 frames are joined",
       Tag(4, 0,
           Frame4("TPE1", std::string("\3First Artist\0Second Artist", 27)) + Frame4("TCON", std::string("\3"
                                                                                                         "17\0"
                                                                                                         "18",
                                                                                                         6))),
       "First Artist / Second Artist", "Rock / Techno", "", 0, 0},
      {"2.3 genre numbers in brackets", Tag(3, 0, text3("TCON", "(17)(18)")), "", "Rock / Techno", "", 0, 0},
      {"a number and its name", Tag(3, 0, text3("TCON", "(17)Rock")), "", "Rock", "", 0, 0},
      {"remix and cover", Tag(3, 0, text3("TCON", "(RX)(CR)")), "", "Remix / Cover", "", 0, 0},
      {"a name", Tag(3, 0, text3("TCON", "Shoegaze")), "", "Shoegaze", "", 0, 0},
      {"track and count", Tag(3, 0, text3("TRCK", "3/12")), "", "", "", 3, 12},
      {"a private note is no comment", Tag(3, 0, comment3("iTunNORM", itunNorm)), "", "", "", 0, 0},
      {"nor are bare hex numbers", Tag(3, 0, comment3("", itunNorm)), "", "", "", 0, 0},
      {"the plain comment beside a note", Tag(3, 0, comment3("iTunNORM", itunNorm) + comment3("", "Real")), "", "",
       "Real", 0, 0},
      {"a described comment when there is no other", Tag(3, 0, comment3("Notes", "Described")), "", "", "Described", 0,
       0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string file = c.tag + audio;
    MemorySource source(file.data(), file.size());
    Id3v2Tag tag;
    ASSERT_TRUE(ReadId3v2Tag(source, tag));
    TrackRecord r;
    ReadId3v2Fields(tag, r);
    EXPECT_EQ(r.artist.Str(), c.artist);
    EXPECT_EQ(r.genre.Str(), c.genre);
    EXPECT_EQ(r.comment.Str(), c.comment);
    EXPECT_EQ(r.trackNumber, c.track);
    EXPECT_EQ(r.trackCount, c.count);
  }
}

}  // namespace
}  // namespace transfer
