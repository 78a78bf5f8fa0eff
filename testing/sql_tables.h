// Test helpers of the engine's tests: tables of fixed texts, a table source over them, a
// device whose GetTrackInfo copies the whole stored record (as a player driver does) and
// counts its requests, and a one-call statement runner.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "device/memory_device.h"
#include "sql/jukebox_tables.h"
#include "sql/result.h"
#include "sql/select.h"
#include "sql/small_parser.h"
#include "sql/table.h"

namespace sqltest {

// Holds the names before CTable is constructed from them.
struct NameHolder {
  std::vector<std::string> owned;
  std::vector<std::string_view> views;
  explicit NameHolder(std::vector<std::string> names) : owned(std::move(names)) {
    for (const std::string& n : owned) views.push_back(n);
  }
};

// A table of fixed texts: rows[r][c] is the text of column c.
class FakeTable : private NameHolder, public sql::CTable {
 public:
  FakeTable(std::string name, std::vector<std::string> columns, std::vector<std::vector<std::string>> rows)
      : NameHolder(std::move(columns)),
        sql::CTable(std::move(name), static_cast<std::int32_t>(owned.size()), views),
        rows_(std::move(rows)) {}

  void Fill() override { SetRowCount(rows_.size()); }
  std::string_view FieldView(std::int32_t row, std::int32_t column, std::string&) override {
    CheckRow(row);
    return rows_[static_cast<std::size_t>(row)][static_cast<std::size_t>(column)];
  }

 private:
  std::vector<std::vector<std::string>> rows_;
};

// Tables by name, each handed out anew on every request.
class FakeSource : public sql::CTableSource {
 public:
  void Add(std::string name, std::vector<std::string> columns, std::vector<std::vector<std::string>> rows) {
    tables_[name] = TableData{std::move(columns), std::move(rows)};
  }
  std::unique_ptr<sql::CTable> GetTable(std::string_view name) override {
    auto it = tables_.find(std::string(name));
    if (it == tables_.end()) return nullptr;
    return std::make_unique<FakeTable>(it->first, it->second.columns, it->second.rows);
  }

 private:
  struct TableData {
    std::vector<std::string> columns;
    std::vector<std::vector<std::string>> rows;
  };
  std::map<std::string, TableData> tables_;
};

// The in-memory device answering GetTrackInfo with the whole stored record (composer,
// rating and play count included) and counting the track requests the engine makes.
class RecordDevice : public device::MemoryDeviceBase {
 public:
  int trackInfoCalls = 0;
  int singleFieldCalls = 0;

 protected:
  int GetTrackInfo(const device::KernelId& track, device::TrackRecord& record) override {
    ++trackInfoCalls;
    device::TrackRecord::Copy(record, RecordOf(track));
    return 0;
  }
  std::string GetTrackArtist(const device::KernelId& t) override { return Count(device::MemoryDeviceBase::GetTrackArtist(t)); }
  std::string GetTrackAlbum(const device::KernelId& t) override { return Count(device::MemoryDeviceBase::GetTrackAlbum(t)); }
  std::string GetTrackTitle(const device::KernelId& t) override { return Count(device::MemoryDeviceBase::GetTrackTitle(t)); }
  int GetTrackYear(const device::KernelId& t) override { return Count(device::MemoryDeviceBase::GetTrackYear(t)); }
  int GetTrackNumber(const device::KernelId& t) override { return Count(device::MemoryDeviceBase::GetTrackNumber(t)); }

 private:
  template <class T>
  T Count(T value) {
    ++singleFieldCalls;
    return value;
  }
};

// A statement run from text: its result rows and output names.
struct Outcome {
  sql::CResultTable table;
  std::vector<std::string> names;

  // The rows as texts of the named columns joined by "|", one row per entry.
  std::vector<std::string> Rows(const std::vector<std::string>& columns) const {
    std::vector<std::string> out;
    for (std::size_t i = 0; i < table.GetCount(); ++i) {
      std::string line;
      for (std::size_t c = 0; c < columns.size(); ++c) {
        if (c) line += '|';
        auto v = table.GetRow(i)->Find(columns[c]);
        line += v ? *v : "<none>";
      }
      out.push_back(line);
    }
    return out;
  }
  std::vector<std::string> Rows() const { return Rows(names); }
};

inline std::unique_ptr<Outcome> RunSql(sql::CTableSource& source, const std::string& sql) {
  sql::CSmallParser parser;
  parser.Parse(sql);
  auto outcome = std::make_unique<Outcome>();
  sql::CSelectStatement statement(sql, parser.GetStatement(), &source);
  statement.Build();
  statement.Execute(outcome->table);
  outcome->names = statement.GetColumnNames();
  return outcome;
}

inline std::unique_ptr<Outcome> RunSql(device::KernelDevice& device, const std::string& sql) {
  sql::CTableSourceJukebox source(&device);
  return RunSql(source, sql);
}

}  // namespace sqltest
