#include "platform/com/guid.h"

#include <cstdio>
#include <cstring>

namespace platform {

bool operator==(const GUID& a, const GUID& b) {
  return a.Data1 == b.Data1 && a.Data2 == b.Data2 && a.Data3 == b.Data3 &&
         std::memcmp(a.Data4, b.Data4, sizeof a.Data4) == 0;
}

std::string GuidToString(const GUID& g) {
  char text[39];
  std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                static_cast<unsigned>(g.Data1), g.Data2, g.Data3, g.Data4[0], g.Data4[1], g.Data4[2],
                g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
  return text;
}

namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The value of `digits` hex digits at text[at]; false when one is not a hex digit.
bool ReadHex(std::string_view text, std::size_t at, int digits, std::uint32_t& value) {
  value = 0;
  for (int i = 0; i < digits; ++i) {
    const int v = HexValue(text[at + static_cast<std::size_t>(i)]);
    if (v < 0) return false;
    value = (value << 4) | static_cast<std::uint32_t>(v);
  }
  return true;
}

}  // namespace

HRESULT IIDFromString(std::string_view text, GUID* out) {
  // {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}
  if (out == nullptr || text.size() != 38 || text[0] != '{' || text[37] != '}' || text[9] != '-' ||
      text[14] != '-' || text[19] != '-' || text[24] != '-') {
    return E_INVALIDARG;
  }
  GUID g{};
  std::uint32_t v = 0;
  if (!ReadHex(text, 1, 8, v)) return E_INVALIDARG;
  g.Data1 = v;
  if (!ReadHex(text, 10, 4, v)) return E_INVALIDARG;
  g.Data2 = static_cast<std::uint16_t>(v);
  if (!ReadHex(text, 15, 4, v)) return E_INVALIDARG;
  g.Data3 = static_cast<std::uint16_t>(v);
  static constexpr std::size_t kByteAt[8] = {20, 22, 25, 27, 29, 31, 33, 35};
  for (int i = 0; i < 8; ++i) {
    if (!ReadHex(text, kByteAt[i], 2, v)) return E_INVALIDARG;
    g.Data4[i] = static_cast<std::uint8_t>(v);
  }
  *out = g;
  return S_OK;
}

}  // namespace platform
