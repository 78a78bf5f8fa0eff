// The order of a folder's items: the design's rules where they agree with each other, and
// a strict weak ordering over any mix of items (the design's comparison is neither
// antisymmetric nor transitive, which leaves a sort undefined).
#include <gtest/gtest.h>

#include "device/sortable.h"
#include "shellext/item_order.h"
#include "shellext/shell_folder.h"
#include "testing/shellext.h"

using namespace device;

namespace shellexttest {
namespace {

using namespace shellext;

ShellItemData Item(std::uint32_t type, std::uint32_t word0, int position, std::string_view name = {}) {
  ShellItemData item{};
  item.cb = kShellItemSize;
  std::memcpy(item.signature, kShellItemSignature, 4);
  item.nodeType = type;
  item.id.word[0] = word0;
  item.position = position;
  SetItemText(item.displayName, name);
  return item;
}

ShellItemData Track(std::uint32_t id, int position, const char* artist, const char* album, int number) {
  ShellItemData item = Item(NT_TRACK, id, position);
  item.track.artist.Set(artist);
  item.track.album.Set(album);
  item.track.trackNumber = number;
  return item;
}

int Compare(const ShellItemData* a, const ShellItemData* b, bool tagIndex = true) {
  return CompareFolderItems(a, b, 99, tagIndex);
}

TEST(ItemOrderTest, TheRulesOfTheFolderOrder) {
  const ShellItemData search = Item(NT_ACTION, 2056, 9);
  const ShellItemData newList = Item(NT_ACTION, 2071, 1);
  const ShellItemData fill = Item(NT_ACTION, kActionFillDialog, 0);
  const ShellItemData folder = Item(NT_DATAFOLDER, 900, 50, "Zebra");
  const ShellItemData file = Item(NT_DATA, 100, 1, "alpha.txt");
  const ShellItemData file2 = Item(NT_DATA, 101, 0, "Beta.txt");
  const ShellItemData row = Item(NT_MESSAGE, 0, 3, "text");
  const ShellItemData laterTrack = Track(5, 1, "Zed", "Z", 9);
  const ShellItemData earlierTrack = Track(6, 2, "Abe", "A", 1);
  struct Case {
    const char* what;
    const ShellItemData* a;
    const ShellItemData* b;
    bool tagIndex;
    int expected;
  };
  const Case cases[] = {
      {"a leading action row first", &search, &fill, true, -1},
      {"the trailing action row after every other", &fill, &row, true, 1},
      {"the trailing action row after files", &fill, &file, true, 1},
      {"leading action rows among themselves by place", &search, &newList, true, 1},
      {"a data folder before its files, whatever names and places", &folder, &file, true, -1},
      {"files by name without case", &file2, &file, true, 1},
      {"tracks by their tags", &laterTrack, &earlierTrack, true, 1},
      {"tracks without tag index by place", &laterTrack, &earlierTrack, false, -1},
      {"an unreadable item last", nullptr, &row, true, 1},
      {"two unreadable items are one", nullptr, nullptr, true, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Compare(c.a, c.b, c.tagIndex), c.expected) << c.what;
    EXPECT_EQ(Compare(c.b, c.a, c.tagIndex), -c.expected) << c.what << " (turned round)";
  }
}

TEST(ItemOrderTest, AnyMixOfItemsIsOrderedStrictlyAndTransitively) {
  // Items chosen to break the design's rules: equal names with different ids, equal
  // places, one album's tracks of different artists beside another album (the design's
  // album rule and artist key disagree), rows of every band, unreadable items.
  std::vector<ShellItemData> items = {
      Item(NT_ACTION, 2056, 4),           Item(NT_ACTION, 2055, 4),          Item(NT_ACTION, kActionFillDialog, 0),
      Item(NT_ACTION, kActionFillDialog, 2), Item(NT_ACTION, 3011, 3, "Data Files"),
      Item(NT_DATAFOLDER, 7, 1, "Docs"),  Item(NT_DATAFOLDER, 8, 2, "Docs"), Item(NT_DATAFOLDER, 9, 0, "docs"),
      Item(NT_DATA, 10, 1, "a.txt"),      Item(NT_DATA, 11, 1, "A.txt"),     Item(NT_NOTE, 12, 5, "a.txt"),
      Item(NT_NOTEFOLDER, 13, 9, "Notes"), Item(NT_CONTACT, 14, 1, "Mara"),
      Item(NT_PLAYLIST, 20, 2, "Mix"),    Item(NT_PLAYLIST, 21, 2, "Mix"),   Item(NT_PLAYLIST, 22, 1, "Mix"),
      Item(NT_MESSAGE, 0, 1, "one"),      Item(NT_MESSAGE, 0, 1, "two"),     Item(NT_CONTAINER, 3, 1, "Search"),
      Track(30, 3, "Zed", "Same", 1),     Track(31, 1, "Abe", "Same", 2),    Track(32, 2, "Max", "Other", 1),
      Track(33, 2, "Max", "other", 1),    Track(34, 2, "Max", "Other", 1),
  };
  std::vector<const ShellItemData*> all;
  for (const ShellItemData& item : items) all.push_back(&item);
  all.push_back(nullptr);
  all.push_back(nullptr);
  for (const auto& mode : {std::pair{true, 99}, std::pair{false, 99}, std::pair{true, 2}}) {
    const bool tagIndex = mode.first;
    const int column = mode.second;
    auto compare = [&](const ShellItemData* x, const ShellItemData* y) { return CompareFolderItems(x, y, column, tagIndex); };
    for (const ShellItemData* a : all) {
      EXPECT_EQ(compare(a, a), 0);
      for (const ShellItemData* b : all) {
        const int ab = compare(a, b);
        ASSERT_EQ(ab, -compare(b, a)) << "not antisymmetric";
        for (const ShellItemData* c : all) {
          const int bc = compare(b, c);
          const int ac = compare(a, c);
          if (ab < 0 && bc < 0) {
            ASSERT_LT(ac, 0) << "not transitive";
          }
          if (ab == 0 && bc == 0) {
            ASSERT_EQ(ac, 0) << "equivalence not transitive";
          }
        }
      }
    }
  }
  // By artist first; a folder of one album asks for its tracks by number.
  EXPECT_GT(Compare(&items[19], &items[20]), 0);
  EXPECT_LT(CompareFolderItems(&items[19], &items[20], kSortTrackNumber, true), 0);
}

class CompareIdsTest : public LibraryTest {};

// The folder's CompareIDs reads the lists it is given (a host's list may hold the item at
// an odd place) and answers -1, 0 or 1 itself.
TEST_F(CompareIdsTest, TheFolderComparesTheLastItemsOfTheListsItIsGiven) {
  MemoryDevice device;
  Use(device);
  platform::ComPtr<platform::IShellFolder> root =
      platform::ComPtr<platform::IShellFolder>::Attach(new CShellFolder(nullptr, nullptr));
  const ShellItemData first = Track(1, 1, "A", "Album", 1);
  const ShellItemData second = Track(2, 2, "A", "Album", 2);
  platform::LPITEMIDLIST a = MakeList(first);
  platform::LPITEMIDLIST b = MakeList(second);
  // A host's item of odd length before ours.
  std::vector<std::uint8_t> bytes = {3, 0, 0x1F};
  bytes.insert(bytes.end(), reinterpret_cast<const std::uint8_t*>(&second),
               reinterpret_cast<const std::uint8_t*>(&second) + sizeof second);
  bytes.push_back(0);
  bytes.push_back(0);
  platform::LPITEMIDLIST odd = platform::ItemIdListFromBytes(bytes.data(), bytes.size());
  EXPECT_EQ(root->CompareIDs(99, a, b), -1);
  EXPECT_EQ(root->CompareIDs(99, b, a), 1);
  EXPECT_EQ(root->CompareIDs(99, odd, b), 0);
  EXPECT_EQ(root->CompareIDs(99, a, odd), -1);
  EXPECT_EQ(root->CompareIDs(99, nullptr, a), 1);
  device.SetCapability(DeviceOp::SupportsTagIndex, 0);
  EXPECT_EQ(root->CompareIDs(99, b, a), 1);  // by place now
  for (platform::LPITEMIDLIST list : {a, b, odd}) platform::FreeItemIdList(list);
}

}  // namespace
}  // namespace shellexttest
