// Results: the rows a statement produced (CResultRow: column name -> text), the table that
// holds them in order, their sort, and the report writer (report.cpp).
//
// Rows of one statement share one ResultLayout: the names, each with a slot for its value,
// and the order a row iterates them in. That order is part of the report (a select-all
// report lists the columns in it): names are spread over 17 buckets by the hash
// h = h * 33 + (signed byte), kept to 32 bits; buckets are visited from 0 to 16 and, within
// one, the most recently added name first.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace sql {

class ResultLayout {
 public:
  // Slot of a name, added when new.
  std::int32_t Add(std::string_view name);
  // Slot of a name, or -1.
  std::int32_t Find(std::string_view name) const;
  std::size_t Size() const { return names_.size(); }
  const std::string& NameOfSlot(std::size_t slot) const { return names_[slot]; }
  // Slot of the i-th name in iteration order.
  std::int32_t SlotAt(std::size_t i) const { return order_[i]; }

  static std::uint32_t HashName(std::string_view name);

 private:
  std::vector<std::string> names_;      // by slot (order of addition)
  std::vector<std::int32_t> order_;     // iteration order
  std::vector<std::uint32_t> buckets_;  // bucket of each slot
};

class CResultRow {
 public:
  CResultRow() = default;
  // A row of `layout` with every value empty.
  explicit CResultRow(std::shared_ptr<const ResultLayout> layout);

  // The value of a name; null when the row has no such name.
  const std::string* Find(std::string_view name) const;
  // Sets (adds or replaces) the value of a name.
  void Set(std::string_view name, std::string value);
  // Number of names; NameAt / ValueAt walk them in iteration order.
  std::size_t Size() const { return values_.size(); }
  const std::string& NameAt(std::size_t i) const { return layout_->NameOfSlot(SlotAt(i)); }
  const std::string& ValueAt(std::size_t i) const { return values_[SlotAt(i)]; }

  const ResultLayout* Layout() const { return layout_.get(); }
  // The value in a slot of the layout (the statement fills rows this way).
  std::string& ValueOfSlot(std::size_t slot) { return values_[slot]; }
  const std::string& ValueOfSlot(std::size_t slot) const { return values_[slot]; }

 private:
  std::size_t SlotAt(std::size_t i) const { return static_cast<std::size_t>(layout_->SlotAt(i)); }

  std::shared_ptr<const ResultLayout> layout_;
  std::vector<std::string> values_;  // by slot
};

// Where a report goes.
class CReportSink {
 public:
  virtual ~CReportSink() = default;
  virtual void WriteString(std::string_view text) = 0;
};

// Collects a report in memory.
class CStringReportSink : public CReportSink {
 public:
  void WriteString(std::string_view text) override { text_.append(text); }
  const std::string& Text() const { return text_; }

 private:
  std::string text_;
};

class CResultTable {
 public:
  void Append(CResultRow row) { rows_.push_back(std::move(row)); }
  void Append(std::vector<CResultRow>&& rows);
  std::size_t GetCount() const { return rows_.size(); }
  // The row at an index; null outside the table.
  const CResultRow* GetRow(std::size_t index) const {
    return index < rows_.size() ? &rows_[index] : nullptr;
  }

  // Sorts in place by the keys, first key first. Stable: rows equal under all keys keep
  // their order. Texts of digits only (the empty text counts) compare as numbers of any
  // length; other texts compare byte by byte, case-sensitively, and sort before all
  // numbers when their first byte is below '0', after them otherwise. A direction of 0
  // reverses its key. With two rows or more, a key that a row does not have throws
  // COmbrixSQLNoSuchFieldException (subject: the key); lists of different lengths throw
  // COmbrixSQLSortException. No keys: nothing happens.
  void Sort(const std::vector<std::string>& keys, const std::vector<std::uint32_t>& directions);

  // Writes the report: mode 'c' comma-separated, 't' tab-separated, 'h' an HTML table,
  // 'x' XML. No rows: "no matches."; another mode: "bad mode.". Empty `columnNames` are
  // filled with the first row's names in its iteration order (a select-all). Throws only
  // what the sink throws.
  void Write(char mode, CReportSink& out, std::vector<std::string>& columnNames,
             std::string_view statementText) const;

  // The one-line credit written at the head of every report.
  static const char kCreditText[];

 private:
  std::vector<CResultRow> rows_;
};

}  // namespace sql
