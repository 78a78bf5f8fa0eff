// Parser: recursive descent over the tokens, one function per precedence level, writing
// each expression in postfix order as it is recognised (see parser.h).
#include "platform/sqlparser/parser.h"

#include <array>
#include <utility>

#include "platform/text/text.h"

namespace platform::sqlparser {

namespace {

constexpr std::array<std::string_view, 14> kKeywords = {
    "select", "distinct", "from", "where", "order", "by",  "asc",
    "desc",   "as",       "and",  "or",    "null",  "is",  "not"};

bool IsKeyword(std::string_view word) {
  for (auto k : kKeywords)
    if (EqualsNoCase(word, k)) return true;
  return false;
}

}  // namespace

class Grammar {
 public:
  explicit Grammar(std::vector<Lexeme> lexemes) : lx_(std::move(lexemes)) {}

  std::shared_ptr<Statement> ParseSelect() {
    auto st = std::make_shared<Statement>();
    Expect("select", "expected SELECT");
    if (AcceptKeyword("distinct")) st->distinct_ = true;

    if (IsSymbol("*")) {
      SelectItem all;
      all.Append(Token("*", kSelectAll));
      st->selectList_.Append(std::move(all));
      ++pos_;
    } else {
      do {
        SelectItem item;
        if (IsSymbol("*")) Fail("'*' must be the whole select list");
        if (!StartsOperand()) Fail("expected '*' or an expression in the select list");
        ParseExpression(item, 0);
        if (AcceptKeyword("as")) {
          if (!IsName()) Fail("expected a name after AS");
          item.SetAlias(Cur().text);
          ++pos_;
        } else if (IsName()) {
          item.SetAlias(Cur().text);
          ++pos_;
        }
        st->selectList_.Append(std::move(item));
      } while (AcceptSymbol(","));
    }

    Expect("from", "expected FROM");
    do {
      if (!IsName()) Fail("expected a table name");
      st->tables_.Append(TableItem(Cur().text));
      ++pos_;
    } while (AcceptSymbol(","));

    if (AcceptKeyword("where")) ParseExpression(st->where_, 0);

    if (AcceptKeyword("order")) {
      Expect("by", "expected BY after ORDER");
      do {
        if (!IsName()) Fail("expected a column name in ORDER BY");
        ColumnRef column = ParseColumn();
        bool ascending = true;
        if (AcceptKeyword("desc"))
          ascending = false;
        else
          AcceptKeyword("asc");
        st->orderBy_.Append(OrderItem(std::move(column), ascending));
      } while (AcceptSymbol(","));
    }

    if (AcceptSymbol(";")) {
      if (Cur().kind != LexKind::kEnd) Fail("expected the end of the statement after ';'");
    } else if (Cur().kind != LexKind::kEnd) {
      if (st->orderBy_.Count() > 0)
        Fail("expected ',', ASC, DESC or the end of the statement");
      Fail(st->where_.Count() > 0 ? "expected an operator, ORDER BY or the end of the statement"
                                  : "expected WHERE, ORDER BY or the end of the statement");
    }
    return st;
  }

 private:
  const Lexeme& Cur() const { return lx_[pos_]; }

  [[noreturn]] void Fail(const std::string& reason) const { throw SyntaxError(Cur().offset, reason); }

  bool IsKeywordHere(std::string_view k) const {
    return Cur().kind == LexKind::kWord && EqualsNoCase(Cur().text, k);
  }
  bool AcceptKeyword(std::string_view k) {
    if (!IsKeywordHere(k)) return false;
    ++pos_;
    return true;
  }
  void Expect(std::string_view k, const char* reason) {
    if (!AcceptKeyword(k)) Fail(reason);
  }
  bool IsSymbol(std::string_view s) const { return Cur().kind == LexKind::kSymbol && Cur().text == s; }
  bool AcceptSymbol(std::string_view s) {
    if (!IsSymbol(s)) return false;
    ++pos_;
    return true;
  }
  // A word that is not a keyword: table, column or alias.
  bool IsName() const { return Cur().kind == LexKind::kWord && !IsKeyword(Cur().text); }

  bool StartsOperand() const {
    switch (Cur().kind) {
      case LexKind::kNumber:
      case LexKind::kString:
        return true;
      case LexKind::kWord:
        return IsName() || IsKeywordHere("null");
      case LexKind::kSymbol:
        return IsSymbol("(") || IsSymbol("-");
      case LexKind::kEnd:
        return false;
    }
    return false;
  }

  // name or name.name, the current token being a name.
  ColumnRef ParseColumn() {
    std::string first = Cur().text;
    ++pos_;
    if (!AcceptSymbol(".")) return ColumnRef(std::string(), std::move(first));
    if (!IsName()) Fail("expected a column name after '.'");
    std::string second = Cur().text;
    ++pos_;
    return ColumnRef(std::move(first), std::move(second));
  }

  void ParseExpression(TokenList& out, int depth) { ParseOr(out, depth); }

  void ParseOr(TokenList& out, int depth) {
    ParseAnd(out, depth);
    while (IsKeywordHere("or")) {
      std::string op = Cur().text;
      ++pos_;
      ParseAnd(out, depth);
      out.Append(Token(std::move(op), kLogical));
    }
  }

  void ParseAnd(TokenList& out, int depth) {
    ParseComparison(out, depth);
    while (IsKeywordHere("and")) {
      std::string op = Cur().text;
      ++pos_;
      ParseComparison(out, depth);
      out.Append(Token(std::move(op), kLogical));
    }
  }

  static bool IsComparison(const Lexeme& l) {
    if (l.kind != LexKind::kSymbol) return false;
    static constexpr std::array<std::string_view, 9> kOps = {"=", "<>", "!=", "<", "<=",
                                                              ">", ">=", "?",  "#"};
    for (auto op : kOps)
      if (l.text == op) return true;
    return false;
  }

  void ParseComparison(TokenList& out, int depth) {
    ParseAdditive(out, depth);
    for (;;) {
      if (IsKeywordHere("is")) {
        ++pos_;
        const bool negated = AcceptKeyword("not");
        if (!IsKeywordHere("null")) Fail(negated ? "expected NULL after IS NOT" : "expected NULL after IS");
        out.Append(Token(Cur().text, kNull));
        ++pos_;
        out.Append(Token(negated ? "<>" : "=", kComparison));
      } else if (IsComparison(Cur())) {
        // The engine reads an operator by its first character; "!=" has none of its own.
        std::string op = Cur().text == "!=" ? "<>" : Cur().text;
        ++pos_;
        ParseAdditive(out, depth);
        out.Append(Token(std::move(op), kComparison));
      } else {
        return;
      }
    }
  }

  void ParseAdditive(TokenList& out, int depth) {
    ParseMultiplicative(out, depth);
    while (IsSymbol("+") || IsSymbol("-")) {
      std::string op = Cur().text;
      ++pos_;
      ParseMultiplicative(out, depth);
      out.Append(Token(std::move(op), kArithmetic));
    }
  }

  void ParseMultiplicative(TokenList& out, int depth) {
    ParseOperand(out, depth);
    while (IsSymbol("*") || IsSymbol("/")) {
      std::string op = Cur().text;
      ++pos_;
      ParseOperand(out, depth);
      out.Append(Token(std::move(op), kArithmetic));
    }
  }

  void ParseOperand(TokenList& out, int depth) {
    const Lexeme& l = Cur();
    switch (l.kind) {
      case LexKind::kNumber:
      case LexKind::kString:
        out.Append(Token(l.text, kLiteral));
        ++pos_;
        return;
      case LexKind::kWord:
        if (IsKeywordHere("null")) {
          out.Append(Token(l.text, kNull));
          ++pos_;
          return;
        }
        if (IsName()) {
          ColumnRef c = ParseColumn();
          out.Append(Token(c.TableName().empty() ? c.ColumnName() : c.TableName() + "." + c.ColumnName(),
                           kColumn));
          return;
        }
        Fail("expected an expression, found the keyword " + l.text);
      case LexKind::kSymbol:
        if (l.text == "(") {
          if (depth >= Parser::kMaxDepth)
            Fail("parentheses nested more than " + std::to_string(Parser::kMaxDepth) + " deep");
          ++pos_;
          ParseExpression(out, depth + 1);
          if (!AcceptSymbol(")")) Fail("expected ')'");
          return;
        }
        // A minus written against a number is part of the literal ("-5").
        if (l.text == "-" && lx_[pos_ + 1].kind == LexKind::kNumber && lx_[pos_ + 1].offset == l.offset + 1) {
          out.Append(Token("-" + lx_[pos_ + 1].text, kLiteral));
          pos_ += 2;
          return;
        }
        break;
      case LexKind::kEnd:
        Fail("expected an expression, found the end of the statement");
    }
    Fail("expected an expression");
  }

  std::vector<Lexeme> lx_;
  std::size_t pos_ = 0;
};

namespace {

bool FirstWordIsSelect(std::string_view text, bool& hasWord) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == '\r' || text[i] == '\n' ||
                             text[i] == '\f' || text[i] == '\v'))
    ++i;
  std::size_t start = i;
  auto isWordChar = [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || (c >= '0' && c <= '9');
  };
  if (i < text.size() && !(text[i] >= '0' && text[i] <= '9'))
    while (i < text.size() && isWordChar(text[i])) ++i;
  hasWord = i > start;
  return hasWord && EqualsNoCase(text.substr(start, i - start), "select");
}

}  // namespace

void Parser::Parse(std::string_view text) {
  type_ = kNoStatement;
  statement_.reset();

  bool hasWord = false;
  if (!FirstWordIsSelect(text, hasWord) && hasWord) {
    // Another kind of statement: its grammar is not ours to check.
    type_ = kOtherStatement;
    return;
  }
  std::vector<Lexeme> lexemes = Tokenize(text);
  if (lexemes.front().kind == LexKind::kEnd) throw SyntaxError(text.size(), "the statement is empty");
  statement_ = Grammar(std::move(lexemes)).ParseSelect();
  type_ = kSelectStatement;
}

}  // namespace platform::sqlparser
