#include "driver/sdk_support.h"

#include <cstdio>
#include <cstdlib>

#include "common/version.h"
#include "platform/settings/settings.h"
#include "platform/text/text.h"

namespace driver {

// ---- Error texts ----

std::string SdkErrorText(std::uint32_t code) {
  if (const std::string_view text = platform::SdkResultText(code); !text.empty()) return std::string(text);
  char buffer[256];
  std::snprintf(buffer, sizeof buffer,
                "Dozi Driver Error: 0x%X\n\nThe Dozi driver could not read this file, it may be "
                "corrupted.\nTry re-ripping it from the source CD.",
                code);
  return buffer;
}

// ---- SDK strings ----

std::optional<platform::SdkString> AnsiToBstr(std::string_view text) {
  platform::SdkString wide = platform::Utf8ToSdkString(text);
  if (wide.size() > platform::kSdkMaxNameLength) return std::nullopt;
  return wide;
}

bool BstrToAnsi(const platform::SdkString& text, std::string& out) {
  if (text.empty() || text.size() > platform::kSdkMaxNameLength) return false;
  out = platform::SdkStringToUtf8(text);
  return true;
}

void DisableVendorMp3Library() {}

// ---- Installed driver versions ----

namespace {

constexpr const char* kNotFound = "1.0.0";
constexpr std::size_t kMaxValueBytes = 260;

// A string value of at most 260 bytes (its terminator included), without the terminator.
std::optional<std::string> ReadString(const platform::SettingsKey& key, std::string_view name) {
  std::optional<platform::SettingValue> v = key.Get(name);
  if (!v || (v->type != platform::ValueType::String && v->type != platform::ValueType::ExpandString)) {
    return std::nullopt;
  }
  if (v->data.size() > kMaxValueBytes) return std::nullopt;
  std::string text = v->data;
  if (const std::size_t nul = text.find('\0'); nul != std::string::npos) text.resize(nul);
  return text;
}

// %NAME% replaced by the environment variable's value; unknown names stay as they are.
std::string ExpandEnvironmentStrings(std::string_view text) {
  std::string out;
  std::size_t i = 0;
  while (i < text.size()) {
    const std::size_t open = text.find('%', i);
    if (open == std::string_view::npos) break;
    const std::size_t close = text.find('%', open + 1);
    if (close == std::string_view::npos) break;
    out.append(text.substr(i, open - i));
    const std::string name(text.substr(open + 1, close - open - 1));
    const char* value = name.empty() ? nullptr : std::getenv(name.c_str());
    if (value != nullptr) {
      out += value;
    } else {
      out.append(text.substr(open, close - open + 1));
    }
    i = close + 1;
  }
  out.append(text.substr(i));
  return out;
}

}  // namespace

std::string GetServiceDriverVersion(std::string_view service) {
  auto key = platform::SettingsKey::Open(platform::Hive::LocalMachine,
                                         "SYSTEM\\CurrentControlSet\\Services\\" + std::string(service));
  if (!key) return kNotFound;
  std::string path = ReadString(*key, "ImagePath").value_or(std::string());
  if (path.find(':') == std::string::npos) {
    path = ExpandEnvironmentStrings("%SystemRoot%\\" + path);
    if (path.size() >= kMaxValueBytes) path.resize(kMaxValueBytes - 1);
  }
  return GetFileVersionString(path, false);
}

std::string GetClassDriverVersion(std::string_view hardwareId) {
  std::string classKey;
  if (platform::StartsWithNoCase(hardwareId, "usb\\")) {
    classKey = "{36FC9E60-C465-11CF-8056-444553540000}";
  } else if (platform::StartsWithNoCase(hardwareId, "1394\\")) {
    classKey = "{6BDD1FC1-810F-11D0-BEC7-08002BE2092F}";
  } else {
    return kNotFound;
  }
  const std::string classPath = "SYSTEM\\CurrentControlSet\\Control\\Class\\" + classKey;
  auto key = platform::SettingsKey::Open(platform::Hive::LocalMachine, classPath);
  if (!key) return kNotFound;
  for (const std::string& name : key->SubKeyNames()) {
    if (name.size() > kMaxValueBytes) return kNotFound;
    auto sub = platform::SettingsKey::Open(platform::Hive::LocalMachine, classPath + "\\" + name);
    if (!sub) return kNotFound;
    std::optional<std::string> match = ReadString(*sub, "MatchingDeviceId");
    if (match && platform::EqualsNoCase(*match, hardwareId)) {
      return ReadString(*sub, "DriverVersion").value_or(kNotFound);
    }
  }
  return kNotFound;
}

}  // namespace driver
