// The driver's reading and writing of the SDK's attribute blocks. The blocks come from
// outside: every length must be checked against the bytes that are there.
#include "driver/sdk_attributes.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "device/codec.h"
#include "platform/vendorsdk/attribute_block.h"
#include "platform/vendorsdk/vendorsdk.h"

namespace driver {

using namespace device;

namespace {

// Raw entries, so that tests can write what no honest writer would.
struct Raw {
  std::vector<std::uint8_t> bytes;
  Raw& Count(std::uint16_t n) {
    bytes.push_back(std::uint8_t(n));
    bytes.push_back(std::uint8_t(n >> 8));
    return *this;
  }
  Raw& Entry(std::uint16_t type, const std::string& name, const std::string& value,
             std::uint32_t declaredName = UINT32_MAX, std::uint32_t declaredValue = UINT32_MAX) {
    const std::uint32_t n = declaredName == UINT32_MAX ? std::uint32_t(name.size()) : declaredName;
    const std::uint32_t v = declaredValue == UINT32_MAX ? std::uint32_t(value.size()) : declaredValue;
    for (std::uint32_t x : {std::uint32_t(type), n}) {
      bytes.push_back(std::uint8_t(x));
      bytes.push_back(std::uint8_t(x >> 8));
    }
    for (int i = 0; i < 4; ++i) bytes.push_back(std::uint8_t(v >> (8 * i)));
    bytes.insert(bytes.end(), name.begin(), name.end());
    bytes.insert(bytes.end(), value.begin(), value.end());
    return *this;
  }
  static std::string Number(std::uint32_t v) { return std::string{char(v), char(v >> 8), char(v >> 16), char(v >> 24)}; }
  static std::string Wide(const std::u16string& s) {
    std::string out;
    for (char16_t c : s) out += std::string{char(c & 0xFF), char(c >> 8)};
    return out;
  }
};

TEST(SdkAttributesTest, TrackAttributesOfEveryTypeGoIntoTheRecord) {
  Raw b;
  b.Count(11)
      .Entry(2, "TITLE", Raw::Wide(u"Caf\u00E9"))
      .Entry(0, "album", "North Light")
      .Entry(2, "ARTIST", Raw::Wide(u"Ada Lind"))
      .Entry(0, "GENRE", "Folk")
      .Entry(2, "CODEC", Raw::Wide(u"WMA"))
      .Entry(1, "FILE SIZE", Raw::Number(0xF0000000u))
      .Entry(1, "LENGTH", Raw::Number(215))
      .Entry(1, "TRACK NUM", Raw::Number(7))
      .Entry(1, "YEAR", Raw::Number(2004))
      .Entry(1, "PLAYONLY", Raw::Number(0x301))
      .Entry(1, "UNKNOWN", Raw::Number(5));
  TrackRecord r;
  r.Clear();
  r.comment.Set("kept");
  ParseTrackAttributes(b.bytes.data(), b.bytes.size(), r);
  EXPECT_EQ(r.title.Str(), "Caf\xC3\xA9");
  EXPECT_EQ(r.album.Str(), "North Light");
  EXPECT_EQ(r.artist.Str(), "Ada Lind");
  EXPECT_EQ(r.genre.Str(), "Folk");
  EXPECT_EQ(r.codec, kCodecWma);
  EXPECT_EQ(static_cast<std::uint32_t>(r.fileSize), 0xF0000000u);
  EXPECT_EQ(r.length, 215);
  EXPECT_EQ(r.trackNumber, 7);
  EXPECT_EQ(r.year, 2004);
  EXPECT_EQ(r.playOnly, 1);  // the low byte
  EXPECT_EQ(r.comment.Str(), "kept");
}

TEST(SdkAttributesTest, DamagedBlocksKeepWhatLiesWhollyInsideThem) {
  const std::string title = Raw::Wide(u"Good");
  const struct {
    const char* what;
    Raw block;
    const char* title;
    int year;
  } kCases[] = {
      {"count larger than the entries", Raw().Count(5).Entry(2, "TITLE", title), "Good", 0},
      {"name length past the end", Raw().Count(2).Entry(2, "TITLE", title).Entry(1, "YEAR", "", 60000, 0), "Good", 0},
      {"value length past the end",
       Raw().Count(2).Entry(2, "TITLE", title).Entry(1, "YEAR", Raw::Number(1999), UINT32_MAX, 0xFFFFFFF0u), "Good",
       0},
      {"header cut short", [] {
         Raw r;
         r.Count(2).Entry(2, "TITLE", Raw::Wide(u"Good"));
         r.bytes.insert(r.bytes.end(), {1, 0, 4});
         return r;
       }(), "Good", 0},
      {"short number skipped", Raw().Count(3).Entry(1, "YEAR", "\x01\x02").Entry(2, "TITLE", title).Entry(1, "TRACK NUM", Raw::Number(1)),
       "Good", 0},
      {"longer number: its first four bytes", Raw().Count(1).Entry(1, "YEAR", Raw::Number(1999) + "xx"), "", 1999},
      {"negative count", Raw().Count(0x8001).Entry(2, "TITLE", title), "", 0},
      {"odd UTF-16 length", Raw().Count(1).Entry(2, "TITLE", Raw::Wide(u"Ab") + "x"), "Ab", 0},
      {"unknown type read as UTF-16", Raw().Count(1).Entry(9, "TITLE", Raw::Wide(u"Nine")), "Nine", 0},
      {"number where a text belongs", Raw().Count(1).Entry(1, "TITLE", Raw::Number(65)), "", 0},
      {"text ends at its NUL", Raw().Count(1).Entry(0, "TITLE", std::string("Cut\0Rest", 8)), "Cut", 0},
  };
  for (const auto& c : kCases) {
    TrackRecord r;
    r.Clear();
    ParseTrackAttributes(c.block.bytes.data(), c.block.bytes.size(), r);
    EXPECT_EQ(r.title.Str(), c.title) << c.what;
    EXPECT_EQ(r.year, c.year) << c.what;
  }
  TrackRecord r;
  ParseTrackAttributes(nullptr, 0, r);
  const std::uint8_t one = 1;
  ParseTrackAttributes(&one, 1, r);
  EXPECT_EQ(r.title.Str(), "");
}

TEST(SdkAttributesTest, LongTextsAreBoundedByTheFieldOnACharacterBoundary) {
  std::u16string longTitle(255, u'\u00E9');  // 510 bytes in UTF-8
  Raw b;
  b.Count(1).Entry(2, "TITLE", Raw::Wide(longTitle));
  TrackRecord r;
  ParseTrackAttributes(b.bytes.data(), b.bytes.size(), r);
  std::string expected;
  for (int i = 0; i < 128; ++i) expected += "\xC3\xA9";
  EXPECT_EQ(r.title.Str(), expected);
}

TEST(SdkAttributesTest, DataItemAttributes) {
  Raw b;
  b.Count(6)
      .Entry(2, "FOLDER NAME", Raw::Wide(u"Docs"))
      .Entry(2, "FILE NAME", Raw::Wide(u"a.txt"))
      .Entry(1, "FILE ATTRIB", Raw::Number(0x21))
      .Entry(1, "MODIFIED FILETIME", Raw::Number(1100000000))
      .Entry(1, "PARENT FOLDER", Raw::Number(42))
      .Entry(2, "TITLE", Raw::Wide(u"ignored"));
  DataItemRecord r;
  ParseDataItemAttributes(b.bytes.data(), b.bytes.size(), r);
  EXPECT_EQ(r.folderName.Str(), "Docs");
  EXPECT_EQ(r.fileName.Str(), "a.txt");
  EXPECT_EQ(r.fileAttributes, 0x21u);
  EXPECT_EQ(r.modifiedTime, 1100000000u);
  EXPECT_EQ(r.parent.word[0], 42u);
  r.Clear();
  EXPECT_EQ(r.parent, KernelId());
}

TEST(SdkAttributesTest, WrittenBlocksAreExactlySizedAndReadBack) {
  const std::vector<std::uint8_t> block = SdkAttributeBlock()
                                              .Text("TITLE", "Caf\xC3\xA9")
                                              .Text("CODEC", "MP3")
                                              .Number("LENGTH", 61)
                                              .Bytes();
  // 2 + (8 + 5 + 5) + (8 + 5 + 3) + (8 + 6 + 4)
  EXPECT_EQ(block.size(), 2u + 18 + 16 + 18);
  std::vector<platform::SdkAttribute> attrs;
  ASSERT_TRUE(platform::ParseAttributeBlock(block.data(), block.size(), &attrs));
  ASSERT_EQ(attrs.size(), 3u);
  EXPECT_EQ(attrs[0].type, platform::kSdkAttrText);
  EXPECT_EQ(attrs[0].text, "Caf\xC3\xA9");
  EXPECT_EQ(attrs[2].number, 61u);
  TrackRecord r;
  ParseTrackAttributes(block.data(), block.size(), r);
  EXPECT_EQ(r.title.Str(), "Caf\xC3\xA9");
  EXPECT_EQ(r.codec, kCodecMp3);
  EXPECT_EQ(r.length, 61);
}

}  // namespace

}  // namespace driver
