// The settings family: values under HKEY_CURRENT_USER\<ProductIdentity::settingsKey>
// (or the shared key). Every routine opens the key for one call and never creates it;
// readers leave the caller's preset default in place when the key or the value is
// missing or has another type. Nothing here throws.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Bits of the installed-options mask Kor_InstallResult, which the installer writes and
// the manager reads.
constexpr std::uint32_t kInstallJukeboxDriver = 0x01000000;  // driver, own client, HTTP server
constexpr std::uint32_t kInstallJukeboxTray = 0x00000800;    // the tray icon
constexpr std::uint32_t kInstallJukeboxModels = 0x00000078;  // the four jukebox models (media-library copies)

// 0 when the key cannot be opened (out unchanged); else 1, and out is replaced only by a
// DWORD value of 4 bytes.
int ReadSettingDword(std::string_view name, std::uint32_t& out);
inline int ReadSettingDword(std::string_view name, std::uint32_t* out) { return ReadSettingDword(name, *out); }

// 0 on success; non-zero when the key cannot be opened or written.
int WriteSettingDword(std::string_view name, std::uint32_t value);

// 0 when the key cannot be opened (out unchanged); else 1, and out is replaced only by a
// string value (plain or expandable) that fits 1024 bytes with its terminating NUL. The
// empty name reads the key's default value (the installation folder).
int ReadSettingString(std::string_view name, std::string& out, bool shared = false);
inline int ReadSharedSettingString(std::string_view name, std::string& out) {
  return ReadSettingString(name, out, true);
}

// A string value of the text's length + 1 bytes; silent when the key cannot be opened.
void WriteSettingString(std::string_view name, std::string_view text);

// For option pages, which keep flags and small numbers as ints: the DWORD value, `preset`
// when the key or the value is missing or has another type; the string value, `preset`
// likewise (with `emptyIsPreset` also for a stored empty text); and WriteSettingDword of an
// int.
inline int ReadSettingFlag(std::string_view name, std::uint32_t preset) {
  ReadSettingDword(name, preset);
  return static_cast<int>(preset);
}
inline std::string ReadSettingText(std::string_view name, std::string preset, bool emptyIsPreset = false) {
  std::string value = preset;
  ReadSettingString(name, value);
  return emptyIsPreset && value.empty() ? preset : value;
}
inline int WriteSettingFlag(std::string_view name, int value) {
  return WriteSettingDword(name, static_cast<std::uint32_t>(value));
}

// size holds the buffer's capacity on entry. 0 when the key cannot be opened (size
// unchanged); else 1, and size becomes the value's length, or 0 when the value is
// missing, is not binary or does not fit.
int ReadSettingBinary(std::string_view name, void* buffer, std::uint32_t& size);
inline int ReadSettingBinary(std::string_view name, void* buffer, std::uint32_t* size) {
  return ReadSettingBinary(name, buffer, *size);
}

// A binary value; silent when the key cannot be opened.
void WriteSettingBinary(std::string_view name, const void* data, std::uint32_t size);

// Deletes the value; silent when the key cannot be opened.
void DeleteSetting(std::string_view name);
