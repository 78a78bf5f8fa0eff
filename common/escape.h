// The escapes of the web interface: HTML text escaping of values that pages print, and
// the URL tokens that let a value travel inside a link's query.
//
//   HtmlEscape        & -> &amp;  < -> &lt;  > -> &gt;  " -> &quot;  ' -> &#39;
//   HtmlEscapeText    & -> &amp;  < -> &lt;  > -> &gt;  (quotes stay: text between tags,
//                     the server's own pages and log, the SQL engine's reports)
//   XmlEscapeText     as HtmlEscapeText, and what XML 1.0 cannot carry replaced: control
//                     characters other than tab, LF and CR by blanks, bytes that are no
//                     UTF-8 and the non-characters U+FFFE, U+FFFF by U+FFFD
//   HtmlUnescape      the same entities back, each once (so "&amp;lt;" gives "&lt;")
//   EncodeUrlTokens   &amp; -> |amp|  + -> |plus|  ? -> |qmark|  # -> |hash|  = -> |eq|
//                     ' and &#39; -> |quote|  " and &quot; -> |dquote|
//                     (it takes escaped text; a plain "&" stays as it is)
//   DecodeUrlTokens   the tokens back, |amp| to a plain "&"
//
// So DecodeUrlTokens(EncodeUrlTokens(HtmlEscape(x))) gives x back for any x without
// "<", ">" or "|" tokens. Every routine makes one pass from left to right: a replacement is never looked at
// again, so no text is decoded twice.
#pragma once

#include <string>
#include <string_view>

std::string HtmlEscape(std::string_view text);
std::string HtmlEscapeText(std::string_view text);
std::string XmlEscapeText(std::string_view text);
std::string HtmlUnescape(std::string_view text);
std::string EncodeUrlTokens(std::string_view text);
std::string DecodeUrlTokens(std::string_view text);
