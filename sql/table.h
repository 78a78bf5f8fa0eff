// Tables and rows: what a statement reads. A table source turns a name into a table; a
// filled table lists its rows; a row is a cursor (table and index); a joined row strings
// rows of several tables together. Field texts are fetched when asked for.
//
// Names: a single-table row answers its table's column names; a joined row answers
// "table.column" (the first row of that table answers) and refuses a name without ".".
//
// Fast path: ResolveField turns a name into a FieldSlot once per RowShape (rows of one
// table, or one joined row with a given number of rows, share a shape); FieldView then
// reads by slot into a view that stays valid until the row moves or `scratch` changes.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace sql {

// Identifies a row layout for cached name resolution; never reused within a process.
struct RowShape {
  std::uint64_t serial = 0;
  std::uint32_t rows = 0;
  bool operator==(const RowShape& o) const { return serial == o.serial && rows == o.rows; }
};

// Where a resolved field lives: the row's place in a joined row (0 for a plain row) and
// the column number in that row's table.
struct FieldSlot {
  std::int32_t row = 0;
  std::int32_t column = 0;
};

// A fresh value for RowShape::serial.
std::uint64_t NewShapeSerial();

class CRow;

class CTable {
 public:
  // `columnNames` are all names the table answers; the first `columnCount` of them are the
  // columns a select-all yields.
  CTable(std::string name, std::int32_t columnCount, const std::vector<std::string_view>& columnNames);
  virtual ~CTable() = default;
  CTable(const CTable&) = delete;
  CTable& operator=(const CTable&) = delete;

  // Empties the rows and lists them again.
  virtual void Fill() = 0;
  // Throws COmbrixSQLNoSuchColumnException (code: the index) outside the table's names.
  virtual std::string GetColumnName(std::int32_t index) const;
  // Throws COmbrixSQLNoSuchFieldException (subject: the name) for an unknown name.
  virtual std::string GetFieldText(std::int32_t row, std::string_view name);

  // Column number of a name (exact, case-sensitive); -1 when unknown.
  std::int32_t FindColumn(std::string_view name) const;
  // The text of one field of one row, by column number from FindColumn.
  virtual std::string_view FieldView(std::int32_t row, std::int32_t column, std::string& scratch) = 0;

  std::int32_t GetRowCount() const { return rowCount_; }
  const std::string& GetTableName() const { return name_; }
  std::int32_t GetColumnCount() const { return columnCount_; }
  RowShape Shape() const { return RowShape{serial_, 0}; }

 protected:
  // Filling sets the count; FieldView is only asked for rows below it.
  void SetRowCount(std::size_t count);
  // Throws std::out_of_range for a row outside the table.
  void CheckRow(std::int32_t row) const;

 private:
  std::string name_;
  std::int32_t columnCount_;
  const std::vector<std::string_view>& columnNames_;
  std::int32_t rowCount_ = 0;
  std::uint64_t serial_;
};

class CTableSource {
 public:
  virtual ~CTableSource() = default;
  // A new table for the name, or null when the source has none of that name.
  virtual std::unique_ptr<CTable> GetTable(std::string_view name) = 0;
};

class CRow {
 public:
  CRow(std::int32_t index, CTable* table) : index_(index), table_(table) {}
  virtual ~CRow() = default;

  virtual std::string GetFieldText(std::string_view name);
  virtual std::int32_t GetColumnCount() const;
  virtual std::string GetColumnName(std::int32_t index) const;
  virtual std::string GetTableName() const;

  // Throws what GetFieldText throws for a name it cannot answer.
  virtual FieldSlot ResolveField(std::string_view name) const;
  virtual std::string_view FieldView(FieldSlot slot, std::string& scratch);
  virtual RowShape Shape() const { return table_->Shape(); }

  std::int32_t GetIndex() const { return index_; }
  void SetIndex(std::int32_t index) { index_ = index; }
  CTable* GetTable() const { return table_; }

 private:
  std::int32_t index_;
  CTable* table_;
};

class CRowJoined : public CRow {
 public:
  CRowJoined();

  // Rows are not owned.
  void AddRow(CRow* row) { rows_.push_back(row); }
  // Throws COmbrixSQLJoinRowUnderflowException when there is none.
  void RemoveRow();
  std::size_t GetRowCount() const { return rows_.size(); }

  std::string GetFieldText(std::string_view name) override;
  std::int32_t GetColumnCount() const override;
  std::string GetColumnName(std::int32_t index) const override;
  std::string GetTableName() const override { return "joined"; }

  FieldSlot ResolveField(std::string_view name) const override;
  std::string_view FieldView(FieldSlot slot, std::string& scratch) override;
  RowShape Shape() const override {
    return RowShape{serial_, static_cast<std::uint32_t>(rows_.size())};
  }

 private:
  const CRow& RowAt(std::size_t i) const;

  std::vector<CRow*> rows_;
  std::uint64_t serial_;
};

}  // namespace sql
