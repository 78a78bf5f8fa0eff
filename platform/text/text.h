// Text rules shared by every layer: text is bytes (UTF-8 standing for the ANSI code page),
// case folding is ASCII only, and copies into fixed-size fields never split a UTF-8
// sequence nor read past a field's capacity.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

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
// The order of names in lists: case aside, and names apart only by case in byte order, so
// a sorted list does not depend on the order the names came in.
bool NameLess(std::string_view a, std::string_view b);
// Position of `needle` in `hay` ignoring ASCII case, or npos.
std::size_t FindNoCase(std::string_view hay, std::string_view needle);

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

// White space: blank, tab, LF, vertical tab, form feed and CR (ASCII only).
inline bool IsWhiteSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
// Without the white space at both ends. Every trim of the system is this one.
std::string_view TrimView(std::string_view s);
std::string Trim(std::string_view s);

}  // namespace platform
