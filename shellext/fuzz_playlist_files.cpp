// Fuzz target for the playlist files that arrive from outside: rule files of Quodrels
// (deciphered, then split into a rule), rule records as text, playlist backups, and the
// backup file names made from playlist names the player hands over. Beyond "no crash, no
// sanitizer report" it checks that a rule read back is stored the same way again, and
// that a backup's file name can never leave its folder.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "shellext/playlist_backup.h"
#include "tools/quodrel_rule.h"

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

void ReadRule(std::string_view record) {
  tools::QuodrelRule rule;
  if (!tools::ParseRuleRecord(record, rule)) return;
  // A rule read from a record writes a record that reads back as the same rule.
  const std::string again = tools::FormatRuleRecord(rule);
  tools::QuodrelRule reread;
  if (tools::ParseRuleRecord(again, reread)) Check(tools::FormatRuleRecord(reread) == again);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  if (const auto record = tools::DecipherRule(bytes)) {
    ReadRule(*record);
    Check(tools::DecipherRule(tools::EncipherRule(*record)) == *record);
  }
  ReadRule(bytes);

  if (const auto ids = shellext::ReadBackupRecords(bytes)) {
    Check(ids->size() * shellext::kBackupRecordSize == size);
    for (const std::string& id : *ids) Check(id.size() == 40);
  }

  const std::string name = shellext::BackupFileName(bytes);
  Check(name.size() > shellext::kBackupExtension.size() && name.front() != '.');
  for (char c : name) {
    const auto u = static_cast<unsigned char>(c);
    Check(u >= 0x20 && u != 0x7F && c != '/' && c != '\\' && c != ':');
  }
  return 0;
}
