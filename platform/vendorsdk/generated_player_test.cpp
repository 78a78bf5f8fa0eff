#include "platform/vendorsdk/generated_player.h"

#include <gtest/gtest.h>

#include <set>

#include "testing/processes.h"
#include "platform/paths/paths.h"
#include "platform/vendorsdk/simplayer.h"

namespace platform {
namespace {

class GeneratedPlayerTest : public testing::TempFolderTest {
 protected:
  SimPlayer::Snapshot Generate(const std::string& name, int tracks, unsigned seed) {
    std::string error;
    EXPECT_TRUE(CreateGeneratedPlayer(FromPosixPath(dir_ + "/" + name), {.tracks = tracks, .seed = seed}, &error))
        << error;
    SdkResult code = kSdkOk;
    auto player = SimPlayer::Open(FromPosixPath(dir_ + "/" + name), &code, &error, true);
    EXPECT_TRUE(player) << error;
    return player ? player->TakeSnapshot() : SimPlayer::Snapshot{};
  }
};

TEST_F(GeneratedPlayerTest, HoldsALargeVariedCatalogue) {
  const SimPlayer::Snapshot s = Generate("p", 650, 3);
  std::set<std::string> artists, albums, genres;
  int tracks = 0, playOnly = 0, withoutArtist = 0, files = 0;
  for (const auto& [id, it] : s.items) {
    if (it.type == kSdkDataFile) ++files;
    if (it.type != kSdkTrack) continue;
    ++tracks;
    playOnly += it.playOnly != 0;
    withoutArtist += it.artist.empty();
    if (!it.artist.empty()) artists.insert(it.artist);
    albums.insert(it.album);
    genres.insert(it.genre);
  }
  EXPECT_EQ(tracks, 650);
  EXPECT_EQ(artists.size(), 650u / 13);
  EXPECT_GE(albums.size(), 650u / 11 / 2);
  EXPECT_GT(playOnly, 0);
  EXPECT_GT(withoutArtist, 0);
  EXPECT_TRUE(genres.count(""));
  // Hostile names: a slash, markup, a line break, names apart only by case.
  for (const char* name : {"AC/DC", "<b>Bold</b> Move", "Line\r\nBreak", "The Glass Ferns", "the glass ferns"}) {
    EXPECT_TRUE(artists.count(name)) << name;
  }
  ASSERT_EQ(s.playlists.size(), 5u);
  std::size_t longest = 0;
  for (const auto& [id, pl] : s.playlists) longest = std::max(longest, pl.tracks.size());
  EXPECT_EQ(longest, 650u);  // up to 1,000 entries
  EXPECT_EQ(files, 6);
}

TEST_F(GeneratedPlayerTest, SameSeedSameCatalogueAndANonEmptyFolderIsRefused) {
  auto tags = [](const SimPlayer::Snapshot& s) {
    std::vector<std::string> out;
    for (const auto& [id, it] : s.items) out.push_back(it.artist + "|" + it.album + "|" + it.name + "|" + it.genre);
    return out;
  };
  const auto first = tags(Generate("a", 120, 9));
  EXPECT_EQ(tags(Generate("b", 120, 9)), first);
  EXPECT_NE(tags(Generate("c", 120, 10)), first);

  std::string error;
  EXPECT_FALSE(CreateGeneratedPlayer(FromPosixPath(dir_ + "/a"), {.tracks = 5}, &error));
  EXPECT_NE(error.find("not empty"), std::string::npos) << error;
}

}  // namespace
}  // namespace platform
