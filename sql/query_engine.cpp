// Entry points: the device query hook and literal quoting (see query_engine.h).
#include "sql/query_engine.h"

#include "device/kernel_device.h"
#include "platform/sqlparser/tokenizer.h"
#include "sql/jukebox_tables.h"
#include "sql/select.h"
#include "sql/small_parser.h"
#include "sql/values.h"

namespace sql {

using namespace device;

std::optional<std::vector<std::string>> RunDeviceQuery(KernelDevice& device, std::string_view sql) {
  CSmallParser parser;
  try {
    parser.Parse(sql);
  } catch (const platform::sqlparser::SyntaxError&) {
    return std::nullopt;
  }
  if (parser.GetStatementType() != CSmallParser::kSelect) return std::nullopt;

  CResultTable result;
  CTableSourceJukebox source(&device);
  CSelectStatement statement(std::string(sql), parser.GetStatement(), &source);
  statement.Build();
  statement.Execute(result);

  std::vector<std::string> ids;
  ids.reserve(result.GetCount());
  for (std::size_t i = 0; i < result.GetCount(); ++i) {
    const CResultRow* row = result.GetRow(i);
    if (row == nullptr) continue;
    const std::string* id = row->Find("id");
    // The id as the device reads it back exactly: a text beyond 64 bits must not wrap
    // round to name a real item.
    ids.push_back(id ? std::to_string(sql::SqlIdValue(*id)) : std::string());
  }
  return ids;
}

void RegisterSqlEngine() { KernelDevice::SetQueryEngine(&RunDeviceQuery); }

std::string SqlStringLiteral(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 2);
  out += '\'';
  for (char c : text) {
    if (c == '\'') out += '\'';
    out += c;
  }
  out += '\'';
  return out;
}

}  // namespace sql
