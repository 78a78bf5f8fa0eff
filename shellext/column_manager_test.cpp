// The column manager in a folder view: the columns of a kind of folder, the layout the
// person makes and finds again, the bounds of toggling, and what placeholder listings
// leave alone.
#include <gtest/gtest.h>

#include "testing/shell_view.h"

using namespace device;

namespace shellexttest {
namespace {

using namespace shellext;

const bool kIsolated = platform::testing::IsolateNamespace();

class ColumnManagerTest : public ViewTest {
 protected:
  // The stored layout value (256 bytes), as 16-bit entries; empty when absent.
  std::vector<int> Stored(const std::string& name) {
    std::vector<int> entries;
    auto key = platform::SettingsKey::Open(platform::Hive::CurrentUser, g_ProductIdentity.settingsKey);
    if (!key) return entries;
    const auto value = key->Get(name);
    if (!value || value->type != platform::ValueType::Binary) return entries;
    for (std::size_t i = 0; i + 1 < value->data.size(); i += 2) {
      entries.push_back(static_cast<std::uint8_t>(value->data[i]) | (static_cast<std::uint8_t>(value->data[i + 1]) << 8));
    }
    return entries;
  }
  void Store(const std::string& name, const std::vector<int>& entries) {
    std::string bytes(256, '\0');
    for (std::size_t i = 0; i < entries.size(); ++i) {
      bytes[2 * i] = static_cast<char>(entries[i] & 0xFF);
      bytes[2 * i + 1] = static_cast<char>(entries[i] >> 8);
    }
    Settings().Set(name, platform::ValueType::Binary, bytes);
  }
};

TEST_F(ColumnManagerTest, APersonsColumnsAreStoredPerKindOfFolderAndFoundAgain) {
  g_ProductIdentity.InitFromPath("/opt/tovarin/pelagrin.so");  // a product of variant 4
  platform::SettingsKey::Create(platform::Hive::CurrentUser, g_ProductIdentity.settingsKey);
  Open("Audio Tracks");
  EXPECT_EQ(View().Columns()->LayoutName(), "Vc_41001");
  EXPECT_EQ(Titles(), (std::vector<std::string>{"Name", "Size", "Type", "Length", "Bitrate", "Year", "Genre", "Composer",
                                                "BPM", "Rating", "Play Count", "Last Played", "Comment", "Added",
                                                "Modified"}));
  Frame().Command(kColumnCommandFirst + 11);  // hide Genre
  const std::vector<int> shown = Stored("Vc_41001S");
  ASSERT_EQ(shown.size(), 128u);
  EXPECT_EQ(shown[11], 0);
  EXPECT_EQ(shown[0], 1);
  Open("Artists");
  Open("Audio Tracks");
  EXPECT_EQ(ColumnOf("Genre"), -1);
  // Shown again, Artist goes back to its own place, second from the left.
  Frame().Command(kColumnCommandFirst + 1);
  EXPECT_EQ(Titles()[1], "Artist");
  EXPECT_EQ(Stored("Vc_41001O")[1], 1);
  // A person's widths are kept too.
  ASSERT_TRUE(List().UserResizeColumn(ColumnOf("Comment"), 321));
  View().SaveViewState();
  Open("Artists");
  Open("Audio Tracks");
  EXPECT_EQ(List().GetColumn(ColumnOf("Comment")).width, 321);
}

TEST_F(ColumnManagerTest, TogglingIsBoundedByTheSetAndTheNameColumnStays) {
  Open("Audio Tracks");  // the general set: 20 columns
  const std::vector<std::string> before = Titles();
  for (int d : {0, 20, 127, 500, -1}) {
    EXPECT_EQ(View().Columns()->ToggleColumn(d), d == 0 ? 1 : 0) << d;
    EXPECT_EQ(Titles(), before) << d;
  }
  // A stored layout that hides the name column or names columns the set lacks.
  frame_.reset();  // (closing the view stores its layout)
  std::vector<int> stored(128, 1);
  stored[0] = 0;
  Store("Vc_41001S", stored);
  Open("Audio Tracks");
  EXPECT_EQ(Titles().front(), "Name");
  EXPECT_EQ(List().GetColumnCount(), 20);
}

TEST_F(ColumnManagerTest, TheMenuOffersOnlyOptionalColumnsYetAStoredFlagShowsAnyColumn) {
  std::vector<int> stored(20, 0);
  for (int d : {0, 5, 15}) stored[static_cast<std::size_t>(d)] = 1;  // 15, Play Count, is never offered
  Store("Vc_41001S", stored);
  Open("Audio Tracks");
  EXPECT_EQ(Titles(), (std::vector<std::string>{"Name", "Type", "Play Count"}));
  std::string menu;
  host_.ExpectMenu([&](const platform::Menu& m) -> platform::UINT {
    menu = m.Describe();
    return m.FindText("Artist")->id;
  });
  ASSERT_TRUE(List().UserRightClickHeader());
  EXPECT_NE(menu.find("Restore Column Defaults"), std::string::npos) << menu;
  EXPECT_NE(menu.find("([x] Name)"), std::string::npos) << "the name column is greyed: " << menu;
  EXPECT_EQ(menu.find("Play Count"), std::string::npos) << menu;
  EXPECT_NE(menu.find("\nAlbum\n"), std::string::npos) << menu;  // hidden, but offered
  EXPECT_EQ(Titles(), (std::vector<std::string>{"Name", "Artist", "Type", "Play Count"}));
  // Restoring the defaults forgets the person's choice.
  Frame().Command(kCmdRestoreColumns);
  EXPECT_EQ(Titles(), (std::vector<std::string>{"Name", "Size", "Type", "Length", "Bitrate", "Year", "Genre", "Comment"}));
}

// A folder listing only text rows (the player not connected) never stores its columns.
TEST_F(ColumnManagerTest, PlaceholderRowsLeaveTheStoredLayoutAlone) {
  struct NeverConnected : MemoryDeviceBase {
    void Connect() override {}
  } away;
  away.SetConnected(false);
  Use(away);
  Store("Vc_00W", {175, 60, 75, 75, 75});
  Open("");
  EXPECT_FALSE(View().Columns()->SavesLayout());
  ASSERT_TRUE(List().UserResizeColumn(0, 999));
  Frame().Command(kCmdCompactColumns);
  View().SaveViewState();
  EXPECT_EQ(Stored("Vc_00W")[0], 175);
  EXPECT_TRUE(Stored("Vc_00S").empty());
  frame_.reset();  // before the player it asks goes
}

}  // namespace
}  // namespace shellexttest
