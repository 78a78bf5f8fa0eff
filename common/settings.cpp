#include "common/settings.h"

#include <cstring>
#include <optional>

#include "common/identity.h"
#include "platform/settings/settings.h"
#include "platform/text/little_endian.h"

namespace {

constexpr std::size_t kStringBuffer = 1024;

std::optional<platform::SettingsKey> OpenProductKey(bool shared = false) {
  const std::string& path = shared ? g_ProductIdentity.sharedSettingsKey : g_ProductIdentity.settingsKey;
  if (path.empty()) return std::nullopt;
  return platform::SettingsKey::Open(platform::Hive::CurrentUser, path);
}

}  // namespace

int ReadSettingDword(std::string_view name, std::uint32_t& out) {
  auto key = OpenProductKey();
  if (!key) return 0;
  auto value = key->Get(name);
  if (value && value->type == platform::ValueType::Dword && value->data.size() == 4) {
    out = platform::ReadLe32(value->data.data());
  }
  return 1;
}

int WriteSettingDword(std::string_view name, std::uint32_t value) {
  auto key = OpenProductKey();
  if (!key) return 2;  // the desktop's "file not found"
  return key->SetDword(name, value) ? 0 : 5;
}

int ReadSettingString(std::string_view name, std::string& out, bool shared) {
  auto key = OpenProductKey(shared);
  if (!key) return 0;
  auto value = key->Get(name);
  if (value && (value->type == platform::ValueType::String || value->type == platform::ValueType::ExpandString) &&
      !value->data.empty() && value->data.size() <= kStringBuffer && value->data.back() == '\0') {
    out.assign(value->data.c_str());
  }
  return 1;
}

void WriteSettingString(std::string_view name, std::string_view text) {
  if (auto key = OpenProductKey()) key->SetString(name, text);
}

int ReadSettingBinary(std::string_view name, void* buffer, std::uint32_t& size) {
  auto key = OpenProductKey();
  if (!key) return 0;
  auto value = key->Get(name);
  if (value && value->type == platform::ValueType::Binary && value->data.size() <= size) {
    if (!value->data.empty()) std::memcpy(buffer, value->data.data(), value->data.size());
    size = static_cast<std::uint32_t>(value->data.size());
  } else {
    size = 0;
  }
  return 1;
}

void WriteSettingBinary(std::string_view name, const void* data, std::uint32_t size) {
  if (auto key = OpenProductKey()) {
    key->Set(name, platform::ValueType::Binary, std::string_view(static_cast<const char*>(data), size));
  }
}

void DeleteSetting(std::string_view name) {
  if (auto key = OpenProductKey()) key->DeleteValue(name);
}
