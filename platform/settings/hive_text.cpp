#include "platform/settings/hive_text.h"

#include <cstdio>

#include "platform/text/text.h"

namespace platform::hive {
namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  c = ToLowerAscii(c);
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

const char kHex[] = "0123456789abcdef";
const char kHexUpper[] = "0123456789ABCDEF";

void AppendHexByte(std::string* out, unsigned char b) {
  out->push_back(kHex[b >> 4]);
  out->push_back(kHex[b & 15]);
}

using platform::TrimView;

// Key names: '%' and control bytes as %HH, everything else as it is ("\" never occurs).
void AppendKeyName(std::string* out, std::string_view name) {
  for (char c : name) {
    auto b = static_cast<unsigned char>(c);
    if (b < 0x20 || b == 0x7f || c == '%') {
      out->push_back('%');
      out->push_back(kHexUpper[b >> 4]);
      out->push_back(kHexUpper[b & 15]);
    } else {
      out->push_back(c);
    }
  }
}

std::optional<std::string> DecodeKeyName(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] != '%') {
      out.push_back(s[i]);
      continue;
    }
    int hi = i + 1 < s.size() ? HexDigit(s[i + 1]) : -1;
    int lo = i + 2 < s.size() ? HexDigit(s[i + 2]) : -1;
    if (hi < 0 || lo < 0) return std::nullopt;
    // "\" separates names: a name holding one (%5C) could not be written back as one key.
    if (hi * 16 + lo == '\\') return std::nullopt;
    out.push_back(static_cast<char>(hi * 16 + lo));
    i += 2;
  }
  return out;
}

bool NeedsEscape(char c) {
  auto b = static_cast<unsigned char>(c);
  return c == '\\' || c == '"' || b < 0x20 || b == 0x7f;
}

void AppendQuoted(std::string* out, std::string_view text) {
  out->push_back('"');
  while (!text.empty()) {
    size_t plain = 0;
    while (plain < text.size() && !NeedsEscape(text[plain])) ++plain;
    out->append(text.substr(0, plain));
    text.remove_prefix(plain);
    if (text.empty()) break;
    char c = text.front();
    text.remove_prefix(1);
    auto b = static_cast<unsigned char>(c);
    switch (c) {
      case '\\': out->append("\\\\"); break;
      case '"': out->append("\\\""); break;
      case '\n': out->append("\\n"); break;
      case '\r': out->append("\\r"); break;
      case '\t': out->append("\\t"); break;
      default:
        if (b < 0x20 || b == 0x7f) {
          out->append("\\x");
          AppendHexByte(out, b);
        } else {
          out->push_back(c);
        }
    }
  }
  out->push_back('"');
}

// Reads a quoted text at the start of *s and removes it from *s.
std::optional<std::string> TakeQuoted(std::string_view* s) {
  if (s->empty() || s->front() != '"') return std::nullopt;
  std::string out;
  size_t i = 1;
  for (; i < s->size(); ++i) {
    size_t plain = s->find_first_of("\"\\", i);
    if (plain == std::string_view::npos) return std::nullopt;  // no closing quote
    out.append(s->substr(i, plain - i));
    i = plain;
    if ((*s)[i] == '"') break;
    if (++i >= s->size()) return std::nullopt;
    switch ((*s)[i]) {
      case '\\': out.push_back('\\'); break;
      case '"': out.push_back('"'); break;
      case 'n': out.push_back('\n'); break;
      case 'r': out.push_back('\r'); break;
      case 't': out.push_back('\t'); break;
      case 'x': {
        int hi = i + 1 < s->size() ? HexDigit((*s)[i + 1]) : -1;
        int lo = i + 2 < s->size() ? HexDigit((*s)[i + 2]) : -1;
        if (hi < 0 || lo < 0) return std::nullopt;
        out.push_back(static_cast<char>(hi * 16 + lo));
        i += 2;
        break;
      }
      default: return std::nullopt;
    }
  }
  if (i >= s->size()) return std::nullopt;  // no closing quote
  s->remove_prefix(i + 1);
  return out;
}

void AppendHexBytes(std::string* out, std::string_view data) {
  for (size_t i = 0; i < data.size(); ++i) {
    if (i) out->push_back(',');
    AppendHexByte(out, static_cast<unsigned char>(data[i]));
  }
}

std::optional<std::string> ParseHexBytes(std::string_view s) {
  std::string out;
  s = TrimView(s);
  if (s.empty()) return out;
  while (true) {
    size_t comma = s.find(',');
    std::string_view item = TrimView(s.substr(0, comma));
    if (item.size() != 2) return std::nullopt;
    int hi = HexDigit(item[0]), lo = HexDigit(item[1]);
    if (hi < 0 || lo < 0) return std::nullopt;
    out.push_back(static_cast<char>(hi * 16 + lo));
    if (comma == std::string_view::npos) break;
    s.remove_prefix(comma + 1);
  }
  return out;
}

std::optional<std::uint32_t> ParseHexNumber(std::string_view s) {
  if (s.empty() || s.size() > 8) return std::nullopt;
  std::uint32_t v = 0;
  for (char c : s) {
    int d = HexDigit(c);
    if (d < 0) return std::nullopt;
    v = v * 16 + static_cast<std::uint32_t>(d);
  }
  return v;
}

// The part after "=" of a value line.
std::optional<Value> ParseData(std::string_view s) {
  Value v;
  auto quotedText = [&](std::string_view rest, ValueType type) -> std::optional<Value> {
    auto text = TakeQuoted(&rest);
    if (!text || !TrimView(rest).empty()) return std::nullopt;
    v.type = type;
    v.data = std::move(*text);
    v.data.push_back('\0');
    return v;
  };
  if (StartsWithNoCase(s, "dword:")) {
    auto n = ParseHexNumber(TrimView(s.substr(6)));
    if (!n) return std::nullopt;
    v.type = ValueType::Dword;
    for (int i = 0; i < 4; ++i) v.data.push_back(static_cast<char>((*n >> (8 * i)) & 0xff));
    return v;
  }
  if (StartsWithNoCase(s, "sz:")) return quotedText(s.substr(3), ValueType::String);
  if (StartsWithNoCase(s, "expand:")) return quotedText(s.substr(7), ValueType::ExpandString);
  if (StartsWithNoCase(s, "hex:")) {
    auto bytes = ParseHexBytes(s.substr(4));
    if (!bytes) return std::nullopt;
    v.type = ValueType::Binary;
    v.data = std::move(*bytes);
    return v;
  }
  if (StartsWithNoCase(s, "hex(")) {
    size_t close = s.find("):");
    if (close == std::string_view::npos) return std::nullopt;
    auto type = ParseHexNumber(s.substr(4, close - 4));
    auto bytes = ParseHexBytes(s.substr(close + 2));
    if (!type || !bytes) return std::nullopt;
    v.type = static_cast<ValueType>(*type);
    v.data = std::move(*bytes);
    return v;
  }
  return std::nullopt;
}

bool IsTextWithNul(const Value& v) { return !v.data.empty() && v.data.back() == '\0'; }

void AppendLines(std::string* out, const std::vector<std::string>& lines) {
  for (const std::string& line : lines) out->append(line).push_back('\n');
}

}  // namespace

bool CaseLess::operator()(std::string_view a, std::string_view b) const { return CompareNoCase(a, b) < 0; }

const char* FullName(Hive hive) {
  switch (hive) {
    case Hive::CurrentUser: return "HKEY_CURRENT_USER";
    case Hive::LocalMachine: return "HKEY_LOCAL_MACHINE";
    case Hive::ClassesRoot: return "HKEY_CLASSES_ROOT";
  }
  return "HKEY_CURRENT_USER";
}

std::optional<Hive> ParseName(std::string_view name) {
  struct Row { const char* shortName; Hive hive; };
  static const Row rows[] = {{"HKCU", Hive::CurrentUser},
                             {"HKLM", Hive::LocalMachine},
                             {"HKCR", Hive::ClassesRoot}};
  for (const Row& r : rows)
    if (EqualsNoCase(name, r.shortName) || EqualsNoCase(name, FullName(r.hive))) return r.hive;
  return std::nullopt;
}

std::vector<std::string_view> SplitPath(std::string_view path) { return SplitDroppingEmpty(path, "\\"); }

std::string NormalPath(std::string_view path) {
  std::string out;
  for (std::string_view part : SplitPath(path)) {
    if (!out.empty()) out.push_back('\\');
    out.append(part);
  }
  return out;
}

const Key* Find(const Key& root, std::string_view path) {
  const Key* key = &root;
  while (!path.empty()) {
    size_t sep = path.find('\\');
    std::string_view part = path.substr(0, sep);
    if (!part.empty()) {
      auto it = key->subkeys.find(part);
      if (it == key->subkeys.end()) return nullptr;
      key = it->second.get();
    }
    if (sep == std::string_view::npos) break;
    path.remove_prefix(sep + 1);
  }
  return key;
}

Key* Find(Key& root, std::string_view path) {
  return const_cast<Key*>(Find(static_cast<const Key&>(root), path));
}

Key& FindOrCreate(Key& root, std::string_view path, bool* created) {
  Key* key = &root;
  for (std::string_view part : SplitPath(path)) {
    auto it = key->subkeys.find(part);
    if (it == key->subkeys.end()) {
      it = key->subkeys.emplace(std::string(part), std::make_unique<Key>()).first;
      if (created) *created = true;
    }
    key = it->second.get();
  }
  return *key;
}

ParseReport Parse(std::string_view text, Hive hive, Key* root) {
  ParseReport report;
  Key* current = nullptr;  // none before any section, or under a bad one
  int lineNo = 0;
  std::string_view raw;
  // Kept in the key whose section holds the line: any line there that cannot be read
  // cannot be read in any section. Others (before the first section, under a bad header)
  // go to the root, which writes them where no section would take them in.
  auto bad = [&] {
    if (++report.badLines == 1) report.firstBadLine = lineNo;
    (current != nullptr ? current : root)->unreadable.emplace_back(raw);
  };
  const std::string_view hiveName = FullName(hive);
  while (!text.empty()) {
    size_t nl = text.find('\n');
    std::string_view line = text.substr(0, nl);
    text.remove_prefix(nl == std::string_view::npos ? text.size() : nl + 1);
    ++lineNo;
    raw = line;  // a kept line keeps its carriage return too
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    line = TrimView(line);
    if (line.empty() || line.front() == ';' || line.front() == '#') continue;

    if (line.front() == '[') {
      current = nullptr;
      if (line.size() < 2 || line.back() != ']') {
        bad();
        continue;
      }
      std::string_view full = line.substr(1, line.size() - 2);
      size_t sep = full.find('\\');
      if (!EqualsNoCase(full.substr(0, sep), hiveName)) {
        bad();
        continue;
      }
      // Every name is checked before any key is made: a header that cannot be read
      // leaves no keys behind.
      std::vector<std::string> names;
      bool ok = true;
      std::string_view rest = sep == std::string_view::npos ? std::string_view() : full.substr(sep + 1);
      while (ok && sep != std::string_view::npos) {
        sep = rest.find('\\');
        auto name = DecodeKeyName(rest.substr(0, sep));
        if (!name || name->empty()) {
          ok = false;
          break;
        }
        names.push_back(std::move(*name));
        if (sep != std::string_view::npos) rest.remove_prefix(sep + 1);
      }
      if (!ok) {
        bad();
        continue;
      }
      Key* key = root;
      for (const std::string& name : names) {
        auto& slot = key->subkeys[name];
        if (!slot) slot = std::make_unique<Key>();
        key = slot.get();
      }
      current = key;
      continue;
    }

    std::string name;
    std::string_view rest = line;
    if (rest.front() == '@') {
      rest.remove_prefix(1);
    } else {
      auto quoted = TakeQuoted(&rest);
      if (!quoted) {
        bad();
        continue;
      }
      name = std::move(*quoted);
    }
    rest = TrimView(rest);
    if (rest.empty() || rest.front() != '=') {
      bad();
      continue;
    }
    auto value = ParseData(TrimView(rest.substr(1)));
    if (!value) {
      bad();
      continue;
    }
    if (!current) {
      bad();
      continue;
    }
    // Written files are in name order, so the end is the right hint; a repeated name: the later line wins.
    current->values.insert_or_assign(current->values.end(), std::move(name), std::move(*value));
  }
  return report;
}

void AppendValueLine(std::string* out, std::string_view name, const Value& v) {
  if (name.empty())
    out->push_back('@');
  else
    AppendQuoted(out, name);
  out->push_back('=');
  const auto typeNumber = static_cast<std::uint32_t>(v.type);
  if (v.type == ValueType::Dword && v.data.size() == 4) {
    std::uint32_t n = 0;
    for (int i = 3; i >= 0; --i) n = (n << 8) | static_cast<unsigned char>(v.data[i]);
    char buf[16];
    std::snprintf(buf, sizeof buf, "dword:%08x", n);
    out->append(buf);
  } else if ((v.type == ValueType::String || v.type == ValueType::ExpandString) && IsTextWithNul(v)) {
    out->append(v.type == ValueType::String ? "sz:" : "expand:");
    AppendQuoted(out, std::string_view(v.data).substr(0, v.data.size() - 1));
  } else if (v.type == ValueType::Binary) {
    out->append("hex:");
    AppendHexBytes(out, v.data);
  } else {
    char buf[24];
    std::snprintf(buf, sizeof buf, "hex(%x):", typeNumber);
    out->append(buf);
    AppendHexBytes(out, v.data);
  }
  out->push_back('\n');
}

void Write(const Key& key, Hive hive, std::string_view path, std::string* out) {
  std::string section = FullName(hive);
  for (std::string_view part : SplitPath(path)) {
    section.push_back('\\');
    AppendKeyName(&section, part);
  }
  // Walk iteratively so a deep tree cannot exhaust the stack.
  struct Item { const Key* key; std::string section; };
  std::vector<Item> stack;
  stack.push_back({&key, std::move(section)});
  const bool isRoot = SplitPath(path).empty();
  while (!stack.empty()) {
    Item item = std::move(stack.back());
    stack.pop_back();
    const bool keptHere = !(isRoot && item.key == &key) && !item.key->unreadable.empty();
    if (!item.key->values.empty() || keptHere || item.key->subkeys.empty()) {
      out->append("\n[").append(item.section).append("]\n");
      for (const auto& [name, value] : item.key->values) AppendValueLine(out, name, value);
      if (keptHere) AppendLines(out, item.key->unreadable);
    }
    // Pushed in reverse so sub-keys come out in name order.
    for (auto it = item.key->subkeys.rbegin(); it != item.key->subkeys.rend(); ++it) {
      std::string child = item.section;
      child.push_back('\\');
      AppendKeyName(&child, it->first);
      stack.push_back({it->second.get(), std::move(child)});
    }
  }
}

std::string WriteFile(const Key& root, Hive hive, std::string_view heading) {
  std::string out;
  out.append("; ").append(heading).push_back('\n');
  AppendLines(&out, root.unreadable);
  // The hive root itself needs no section unless it holds values.
  if (!root.values.empty()) {
    out.append("\n[").append(FullName(hive)).append("]\n");
    for (const auto& [name, value] : root.values) AppendValueLine(&out, name, value);
  }
  for (const auto& [name, sub] : root.subkeys) Write(*sub, hive, name, &out);
  return out;
}

}  // namespace platform::hive
