// Parser: the grammar of the SELECT subset, turning tokens into the tree of tree.h.
//
//   statement := SELECT [DISTINCT] ('*' | item {, item}) FROM name {, name}
//                [WHERE expr] [ORDER BY column [ASC|DESC] {, column [ASC|DESC]}] [;]
//   item      := expr [[AS] name]
//   expr      := binary operators, loosest first: OR; AND;
//                = <> != < <= > >= ? # and "IS [NOT] NULL"; + -; * /
//                (all left-associative)
//   operand   := column | 'text' | number | -number | NULL | ( expr )
//   column    := name | name.name
//
// Keywords (SELECT DISTINCT FROM WHERE ORDER BY ASC DESC AS AND OR NULL IS NOT) are
// matched ignoring ASCII case and cannot be used as names. "x IS NULL" is handed over as
// x NULL =, and "x IS NOT NULL" as x NULL <>, since NULL reads as empty text. Parentheses
// nest at most kMaxDepth levels, so hostile text cannot exhaust the stack.
//
// Text whose first word is not SELECT is another kind of statement: Parse accepts it
// without reading further and StatementType answers kOtherStatement.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

#include "platform/sqlparser/tokenizer.h"
#include "platform/sqlparser/tree.h"

namespace platform::sqlparser {

class Parser {
 public:
  static constexpr std::int32_t kNoStatement = 0;      // nothing parsed, or the last Parse failed
  static constexpr std::int32_t kOtherStatement = 1;   // not a SELECT
  static constexpr std::int32_t kSelectStatement = 2;
  static constexpr int kMaxDepth = 200;

  // Parses `text`, replacing what an earlier call left. Throws SyntaxError (and leaves
  // kNoStatement, no tree) when the text is not a statement of the grammar.
  void Parse(std::string_view text);

  std::int32_t StatementType() const { return type_; }
  // The tree of the last parsed SELECT; null for any other statement type.
  std::shared_ptr<const sqlparser::Statement> Statement() const { return statement_; }

 private:
  std::int32_t type_ = kNoStatement;
  std::shared_ptr<const sqlparser::Statement> statement_;
};

}  // namespace platform::sqlparser
