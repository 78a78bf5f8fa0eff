// Fuzz target for the hive text form. Beyond "no crash, no sanitizer report" it checks
// that writing what was read and reading it again gives the same settings, that every
// line that could not be read is kept (and still cannot be read), and that a second
// write changes nothing.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/settings/hive_text.h"

namespace hive = platform::hive;

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

bool SameSettings(const hive::Key& a, const hive::Key& b) {
  if (a.values.size() != b.values.size() || a.subkeys.size() != b.subkeys.size()) return false;
  for (auto x = a.values.begin(), y = b.values.begin(); x != a.values.end(); ++x, ++y) {
    if (x->first != y->first || !(x->second == y->second)) return false;
  }
  for (auto x = a.subkeys.begin(), y = b.subkeys.begin(); x != a.subkeys.end(); ++x, ++y) {
    if (x->first != y->first || !SameSettings(*x->second, *y->second)) return false;
  }
  return true;
}

std::size_t KeptLines(const hive::Key& key) {
  std::size_t n = key.unreadable.size();
  for (const auto& [name, sub] : key.subkeys) n += KeptLines(*sub);
  return n;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const platform::Hive kHive = platform::Hive::CurrentUser;
  hive::Key first;
  const hive::ParseReport report = hive::Parse(text, kHive, &first);
  Check(KeptLines(first) == static_cast<std::size_t>(report.badLines));
  const std::string written = hive::WriteFile(first, kHive, "fuzz");

  hive::Key second;
  const hive::ParseReport again = hive::Parse(written, kHive, &second);
  Check(SameSettings(first, second));
  Check(again.badLines == report.badLines);
  Check(hive::WriteFile(second, kHive, "fuzz") == written);
  return 0;
}
