// The playlist commands on the in-memory player: making, filling and emptying playlists,
// and backups written to and restored from ".rpb" files, hostile names included.
#include "shellext/playlist_commands.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/folders.h"
#include "testing/shell_commands.h"
#include "shellext/enum_id_list.h"

using namespace device;

namespace shellexttest {
namespace {

using namespace shellext;
using platform::IDNO;
using platform::IDOK;
using platform::IDYES;

const bool kIsolated = platform::testing::IsolateNamespace();

// The backup record of a track: the content id's 20 bytes.
std::string Record(const std::string& artist, const std::string& album, const std::string& title) {
  const std::string hex = KernelDevice::MakeContentId(artist, album, title);
  std::string bytes;
  for (std::size_t i = 0; i < hex.size(); i += 2) bytes += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
  return bytes;
}

class PlaylistCommandsTest : public CommandsTest {
 protected:
  std::string Folder(const std::string& name) {
    const std::string folder = root_ + "/" + name;
    std::filesystem::create_directories(folder);
    return folder;
  }
  std::string FileBytes(const std::string& posix) { return ReadFileBytes(platform::FromPosixPath(posix)).value_or("(none)"); }
  std::vector<std::string> FilesIn(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::recursive_directory_iterator(folder)) {
      names.push_back(std::filesystem::relative(e.path(), folder).string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }
};

TEST_F(PlaylistCommandsTest, NewPlaylistAsksUntilANameIsGivenAndRefusesBlankAndTakenNames) {
  Items(nullptr);  // the root's listing records the Playlists folder
  ExpectName("type name here", "   ", "Playlist Name");
  ExpectName("   ", " Road Mix\\ ");  // trimmed, one trailing backslash goes
  Invoke(3045, {"Playlists"});
  EXPECT_TRUE(device_.PlaylistItems(PlaylistNamed("Road Mix")).empty());

  ExpectName("type name here", "Evening");
  host_.ExpectMessageBox(IDOK, "Playlist 'Evening' already exists.");
  Invoke(3045, {"Playlists"});
  ExpectName("type name here", "\\");
  host_.ExpectMessageBox(IDOK, "Playlist name cannot be blank.");
  Invoke(3045, {"Playlists"});
  ExpectName("type name here", std::nullopt);
  Invoke(3045, {"Playlists"});
  // A menu with nothing selected makes one all the same.
  ExpectName("type name here", "Bare");
  Invoke(3045, {});
  EXPECT_EQ(PlaylistNames(), (std::vector<std::string>{"Bare", "Evening", "Jazz Mix", "Road Mix"}));
}

// Before the "Playlists" folder was ever listed there is no list to send a notice for:
// the playlist is made all the same, and nothing says otherwise.
TEST_F(PlaylistCommandsTest, MakingAPlaylistBeforeThePlaylistsFolderWasListedIsASuccess) {
  ASSERT_EQ(GetFixedFolderList(FixedFolder::kPlaylists), nullptr);
  SortableKernelIdArray tracks(&device_);
  tracks.push_back(catalogue_.mirror);
  tracks.push_back(catalogue_.harbour);
  std::string name = "Fresh";
  EXPECT_EQ(CreateDevicePlaylist(false, name, &tracks, true), 2);
  EXPECT_EQ(Words(TracksOf("Fresh")), Words({catalogue_.mirror, catalogue_.harbour}));
  EXPECT_TRUE(host_.prompts().empty());
}

TEST_F(PlaylistCommandsTest, MakingAPlaylistOfTracksReportsItsOutcome) {
  SortableKernelIdArray two(&device_);
  two.push_back(catalogue_.opening);
  two.push_back(catalogue_.longRoad);
  ExpectName("type name here", "Two");
  host_.ExpectMessageBox(IDOK, "Playlist 'Two' created with 2 tracks.");
  CreatePlaylistFromTracks(two);
  SortableKernelIdArray one(&device_);
  one.push_back(catalogue_.opening);
  ExpectName("type name here", "One");
  host_.ExpectMessageBox(IDOK, "Playlist 'One' created with 1 track.");
  CreatePlaylistFromTracks(one);
  ExpectName("type name here", "Two");
  host_.ExpectMessageBox(IDOK, "Playlist 'Two' already exists.");
  host_.ExpectMessageBox(IDOK, "Could not create playlist using selected items.");
  CreatePlaylistFromTracks(one);
  // A player that refuses the tracks: its status number, and the playlist stays.
  device_.FailWithStatus(DeviceOp::AddPendingToPlaylist, 8, "Storage full.", 1);
  ExpectName("type name here", "Full");
  host_.ExpectMessageBox(IDOK, "8");
  host_.ExpectMessageBox(IDOK, "Playlist 'Full' created with 1 track.");
  CreatePlaylistFromTracks(one);
  EXPECT_NE(PlaylistNamed("Full").word[0], 0u);
  EXPECT_EQ(Words(TracksOf("Two")), Words({catalogue_.opening, catalogue_.longRoad}));
}

// Without the person: an existing name answers -1, or with JB_Tx_OverwritePlaylists the
// old playlist is rebuilt with the tracks, never losing them on the way.
TEST_F(PlaylistCommandsTest, NonInteractiveCreationOverwritesOnlyWhenAskedToAndLosesNothing) {
  SortableKernelIdArray tracks(&device_);
  tracks.push_back(catalogue_.mirror);
  std::string name = "Evening";
  EXPECT_EQ(CreateDevicePlaylist(false, name, &tracks, false), -1);
  EXPECT_EQ(Words(TracksOf("Evening")), Words({catalogue_.harbour, catalogue_.opening}));

  Settings().SetDword("JB_Tx_OverwritePlaylists", 1);
  device_.FailWithStatus(DeviceOp::AddPendingToPlaylist, 8, "Storage full.", 1);
  EXPECT_EQ(CreateDevicePlaylist(false, name, &tracks, false), -1);
  EXPECT_EQ(Words(TracksOf("Evening")), Words({catalogue_.harbour, catalogue_.opening}));
  EXPECT_EQ(PlaylistNames(), (std::vector<std::string>{"Evening", "Jazz Mix"}));

  EXPECT_EQ(CreateDevicePlaylist(false, name, &tracks, false), 1);
  EXPECT_EQ(Words(TracksOf("Evening")), Words({catalogue_.mirror}));
  EXPECT_EQ(PlaylistNames(), (std::vector<std::string>{"Evening", "Jazz Mix"}));
  EXPECT_TRUE(host_.prompts().empty());
}

TEST_F(PlaylistCommandsTest, AddingTracksSaysHowManyUnlessSilenced) {
  const struct {
    std::vector<KernelId> tracks;
    std::uint32_t quiet;
    const char* message;  // nullptr: none
  } kCases[] = {
      {{catalogue_.harbour}, 0, "1 track added to playlist Jazz Mix."},
      {{catalogue_.mirror, catalogue_.longRoad}, 0, "2 tracks added to playlist Jazz Mix."},
      {{catalogue_.harbour}, 1, nullptr},
  };
  std::vector<KernelId> expected = {catalogue_.opening};
  for (const auto& c : kCases) {
    Settings().SetDword("Gen_DisableCompletionConfirmations", c.quiet);
    SortableKernelIdArray tracks(&device_);
    tracks.assign(c.tracks.begin(), c.tracks.end());
    if (c.message) host_.ExpectMessageBox(IDOK, c.message);
    EXPECT_EQ(AddTracksToPlaylist(catalogue_.jazzMix, tracks), 1);
    expected.insert(expected.end(), c.tracks.begin(), c.tracks.end());
  }
  EXPECT_EQ(Words(TracksOf("Jazz Mix")), Words(expected));
  device_.FailWithError(DeviceOp::AddPendingToPlaylist, platform::E_FAIL, "Memory Device", "The player went away.", 1);
  host_.ExpectMessageBox(IDOK, "Could not add track(s) to playlist.");
  SortableKernelIdArray one(&device_);
  one.push_back(catalogue_.harbour);
  AddTracksToPlaylist(catalogue_.jazzMix, one);
}

TEST_F(PlaylistCommandsTest, RemovingTakesEntriesOutOfThePlaylistAndTracksOutOfTheQueue) {
  const KernelId long3 = device_.AddPlaylist("Three", {catalogue_.harbour, catalogue_.longRoad, catalogue_.mirror});
  (void)long3;
  Invoke(3085, {"Playlists", "Three"},
         {"Ada Lind - North Light - 01 - Harbour", "Cyra - Glass Rooms - 07 - Mirror"});
  EXPECT_EQ(Words(TracksOf("Three")), Words({catalogue_.longRoad}));

  // A track queued twice leaves the queue whole.
  for (const KernelId& t : {catalogue_.mirror, catalogue_.opening, catalogue_.mirror}) device_.EnqueueTrack(t);
  Invoke(3085, {"Active Queue"}, {"Cyra - Glass Rooms - 07 - Mirror"});
  EXPECT_EQ(Words(device_.GetQueue()), Words({catalogue_.opening}));

  host_.ExpectMessageBox(IDOK, "This item cannot be removed.");
  Invoke(3085, {"Playlists"}, {"Evening"});
  host_.ExpectMessageBox(IDOK, "Please select at least one item to remove.");
  RemoveFromPlaylistOrQueue(CPidlLast(At({"Playlists", "Evening"})), CPidlList());
  EXPECT_EQ(PlaylistNames(), (std::vector<std::string>{"Evening", "Jazz Mix", "Three"}));
}

// Each selected entry goes at its own place: of two entries of one track, the other one
// stays where it was.
TEST_F(PlaylistCommandsTest, RemovingAnEntryTakesThatEntryNotItsTwin) {
  const Catalogue& c = catalogue_;
  const struct {
    std::vector<std::size_t> rows;  // listed from 0
    std::vector<KernelId> left;
  } kCases[] = {
      {{2}, {c.mirror, c.harbour, c.opening}},
      {{0}, {c.harbour, c.mirror, c.opening}},
      {{0, 2}, {c.harbour, c.opening}},
      {{1, 2}, {c.mirror, c.opening}},
  };
  for (const auto& k : kCases) {
    if (const KernelId old = PlaylistNamed("Twice"); old.word[0] != 0) device_.DeletePlaylist(old);
    device_.AddPlaylist("Twice", {c.mirror, c.harbour, c.mirror, c.opening});
    const platform::LPITEMIDLIST twice = At({"Playlists", "Twice"});
    const std::vector<ShellItemData> listed = Items(twice);
    ASSERT_EQ(listed.size(), 4u);
    std::vector<platform::LPITEMIDLIST> lists;
    CPidlList selection;
    for (std::size_t row : k.rows) {
      lists.push_back(MakeList(listed[row]));
      selection.emplace_back(lists.back());
    }
    RemoveFromPlaylistOrQueue(CPidlLast(twice), selection);
    EXPECT_EQ(Words(TracksOf("Twice")), Words(k.left)) << k.rows.size() << " rows from " << k.rows.front();
    for (platform::LPITEMIDLIST list : lists) platform::FreeItemIdList(list);
  }
  EXPECT_TRUE(host_.prompts().empty());
}

// Two playlist entries and a queue entry in one selection, a playlist entry first: the
// entries leave the playlist, every queue entry of the third item's track leaves the queue.
TEST_F(PlaylistCommandsTest, AMixedSelectionRemovesFromBoth) {
  device_.EnqueueTrack(catalogue_.longRoad);
  device_.EnqueueTrack(catalogue_.harbour);
  device_.EnqueueTrack(catalogue_.longRoad);
  const platform::LPITEMIDLIST evening = At({"Playlists", "Evening"});
  CPidlList selection;
  selection.emplace_back(Child(evening, "Ada Lind - North Light - 01 - Harbour"));
  selection.emplace_back(Child(evening, "Brass Fold - Metal Hours - 01 - Opening"));
  selection.emplace_back(Child(At({"Active Queue"}), "Ada Lind - North Light - 02 - Long Road"));
  RemoveFromPlaylistOrQueue(CPidlLast(evening), selection);
  EXPECT_TRUE(TracksOf("Evening").empty());
  EXPECT_EQ(Words(device_.GetQueue()), Words({catalogue_.harbour}));
  device_.FailWithError(DeviceOp::RemovePendingFromPlaylist, platform::E_FAIL, "Memory Device", "The player went away.", 1);
  host_.ExpectMessageBox(IDOK, "Could not remove items.");
  CPidlList jazz;
  jazz.emplace_back(Child(At({"Playlists", "Jazz Mix"}), "Brass Fold - Metal Hours - 01 - Opening"));
  RemoveFromPlaylistOrQueue(CPidlLast(At({"Playlists", "Jazz Mix"})), jazz);
}

// Three entries give 60 bytes: each the content id of its track, in playlist order (two
// entries of one track give the same record); an empty playlist an empty file.
TEST_F(PlaylistCommandsTest, ABackupHoldsTheContentIdOfEachEntryInOrder) {
  device_.AddPlaylist("Three", {catalogue_.mirror, catalogue_.harbour, catalogue_.mirror});
  device_.AddPlaylist("Empty");
  const std::string folder = Folder("backups");
  host_.ExpectFolderPicker(folder, "Select a folder where playlist backup(s) will be created:");
  host_.ExpectMessageBox(IDOK, "Playlist backup complete.");
  Invoke(3037, {"Playlists"}, {"Three", "Empty", "[ Playlist Index ]"});
  const std::string mirror = Record("Cyra", "Glass Rooms", "Mirror");
  EXPECT_EQ(FileBytes(folder + "/Three.rpb"), mirror + Record("Ada Lind", "North Light", "Harbour") + mirror);
  EXPECT_EQ(FileBytes(folder + "/Three.rpb").size(), 60u);
  EXPECT_EQ(FileBytes(folder + "/Empty.rpb"), "");
  EXPECT_EQ(FilesIn(folder), (std::vector<std::string>{"Empty.rpb", "Three.rpb"}));

  // Every playlist; Cancel in the folder picker ends it without a word.
  host_.ExpectFolderPicker(Folder("all"));
  host_.ExpectMessageBox(IDOK, "Playlist backup complete.");
  Invoke(4030, {"Playlists"});
  EXPECT_EQ(FilesIn(root_ + "/all"),
            (std::vector<std::string>{"Empty.rpb", "Evening.rpb", "Jazz Mix.rpb", "Three.rpb"}));
  host_.ExpectFolderPicker(std::nullopt);
  Invoke(4030, {"Playlists"});
}

// A playlist's name never leads out of the chosen folder or into a sub-folder, and two
// names that come out alike do not overwrite each other.
TEST_F(PlaylistCommandsTest, HostileNamesStayInsideTheBackupFolder) {
  const struct {
    const char* playlist;
    const char* file;
  } kCases[] = {
      {"a/b:c", "a_b_c.rpb"},         {"..", "__.rpb"},
      {"../../evil", "___.._evil.rpb"}, {"x\\y", "x_y.rpb"},
      {"C:\\Windows\\z", "C__Windows_z.rpb"}, {"tab\there\nnow", "tab_here_now.rpb"},
      {".hidden", "_hidden.rpb"},     {"what?<*>|\"", "what______.rpb"},
      {"a_b_c", "a_b_c (2).rpb"},     {"Café ☕", "Café ☕.rpb"},
  };
  std::vector<KernelId> playlists;
  std::vector<std::string> expected;
  for (const auto& c : kCases) {
    playlists.push_back(device_.AddPlaylist(c.playlist, {catalogue_.opening}));
    expected.push_back(c.file);
  }
  std::sort(expected.begin(), expected.end());
  const std::string folder = Folder("out/backups");
  host_.ExpectFolderPicker(folder);
  host_.ExpectMessageBox(IDOK, "Playlist backup complete.");
  BackupPlaylists(playlists);
  EXPECT_EQ(FilesIn(folder), expected);
  std::vector<std::string> beside;  // nothing beside the chosen folder
  for (const auto& e : std::filesystem::directory_iterator(root_ + "/out")) beside.push_back(e.path().filename());
  EXPECT_EQ(beside, (std::vector<std::string>{"backups"}));
  for (const std::string& file : expected) EXPECT_EQ(FileBytes(folder + "/" + file).size(), 20u) << file;
  EXPECT_EQ(BackupFileName(""), "_.rpb");
}

// Failures are told once, in one box; "complete" is said only when a backup was written.
TEST_F(PlaylistCommandsTest, APlaylistThatCannotBeWrittenIsNamedAndTheOthersGoOn) {
  const std::string folder = Folder("backups");
  std::filesystem::create_directories(folder + "/Evening.rpb");  // a folder where the file should go
  host_.ExpectFolderPicker(folder);
  host_.ExpectMessageBox(IDOK, "Could not write playlist backup file Evening.rpb.");
  host_.ExpectMessageBox(IDOK, "Playlist backup complete.");
  BackupPlaylists({catalogue_.evening, catalogue_.jazzMix});
  EXPECT_EQ(FileBytes(folder + "/Jazz Mix.rpb").size(), 20u);
  device_.FailWithError(DeviceOp::GetTrackArtist, platform::E_FAIL, "Memory Device", "The player went away.", 1);
  host_.ExpectFolderPicker(Folder("second"));
  host_.ExpectMessageBox(IDOK, "Could not write playlist backup file Jazz Mix.rpb.");
  BackupPlaylists({catalogue_.jazzMix});
  EXPECT_TRUE(FilesIn(root_ + "/second").empty());  // no partial file

  // A folder that is not there: one message for all the playlists, and nothing written.
  const std::string missing = root_ + "/gone/away";
  host_.ExpectFolderPicker(missing);
  host_.ExpectMessageBox(IDOK, "The folder " + missing + " does not exist.\nNo playlist backups were written.");
  Invoke(4030, {"Playlists"});
  EXPECT_EQ(host_.pendingAnswers(), 0u);
  EXPECT_FALSE(std::filesystem::exists(root_ + "/gone"));
}

TEST_F(PlaylistCommandsTest, ARestoreFindsEachTrackByItsContentIdAndCountsTheMissing) {
  const std::string folder = Folder("backups");
  const std::string unknown = Record("Nobody", "Nowhere", "Nothing");
  ASSERT_TRUE(ReplaceFileBytes(platform::FromPosixPath(folder + "/Old Mix.rpb"),
                               Record("cyra ", "GLASS ROOMS", " Mirror") + unknown + Record("Ada Lind", "North Light", "Long Road")));
  host_.ExpectFilePicker(folder + "/Old Mix.rpb", "Select a playlist backup to restore:");
  ExpectName("Old Mix", "Old Mix");
  host_.ExpectMessageBox(IDOK, "Playlist 'Old Mix' restored with 2 tracks.\n1 track of the backup is not on the player.");
  Invoke(4040, {"Playlists"});
  EXPECT_EQ(Words(TracksOf("Old Mix")), Words({catalogue_.mirror, catalogue_.longRoad}));

  // Over an existing playlist only when the person agrees; the old one goes only then.
  host_.ExpectFilePicker(folder + "/Old Mix.rpb");
  ExpectName("Old Mix", "Evening");
  host_.ExpectMessageBox(IDNO, "Playlist 'Evening' already exists.");
  Invoke(4040, {"Playlists"});
  EXPECT_EQ(Words(TracksOf("Evening")), Words({catalogue_.harbour, catalogue_.opening}));
  host_.ExpectFilePicker(folder + "/Old Mix.rpb");
  ExpectName("Old Mix", "Evening");
  host_.ExpectMessageBox(IDYES, "Playlist 'Evening' already exists.");
  host_.ExpectMessageBox(IDOK, "Playlist 'Evening' restored with 2 tracks.");
  Invoke(4040, {"Playlists"});
  EXPECT_EQ(Words(TracksOf("Evening")), Words({catalogue_.mirror, catalogue_.longRoad}));
  EXPECT_EQ(PlaylistNames(), (std::vector<std::string>{"Evening", "Jazz Mix", "Old Mix"}));
}

TEST_F(PlaylistCommandsTest, ABackupRoundTripsAndFilesThatAreNoBackupChangeNothing) {
  const std::string folder = Folder("backups");
  host_.ExpectFolderPicker(folder);
  host_.ExpectMessageBox(IDOK, "Playlist backup complete.");
  BackupPlaylists({catalogue_.evening});
  host_.ExpectFilePicker(folder + "/Evening.rpb");
  ExpectName("Evening", "Evening again");
  host_.ExpectMessageBox(IDOK, "restored with 2 tracks.");
  RestorePlaylist();
  EXPECT_EQ(Words(TracksOf("Evening again")), Words(TracksOf("Evening")));

  ASSERT_TRUE(ReplaceFileBytes(platform::FromPosixPath(folder + "/short.rpb"), std::string(21, 'x')));
  host_.ExpectFilePicker(folder + "/short.rpb");
  host_.ExpectMessageBox(IDOK, "is not a playlist backup.");
  RestorePlaylist();
  host_.ExpectFilePicker(folder + "/missing.rpb");
  host_.ExpectMessageBox(IDOK, "Could not read the file");
  RestorePlaylist();
  // What else a person may pick: none of it hangs the file manager or fills its memory.
  ASSERT_EQ(::mkfifo((folder + "/fifo.rpb").c_str(), 0600), 0);
  ASSERT_EQ(::symlink("/dev/zero", (folder + "/zero.rpb").c_str()), 0);
  ASSERT_TRUE(ReplaceFileBytes(platform::FromPosixPath(folder + "/huge.rpb"), ""));
  ASSERT_EQ(::truncate((folder + "/huge.rpb").c_str(), 200 << 20), 0);
  const struct {
    const char* name;
    const char* reason;
  } unread[] = {{"fifo.rpb", "not a regular file"}, {"zero.rpb", "not a regular file"}, {"huge.rpb", "larger than 2 MB"}};
  for (const auto& u : unread) {
    host_.ExpectFilePicker(folder + "/" + u.name);
    host_.ExpectMessageBox(IDOK, "Could not read the file " + folder + "/" + u.name + ": " + u.reason + ".");
    RestorePlaylist();
  }
  host_.ExpectFilePicker(std::nullopt);
  RestorePlaylist();
  // The player refuses the tracks: no half-made playlist stays.
  device_.FailWithStatus(DeviceOp::AddPendingToPlaylist, 8, "Storage full.", 1);
  host_.ExpectFilePicker(folder + "/Evening.rpb");
  ExpectName("Evening", "Refused");
  host_.ExpectMessageBox(IDOK, "Could not restore playlist 'Refused' (error 8).");
  RestorePlaylist();
  EXPECT_EQ(PlaylistNames(), (std::vector<std::string>{"Evening", "Evening again", "Jazz Mix"}));
}

}  // namespace
}  // namespace shellexttest
