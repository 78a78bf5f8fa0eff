// Tags cut from file and folder names.
#include "transfer/tags_from_path.h"

#include <gtest/gtest.h>

#include "testing/temp_home.h"
#include "platform/settings/settings.h"

using namespace device;

namespace transfer {
namespace {

class TagsFromPathTest : public TempHome {
 protected:
  void SetUp() override {
    TempHome::SetUp();
    key_.emplace(platform::SettingsKey::Create(platform::Hive::CurrentUser, g_ProductIdentity.settingsKey));
  }
  std::optional<platform::SettingsKey> key_;
};

TEST_F(TagsFromPathTest, Table) {
  const struct {
    const char* path;
    std::uint32_t useFolders;
    const char* delimiters;     // null: the default
    const char* defaultAlbum;   // null: the default
    const char* artistBefore;   // the record's artist before the call
    const char* albumBefore;
    int track;
    const char* title;
    const char* album;
    const char* artist;
  } cases[] = {
      {"C:\\Music\\Artist - Title.mp3", 0, nullptr, nullptr, "", "", 0, "Title", "Single", "Artist"},
      // Music is the fourth text token and is ignored.
      {"C:\\Music\\Artist\\Album\\03 - Title.mp3", 1, nullptr, nullptr, "", "", 3, "Title", "Album", "Artist"},
      {"C:\\Music\\Artist\\Album\\03 - Title.mp3", 0, nullptr, nullptr, "", "", 3, "Title", "Single", ""},
      // Splits at "-" and "_", not at blanks.
      {"C:\\x\\The Band_Best Of - 07 - Long Song.mp3", 0, "- _", nullptr, "", "", 7, "Long Song", "Best Of",
       "The Band"},
      {"C:\\Intro.mp3", 0, nullptr, nullptr, "", "", 0, "Intro", "Single", ""},
      // With no artist from the path, the album the record had becomes its artist.
      {"C:\\Intro.mp3", 0, nullptr, "Loose", "", "Kept Album", 0, "Intro", "Loose", "Kept Album"},
      // An artist from the path or the record stays.
      {"C:\\Intro.mp3", 0, nullptr, nullptr, "Someone", "", 0, "Intro", "", "Someone"},
      // The digit token nearest the start of the text sets the track number.
      {"D:\\2004\\05 - Song.ogg", 1, nullptr, nullptr, "", "", 2004, "Song", "Single", ""},
      // Runs of delimiters and blank tokens give no tokens.
      {"C:\\a\\Artist -- - Title.flac", 0, nullptr, nullptr, "", "", 0, "Title", "Single", "Artist"},
      // A number far beyond the field is pinned, not wrapped.
      {"C:\\99999999999 - Title.mp3", 0, nullptr, nullptr, "", "", 2147483647, "Title", "Single", ""},
      // Folders of a network path, and dots inside the name.
      {"\\\\server\\share\\Art\\Alb\\1.5 - T.mp3", 1, nullptr, nullptr, "", "", 0, "T", "1.5", "Alb"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    key_->SetDword("ATM_UseFolders", c.useFolders);
    key_->DeleteValue("ATM_DelimiterList");
    key_->DeleteValue("ATM_DefaultAlbum");
    if (c.delimiters) key_->SetString("ATM_DelimiterList", c.delimiters);
    if (c.defaultAlbum) key_->SetString("ATM_DefaultAlbum", c.defaultAlbum);
    TrackRecord r;
    r.artist.Set(c.artistBefore);
    r.album.Set(c.albumBefore);
    EXPECT_EQ(TagsFromPath(c.path, r), 1);
    EXPECT_EQ(r.trackNumber, c.track);
    EXPECT_EQ(r.title.Str(), c.title);
    EXPECT_EQ(r.album.Str(), c.album);
    EXPECT_EQ(r.artist.Str(), c.artist);
  }
}

TEST(TrimTrackTags, TrimsTheFiveTexts) {
  TrackRecord r;
  r.title.Set("  Title \t");
  r.album.Set("\r\nAlbum");
  r.artist.Set("Artist  ");
  r.genre.Set(" ");
  r.comment.Set(" a  b ");
  r.composer.Set(" kept ");
  TrimTrackTags(r);
  EXPECT_EQ(r.title.Str(), "Title");
  EXPECT_EQ(r.album.Str(), "Album");
  EXPECT_EQ(r.artist.Str(), "Artist");
  EXPECT_EQ(r.genre.Str(), "");
  EXPECT_EQ(r.comment.Str(), "a  b");
  EXPECT_EQ(r.composer.Str(), " kept ");
}

}  // namespace
}  // namespace transfer
