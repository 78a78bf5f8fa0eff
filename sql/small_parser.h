// CSmallParser: the engine's binding to the statement parser (platform/sqlparser).
//
// Callers (the SQL dialog, the web search, the device's QueryFirst) create one parser per
// statement, Parse the text, test GetStatementType() against kSelect, and hand
// GetStatement() to CSelectStatement. The parser lives in this program, so creating it
// cannot fail.
//
// Parse throws platform::sqlparser::SyntaxError for text that is not a statement of the
// grammar (what() names the byte offset and the fault); that is not a COmbrixSQLException.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

#include "platform/sqlparser/parser.h"
#include "platform/sqlparser/tree.h"

namespace sql {

class CSmallParser {
 public:
  static constexpr std::int32_t kSelect = platform::sqlparser::Parser::kSelectStatement;

  void Parse(std::string_view text) { parser_.Parse(text); }
  // kSelect (2) for a SELECT; any other value for another kind of statement.
  std::int32_t GetStatementType() const { return parser_.StatementType(); }
  // The tree of the last parsed SELECT; null otherwise.
  std::shared_ptr<const platform::sqlparser::Statement> GetStatement() const {
    return parser_.Statement();
  }

 private:
  platform::sqlparser::Parser parser_;
};

}  // namespace sql
