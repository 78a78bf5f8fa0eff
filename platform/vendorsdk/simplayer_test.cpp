#include "platform/vendorsdk/simplayer.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/vendorsdk/sim_test_support.h"

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
  SdkItem pl;
  pl.type = kSdkPlaylist;
  pl.name = u"List";
  ASSERT_EQ(sdk_->CreatePlaylist(kDev, kPlaylistRoot, &pl), kSdkOk);
  const SdkItem entries[] = {Item(track, kSdkTrack), Item(track, kSdkTrack)};
  ASSERT_EQ(sdk_->AddTracksToPlaylist(kDev, pl, 2, entries), kSdkOk);
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
  std::ofstream(root + "/items/903.txt") << "type=1\nname=Ghost\ncodec=MP3\nfile=903.mp3\n";
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

TEST_F(SimSdkTest, DataItemsWithoutAValidFolderGoToTheRoot) {
  sdk_.reset();
  player_.reset();
  const std::string root = dir_ + "/player";
  std::ofstream(root + "/items/500.txt") << "type=4\nname=Lost\nparent=777\n";
  std::ofstream(root + "/items/501.txt") << "type=4\nname=Loop1\nparent=502\n";
  std::ofstream(root + "/items/502.txt") << "type=4\nname=Loop2\nparent=501\n";
  Connect();
  // The loop is broken where it was found; nothing is lost.
  EXPECT_EQ(ChildIds(kDataRoot), (std::vector<std::uint32_t>{500, 501}));
  EXPECT_EQ(ChildIds(Item(501, kSdkDataFolder)), std::vector<std::uint32_t>{502});
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

TEST_F(SimSdkTest, DamagedOrMissingPlayer) {
  sdk_.reset();
  player_.reset();
  std::ofstream(dir_ + "/player/player.txt") << "format=99\n";
  auto sdk = CreateVendorSdk(folder_);
  EXPECT_EQ(sdk->Initialize(), kSdkErrLibraryCorrupt);
  SdkResult code = kSdkOk;
  EXPECT_EQ(SimPlayer::Open(FromPosixPath(dir_ + "/nothing"), &code, nullptr), nullptr);
  EXPECT_EQ(code, kSdkErrNotConnected);
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
