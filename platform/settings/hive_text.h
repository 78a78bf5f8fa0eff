// The in-memory tree of one hive and its text form, shared by the store, tovreg and tests.
//
// Text form (one hive per file, UTF-8 or any bytes, LF or CR LF):
//   ; comment                       lines starting with ';' or '#' and blank lines are skipped
//   [HKEY_CURRENT_USER\Software\X]  a key by its full name; missing parents are implied;
//                                   control bytes and '%' in names are written as %HH
//   @=sz:"text"                     the default value
//   "name"=dword:0000002a           4 bytes, little-endian
//   "name"=sz:"text"                text + its terminating NUL (REG_SZ)
//   "name"=expand:"text"            the same for REG_EXPAND_SZ
//   "name"=hex:00,ff                REG_BINARY
//   "name"=hex(7):41,00             any type (hex number) with bytes not in the forms above
// Inside quotes: \\ \" \n \r \t and \xHH; every other byte stands for itself.
// Lines that cannot be read are kept as they are and written back: with their key when
// they stood in its section, else before the first section, where nothing is read.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/settings/settings.h"

namespace platform::hive {

// ASCII case-insensitive ordering; transparent so lookups need no copy of the name.
struct CaseLess {
  using is_transparent = void;
  bool operator()(std::string_view a, std::string_view b) const;
};

struct Value {
  ValueType type = ValueType::None;
  std::string data;
  bool operator==(const Value&) const = default;
};

// A key: the map keys keep the case the names were first written with.
struct Key {
  std::map<std::string, Value, CaseLess> values;
  std::map<std::string, std::unique_ptr<Key>, CaseLess> subkeys;
  // Lines of the file that could not be read, without their LF, in file order. In
  // the hive root: every such line not inside a readable key's section.
  std::vector<std::string> unreadable;
};

// "HKEY_CURRENT_USER" and so on.
const char* FullName(Hive hive);
// Accepts the full names and HKCU, HKLM, HKCR (any case).
std::optional<Hive> ParseName(std::string_view name);

// The non-empty parts of a "\"-separated key path.
std::vector<std::string_view> SplitPath(std::string_view path);
// The parts joined with single "\" (leading, trailing and doubled separators dropped).
std::string NormalPath(std::string_view path);

// The key at path below root, or null.
Key* Find(Key& root, std::string_view path);
const Key* Find(const Key& root, std::string_view path);
// The key at path, creating it and its parents; *created tells whether anything was new.
Key& FindOrCreate(Key& root, std::string_view path, bool* created);

struct ParseReport {
  int badLines = 0;
  int firstBadLine = 0;  // 1-based, 0 when none
};
// Parses a hive file of the given hive into *root (which should be empty). Lines that
// cannot be read are counted and kept in `unreadable`; values under an unreadable section
// header are kept with it, so they never land in the wrong key.
ParseReport Parse(std::string_view text, Hive hive, Key* root);

// Writes key (found at path below the hive root) and everything below it, with the lines
// kept in each key's section (not the hive root's: WriteFile puts those first). A key gets
// a section when it has values, kept lines or no sub-keys; keys with sub-keys only are
// implied.
void Write(const Key& key, Hive hive, std::string_view path, std::string* out);
// The whole file: a header comment, then Write of the root.
std::string WriteFile(const Key& root, Hive hive, std::string_view heading);

// Appends one value line with its line end, e.g. "name"=dword:0000002a.
void AppendValueLine(std::string* out, std::string_view name, const Value& value);

// A snapshot of the key and its sub-tree in the text form, read under the store's lock
// (implemented by the store); nullopt when the key does not exist.
std::optional<std::string> ExportText(Hive hive, std::string_view path);

}  // namespace platform::hive
