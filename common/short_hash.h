// Short digests that name things after a text: per-device settings and files.
#pragma once

#include <string>
#include <string_view>

// The first 4 bytes of the SHA-1 of the text's bytes, as 8 upper-case hex digits.
std::string GetShortSha1Hex(std::string_view text);
