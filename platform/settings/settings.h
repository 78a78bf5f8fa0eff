// The registry stand-in: hives of keys and typed values kept as text files under
// $TOVARIN_HOME/registry/ (default $XDG_CONFIG_HOME/tovarin, else ~/.config/tovarin).
//
// Contract the system's code relies on:
//  - key paths use "\" between parts; key and value names compare case-insensitively
//    (ASCII) and keep the case they were created with;
//  - normal code opens keys and never creates them (Key::Open answers nullopt for a
//    missing key); Key::Create exists for the install step, tovreg and tests;
//  - values keep their type and raw bytes; the empty value name is the key's default value;
//  - several processes share the store: every write is a locked read-modify-write with an
//    atomic rename, so concurrent writers lose nothing; readers see other processes'
//    writes (the file is reloaded when it changed).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

enum class Hive { CurrentUser, LocalMachine, ClassesRoot };

// Numbers as the desktop registry gives them.
enum class ValueType : std::uint32_t { None = 0, String = 1, ExpandString = 2, Binary = 3, Dword = 4 };

struct SettingValue {
  ValueType type = ValueType::None;
  std::string data;  // raw bytes; a String holds its text and its terminating NUL
};

class SettingsKey {
 public:
  // A key that exists, or nullopt. Never creates anything.
  static std::optional<SettingsKey> Open(Hive hive, std::string_view path);
  // Opens the key, creating it and its missing parents.
  static SettingsKey Create(Hive hive, std::string_view path);
  // Removes the key with all its sub-keys and values; false when it did not exist.
  static bool Delete(Hive hive, std::string_view path);

  // nullopt when the value is missing, or the key has been deleted meanwhile.
  std::optional<SettingValue> Get(std::string_view name) const;
  // false when the key has been deleted meanwhile or the store cannot be written.
  bool Set(std::string_view name, ValueType type, std::string_view bytes);
  bool SetDword(std::string_view name, std::uint32_t value);
  bool SetString(std::string_view name, std::string_view text);  // stores text + NUL
  bool DeleteValue(std::string_view name);

  std::vector<std::string> SubKeyNames() const;
  std::vector<std::string> ValueNames() const;  // "" for the default value when set

  Hive hive() const { return hive_; }
  const std::string& path() const { return path_; }

 private:
  SettingsKey(Hive hive, std::string path) : hive_(hive), path_(std::move(path)) {}
  Hive hive_;
  std::string path_;
};

// The folder that holds the hive files (created on first write).
std::string SettingsFolder();

}  // namespace platform
