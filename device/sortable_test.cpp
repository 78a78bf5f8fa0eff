#include "device/sortable.h"

#include <gtest/gtest.h>

#include <set>
#include <vector>

#include "device/memory_device.h"

namespace device {

namespace {

TrackRecord Record(const char* artist, const char* album, int number, const char* title) {
  TrackRecord r;
  r.artist.Set(artist);
  r.album.Set(album);
  r.trackNumber = number;
  r.title.Set(title);
  return r;
}

TEST(CompareTrackRecordsTest, Keys) {
  const TrackRecord a = Record("abba", "Gold", 2, "b");
  const TrackRecord b = Record("ABBA", "Gold", 1, "a");
  TrackRecord c = Record("abba", "Gold", 2, "b");
  c.bitrate = 320;
  struct Case {
    const TrackRecord* x;
    const TrackRecord* y;
    std::vector<int> keys;
    int expected;
  };
  const std::vector<Case> cases = {
      {&a, &b, {}, 1},                 // same album: the track number decides first
      {&b, &a, {}, -1},
      {&a, &b, {kSortTitle}, 1},       // "b" after "a"
      {&a, &b, {kSortArtist}, 1},      // artists equal without case; then album, number
      {&a, &a, {}, 0},
      {&a, &c, {}, -1},                // only the bitrate differs
      {&c, &a, {kSortBitrate}, 1},
      {&a, &c, {kSortYear}, -1},       // an equal key falls through to the others
  };
  for (const Case& k : cases) {
    EXPECT_EQ(CompareTrackRecords(*k.x, *k.y, k.keys), k.expected);
  }
}

TEST(CompareTrackRecordsTest, EmptyKeyListOrdersByNumberOnlyWithinOneAlbumSpelledExactly) {
  const TrackRecord a = Record("x", "gold", 1, "z");
  const TrackRecord b = Record("x", "Gold", 2, "a");
  // "gold" and "Gold" are not the same album for the number rule; the key order decides:
  // artist equal, album equal without case, then number.
  EXPECT_EQ(CompareTrackRecords(a, b, {}), -1);
  const TrackRecord c = Record("x", "Gold", 9, "a");
  const TrackRecord d = Record("x", "Gold", 1, "z");
  EXPECT_EQ(CompareTrackRecords(c, d, std::vector<int>{kSortTitle}), -1);
  EXPECT_EQ(CompareTrackRecords(c, d, {}), 1);
}

TEST(CompareTrackRecordsTest, CodecComparesByExtensionText) {
  TrackRecord flac = Record("a", "b", 1, "t");
  flac.codec = kCodecFlac;
  TrackRecord mp3 = flac;
  mp3.codec = kCodecMp3;
  EXPECT_EQ(CompareTrackRecords(flac, mp3, std::vector<int>{kSortCodec}), -1);  // "flac" < "mp3"
}

class SortByTrackInfoTest : public ::testing::Test {
 protected:
  std::vector<std::string> Titles(const SortableKernelIdArray& ids) {
    std::vector<std::string> t;
    for (const KernelId& id : ids) t.push_back(dev.GetTrackTitle(id));
    return t;
  }
  MemoryDevice dev;
};

TEST_F(SortByTrackInfoTest, DefaultOrderPutsAnAlbumInTrackOrder) {
  SortableKernelIdArray ids(&dev);
  ids.push_back(dev.AddTrack({.artist = "A", .album = "X", .title = "three", .number = 3}));
  ids.push_back(dev.AddTrack({.artist = "A", .album = "X", .title = "one", .number = 1}));
  ids.push_back(dev.AddTrack({.artist = "A", .album = "X", .title = "two", .number = 2}));
  ids.SortByTrackInfo(-1);
  EXPECT_EQ(Titles(ids), (std::vector<std::string>{"one", "two", "three"}));
  ids.SortByTrackInfo(kSortTitle);
  EXPECT_EQ(Titles(ids), (std::vector<std::string>{"one", "three", "two"}));
}

TEST_F(SortByTrackInfoTest, UnreadableRecordsAndEqualRecordsKeepTheirPlaces) {
  SortableKernelIdArray ids(&dev);
  for (const char* title : {"b", "B", "a"}) {
    ids.push_back(dev.AddTrack({.artist = "A", .album = "X", .title = title}));
  }
  ids.SortByTrackInfo(kSortTitle);
  EXPECT_EQ(Titles(ids), (std::vector<std::string>{"a", "b", "B"}));  // b and B: stable
  ids.insert(ids.begin(), KernelId(999999));  // no such track: compares equal
  ids.SortByTrackInfo(kSortTitle);
  EXPECT_EQ(ids.front().word[0], 999999u);
}

TEST(SortableKernelIdArrayTest, SortByIdAndShuffle) {
  SortableKernelIdArray ids;
  for (std::uint32_t w : {5u, 0xFFFFFFFFu, 1u, 3u}) ids.push_back(KernelId(w));
  ids.SortById(1);
  EXPECT_EQ(ids[0].word[0], 1u);
  EXPECT_EQ(ids[3].word[0], 0xFFFFFFFFu);  // compared unsigned
  ids.SortById(-1);
  EXPECT_EQ(ids[0].word[0], 0xFFFFFFFFu);

  SortableKernelIdArray empty;
  empty.Shuffle();
  EXPECT_TRUE(empty.empty());

  SortableKernelIdArray many;
  for (std::uint32_t i = 0; i < 100; ++i) many.push_back(KernelId(i));
  std::set<std::uint32_t> lastSeen;
  for (int round = 0; round < 100; ++round) {
    many.Shuffle();
    lastSeen.insert(many.back().word[0]);
  }
  std::set<std::uint32_t> all;
  for (const KernelId& id : many) all.insert(id.word[0]);
  EXPECT_EQ(all.size(), 100u);
  EXPECT_GT(lastSeen.size(), 30u);  // the last slot is reached too
}

TEST(CSortableStringArrayTest, NoCaseSortIsStable) {
  CSortableStringArray names;
  names.assign({"beta", "Alpha", "BETA", "alpha", "Beta"});
  names.Sort(CompareStringsNoCase);
  EXPECT_EQ(names, (std::vector<std::string>{"Alpha", "alpha", "beta", "BETA", "Beta"}));
  CSortableStringArray copy = names;
  copy.Shuffle();
  std::multiset<std::string> a(names.begin(), names.end()), b(copy.begin(), copy.end());
  EXPECT_EQ(a, b);
}

TEST(RandomIndexTest, StaysInsideTheRange) {
  for (std::size_t n : {1u, 2u, 3u, 17u}) {
    for (int i = 0; i < 1000; ++i) ASSERT_LT(RandomIndex(n), n);
  }
}

}  // namespace

}  // namespace device
