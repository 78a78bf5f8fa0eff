#include "device/track_cache.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "device/kernel_device_client.h"
#include "device/memory_device.h"

namespace device {

namespace {

// The road to the player behind the cache, counting the requests for tracks.
class CountingDevice : public ForwardingDevice {
 public:
  explicit CountingDevice(KernelDevice& player) : ForwardingDevice(player) {}
  int requests = 0;
  int GetTrackInfo(const KernelId& t, TrackRecord& r) override {
    ++requests;
    return ForwardingDevice::GetTrackInfo(t, r);
  }
  int GetFirstAudioTrackInfo(KernelId& t, TrackRecord& r) override {
    ++requests;
    return ForwardingDevice::GetFirstAudioTrackInfo(t, r);
  }
  int GetNextAudioTrackInfo(KernelId& t, TrackRecord& r) override {
    ++requests;
    return ForwardingDevice::GetNextAudioTrackInfo(t, r);
  }
  std::string GetTrackTitle(const KernelId& t) override {
    ++requests;
    return ForwardingDevice::GetTrackTitle(t);
  }
};

class TrackCacheTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string longName(300, 'x');
    const std::string wide = std::string(120, 'a') + "\xE6\x9D\xB1\xE4\xBA\xAC" + std::string(200, 'b');
    tracks_ = {
        player_.AddTrack({.artist = "AC/DC", .album = "Live", .title = "One", .genre = "Rock", .number = 1, .year = 1990}),
        player_.AddTrack({.artist = "ac/dc", .album = "Live", .title = "Two", .genre = "rock", .number = 2}),
        player_.AddTrack({.album = "Live", .title = "No artist", .length = 61, .locked = true}),
        player_.AddTrack({.artist = longName, .album = wide, .title = wide, .comment = "c", .path = longName + ".mp3"}),
        player_.AddTrack({.artist = "Line\r\nBreak", .title = "<b>", .genre = "Rock", .codec = kCodecWav}),
    };
    device_.requests = 0;
  }

  MemoryDevice player_;
  CountingDevice device_{player_};
  std::vector<KernelId> tracks_;
};

std::vector<std::string> Names(KernelDevice& d, int (KernelDevice::*first)(FixedString256&),
                               int (KernelDevice::*next)(FixedString256&)) {
  std::vector<std::string> names;
  FixedString256 name;
  for (int r = (d.*first)(name); r > 0; r = (d.*next)(name)) names.push_back(name.Str());
  return names;
}

std::vector<KernelId> ByTags(KernelDevice& d, std::string_view artist, std::string_view album, std::string_view genre) {
  std::vector<KernelId> found;
  KernelId t;
  for (int r = d.GetFirstTrackByTags(t, artist, album, genre); r > 0; r = d.GetNextTrackByTags(t)) found.push_back(t);
  return found;
}

// Every read answers what the device answers, cut as a request's text result would be.
TEST_F(TrackCacheTest, ReadsAnswerWhatTheDeviceAnswers) {
  TrackCacheDevice cache(device_);
  cache.Revalidate(1);
  KernelId a, b;
  EXPECT_EQ(cache.GetFirstAudioTrack(a), device_.GetFirstAudioTrack(b));
  do {
    EXPECT_EQ(a, b);
  } while (cache.GetNextAudioTrack(a) == 1 && device_.GetNextAudioTrack(b) == 1);

  auto cut = [](const std::string& text) {
    FixedString256 field;
    field.Set(text);
    return field.Str();
  };
  for (const KernelId& t : tracks_) {
    EXPECT_EQ(cache.GetTrackFileName(t), cut(device_.GetTrackFileName(t)));
    EXPECT_EQ(cache.GetTrackArtist(t), cut(device_.GetTrackArtist(t)));
    EXPECT_EQ(cache.GetTrackAlbum(t), cut(device_.GetTrackAlbum(t)));
    EXPECT_EQ(cache.GetTrackTitle(t), cut(device_.GetTrackTitle(t)));
    EXPECT_EQ(cache.GetTrackGenre(t), device_.GetTrackGenre(t));
    EXPECT_EQ(cache.GetTrackComment(t), device_.GetTrackComment(t));
    EXPECT_EQ(cache.GetTrackSize(t), device_.GetTrackSize(t));
    EXPECT_EQ(cache.GetTrackNumber(t), device_.GetTrackNumber(t));
    EXPECT_EQ(cache.GetTrackCodec(t), device_.GetTrackCodec(t));
    EXPECT_EQ(cache.GetTrackLength(t), device_.GetTrackLength(t));
    EXPECT_EQ(cache.GetTrackBitrate(t), device_.GetTrackBitrate(t));
    EXPECT_EQ(cache.GetTrackYear(t), device_.GetTrackYear(t));
    EXPECT_EQ(cache.IsTrackLocked(t), device_.IsTrackLocked(t));
    TrackRecord got, want;
    got.composer.Set("kept");
    want.composer.Set("kept");
    cache.GetTrackInfo(t, got);
    player_.KernelDevice::GetTrackInfo(t, want);  // the fields the operation fills
    EXPECT_EQ(TrackRecord::Compare(got, want), 0);
    EXPECT_EQ(got.composer.Str(), "kept");
  }

  // The catalogue over the kept tracks is the device's own.
  EXPECT_EQ(Names(cache, &KernelDevice::GetFirstArtist, &KernelDevice::GetNextArtist),
            Names(device_, &KernelDevice::GetFirstArtist, &KernelDevice::GetNextArtist));
  EXPECT_EQ(Names(cache, &KernelDevice::GetFirstGenre, &KernelDevice::GetNextGenre),
            Names(device_, &KernelDevice::GetFirstGenre, &KernelDevice::GetNextGenre));
  FixedString256 x, y;
  EXPECT_EQ(cache.GetFirstAlbum(x, "AC/DC"), device_.GetFirstAlbum(y, "AC/DC"));
  EXPECT_EQ(x.Str(), y.Str());
  for (const auto& tags : std::vector<std::vector<std::string>>{
           {"AC/DC", "", ""}, {"", "Live", ""}, {"", "", "Rock"}, {"", "Live", "Rock"}, {"nobody", "", ""}}) {
    EXPECT_EQ(ByTags(cache, tags[0], tags[1], tags[2]), ByTags(device_, tags[0], tags[1], tags[2]))
        << tags[0] << "|" << tags[1] << "|" << tags[2];
  }
}

TEST_F(TrackCacheTest, KeepsWhatItReadWhileTheVersionStays) {
  TrackCacheDevice cache(device_);
  auto readAll = [&] {
    KernelId t;
    for (int r = cache.GetFirstAudioTrack(t); r > 0; r = cache.GetNextAudioTrack(t)) cache.GetTrackTitle(t);
    FixedString256 name;
    cache.GetFirstArtist(name);
  };

  cache.Revalidate(7);
  readAll();
  EXPECT_EQ(device_.requests, static_cast<int>(tracks_.size()) + 1);  // the walk, a record per step
  readAll();
  cache.Revalidate(7);
  readAll();
  EXPECT_EQ(device_.requests, static_cast<int>(tracks_.size()) + 1);

  // A new version, or none, reads afresh.
  device_.SetTrackTitle(tracks_[0], "Renamed");
  cache.Revalidate(8);
  EXPECT_EQ(cache.GetTrackTitle(tracks_[0]), "Renamed");
  device_.requests = 0;
  cache.Revalidate(std::nullopt);
  readAll();
  cache.Revalidate(std::nullopt);
  readAll();
  EXPECT_EQ(device_.requests, 2 * (static_cast<int>(tracks_.size()) + 1));

  // A single track is read on its own, without the walk.
  device_.requests = 0;
  cache.Revalidate(9);
  EXPECT_EQ(cache.GetTrackYear(tracks_[0]), 1990);
  EXPECT_EQ(cache.IsTrackLocked(tracks_[0]), 0);
  EXPECT_EQ(device_.requests, 1);

  // A change made through the cache drops what it kept.
  cache.SetTrackTitle(tracks_[1], "Changed");
  EXPECT_EQ(cache.GetTrackTitle(tracks_[1]), "Changed");
  FixedString256 name;
  cache.DeleteAudioTrack(tracks_[4]);
  EXPECT_EQ(Names(cache, &KernelDevice::GetFirstArtist, &KernelDevice::GetNextArtist),
            Names(device_, &KernelDevice::GetFirstArtist, &KernelDevice::GetNextArtist));
}

// What a device tells of its player without a request; a proxy tells nothing, a
// forwarding device what the one behind it tells.
TEST(CatalogueVersionTest, CountsInvalidationsAndDisconnects) {
  MemoryDevice device;
  ForwardingDevice front(device);
  const std::uint64_t start = device.CatalogueVersion().value();
  device.AddTrack({.title = "T"});
  const std::uint64_t added = device.CatalogueVersion().value();
  EXPECT_GT(added, start);
  EXPECT_EQ(front.CatalogueVersion(), added);
  KernelId t;
  device.GetFirstAudioTrack(t);
  device.GetTrackTitle(t);
  EXPECT_EQ(device.CatalogueVersion(), added);  // reads change nothing
  device.SetTrackTitle(t, "U");
  EXPECT_GT(device.CatalogueVersion().value(), added);
  const std::uint64_t renamed = device.CatalogueVersion().value();
  device.Disconnect();
  EXPECT_GT(device.CatalogueVersion().value(), renamed);

  EXPECT_EQ(front.PlaybackStoppedNow(), true);
  device.PlayTrack(t);
  EXPECT_EQ(front.PlaybackStoppedNow(), false);
  // A stop notice stops it, unless the next entry plays.
  device.NotifyStopped(1);
  EXPECT_EQ(device.PlaybackStoppedNow(), true);
  device.EnqueueTrack(t);
  device.EnqueueTrack(t);
  device.SetQueuePosition(0);
  device.PlayQueueCurrent();
  device.NotifyStopped(1);
  EXPECT_EQ(device.PlaybackStoppedNow(), false);

  KernelDeviceClient proxy;
  EXPECT_EQ(proxy.CatalogueVersion(), std::nullopt);
  EXPECT_EQ(proxy.PlaybackStoppedNow(), std::nullopt);
}

}  // namespace

}  // namespace device
