// Text rules shared by every layer: text is bytes (UTF-8 standing for the ANSI code page),
// case folding is ASCII only, and copies into fixed-size fields never split a UTF-8
// sequence nor read past a field's capacity.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

inline char ToLowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }
inline char ToUpperAscii(char c) { return (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c; }
std::string ToLowerAscii(std::string_view s);
std::string ToUpperAscii(std::string_view s);

// Byte-wise comparison as unsigned bytes: <0, 0, >0.
int CompareBytes(std::string_view a, std::string_view b);
// Comparison with ASCII letters folded to lower case: <0, 0, >0.
int CompareNoCase(std::string_view a, std::string_view b);
bool EqualsNoCase(std::string_view a, std::string_view b);
bool StartsWithNoCase(std::string_view s, std::string_view prefix);
// The order of names in lists: case aside, and names apart only by case in byte order, so
// a sorted list does not depend on the order the names came in.
bool NameLess(std::string_view a, std::string_view b);
// The order a file manager shows names in: case aside, runs of digits by their value
// ("Track 2" before "Track 10"); names equal so far by fewer leading zeros, then in
// NameLess order, so the order never depends on the order the names came in.
int CompareNatural(std::string_view a, std::string_view b);
// Position of `needle` in `hay` ignoring ASCII case, or npos.
std::size_t FindNoCase(std::string_view hay, std::string_view needle);

// Whether `s` is well-formed UTF-8 (no overlong forms, surrogates or code points past
// U+10FFFF).
bool IsValidUtf8(std::string_view s);
// The length of the well-formed UTF-8 character at `at` (its code point into
// `codePoint`), or 0 when none starts there.
std::size_t Utf8CharLength(std::string_view s, std::size_t at, char32_t* codePoint = nullptr);

// The longest prefix of `s` of at most `maxBytes` bytes that does not end inside a
// UTF-8 sequence (a cut never leaves a partial character).
std::size_t Utf8PrefixLength(std::string_view s, std::size_t maxBytes);

// Copies `s` into a field of `capacity` bytes (room for the NUL included): at most
// capacity - 1 bytes, cut on a character boundary, then a NUL. Nothing for capacity 0.
void CopyToField(char* field, std::size_t capacity, std::string_view s);

// The text held in a field of `capacity` bytes: up to its NUL, or the whole field when
// it has none (the field may come from another process).
std::string_view ReadField(const char* field, std::size_t capacity);

// Every occurrence of `from` replaced by `to`, left to right, in one pass.
std::string ReplaceAll(std::string_view s, std::string_view from, std::string_view to);

// Every control character (below 0x20, and DEL) as a blank: a name that goes into a
// line of a file (a playlist's entry) or into a file name never breaks or hides it.
std::string BlankControls(std::string_view s);

// White space: blank, tab, LF, vertical tab, form feed and CR (ASCII only).
inline bool IsWhiteSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
// Without the white space at both ends. Every trim of the system is this one.
std::string_view TrimView(std::string_view s);
std::string Trim(std::string_view s);

// The two ways the system splits text, each with its own contract:
//  - SplitKeepingEmpty: the pieces between separators, in order, empty ones kept (a
//    separator at either end gives an empty first or last piece); the character right
//    after a separator is never taken as a separator, so "a  b" at ' ' gives "a", " b".
//    The request parser's SplitOnChar.
//  - SplitDroppingEmpty: the non-empty pieces between any of the delimiter characters, in
//    order ("a,,b" at "," gives "a", "b"; strtok's rule). SplitString's.
std::vector<std::string_view> SplitKeepingEmpty(std::string_view text, char separator);
std::vector<std::string_view> SplitDroppingEmpty(std::string_view text, std::string_view delimiters);

// A whole number as the C library's atoi reads it: white space (IsWhiteSpace), an
// optional sign, then digits up to the first other byte; no digits read as 0. The
// magnitude stops at UINT64_MAX, and `overflow` tells that it would have gone beyond.
struct ScannedNumber {
  bool negative = false;
  std::uint64_t magnitude = 0;
  bool overflow = false;
};
ScannedNumber ScanNumber(std::string_view text);
// ScanNumber pinned to the type: a number beyond its range gives its largest (or
// smallest) value, never a wrapped one.
std::int32_t ParseInt32(std::string_view text);
std::int64_t ParseInt64(std::string_view text);

// printf into a string that grows to fit the whole text (no fixed buffer, nothing cut).
std::string Printf(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string VPrintf(const char* format, std::va_list args) __attribute__((format(printf, 1, 0)));

}  // namespace platform
