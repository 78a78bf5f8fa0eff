// The MP4 walk over atoms built by hand: the facts, every item kind, and damaged sizes
// and numbers that must end the walk cleanly.
#include "transfer/formats/mp4/mp4_reader.h"

#include <gtest/gtest.h>

#include <functional>

#include "device/codec.h"
#include "testing/audio_fixtures.h"

using namespace device;

namespace transfer {
namespace {

using testing::Atom;
using testing::Be16;
using testing::Be32;
using testing::Item;
using testing::Moov;

const std::string kFtyp = Atom("ftyp", "M4A " + Be32(0) + "M4A mp42");

std::string Mdat(std::size_t bytes) { return Atom("mdat", std::string(bytes, '\x11')); }

// A number item: two bytes of padding, then 16-bit values.
std::string Numbers(std::uint16_t a, std::uint16_t b) { return Be16(0) + Be16(a) + Be16(b) + Be16(0); }

const std::string kAllItems = Item("\xA9nam", "Name") + Item("\xA9" "ART", "Artist") + Item("\xA9" "alb", "Album") +
                              Item("\xA9wrt", "Writer") + Item("\xA9grp", "Group") + Item("\xA9" "cmt", "Remark") +
                              Item("\xA9" "day", "1999-02-03") + Item("gnre", Be16(18), 0) +
                              Item("trkn", Numbers(4, 12), 0) + Item("disk", Numbers(2, 3), 0) +
                              Item("tmpo", Be16(128), 21) + Item("cpil", std::string(1, '\1'), 21) +
                              Item("covr", std::string(300, '\xFF'), 13);

struct Case {
  const char* what;
  int codec;
  std::string file;
  int result;
  std::function<void(const TrackRecord&)> check;
};

TEST(Mp4Reader, WalksItemsAndSurvivesDamagedAtoms) {
  const std::vector<Case> cases = {
      {"every item kind, moov before the media", kCodecM4a,
       kFtyp + Moov(1000, 200500, kAllItems) + Mdat(400000), 1,
       [](const TrackRecord& r) {
         EXPECT_EQ(r.length, 200);
         EXPECT_EQ(r.title.Str(), "Name");
         EXPECT_EQ(r.artist.Str(), "Artist");
         EXPECT_EQ(r.album.Str(), "Album");
         EXPECT_EQ(r.composer.Str(), "Writer");
         EXPECT_EQ(r.grouping.Str(), "Group");
         EXPECT_EQ(r.comment.Str(), "Remark");
         EXPECT_EQ(r.year, 1999);
         EXPECT_EQ(r.genre.Str(), "Rock");  // number 18 is list entry 17
         EXPECT_EQ(r.trackNumber, 4);
         EXPECT_EQ(r.trackCount, 12);
         EXPECT_EQ(r.discNumber, 2);
         EXPECT_EQ(r.discCount, 3);
         EXPECT_EQ(r.tempo, 128);
         EXPECT_EQ(r.compilation, 1);
       }},
      {"moov after the media in a file shorter than 500,000 bytes", kCodecM4a,
       kFtyp + Mdat(20000) + Moov(44100, 44100 * 3, Item("\xA9nam", "Late")), 1,
       [](const TrackRecord& r) {
         EXPECT_EQ(r.length, 3);
         EXPECT_EQ(r.title.Str(), "Late");
       }},
      {"zero time scale", kCodecM4a, kFtyp + Moov(0, 1000, Item("\xA9nam", "T")), 1,
       [](const TrackRecord& r) {
         EXPECT_EQ(r.length, 0);
         EXPECT_EQ(r.bitrate, 0);
         EXPECT_EQ(r.title.Str(), "T");
       }},
      {"zero duration", kCodecM4a, kFtyp + Moov(1000, 0, Item("\xA9nam", "T")), 1,
       [](const TrackRecord& r) {
         EXPECT_EQ(r.length, 0);
         EXPECT_EQ(r.bitrate, 0);
       }},
      {"numbers too short for their values", kCodecM4a,
       kFtyp + Moov(1000, 5000, Item("trkn", Be16(0) + Be16(7)) + Item("gnre", "\x01") + Item("tmpo", "") +
                                    Item("cpil", "") + Item("disk", Be16(0) + Be16(1) + "\x02")),
       1,
       [](const TrackRecord& r) {
         EXPECT_EQ(r.trackNumber, 0);
         EXPECT_EQ(r.genre.Str(), "");
         EXPECT_EQ(r.tempo, 0);
         EXPECT_EQ(r.compilation, 0);
         EXPECT_EQ(r.discNumber, 0);
       }},
      {"genre numbers outside the list", kCodecM4a,
       kFtyp + Moov(1000, 5000, Item("\xA9nam", "G") + Item("gnre", Be16(0), 0) + Item("gnre", Be16(149), 0)), 1,
       [](const TrackRecord& r) { EXPECT_EQ(r.genre.Str(), ""); }},
      {"an item smaller than its header", kCodecM4a,
       kFtyp + Moov(1000, 5000, Item("\xA9nam", "First") + Be32(4) + "\xA9" "ART" + Item("\xA9" "alb", "Never")),
       0,
       [](const TrackRecord& r) {
         EXPECT_EQ(r.title.Str(), "First");
         EXPECT_EQ(r.album.Str(), "");
       }},
      {"an item running past its parent", kCodecM4a,
       kFtyp + Moov(1000, 5000, Item("\xA9nam", "First") + Be32(100000) + "\xA9" "ART" + "data") + Mdat(200000), 0,
       [](const TrackRecord& r) { EXPECT_EQ(r.title.Str(), "First"); }},
      {"a zero-sized child of udta before meta", kCodecM4a,
       kFtyp + Atom("moov", testing::Mvhd(1000, 5000) + Atom("udta", Be32(0) + "xxxx" + Atom("meta", Be32(0)))),
       0, [](const TrackRecord&) {}},
      {"udta larger than the file", kCodecM4a,
       kFtyp + Atom("moov", testing::Mvhd(1000, 5000) + Be32(1 << 30) + "udta"), 0, [](const TrackRecord&) {}},
      {"no user data", kCodecM4a, kFtyp + Atom("moov", testing::Mvhd(1000, 5000)), 0,
       [](const TrackRecord& r) { EXPECT_EQ(r.length, 5); }},
      {"no movie header", kCodecM4a, kFtyp + Mdat(1000), 0, [](const TrackRecord&) {}},
      {"an audiobook whose list is followed by free space", kCodecM4b,
       kFtyp + Moov(1000, 60000, Item("\xA9nam", "Book"), Atom("free", std::string(16, '\0'))), 1,
       [](const TrackRecord& r) {
         EXPECT_EQ(r.title.Str(), "Book");
         EXPECT_EQ(r.genre.Str(), "Audiobook");
       }},
      {"the same list in an m4a keeps its genre", kCodecM4a,
       kFtyp + Moov(1000, 60000, Item("\xA9nam", "Book"), Atom("free", std::string(16, '\0'))), 1,
       [](const TrackRecord& r) { EXPECT_EQ(r.genre.Str(), ""); }},
      {"a protected file's low estimate becomes 128", kCodecM4p,
       kFtyp + Moov(1000, 100000, Item("\xA9nam", "P")) + Mdat(1000000), 1,
       [](const TrackRecord& r) {
         EXPECT_EQ(r.length, 100);
         EXPECT_EQ(r.bitrate, 128);  // about 79 kbit/s estimated
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    MemorySource source(c.file.data(), c.file.size());
    TrackRecord r;
    r.sampleRate = 44100;
    EXPECT_EQ(Mp4Reader(c.codec).Read(source, r), c.result);
    c.check(r);
  }
}

TEST(Mp4Reader, MovieHeaderVersionOneHas64BitTimes) {
  const std::string mvhd = Atom("mvhd", Be32(0x01000000) + Be32(0) + Be32(0) + Be32(0) + Be32(0) + Be32(600) +
                                            Be32(1) + Be32(0) + std::string(80, '\0'));
  // 2^32 + 0 units at 600 per second.
  const std::string file = kFtyp + Atom("moov", mvhd);
  MemorySource source(file.data(), file.size());
  TrackRecord r;
  Mp4Reader(kCodecM4a).Read(source, r);
  EXPECT_EQ(r.length, static_cast<int>((std::uint64_t(1) << 32) / 600));
}

TEST(Mp4Reader, FindsNamesAcrossBlockBoundaries) {
  for (const std::size_t at : {0, 4995, 4996, 4997, 5000, 9992}) {
    SCOPED_TRACE(at);
    std::string bytes(20000, '\0');
    bytes.replace(at, 4, "udta");
    MemorySource source(bytes.data(), bytes.size());
    EXPECT_EQ(FindAtomName(source, 0, 10, "udta"), std::optional<std::uint64_t>(at));
  }
  // One block is 5,000 bytes: a name must lie wholly inside it.
  std::string bytes(20000, '\0');
  bytes.replace(4997, 4, "udta");
  MemorySource source(bytes.data(), bytes.size());
  EXPECT_EQ(FindAtomName(source, 0, 1, "udta"), std::nullopt);
  EXPECT_EQ(FindAtomName(source, 0, 2, "udta"), std::optional<std::uint64_t>(4997));
  EXPECT_EQ(FindAtomName(source, 5000, 2, "udta"), std::nullopt);
}

}  // namespace
}  // namespace transfer
