#include "shellext/shell_item.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "platform/com/allocator.h"

namespace shellext {
namespace {

// An item of ours with a display name.
std::vector<std::uint8_t> Item(const char* name, std::uint32_t word0 = 0) {
  std::vector<std::uint8_t> bytes(kShellItemSize, 0);
  auto* item = reinterpret_cast<ShellItemData*>(bytes.data());
  item->cb = kShellItemSize;
  std::memcpy(item->signature, kShellItemSignature, 4);
  item->nodeType = NT_PLAYLIST;
  item->id.word[0] = word0;
  SetItemText(item->displayName, name);
  return bytes;
}

std::vector<std::uint8_t> Join(std::initializer_list<std::vector<std::uint8_t>> items) {
  std::vector<std::uint8_t> out;
  for (const auto& i : items) out.insert(out.end(), i.begin(), i.end());
  out.push_back(0);
  out.push_back(0);
  return out;
}

struct Handed {
  LPITEMIDLIST list;
  explicit Handed(const std::vector<std::uint8_t>& bytes) : list(platform::ItemIdListFromBytes(bytes.data(), bytes.size())) {}
  ~Handed() { platform::FreeItemIdList(list); }
};

TEST(ShellItemTest, TextsAreCutAt256BytesAndLeaveTheFieldWordsZero) {
  std::vector<std::uint8_t> bytes(kShellItemSize, 0);
  auto* item = reinterpret_cast<ShellItemData*>(bytes.data());
  SetItemText(item->displayName, std::string(300, 'x'));
  EXPECT_EQ(item->DisplayName(), std::string(256, 'x'));
  EXPECT_EQ(std::memchr(item->displayName.text, 0, 256), nullptr);
  EXPECT_EQ(item->displayName.zero, 0u);
  EXPECT_EQ(item->displayName.capacity, 0u);
  // A character is never split: "é" (2 bytes) at 255..256 is left out whole.
  SetItemText(item->secondText, std::string(255, 'a') + "\xC3\xA9");
  EXPECT_EQ(item->SecondText(), std::string(255, 'a'));
}

TEST(ShellItemTest, TheLastItemIsReadOnlyWhenItIsOurs) {
  // The host's leading item has an odd length, so ours behind it is not aligned.
  const std::vector<std::uint8_t> host = {5, 0, 'h', 'o', 's'};
  Handed absolute(Join({host, Item("Road", 7)}));
  const ShellItemData* last = GetLastItemId(absolute.list);
  ASSERT_NE(last, nullptr);
  const CPidlLast held(absolute.list);
  EXPECT_EQ(held.GetDisplayName(), "Road");
  EXPECT_EQ(held.GetId().word[0], 7u);

  Handed two(Join({Item("First"), Item("Second")}));
  EXPECT_EQ(CPidlLast(two.list).GetDisplayName(), "Second");

  struct Case {
    const char* what;
    std::vector<std::uint8_t> bytes;
  };
  auto badSignature = Item("x");
  badSignature[3] = 'Z';
  auto shortItem = Item("x");
  shortItem.resize(100);
  shortItem[0] = 100;
  shortItem[1] = 0;
  const Case cases[] = {
      {"empty list", Join({})},
      {"host item last", Join({Item("ours"), host})},
      {"wrong signature", Join({badSignature})},
      {"wrong size", Join({shortItem})},
  };
  for (const Case& c : cases) {
    Handed list(c.bytes);
    EXPECT_EQ(GetLastItemId(list.list), nullptr) << c.what;
    EXPECT_THROW(CPidlLast{list.list}, CPidlException) << c.what;
  }
  EXPECT_THROW(CPidlLast{nullptr}, CPidlException);
  // A list somewhere no allocation of the shell holds has no known length.
  const auto onStack = Join({Item("x")});
  EXPECT_EQ(GetLastItemId(reinterpret_cast<LPCITEMIDLIST>(onStack.data())), nullptr);
}

TEST(ShellItemTest, ListsCopyJoinAndMeasure) {
  PidlManager pidls;
  Handed one(Join({Item("Road")}));
  EXPECT_EQ(pidls.GetSize(one.list), kOneItemListSize);
  EXPECT_EQ(pidls.GetSize(nullptr), 0u);
  Handed empty(Join({}));

  LPITEMIDLIST joined = pidls.Concatenate(empty.list, one.list);
  EXPECT_TRUE(platform::ItemIdListsEqual(joined, one.list));
  pidls.Free(joined);

  joined = pidls.Concatenate(one.list, one.list);
  EXPECT_EQ(pidls.GetSize(joined), 2 * kShellItemSize + 2);
  LPITEMIDLIST copy = pidls.Copy(joined);
  EXPECT_TRUE(platform::ItemIdListsEqual(copy, joined));
  EXPECT_EQ(pidls.Concatenate(nullptr, nullptr), nullptr);
  EXPECT_EQ(pidls.Copy(nullptr), nullptr);
  {
    platform::ShellAllocatorFailures failing(0, -1);
    EXPECT_EQ(pidls.Copy(one.list), nullptr);
  }
  pidls.Free(copy);
  pidls.Free(joined);
}

TEST(ShellItemTest, ListsOfItemsSortByIdEitherWay) {
  Handed a(Join({Item("a", 30)}));
  Handed b(Join({Item("b", 10)}));
  Handed c(Join({Item("c", 0xF0000000u)}));
  CPidlList list;
  for (LPITEMIDLIST l : {a.list, b.list, c.list}) list.emplace_back(l);
  list.SortById(1);
  EXPECT_EQ(list[0].GetDisplayName() + list[1].GetDisplayName() + list[2].GetDisplayName(), "bac");
  list.SortById(-1);
  EXPECT_EQ(list[0].GetDisplayName() + list[1].GetDisplayName() + list[2].GetDisplayName(), "cab");
}

}  // namespace
}  // namespace shellext
