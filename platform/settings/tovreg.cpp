// tovreg: reads and writes the settings store from the command line (install step, people).
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "platform/settings/hive_text.h"
#include "platform/settings/settings.h"
#include "platform/text/text.h"

namespace {

using platform::Hive;
using platform::SettingsKey;
using platform::SettingValue;
using platform::ValueType;

constexpr int kOk = 0;
constexpr int kError = 1;

const char kNotFound[] = "ERROR: The system was unable to find the specified registry key or value.";

void PrintUsage(std::FILE* to) {
  std::fprintf(to,
               "Usage:\n"
               "  tovreg query  <hive> <key> [<value> | /v <value> | /ve]\n"
               "  tovreg add    <hive> <key> [/v <value> | /ve] [/t <type>] [/d <data>]\n"
               "  tovreg delete <hive> <key> [/v <value> | /ve]\n"
               "  tovreg export <hive> <key> <file>\n"
               "\n"
               "  <hive>  HKCU, HKLM, HKCR, or HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, HKEY_CLASSES_ROOT\n"
               "  <key>   the key below the hive, parts separated by \"\\\" (\"\" is the hive itself)\n"
               "  /v      the value's name;  /ve  the key's default (unnamed) value\n"
               "  /t      REG_SZ (the default), REG_EXPAND_SZ, REG_DWORD or REG_BINARY\n"
               "  /d      the data: text; a number 0 to 4294967295 or 0x0 to 0xFFFFFFFF for\n"
               "          REG_DWORD; hex digits, two per byte, for REG_BINARY (empty when left out)\n"
               "\n"
               "  query without a value lists the key's values and sub-keys.\n"
               "  add without /v or /ve creates the key (and its parents) only.\n"
               "  delete without /v or /ve deletes the key with everything below it.\n"
               "  export writes the key and everything below it to the file, in the store's text form.\n"
               "\n"
               "The settings are kept in %s\n",
               platform::SettingsFolder().c_str());
}

int SyntaxError(const std::string& why) {
  std::fprintf(stderr, "ERROR: Invalid syntax. %s\nType \"tovreg /?\" for usage.\n", why.c_str());
  return kError;
}

int Fail(const std::string& message) {
  std::fprintf(stderr, "%s\n", message.c_str());
  return kError;
}

int Succeeded() {
  std::printf("The operation completed successfully.\n");
  return kOk;
}

int StoreNotWritable() {
  return Fail("ERROR: The settings store in " + platform::SettingsFolder() + " cannot be written.");
}

std::string Upper(std::string s) {
  for (char& c : s)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return s;
}

struct TypeRow {
  const char* name;
  ValueType type;
};
const TypeRow kTypes[] = {{"REG_NONE", ValueType::None},
                          {"REG_SZ", ValueType::String},
                          {"REG_EXPAND_SZ", ValueType::ExpandString},
                          {"REG_BINARY", ValueType::Binary},
                          {"REG_DWORD", ValueType::Dword}};

std::string TypeName(ValueType type) {
  for (const TypeRow& row : kTypes)
    if (row.type == type) return row.name;
  char buf[32];
  std::snprintf(buf, sizeof buf, "REG_TYPE(0x%X)", static_cast<unsigned>(type));
  return buf;
}

std::string HexUpper(const std::string& data) {
  static const char digits[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char b : data) {
    out.push_back(digits[b >> 4]);
    out.push_back(digits[b & 15]);
  }
  return out;
}

std::string DataText(const SettingValue& v) {
  if (v.type == ValueType::Dword && v.data.size() == 4) {
    std::uint32_t n = 0;
    for (int i = 3; i >= 0; --i) n = (n << 8) | static_cast<unsigned char>(v.data[i]);
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%x", n);
    return buf;
  }
  if (v.type == ValueType::String || v.type == ValueType::ExpandString) return v.data.substr(0, v.data.find('\0'));
  return HexUpper(v.data);
}

void PrintValue(const std::string& name, const SettingValue& v) {
  std::printf("    %s    %s    %s\n", name.empty() ? "(Default)" : name.c_str(), TypeName(v.type).c_str(),
              DataText(v).c_str());
}

std::optional<std::uint32_t> ParseDword(const std::string& s) {
  if (s.empty()) return std::nullopt;
  std::uint64_t n = 0;
  if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
    if (s.size() > 10) return std::nullopt;
    for (size_t i = 2; i < s.size(); ++i) {
      char c = s[i];
      int d = (c >= '0' && c <= '9') ? c - '0' : (c >= 'a' && c <= 'f') ? c - 'a' + 10 : (c >= 'A' && c <= 'F') ? c - 'A' + 10 : -1;
      if (d < 0) return std::nullopt;
      n = n * 16 + static_cast<unsigned>(d);
    }
    return static_cast<std::uint32_t>(n);
  }
  if (s.size() > 10) return std::nullopt;
  for (char c : s) {
    if (c < '0' || c > '9') return std::nullopt;
    n = n * 10 + static_cast<unsigned>(c - '0');
  }
  if (n > 0xffffffffull) return std::nullopt;
  return static_cast<std::uint32_t>(n);
}

std::optional<std::string> ParseBinary(const std::string& s) {
  if (s.size() % 2) return std::nullopt;
  std::string out;
  for (size_t i = 0; i < s.size(); i += 2) {
    int b = 0;
    for (size_t j = i; j < i + 2; ++j) {
      char c = s[j];
      int d = (c >= '0' && c <= '9') ? c - '0' : (c >= 'a' && c <= 'f') ? c - 'a' + 10 : (c >= 'A' && c <= 'F') ? c - 'A' + 10 : -1;
      if (d < 0) return std::nullopt;
      b = b * 16 + d;
    }
    out.push_back(static_cast<char>(b));
  }
  return out;
}

struct Command {
  std::string verb;
  std::vector<std::string> positional;
  std::optional<std::string> valueName;  // "" for /ve
  std::optional<std::string> type;
  std::optional<std::string> data;
};

// Splits the arguments into positional ones and the options; an error text on failure.
std::optional<std::string> ParseArgs(const std::vector<std::string>& args, Command* cmd) {
  cmd->verb = args[0];
  for (size_t i = 1; i < args.size(); ++i) {
    // Only the known switches are options: a file path such as /tmp/x is an argument.
    const std::string& a = args[i];
    const std::string opt = Upper(a);
    if (opt != "/V" && opt != "/VE" && opt != "/T" && opt != "/D") {
      cmd->positional.push_back(a);
      continue;
    }
    auto takeNext = [&](std::optional<std::string>* slot) -> std::optional<std::string> {
      if (*slot) return a + " is given twice.";
      if (i + 1 >= args.size()) return a + " needs an argument.";
      *slot = args[++i];
      return std::nullopt;
    };
    std::optional<std::string> err;
    if (opt == "/V") {
      if (cmd->valueName) return std::string("Give /v or /ve once.");
      err = takeNext(&cmd->valueName);
    } else if (opt == "/VE") {
      if (cmd->valueName) return std::string("Give /v or /ve once.");
      cmd->valueName = std::string();
    } else if (opt == "/T") {
      err = takeNext(&cmd->type);
    } else {
      err = takeNext(&cmd->data);
    }
    if (err) return err;
  }
  return std::nullopt;
}

int Query(Hive hive, const std::string& path, const Command& cmd) {
  auto key = SettingsKey::Open(hive, path);
  if (!key) return Fail(kNotFound);
  std::string full = platform::hive::FullName(hive);
  std::string normal = platform::hive::NormalPath(path);
  if (!normal.empty()) full += "\\" + normal;
  if (cmd.valueName) {
    auto v = key->Get(*cmd.valueName);
    if (!v) return Fail(kNotFound);
    std::string stored = *cmd.valueName;  // shown as it was created
    for (const std::string& name : key->ValueNames())
      if (platform::EqualsNoCase(name, stored)) stored = name;
    std::printf("%s\n", full.c_str());
    PrintValue(stored, *v);
    return kOk;
  }
  std::printf("%s\n", full.c_str());
  for (const std::string& name : key->ValueNames())
    if (auto v = key->Get(name)) PrintValue(name, *v);
  std::vector<std::string> subkeys = key->SubKeyNames();
  if (!subkeys.empty()) std::printf("\n");
  for (const std::string& sub : subkeys) std::printf("%s\\%s\n", full.c_str(), sub.c_str());
  return kOk;
}

int Add(Hive hive, const std::string& path, const Command& cmd) {
  if (!cmd.valueName && (cmd.type || cmd.data)) return SyntaxError("/t and /d need /v or /ve.");
  ValueType type = ValueType::String;
  if (cmd.type) {
    const std::string name = Upper(*cmd.type);
    if (name == "REG_SZ") type = ValueType::String;
    else if (name == "REG_EXPAND_SZ") type = ValueType::ExpandString;
    else if (name == "REG_DWORD") type = ValueType::Dword;
    else if (name == "REG_BINARY") type = ValueType::Binary;
    else return Fail("ERROR: Invalid type \"" + *cmd.type + "\". Use REG_SZ, REG_EXPAND_SZ, REG_DWORD or REG_BINARY.");
  }
  const std::string data = cmd.data.value_or("");
  std::string bytes;
  switch (type) {
    case ValueType::Dword: {
      auto n = ParseDword(data);
      if (!n)
        return Fail("ERROR: Invalid data \"" + data +
                    "\" for REG_DWORD. Give a number 0 to 4294967295, or 0x0 to 0xFFFFFFFF.");
      for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<char>((*n >> (8 * i)) & 0xff));
      break;
    }
    case ValueType::Binary: {
      auto b = ParseBinary(data);
      if (!b) return Fail("ERROR: Invalid data \"" + data + "\" for REG_BINARY. Give hex digits, two per byte.");
      bytes = std::move(*b);
      break;
    }
    default:
      bytes = data;
      bytes.push_back('\0');
  }
  SettingsKey key = SettingsKey::Create(hive, path);
  if (!cmd.valueName) return SettingsKey::Open(hive, path) ? Succeeded() : StoreNotWritable();
  return key.Set(*cmd.valueName, type, bytes) ? Succeeded() : StoreNotWritable();
}

int Delete(Hive hive, const std::string& path, const Command& cmd) {
  if (cmd.type || cmd.data) return SyntaxError("delete takes no /t or /d.");
  auto key = SettingsKey::Open(hive, path);
  if (!key) return Fail(kNotFound);
  if (!cmd.valueName) {
    if (platform::hive::NormalPath(path).empty()) return Fail("ERROR: A hive itself cannot be deleted.");
    return SettingsKey::Delete(hive, path) ? Succeeded() : StoreNotWritable();
  }
  if (!key->Get(*cmd.valueName)) return Fail(kNotFound);
  return key->DeleteValue(*cmd.valueName) ? Succeeded() : StoreNotWritable();
}

int Export(Hive hive, const std::string& path, const std::string& file) {
  auto text = platform::hive::ExportText(hive, path);
  if (!text) return Fail(kNotFound);
  std::FILE* f = std::fopen(file.c_str(), "wb");
  if (!f) return Fail("ERROR: Cannot write " + file + ": " + std::strerror(errno) + ".");
  bool ok = std::fwrite(text->data(), 1, text->size(), f) == text->size();
  int err = errno;
  if (std::fclose(f) != 0 && ok) {
    ok = false;
    err = errno;
  }
  if (!ok) return Fail("ERROR: Cannot write " + file + ": " + std::strerror(err) + ".");
  return Succeeded();
}

int Run(const std::vector<std::string>& args) {
  if (args.empty()) {
    PrintUsage(stderr);
    return kError;
  }
  const std::string first = Upper(args[0]);
  if (first == "/?" || first == "-H" || first == "--HELP" || first == "HELP") {
    PrintUsage(stdout);
    return kOk;
  }
  Command cmd;
  if (auto err = ParseArgs(args, &cmd)) return SyntaxError(*err);
  const std::string verb = Upper(cmd.verb);
  size_t wanted = verb == "EXPORT" ? 3 : 2;
  if (verb == "QUERY" && cmd.positional.size() == 3) {
    if (cmd.valueName) return SyntaxError("Give the value's name once.");
    cmd.valueName = cmd.positional[2];
    cmd.positional.pop_back();
  }
  if (verb != "QUERY" && verb != "ADD" && verb != "DELETE" && verb != "EXPORT")
    return SyntaxError("Unknown operation \"" + cmd.verb + "\".");
  if (cmd.positional.size() != wanted)
    return SyntaxError(verb == "EXPORT" ? "export needs <hive> <key> <file>." : "Give <hive> and <key>.");
  if (verb == "EXPORT" && (cmd.valueName || cmd.type || cmd.data)) return SyntaxError("export takes no options.");
  if (verb == "QUERY" && (cmd.type || cmd.data)) return SyntaxError("query takes no /t or /d.");

  auto hive = platform::hive::ParseName(cmd.positional[0]);
  if (!hive)
    return Fail("ERROR: Invalid hive \"" + cmd.positional[0] +
                "\". Use HKCU, HKLM, HKCR, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE or HKEY_CLASSES_ROOT.");
  const std::string& path = cmd.positional[1];
  if (verb == "QUERY") return Query(*hive, path, cmd);
  if (verb == "ADD") return Add(*hive, path, cmd);
  if (verb == "DELETE") return Delete(*hive, path, cmd);
  return Export(*hive, path, cmd.positional[2]);
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  return Run(args);
}
