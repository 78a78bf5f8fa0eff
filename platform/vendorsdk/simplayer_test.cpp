#include "platform/vendorsdk/simplayer.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <set>

#include "platform/text/text.h"
#include "testing/sim_player.h"
#include "platform/vendorsdk/store_records.h"

namespace platform {
namespace testing_sim {
namespace {

namespace fs = std::filesystem;

TEST_F(SimSdkTest, EverythingSurvivesAReopen) {
  const std::vector<char> song = RandomBytes(200000, 21);
  TrackTags tags;
  tags.title = "Keep Me";
  tags.artist = "Line\nBreak \\ Artist";  // escapes in the store's text files
  tags.length = 42;
  const std::uint32_t track = UploadTrack(MakeFile("k.mp3", song), tags);
  const std::uint32_t folder = MakeFolder("Folder = name");
  const std::uint32_t file = UploadData(MakeFile("d.bin", {'d', 'a'}), folder, "d.bin");
  const SdkItem pl = MakePlaylist(u"List", {track, track});
  ASSERT_EQ(SetNumber(Item(track, kSdkTrack), u"YEAR", 1987), kSdkOk);
  const auto before = Attributes(Item(track, kSdkTrack));

  Reconnect();  // a new SDK object over a store read back from the folder

  EXPECT_EQ(ChildIds(kAllTracks), std::vector<std::uint32_t>{track});
  EXPECT_EQ(ChildIds(kDataRoot), std::vector<std::uint32_t>{folder});
  EXPECT_EQ(ChildIds(Item(folder, kSdkDataFolder)), std::vector<std::uint32_t>{file});
  EXPECT_EQ(ChildIds(pl), (std::vector<std::uint32_t>{track, track}));
  const auto after = Attributes(Item(track, kSdkTrack));
  ASSERT_EQ(after.size(), before.size());
  for (const auto& [name, a] : before) {
    EXPECT_EQ(after.at(name).text, a.text) << name;
    EXPECT_EQ(after.at(name).number, a.number) << name;
  }
  EXPECT_EQ(after.at("ARTIST").text, tags.artist);
  EXPECT_EQ(Attributes(Item(folder, kSdkDataFolder))["FOLDER NAME"].text, "Folder = name");
  EXPECT_EQ(Download(Item(track, kSdkTrack), dir_ + "/k.out"), kSdkOk);
  EXPECT_TRUE(ReadFile(dir_ + "/k.out") == song);
  // New ids go on from where they were.
  EXPECT_GT(MakeFolder("Later"), std::max({track, folder, file, pl.id}));
}

TEST_F(SimSdkTest, LeftoversOfACrashAreCleanedOnOpen) {
  const std::uint32_t track = UploadTrack(MakeFile("t.mp3", {'t'}));
  Reconnect();
  sdk_.reset();
  player_.reset();
  const std::string root = dir_ + "/player";
  // An upload cut off, content never recorded, an unfinished write, an item without content.
  std::ofstream(root + "/files/900.part") << "half";
  std::ofstream(root + "/files/901.mp3") << "orphan";
  std::ofstream(root + "/items/902.txt.tmp") << "type=1";
  SimItem ghost;
  ghost.type = kSdkTrack;
  ghost.name = "Ghost";
  ghost.codec = "MP3";
  ghost.file = "903.mp3";
  std::ofstream(root + "/items/903.txt") << simstore::ItemText(ghost);
  std::ofstream(root + "/playlists/904.txt") << "name=P\ntrack=903\ntrack=" << track << "\n";
  Connect();
  EXPECT_FALSE(fs::exists(root + "/files/900.part"));
  EXPECT_FALSE(fs::exists(root + "/files/901.mp3"));
  EXPECT_FALSE(fs::exists(root + "/items/902.txt.tmp"));
  EXPECT_EQ(ChildIds(kAllTracks), std::vector<std::uint32_t>{track});
  EXPECT_EQ(ChildIds(Item(904, kSdkPlaylist)), std::vector<std::uint32_t>{track});
  // Ids above every id seen in the folder.
  EXPECT_GT(MakeFolder("N"), 904u);
}

// Ids are handed out in reserved blocks; whatever was handed out before the player was
// closed (or the program died) is never handed out again, though its record is gone.
TEST_F(SimSdkTest, IdsHandedOutBeforeAReopenAreNeverHandedOutAgain) {
  struct Case {
    const char* what;
    std::function<std::uint32_t(SimPlayer&)> run;  // the highest id it was handed
  };
  auto playlist = [](SimPlayer& p) {
    std::uint32_t id = 0;
    EXPECT_EQ(p.CreatePlaylist("P", &id), kSdkOk);
    return id;
  };
  const Case cases[] = {
      {"the newest item deleted",
       [&](SimPlayer& p) {
         const std::uint32_t id = playlist(p);
         EXPECT_EQ(p.DeletePlaylist(id), kSdkOk);
         return id;
       }},
      {"the volume saved between two ids",
       [&](SimPlayer& p) {
         playlist(p);
         EXPECT_EQ(p.SetVolume(70), kSdkOk);
         const std::uint32_t id = playlist(p);
         EXPECT_EQ(p.DeletePlaylist(id), kSdkOk);
         return id;
       }},
      {"an upload given up before its record",
       [&](SimPlayer& p) {
         SimPlayer::PendingUpload pending;
         EXPECT_EQ(p.PrepareUpload(kSdkDataFile, {}, "x.bin", 1, 0, &pending), kSdkOk);
         p.AbandonUpload(pending);
         return pending.item.id;
       }},
      {"more ids than one block, the last ones deleted",
       [&](SimPlayer& p) {
         std::uint32_t id = 0;
         for (int i = 0; i < 600; ++i) id = playlist(p);
         EXPECT_EQ(p.DeletePlaylist(id - 1), kSdkOk);
         EXPECT_EQ(p.DeletePlaylist(id), kSdkOk);
         return id;
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::uint32_t handed = c.run(*player_);
    Reconnect();
    EXPECT_GT(playlist(*player_), handed);
  }
  EXPECT_EQ(player_->GetProperties().volume, 70);  // kept through the reopens
}

// A new item shows in the store's folder only once it is whole: its content and record
// get their names at the commit (through a name beside where the file system has no
// nameless files), and an upload given up leaves nothing.
TEST_F(SimSdkTest, AnUploadShowsInTheFolderOnlyOnceWhole) {
  const std::string root = dir_ + "/player";
  auto names = [&] {
    std::set<std::string> found;
    for (const char* part : {"files", "items"}) {
      for (const auto& e : fs::directory_iterator(root + "/" + part)) {
        found.insert(std::string(part) + "/" + e.path().filename().string());
      }
    }
    return found;
  };
  struct Case {
    const char* what;
    bool nameless;   // the file system makes nameless files
    bool nameTaken;  // a file has the content's name already (put there by hand)
    bool commit;
  };
  const Case cases[] = {
      {"committed", true, false, true},
      {"committed over a file of its name", true, true, true},
      {"committed without nameless files", false, false, true},
      {"given up", true, false, false},
      {"given up without nameless files", false, false, false},
  };
  std::uint32_t n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    if (!c.nameless) player_->InjectFault(SimFault::kNoNamelessFiles);
    const std::set<std::string> before = names();
    const std::string name = "up" + std::to_string(++n) + ".bin";
    SimPlayer::PendingUpload pending;
    ASSERT_EQ(player_->PrepareUpload(kSdkDataFile, {}, name, 5, 0, &pending), kSdkOk);
    const std::string content = "files/" + pending.item.file;
    const std::string record = "items/" + std::to_string(pending.item.id) + ".txt";
    std::set<std::string> planted = before;
    if (c.nameTaken) {
      std::ofstream(root + "/" + content) << "older and longer";
      planted.insert(content);
    }
    const int fd = player_->OpenUploadTarget(&pending);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::write(fd, "whole", 5), 5);
    if (c.nameless) {
      EXPECT_EQ(names(), planted);  // nothing of it has a name yet
    }

    if (c.commit) {
      ASSERT_EQ(player_->CommitUpload(pending), kSdkOk);
      std::set<std::string> expected = before;
      expected.insert({content, record});
      EXPECT_EQ(names(), expected);
      const std::vector<char> bytes = ReadFile(root + "/" + content);
      EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "whole");
    } else {
      player_->AbandonUpload(pending);
      EXPECT_EQ(names(), planted);
    }
    EXPECT_EQ(pending.fd, -1);  // closed either way
    player_->ClearFaults();

    Reconnect();
    SimItem item;
    EXPECT_EQ(player_->GetItem(pending.item.id, &item), c.commit);
    if (c.commit) {
      EXPECT_EQ(item.name, name);
      EXPECT_EQ(item.size, 5u);
    }
  }
}

TEST_F(SimSdkTest, DataItemsWithoutAValidFolderGoToTheRoot) {
  sdk_.reset();
  player_.reset();
  const std::string root = dir_ + "/player";
  auto folder = [](std::uint32_t id, const char* name, std::uint32_t parent) {
    SimItem it;
    it.id = id;
    it.type = kSdkDataFolder;
    it.parent = parent;
    it.name = name;
    return simstore::ItemText(it);
  };
  std::ofstream(root + "/items/500.txt") << folder(500, "Lost", 777);
  std::ofstream(root + "/items/501.txt") << folder(501, "Loop1", 502);
  std::ofstream(root + "/items/502.txt") << folder(502, "Loop2", 501);
  Connect();
  // The loop is broken where it was found; nothing is lost.
  EXPECT_EQ(ChildIds(kDataRoot), (std::vector<std::uint32_t>{500, 501}));
  EXPECT_EQ(ChildIds(Item(501, kSdkDataFolder)), std::vector<std::uint32_t>{502});
}

// Damage done to one record file of the store, by a crash of the disk or by hand.
struct Damage {
  const char* what;
  std::function<std::string(const std::string&)> change;  // the record's new bytes
};

std::string Cut(const std::string& text, std::size_t keep) { return text.substr(0, std::min(keep, text.size())); }

// The record cut after its n-th line.
std::string FirstLines(const std::string& text, int n) {
  std::size_t end = 0;
  for (int i = 0; i < n && end != std::string::npos; ++i) end = text.find('\n', end) + 1;
  return text.substr(0, end);
}

TEST_F(SimSdkTest, DamagedRecordsCostNothingAndAreListedAgainOnceRepaired) {
  const std::uint32_t a = UploadTrack(MakeFile("a.mp3", RandomBytes(5000, 1)));
  const std::uint32_t b = UploadTrack(MakeFile("b.mp3", RandomBytes(6000, 2)));
  const std::uint32_t folder = MakeFolder("Docs");
  const std::uint32_t inside = UploadData(MakeFile("in.txt", {'i', 'n'}), folder, "in.txt");
  const std::uint32_t loose = UploadData(MakeFile("loose.txt", {'l'}), kSdkDataRootId, "loose.txt");
  const SdkItem pl = MakePlaylist(u"Mix", {a, b, a});
  const std::string root = dir_ + "/player";
  std::map<std::string, std::vector<char>> content;
  for (const auto& e : fs::directory_iterator(root + "/files")) content[e.path().string()] = ReadFile(e.path());
  ASSERT_EQ(content.size(), 4u);

  struct Case {
    std::string record;
    Damage damage;
    std::vector<std::uint32_t> tracks, root, inFolder, playlist;
  };
  const std::string itemA = "items/" + std::to_string(a) + ".txt";
  const std::string mix = "playlists/" + std::to_string(pl.id) + ".txt";
  const std::vector<std::uint32_t> all = {a, b}, rootItems = {folder, loose}, folderItems = {inside},
                                   playlist = {a, b, a};
  const Case cases[] = {
      {itemA, {"cut in the middle of a line", [](const std::string& t) { return Cut(t, t.size() / 2); }},
       {b}, rootItems, folderItems, {b}},
      {itemA, {"cut at the end of a line", [](const std::string& t) { return FirstLines(t, 3); }},
       {b}, rootItems, folderItems, {b}},
      {itemA, {"emptied", [](const std::string&) { return std::string(); }}, {b}, rootItems, folderItems, {b}},
      {itemA, {"a number that is none", [](const std::string& t) { return ReplaceAll(t, "length=", "length=x"); }},
       {b}, rootItems, folderItems, {b}},
      {"items/" + std::to_string(loose) + ".txt", {"cut", [](const std::string& t) { return FirstLines(t, 2); }},
       all, {folder}, folderItems, playlist},
      // The folder's items stay where they are, unseen, until it is repaired.
      {"items/" + std::to_string(folder) + ".txt", {"cut", [](const std::string& t) { return Cut(t, 9); }},
       all, {loose}, {}, playlist},
      {mix, {"cut in the middle of a line", [](const std::string& t) { return Cut(t, t.size() - 2); }},
       all, rootItems, folderItems, {}},
      {mix, {"cut at the end of a line", [](const std::string& t) { return FirstLines(t, 3); }},
       all, rootItems, folderItems, {}},
      {mix, {"emptied", [](const std::string&) { return std::string(); }}, all, rootItems, folderItems, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.record + " " + c.damage.what);
    sdk_.reset();
    player_.reset();
    const std::string path = root + "/" + c.record;
    std::string original;
    {
      const std::vector<char> bytes = ReadFile(path);
      original.assign(bytes.begin(), bytes.end());
    }
    std::ofstream(path, std::ios::binary | std::ios::trunc) << c.damage.change(original);
    ::testing::internal::CaptureStderr();
    Connect();
    const std::string log = ::testing::internal::GetCapturedStderr();
    // Named where the user looks: the log of the program holding the player, and check.
    EXPECT_NE(log.find(c.record + " is damaged ("), std::string::npos) << log;
    const std::vector<SimStoreProblem> problems = player_->Problems();
    ASSERT_FALSE(problems.empty());
    EXPECT_EQ(problems.front().record, c.record);
    EXPECT_EQ(ChildIds(kAllTracks), c.tracks);
    EXPECT_EQ(ChildIds(kDataRoot), c.root);
    EXPECT_EQ(ChildIds(Item(folder, kSdkDataFolder)), c.inFolder);
    EXPECT_EQ(ChildIds(pl), c.playlist);
    // Changes made meanwhile leave the damaged record and what it names alone.
    const std::uint32_t extra = MakeFolder("Meanwhile");
    ASSERT_EQ(sdk_->DeleteItem(kDev, Item(extra, kSdkDataFolder)), kSdkOk);
    for (const auto& [file, bytes] : content) EXPECT_TRUE(ReadFile(file) == bytes) << file << " was changed or lost";

    sdk_.reset();
    player_.reset();
    std::ofstream(path, std::ios::binary | std::ios::trunc) << original;
    Connect();
    EXPECT_TRUE(player_->Problems().empty());
    EXPECT_EQ(ChildIds(kAllTracks), all);
    EXPECT_EQ(ChildIds(kDataRoot), rootItems);
    EXPECT_EQ(ChildIds(Item(folder, kSdkDataFolder)), folderItems);
    EXPECT_EQ(ChildIds(pl), playlist);
  }
}

TEST_F(SimSdkTest, PlayerHeldByAnotherProgramIsRefused) {
  sdk_.reset();
  player_.reset();
  int ready[2], release[2];
  ASSERT_EQ(::pipe(ready), 0);
  ASSERT_EQ(::pipe(release), 0);
  const std::string lock = dir_ + "/player/lock";
  const pid_t child = ::fork();
  if (child == 0) {
    ::close(release[1]);  // so that the parent's close ends the read below
    const int fd = ::open(lock.c_str(), O_RDWR);
    char c = (fd >= 0 && ::flock(fd, LOCK_EX) == 0) ? 'y' : 'n';
    (void)!::write(ready[1], &c, 1);
    (void)!::read(release[0], &c, 1);
    ::_exit(0);
  }
  char c = 0;
  ASSERT_EQ(::read(ready[0], &c, 1), 1);
  ASSERT_EQ(c, 'y');
  auto sdk = CreateVendorSdk(folder_);
  EXPECT_EQ(sdk->Initialize(), kSdkErrPortInUse);
  SdkResult code = kSdkOk;
  std::string error;
  EXPECT_EQ(SimPlayer::Open(folder_, &code, &error), nullptr);
  EXPECT_EQ(code, kSdkErrPortInUse);
  EXPECT_NE(error.find("in use"), std::string::npos);
  // A reader without the lock still sees the content, and cannot change it.
  auto reader = SimPlayer::Open(folder_, &code, &error, true);
  ASSERT_NE(reader, nullptr);
  std::uint32_t id = 0;
  EXPECT_EQ(reader->CreatePlaylist("x", &id), kSdkErrWriteProtected);

  ::close(release[1]);
  int status = 0;
  ::waitpid(child, &status, 0);
  EXPECT_EQ(sdk->Initialize(), kSdkOk);
  ::close(ready[0]);
  ::close(ready[1]);
  ::close(release[0]);
}

TEST_F(SimSdkTest, ADamagedStoreSaysWhyAndAFolderWithoutOneIsNoPlayer) {
  sdk_.reset();
  player_.reset();
  const std::string root = dir_ + "/player";
  std::string properties;
  {
    const std::vector<char> bytes = ReadFile(root + "/player.txt");
    properties.assign(bytes.begin(), bytes.end());
  }
  struct Case {
    const char* what;
    std::function<void()> damage;
    SdkResult code;
    std::string says;
  };
  const Case cases[] = {
      {"player.txt removed", [&] { fs::remove(root + "/player.txt"); }, kSdkErrLibraryCorrupt,
       "The player in " + root + " is damaged: player.txt missing."},
      {"another format", [&] { std::ofstream(root + "/player.txt") << "format=99\n"; }, kSdkErrLibraryCorrupt,
       root + "/player.txt is not a player of this version."},
      {"player.txt cut", [&] { std::ofstream(root + "/player.txt") << Cut(properties, 40); }, kSdkErrLibraryCorrupt,
       "The player in " + root + " is damaged: player.txt cannot be read (it ends in the middle of a line)."},
      {"a property missing", [&] { std::ofstream(root + "/player.txt") << FirstLines(properties, 11); },
       kSdkErrLibraryCorrupt, "(its line \"next-id\" is missing)"},
      {"a folder missing", [&] { fs::remove_all(root + "/items"); }, kSdkErrLibraryCorrupt,
       "The player in " + root + " is damaged: its folder items is missing."},
      {"nothing there", [&] { fs::remove_all(root); }, kSdkErrNotConnected, "There is no player in " + root + "."},
      {"an empty folder", [&] { fs::remove_all(root); fs::create_directories(root); }, kSdkErrNotConnected,
       "There is no player in " + root + "."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove_all(root);
    ASSERT_TRUE(CreateSimPlayer(folder_, {}, nullptr));
    std::ofstream(root + "/player.txt") << properties;
    c.damage();
    SdkResult code = kSdkOk;
    std::string error;
    EXPECT_EQ(SimPlayer::Open(folder_, &code, &error), nullptr);
    EXPECT_EQ(code, c.code);
    EXPECT_NE(error.find(c.says), std::string::npos) << error;
    // The SDK refuses to start over a damaged player and says why in the log; without a
    // player it starts and finds none.
    auto sdk = CreateVendorSdk(folder_);
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(sdk->Initialize(), c.code == kSdkErrNotConnected ? kSdkOk : c.code);
    const std::string log = ::testing::internal::GetCapturedStderr();
    if (c.code != kSdkErrNotConnected) {
      EXPECT_NE(log.find(c.says), std::string::npos) << log;
    }
    // The tool says the same.
    platform::testing::ChildProcess check("simplayer", {"check", root});
    std::string out;
    while (auto line = check.ReadLine()) out += *line + "\n";
    EXPECT_EQ(check.Wait(), 1);
    EXPECT_NE(out.find(c.says), std::string::npos) << out;
  }
}

TEST_F(SimSdkTest, CheckNamesEveryDamagedRecord) {
  const std::uint32_t track = UploadTrack(MakeFile("a.mp3", {'a'}));
  sdk_.reset();
  player_.reset();
  const std::string root = dir_ + "/player";
  auto check = [&](std::string* out) {
    platform::testing::ChildProcess tool("simplayer", {"check", root});
    while (auto line = tool.ReadLine()) *out += *line + "\n";
    return tool.Wait();
  };
  std::string out;
  EXPECT_EQ(check(&out), 0);
  EXPECT_EQ(out, "No problems in the player in " + root + ".\n");

  const std::string record = "items/" + std::to_string(track) + ".txt";
  std::ofstream(root + "/" + record, std::ios::app) << "name=cut";
  std::ofstream(root + "/playlists/40.txt") << "name=Half\nentries=2\ntrack=" << track << "\n";
  // Rewrites of playlists the manager was killed in: one beside its old playlist, one after it.
  std::ofstream(root + "/playlists/41.txt") << "name= Mix\nentries=1\ntrack=" << track << "\n";
  std::ofstream(root + "/playlists/42.txt") << "name=Mix\nentries=1\ntrack=" << track << "\n";
  std::ofstream(root + "/playlists/43.txt") << "name= Solo\nentries=1\ntrack=" << track << "\n";
  out.clear();
  EXPECT_EQ(check(&out), 1);
  EXPECT_NE(out.find(record + " is damaged (it ends in the middle of a line): its item is not listed, and its "
                              "content is kept until the record is repaired\n"),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("playlists/40.txt is damaged (it names 2 entries but holds 1): the playlist is not listed "
                     "until it is repaired\n"),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("playlists/41.txt: a rewrite of the playlist \"Mix\" was cut short; the old playlist is still "
                     "there (the manager drops this one when it next connects).\n"),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("playlists/43.txt: a rewrite of the playlist \"Solo\" was cut short; the old playlist is gone "
                     "(the manager gives this one its name when it next connects).\n"),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("4 problem(s) in the player in " + root + ".\n"), std::string::npos) << out;
  // Checking changes nothing, even beside the program that holds the player.
  Connect();
  out.clear();
  EXPECT_EQ(check(&out), 1);
  EXPECT_TRUE(fs::exists(root + "/files/" + std::to_string(track) + ".mp3"));
}

TEST_F(SimSdkTest, CreatingNeedsAnEmptyFolder) {
  std::string error;
  EXPECT_FALSE(CreateSimPlayer(folder_, {}, &error));  // a player is there
  EXPECT_NE(error.find("not empty"), std::string::npos);
  EXPECT_FALSE(CreateDemoPlayer(folder_, &error));
  EXPECT_TRUE(fs::exists(dir_ + "/player/player.txt"));
  fs::create_directories(dir_ + "/empty");
  EXPECT_TRUE(CreateSimPlayer(FromPosixPath(dir_ + "/empty"), {}, &error)) << error;
  EXPECT_TRUE(CreateSimPlayer(FromPosixPath(dir_ + "/deep/er/p"), {}, &error)) << error;
  EXPECT_TRUE(fs::exists(dir_ + "/deep/er/p/player.txt"));
}

}  // namespace
}  // namespace testing_sim
}  // namespace platform
