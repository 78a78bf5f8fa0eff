// Content ids against SHA-1 values computed outside this code (sha1sum of the joined,
// trimmed, lower-cased texts).
#include <gtest/gtest.h>

#include "device/memory_device.h"

namespace device {

namespace {

TEST(ContentIdTest, KnownDigests) {
  struct Case {
    const char* artist;
    const char* album;
    const char* title;
    const char* expected;
  };
  const Case cases[] = {
      {"The Band", "Gold", "Song", "1497899836C2D5091D0F4A484B16C496E76E9FF1"},
      {" The Band ", "GOLD", "\tsong\r\n", "1497899836C2D5091D0F4A484B16C496E76E9FF1"},
      {"Abba", "Gold", "Waterloo", "C5CB7D10E7F541D68275CE9421F52F01B1B2287D"},
      {"Abba", "Waterloo", "Gold", "F97CB97055A408A62D32038B9A0EBDFA03D97CED"},  // swapped
      {"", "", "", "DA39A3EE5E6B4B0D3255BFEF95601890AFD80709"},
      // Only ASCII letters fold: the two-byte letter is hashed as it stands.
      {"\xC3\xA9LaN", "GOLD", "", "3003B27A09CE1376161154C32ED9398E718816B6"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(KernelDevice::MakeContentId(c.artist, c.album, c.title), c.expected)
        << c.artist << "/" << c.album << "/" << c.title;
  }
  std::string out = "previous";
  KernelDevice::MakeContentId(out, "Abba", "Gold", "Waterloo");
  EXPECT_EQ(out, "C5CB7D10E7F541D68275CE9421F52F01B1B2287D");
}

TEST(ContentIdTest, FindTrackByContentId) {
  MemoryDevice dev;
  const KernelId first = dev.AddTrack({.artist = "Abba", .album = "Gold", .title = "Waterloo"});
  const KernelId second = dev.AddTrack({.artist = "abba ", .album = "gold", .title = "WATERLOO"});
  KernelId found(77);
  // Two tracks with one key: the one walked last is kept.
  EXPECT_EQ(dev.FindTrackByContentId("C5CB7D10E7F541D68275CE9421F52F01B1B2287D", found), 1);
  EXPECT_EQ(found, second);
  // Keys are upper case; a lower-case text finds nothing and yields the empty id.
  EXPECT_EQ(dev.FindTrackByContentId("c5cb7d10e7f541d68275ce9421f52f01b1b2287d", found), 0);
  EXPECT_TRUE(found.IsEmpty());

  // The map is kept until the track index is invalidated.
  dev.RecordOf(second).title.Set("Other");
  EXPECT_EQ(dev.FindTrackByContentId("C5CB7D10E7F541D68275CE9421F52F01B1B2287D", found), 1);
  EXPECT_EQ(found, second);
  dev.InvalidateTrackIndex();
  EXPECT_EQ(dev.FindTrackByContentId("C5CB7D10E7F541D68275CE9421F52F01B1B2287D", found), 1);
  EXPECT_EQ(found, first);
}

TEST(ContentIdTest, ReadErrorDuringTheBuildIsRaised) {
  MemoryDevice dev;
  dev.AddTrack({.artist = "A", .title = "T"});
  dev.FailWithError(DeviceOp::GetTrackAlbum, platform::E_FAIL, "Device", "unreadable", 1);
  KernelId found;
  EXPECT_THROW(dev.FindTrackByContentId("X", found), DeviceError);
}

}  // namespace

}  // namespace device
