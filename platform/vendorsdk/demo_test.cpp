#include <cstdio>
#include <set>

#include "testing/sim_player.h"

namespace platform {
namespace testing_sim {
namespace {

class DemoPlayerTest : public SimSdkTest {
 protected:
  void SetUp() override {
    SimSdkTest::SetUp();
    sdk_.reset();
    player_.reset();
    folder_ = FromPosixPath(dir_ + "/demo");
    std::string error;
    ASSERT_TRUE(CreateDemoPlayer(folder_, &error)) << error;
    Connect();
  }
};

// The duration ffprobe finds in the file, or -1 when it cannot read it.
double ProbeSeconds(const std::string& path) {
  const std::string command =
      "ffprobe -v error -show_entries format=duration -of csv=p=0 '" + path + "' 2>/dev/null";
  FILE* p = ::popen(command.c_str(), "r");
  if (p == nullptr) return -1;
  double seconds = -1;
  if (std::fscanf(p, "%lf", &seconds) != 1) seconds = -1;
  ::pclose(p);
  return seconds;
}

TEST_F(DemoPlayerTest, HoldsTracksThatPlay) {
  const std::vector<SdkItem> tracks = Children(kAllTracks);
  EXPECT_EQ(tracks.size(), 12u);
  std::set<std::string> artists, albums, genres, codecs;
  const bool haveProbe = std::system("ffprobe -version >/dev/null 2>&1") == 0;
  for (const SdkItem& t : tracks) {
    auto a = Attributes(t);
    EXPECT_FALSE(a["TITLE"].text.empty());
    EXPECT_GT(a["TRACK NUM"].number, 0u);
    EXPECT_GT(a["YEAR"].number, 1990u);
    artists.insert(a["ARTIST"].text);
    albums.insert(a["ALBUM"].text);
    genres.insert(a["GENRE"].text);
    codecs.insert(a["CODEC"].text);
    const std::uint32_t length = a["LENGTH"].number;
    EXPECT_GE(length, 3u);
    EXPECT_LE(length, 8u);

    const std::string out = dir_ + "/t" + std::to_string(t.id) + "." + a["CODEC"].text;
    ASSERT_EQ(Download(t, out), kSdkOk);
    const std::vector<char> bytes = ReadFile(out);
    ASSERT_EQ(bytes.size(), a["FILE SIZE"].number);
    const std::string head(bytes.begin(), bytes.begin() + 12);
    if (a["CODEC"].text == "WAV") {
      EXPECT_EQ(head.substr(0, 4), "RIFF");
      EXPECT_EQ(head.substr(8, 4), "WAVE");
    } else {
      EXPECT_EQ(head.substr(0, 3), "ID3");
    }
    if (haveProbe) {
      EXPECT_NEAR(ProbeSeconds(out), length, 0.2) << out;
    }
  }
  EXPECT_GE(artists.size(), 3u);
  EXPECT_GE(albums.size(), 3u);
  EXPECT_GE(genres.size(), 3u);
  EXPECT_EQ(codecs, (std::set<std::string>{"MP3", "WAV"}));
}

TEST_F(DemoPlayerTest, HoldsPlaylistsADataFolderAndAnOwner) {
  std::vector<SdkItem> playlists;
  SdkItem p;
  for (SdkResult r = sdk_->FindFirstPlaylist(kDev, kPlaylistRoot, &p); r == kSdkOk;
       r = sdk_->FindNextPlaylist(kDev, kPlaylistRoot, &p)) {
    playlists.push_back(p);
  }
  ASSERT_EQ(playlists.size(), 2u);
  for (const SdkItem& pl : playlists) EXPECT_GE(Children(pl).size(), 3u);

  const std::vector<SdkItem> top = Children(kDataRoot);
  ASSERT_EQ(top.size(), 1u);
  EXPECT_EQ(top[0].type, kSdkDataFolder);
  const std::vector<SdkItem> inside = Children(top[0]);
  ASSERT_EQ(inside.size(), 1u);
  EXPECT_EQ(inside[0].type, kSdkDataFile);
  ASSERT_EQ(Download(inside[0], dir_ + "/welcome"), kSdkOk);
  EXPECT_GT(ReadFile(dir_ + "/welcome").size(), 20u);

  char16_t owner[256] = {};
  ASSERT_EQ(sdk_->GetDeviceProperty(kDev, kSdkPropOwnerName, owner, sizeof owner), kSdkOk);
  EXPECT_FALSE(std::u16string(owner).empty());
}

}  // namespace
}  // namespace testing_sim
}  // namespace platform
