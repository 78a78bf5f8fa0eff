#include "device/memory_device.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "device/sortable.h"
#include "platform/paths/paths.h"

namespace device {

namespace {

std::vector<std::string> Children(KernelDevice& d, const KernelId& folder,
                                  int (KernelDevice::*first)(const KernelId&, KernelId&),
                                  int (KernelDevice::*next)(const KernelId&, KernelId&),
                                  std::string (KernelDevice::*name)(const KernelId&)) {
  std::vector<std::string> names;
  KernelId item;
  for (int r = (d.*first)(folder, item); r > 0; r = (d.*next)(folder, item)) {
    names.push_back((d.*name)(item));
  }
  return names;
}

TEST(MemoryDeviceTest, TracksAreWalkedInTheOrderAdded) {
  MemoryDevice d;
  const KernelId a = d.AddTrack({.artist = "A", .album = "L", .title = "T", .number = 2});
  const KernelId b = d.AddTrack({.title = "U", .content = "1234"});
  KernelId t;
  EXPECT_EQ(d.GetFirstAudioTrack(t), 2);
  EXPECT_EQ(t, a);
  EXPECT_EQ(d.GetNextAudioTrack(t), 1);
  EXPECT_EQ(t, b);
  EXPECT_EQ(d.GetNextAudioTrack(t), 0);
  EXPECT_EQ(d.GetTrackFileName(a), "A - L - 02 - T.mp3");
  EXPECT_EQ(d.GetTrackSize(b), 4);
  EXPECT_EQ(d.TrackExists(a), 1);
  EXPECT_EQ(d.DeleteAudioTrack(a), 0);
  EXPECT_EQ(d.TrackExists(a), 0);
  EXPECT_THROW(d.GetTrackTitle(a), DeviceError);
}

TEST(MemoryDeviceTest, DataFolders) {
  MemoryDevice d;
  KernelId root;
  EXPECT_EQ(d.GetDataRootFolder(root), 1);
  EXPECT_EQ(root.word[1], 1u);  // folders carry word 1 = 1
  KernelId docs;
  EXPECT_EQ(d.CreateDataFolder("Docs", root, docs), 0);
  KernelId again;
  EXPECT_EQ(d.CreateDataFolder("docs", root, again), 11);
  EXPECT_EQ(again, docs);
  const KernelId file = d.AddDataFile(docs, "a.txt", "hello");
  EXPECT_EQ(file.word[1], 0u);
  d.AddDataFile(KernelId(), "top.bin", "x");

  auto names = [&](const KernelId& f) {
    return Children(d, f, &KernelDevice::GetFirstDataItem, &KernelDevice::GetNextDataItem,
                    &KernelDevice::GetDataItemName);
  };
  EXPECT_EQ(names(root), (std::vector<std::string>{"Docs", "top.bin"}));
  EXPECT_EQ(names(docs), (std::vector<std::string>{"a.txt"}));
  EXPECT_EQ(d.GetDataFileSize(file), 5);
  EXPECT_EQ(d.IsDataFolder(docs), 1);
  EXPECT_EQ(d.IsDataFolder(file), 0);
  EXPECT_EQ(d.GetDataFileCount(), 2);

  // Nested walks keep a cursor per folder.
  KernelId outer, inner;
  ASSERT_EQ(d.GetFirstDataItem(root, outer), 2);
  ASSERT_EQ(d.GetFirstDataItem(docs, inner), 1);
  EXPECT_EQ(d.GetNextDataItem(root, outer), 1);
  EXPECT_EQ(d.GetDataItemName(outer), "top.bin");

  KernelId parent;
  EXPECT_EQ(d.GetDataItemParent(file, parent), 1);
  EXPECT_EQ(parent, docs);
  EXPECT_EQ(d.MoveDataItem(file, root), 0);
  EXPECT_EQ(names(root), (std::vector<std::string>{"Docs", "top.bin", "a.txt"}));
  EXPECT_THROW(d.MoveDataItem(root, docs), DeviceError);
  EXPECT_EQ(d.RenameDataFile(file, "TOP.BIN"), 7);
  EXPECT_EQ(d.RenameDataFile(file, "b.txt"), 0);
  EXPECT_EQ(d.GetDataItemName(file), "b.txt");
  EXPECT_EQ(d.DeleteDataFolder(docs), 0);
  EXPECT_EQ(names(root), (std::vector<std::string>{"top.bin", "b.txt"}));
  EXPECT_THROW(d.DeleteDataFolder(root), DeviceError);
}

TEST(MemoryDeviceTest, NotesContactsPresetsAndStorage) {
  MemoryDevice d;
  KernelId notes;
  d.GetNotesRootFolder(notes);
  KernelId note;
  EXPECT_EQ(d.CreateNote("Todo", notes, note), 0);
  EXPECT_EQ(d.SetNoteText(note, "milk"), 0);
  EXPECT_EQ(d.GetNoteText(note), "milk");
  EXPECT_EQ(d.GetNoteName(note), "Todo");
  EXPECT_EQ(d.IsNoteFolder(notes), 1);

  ContactRecord card;
  card.field[kContactFirstName].Set("Ann");
  KernelId contact;
  EXPECT_EQ(d.CreateContact("Ann", card, d.ContactsRoot(), contact), 0);
  EXPECT_EQ(d.CreateContact("ann", card, d.ContactsRoot(), contact), 7);
  ContactRecord back;
  EXPECT_EQ(d.GetContactRecord(contact, back), 0);
  EXPECT_EQ(back.field[kContactFirstName].GetText(), "Ann");
  EXPECT_EQ(Children(d, d.ContactsRoot(), &KernelDevice::GetFirstContact,
                     &KernelDevice::GetNextContact, &KernelDevice::GetContactName),
            (std::vector<std::string>{"Ann"}));

  const KernelId preset = d.AddFMPreset("Radio", 10110);
  KernelId p;
  EXPECT_EQ(d.GetFirstFMPreset(p), 1);
  EXPECT_EQ(p, preset);
  EXPECT_EQ(d.GetFMPresetFrequency(p), 10110);
  EXPECT_EQ(d.GetNextFMPreset(p), 0);

  d.AddStorage("Internal", 100, 50);
  d.AddStorage("Card", 200, 10);
  KernelId s;
  EXPECT_EQ(d.GetFirstStorage(s), 2);
  EXPECT_EQ(d.GetStorageName(s), "Internal");
  EXPECT_EQ(d.GetNextStorage(s), 1);
  EXPECT_EQ(d.GetStorageFreeKB(s), 10);
}

TEST(MemoryDeviceTest, PlaylistOperations) {
  MemoryDevice d;
  const KernelId a = d.AddTrack({.title = "a", .number = 2});
  const KernelId b = d.AddTrack({.title = "b", .number = 1});
  const KernelId c = d.AddTrack({.title = "c", .number = 3});
  KernelId rock;
  EXPECT_EQ(d.CreatePlaylist("Rock", rock), 0);
  EXPECT_EQ(rock.GetName(), "Rock");
  KernelId same;
  EXPECT_EQ(d.CreatePlaylist(" Rock ", same), 4);
  EXPECT_EQ(same, rock);
  KernelId lower;
  EXPECT_EQ(d.CreatePlaylist("rock", lower), 0);  // case-sensitive

  d.ClearPendingIds();
  for (const KernelId& t : {a, b, c, a}) d.AddPendingId(t);
  EXPECT_EQ(d.AddPendingToPlaylist(rock), 0);
  auto titles = [&] {
    std::string s;
    for (const KernelId& t : d.PlaylistItems(rock)) s += d.GetTrackTitle(t);
    return s;
  };
  EXPECT_EQ(titles(), "abca");
  EXPECT_EQ(d.MovePlaylistItem(rock, 0, 3), 0);
  EXPECT_EQ(titles(), "bcaa");
  EXPECT_EQ(d.MovePlaylistItem(rock, 3, 0), 0);
  EXPECT_EQ(titles(), "abca");
  EXPECT_THROW(d.MovePlaylistItem(rock, 4, 0), DeviceError);
  EXPECT_EQ(d.SortPlaylist(rock, kSortTitle), 0);
  EXPECT_EQ(titles(), "aabc");
  d.ClearPendingIds();
  d.AddPendingId(a);
  EXPECT_EQ(d.RemovePendingFromPlaylist(rock), 0);
  EXPECT_EQ(titles(), "bc");
  EXPECT_EQ(d.ShufflePlaylist(rock), 0);
  EXPECT_EQ(d.PlaylistItems(rock).size(), 2u);
  EXPECT_EQ(d.RenamePlaylist(rock, "  Stone "), 0);
  EXPECT_EQ(d.GetPlaylistName(rock), "Stone");
  EXPECT_EQ(d.DeletePlaylist(rock), 0);
  EXPECT_THROW(d.GetPlaylistName(rock), DeviceError);
}

class TransferTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = std::filesystem::temp_directory_path() /
          ("device_transfer_" + std::to_string(::getpid()) + "_" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(dir);
  }
  void TearDown() override { std::filesystem::remove_all(dir); }
  std::string Local(const std::string& name) {
    return platform::FromPosixPath((dir / name).string());
  }
  std::string Read(const std::string& name) {
    std::ifstream in(dir / name, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  void Write(const std::string& name, const std::string& content) {
    std::ofstream(dir / name, std::ios::binary) << content;
  }
  std::filesystem::path dir;
  MemoryDevice d;
};

TEST_F(TransferTest, UploadAndDownloadCarryTheBytes) {
  Write("song.mp3", "ID3 bytes");
  TrackRecord r;
  r.artist.Set("A");
  r.title.Set("T");
  KernelId track;
  EXPECT_EQ(d.UploadTrack(Local("song.mp3"), r, track), 9);
  EXPECT_EQ(d.GetTrackSize(track), 9);
  EXPECT_EQ(d.GetTrackFileName(track), "song.mp3");
  KernelId again;
  EXPECT_EQ(d.UploadTrack(Local("song.mp3"), r, again), 7);
  EXPECT_EQ(again, track);
  EXPECT_EQ(d.DownloadTrack(track, Local("copy.mp3"), 1), 0);
  EXPECT_EQ(Read("copy.mp3"), "ID3 bytes");

  d.RecordOf(track).playOnly = 1;
  EXPECT_EQ(d.DownloadTrack(track, Local("locked.mp3"), 1), 6);

  KernelId missing;
  EXPECT_EQ(d.UploadTrack(Local("nothing.mp3"), r, missing), 1);

  Write("doc.txt", "data");
  KernelId item;
  EXPECT_EQ(d.UploadDataFile(Local("doc.txt"), d.DataRoot(), item), 9);
  EXPECT_EQ(d.GetDataItemName(item), "doc.txt");
  EXPECT_EQ(d.DownloadDataFile(item, Local("doc2.txt")), 0);
  EXPECT_EQ(Read("doc2.txt"), "data");
}

TEST_F(TransferTest, FullStorageRefusesTheUpload) {
  Write("big.mp3", std::string(4096, 'b'));
  d.Info().totalKB = 3;
  TrackRecord r;
  KernelId track;
  EXPECT_EQ(d.UploadTrack(Local("big.mp3"), r, track), 8);
  EXPECT_EQ(d.TrackCount(), 0u);
}

TEST(FailureInjectionTest, StatusAndErrorsForAGivenNumberOfCalls) {
  MemoryDevice d;
  d.FailWithStatus(DeviceOp::SetVolume, 2, "Device busy.", 2);
  EXPECT_EQ(d.SetVolume(10), 2);
  EXPECT_EQ(d.GetCurrentBlock()->replyText.GetText(), "Device busy.");
  EXPECT_EQ(d.SetVolume(10), 2);
  EXPECT_EQ(d.SetVolume(10), 0);  // the third call goes through
  EXPECT_EQ(d.GetVolume(), 10);

  d.FailWithStatus(DeviceOp::GetModelName, 1);
  EXPECT_EQ(d.GetModelName(), "");
  d.ClearFailures();
  EXPECT_EQ(d.GetModelName(), "Memory Player");

  // Operations of the base class fail too, and so do the calls the base makes itself.
  d.AddTrack({.artist = "A", .title = "T"});
  d.FailWithError(DeviceOp::GetTrackArtist, platform::E_UNEXPECTED, "Device", "lost");
  FixedString256 name;
  try {
    d.GetFirstArtist(name);
    FAIL() << "no error";
  } catch (const DeviceError& e) {
    EXPECT_EQ(e.code(), platform::E_UNEXPECTED);
    EXPECT_EQ(e.source(), "Device");
    EXPECT_EQ(e.detail(), "lost");
  }
  d.ClearFailures();
  EXPECT_EQ(d.GetFirstArtist(name), 1);  // the failed rebuild is run again

  d.FailWithError(DeviceOp::ClearQueue);
  EXPECT_THROW(d.ClearQueue(), DeviceError);
}

TEST(FailureInjectionTest, CapabilitiesAnswerAsSet) {
  MemoryDevice d;
  EXPECT_EQ(d.SupportsPlaylists(), 1);
  EXPECT_EQ(d.SupportsStorageList(), 0);
  d.SetCapability(DeviceOp::SupportsPlaylists, 0);
  EXPECT_EQ(d.SupportsPlaylists(), 0);
  DeviceRequestBlock block;
  block.opcode = OpCode(DeviceOp::SupportsPlaylists);
  block.intResult = 5;
  d.Dispatch(&block);
  EXPECT_EQ(block.intResult, 0);
}

}  // namespace

}  // namespace device
