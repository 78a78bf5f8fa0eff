// The play, queue, delete and copy commands on the in-memory player, run through a
// folder's context menu with a selection as the view runs them.
#include "shellext/item_commands.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/paths/paths.h"
#include "platform/shell/shell.h"
#include "platform/ui/scripted_host.h"
#include "shellext/context_menu.h"
#include "shellext/copy_to_computer.h"
#include "testing/shell_commands.h"

using namespace device;

namespace shellexttest {
namespace {

namespace fs = std::filesystem;
using platform::IDNO;
using platform::IDOK;
using platform::IDYES;

std::string ReadAll(const std::string& posix) {
  std::ifstream in(posix, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

class ItemCommands : public CommandRunner {
 protected:
  void SetUp() override {
    LibraryTest::SetUp();
    catalogue_ = Seed(device_);
    Use(device_);
    Settings().SetDword("Gen_Tx_AutoCloseDialog", 1);  // nobody presses Close
  }

  // The selection of children named `names` of the folder at `path`.
  shellext::CPidlList Selection(const std::vector<std::string>& path, const std::vector<std::string>& names) {
    platform::LPITEMIDLIST folder = path.empty() ? nullptr : At(path);
    shellext::CPidlList selection;
    for (const std::string& name : names) {
      platform::LPITEMIDLIST item = Child(folder, name);
      EXPECT_NE(item, nullptr) << name;
      if (item != nullptr) selection.emplace_back(item);
    }
    return selection;
  }

  std::vector<KernelId> Queue() {
    std::vector<KernelId> ids;
    KernelId t;
    for (int n = device_.GetFirstQueueEntry(t); n != 0; n = device_.GetNextQueueEntry(t)) ids.push_back(t);
    return ids;
  }

  std::string Destination(const std::string& name) {
    const std::string folder = root_ + "/" + name;
    fs::create_directories(folder);
    return folder;
  }

  KernelDevice& Player() override { return device_; }

  MemoryDevice device_;
  Catalogue catalogue_;
};

TEST_F(ItemCommands, TheTracksASelectionStandsFor) {
  const auto& c = catalogue_;
  struct Case {
    std::vector<std::string> path;
    std::vector<std::string> names;
    std::vector<KernelId> tracks;
  };
  const Case cases[] = {
      // Tracks of a plain folder come in the player's default order, whatever was picked first.
      {{"Audio Tracks"}, {"Cyra - Glass Rooms - 07 - Mirror", "Ada Lind - North Light - 02 - Long Road",
                          "Ada Lind - North Light - 01 - Harbour"},
       {c.harbour, c.longRoad, c.mirror}},
      // Playlist entries are each put in front: the reverse of the selection.
      {{"Playlists", "Evening"}, {"Ada Lind - North Light - 01 - Harbour", "Brass Fold - Metal Hours - 01 - Opening"},
       {c.opening, c.harbour}},
      // A playlist keeps its own order; an artist's folder has its tracks.
      {{"Playlists"}, {"Evening"}, {c.harbour, c.opening}},
      {{"Artists"}, {"Ada Lind"}, {c.harbour, c.longRoad}},
      {{"Genres"}, {"Jazz"}, {c.opening}},
  };
  for (const Case& k : cases) {
    SortableKernelIdArray ids(&device_);
    shellext::CollectSelectionTrackIds(Selection(k.path, k.names), ids);
    EXPECT_EQ(std::vector<KernelId>(ids.begin(), ids.end()), k.tracks) << k.path.back();
  }
}

TEST_F(ItemCommands, PlayOnThePlayerReplacesTheQueueAndQueueingAppends) {
  device_.EnqueueTrack(catalogue_.opening);
  Invoke(3050, {"Audio Tracks"},
         {"Cyra - Glass Rooms - 07 - Mirror", "Ada Lind - North Light - 01 - Harbour",
          "Ada Lind - North Light - 02 - Long Road"});
  EXPECT_EQ(Queue(), (std::vector<KernelId>{catalogue_.harbour, catalogue_.longRoad, catalogue_.mirror}));
  EXPECT_EQ(device_.IsPlaybackStopped(), 0);
  Invoke(3055, {"Playlists"}, {"Jazz Mix"});
  EXPECT_EQ(Queue().size(), 4u);
  EXPECT_EQ(Queue().back(), catalogue_.opening);
}

TEST_F(ItemCommands, PlayOnTheComputerOpensAStreamPlaylist) {
  platform::ShellOpenRecording shell;
  Invoke(3075, {"Playlists"}, {"Evening"});
  ASSERT_EQ(shell.calls().size(), 1u);
  const std::string text = ReadAll(shell.calls()[0].target);
  EXPECT_EQ(text.rfind("#EXTM3U\r\n#EXTINF:180,Ada Lind - North Light - 01 - Harbour.mp3\r\nhttp://127.0.0.1:8047/stream/", 0),
            0u)
      << text;
  EXPECT_NE(text.find("#EXTINF:210,Brass Fold - Metal Hours - 01 - Opening.wav\r\n"), std::string::npos) << text;
}

TEST_F(ItemCommands, DeletingEachKindOfItem) {
  struct Case {
    std::vector<std::string> path;
    std::string name;
    std::function<bool(MemoryDevice&)> gone;
  };
  const Catalogue& c = catalogue_;
  const Case cases[] = {
      {{"Audio Tracks"}, "Cyra - Glass Rooms - 07 - Mirror", [&](MemoryDevice& d) { return d.TrackExists(c.mirror) == 0; }},
      {{"Playlists"}, "Jazz Mix",
       [](MemoryDevice& d) {
         KernelId p;
         return d.GetFirstPlaylist(p) == 1 && d.GetPlaylistName(p) == "Evening";
       }},
      {{"Data Files"}, "Documents",
       [](MemoryDevice& d) {
         KernelId item;
         return d.GetFirstDataItem(d.DataRoot(), item) == 1 && item.GetName() == "top.txt";
       }},
      {{"Data Files"}, "top.txt",
       [](MemoryDevice& d) {
         KernelId item;
         return d.GetFirstDataItem(d.DataRoot(), item) == 1 && item.GetName() == "Documents";
       }},
      {{"Notes"}, "Shopping", [](MemoryDevice& d) { KernelId n; return d.GetFirstNote(d.NotesRoot(), n) == 0; }},
      {{"Contacts"}, "Mara Quill", [](MemoryDevice& d) { KernelId n; return d.GetFirstContact(d.ContactsRoot(), n) == 0; }},
      // A playlist entry's track goes from the player.
      {{"Playlists", "Jazz Mix"}, "Brass Fold - Metal Hours - 01 - Opening",
       [&](MemoryDevice& d) {
         KernelId entry;
         return d.TrackExists(c.opening) == 0 && d.GetFirstPlaylistItem(c.jazzMix, entry) == 0;
       }},
  };
  for (const Case& k : cases) {
    MemoryDevice fresh;
    Seed(fresh);
    Use(fresh);
    host_.ExpectMessageBox(IDYES, "Are you sure you want to delete the selected items?");
    Invoke(3035, k.path, {k.name});
    EXPECT_TRUE(k.gone(fresh)) << k.name;
    EXPECT_EQ(host_.pendingAnswers(), 0u) << k.name;
  }
  Use(device_);
}

TEST_F(ItemCommands, DeletingAnArtistsFolderTakesItsTracks) {
  host_.ExpectMessageBox(IDYES, "Are you sure");
  Invoke(3035, {"Artists"}, {"Ada Lind"});
  EXPECT_EQ(device_.TrackExists(catalogue_.harbour), 0);
  EXPECT_EQ(device_.TrackExists(catalogue_.longRoad), 0);
  EXPECT_NE(device_.TrackExists(catalogue_.opening), 0);
  EXPECT_EQ(Names(At({"Artists"})), (std::vector<std::string>{"Brass Fold", "Cyra"}));
}

TEST_F(ItemCommands, NoToTheQuestionAndItemsThatCannotGoChangeNothing) {
  host_.ExpectMessageBox(IDNO, "Are you sure");
  Invoke(3035, {"Audio Tracks"}, {"Cyra - Glass Rooms - 07 - Mirror"});
  host_.ExpectMessageBox(IDOK, "This item cannot be deleted.");
  Invoke(3035, {}, {"Device Information"});
  EXPECT_EQ(device_.TrackCount(), 4u);
  KernelId item;
  EXPECT_EQ(device_.GetFirstDataItem(device_.DataRoot(), item), 2);
}

// ---- Copy to the computer ----

TEST_F(ItemCommands, CopyingAPlaylistMakesItsFolderAndList) {
  const std::string to = Destination("Music");
  host_.ExpectFolderPicker(to, "Select a folder to copy files to:");
  Invoke(4010, {"Playlists"}, {"Evening"});
  const std::string folder = to + "/Evening";
  EXPECT_EQ(ReadAll(folder + "/Evening.m3u"),
            "#EXTM3U\r\nAda Lind - North Light - 01 - Harbour.mp3\r\nBrass Fold - Metal Hours - 01 - Opening.wav\r\n");
  EXPECT_EQ(ReadAll(folder + "/Ada Lind - North Light - 01 - Harbour.mp3"), device_.ContentOf(catalogue_.harbour));
  EXPECT_EQ(ReadAll(folder + "/Brass Fold - Metal Hours - 01 - Opening.wav"), device_.ContentOf(catalogue_.opening));
  const auto last = Settings().Get("Kor_Tx2PC_LastFolder");
  ASSERT_TRUE(last.has_value());
  EXPECT_EQ(last->data, platform::FromPosixPath(to) + std::string(1, '\0'));
  // Nothing but the copies is left behind.
  std::size_t files = 0;
  for (const auto& e : fs::directory_iterator(folder)) files += e.is_regular_file() ? 1 : 0;
  EXPECT_EQ(files, 3u);
}

// A playlist named with the longest name a folder may have: the folder keeps it, its list
// takes a shorter one so that ".m3u" fits, and the tracks are copied.
TEST_F(ItemCommands, APlaylistOfTheLongestNameKeepsItsTracksAndAShorterListName) {
  const std::string name(255, 'p');
  device_.AddPlaylist(name, {catalogue_.harbour});
  const std::string to = Destination("Long");
  host_.ExpectFolderPicker(to);
  Invoke(4010, {"Playlists"}, {name});
  const std::string folder = to + "/" + name;
  EXPECT_EQ(ReadAll(folder + "/" + std::string(251, 'p') + ".m3u"),
            "#EXTM3U\r\nAda Lind - North Light - 01 - Harbour.mp3\r\n");
  EXPECT_EQ(ReadAll(folder + "/Ada Lind - North Light - 01 - Harbour.mp3"), device_.ContentOf(catalogue_.harbour));
  EXPECT_EQ(host_.pendingAnswers(), 0u);
}

// A data folder comes over whole, its empty folders too; a playlist's list names only the
// tracks that came (a locked one stays on the player and out of the list).
TEST_F(ItemCommands, EmptyFoldersComeOverAndAListNamesOnlyTheCopiedTracks) {
  const KernelId empty = device_.AddDataFolder(catalogue_.documents, "Empty");
  device_.AddDataFolder(empty, "Deeper");
  device_.AddDataFolder(KernelId(), "Nothing");
  const KernelId locked = device_.AddTrack({.artist = "Lock", .album = "Box", .title = "Kept", .number = 1, .locked = true});
  device_.AddPlaylist("Mixed", {catalogue_.harbour, locked, catalogue_.mirror});
  const std::string to = Destination("Whole");
  host_.ExpectFolderPicker(to);
  Invoke(4010, {"Data Files"}, {"Documents", "Nothing"});
  EXPECT_TRUE(fs::is_directory(to + "/Documents/Empty/Deeper"));
  EXPECT_TRUE(fs::is_directory(to + "/Nothing"));
  EXPECT_EQ(ReadAll(to + "/Documents/Old/a.txt"), "a");

  host_.ExpectFolderPicker(to);
  host_.ExpectMessageBox(IDOK, "Some of the selected files are locked content");
  Invoke(4010, {"Playlists"}, {"Mixed"});
  EXPECT_EQ(ReadAll(to + "/Mixed/Mixed.m3u"),
            "#EXTM3U\r\nAda Lind - North Light - 01 - Harbour.mp3\r\nCyra - Glass Rooms - 07 - Mirror.mp3\r\n");
  EXPECT_FALSE(fs::exists(to + "/Mixed/Lock - Box - 01 - Kept.mp3"));
  EXPECT_EQ(host_.pendingAnswers(), 0u);
}

TEST_F(ItemCommands, NamesFromThePlayerStayInsideTheChosenFolder) {
  const KernelId hostile = device_.AddDataFolder(KernelId(), "..");
  device_.AddDataFile(hostile, "../../escape.txt", "one");
  device_.AddDataFile(hostile, "C:\\evil\tname\n.txt", "two");
  device_.AddDataFile(hostile, "/etc/passwd", "three");
  const std::string to = Destination("Safe");
  host_.ExpectFolderPicker(to);
  Invoke(4010, {"Data Files"}, {".."});
  // The folder ".." became one safe part; every file is inside it under a safe name.
  EXPECT_EQ(ReadAll(to + "/__/___.._escape.txt"), "one");
  EXPECT_EQ(ReadAll(to + "/__/C__evil_name_.txt"), "two");
  EXPECT_EQ(ReadAll(to + "/__/_etc_passwd"), "three");
  for (const auto& e : fs::recursive_directory_iterator(root_)) {
    if (e.is_regular_file()) {
      EXPECT_NE(e.path().filename().string().find("escape"), 0u) << e.path();
    }
  }
  EXPECT_FALSE(fs::exists(root_ + "/escape.txt"));
}

TEST_F(ItemCommands, AFolderThatLeadsElsewhereIsRefused) {
  const std::string to = Destination("Linked");
  const std::string elsewhere = Destination("Elsewhere");
  fs::create_directory_symlink(elsewhere, to + "/Documents");
  host_.ExpectFolderPicker(to);
  host_.ExpectMessageBox(IDOK, "could not be copied");
  Invoke(4010, {"Data Files"}, {"Documents"});
  EXPECT_TRUE(fs::is_empty(elsewhere));
}

TEST_F(ItemCommands, AnExistingFileIsReplacedOnlyWhenThePersonSaysSo) {
  const std::string to = Destination("Existing");
  const std::string file = to + "/top.txt";
  struct Case {
    int answer;
    std::string content;
  };
  for (const Case& k : {Case{IDNO, "mine"}, Case{IDYES, "top"}}) {
    std::ofstream(file, std::ios::binary | std::ios::trunc) << "mine";
    host_.ExpectFolderPicker(to);
    host_.ExpectMessageBox(k.answer, "The file\n" + file + "\nalready exists.\n\nReplace it?");  // as the desktop writes it
    Invoke(4010, {"Data Files"}, {"top.txt"});
    EXPECT_EQ(ReadAll(file), k.content) << k.answer;
  }
  // Cancel stops the whole copy.
  fs::create_directories(to + "/Documents");
  std::ofstream(to + "/Documents/list.csv", std::ios::binary) << "mine";
  host_.ExpectFolderPicker(to);
  host_.ExpectMessageBox(platform::IDCANCEL, "list.csv");
  Invoke(4010, {"Data Files"}, {"Documents"});
  EXPECT_FALSE(fs::exists(to + "/Documents/Old/a.txt"));
}

TEST_F(ItemCommands, LockedTracksAreSkippedWithOneMessage) {
  std::vector<std::string> names;
  for (int i = 0; i < 5; ++i) {
    device_.AddTrack({.artist = "Lock", .album = "Test", .title = "T" + std::to_string(i),
                      .content = "bytes" + std::to_string(i), .number = i + 1, .locked = i == 2 || i == 4});
    names.push_back("Lock - Test - 0" + std::to_string(i + 1) + " - T" + std::to_string(i));
  }
  const std::string to = Destination("Locked");
  host_.ExpectFolderPicker(to);
  host_.ExpectMessageBox(IDOK, "Some of the selected files are locked content");
  Invoke(4010, {"Audio Tracks"}, names);
  std::size_t files = 0;
  for (const auto& e : fs::directory_iterator(to)) files += e.is_regular_file() ? 1 : 0;
  EXPECT_EQ(files, 3u);
  EXPECT_EQ(ReadAll(to + "/Lock - Test - 01 - T0.mp3"), "bytes0");
}

TEST_F(ItemCommands, RefusedDestinations) {
  host_.ExpectFolderPicker(std::nullopt);
  Invoke(4010, {"Data Files"}, {"top.txt"});
  host_.ExpectFolderPicker(root_ + "/missing");
  host_.ExpectMessageBox(IDOK, "Invalid target folder.");
  Invoke(4010, {"Data Files"}, {"top.txt"});
  EXPECT_EQ(host_.pendingAnswers(), 0u);
}

}  // namespace
}  // namespace shellexttest
