// The base class's catalogue, playlists, queue and default answers, run against the
// in-memory device.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <future>
#include <set>
#include <string>
#include <vector>

#include "device/device_error.h"
#include "device/memory_device.h"

namespace device {

namespace {

std::vector<std::string> Walk(KernelDevice& d, int (KernelDevice::*first)(FixedString256&),
                              int (KernelDevice::*next)(FixedString256&)) {
  std::vector<std::string> names;
  FixedString256 name;
  for (int r = (d.*first)(name); r > 0; r = (d.*next)(name)) names.push_back(name.Str());
  return names;
}

std::vector<std::string> Albums(KernelDevice& d, std::string_view artist) {
  std::vector<std::string> names;
  FixedString256 name;
  for (int r = d.GetFirstAlbum(name, artist); r > 0; r = d.GetNextAlbum(name)) {
    names.push_back(name.Str());
  }
  return names;
}

std::vector<std::uint32_t> TagSearch(KernelDevice& d, std::string_view artist,
                                     std::string_view album, std::string_view genre,
                                     int* count = nullptr) {
  std::vector<std::uint32_t> ids;
  KernelId id;
  const int n = d.GetFirstTrackByTags(id, artist, album, genre);
  if (count) *count = n;
  for (int r = n; r > 0; r = d.GetNextTrackByTags(id)) ids.push_back(id.word[0]);
  return ids;
}

class CatalogueTest : public ::testing::Test {
 protected:
  void SetUp() override {
    abba1 = dev.AddTrack({.artist = "Abba", .album = "Gold", .title = "Waterloo", .genre = "Pop"});
    abba2 = dev.AddTrack({.artist = "Abba", .album = "Gold", .title = "SOS", .genre = "Pop"});
    abba3 = dev.AddTrack({.artist = "Abba", .album = "", .title = "Single", .genre = "Pop"});
    upper = dev.AddTrack({.artist = "ABBA", .album = "Live", .title = "Live One", .genre = "Rock"});
    noArtist = dev.AddTrack({.artist = "", .album = "Gold", .title = "Anon", .genre = ""});
    zed = dev.AddTrack({.artist = "zed", .album = "alpha", .title = "Z", .genre = "Jazz"});
  }
  MemoryDevice dev;
  KernelId abba1, abba2, abba3, upper, noArtist, zed;
};

TEST_F(CatalogueTest, NameListsAreDistinctNonEmptyAndSortedWithoutRegardToCase) {
  EXPECT_EQ(Walk(dev, &KernelDevice::GetFirstArtist, &KernelDevice::GetNextArtist),
            (std::vector<std::string>{"ABBA", "Abba", "zed"}));
  EXPECT_EQ(Walk(dev, &KernelDevice::GetFirstGenre, &KernelDevice::GetNextGenre),
            (std::vector<std::string>{"Jazz", "Pop", "Rock"}));
  EXPECT_EQ(Albums(dev, ""), (std::vector<std::string>{"alpha", "Gold", "Live"}));
  FixedString256 name;
  EXPECT_EQ(dev.GetFirstArtist(name), 3);
}

TEST_F(CatalogueTest, CaseVariantsKeepOneOrderWhateverTheWalkOrder) {
  MemoryDevice other;  // the same names added the other way round
  other.AddTrack({.artist = "abba", .title = "1"});
  other.AddTrack({.artist = "ABBA", .title = "2"});
  other.AddTrack({.artist = "Abba", .title = "3"});
  MemoryDevice reversed;
  reversed.AddTrack({.artist = "Abba", .title = "3"});
  reversed.AddTrack({.artist = "ABBA", .title = "2"});
  reversed.AddTrack({.artist = "abba", .title = "1"});
  const auto a = Walk(other, &KernelDevice::GetFirstArtist, &KernelDevice::GetNextArtist);
  EXPECT_EQ(a, (std::vector<std::string>{"ABBA", "Abba", "abba"}));
  EXPECT_EQ(a, Walk(reversed, &KernelDevice::GetFirstArtist, &KernelDevice::GetNextArtist));
}

TEST_F(CatalogueTest, AlbumsOfOneArtistIncludeTheEmptyAlbum) {
  EXPECT_EQ(Albums(dev, "Abba"), (std::vector<std::string>{"", "Gold"}));
  EXPECT_EQ(Albums(dev, "ABBA"), (std::vector<std::string>{"Live"}));
  // An unknown artist answers 0 and leaves the list being walked as it was.
  FixedString256 name;
  EXPECT_EQ(dev.GetFirstAlbum(name, "Abba"), 2);
  EXPECT_EQ(dev.GetFirstAlbum(name, "Nobody"), 0);
  EXPECT_EQ(dev.GetNextAlbum(name), 1);  // the cursor was reset, the list kept
  EXPECT_EQ(name.GetText(), "");
}

TEST_F(CatalogueTest, TagSearchMatchesEveryGivenTextExactly) {
  struct Case {
    const char* artist;
    const char* album;
    const char* genre;
    std::set<std::uint32_t> expected;
  };
  const std::vector<Case> cases = {
      {"Abba", "", "", {abba1.word[0], abba2.word[0], abba3.word[0]}},
      {"Abba", "Gold", "", {abba1.word[0], abba2.word[0]}},
      {"", "Gold", "", {abba1.word[0], abba2.word[0], noArtist.word[0]}},
      {"abba", "", "", {}},  // case-sensitive
      {"Abba", "Live", "", {}},
      {"", "", "Rock", {upper.word[0]}},
      {"Nobody", "", "", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.artist) + "/" + c.album + "/" + c.genre);
    int count = -1;
    const auto found = TagSearch(dev, c.artist, c.album, c.genre, &count);
    EXPECT_EQ(std::set<std::uint32_t>(found.begin(), found.end()), c.expected);
    EXPECT_EQ(count, static_cast<int>(c.expected.size()));
  }
}

TEST_F(CatalogueTest, TagSearchWalksBucketsAscendingAndNewestFirstWithinOne) {
  MemoryDevice d;
  std::vector<KernelId> ids;
  for (int i = 0; i < 40; ++i) ids.push_back(d.AddTrack({.artist = "A", .title = std::to_string(i)}));
  std::vector<std::uint32_t> expected;
  for (std::uint32_t bucket = 0; bucket < 17; ++bucket) {
    for (auto it = ids.rbegin(); it != ids.rend(); ++it) {
      if (it->word[0] % 17 == bucket) expected.push_back(it->word[0]);
    }
  }
  EXPECT_EQ(TagSearch(d, "A", "", ""), expected);
}

TEST_F(CatalogueTest, TagSearchWithNoTextKeepsThePreviousResults) {
  KernelId id;
  ASSERT_EQ(dev.GetFirstTrackByTags(id, "Abba", "Gold", ""), 2);
  EXPECT_EQ(dev.GetFirstTrackByTags(id, "", "", ""), 0);
  EXPECT_EQ(dev.GetNextTrackByTags(id), 1);
  EXPECT_EQ(dev.GetNextTrackByTags(id), 0);
}

TEST_F(CatalogueTest, IndexIsRebuiltAfterInvalidationOnly) {
  EXPECT_EQ(TagSearch(dev, "zed", "", "").size(), 1u);
  dev.RecordOf(zed).artist.Set("Zed");  // not yet seen: the index is not dirty
  EXPECT_EQ(TagSearch(dev, "Zed", "", "").size(), 0u);
  dev.InvalidateTrackIndex();
  EXPECT_EQ(TagSearch(dev, "Zed", "", "").size(), 1u);
  // A change through the device's own operation invalidates by itself.
  dev.SetTrackArtist(zed, "Zedd");
  EXPECT_EQ(TagSearch(dev, "Zedd", "", "").size(), 1u);
}

TEST_F(CatalogueTest, DisconnectDropsTheIndexButNotTheDirtyFlag) {
  FixedString256 name;
  ASSERT_EQ(dev.GetFirstArtist(name), 3);
  dev.KernelDevice::Disconnect();
  EXPECT_EQ(dev.GetFirstArtist(name), 0);  // cleared, and not rebuilt: not dirty
  dev.InvalidateTrackIndex();
  EXPECT_EQ(dev.GetFirstArtist(name), 3);
}

TEST_F(CatalogueTest, TrackInfoAndDefaultFileName) {
  const KernelId t = dev.AddTrack({.artist = "A", .album = "B", .title = "C", .genre = "G",
                                   .comment = "note", .path = "f.mp3", .content = "xyz",
                                   .number = 7, .year = 1999, .length = 61, .bitrate = 192,
                                   .codec = kCodecMp3, .locked = true});
  EXPECT_EQ(dev.GetDefaultFileName(t), "A - B - 07 - C.mp3");
  dev.SetTrackInfo(t, [&] {
    TrackRecord r = dev.RecordOf(t);
    r.codec = 99;
    return r;
  }());
  EXPECT_EQ(dev.GetDefaultFileName(t), "A - B - 07 - C.");

  TrackRecord r;
  r.composer.Set("kept");
  dev.KernelDevice::GetTrackInfo(t, r);
  EXPECT_EQ(r.path.GetText(), "f.mp3");
  EXPECT_EQ(r.fileSize, 3);
  EXPECT_EQ(r.title.GetText(), "C");
  EXPECT_EQ(r.trackNumber, 7);
  EXPECT_EQ(r.year, 1999);
  EXPECT_EQ(r.length, 61);
  EXPECT_EQ(r.bitrate, 192);
  EXPECT_EQ(r.comment.GetText(), "note");
  EXPECT_EQ(r.playOnly, 1);
  EXPECT_EQ(r.composer.GetText(), "kept");  // not one of the fields it fills
}

TEST(KernelDeviceTest, AudioTrackInfoOfAnEmptyDeviceAnswersZero) {
  MemoryDevice d;
  KernelId t;
  TrackRecord r;
  EXPECT_EQ(d.GetFirstAudioTrackInfo(t, r), 0);
  const KernelId only = d.AddTrack({.artist = "A", .title = "T"});
  EXPECT_EQ(d.GetFirstAudioTrackInfo(t, r), 1);
  EXPECT_EQ(t, only);
  EXPECT_EQ(r.title.GetText(), "T");
  EXPECT_EQ(d.GetNextAudioTrackInfo(t, r), 0);
}

TEST(KernelDeviceTest, FixedDefaultAnswers) {
  MemoryDevice d;
  FixedString256 a, b;
  EXPECT_EQ(d.VerifyDeviceModel(KernelId(5), a, b), 1);
  EXPECT_EQ(d.CommitChanges(), 0);
  EXPECT_EQ(d.IsAutoConnect(), 0);
  EXPECT_EQ(d.SupportsEject(), 0);
  EXPECT_EQ(d.UsesTrackDatabase(), 0);
  EXPECT_EQ(d.RunSetupWizard(1), 0);
  EXPECT_EQ(d.GetRulePlaylistFolder(), "");
  TrackRecord record;
  EXPECT_EQ(d.GetFileTrackInfo("x.mp3", record), 0);
  EXPECT_EQ(d.CheckDriverDevice(), 0);  // no owner driver
  EXPECT_EQ(d.IsConnectedModel("anything"), 1);
  d.Disconnect();
  EXPECT_EQ(d.IsConnectedModel("anything"), 0);
}

TEST(KernelDeviceTest, OwnerDriverIsAskedAboutTheDeviceId) {
  struct Owner : DeviceOwner {
    KernelId asked;
    int CheckDevice(const KernelId& device) override {
      asked = device;
      return 7;
    }
  } owner;
  class Owned : public MemoryDeviceBase {
   public:
    explicit Owned(DeviceOwner* o) { owner_ = o; }
  } owned(&owner);
  EXPECT_EQ(owned.CheckDriverDevice(), 7);
  EXPECT_EQ(owner.asked, KernelId(5));
}

TEST(KernelDeviceTest, BusyFlagAndPendingIds) {
  MemoryDevice d;
  EXPECT_EQ(d.TryLockDevice(0), 1);
  EXPECT_EQ(d.TryLockDevice(0), 0);
  EXPECT_EQ(d.UnlockDevice(), 0);
  EXPECT_EQ(d.TryLockDevice(0), 1);

  EXPECT_EQ(d.AddPendingId(KernelId(1)), 1);
  EXPECT_EQ(d.AddPendingId(KernelId(1)), 2);
  EXPECT_EQ(d.ClearPendingIds(), 0);
  EXPECT_TRUE(d.GetPendingIds().empty());
}

TEST(KernelDeviceTest, DeviceLockAdmitsATimedWaiter) {
  MemoryDevice d;
  std::unique_lock<std::recursive_timed_mutex> held(d.GetLock());
  auto waiter = std::async(std::launch::async, [&] {
    return d.GetLock().try_lock_for(std::chrono::milliseconds(50));
  });
  EXPECT_FALSE(waiter.get());
  held.unlock();
  auto second = std::async(std::launch::async, [&] {
    const bool got = d.GetLock().try_lock_for(std::chrono::milliseconds(5000));
    if (got) d.GetLock().unlock();
    return got;
  });
  EXPECT_TRUE(second.get());
}

TEST(KernelDeviceTest, StorageSumsSelectTheMediumFirst) {
  MemoryDevice d;
  const KernelId card = d.AddStorage("Card", 1000, 400);
  d.AddTrack({.title = "t", .content = std::string(2048, 'x')});
  d.AddDataFile(KernelId(), "f", std::string(1024, 'y'));
  EXPECT_EQ(d.GetStorageTotalKB(card), 1000);
  EXPECT_EQ(d.GetStorageFreeKB(card), 400);
  EXPECT_EQ(d.GetStorageUsedKB(card), 3);
  EXPECT_EQ(d.StorageHasItems(card), 2);  // one data item + one track
  MemoryDevice empty;
  const KernelId blank = empty.AddStorage("Blank", 10, 10);
  EXPECT_EQ(empty.StorageHasItems(blank), 0);
}

// ---- Playlists ----

class PlaylistTest : public ::testing::Test {
 protected:
  void SetUp() override {
    a = dev.AddTrack({.artist = "A", .title = "a"});
    b = dev.AddTrack({.artist = "B", .title = "b"});
    c = dev.AddTrack({.artist = "C", .title = "c"});
    rock = dev.AddPlaylist("rock", {a, b, a});
    jazz = dev.AddPlaylist("Jazz", {a});
    blues = dev.AddPlaylist("Blues", {});
  }
  std::vector<std::string> ListNames() {
    std::vector<std::string> names;
    KernelId p;
    for (int r = dev.GetFirstPlaylist(p); r > 0; r = dev.GetNextPlaylist(p)) {
      names.push_back(dev.GetPlaylistName(p));
    }
    return names;
  }
  MemoryDevice dev;
  KernelId a, b, c, rock, jazz, blues;
};

TEST_F(PlaylistTest, ListIsSortedByNameInByteOrderAndCachedUntilInvalidated) {
  EXPECT_EQ(ListNames(), (std::vector<std::string>{"Blues", "Jazz", "rock"}));
  dev.RenamePlaylist(rock, "Alpha");  // the device invalidates the cache on every change
  EXPECT_EQ(ListNames(), (std::vector<std::string>{"Alpha", "Blues", "Jazz"}));
}

TEST_F(PlaylistTest, TrackToPlaylistsCountsRepeatsAndJoinsNames) {
  EXPECT_EQ(dev.GetTrackPlaylistCount(a), 3);
  EXPECT_EQ(dev.GetTrackPlaylistNames(a), "rock, rock, Jazz");
  EXPECT_EQ(dev.GetTrackPlaylistCount(b), 1);
  EXPECT_EQ(dev.GetTrackPlaylistCount(c), 0);
  EXPECT_EQ(dev.GetTrackPlaylistNames(c), "");
  dev.ClearPendingIds();
  dev.AddPendingId(c);
  dev.AddPendingToPlaylist(blues);
  EXPECT_EQ(dev.GetTrackPlaylistNames(c), "Blues");
}

TEST_F(PlaylistTest, ItemsAreEnumeratedUncached) {
  KernelId t;
  EXPECT_EQ(dev.GetFirstPlaylistItem(rock, t), 3);
  EXPECT_EQ(t, a);
  EXPECT_EQ(dev.GetNextPlaylistItem(rock, t), 1);
  EXPECT_EQ(t, b);
  EXPECT_EQ(dev.GetFirstPlaylistItem(blues, t), 0);
}

TEST_F(PlaylistTest, SortFailureOfOneNameCountsAsEqual) {
  dev.FailWithError(DeviceOp::GetPlaylistName, platform::E_FAIL, "Device", "unreadable", 1);
  KernelId p;
  EXPECT_EQ(dev.GetFirstPlaylist(p), 3);  // the sort survives the failed read
}

// ---- Play queue ----

class QueueTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* t : {"a", "b", "c", "d"}) ids.push_back(dev.AddTrack({.title = t}));
    for (const KernelId& id : ids) dev.EnqueueTrack(id);
  }
  std::string Titles() {
    std::string s;
    for (const KernelId& id : dev.GetQueue()) s += dev.GetTrackTitle(id);
    return s;
  }
  std::string Played() {
    std::string s;
    for (const KernelId& id : dev.PlayLog()) s += dev.GetTrackTitle(id);
    return s;
  }
  MemoryDevice dev;
  std::vector<KernelId> ids;
};

TEST_F(QueueTest, MoveEntry) {
  struct Case {
    int from, to;
    const char* expected;
  };
  for (const Case& c : {Case{0, 3, "bcad"}, Case{3, 0, "dabc"}, Case{0, 4, "bcda"},
                        Case{1, 1, "abcd"}, Case{2, 1, "acbd"}}) {
    dev.ClearQueue();
    for (const KernelId& id : ids) dev.EnqueueTrack(id);
    dev.MoveQueueEntry(c.from, c.to);
    EXPECT_EQ(Titles(), c.expected) << c.from << "->" << c.to;
  }
}

TEST_F(QueueTest, MoveEntryOutsideTheQueueIsRefusedAndChangesNothing) {
  for (auto [from, to] : {std::pair{4, 0}, std::pair{-1, 0}, std::pair{0, 5}, std::pair{1, -1}}) {
    EXPECT_THROW(dev.MoveQueueEntry(from, to), DeviceError);
    EXPECT_EQ(Titles(), "abcd");
  }
}

TEST_F(QueueTest, EntriesCarryWordZeroOnly) {
  KernelId out(0);
  out.word[1] = 5;
  out.SetName("keep");
  EXPECT_EQ(dev.GetFirstQueueEntry(out), 4);
  EXPECT_EQ(out.word[0], ids[0].word[0]);
  EXPECT_EQ(out.word[1], 5u);
  EXPECT_EQ(out.GetName(), "keep");
  int n = 1;
  while (dev.GetNextQueueEntry(out)) ++n;
  EXPECT_EQ(n, 4);
}

TEST_F(QueueTest, RemoveTakesEveryEntryOfTheTrack) {
  dev.EnqueueTrack(ids[1]);
  KernelId other = ids[1];
  other.SetName("same track, other name");
  dev.RemoveFromQueue(other);
  EXPECT_EQ(Titles(), "acd");
  EXPECT_EQ(dev.IsPlaybackStopped(), 1);
}

TEST_F(QueueTest, PositionIsClamped) {
  dev.SetQueuePosition(99);
  EXPECT_EQ(dev.GetQueuePosition(), 3);
  dev.SetQueuePosition(-1);
  EXPECT_EQ(dev.GetQueuePosition(), 0);
  dev.SetQueuePositionToTrack(ids[2]);
  EXPECT_EQ(dev.GetQueuePosition(), 2);
  dev.SetQueuePositionToTrack(KernelId(424242));
  EXPECT_EQ(dev.GetQueuePosition(), 2);
}

TEST_F(QueueTest, StepsBeyondEitherEnd) {
  dev.SetQueuePosition(3);
  EXPECT_EQ(dev.PlayNextInQueue(), 0);      // position 4: past the end
  EXPECT_EQ(dev.PlayPreviousInQueue(), 0);  // back to 3: plays d
  EXPECT_EQ(Played(), "d");
  dev.SetQueuePosition(3);
  dev.PlayNextInQueue();
  dev.PlayNextInQueue();                                     // position 5
  EXPECT_THROW(dev.PlayPreviousInQueue(), DeviceError);     // 4: still outside
  dev.SetQueuePosition(0);
  EXPECT_EQ(dev.PlayPreviousInQueue(), 0);  // -1
  EXPECT_EQ(dev.PlayPreviousInQueue(), 0);  // -2
  EXPECT_EQ(dev.PlayNextInQueue(), 0);      // -1: nothing before the start to play
  EXPECT_EQ(dev.PlayNextInQueue(), 0);      // 0: plays a
  EXPECT_EQ(Played(), "da");
  EXPECT_EQ(dev.PlayQueueCurrent(), 0);
  EXPECT_EQ(Played(), "daa");
}

TEST_F(QueueTest, ShuffleKeepsTheEntriesAndRewinds) {
  for (int i = 0; i < 50; ++i) dev.EnqueueTrack(dev.AddTrack({.title = "x"}));
  dev.SetQueuePosition(5);
  std::multiset<std::uint32_t> before;
  for (const KernelId& id : dev.GetQueue()) before.insert(id.word[0]);
  for (int round = 0; round < 20; ++round) dev.ShuffleQueue();
  std::multiset<std::uint32_t> after;
  for (const KernelId& id : dev.GetQueue()) after.insert(id.word[0]);
  EXPECT_EQ(before, after);
  EXPECT_EQ(dev.GetQueuePosition(), 0);
  // Every entry can land anywhere: over many shuffles the first slot sees many tracks.
  std::set<std::uint32_t> firsts;
  for (int round = 0; round < 200; ++round) {
    dev.ShuffleQueue();
    firsts.insert(dev.GetQueue().front().word[0]);
  }
  EXPECT_GT(firsts.size(), 20u);
}

TEST_F(QueueTest, ClearStopsAndEmpties) {
  dev.PlayQueueCurrent();
  dev.SetQueuePosition(2);
  dev.ClearQueue();
  EXPECT_TRUE(dev.GetQueue().empty());
  EXPECT_EQ(dev.GetQueuePosition(), 0);
  EXPECT_EQ(dev.IsPlaybackStopped(), 1);
  KernelId out;
  EXPECT_EQ(dev.GetFirstQueueEntry(out), 0);
}

TEST_F(QueueTest, StoppedNoticeAdvancesThePosition) {
  dev.SetQueuePosition(1);
  dev.NotifyStopped(0);  // stopped by the user: move on without playing
  EXPECT_EQ(dev.GetQueuePosition(), 2);
  EXPECT_EQ(dev.GetNowPlaying().word[0], ids[2].word[0]);
  EXPECT_EQ(Played(), "");
  dev.NotifyStopped(0x101);  // ended by itself (low byte set): play the next one
  EXPECT_EQ(dev.GetQueuePosition(), 3);
  EXPECT_EQ(Played(), "d");
}

// ---- Queries ----

TEST(QueryTest, EngineRowsBecomeIdsAndFailuresAnswerZero) {
  MemoryDevice d;
  KernelId out;
  KernelDevice::SetQueryEngine(nullptr);
  EXPECT_EQ(d.QueryFirst("SELECT id FROM audio", out), 0);

  std::string seen;
  KernelDevice::SetQueryEngine(
      [&](KernelDevice&, std::string_view sql) -> std::optional<std::vector<std::string>> {
        seen = std::string(sql);
        if (sql == "UPDATE") return std::nullopt;
        if (sql == "BAD") throw std::runtime_error("No such table.");
        if (sql == "NONE") return std::vector<std::string>{};
        return std::vector<std::string>{"4294967296", "12", "", "junk"};
      });
  EXPECT_EQ(d.QueryFirst("SELECT id FROM audio", out), 4);
  EXPECT_EQ(seen, "SELECT id FROM audio");
  EXPECT_EQ(out.word[0], 0u);
  EXPECT_EQ(out.word[1], 1u);
  EXPECT_EQ(out.GetName(), "");
  std::vector<std::uint64_t> rest;
  while (d.QueryNext(out)) rest.push_back(out.GetItemId());
  EXPECT_EQ(rest, (std::vector<std::uint64_t>{12, 0, 0}));

  EXPECT_EQ(d.QueryFirst("UPDATE", out), 0);
  EXPECT_EQ(d.QueryFirst("BAD", out), 0);
  EXPECT_EQ(d.QueryFirst("NONE", out), 0);
  EXPECT_EQ(d.QueryNext(out), 0);
  KernelDevice::SetQueryEngine(nullptr);
}

}  // namespace

}  // namespace device
