#include "platform/vendorsdk/attribute_block.h"

#include <gtest/gtest.h>

#include "platform/vendorsdk/vendorsdk.h"

namespace platform {
namespace {

std::vector<std::uint8_t> Bytes(std::initializer_list<int> v) {
  std::vector<std::uint8_t> out;
  for (int b : v) out.push_back(std::uint8_t(b));
  return out;
}

TEST(AttributeBlockTest, RoundTripOfEveryValueType) {
  AttributeBlockWriter w;
  w.AddText("TITLE", "Caf\xC3\xA9 \xF0\x9F\x8E\xB5");  // a surrogate pair in UTF-16
  w.AddNumber("YEAR", 0xDEADBEEF);
  w.AddRaw(kSdkAttrText, "GENRE", "Jazz");
  w.AddText("EMPTY", "");
  const std::vector<std::uint8_t> block = w.Finish();
  // 2 + 4 x 8 header bytes + names + values (the title is 7 UTF-16 units).
  EXPECT_EQ(block.size(), 2u + 32 + (5 + 4 + 5 + 5) + (2 * 7 + 4 + 4 + 0));

  std::vector<SdkAttribute> attrs;
  ASSERT_TRUE(ParseAttributeBlock(block.data(), block.size(), &attrs));
  ASSERT_EQ(attrs.size(), 4u);
  EXPECT_EQ(attrs[0].type, kSdkAttrUtf16);
  EXPECT_EQ(attrs[0].text, "Caf\xC3\xA9 \xF0\x9F\x8E\xB5");
  EXPECT_EQ(attrs[1].number, 0xDEADBEEFu);
  EXPECT_EQ(attrs[2].type, kSdkAttrText);
  EXPECT_EQ(attrs[2].text, "Jazz");
  EXPECT_EQ(attrs[3].text, "");
}

TEST(AttributeBlockTest, RefusesBlocksThatDoNotHoldWhatTheySay) {
  struct Case {
    const char* what;
    std::vector<std::uint8_t> block;
  };
  const Case cases[] = {
      {"no count", Bytes({1})},
      {"entry header cut", Bytes({1, 0, 1, 0, 4, 0})},
      {"name runs past the end", Bytes({1, 0, 1, 0, 9, 0, 4, 0, 0, 0, 'Y', 'E'})},
      {"value runs past the end", Bytes({1, 0, 0, 0, 1, 0, 200, 0, 0, 0, 'A', 'x'})},
      {"value length near 4 GB", Bytes({1, 0, 0, 0, 1, 0, 0xFF, 0xFF, 0xFF, 0xFF, 'A', 'x'})},
      {"short number", Bytes({1, 0, 1, 0, 1, 0, 3, 0, 0, 0, 'Y', 1, 2, 3})},
      {"odd UTF-16", Bytes({1, 0, 2, 0, 1, 0, 3, 0, 0, 0, 'T', 'a', 0, 'b'})},
      {"unknown type", Bytes({1, 0, 7, 0, 1, 0, 0, 0, 0, 0, 'T'})},
      {"second entry missing", Bytes({2, 0, 0, 0, 1, 0, 1, 0, 0, 0, 'T', 'x'})},
  };
  for (const Case& c : cases) {
    std::vector<SdkAttribute> attrs;
    EXPECT_FALSE(ParseAttributeBlock(c.block.data(), c.block.size(), &attrs)) << c.what;
  }
}

TEST(AttributeBlockTest, CountOfZeroOrLessIsEmpty) {
  for (int high : {0x00, 0x80, 0xFF}) {
    const auto block = Bytes({0, high});
    std::vector<SdkAttribute> attrs;
    EXPECT_TRUE(ParseAttributeBlock(block.data(), block.size(), &attrs)) << high;
    EXPECT_TRUE(attrs.empty());
  }
}

TEST(SdkTextTest, ConversionsReplaceWhatIsInvalid) {
  EXPECT_EQ(Utf8ToSdkString("a\xC3\xA9"), u"a\u00E9");
  EXPECT_EQ(Utf8ToSdkString("\xF0\x9F\x8E\xB5"), u"\U0001F3B5");
  EXPECT_EQ(Utf8ToSdkString("x\xFFy"), u"x\uFFFDy");
  EXPECT_EQ(Utf8ToSdkString("\xE2\x82"), u"\uFFFD");             // cut short
  EXPECT_EQ(Utf8ToSdkString("\xC0\xAF"), u"\uFFFD");             // overlong
  EXPECT_EQ(Utf8ToSdkString("\xED\xA0\x80"), u"\uFFFD");         // an encoded surrogate
  EXPECT_EQ(SdkStringToUtf8(u"\U0001F3B5!"), "\xF0\x9F\x8E\xB5!");
  EXPECT_EQ(SdkStringToUtf8(std::u16string(1, char16_t(0xD800)) + u"z"), "\xEF\xBF\xBDz");
}

}  // namespace
}  // namespace platform
