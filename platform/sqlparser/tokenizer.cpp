// Tokenizer: lexical rules of the statement text (see tokenizer.h).
#include "platform/sqlparser/tokenizer.h"

#include <cstdio>

namespace platform::sqlparser {

SyntaxError::SyntaxError(std::size_t offset, const std::string& reason)
    : std::runtime_error("syntax error at byte " + std::to_string(offset) + ": " + reason),
      offset_(offset),
      reason_(reason) {}

namespace {

bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
}

std::string Describe(char c) {
  auto byte = static_cast<unsigned char>(c);
  char buf[32];
  if (byte >= 0x21 && byte < 0x7f)
    std::snprintf(buf, sizeof buf, "unexpected character '%c'", c);
  else
    std::snprintf(buf, sizeof buf, "unexpected byte 0x%02X", byte);
  return buf;
}

}  // namespace

std::vector<Lexeme> Tokenize(std::string_view text) {
  std::vector<Lexeme> out;
  std::size_t i = 0;
  const std::size_t n = text.size();
  while (i < n) {
    const char c = text[i];
    const std::size_t start = i;
    if (IsBlank(c)) {
      ++i;
    } else if (IsLetter(c)) {
      while (i < n && (IsLetter(text[i]) || IsDigit(text[i]))) ++i;
      out.push_back({LexKind::kWord, std::string(text.substr(start, i - start)), start});
    } else if (IsDigit(c)) {
      while (i < n && IsDigit(text[i])) ++i;
      if (i + 1 < n && text[i] == '.' && IsDigit(text[i + 1])) {
        ++i;
        while (i < n && IsDigit(text[i])) ++i;
      }
      // "12abc" or "1.x" is a typing slip, not a number followed by a name.
      if (i < n && (IsLetter(text[i]) || text[i] == '.'))
        throw SyntaxError(start, "malformed number");
      out.push_back({LexKind::kNumber, std::string(text.substr(start, i - start)), start});
    } else if (c == '\'') {
      std::string literal = "'";
      ++i;
      for (;;) {
        if (i >= n) throw SyntaxError(start, "unterminated string literal");
        if (text[i] == '\'') {
          if (i + 1 < n && text[i + 1] == '\'') {
            literal += '\'';
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        literal += text[i++];
      }
      literal += '\'';
      out.push_back({LexKind::kString, std::move(literal), start});
    } else {
      const char next = i + 1 < n ? text[i + 1] : '\0';
      std::size_t len = 0;
      switch (c) {
        case '<':
          len = (next == '=' || next == '>') ? 2 : 1;
          break;
        case '>':
          len = next == '=' ? 2 : 1;
          break;
        case '!':
          if (next != '=') throw SyntaxError(start, "'!' must be followed by '='");
          len = 2;
          break;
        case '+': case '-': case '*': case '/': case '=': case '?': case '#':
        case '(': case ')': case ',': case '.': case ';':
          len = 1;
          break;
        default:
          throw SyntaxError(start, Describe(c));
      }
      out.push_back({LexKind::kSymbol, std::string(text.substr(start, len)), start});
      i += len;
    }
  }
  out.push_back({LexKind::kEnd, std::string(), n});
  return out;
}

}  // namespace platform::sqlparser
