#include "common/escape.h"

#include <gtest/gtest.h>

namespace {

TEST(Escape, Tables) {
  struct Case {
    std::string (*fn)(std::string_view);
    const char* in;
    const char* out;
  };
  const Case cases[] = {
      {HtmlEscape, "a<b&c", "a&lt;b&amp;c"},
      {HtmlEscape, "say \"hi\" it's", "say &quot;hi&quot; it&#39;s"},
      {HtmlEscape, "&amp;", "&amp;amp;"},
      {HtmlEscape, "", ""},
      {HtmlEscapeText, "say \"a<b\" &c it's", "say \"a&lt;b\" &amp;c it's"},
      {HtmlUnescape, "a&lt;b&amp;c&gt;", "a<b&c>"},
      {HtmlUnescape, "&quot;x&#39;", "\"x'"},
      {HtmlUnescape, "&amp;lt;", "&lt;"},  // decoded once, never twice
      {HtmlUnescape, "&am;p &", "&am;p &"},
      {EncodeUrlTokens, "a&lt;b&amp;c", "a&lt;b|amp|c"},
      {EncodeUrlTokens, "1+1=2?", "1|plus|1|eq|2|qmark|"},
      {EncodeUrlTokens, "#'\"&", "|hash||quote||dquote|&"},  // a plain & passes
      {EncodeUrlTokens, "&quot;it&#39;s&quot;", "|dquote|it|quote|s|dquote|"},
      {DecodeUrlTokens, "a|amp|b|plus||qmark||hash||eq||quote||dquote|", "a&b+?#='\""},
      {DecodeUrlTokens, "|plus|amp|", "+amp|"},  // tokens are read once, left to right
      {DecodeUrlTokens, "|nope| |amp", "|nope| |amp"},
  };
  for (const Case& c : cases) EXPECT_EQ(c.fn(c.in), c.out) << c.in;
}

TEST(Escape, RoundTrips) {
  for (const char* x : {"AC&DC", "Guns \"N\" Roses", "1+1=2? #1", "it's <b>", "&amp;lt;", ""}) {
    EXPECT_EQ(HtmlUnescape(HtmlEscape(x)), x);
  }
  // What a link carries: the escaped text in tokens (printu), back to the plain text.
  for (const char* x : {"AC&DC 1+1", "it's \"#1\"?", "a=b&c=d", ""}) {
    EXPECT_EQ(DecodeUrlTokens(EncodeUrlTokens(HtmlEscape(x))), x) << x;
  }
}

}  // namespace
