#include "platform/text/text.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

namespace platform {
namespace {

TEST(TextCompare, TableOfCases) {
  struct Case { const char* a; const char* b; int bytes; int nocase; };
  const Case cases[] = {
      {"abc", "abc", 0, 0},   {"abc", "ABC", 1, 0},    {"a", "ab", -1, -1},
      {"", "", 0, 0},         {"Zeta", "alpha", -1, 1}, {"\xC3\xA9", "\xC3\x89", 1, 1},  // é vs É: no folding beyond ASCII
      {"a\x80", "a\x7f", 1, 1},  // bytes compare unsigned
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.a) + " | " + c.b);
    EXPECT_EQ(CompareBytes(c.a, c.b), c.bytes);
    EXPECT_EQ(CompareNoCase(c.a, c.b), c.nocase);
    EXPECT_EQ(EqualsNoCase(c.a, c.b), c.nocase == 0);
  }
  EXPECT_EQ(FindNoCase("Hello World", "WORLD"), 6u);
  EXPECT_EQ(FindNoCase("abc", "abcd"), std::string_view::npos);
}

TEST(TextCompare, NaturalOrderIsTheFileManagersAndTotal) {
  const std::vector<std::string> sorted = {
      "1.mp3", "01.mp3", "2.mp3", "10.mp3", "Album", "album 2", "Album 10", "track", "Track 2", "track 3", "Track 10",
      "Track 99999999999999999999", "Track 100000000000000000000", "Track10b", "Track10C", "z"};
  for (std::size_t i = 0; i < sorted.size(); ++i) {
    for (std::size_t j = 0; j < sorted.size(); ++j) {
      const int want = i < j ? -1 : i > j ? 1 : 0;
      EXPECT_EQ(CompareNatural(sorted[i], sorted[j]), want) << sorted[i] << " | " << sorted[j];
    }
  }
  // Names apart only by case still have an order of their own.
  EXPECT_EQ(CompareNatural("ABC", "abc"), -1);
  EXPECT_EQ(CompareNatural("abc", "ABC"), 1);
}

TEST(TextUtf8, WellFormedOnly) {
  const struct {
    const char* text;
    bool valid;
  } cases[] = {{"", true},           {"plain", true},          {"caf\xC3\xA9", true},   {"\xF0\x9F\x8E\xB5", true},
               {"caf\xE9", false},   {"\xC3", false},          {"\xC0\xAF", false},     // cut short, overlong
               {"\xED\xA0\x80", false}, {"\xF4\x90\x80\x80", false}, {"\xFF", false}};  // surrogate, past U+10FFFF
  for (const auto& c : cases) EXPECT_EQ(IsValidUtf8(c.text), c.valid) << c.text;
}

TEST(TextField, CopiesNeverSplitACharacter) {
  struct Case { std::string in; std::size_t capacity; std::string out; };
  const std::string e = "\xC3\xA9";            // 2 bytes
  const std::string euro = "\xE2\x82\xAC";     // 3 bytes
  const std::string clef = "\xF0\x9D\x84\x9E"; // 4 bytes
  const Case cases[] = {
      {"hello", 6, "hello"},   {"hello", 5, "hell"},  {"hello", 1, ""},
      {"a" + e, 3, "a"},       {"a" + e, 4, "a" + e}, {euro + euro, 6, euro},
      {"ab" + clef, 5, "ab"},  {"ab" + clef, 7, "ab" + clef},
      {"\x80\x80\x80\x80\x80", 3, "\x80\x80"},  // not UTF-8: cut as bytes
  };
  for (const auto& c : cases) {
    char field[16];
    std::memset(field, 'X', sizeof field);
    CopyToField(field, c.capacity, c.in);
    EXPECT_EQ(std::string(field), c.out) << "capacity " << c.capacity;
  }
}

TEST(TextField, ReadFieldStopsAtCapacityWithoutNul) {
  const char full[4] = {'a', 'b', 'c', 'd'};
  EXPECT_EQ(ReadField(full, 4), "abcd");
  const char shorter[4] = {'a', 0, 'c', 'd'};
  EXPECT_EQ(ReadField(shorter, 4), "a");
}

TEST(TextHelpers, ReplaceAllAndTrim) {
  EXPECT_EQ(ReplaceAll("a\\\\\\b", "\\\\", "\\"), "a\\\\b");  // one pass, like replace-all
  EXPECT_EQ(ReplaceAll("xx", "", "y"), "xx");
}

TEST(TextHelpers, TrimTakesEveryWhiteSpaceCharacterFromBothEnds) {
  struct Case { std::string in, out; };
  const Case cases[] = {
      {"  a b \r\n", "a b"},
      {" \t ", ""},
      {"", ""},
      {"\vRock\f", "Rock"},         // vertical tab and form feed are white space too
      {"\f\v\t\r\n x \n\r\t\v\f", "x"},
      {"a\v b", "a\v b"},            // only the ends
      {"\xC2\xA0" "a" "\xC2\xA0", "\xC2\xA0" "a" "\xC2\xA0"},  // no white space beyond ASCII
      {std::string("\0a\0", 3), std::string("\0a\0", 3)},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Trim(c.in), c.out) << "[" << c.in << "]";
    EXPECT_EQ(TrimView(c.in), c.out) << "[" << c.in << "]";
  }
  for (char c : std::string(" \t\r\n\v\f")) EXPECT_TRUE(IsWhiteSpace(c)) << int(c);
  for (char c : std::string("a\b\x1c\x7f\xa0", 5)) EXPECT_FALSE(IsWhiteSpace(c)) << int(c);
}

TEST(TextSplit, EachSplitKeepsItsOwnContract) {
  using Pieces = std::vector<std::string_view>;
  const struct {
    std::string_view text;
    Pieces keeping;  // at ','
    Pieces dropping;  // at any of ",;"
  } cases[] = {
      {"a,b", {"a", "b"}, {"a", "b"}},
      {"a,,b", {"a", ",b"}, {"a", "b"}},  // the character after a separator is never one
      {"a,,,b", {"a", ",", "b"}, {"a", "b"}},
      {",a,", {"", "a", ""}, {"a"}},
      {"", {""}, {}},
      {",", {"", ""}, {}},
      {",,", {"", ","}, {}},
      {"a;b,c", {"a;b", "c"}, {"a", "b", "c"}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(SplitKeepingEmpty(c.text, ','), c.keeping) << c.text;
    EXPECT_EQ(SplitDroppingEmpty(c.text, ",;"), c.dropping) << c.text;
  }
}

TEST(TextNumbers, ReadLikeAtoiAndPinnedToTheirType) {
  const struct {
    std::string_view text;
    std::int32_t as32;
    std::int64_t as64;
    bool overflow;
  } cases[] = {
      {"42", 42, 42, false},
      {" \t\v\f-17xyz", -17, -17, false},  // every white space, then stops at the first other byte
      {"+8", 8, 8, false},
      {"", 0, 0, false},
      {"x1", 0, 0, false},
      {"- 1", 0, 0, false},
      {"2147483647", INT32_MAX, 2147483647, false},
      {"2147483648", INT32_MAX, 2147483648, false},
      {"-2147483648", INT32_MIN, -2147483648LL, false},
      {"-2147483649", INT32_MIN, -2147483649LL, false},
      {"9223372036854775807", INT32_MAX, INT64_MAX, false},
      {"-9223372036854775808", INT32_MIN, INT64_MIN, false},
      {"9223372036854775808", INT32_MAX, INT64_MAX, false},
      {"18446744073709551616", INT32_MAX, INT64_MAX, true},
      {"-99999999999999999999999", INT32_MIN, INT64_MIN, true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ParseInt32(c.text), c.as32) << c.text;
    EXPECT_EQ(ParseInt64(c.text), c.as64) << c.text;
    EXPECT_EQ(ScanNumber(c.text).overflow, c.overflow) << c.text;
  }
  EXPECT_EQ(ScanNumber("18446744073709551615").magnitude, UINT64_MAX);
  EXPECT_EQ(ScanNumber("-5").magnitude, 5u);
  EXPECT_TRUE(ScanNumber("-5").negative);
}

TEST(TextCompare, StartsWithIgnoresAsciiCaseOnly) {
  EXPECT_TRUE(StartsWithNoCase("USB\\VID", "usb\\"));
  EXPECT_TRUE(StartsWithNoCase("abc", ""));
  EXPECT_FALSE(StartsWithNoCase("ab", "abc"));
  EXPECT_FALSE(StartsWithNoCase("\xC3\x89t\xC3\xA9", "\xC3\xA9"));
}

TEST(PrintfTest, TheTextGrowsToFitAndIsNeverCut) {
  const std::string longName(5000, 'n');
  EXPECT_EQ(Printf("%d:%02d", 3, 7), "3:07");
  EXPECT_EQ(Printf("%s", ""), "");
  const std::string text = Printf("[%s] %u", longName.c_str(), 42u);
  EXPECT_EQ(text.size(), longName.size() + 5);
  EXPECT_EQ(text.substr(text.size() - 4), "] 42");
}

}  // namespace
}  // namespace platform
