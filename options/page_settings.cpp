#include "options/page_settings.h"

#include "common/settings.h"

namespace options {

// The settings family's readers for option pages, under the pages' names.
int ReadDwordSetting(std::string_view name, int preset) {
  return ReadSettingFlag(name, static_cast<std::uint32_t>(preset));
}

std::string ReadStringSetting(std::string_view name, std::string preset, bool emptyIsPreset) {
  return ReadSettingText(name, std::move(preset), emptyIsPreset);
}

void WriteDwordSetting(std::string_view name, int value) { WriteSettingFlag(name, value); }

}  // namespace options
