// What every folder of the player lists, on the in-memory player in this process.
#include <gtest/gtest.h>

#include "common/version.h"
#include "device/device_client_error.h"
#include "platform/ui/scripted_host.h"
#include "testing/shellext.h"

using namespace device;

namespace shellexttest {
namespace {

using namespace shellext;

class FolderContentsTest : public LibraryTest {
 protected:
  void SetUp() override {
    LibraryTest::SetUp();
    c_ = Seed(device_);
    Use(device_);
  }
  MemoryDevice device_;
  Catalogue c_;
};

TEST_F(FolderContentsTest, TheRootOfADeviceThatCanDoEverything) {
  device_.SetCapability(DeviceOp::SupportsStorageList, 1);
  device_.Info().dataFilesStatus = "12 files";
  const std::vector<Row> expected = {
      {NT_MEMSEG, 1, "Internal", "", 0},  // value3: the medium holds nothing of its own
      {NT_FMTUNER, 2, "FM Radio Tuner", "", 1},
      {NT_CONTAINER, 3, "Audio Tracks", "", 4},
      {NT_DATAFOLDER, 4, "Data Files", "", 2},
      {NT_ACTION, 5, "Data Files", "12 files", 0},
      {NT_CONTAINER, 6, "Search", "", 0},
      {NT_CONTAINER, 7, "Active Queue", "", 0},
      {NT_LISTS, 8, "Playlists", "", 2},
      {NT_LISTS, 9, "Artists", "", 3},
      {NT_LISTS, 10, "Albums", "", 3},
      {NT_LISTS, 11, "Genres", "", 3},
      {NT_CONTACTFOLDER, 12, "Contacts", "", 1},
      {NT_NOTEFOLDER, 13, "Notes", "", 1},
      {NT_CONTAINER, 14, "Last Transfer", "", 0},
      {NT_ACTION, 0, "Open Ferrowin...", "", 0},
      {NT_INFO, 15, "Device Information", "", 12},
  };
  std::vector<Row> rows = List(nullptr);
  rows[0].value3 = 0;
  EXPECT_EQ(rows, expected);
}

TEST_F(FolderContentsTest, HidingTheTunerMovesEveryLaterEntryUpAndFoldersOnlyDropTheActionRows) {
  Settings().SetDword("N2_HideFMTuner", 1);
  device_.Info().dataFilesStatus = "status";
  const std::vector<Row> rows = List(nullptr, platform::SHCONTF_FOLDERS);
  ASSERT_GE(rows.size(), 3u);
  EXPECT_EQ(rows[0].name, "Audio Tracks");
  EXPECT_EQ(rows[0].position, 1);
  EXPECT_EQ(rows[1].name, "Data Files");
  EXPECT_EQ(rows[2].name, "Search");
  EXPECT_EQ(rows[2].position, 4);  // the status row's number is taken even when not shown
  for (const Row& r : rows) EXPECT_NE(r.type, static_cast<std::uint32_t>(NT_ACTION)) << r;
}

TEST_F(FolderContentsTest, EveryFolderListsWhatTheCatalogueHolds) {
  struct Case {
    std::vector<std::string> path;
    std::vector<std::string> names;
  };
  const Case cases[] = {
      {{"Audio Tracks"},
       {"Ada Lind - North Light - 01 - Harbour", "Ada Lind - North Light - 02 - Long Road",
        "Brass Fold - Metal Hours - 01 - Opening", "Cyra - Glass Rooms - 07 - Mirror"}},
      {{"Artists"}, {"Ada Lind", "Brass Fold", "Cyra"}},
      {{"Artists", "Ada Lind"}, {"[ All: Ada Lind ]", "North Light"}},
      {{"Artists", "Ada Lind", "North Light"},
       {"Ada Lind - North Light - 01 - Harbour", "Ada Lind - North Light - 02 - Long Road"}},
      {{"Albums"}, {"Glass Rooms", "Metal Hours", "North Light"}},
      {{"Albums", "Metal Hours"}, {"Brass Fold - Metal Hours - 01 - Opening"}},
      {{"Genres"}, {"Folk", "Jazz", "Pop"}},
      {{"Genres", "Pop"}, {"Cyra - Glass Rooms - 07 - Mirror"}},
      {{"Playlists"}, {"[ Playlist Index ]", "Evening", "Jazz Mix"}},
      {{"Playlists", "Evening"}, {"Ada Lind - North Light - 01 - Harbour", "Brass Fold - Metal Hours - 01 - Opening"}},
      {{"Data Files"}, {"Documents", "top.txt"}},
      {{"Data Files", "Documents"}, {"readme.txt", "list.csv", "Old"}},
      {{"Notes"}, {"Shopping"}},
      {{"Contacts"}, {"Mara Quill"}},
      {{"FM Radio Tuner"}, {"88.50 MHz"}},
      {{"Active Queue"}, {}},
      {{"Search"}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path.back());
    EXPECT_EQ(Names(At(c.path)), c.names);
  }
}

TEST_F(FolderContentsTest, ListFoldersCarryTheirCountsAndArtists) {
  const std::vector<Row> artist = List(At({"Artists", "Ada Lind"}));
  ASSERT_EQ(artist.size(), 2u);
  EXPECT_EQ(artist[0], (Row{NT_CONTAINER, 1, "[ All: Ada Lind ]", "Ada Lind", 2}));
  EXPECT_EQ(artist[1], (Row{NT_CONTAINER, 2, "North Light", "Ada Lind", 2}));
  const std::vector<Row> artists = List(At({"Artists"}));
  EXPECT_EQ(artists[0], (Row{NT_LISTS, 1, "Ada Lind", "Ada Lind", 1}));  // one album
  const std::vector<Row> index = List(At({"Playlists", "[ Playlist Index ]"}));
  ASSERT_EQ(index.size(), 4u);
  EXPECT_EQ(index[2], (Row{NT_INDEXTRACK, static_cast<int>(c_.opening.word[0]),
                            "Brass Fold - Metal Hours - 01 - Opening", "Evening, Jazz Mix", 2}));
}

TEST_F(FolderContentsTest, DeviceInformationRows) {
  device_.Info().modelName = "Dozi Jukebox";
  device_.Info().hasClock = 0;
  device_.SetCapability(DeviceOp::SupportsFMPresets, 0);
  const std::vector<Row> expected = {
      {NT_INFOROW, 1, "Model", "Dozi Jukebox", 0},
      {NT_INFOROW, 2, "Owner", "Owner", 0},
      {NT_INFOROW, 3, "Hardware Version", "1.0.0.0", 0},
      {NT_INFOROW, 4, "Firmware Version", "1.0.0.0", 0},
      {NT_INFOROW, 5, "Driver Version", "1.0.0.0", 0},
      {NT_INFOROW, 6, "Audio Support", "Yes", 0},
      {NT_INFOROW, 7, "Tag/Search Support", "Yes", 0},
      {NT_INFOROW, 8, "Playlist Support", "Yes", 0},
      {NT_INFOROW, 9, "Data Support", "Yes", 0},
      {NT_INFOROW, 10, "'Play on Jukebox' Support", "Yes", 0},
  };
  EXPECT_EQ(List(At({"Device Information"})), expected);
  // The folder's count is the number of rows it lists.
  for (const Row& r : List(nullptr)) {
    if (r.name == "Device Information") {
      EXPECT_EQ(r.value3, static_cast<int>(expected.size()));
    }
  }
}

TEST_F(FolderContentsTest, DataFoldersHonourTheFlags) {
  platform::LPITEMIDLIST documents = At({"Data Files", "Documents"});
  const std::vector<Row> folders = List(documents, platform::SHCONTF_FOLDERS);
  ASSERT_EQ(folders.size(), 1u);
  EXPECT_EQ(folders[0], (Row{NT_DATAFOLDER, static_cast<int>(c_.old.word[0]), "Old", "", 1}));
  EXPECT_EQ(Names(documents, platform::SHCONTF_NONFOLDERS), (std::vector<std::string>{"readme.txt", "list.csv"}));
}

TEST_F(FolderContentsTest, TheQueueMarksEntriesBeforeAtAndAfterTheCurrentOne) {
  for (const KernelId& t : {c_.harbour, c_.longRoad, c_.opening, c_.mirror}) device_.EnqueueTrack(t);
  device_.SetQueuePosition(2);
  std::vector<int> marks;
  std::vector<int> positions;
  for (const Row& r : List(At({"Active Queue"}))) {
    EXPECT_EQ(r.type, static_cast<std::uint32_t>(NT_QITEM));
    marks.push_back(r.value3);
    positions.push_back(r.position);
  }
  EXPECT_EQ(marks, (std::vector<int>{-1, -1, 0, 1}));
  EXPECT_EQ(positions, (std::vector<int>{0, 1, 2, 3}));
}

TEST_F(FolderContentsTest, SearchResultsGoneFromTheDeviceAreNotListedButStillCounted) {
  {
    std::lock_guard<std::mutex> lock(g_SearchResultsLock);
    g_SearchResults = {c_.mirror, c_.longRoad};
  }
  device_.DeleteAudioTrack(c_.mirror);
  const std::vector<Row> rows = List(At({"Search"}));
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].name, "Ada Lind - North Light - 02 - Long Road");
  EXPECT_EQ(rows[0].position, 1);
  for (const Row& r : List(nullptr)) {
    if (r.name == "Search") {
      EXPECT_EQ(r.value3, 2);
    }
  }
  std::lock_guard<std::mutex> lock(g_SearchResultsLock);
  g_SearchResults.clear();
}

TEST_F(FolderContentsTest, TheLastTransferListsAtMost1024Ids) {
  const std::string name = "Kor_Tx_LastTransfer" + GetShortSha1Hex(device_.Info().uniqueId);
  auto store = [&](std::size_t count) {
    std::vector<std::uint32_t> ids(count, 999999);
    ids[0] = c_.opening.word[0];
    ids[count - 1] = c_.harbour.word[0];
    Settings().Set(name, platform::ValueType::Binary,
                   std::string_view(reinterpret_cast<const char*>(ids.data()), ids.size() * 4));
  };
  store(1024);
  EXPECT_EQ(Names(At({"Last Transfer"})), (std::vector<std::string>{"Brass Fold - Metal Hours - 01 - Opening",
                                                                     "Ada Lind - North Light - 01 - Harbour"}));
  // A longer record (a transfer of more files) shows its first 1024 ids.
  store(1025);
  for (const Row& r : List(nullptr)) {
    if (r.name == "Last Transfer") {
      EXPECT_EQ(r.value3, 1024);
    }
  }
  EXPECT_EQ(Names(At({"Last Transfer"})), (std::vector<std::string>{"Brass Fold - Metal Hours - 01 - Opening"}));
}

TEST_F(FolderContentsTest, AStorageMediumListsAtMost256TracksThenItsOwnDataItems) {
  MemoryDevice big;
  big.SetCapability(DeviceOp::SupportsStorageList, 1);
  big.AddStorage("Card", 1000, 10);
  for (int i = 0; i < 300; ++i) big.AddTrack({.artist = "A", .title = "T" + std::to_string(i), .number = i});
  big.AddDataFile(KernelId(), "N0.AUX", "");
  big.AddDataFile(KernelId(), "AN0.AUX", "");
  Use(big);
  const std::vector<Row> rows = List(At({"Card"}));
  ASSERT_EQ(rows.size(), 257u);
  EXPECT_EQ(rows[255].position, 256);
  EXPECT_EQ(rows[256].type, static_cast<std::uint32_t>(NT_DATA));
  EXPECT_EQ(rows[256].position, 257);
  EXPECT_EQ(rows[256].name, "AN0.AUX");

  MemoryDevice empty;
  empty.SetCapability(DeviceOp::SupportsStorageList, 1);
  empty.AddStorage("Card", 1000, 10);
  Use(empty);
  EXPECT_EQ(List(At({"Card"})),
            (std::vector<Row>{{NT_ACTION, 0, "Memory is empty. Drag and drop your audio files here to transfer.", "", 0}}));
}

TEST_F(FolderContentsTest, AnEmptyPlayerSaysWhatToDo) {
  MemoryDevice empty;
  Use(empty);
  EXPECT_EQ(List(At({"Audio Tracks"})),
            (std::vector<Row>{{NT_ACTION, 0, "Player is empty. Drag and drop your audio files here to transfer.", "", 0}}));

  class DatabasePlayer : public MemoryDeviceBase {
   public:
    int UsesTrackDatabase() override { return 1; }
  } database;
  Use(database);
  const std::vector<Row> rows = List(At({"Audio Tracks"}), platform::SHCONTF_FOLDERS);
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(rows[0], (Row{NT_NOTICE, 0, "No tracks found in the Ombrix Suite database.", "", 0}));
  EXPECT_EQ(rows[1].name.size(), 93u);
  EXPECT_EQ(rows[1].name.substr(0, 22), "If this is your first ");
  EXPECT_EQ(rows[3].type, static_cast<std::uint32_t>(NT_ACTION));
  EXPECT_EQ(rows[3].position, 3);
}

TEST_F(FolderContentsTest, DeviceIndex8HasNoPlaylistIndex) {
  class Index8 : public MemoryDeviceBase {
   public:
    Index8() { deviceIndex_ = 8; }
  } device;
  device.AddPlaylist("Only");
  Use(device);
  EXPECT_EQ(List(At({"Playlists"})), (std::vector<Row>{{NT_PLAYLIST, 1, "Only", "", 0}}));
}

// ---- The text rows of the connection checks ----

class Phase1Device : public MemoryDeviceBase {
 public:
  std::string hostVersion;
  int modelOk = 1;
  bool refuseConnect = false;
  std::string GetHostVersion() override { return hostVersion; }
  int VerifyDeviceModel(const KernelId&, FixedString256& expected, FixedString256& actual) override {
    expected.Set("Jukebox 1");
    actual.Set("Dozi Zed 2");
    return modelOk;
  }
  void Connect() override {
    if (refuseConnect) throw KernelDeviceClientException(0, "Device Connection", "Kestrova Manager is not running.");
    MemoryDeviceBase::Connect();
  }
};

TEST_F(FolderContentsTest, ConnectionChecksShowTheirBlocksOnlyWithNonFolders) {
  Settings().SetString("URL_Help", "https://help.example/");
  Settings().SetString("URL_SupportMail", "mailto:help@example.org");
  std::string own;
  GetModuleVersion(own);
  struct Case {
    const char* what;
    std::string host;
    int modelOk;
    bool refuseConnect;
    std::vector<Row> rows;
  };
  const Case cases[] = {
      {"not connected", own, 1, true,
       {{NT_ERROR, 0, "Ombrix Suite cannot currently establish communication with your device.", "", 0},
        {NT_MESSAGE, 1, "Please make sure that Kestrova Manager is running in the systray and", "", 0},
        {NT_MESSAGE, 2, "verify that your device is on and properly connected.", "", 0},
        {NT_HELPLINK, 3, "For more help, double-click here to browse to our online Troubleshooter.",
         "https://help.example/", 0}}},
      {"versions differ", "9.9.9", 1, false,
       {{NT_ERROR, 0, "The installed versions of Ombrix Jukebox and Kestrova Manager are different:", "", 0},
        {NT_MESSAGE, 1, "File manager: " + own + ", Manager: 9.9.9", "", 0},
        {NT_MESSAGE, 2, "If you just upgraded, please reboot so Ombrix Suite can update the remaining files.", "", 0},
        {NT_HELPLINK, 4,
         "If this message persists, please follow the clean-reinstall steps in section 2.2.4 of the Ombrix Suite "
         "Fennwick.",
         "https://help.example/", 0}}},
      {"no version", "", 1, false,
       {{NT_ERROR, 0, "It appears Kestrova Manager timed out while counting items on your device.", "", 0},
        {NT_MESSAGE, 1, "Please try closing this file manager window and opening a new one.", "", 0},
        {NT_HELPLINK, 3, "If this problem persists, please contact us by double-clicking here.",
         "mailto:help@example.org", 0}}},
      {"wrong model", own, 0, false,
       {{NT_ERROR, 0, "The device currently connected is not a 'Jukebox 1'.", "", 0},
        {NT_MESSAGE, 1, "It is a 'Dozi Zed 2'.", "", 0},
        {NT_MESSAGE, 2, "Make sure you are using the correct systray icon to connect.", "", 0},
        {NT_HELPLINK, 3, "For more help, double-click here to browse section 2.3.2 of the Ombrix Suite Fennwick.",
         "https://help.example/", 0}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Phase1Device device;
    device.hostVersion = c.host;
    device.modelOk = c.modelOk;
    device.refuseConnect = c.refuseConnect;
    Use(device);
    EXPECT_EQ(List(nullptr), c.rows);
    EXPECT_TRUE(List(nullptr, platform::SHCONTF_FOLDERS).empty());
    // A folder below the root shows the same block.
    EXPECT_EQ(List(Folder(NT_CONTAINER, kKindAudioTracks)), c.rows);
  }
}

// ---- Failed requests ----

TEST_F(FolderContentsTest, AFailedRequestIsReportedAndKeepsWhatWasListed) {
  platform::LPITEMIDLIST artists = At({"Artists"});
  device_.FailWithError(DeviceOp::GetNextArtist, platform::E_FAIL, "Memory Device", "The walk broke.");
  platform::ScriptedHost host;
  host.ExpectMessageBox(platform::IDOK, "Could not access artists.");
  EXPECT_EQ(Names(artists), (std::vector<std::string>{"Ada Lind"}));
  EXPECT_NE(host.ShownTexts().at(0).find("The walk broke."), std::string::npos);
  device_.ClearFailures();

  struct Case {
    std::vector<std::string> path;
    DeviceOp op;
    const char* report;
  };
  const Case cases[] = {
      {{"Audio Tracks"}, DeviceOp::GetFirstAudioTrackInfo, "Could not access audio tracks."},
      {{"Playlists", "Evening"}, DeviceOp::GetFirstPlaylistItem, "Could not access playlist items."},
      {{"FM Radio Tuner"}, DeviceOp::GetFMPresetFrequency, "Could not access FM presets."},
      {{"Genres", "Jazz"}, DeviceOp::GetFirstTrackByTags, "Could not access genre tracks."},
      {{"Data Files", "Documents"}, DeviceOp::GetDataItemName, "Could not access data files."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.report);
    platform::LPITEMIDLIST folder = At(c.path);
    device_.FailWithError(c.op);
    platform::ScriptedHost failing;
    failing.ExpectMessageBox(platform::IDOK, c.report);
    EXPECT_TRUE(Names(folder).empty());
    device_.ClearFailures();
  }
}

TEST_F(FolderContentsTest, TheRootReportsAFailureAndATimeOutInItsOwnWords) {
  device_.FailWithError(DeviceOp::GetFirstPlaylist);
  {
    platform::ScriptedHost host;
    host.ExpectMessageBox(platform::IDOK, "Could not access device.  Kestrova Manager may not be running.");
    const std::vector<std::string> names = Names(nullptr);
    EXPECT_EQ(names.back(), "Active Queue");  // what came before the failure stays
  }
  device_.ClearFailures();

  class SlowPlaylists : public MemoryDeviceBase {
   public:
    int GetFirstPlaylist(KernelId&) override { throw ManagerTimeoutError(8020); }
  } slow;
  Use(slow);
  platform::ScriptedHost host;
  host.ExpectMessageBox(platform::IDOK,
                        "Kestrova Manager timed out while counting the number of playlists\non your device (op: 8020).");
  Names(nullptr);
}

TEST_F(FolderContentsTest, DeviceInformationThatFailsShowsTwoBoxes) {
  device_.FailWithError(DeviceOp::GetOwnerName, platform::E_FAIL, "Memory Device", "No owner today.");
  platform::ScriptedHost host;
  host.ExpectMessageBox(platform::IDOK, "Could not display Device Info items.");
  host.ExpectMessageBox(platform::IDOK, "No owner today.");
  EXPECT_EQ(Names(At({"Device Information"})).size(), 2u);  // Model and Date/Time
}

TEST_F(FolderContentsTest, AListWithoutAnItemOfOursIsAnEmptyFolder) {
  const std::vector<std::uint8_t> foreign = {6, 0, 'a', 'b', 'c', 'd', 0, 0};
  platform::LPITEMIDLIST list = platform::ItemIdListFromBytes(foreign.data(), foreign.size());
  EXPECT_TRUE(List(list).empty());
  platform::FreeItemIdList(list);
}

}  // namespace
}  // namespace shellexttest
