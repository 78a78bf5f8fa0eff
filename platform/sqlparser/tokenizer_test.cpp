#include "platform/sqlparser/tokenizer.h"

#include <gtest/gtest.h>

#include <string>

namespace platform::sqlparser {
namespace {

// "kind:text@offset" for each lexeme but the final end marker.
std::string Lex(std::string_view text) {
  std::string out;
  auto lexemes = Tokenize(text);
  for (const auto& l : lexemes) {
    if (l.kind == LexKind::kEnd) break;
    const char* kind = l.kind == LexKind::kWord     ? "w"
                       : l.kind == LexKind::kNumber ? "n"
                       : l.kind == LexKind::kString ? "s"
                                                    : "o";
    if (!out.empty()) out += ' ';
    out += std::string(kind) + ":" + l.text + "@" + std::to_string(l.offset);
  }
  return out;
}

TEST(Tokenizer, SplitsTextIntoLexemesWithOffsets) {
  struct Case {
    const char* text;
    const char* expected;
  } cases[] = {
      {"artist?'x'", "w:artist@0 o:?@6 s:'x'@7"},
      {"a<=b a<>b a>=b a!=b", "w:a@0 o:<=@1 w:b@3 w:a@5 o:<>@6 w:b@8 w:a@10 o:>=@11 w:b@13 w:a@15 o:!=@16 w:b@18"},
      {"a<b>c", "w:a@0 o:<@1 w:b@2 o:>@3 w:c@4"},
      {"length>300;", "w:length@0 o:>@6 n:300@7 o:;@10"},
      {"3.25 x_1 _y", "n:3.25@0 w:x_1@5 w:_y@9"},
      {"t.c,(#)-+*/=", "w:t@0 o:.@1 w:c@2 o:,@3 o:(@4 o:#@5 o:)@6 o:-@7 o:+@8 o:*@9 o:/@10 o:=@11"},
      {" \t\r\n\f\vx", "w:x@6"},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(Lex(c.text), c.expected) << c.text;
}

TEST(Tokenizer, StringLiteralKeepsQuotesAndReadsDoubledQuoteAsOne) {
  struct Case {
    const char* text;
    const char* literal;
  } cases[] = {
      {"'Don''t'", "'Don't'"},
      {"''", "''"},
      {"''''", "'''"},
      {"'a''''b'", "'a''b'"},
      {"'a b , ; -- ( '", "'a b , ; -- ( '"},
      {"'\xC3\xA9t\xC3\xA9'", "'\xC3\xA9t\xC3\xA9'"},  // UTF-8 passes through
  };
  for (const auto& c : cases) {
    auto lexemes = Tokenize(c.text);
    ASSERT_EQ(lexemes.size(), 2u) << c.text;
    EXPECT_EQ(lexemes[0].kind, LexKind::kString);
    EXPECT_EQ(lexemes[0].text, c.literal) << c.text;
  }
  // A NUL byte inside a literal is data, not an end.
  auto lexemes = Tokenize(std::string_view("'a\0b'", 5));
  EXPECT_EQ(lexemes[0].text, std::string("'a\0b'", 5));
}

}  // namespace
}  // namespace platform::sqlparser
