// The entry each playlist format takes from a line.
#include "transfer/playlist_files.h"

#include <gtest/gtest.h>

namespace transfer {
namespace {

TEST(PlaylistFilesTest, FormatsByExtension) {
  EXPECT_EQ(PlaylistFormatOf(".M3U"), PlaylistFormat::kM3u);
  EXPECT_EQ(PlaylistFormatOf(".pls"), PlaylistFormat::kPls);
  EXPECT_EQ(PlaylistFormatOf(".b4s"), PlaylistFormat::kB4s);
  EXPECT_EQ(PlaylistFormatOf(".Wpl"), PlaylistFormat::kWpl);
  EXPECT_EQ(PlaylistFormatOf(".m3u8"), PlaylistFormat::kNone);
  EXPECT_EQ(PlaylistFormatOf("m3u"), PlaylistFormat::kNone);
}

TEST(PlaylistFilesTest, EntriesOfEachFormat) {
  using F = PlaylistFormat;
  const struct {
    F format;
    const char* line;
    const char* entry;  // null: the line gives nothing
  } cases[] = {
      {F::kM3u, "  music\\a.mp3  ", "music\\a.mp3"},
      {F::kM3u, "#EXTINF:123,Artist - Title", nullptr},
      {F::kM3u, "   ", nullptr},
      {F::kPls, "File1=C:\\a b.mp3", "C:\\a b.mp3"},
      {F::kPls, "FILE2=x=y.mp3", "x=y.mp3"},
      {F::kPls, "Title1=Song", nullptr},
      {F::kPls, "File3", nullptr},
      {F::kBpl, "<entry Playstring=\"file:C:\\a.mp3\">", "C:\\a.mp3"},
      {F::kB4s, "<entry Playstring=\"file:C:\\a.mp3\" >", "C:\\a.mp3\""},
      {F::kB4s, "<entry Playstring=\"file:x", ""},
      {F::kB4s, "<entry Playstring=\"http://x\"/>", nullptr},
      {F::kWpl, "<media src=\"..\\Rock &amp; Roll\\It&apos;s.mp3\"/>", "..\\Rock & Roll\\It's.mp3"},
      {F::kWpl, "<MEDIA SRC=\"a &amp;apos; b.mp3\"/>", "a &apos; b.mp3"},
      {F::kWpl, "<media src=\"unterminated.mp3", "unterminated.mp3"},
      {F::kWpl, "<media src=", ""},
      {F::kWpl, "<seq>", nullptr},
      {F::kRmp, "<FILENAME>a&amp;b.mp3</filename>", "a&b.mp3"},
      {F::kRmp, "<filename>open.mp3", "open.mp3"},
      {F::kRmp, "<name>x</name>", nullptr},
  };
  for (const auto& c : cases) {
    const std::optional<std::string> entry = PlaylistEntry(c.format, c.line);
    if (c.entry == nullptr) {
      EXPECT_FALSE(entry.has_value()) << c.line;
    } else {
      ASSERT_TRUE(entry.has_value()) << c.line;
      EXPECT_EQ(*entry, c.entry) << c.line;
    }
  }
}

TEST(PlaylistFilesTest, LinesEndInLineFeedOrCarriageReturnLineFeed) {
  EXPECT_EQ(PlaylistEntries(PlaylistFormat::kM3u, "#EXTM3U\r\na.mp3\r\n\r\nb.mp3\nc.mp3"),
            (std::vector<std::string>{"a.mp3", "b.mp3", "c.mp3"}));
  EXPECT_TRUE(PlaylistEntries(PlaylistFormat::kPls, "").empty());
}

}  // namespace
}  // namespace transfer
