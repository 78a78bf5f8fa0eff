#include "sql/query_engine.h"

#include <gtest/gtest.h>

#include "device/memory_device.h"

namespace sql {

using namespace device;

namespace {

class DeviceQueryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RegisterSqlEngine();
    RegisterSqlEngine();  // start-up may run twice; the second changes nothing
    a_ = device_.AddTrack({.artist = "Abba", .title = "Waterloo", .year = 1974});
    b_ = device_.AddTrack({.artist = "Blur", .title = "Song 2", .year = 1997});
    c_ = device_.AddTrack({.artist = "Cure", .title = "Lovesong", .year = 1989});
  }

  std::vector<std::uint64_t> All(const std::string& sql, int* count = nullptr) {
    std::vector<std::uint64_t> ids;
    KernelId id;
    const int n = device_.QueryFirst(sql, id);
    if (count) *count = n;
    if (n == 0) return ids;
    do ids.push_back(id.GetItemId());
    while (device_.QueryNext(id));
    return ids;
  }

  MemoryDevice device_;
  KernelId a_, b_, c_;
};

TEST_F(DeviceQueryTest, IdsInResultOrder) {
  int count = 0;
  EXPECT_EQ(All("SELECT id, title FROM audio WHERE title?'song' ORDER BY title DESC;", &count),
            (std::vector<std::uint64_t>{b_.GetItemId(), c_.GetItemId()}));
  EXPECT_EQ(count, 2);
  KernelId id;
  ASSERT_EQ(device_.QueryFirst("SELECT id FROM audio WHERE year < 1980", id), 1);
  EXPECT_EQ(id, a_);
  EXPECT_TRUE(id.GetName().empty());
  EXPECT_EQ(device_.QueryNext(id), 0);
}

TEST_F(DeviceQueryTest, IdColumnIsSixtyFourBits) {
  KernelId id;
  ASSERT_EQ(device_.QueryFirst("SELECT DISTINCT 4294967296 AS id FROM audio", id), 1);
  EXPECT_EQ(id.word[0], 0u);
  EXPECT_EQ(id.word[1], 1u);
  EXPECT_EQ(id.word[2], 0u);
  EXPECT_TRUE(id.GetName().empty());
  // Texts beyond 64 bits saturate: they never come round to name a real item.
  const struct {
    const char* text;
    std::uint64_t id;
  } texts[] = {
      {"18446744073709551615", UINT64_MAX},
      {"18446744073709551616", UINT64_MAX},
      {"18446744073709551720", UINT64_MAX},  // wrapped, this would be track 104
      {"99999999999999999999999999", UINT64_MAX},
      {"-1", UINT64_MAX},
      {"-9223372036854775808", 0x8000000000000000ull},
      {"-18446744073709551615", UINT64_MAX},  // wrapped, this would be 1
      {"'  42abc'", 42},
      {"'abc'", 0},
  };
  for (const auto& t : texts) {
    ASSERT_EQ(device_.QueryFirst(std::string("SELECT DISTINCT ") + t.text + " AS id FROM audio", id), 1) << t.text;
    EXPECT_EQ(id.GetItemId(), t.id) << t.text;
  }
  // A result without an "id" column gives ids of 0.
  ASSERT_EQ(device_.QueryFirst("SELECT title FROM audio WHERE year < 1980", id), 1);
  EXPECT_EQ(id.GetItemId(), 0u);
}

TEST_F(DeviceQueryTest, NothingFoundAndRejectedStatements) {
  KernelId id;
  EXPECT_EQ(device_.QueryFirst("SELECT id FROM audio WHERE artist = 'nobody'", id), 0);
  EXPECT_EQ(device_.QueryNext(id), 0);

  // Refused statements leave the previous results and their cursor alone.
  ASSERT_EQ(device_.QueryFirst("SELECT id FROM audio", id), 3);
  const struct {
    const char* sql;
    const char* why;
  } refused[] = {
      {"UPDATE audio SET artist = 'x'", "not a SELECT"},
      {"SELECT id FROM audio WHERE", "syntax error"},
      {"", "empty"},
      {"SELECT id FROM songs", "no such table"},
      {"SELECT nosuch FROM audio", "no such field"},
      {"SELECT id FROM audio WHERE 1/0 = 1", "zero divisor"},
  };
  for (const auto& r : refused) {
    KernelId untouched = KernelId::FromItemId(77);
    EXPECT_EQ(device_.QueryFirst(r.sql, untouched), 0) << r.why;
    EXPECT_EQ(untouched.GetItemId(), 77u) << r.why;
  }
  ASSERT_EQ(device_.QueryNext(id), 1);
  EXPECT_EQ(id, b_);
}

TEST_F(DeviceQueryTest, QuotedUserTextStaysOneValue) {
  device_.AddTrack({.artist = "Someone", .title = "Don't Stop"});
  EXPECT_EQ(SqlStringLiteral("Don't"), "'Don''t'");
  EXPECT_EQ(SqlStringLiteral(""), "''");
  EXPECT_EQ(All("SELECT id FROM audio WHERE title?" + SqlStringLiteral("don't") + ";").size(), 1u);
  EXPECT_TRUE(All("SELECT id FROM audio WHERE title?" + SqlStringLiteral("' OR 1=1 OR title?'") + ";").empty());
}

TEST(RunDeviceQuery, AnswersNothingForOtherStatements) {
  MemoryDevice device;
  device.AddTrack({.title = "x"});
  EXPECT_FALSE(RunDeviceQuery(device, "DELETE FROM audio"));
  EXPECT_FALSE(RunDeviceQuery(device, "SELECT FROM"));
  auto ids = RunDeviceQuery(device, "SELECT title FROM audio");
  ASSERT_TRUE(ids);
  EXPECT_EQ(*ids, std::vector<std::string>{""});
}

}  // namespace

}  // namespace sql
