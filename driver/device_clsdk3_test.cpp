// The driver's device against the simulated player: listing, tags, transfers both ways,
// data folders, the injected failures of the player and the waits that end.
#include "driver/device_clsdk3.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <functional>
#include <set>

#include "common/settings.h"
#include "device/codec.h"
#include "device/device_error.h"
#include "testing/driver.h"
#include "platform/text/text.h"

namespace driver {

using namespace device;

namespace {

using namespace drivertest;

const bool kIsolated = platform::testing::IsolateNamespace();

// A real WAV file: 8-bit mono PCM of `samples` bytes.
std::string Wav(std::size_t samples, unsigned seed) {
  auto u32 = [](std::uint32_t v) { return std::string{char(v), char(v >> 8), char(v >> 16), char(v >> 24)}; };
  std::string s = "RIFF" + u32(std::uint32_t(36 + samples)) + "WAVEfmt " + u32(16);
  s += std::string("\x01\x00\x01\x00", 4) + u32(22050) + u32(22050) + std::string("\x01\x00\x08\x00", 4);
  return s + "data" + u32(std::uint32_t(samples)) + RandomBytes(samples, seed);
}

class DemoDriverTest : public DriverTest {
 protected:
  void MakePlayer() override {
    std::string error;
    ASSERT_TRUE(platform::CreateDemoPlayer(folder_, &error)) << error;
  }
};

TEST_F(DemoDriverTest, ListingGivesEveryTrackWithItsTagsPlaylistsAndDataItems) {
  const auto snapshot = player_->TakeSnapshot();
  const std::vector<KernelId> tracks = AudioTracks();
  ASSERT_EQ(tracks.size(), 12u);
  std::int64_t kb = 0;
  for (const KernelId& t : tracks) {
    const platform::SimItem& item = snapshot.items.at(t.word[0]);
    TrackRecord r;
    device_->GetTrackInfo(t, r);
    EXPECT_EQ(r.title.Str(), item.name);
    EXPECT_EQ(r.artist.Str(), item.artist);
    EXPECT_EQ(r.album.Str(), item.album);
    EXPECT_EQ(r.genre.Str(), item.genre);
    EXPECT_EQ(r.trackNumber, int(item.trackNumber));
    EXPECT_EQ(r.year, int(item.year));
    EXPECT_EQ(r.length, int(item.length));
    EXPECT_EQ(r.fileSize, int(item.size));
    EXPECT_EQ(r.codec, GetCodecFromExtension(item.codec));
    EXPECT_EQ(r.bitrate, int(item.size * 8 / (item.length * 1000)));
    EXPECT_EQ(r.path.Str(), "");
    EXPECT_EQ(r.comment.Str(), "");
    kb += item.size / 1024;
  }
  EXPECT_EQ(device_->GetAudioFilesSize(), kb);

  // The catalogue built on the device's own operations.
  FixedString256 name;
  std::vector<std::string> artists;
  for (int n = device_->GetFirstArtist(name); n != 0; n = device_->GetNextArtist(name)) artists.push_back(name.Str());
  EXPECT_EQ(artists, (std::vector<std::string>{"Harbor Lights", "Mira Solenne", "Northwind Brass", "The Glass Ferns"}));
  KernelId list;
  std::vector<std::string> lists;
  std::vector<int> sizes;
  for (int n = device_->GetFirstPlaylist(list); n != 0; n = device_->GetNextPlaylist(list)) {
    lists.push_back(device_->GetPlaylistName(list));
    KernelId entry;
    sizes.push_back(device_->GetFirstPlaylistItem(list, entry));
  }
  EXPECT_EQ(lists, (std::vector<std::string>{"Evening Mix", "Road Trip"}));
  EXPECT_EQ(sizes, (std::vector<int>{5, 6}));
  EXPECT_EQ(device_->GetTrackPlaylistCount(tracks[0]), 1);

  const std::vector<KernelId> top = DataItems(DataRoot());
  ASSERT_EQ(top.size(), 1u);
  EXPECT_EQ(device_->IsDataFolder(top[0]), 1);
  EXPECT_EQ(device_->GetDataFileCount(), 0);  // folders are not files
  const std::vector<KernelId> inside = DataItems(top[0]);
  ASSERT_EQ(inside.size(), 1u);
  EXPECT_EQ(device_->IsDataFolder(inside[0]), 0);
  EXPECT_EQ(device_->GetDataItemName(inside[0]), snapshot.items.at(inside[0].word[0]).name);
  EXPECT_EQ(device_->GetDataFileSize(inside[0]), int(snapshot.items.at(inside[0].word[0]).size));

  EXPECT_EQ(device_->GetOwnerName(), "Demo User");
  EXPECT_EQ(device_->GetModelName(), "Dozi Jukebox");
  EXPECT_EQ(device_->GetModelCode(KernelId()), "j1");
  EXPECT_EQ(device_->GetFirmwareVersion(), "1.20.5.0");
  EXPECT_EQ(device_->GetHardwareVersion(), "2.1.0.0");
  EXPECT_EQ(device_->GetDeviceUniqueId().size(), 32u);
  EXPECT_EQ(device_->GetTotalSpaceKB(), int(snapshot.properties.capacityBytes / 1024));
  EXPECT_EQ(device_->GetFreeSpaceKB(), int(player_->FreeBytes() / 1024));
  device_->ShowSdkVersion();
  EXPECT_EQ(Block().messageText.Str(), "Version 3.1.0.12");
}

TEST_F(DriverTest, UploadOfARealFileThenDownloadComparedByteForByte) {
  const std::string wav = Wav(3'000'000, 7);
  const std::string path = MakeFile("song.wav", wav);
  const TrackRecord record = Record("Ada Lind", "North Light", "Harbour", 4, 136, kCodecWav);
  device_->SetProgressWindow(window_);
  KernelId unused;
  ASSERT_EQ(device_->UploadTrack(path, record, unused), 0);
  EXPECT_EQ(device_->IsUploadRunning(), 1);
  const auto done = Take(WM_UPLOADDONE);
  ASSERT_TRUE(done.has_value());
  EXPECT_EQ(done->lParam, 0);
  EXPECT_EQ(device_->IsUploadRunning(), 0);
  EXPECT_GE(Count(WM_UPLOADPROGRESS), 1u);
  const KernelId track(static_cast<std::uint32_t>(done->wParam));
  ASSERT_NE(track.word[0], 0u);

  const std::vector<KernelId> tracks = AudioTracks();
  ASSERT_EQ(tracks.size(), 1u);
  EXPECT_EQ(tracks[0], track);
  TrackRecord got;
  device_->GetTrackInfo(track, got);
  EXPECT_EQ(got.title.Str(), "Harbour");
  EXPECT_EQ(got.artist.Str(), "Ada Lind");
  EXPECT_EQ(got.trackNumber, 4);
  EXPECT_EQ(got.length, 136);
  EXPECT_EQ(got.codec, kCodecWav);
  EXPECT_EQ(got.fileSize, int(wav.size()));
  EXPECT_EQ(got.bitrate, int(wav.size() * 8 / (136 * 1000)));
  EXPECT_EQ(device_->TrackExists(track), 1);
  EXPECT_EQ(device_->TrackExists(KernelId(99999)), 0);

  // Doubled backslashes between the folders reach the SDK as single ones.
  std::string target = platform::FromPosixPath(dir_ + "/out");
  std::filesystem::create_directories(dir_ + "/out");
  target = platform::ReplaceAll(target, "\\", "\\\\") + "\\\\copy.wav";
  device_->SetProgressWindow(window_);
  ASSERT_EQ(device_->DownloadTrack(track, target, 0), 0);
  EXPECT_EQ(sdk_->lastDestination, platform::FromPosixPath(dir_ + "/out/copy.wav"));
  EXPECT_EQ(device_->IsDownloadRunning(), 1);
  const auto downloaded = Take(WM_DOWNLOADDONE);
  ASSERT_TRUE(downloaded.has_value());
  EXPECT_EQ(downloaded->lParam, 0);
  EXPECT_EQ(device_->IsDownloadRunning(), 0);
  EXPECT_EQ(ReadPosixFile(dir_ + "/out/copy.wav"), wav);

  EXPECT_EQ(device_->DeleteAudioTrack(track), 0);
  EXPECT_TRUE(AudioTracks().empty());
  EXPECT_EQ(device_->TrackExists(track), 0);
}

TEST_F(DriverTest, CancelledTransfersStillEndButTellNoProgress) {
  const std::string path = MakeFile("a.mp3", RandomBytes(400'000, 3));
  device_->SetProgressWindow(window_);
  KernelId unused;
  ASSERT_EQ(device_->UploadTrack(path, Record("A", "B", "C"), unused), 0);
  device_->CancelTransfer();
  ASSERT_TRUE(Take(WM_UPLOADDONE).has_value());
  EXPECT_EQ(Count(WM_UPLOADPROGRESS), 0u);
}

TEST_F(DriverTest, TagsWrittenAreWhatIsReadNext) {
  const KernelId track = UploadTrack(MakeFile("a.mp3", RandomBytes(5000, 1)), Record("Old", "Album", "Title"));
  EXPECT_EQ(device_->GetTrackArtist(track), "Old");
  EXPECT_EQ(device_->SetTrackArtist(track, "New"), 0);
  EXPECT_EQ(device_->GetTrackArtist(track), "New");
  TrackRecord r = Record("Artist 2", "Album 2", "Title 2", 9);
  r.year = 1977;
  EXPECT_EQ(device_->SetTrackInfo(track, r), 0);
  EXPECT_EQ(device_->GetDefaultFileName(track), "Artist 2 - Album 2 - 09 - Title 2.mp3");
  EXPECT_EQ(device_->GetTrackYear(track), 1977);
  // No attribute keeps a comment: refused with a reason, never answered as stored.
  EXPECT_EQ(device_->SetTrackComment(track, "not kept"), 1);
  EXPECT_EQ(device_->GetCurrentBlock()->replyText.Str(), "This player does not keep comments.");
  EXPECT_EQ(device_->SetTrackComment(track, ""), 1);
  EXPECT_EQ(device_->GetTrackComment(track), "");
  // The catalogue sees the change.
  FixedString256 name;
  ASSERT_EQ(device_->GetFirstArtist(name), 1);
  EXPECT_EQ(name.Str(), "Artist 2");
}

TEST_F(DriverTest, AttributeReadsFollowTheSizeTheSdkReportsAndAFailedReadIsNotKept) {
  const KernelId track = UploadTrack(MakeFile("a.mp3", RandomBytes(5000, 1)), Record("Artist", "Album", "Title"));
  // A block larger than the 4096-byte buffer: a long entry before the title.
  std::vector<std::uint8_t> big = SdkAttributeBlock()
                                      .Text("PADDING", std::string(6000, 'p'))
                                      .Text("TITLE", "Far Away")
                                      .Number("YEAR", 1999)
                                      .Bytes();
  sdk_->attributes = [&](const SdkItem& item, std::uint32_t bufferSize, std::uint32_t* size,
                         void* buffer) -> std::optional<SdkResult> {
    if (item.id != track.word[0]) return std::nullopt;
    *size = std::uint32_t(big.size());
    if (bufferSize == 0) return platform::kSdkOk;
    if (bufferSize < big.size()) return platform::kSdkErrInvalidArg;
    std::memcpy(buffer, big.data(), big.size());
    return platform::kSdkOk;
  };
  EXPECT_EQ(device_->GetTrackTitle(track), "Far Away");
  EXPECT_EQ(device_->GetTrackYear(track), 1999);
  sdk_->attributes = nullptr;

  device_->SetTrackTitle(track, "Title");  // forgets the cached record
  sdk_->Fail("GetItemAttributes", platform::kSdkErrBusy, 1);
  EXPECT_EQ(device_->GetTrackTitle(track), "");
  EXPECT_EQ(device_->GetTrackTitle(track), "Title");  // asked again, not the failed read
}

TEST_F(DriverTest, ReadsOfAnItemThePlayerDoesNotHoldReportItsFailure) {
  const KernelId track = UploadTrack(MakeFile("a.mp3", RandomBytes(5000, 1)), Record("Artist", "Album", "Title"));
  KernelId folder;
  ASSERT_EQ(device_->CreateDataFolder("Docs", DataRoot(), folder), 0);
  KernelId phantom(987654);
  KernelId phantomFile(987655);
  // Each read answers its default and leaves the player's failure for the caller.
  const std::vector<std::pair<const char*, std::function<bool()>>> reads = {
      {"title", [&] { return device_->GetTrackTitle(phantom).empty(); }},
      {"artist", [&] { return device_->GetTrackArtist(phantom).empty(); }},
      {"number", [&] { return device_->GetTrackNumber(phantom) == 0; }},
      {"size", [&] { return device_->GetTrackSize(phantom) == 0; }},
      {"locked", [&] { return device_->IsTrackLocked(phantom) == 0; }},
      {"data file size", [&] { return device_->GetDataFileSize(phantomFile) == 0; }},
      {"data modified", [&] { return device_->GetDataItemModifiedTime(phantomFile) == 0; }},
      {"data attributes", [&] { return device_->GetDataItemAttributes(phantomFile) == 0; }},
  };
  for (const auto& [what, read] : reads) {
    SCOPED_TRACE(what);
    Block().replyCode = 0;
    Block().replyText.Set("");
    EXPECT_TRUE(read());
    EXPECT_EQ(Block().replyCode, static_cast<std::int32_t>(platform::kSdkErrInvalidId));
    EXPECT_EQ(Block().replyText.Str(), "Invalid track, file, or playlist ID.");
    EXPECT_EQ(Block().messageFlag, 0u);  // nothing for a message box
  }
  // The whole record's read answers the failure too, so a statement over the tracks can
  // tell a track that is gone from one with empty tags.
  Block().replyCode = 0;
  TrackRecord record;
  record.title.Set("stale");
  EXPECT_EQ(device_->GetTrackInfo(phantom, record), 1);
  EXPECT_EQ(record.title.Str(), "");
  EXPECT_EQ(Block().replyCode, static_cast<std::int32_t>(platform::kSdkErrInvalidId));
  // A read of an item that is there leaves the reply alone.
  Block().replyCode = 0;
  ASSERT_EQ(device_->GetTrackInfo(track, record), 0);
  EXPECT_EQ(record.title.Str(), "Title");
  EXPECT_EQ(record.artist.Str(), "Artist");
  EXPECT_EQ(record.bitrate, device_->GetTrackBitrate(track));
  EXPECT_EQ(device_->GetTrackTitle(track), "Title");
  EXPECT_EQ(device_->GetDataItemModifiedTime(folder) != 0, true);
  EXPECT_EQ(Block().replyCode, 0);
}

TEST_F(DriverTest, ContactTracksAreLeftOutOfTheTrackWalkButCountInTheSize) {
  for (int i = 0; i < 3; ++i) UploadTrack(MakeFile("m" + std::to_string(i), RandomBytes(3000, i)), Record("A", "B", "T"));
  for (int i = 0; i < 2; ++i) {
    UploadTrack(MakeFile("c" + std::to_string(i), RandomBytes(2048, 9)), Record("{Contacts}", "{Mara}", "{ PH 1 }", i + 1));
  }
  device_->InvalidateTrackIndex();
  EXPECT_EQ(device_->GetAudioFilesSize(), 3 * 2 + 2 * 2);  // all five, each rounded down
  KernelId id;
  EXPECT_EQ(device_->GetFirstAudioTrack(id), 3);
  EXPECT_EQ(AudioTracks().size(), 3u);
  EXPECT_EQ(device_->GetAudioFilesSize(), 3 * 2);  // now the counted music only

  key_->SetDword("JB_DisableSummaryCounts", 1);
  device_->InvalidateTrackIndex();
  EXPECT_EQ(device_->GetFirstAudioTrack(id), 1);
}

TEST_F(DriverTest, DataFoldersAndFiles) {
  const KernelId root = DataRoot();
  EXPECT_EQ(root.word[0], platform::kSdkDataRootId);
  EXPECT_EQ(root.word[1], 1u);
  KernelId docs, inner;
  ASSERT_EQ(device_->CreateDataFolder("Docs", root, docs), 0);
  EXPECT_NE(docs.word[0], 0u);
  EXPECT_EQ(docs.word[1], 1u);
  EXPECT_EQ(device_->GetDataItemName(docs), "Docs");
  ASSERT_EQ(device_->CreateDataFolder("Inner", docs, inner), 0);
  KernelId again;
  EXPECT_EQ(device_->CreateDataFolder("Docs", root, again), 11);

  const std::string bytes = RandomBytes(70'000, 5);
  const std::string path = MakeFile("notes.txt", bytes);
  ::chmod((dir_ + "/notes.txt").c_str(), 0444);
  struct stat st {};
  ::stat((dir_ + "/notes.txt").c_str(), &st);
  const KernelId file = UploadData(path, docs);
  ASSERT_NE(file.word[0], 0u);

  std::vector<KernelId> items = DataItems(docs);
  ASSERT_EQ(items.size(), 2u);
  std::set<std::string> names;
  for (const KernelId& i : items) names.insert(std::string(i.GetName()));
  EXPECT_EQ(names, (std::set<std::string>{"Inner", "notes.txt"}));
  const KernelId listed = items[0].GetName() == "notes.txt" ? items[0] : items[1];
  EXPECT_EQ(device_->IsDataFolder(listed), 0);
  EXPECT_EQ(device_->GetDataFileSize(listed), int(bytes.size()));
  EXPECT_EQ(device_->GetDataItemModifiedTime(listed), int(st.st_mtime));
  EXPECT_EQ(device_->GetDataItemAttributes(listed), 0x21);  // archive, read-only
  KernelId parent;
  device_->GetDataItemParent(listed, parent);
  EXPECT_EQ(parent.word[0], docs.word[0]);
  EXPECT_EQ(parent.word[1], 1u);

  // Moving, renaming: what is read next is the new state.
  EXPECT_EQ(device_->MoveDataItem(listed, inner), 0);
  device_->GetDataItemParent(listed, parent);
  EXPECT_EQ(parent.word[0], inner.word[0]);
  EXPECT_EQ(DataItems(inner).size(), 1u);
  EXPECT_EQ(device_->MoveDataItem(docs, inner), 1);  // a folder into its own sub-folder
  EXPECT_EQ(Block().replyText.Str(), "Invalid or NULL arguments.");
  EXPECT_EQ(device_->RenameDataFile(listed, "renamed.txt"), 0);
  EXPECT_EQ(DataItems(inner)[0].GetName(), "renamed.txt");
  EXPECT_EQ(device_->RenameDataFolder(inner, "Deeper"), 0);
  EXPECT_EQ(DataItems(docs)[0].GetName(), "Deeper");

  EXPECT_EQ(Download(listed, dir_ + "/back.txt", false), 0);
  EXPECT_EQ(ReadPosixFile(dir_ + "/back.txt"), bytes);

  // A folder that still holds something stays, and says so.
  EXPECT_EQ(device_->DeleteDataFolder(inner), 1);
  EXPECT_EQ(Block().replyText.Str(), "Unspecified failure.");
  EXPECT_EQ(device_->DeleteDataFile(listed), 0);
  EXPECT_EQ(device_->DeleteDataFolder(inner), 0);
  EXPECT_TRUE(DataItems(docs).empty());

  KernelId unused;
  EXPECT_EQ(device_->UploadDataFile(platform::FromPosixPath(dir_ + "/missing.txt"), docs, unused), kStatusFailed);
}

TEST_F(DriverTest, DataRootCountsSumFiftyFilesAndEstimateMore) {
  const KernelId root = DataRoot();
  KernelId folder;
  ASSERT_EQ(device_->CreateDataFolder("F", root, folder), 0);
  const std::string path = MakeFile("f.bin", RandomBytes(1500, 2));
  for (int i = 0; i < 50; ++i) {
    std::filesystem::copy_file(dir_ + "/f.bin", dir_ + "/f" + std::to_string(i) + ".bin");
    UploadData(platform::FromPosixPath(dir_ + "/f" + std::to_string(i) + ".bin"), root);
  }
  EXPECT_EQ(device_->GetDataFileCount(), -1);  // not listed since the last change
  EXPECT_EQ(DataItems(root).size(), 51u);
  EXPECT_EQ(device_->GetDataFileCount(), 50);
  EXPECT_EQ(device_->GetDataFilesSize(), 50);  // 1500 bytes: 1 KB each
  for (int i = 50; i < 60; ++i) {
    std::filesystem::copy_file(dir_ + "/f.bin", dir_ + "/f" + std::to_string(i) + ".bin");
    UploadData(platform::FromPosixPath(dir_ + "/f" + std::to_string(i) + ".bin"), root);
  }
  KernelId first;
  EXPECT_EQ(device_->GetFirstDataItem(root, first), 61);  // the folder too
  EXPECT_EQ(device_->GetDataFileCount(), 60);
  EXPECT_EQ(device_->GetDataFilesSize(),
            device_->GetTotalSpaceKB() - device_->GetAudioFilesSize() - device_->GetFreeSpaceKB());
}

// Only plain files are uploaded: a FIFO would block the manager's thread in open() for
// good, a folder or a vanished file has nothing to copy. Each is refused with its reason,
// never thrown (that would end the whole transfer).
TEST_F(DriverTest, UploadsOfFilesThatAreNoPlainFilesAreRefusedAtOnce) {
  const std::string fifo = dir_ + "/pipe.mp3";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  std::filesystem::create_directories(dir_ + "/folder.mp3");
  const KernelId root = DataRoot();
  for (const std::string& posix : {fifo, dir_ + "/folder.mp3", dir_ + "/gone.mp3"}) {
    const std::string path = platform::FromPosixPath(posix);
    KernelId unused;
    Block().replyText.Set("");
    EXPECT_EQ(device_->UploadTrack(path, Record("A", "B", "C"), unused), kStatusFailed) << posix;
    EXPECT_NE(Block().replyText.Str().find("could not be opened for reading"), std::string::npos) << posix;
    EXPECT_EQ(device_->UploadDataFile(path, root, unused), kStatusFailed) << posix;
    EXPECT_EQ(device_->IsUploadRunning(), 0);
  }
  EXPECT_TRUE(AudioTracks().empty());
  EXPECT_TRUE(DataItems(root).empty());
}

TEST_F(DriverTest, InjectedFailuresGiveTheirStatusAndLoseNothing) {
  const std::string path = MakeFile("x.mp3", RandomBytes(10'000, 4));
  const KernelId kept = UploadTrack(path, Record("Kept", "Kept", "Kept"));
  const KernelId root = DataRoot();
  const struct {
    const char* what;
    platform::SimFault fault;
    std::function<int()> run;
    int status;
  } kCases[] = {
      {"busy upload", platform::SimFault::kBusy, [&] { KernelId u; return device_->UploadTrack(path, Record("A", "B", "C"), u); }, 2},
      {"storage full", platform::SimFault::kStorageFull, [&] { KernelId u; return device_->UploadTrack(path, Record("A", "B", "C"), u); }, 8},
      {"file exists", platform::SimFault::kFileExists, [&] { KernelId u; return device_->UploadDataFile(path, root, u); }, 7},
      {"copy-protected upload", platform::SimFault::kProtected, [&] { KernelId u; return device_->UploadTrack(path, Record("A", "B", "C"), u); }, 6},
      {"folder exists", platform::SimFault::kFolderExists, [&] { KernelId u; return device_->CreateDataFolder("New", root, u); }, 11},
      {"copy-protected download", platform::SimFault::kProtected, [&] { return device_->DownloadTrack(kept, platform::FromPosixPath(dir_ + "/d.mp3"), 0); }, 6},
      {"busy tag write", platform::SimFault::kBusy, [&] { return device_->SetTrackTitle(kept, "Lost?"); }, 2},
      {"busy volume", platform::SimFault::kBusy, [&] { return device_->SetVolume(10); }, 2},
  };
  for (const auto& c : kCases) {
    Block().replyCode = 0;
    Block().replyText.Set("");
    player_->InjectFault(c.fault, 1);
    EXPECT_EQ(c.run(), c.status) << c.what;
    EXPECT_EQ(Block().replyCode, 0) << c.what;  // statuses of their own carry no reply error
    EXPECT_EQ(device_->IsUploadRunning(), 0) << c.what;
    EXPECT_EQ(device_->IsDownloadRunning(), 0) << c.what;
    player_->ClearFaults();
  }
  PumpFor(50);
  EXPECT_EQ(Count(WM_UPLOADDONE), 0u);
  const std::vector<KernelId> tracks = AudioTracks();
  ASSERT_EQ(tracks.size(), 1u);
  EXPECT_EQ(device_->GetTrackTitle(kept), "Kept");
  EXPECT_TRUE(DataItems(root).empty());
  EXPECT_FALSE(std::filesystem::exists(dir_ + "/d.mp3"));
}

TEST_F(DriverTest, PlayOnlyTracksAreNotCopiedOut) {
  const KernelId track = UploadTrack(MakeFile("x.mp3", RandomBytes(1000, 4)), Record("A", "B", "C"));
  ASSERT_EQ(player_->SetPlayOnly(track.word[0], true), platform::kSdkOk);
  EXPECT_EQ(device_->IsTrackLocked(track), 1);
  EXPECT_EQ(device_->DownloadTrack(track, platform::FromPosixPath(dir_ + "/y.mp3"), 0), 6);
  EXPECT_EQ(device_->IsDownloadRunning(), 0);
  EXPECT_EQ(sdk_->Calls("GetItemToFile"), 0);
}

TEST_F(DriverTest, WaitsForNoticesThatNeverComeEnd) {
  KernelDeviceCLSDK3::SetWaitLimitsForTesting(300, 400);
  const KernelId track = UploadTrack(MakeFile("x.mp3", RandomBytes(20'000, 4)), Record("A", "B", "C"));
  player_->InjectFault(platform::SimFault::kEventsNeverCome);

  // The folder is made; its notice never comes, and the folder is found by its name.
  KernelId folder;
  const auto start = std::chrono::steady_clock::now();
  ASSERT_EQ(device_->CreateDataFolder("Silent", DataRoot(), folder), 0);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  EXPECT_NE(folder.word[0], 0u);
  EXPECT_EQ(DataItems(DataRoot()).size(), 1u);
  EXPECT_EQ(DataItems(DataRoot())[0].word[0], folder.word[0]);

  // A download whose end is never told does not hold up the next one for ever.
  ASSERT_EQ(device_->DownloadTrack(track, platform::FromPosixPath(dir_ + "/1.mp3"), 0), 0);
  EXPECT_EQ(device_->IsDownloadRunning(), 1);
  ASSERT_EQ(device_->DownloadTrack(track, platform::FromPosixPath(dir_ + "/2.mp3"), 0), 0);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(8));
  Pump([&] { return ReadPosixFile(dir_ + "/2.mp3").size() == 20'000; });
  EXPECT_EQ(ReadPosixFile(dir_ + "/1.mp3"), ReadPosixFile(dir_ + "/2.mp3"));
}

TEST_F(DriverTest, TheDisappearingPlayerEndsTheConnectionAndItsTransfers) {
  const std::string bytes = RandomBytes(200'000, 4);
  const KernelId track = UploadTrack(MakeFile("x.mp3", bytes), Record("A", "B", "C"));
  // The copy completes, but the SDK never tells: from the driver's side it still runs.
  player_->InjectFault(platform::SimFault::kEventsNeverCome);
  device_->SetProgressWindow(window_);
  ASSERT_EQ(device_->DownloadTrack(track, platform::FromPosixPath(dir_ + "/d.mp3"), 0), 0);
  ASSERT_TRUE(Pump([&] { return ReadPosixFile(dir_ + "/d.mp3").size() == bytes.size(); }));
  PumpFor(50);
  notices_.clear();
  player_->ClearFaults();
  player_->Unplug();
  ASSERT_TRUE(Pump([&] { return device_->IsConnected() == 0; }));
  EXPECT_EQ(device_->IsDownloadRunning(), 0);
  const auto done = Take(WM_DOWNLOADDONE, 1000);
  ASSERT_TRUE(done.has_value());
  EXPECT_EQ(done->lParam, static_cast<platform::LPARAM>(platform::kSdkErrNotConnected));
  EXPECT_EQ(device_->GetModelName(), "");

  player_->Replug();
  device_->Connect();
  EXPECT_EQ(device_->IsConnected(), 1);
  EXPECT_EQ(AudioTracks().size(), 1u);
}

TEST_F(DriverTest, DevicePropertiesClockAndFixedAnswers) {
  const std::string owner(200, 'o');
  EXPECT_EQ(device_->SetOwnerName(owner), 0);
  EXPECT_EQ(device_->GetOwnerName(), owner);
  EXPECT_EQ(device_->SetOwnerName(std::string(256, 'o')), 1);  // more than the SDK keeps
  EXPECT_EQ(Block().replyText.Str(), "Invalid or NULL arguments.");

  const int when = 1'300'000'000;
  EXPECT_EQ(device_->SetDeviceTime(when), 0);
  EXPECT_NEAR(device_->GetDeviceTime(), when, 3);
  EXPECT_EQ(device_->Op2120(), 0);

  device_->RecoverMissingTracks();
  EXPECT_EQ(Block().messageText.Str(),
            "This operation is not supported by the driver you are using.\n\nIf your file listing is incomplete, "
            "please see the Troubleshooter webpage\nfor information on the Jukebox maintenance boot mode.");
  const int ones[] = {device_->HasClock(), device_->SupportsTagIndex(), device_->SupportsSearch(),
                      device_->SupportsTransfers(), device_->SupportsCopyToComputer(), device_->SupportsAudio(),
                      device_->SupportsDataFiles(), device_->SupportsDataFlag2(), device_->SupportsPlaylists(),
                      device_->SupportsPlayback()};
  for (int v : ones) EXPECT_EQ(v, 1);
  KernelId id;
  const int zeros[] = {device_->CommitChanges(), device_->IsAutoConnect(), device_->SupportsEject(),
                       device_->SupportsStorageList(), device_->GetFirstStorage(id), device_->SupportsTrackReorder(),
                       device_->SupportsTransferFlag2(), device_->HasDataFilesStatus(), device_->SupportsFMPresets(),
                       device_->SupportsNotes(), device_->SupportsContacts(), device_->SupportsGroup13000()};
  for (int v : zeros) EXPECT_EQ(v, 0);
  EXPECT_EQ(device_->GetStorageName(id), "");
}

TEST_F(DriverTest, ModelCodesAndTheModelCheck) {
  device_.reset();
  const struct {
    const char* model;
    const char* code;
    std::uint32_t kind;
    int fits;
    const char* expected;
  } kCases[] = {
      {"Dozi Jukebox", "j1", 1, 1, ""},   {"Dozi Jukebox 2", "j2", 2, 1, ""}, {"Dozi Zed 2", "j2", 3, 0, "Jukebox 3"},
      {"Dozi Jukebox Z", "jz", 4, 1, ""}, {"Dozi DJ", "dj", 5, 1, ""},        {"Dozi Zed", "jz", 1, 0, "Jukebox 1"},
      {"Dozi Jukebox", "j1", 5, 0, "Jukebox DJ"},
  };
  int i = 0;
  for (const auto& c : kCases) {
    platform::SimPlayerOptions options;
    options.modelName = c.model;
    const std::string folder = platform::FromPosixPath(dir_ + "/m" + std::to_string(i++));
    std::string error;
    ASSERT_TRUE(platform::CreateSimPlayer(folder, options, &error)) << error;
    KernelDriverCLSDK3 driver(folder);
    auto device = driver.CreateDevice(KernelId(5), KernelId(1));
    FixedString256 expected, actual;
    EXPECT_EQ(device->VerifyDeviceModel(KernelId(c.kind), expected, actual), c.fits) << c.model;
    EXPECT_EQ(device->GetModelCode(KernelId()), c.code) << c.model;
    EXPECT_EQ(expected.Str(), c.expected) << c.model;
    EXPECT_EQ(actual.Str(), c.fits ? "" : c.model);
  }
  // A player that cannot be opened fits every model.
  KernelDriverCLSDK3 none(platform::FromPosixPath(dir_ + "/nothing"));
  auto device = none.CreateDevice(KernelId(5), KernelId(1));
  FixedString256 expected, actual;
  EXPECT_EQ(device->VerifyDeviceModel(KernelId(2), expected, actual), 1);
  EXPECT_EQ(device->IsConnected(), 0);
}

}  // namespace

}  // namespace driver
