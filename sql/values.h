// Values: how the engine reads text as numbers and compares texts. Every value in the
// engine is text; these rules decide what a number, an equality and a containment are.
//
//  - SqlAtoi reads like the C library's atoi (leading white space, an optional sign, then
//    digits up to the first other byte; no digits give 0) but saturates at the limits of
//    32 bits instead of overflowing, so a literal of 400 digits is simply INT32_MAX
//    (platform::ParseInt32, the system's one such reading).
//  - SqlIdValue reads an id text the same way (platform::ScanNumber) into 64 bits: ids are unsigned, a negative
//    number is taken modulo 2^64 as a 64-bit signed reading would give it, and a number
//    beyond that range is the largest id, which names no item (never one that wrapped).
//  - Equality (platform::EqualsNoCase) and containment fold ASCII letters only; texts
//    that are not digit strings compare in unsigned byte order (platform::CompareBytes).
//  - Digit strings (only '0'-'9'; the empty text counts) compare as numbers of any length:
//    leading zeros ignored, then the longer is larger, then byte order.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace sql {

std::int32_t SqlAtoi(std::string_view text);
std::uint64_t SqlIdValue(std::string_view text);

// Writes `value` in decimal ("%d") into `out`, replacing its content; returns a view of it.
std::string_view FormatInt(std::int64_t value, std::string& out);

// Whether `hay` contains `needle` ignoring ASCII case. `lowerNeedle` must already be
// lower case. An empty needle is contained in everything.
bool ContainsLowered(std::string_view hay, std::string_view lowerNeedle);
void LowerInto(std::string_view text, std::string& out);

bool IsDigitString(std::string_view text);
// Numeric comparison of two digit strings: <0, 0, >0.
int CompareDigitStrings(std::string_view a, std::string_view b);

}  // namespace sql
