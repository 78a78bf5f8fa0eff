#include "sql/values.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

namespace sql {

namespace {

TEST(SqlAtoi, ReadsLikeAtoiAndSaturates) {
  const struct {
    std::string text;
    std::int32_t value;
  } cases[] = {
      {"42", 42},
      {"  \t\n42abc", 42},
      {"-17", -17},
      {"+5", 5},
      {"abc", 0},
      {"", 0},
      {"-", 0},
      {"- 5", 0},
      {"3.9", 3},
      {"2147483647", INT_MAX},
      {"2147483648", INT_MAX},
      {"-2147483648", INT_MIN},
      {"-2147483649", INT_MIN},
      {std::string(400, '9'), INT_MAX},
      {"-" + std::string(400, '9'), INT_MIN},
      {"000000000000000000000000000012", 12},
  };
  for (const auto& c : cases) EXPECT_EQ(sql::SqlAtoi(c.text), c.value) << c.text;
}

TEST(ContainsLowered, FoldsAsciiOnly) {
  EXPECT_TRUE(sql::ContainsLowered("The Beatles", "beat"));
  EXPECT_TRUE(sql::ContainsLowered("THE BEATLES", "tles"));
  EXPECT_TRUE(sql::ContainsLowered("anything", ""));
  EXPECT_TRUE(sql::ContainsLowered("", ""));
  EXPECT_FALSE(sql::ContainsLowered("", "a"));
  EXPECT_FALSE(sql::ContainsLowered("beat", "beats"));
  EXPECT_TRUE(sql::ContainsLowered("aaab", "aab"));  // restarts after a partial match
  EXPECT_FALSE(sql::ContainsLowered("\xC3\x89T\xC3\x89", "\xC3\xA9t\xC3\xA9"));  // no folding beyond ASCII
  EXPECT_TRUE(sql::ContainsLowered("Don't Stop", "don't"));
}

TEST(CompareDigitStrings, ComparesNumbersOfAnyLength) {
  EXPECT_LT(sql::CompareDigitStrings("2", "10"), 0);
  EXPECT_EQ(sql::CompareDigitStrings("007", "7"), 0);
  EXPECT_EQ(sql::CompareDigitStrings("", "0"), 0);
  EXPECT_GT(sql::CompareDigitStrings(std::string(400, '9'), std::string(399, '9')), 0);
  EXPECT_LT(sql::CompareDigitStrings("1" + std::string(300, '0'), "2" + std::string(300, '0')), 0);
}

TEST(FormatInt, WritesDecimal) {
  std::string s;
  EXPECT_EQ(sql::FormatInt(-2147483648LL, s), "-2147483648");
  EXPECT_EQ(sql::FormatInt(0, s), "0");
}

}  // namespace

}  // namespace sql
