// How the library's option pages read and write their settings: each page sets its
// defaults, reads every value over its default (an absent value, or one of another type,
// keeps the default) and writes every value back when the sheet closes with OK.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace options {

// A DWORD setting, or `preset` when it is absent.
int ReadDwordSetting(std::string_view name, int preset);
// A string setting, or `preset` when it is absent; with `emptyIsPreset` a stored empty
// text reads as the preset too.
std::string ReadStringSetting(std::string_view name, std::string preset, bool emptyIsPreset = false);
void WriteDwordSetting(std::string_view name, int value);

}  // namespace options
