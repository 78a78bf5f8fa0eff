#include "platform/shell/item_id_list.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/com/allocator.h"
#include "platform/shell/shell_interfaces.h"

namespace platform {
namespace {

// A list from (item content) pieces: each item gets its count in front, then the end.
std::vector<std::uint8_t> List(const std::vector<std::string>& items) {
  std::vector<std::uint8_t> out;
  for (const std::string& item : items) {
    const std::size_t cb = item.size() + 2;
    out.push_back(static_cast<std::uint8_t>(cb & 0xFF));
    out.push_back(static_cast<std::uint8_t>(cb >> 8));
    out.insert(out.end(), item.begin(), item.end());
  }
  out.push_back(0);
  out.push_back(0);
  return out;
}

// A handed-over copy in the shell allocator.
LPITEMIDLIST HandOver(const std::vector<std::uint8_t>& bytes) {
  return ItemIdListFromBytes(bytes.data(), bytes.size());
}

TEST(ItemIdListTest, WellFormedListsMeasureCountAndEndWhereTheyShould) {
  const auto one = List({"abc"});
  EXPECT_EQ(ItemIdListSize(one.data(), one.size()), 7u);
  EXPECT_EQ(ItemIdCount(one.data(), one.size()), 1);
  const auto empty = List({});
  EXPECT_EQ(ItemIdListSize(empty.data(), empty.size()), 2u);
  EXPECT_EQ(ItemIdCount(empty.data(), empty.size()), 0);
  EXPECT_EQ(LastItemId(empty.data(), empty.size()), nullptr);
  // Bytes after the terminator are not part of the list.
  auto trailing = List({"ab", "cd"});
  trailing.push_back(0x55);
  EXPECT_EQ(ItemIdListSize(trailing.data(), trailing.size()), 10u);
  const SHITEMID* last = LastItemId(trailing.data(), trailing.size());
  ASSERT_NE(last, nullptr);
  EXPECT_EQ(std::memcmp(last->abID, "cd", 2), 0);
  // An item may be exactly its count.
  const std::vector<std::uint8_t> bare = {2, 0, 0, 0};
  EXPECT_EQ(ItemIdCount(bare.data(), bare.size()), 1);
}

TEST(ItemIdListTest, HostileListsReadAsNothing) {
  struct Case {
    const char* what;
    std::vector<std::uint8_t> bytes;
    std::size_t length;
  };
  const auto good = List({"abc", "de"});
  const std::vector<Case> cases = {
      {"empty", {}, 0},
      {"one byte", {0}, 1},
      {"no terminator", {5, 0, 'a', 'b', 'c'}, 5},
      {"item of size 1", {1, 0, 0, 0}, 4},
      {"item past the end", {9, 0, 'a', 'b', 0, 0}, 6},
      {"terminator cut", {3, 0, 'a', 0}, 4},
      {"known length shorter than the list", good, good.size() - 1},
      {"huge count", {0xFF, 0xFF, 'x', 0, 0}, 5},
  };
  for (const Case& c : cases) {
    const void* data = c.bytes.empty() ? nullptr : c.bytes.data();
    EXPECT_EQ(ItemIdListSize(data, c.length), 0u) << c.what;
    EXPECT_EQ(ItemIdCount(data, c.length), -1) << c.what;
    EXPECT_EQ(LastItemId(data, c.length), nullptr) << c.what;
    EXPECT_EQ(ItemIdListFromBytes(data, c.length), nullptr) << c.what;
    int visits = 0;
    EXPECT_FALSE(ForEachItemId(data, c.length, [&](const std::uint8_t*, std::size_t) { return ++visits > 0; }));
    EXPECT_EQ(visits, 0) << c.what;
  }
}

TEST(ItemIdListTest, HandedOverListsAreBoundedByTheirAllocation) {
  LPITEMIDLIST list = HandOver(List({"abc", "de"}));
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(ItemIdListSize(list), 11u);
  // A pointer into the list (its second item) reads the rest of it.
  auto* second = reinterpret_cast<LPCITEMIDLIST>(reinterpret_cast<const std::uint8_t*>(list) + 5);
  EXPECT_EQ(ItemIdListSize(second), 6u);
  // Memory that no allocation of the shell holds has no known length.
  const auto onStack = List({"abc"});
  EXPECT_EQ(ItemIdListSize(reinterpret_cast<LPCITEMIDLIST>(onStack.data())), 0u);
  EXPECT_EQ(CloneItemIdList(reinterpret_cast<LPCITEMIDLIST>(onStack.data())), nullptr);
  FreeItemIdList(list);
}

TEST(ItemIdListTest, CopiesJoinsAndComparisons) {
  LPITEMIDLIST a = HandOver(List({"root"}));
  LPITEMIDLIST b = HandOver(List({"child", "leaf"}));
  LPITEMIDLIST empty = HandOver(List({}));
  ASSERT_TRUE(a && b && empty);

  LPITEMIDLIST joined = CombineItemIdLists(a, b);
  ASSERT_NE(joined, nullptr);
  const auto expected = List({"root", "child", "leaf"});
  EXPECT_EQ(ItemIdListSize(joined), expected.size());
  EXPECT_EQ(std::memcmp(joined, expected.data(), expected.size()), 0);

  struct Case {
    const char* what;
    LPCITEMIDLIST first;
    LPCITEMIDLIST second;
    LPCITEMIDLIST result;  // expected bytes; null: no list
  };
  const Case cases[] = {
      {"first only", a, nullptr, a},
      {"second only", nullptr, b, b},
      {"empty first", empty, b, b},
      {"neither", nullptr, nullptr, nullptr},
  };
  for (const Case& c : cases) {
    LPITEMIDLIST r = CombineItemIdLists(c.first, c.second);
    if (c.result == nullptr) {
      EXPECT_EQ(r, nullptr) << c.what;
    } else {
      EXPECT_TRUE(ItemIdListsEqual(r, c.result)) << c.what;
      EXPECT_NE(r, c.result) << c.what;  // always a new block
    }
    FreeItemIdList(r);
  }

  LPITEMIDLIST copy = CloneItemIdList(joined);
  EXPECT_TRUE(ItemIdListsEqual(copy, joined));
  EXPECT_FALSE(ItemIdListsEqual(a, b));
  EXPECT_FALSE(ItemIdListsEqual(nullptr, nullptr));

  {
    ShellAllocatorFailures failures(0, -1);
    EXPECT_EQ(CloneItemIdList(a), nullptr);
    EXPECT_EQ(CombineItemIdLists(a, b), nullptr);
  }
  for (LPITEMIDLIST l : {a, b, empty, joined, copy}) FreeItemIdList(l);
}

TEST(StrRetTest, EveryFormGivesItsTextAndAnAllocatedTextIsFreed) {
  IMalloc* malloc = nullptr;
  ASSERT_EQ(SHGetMalloc(&malloc), S_OK);
  const std::size_t live = ShellAllocatorLiveBlocks();
  STRRET wide;
  wide.uType = STRRET_WSTR;
  wide.pOleStr = static_cast<char*>(malloc->Alloc(6));
  std::memcpy(wide.pOleStr, "Tracks", 6);  // no NUL: the block's end bounds it
  EXPECT_EQ(StrRetToString(&wide, nullptr), "Tracks");
  EXPECT_EQ(wide.pOleStr, nullptr);
  EXPECT_EQ(ShellAllocatorLiveBlocks(), live);

  STRRET inline_;
  std::strcpy(inline_.cStr, "Genres");
  EXPECT_EQ(StrRetToString(&inline_, nullptr), "Genres");

  LPITEMIDLIST item = HandOver(List({"xyName"}));
  STRRET offset;
  offset.uType = STRRET_OFFSET;
  offset.uOffset = 4;
  EXPECT_EQ(StrRetToString(&offset, item), "Name");
  offset.uOffset = 400;  // past the item
  EXPECT_EQ(StrRetToString(&offset, item), "");
  FreeItemIdList(item);
  malloc->Release();
}

}  // namespace
}  // namespace platform
