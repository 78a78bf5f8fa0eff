#include "platform/text/text.h"

#include <cstdio>
#include <cstring>
#include <limits>

namespace platform {

std::string ToLowerAscii(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = ToLowerAscii(c);
  return out;
}

std::string ToUpperAscii(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = ToUpperAscii(c);
  return out;
}

int CompareBytes(std::string_view a, std::string_view b) {
  const std::size_t n = a.size() < b.size() ? a.size() : b.size();
  if (n != 0) {
    const int r = std::memcmp(a.data(), b.data(), n);
    if (r != 0) return r < 0 ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

int CompareNoCase(std::string_view a, std::string_view b) {
  const std::size_t n = a.size() < b.size() ? a.size() : b.size();
  for (std::size_t i = 0; i < n; ++i) {
    const unsigned char x = static_cast<unsigned char>(ToLowerAscii(a[i]));
    const unsigned char y = static_cast<unsigned char>(ToLowerAscii(b[i]));
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && CompareNoCase(a, b) == 0;
}

bool StartsWithNoCase(std::string_view s, std::string_view prefix) {
  return s.size() >= prefix.size() && EqualsNoCase(s.substr(0, prefix.size()), prefix);
}

bool NameLess(std::string_view a, std::string_view b) {
  const int c = CompareNoCase(a, b);
  return c != 0 ? c < 0 : CompareBytes(a, b) < 0;
}

int CompareNatural(std::string_view a, std::string_view b) {
  const auto digit = [](char c) { return c >= '0' && c <= '9'; };
  int zeros = 0;  // the first difference in leading zeros of equal numbers
  std::size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    if (digit(a[i]) && digit(b[j])) {
      const std::size_t ai = i, bj = j;
      while (i < a.size() && a[i] == '0') ++i;
      while (j < b.size() && b[j] == '0') ++j;
      const std::size_t as = i, bs = j;
      while (i < a.size() && digit(a[i])) ++i;
      while (j < b.size() && digit(b[j])) ++j;
      // Without leading zeros the longer run is the larger number, however long.
      if (i - as != j - bs) return i - as < j - bs ? -1 : 1;
      if (const int c = a.substr(as, i - as).compare(b.substr(bs, j - bs)); c != 0) return c < 0 ? -1 : 1;
      if (zeros == 0 && as - ai != bs - bj) zeros = as - ai < bs - bj ? -1 : 1;
      continue;
    }
    const unsigned char x = static_cast<unsigned char>(ToLowerAscii(a[i]));
    const unsigned char y = static_cast<unsigned char>(ToLowerAscii(b[j]));
    if (x != y) return x < y ? -1 : 1;
    ++i;
    ++j;
  }
  if (i < a.size() || j < b.size()) return i < a.size() ? 1 : -1;
  if (zeros != 0) return zeros;
  return NameLess(a, b) ? -1 : NameLess(b, a) ? 1 : 0;
}

std::size_t FindNoCase(std::string_view hay, std::string_view needle) {
  if (needle.empty()) return 0;
  if (needle.size() > hay.size()) return std::string_view::npos;
  for (std::size_t i = 0; i + needle.size() <= hay.size(); ++i) {
    if (EqualsNoCase(hay.substr(i, needle.size()), needle)) return i;
  }
  return std::string_view::npos;
}

std::size_t Utf8CharLength(std::string_view s, std::size_t at, char32_t* codePoint) {
  if (at >= s.size()) return 0;
  const unsigned char c = static_cast<unsigned char>(s[at]);
  if (c < 0x80) {
    if (codePoint != nullptr) *codePoint = c;
    return 1;
  }
  std::size_t need = 0;
  char32_t cp = 0, min = 0;
  if ((c & 0xE0) == 0xC0) {
    need = 1, cp = c & 0x1F, min = 0x80;
  } else if ((c & 0xF0) == 0xE0) {
    need = 2, cp = c & 0x0F, min = 0x800;
  } else if ((c & 0xF8) == 0xF0) {
    need = 3, cp = c & 0x07, min = 0x10000;
  } else {
    return 0;
  }
  if (need >= s.size() - at) return 0;  // cut short
  for (std::size_t k = 1; k <= need; ++k) {
    const unsigned char cc = static_cast<unsigned char>(s[at + k]);
    if ((cc & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (cc & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  if (codePoint != nullptr) *codePoint = cp;
  return need + 1;
}

bool IsValidUtf8(std::string_view s) {
  for (std::size_t i = 0; i < s.size();) {
    const std::size_t n = Utf8CharLength(s, i);
    if (n == 0) return false;
    i += n;
  }
  return true;
}

std::size_t Utf8PrefixLength(std::string_view s, std::size_t maxBytes) {
  if (s.size() <= maxBytes) return s.size();
  std::size_t n = maxBytes;
  // Step back over continuation bytes to the lead byte of the character at the cut.
  std::size_t lead = n;
  while (lead > 0 && (static_cast<unsigned char>(s[lead]) & 0xC0) == 0x80 && n - lead < 3) --lead;
  if ((static_cast<unsigned char>(s[lead]) & 0xC0) == 0x80) return n;  // not UTF-8: cut bytes as they are
  return lead;
}

void CopyToField(char* field, std::size_t capacity, std::string_view s) {
  if (capacity == 0) return;
  const std::size_t n = Utf8PrefixLength(s, capacity - 1);
  std::memcpy(field, s.data(), n);
  field[n] = '\0';
}

std::string_view ReadField(const char* field, std::size_t capacity) {
  const void* nul = std::memchr(field, 0, capacity);
  return std::string_view(field, nul ? static_cast<const char*>(nul) - field : capacity);
}

std::string BlankControls(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = ' ';
  }
  return out;
}

std::string ReplaceAll(std::string_view s, std::string_view from, std::string_view to) {
  if (from.empty()) return std::string(s);
  std::string out;
  out.reserve(s.size());
  std::size_t pos = 0;
  for (;;) {
    const std::size_t hit = s.find(from, pos);
    if (hit == std::string_view::npos) break;
    out.append(s.substr(pos, hit - pos));
    out.append(to);
    pos = hit + from.size();
  }
  out.append(s.substr(pos));
  return out;
}

std::string_view TrimView(std::string_view s) {
  while (!s.empty() && IsWhiteSpace(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsWhiteSpace(s.back())) s.remove_suffix(1);
  return s;
}

std::string Trim(std::string_view s) { return std::string(TrimView(s)); }

std::vector<std::string_view> SplitKeepingEmpty(std::string_view text, char separator) {
  std::vector<std::string_view> pieces;
  std::size_t start = 0;
  std::size_t from = 0;
  for (;;) {
    const std::size_t at = text.find(separator, from);
    if (at == std::string_view::npos) break;
    pieces.push_back(text.substr(start, at - start));
    start = at + 1;
    from = at + 2;  // the character right after a separator is never one itself
  }
  pieces.push_back(text.substr(start));
  return pieces;
}

std::vector<std::string_view> SplitDroppingEmpty(std::string_view text, std::string_view delimiters) {
  std::vector<std::string_view> pieces;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find_first_of(delimiters, start);
    if (end == std::string_view::npos) end = text.size();
    if (end > start) pieces.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return pieces;
}

ScannedNumber ScanNumber(std::string_view text) {
  ScannedNumber n;
  std::size_t i = 0;
  while (i < text.size() && IsWhiteSpace(text[i])) ++i;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) n.negative = text[i++] == '-';
  constexpr std::uint64_t kMax = UINT64_MAX;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    const auto digit = static_cast<std::uint64_t>(text[i] - '0');
    if (n.magnitude > (kMax - digit) / 10) {
      n.magnitude = kMax;
      n.overflow = true;
      break;
    }
    n.magnitude = n.magnitude * 10 + digit;
  }
  return n;
}

namespace {

template <typename Int>
Int Pinned(std::string_view text) {
  const ScannedNumber n = ScanNumber(text);
  // The smallest value's magnitude is one more than the largest value.
  const auto largest = static_cast<std::uint64_t>(std::numeric_limits<Int>::max());
  if (n.negative) {
    if (n.magnitude > largest) return std::numeric_limits<Int>::min();
    return static_cast<Int>(-static_cast<Int>(n.magnitude));
  }
  return n.magnitude > largest ? std::numeric_limits<Int>::max() : static_cast<Int>(n.magnitude);
}

}  // namespace

std::int32_t ParseInt32(std::string_view text) { return Pinned<std::int32_t>(text); }
std::int64_t ParseInt64(std::string_view text) { return Pinned<std::int64_t>(text); }

std::string Printf(const char* format, ...) {
  std::va_list args;
  va_start(args, format);
  std::string text = VPrintf(format, args);
  va_end(args);
  return text;
}

std::string VPrintf(const char* format, std::va_list args) {
  std::va_list again;
  va_copy(again, args);
  const int n = std::vsnprintf(nullptr, 0, format, args);
  std::string text;
  if (n > 0) {
    text.resize(static_cast<std::size_t>(n));
    std::vsnprintf(text.data(), text.size() + 1, format, again);
  }
  va_end(again);
  return text;
}

}  // namespace platform
