// Fuzz target for the statement parser. Beyond "no crash, no sanitizer report" it checks
// that every accepted tree is well formed for the engine (known token kinds, postfix
// lists that reduce to one value) and that printing the tree back as SQL and parsing
// that gives the same tree.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "platform/sqlparser/parser.h"

namespace sp = platform::sqlparser;

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

int Precedence(const sp::Token& t) {
  switch (t.Kind()) {
    case sp::kLogical:
      return (t.Text().size() == 2) ? 1 : 2;  // OR, AND
    case sp::kComparison:
      return 3;
    case sp::kArithmetic:
      return (t.Text() == "+" || t.Text() == "-") ? 4 : 5;
    default:
      return 9;  // operand
  }
}

std::string Quote(const std::string& literal) {
  // The token holds 'value' with single quotes inside; write them doubled again.
  if (literal.empty() || literal[0] != '\'') return literal;
  std::string out = "'";
  for (std::size_t i = 1; i + 1 < literal.size(); ++i) {
    out += literal[i];
    if (literal[i] == '\'') out += '\'';
  }
  return out + "'";
}

// Rebuilds infix text from a postfix list, with only the parentheses it needs.
std::string Infix(const sp::TokenList& tokens) {
  struct Node {
    std::string text;
    int prec;
  };
  std::vector<Node> stack;
  for (std::int32_t i = 1; i <= tokens.Count(); ++i) {
    const sp::Token& t = tokens.Item(i);
    switch (t.Kind()) {
      case sp::kColumn:
      case sp::kNull:
        stack.push_back({t.Text(), 9});
        break;
      case sp::kLiteral:
        Check(!t.Text().empty());
        stack.push_back({Quote(t.Text()), 9});
        break;
      case sp::kArithmetic:
      case sp::kLogical:
      case sp::kComparison: {
        Check(stack.size() >= 2);
        Node right = stack.back();
        stack.pop_back();
        Node left = stack.back();
        stack.pop_back();
        const int p = Precedence(t);
        std::string l = left.prec < p ? "(" + left.text + ")" : left.text;
        std::string r = right.prec <= p ? "(" + right.text + ")" : right.text;
        stack.push_back({l + " " + t.Text() + " " + r, p});
        break;
      }
      default:
        Check(false);  // kSelectAll only stands alone; 6, 8 and others are never made
    }
  }
  Check(stack.size() == (tokens.Count() == 0 ? 0u : 1u));
  return stack.empty() ? std::string() : stack.back().text;
}

std::string Column(const sp::ColumnRef& c) {
  return c.TableName().empty() ? c.ColumnName() : c.TableName() + "." + c.ColumnName();
}

std::string Print(const sp::Statement& st) {
  std::string out = st.Distinct() ? "SELECT DISTINCT " : "SELECT ";
  const auto& items = st.SelectList();
  Check(items.Count() >= 1);
  const bool selectAll = items.Item(1).Count() == 1 && items.Item(1).Item(1).Kind() == sp::kSelectAll;
  if (selectAll) {
    Check(items.Count() == 1 && items.Item(1).Alias().empty());
    out += "*";
  } else {
    for (std::int32_t i = 1; i <= items.Count(); ++i) {
      Check(items.Item(i).Count() > 0);
      out += (i > 1 ? ", " : "") + Infix(items.Item(i));
      if (!items.Item(i).Alias().empty()) out += " AS " + items.Item(i).Alias();
    }
  }
  Check(st.Tables().Count() >= 1);
  for (std::int32_t i = 1; i <= st.Tables().Count(); ++i)
    out += (i > 1 ? ", " : " FROM ") + st.Tables().Item(i).TableName();
  if (st.Where().Count() > 0) out += " WHERE " + Infix(st.Where());
  for (std::int32_t i = 1; i <= st.OrderBy().Count(); ++i) {
    const sp::OrderItem& o = st.OrderBy().Item(i);
    out += (i > 1 ? ", " : " ORDER BY ") + Column(o.Column()) + (o.Ascending() ? " ASC" : " DESC");
  }
  Check(st.ColumnList().Count() == 0 && st.SecondCondition().Count() == 0);
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  sp::Parser parser;
  try {
    parser.Parse(text);
  } catch (const sp::SyntaxError& e) {
    Check(e.Offset() <= size);
    Check(parser.StatementType() == sp::Parser::kNoStatement && !parser.Statement());
    return 0;
  }
  if (parser.StatementType() != sp::Parser::kSelectStatement) {
    Check(parser.StatementType() == sp::Parser::kOtherStatement && !parser.Statement());
    return 0;
  }
  Check(parser.Statement() != nullptr);
  const std::string printed = Print(*parser.Statement());

  sp::Parser again;
  again.Parse(printed);  // must not throw: the printed form is always valid
  Check(Print(*again.Statement()) == printed);
  return 0;
}
