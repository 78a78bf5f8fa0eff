#include "common/escape.h"

#include <utility>

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
std::string HtmlUnescape(std::string_view text) { return Translate(text, kHtmlUnescape); }
std::string EncodeUrlTokens(std::string_view text) { return Translate(text, kEncodeTokens); }
std::string DecodeUrlTokens(std::string_view text) { return Translate(text, kDecodeTokens); }
