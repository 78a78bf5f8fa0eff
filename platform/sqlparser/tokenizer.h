// Tokenizer: splits statement text into words, numbers, string literals and symbols.
//
// It owns the lexical rules: which bytes may appear outside a literal, how a literal
// ends, how doubled quotes are read, and the spelling of every operator. It knows no
// grammar: keywords are plain words here. Every fault is a SyntaxError that names the
// byte offset where it was found.
#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace platform::sqlparser {

// A statement the parser cannot read. what() gives "syntax error at byte N: reason".
class SyntaxError : public std::runtime_error {
 public:
  SyntaxError(std::size_t offset, const std::string& reason);
  // Byte offset into the statement text (the text's length when the fault is its end).
  std::size_t Offset() const { return offset_; }
  const std::string& Reason() const { return reason_; }

 private:
  std::size_t offset_;
  std::string reason_;
};

enum class LexKind {
  kWord,    // letter or '_', then letters, digits, '_'
  kNumber,  // digits, optionally '.' and more digits
  kString,  // '...' with '' standing for one quote
  kSymbol,  // + - * / = <> != < <= > >= ? # ( ) , . ;
  kEnd,     // after the last token
};

struct Lexeme {
  LexKind kind;
  // Words, numbers and symbols as written. A string literal is normalised: its enclosing
  // quotes kept, each doubled quote inside read as one.
  std::string text;
  std::size_t offset;  // of the first byte
};

// The tokens of `text`, always ending with one kEnd lexeme at text.size().
std::vector<Lexeme> Tokenize(std::string_view text);

}  // namespace platform::sqlparser
