#include "common/escape.h"

#include <utility>

#include "platform/text/text.h"

namespace {

struct Replacement {
  std::string_view from;
  std::string_view to;
};

// One pass: at each position the first table entry that matches is replaced, anything
// else is copied.
template <std::size_t N>
std::string Translate(std::string_view text, const Replacement (&table)[N]) {
  std::string out;
  out.reserve(text.size() + text.size() / 8);
  std::size_t i = 0;
  while (i < text.size()) {
    bool replaced = false;
    for (const Replacement& r : table) {
      if (text.compare(i, r.from.size(), r.from) == 0) {
        out.append(r.to);
        i += r.from.size();
        replaced = true;
        break;
      }
    }
    if (!replaced) out.push_back(text[i++]);
  }
  return out;
}

constexpr Replacement kHtmlEscape[] = {
    {"&", "&amp;"}, {"<", "&lt;"}, {">", "&gt;"}, {"\"", "&quot;"}, {"'", "&#39;"}};
constexpr Replacement kHtmlEscapeText[] = {{"&", "&amp;"}, {"<", "&lt;"}, {">", "&gt;"}};
constexpr Replacement kHtmlUnescape[] = {
    {"&amp;", "&"}, {"&lt;", "<"}, {"&gt;", ">"}, {"&quot;", "\""}, {"&#39;", "'"}};
// The escaped quotes travel as the quote tokens: their "#" and "&" would break a query.
constexpr Replacement kEncodeTokens[] = {
    {"&amp;", "|amp|"}, {"&#39;", "|quote|"}, {"&quot;", "|dquote|"}, {"+", "|plus|"}, {"?", "|qmark|"},
    {"#", "|hash|"},    {"=", "|eq|"},        {"'", "|quote|"},       {"\"", "|dquote|"}};
constexpr Replacement kDecodeTokens[] = {{"|amp|", "&"}, {"|plus|", "+"}, {"|qmark|", "?"},
                                         {"|hash|", "#"}, {"|eq|", "="},   {"|quote|", "'"},
                                         {"|dquote|", "\""}};

}  // namespace

std::string HtmlEscape(std::string_view text) { return Translate(text, kHtmlEscape); }
std::string HtmlEscapeText(std::string_view text) { return Translate(text, kHtmlEscapeText); }
std::string XmlEscapeText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    char32_t cp = 0;
    const std::size_t n = platform::Utf8CharLength(text, i, &cp);
    if (n == 0 || cp == 0xFFFE || cp == 0xFFFF) {
      out += "\xEF\xBF\xBD";
      i += n == 0 ? 1 : n;
      continue;
    }
    switch (cp) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '\t':
      case '\n':
      case '\r': out += static_cast<char>(cp); break;
      default:
        if (cp < 0x20) {
          out += ' ';
        } else {
          out.append(text.substr(i, n));
        }
    }
    i += n;
  }
  return out;
}

std::string HtmlUnescape(std::string_view text) { return Translate(text, kHtmlUnescape); }
std::string EncodeUrlTokens(std::string_view text) { return Translate(text, kEncodeTokens); }
std::string DecodeUrlTokens(std::string_view text) { return Translate(text, kDecodeTokens); }
