// Globally unique identifiers of interfaces and classes, and their registry text form
// "{6E3F1B27-C48A-4D05-9B7E-52A0F8C3D140}".
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/com/hresult.h"

namespace platform {

struct GUID {
  std::uint32_t Data1;
  std::uint16_t Data2;
  std::uint16_t Data3;
  std::uint8_t Data4[8];
};
static_assert(sizeof(GUID) == 16);

using IID = GUID;
using CLSID = GUID;
using REFIID = const GUID&;
using REFCLSID = const GUID&;

constexpr GUID GUID_NULL = {0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};

// All 16 bytes equal.
bool operator==(const GUID& a, const GUID& b);
inline bool operator!=(const GUID& a, const GUID& b) { return !(a == b); }
inline bool IsEqualGUID(const GUID& a, const GUID& b) { return a == b; }

// The 38-character text with braces and upper-case hex digits.
std::string GuidToString(const GUID& guid);

// Reads the 38-character text (hex digits in either case). S_OK with *out set, or
// E_INVALIDARG (and *out untouched) for anything else, the empty text included.
HRESULT IIDFromString(std::string_view text, GUID* out);
inline HRESULT CLSIDFromString(std::string_view text, CLSID* out) { return IIDFromString(text, out); }

}  // namespace platform
