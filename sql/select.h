// The SELECT statement: reads the parse tree once (Build), then runs over the tables of a
// table source (Execute): fills the named tables, walks every row or, for several tables,
// every combination with the first table outermost, keeps those the condition passes,
// turns each into a CResultRow, drops duplicates under DISTINCT and sorts by ORDER BY.
//
// A join is a cross product filtered by the condition. When the condition is a chain of
// ANDs holding "a.x = b.y" between two tables, the inner table is looked up through an
// index on its column instead of being walked in full; rows, order and failures are those
// of the full walk.
//
// Output names: each select item's alias, else its expression's text form; a select-all
// leaves the list empty (the report then takes the first row's names). A later item with
// the same name replaces the earlier value in the row.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/sqlparser/tree.h"
#include "sql/expression.h"
#include "sql/result.h"
#include "sql/table.h"

namespace sql {

class CSQLStatement {
 public:
  explicit CSQLStatement(std::string text) : text_(std::move(text)) {}
  virtual ~CSQLStatement() = default;
  CSQLStatement(const CSQLStatement&) = delete;
  CSQLStatement& operator=(const CSQLStatement&) = delete;

  virtual void Build() = 0;
  virtual void Execute(CResultTable& result) = 0;
  const std::string& GetStatementText() const { return text_; }

 private:
  std::string text_;
};

class CSelectStatement : public CSQLStatement {
 public:
  // The table source is not owned and must outlive Execute.
  CSelectStatement(std::string sql, std::shared_ptr<const platform::sqlparser::Statement> tree,
                   CTableSource* tables);
  ~CSelectStatement() override;

  // Reads the tree. Throws what BuildExpression throws.
  void Build() override;
  // Appends the result rows, sorted, to `result` (which should be empty). Throws the
  // engine's exceptions and whatever the device throws.
  void Execute(CResultTable& result) override;

  // The output names, for CResultTable::Write (which fills them after a select-all).
  std::vector<std::string>& GetColumnNames() { return outputNames_; }

  std::int32_t GetDistinct() const { return distinct_; }
  const std::vector<std::string>& GetTableNames() const { return tableNames_; }
  const CExpItem* GetCondition() const { return condition_.get(); }
  const std::vector<std::unique_ptr<CExpItem>>& GetSelectExpressions() const { return selectExpressions_; }
  const std::vector<std::string>& GetOrderKeys() const { return orderKeys_; }
  const std::vector<std::uint32_t>& GetOrderDirections() const { return orderDirections_; }
  const std::vector<std::string>& GetColumnList() const { return columnList_; }

 private:
  class RowBuilder;
  class Join;

  std::shared_ptr<const platform::sqlparser::Statement> tree_;
  CTableSource* source_;
  std::vector<std::string> outputNames_;
  std::int32_t distinct_ = 0;
  std::vector<std::unique_ptr<CExpItem>> selectExpressions_;
  std::vector<std::string> tableNames_;
  std::unique_ptr<CExpItem> condition_;
  std::vector<std::string> columnList_;         // kept, takes no part in execution
  std::unique_ptr<CExpItem> secondCondition_;   // kept, takes no part in execution
  std::vector<std::string> orderKeys_;
  std::vector<std::uint32_t> orderDirections_;
};

}  // namespace sql
