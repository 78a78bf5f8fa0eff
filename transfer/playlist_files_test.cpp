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
  EXPECT_EQ(PlaylistFormatOf(".m3u8"), PlaylistFormat::kM3u);
  EXPECT_EQ(PlaylistFormatOf(".ASX"), PlaylistFormat::kAsx);
  EXPECT_EQ(PlaylistFormatOf(".m3"), PlaylistFormat::kNone);
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
      // Every entity of XML and numeric references; what names no character stays.
      {F::kWpl, "<media src=\"&quot;Live&quot; &lt;1&gt; &#233;t&#xE9; &#x1F3B5;.mp3\"/>",
       "\"Live\" <1> \xC3\xA9t\xC3\xA9 \xF0\x9F\x8E\xB5.mp3"},
      {F::kWpl, "<media src=\"&#0;&#xD800;&#1114112;&nbsp;&#x;&#12a;&amp\"/>", "&#0;&#xD800;&#1114112;&nbsp;&#x;&#12a;&amp"},
      {F::kWpl, "<media src='It\"s &apos;here&apos;.mp3'/>", "It\"s 'here'.mp3"},
      {F::kAsx, "<Ref HREF = \"C:\\Music\\R&amp;B.wma\" />", "C:\\Music\\R&B.wma"},
      {F::kAsx, "<entry><ref href='a.mp3'/></entry>", "a.mp3"},
      {F::kAsx, "<ref>", nullptr},
      {F::kAsx, "<title>href=\"x.mp3\"</title>", nullptr},
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
  EXPECT_EQ(PlaylistEntries(PlaylistFormat::kM3u, "\xEF\xBB\xBF/music/a.mp3\n"), (std::vector<std::string>{"/music/a.mp3"}));
}

}  // namespace
}  // namespace transfer
