// Tables and rows: name resolution, plain and joined rows (see table.h).
#include "sql/table.h"

#include <atomic>
#include <stdexcept>

#include "sql/sql_exception.h"

namespace sql {

std::uint64_t NewShapeSerial() {
  static std::atomic<std::uint64_t> next{1};
  return next.fetch_add(1, std::memory_order_relaxed);
}

// ---- CTable ----

CTable::CTable(std::string name, std::int32_t columnCount,
               const std::vector<std::string_view>& columnNames)
    : name_(std::move(name)),
      columnCount_(columnCount),
      columnNames_(columnNames),
      serial_(NewShapeSerial()) {}

std::string CTable::GetColumnName(std::int32_t index) const {
  if (index < 0 || static_cast<std::size_t>(index) >= columnNames_.size())
    throw COmbrixSQLNoSuchColumnException(index);
  return std::string(columnNames_[static_cast<std::size_t>(index)]);
}

std::string CTable::GetFieldText(std::int32_t row, std::string_view name) {
  const std::int32_t column = FindColumn(name);
  if (column < 0) throw COmbrixSQLNoSuchFieldException(std::string(name));
  std::string scratch;
  return std::string(FieldView(row, column, scratch));
}

std::int32_t CTable::FindColumn(std::string_view name) const {
  for (std::size_t i = 0; i < columnNames_.size(); ++i)
    if (columnNames_[i] == name) return static_cast<std::int32_t>(i);
  return -1;
}

void CTable::SetRowCount(std::size_t count) {
  if (count > static_cast<std::size_t>(INT32_MAX)) throw std::length_error("table too large");
  rowCount_ = static_cast<std::int32_t>(count);
}

void CTable::CheckRow(std::int32_t row) const {
  if (row < 0 || row >= rowCount_)
    throw std::out_of_range("row " + std::to_string(row) + " outside table " + name_);
}

// ---- CRow ----

std::string CRow::GetFieldText(std::string_view name) { return table_->GetFieldText(index_, name); }

std::int32_t CRow::GetColumnCount() const { return table_->GetColumnCount(); }

std::string CRow::GetColumnName(std::int32_t index) const { return table_->GetColumnName(index); }

std::string CRow::GetTableName() const { return table_->GetTableName(); }

FieldSlot CRow::ResolveField(std::string_view name) const {
  const std::int32_t column = table_->FindColumn(name);
  if (column < 0) throw COmbrixSQLNoSuchFieldException(std::string(name));
  return FieldSlot{0, column};
}

std::string_view CRow::FieldView(FieldSlot slot, std::string& scratch) {
  return table_->FieldView(index_, slot.column, scratch);
}

// ---- CRowJoined ----

CRowJoined::CRowJoined() : CRow(0, nullptr), serial_(NewShapeSerial()) {}

void CRowJoined::RemoveRow() {
  if (rows_.empty()) throw COmbrixSQLJoinRowUnderflowException();
  rows_.pop_back();
}

const CRow& CRowJoined::RowAt(std::size_t i) const {
  if (rows_[i] == nullptr) throw COmbrixSQLJoinRowException();
  return *rows_[i];
}

std::string CRowJoined::GetFieldText(std::string_view name) {
  std::string scratch;
  return std::string(FieldView(ResolveField(name), scratch));
}

std::int32_t CRowJoined::GetColumnCount() const {
  std::int32_t count = 0;
  for (std::size_t i = 0; i < rows_.size(); ++i) count += RowAt(i).GetColumnCount();
  return count;
}

std::string CRowJoined::GetColumnName(std::int32_t index) const {
  std::int32_t before = 0;
  for (std::size_t i = 0; i < rows_.size(); ++i) {
    const CRow& row = RowAt(i);
    const std::int32_t count = row.GetColumnCount();
    if (index >= before && index < before + count)
      return row.GetTableName() + "." + row.GetColumnName(index - before);
    before += count;
  }
  throw COmbrixSQLNoSuchColumnException(index);
}

FieldSlot CRowJoined::ResolveField(std::string_view name) const {
  const std::size_t dot = name.find('.');
  if (dot == std::string_view::npos) throw COmbrixSQLBadJoinRowFieldException(std::string(name));
  const std::string_view table = name.substr(0, dot);
  const std::string_view column = name.substr(dot + 1);
  for (std::size_t i = 0; i < rows_.size(); ++i) {
    const CRow& row = RowAt(i);
    if (row.GetTable() != nullptr ? row.GetTable()->GetTableName() == table
                                  : row.GetTableName() == table) {
      FieldSlot inner = row.ResolveField(column);
      return FieldSlot{static_cast<std::int32_t>(i), inner.column};
    }
  }
  throw COmbrixSQLNoSuchFieldException(std::string(name));
}

std::string_view CRowJoined::FieldView(FieldSlot slot, std::string& scratch) {
  if (slot.row < 0 || static_cast<std::size_t>(slot.row) >= rows_.size() || rows_[slot.row] == nullptr)
    throw COmbrixSQLJoinRowException();
  return rows_[static_cast<std::size_t>(slot.row)]->FieldView(FieldSlot{0, slot.column}, scratch);
}

}  // namespace sql
