#include "options/page_settings.h"

#include "common/settings.h"

namespace options {

int ReadDwordSetting(std::string_view name, int preset) {
  std::uint32_t value = static_cast<std::uint32_t>(preset);
  ReadSettingDword(name, value);
  return static_cast<int>(value);
}

std::string ReadStringSetting(std::string_view name, std::string preset, bool emptyIsPreset) {
  std::string value = preset;
  ReadSettingString(name, value);
  if (emptyIsPreset && value.empty()) return preset;
  return value;
}

void WriteDwordSetting(std::string_view name, int value) { WriteSettingDword(name, static_cast<std::uint32_t>(value)); }

}  // namespace options
