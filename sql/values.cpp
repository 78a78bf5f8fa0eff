// Values: number reading and text comparison rules (see values.h).
#include "sql/values.h"

#include <charconv>
#include <cstring>
#include <limits>

#include "platform/text/text.h"

namespace sql {

namespace {

inline unsigned char Fold(char c) {
  return static_cast<unsigned char>((c >= 'A' && c <= 'Z') ? c - 'A' + 'a' : c);
}

}  // namespace

std::int32_t SqlAtoi(std::string_view text) {
  std::size_t i = 0;
  const std::size_t n = text.size();
  while (i < n && platform::IsWhiteSpace(text[i])) ++i;
  bool negative = false;
  if (i < n && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  // Accumulate as a negative number: its range includes INT32_MIN.
  constexpr std::int64_t kMin = std::numeric_limits<std::int32_t>::min();
  constexpr std::int64_t kMax = std::numeric_limits<std::int32_t>::max();
  std::int64_t value = 0;
  for (; i < n && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value * 10 - (text[i] - '0');
    if (value < kMin) {
      value = kMin;
      // Skip the remaining digits; the result is pinned.
      break;
    }
  }
  if (negative) return static_cast<std::int32_t>(value);
  const std::int64_t positive = -value;
  return static_cast<std::int32_t>(positive > kMax ? kMax : positive);
}

std::uint64_t SqlIdValue(std::string_view text) {
  constexpr std::uint64_t kBeyond = std::numeric_limits<std::uint64_t>::max();
  std::size_t i = 0;
  const std::size_t n = text.size();
  while (i < n && platform::IsWhiteSpace(text[i])) ++i;
  bool negative = false;
  if (i < n && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  std::uint64_t value = 0;
  for (; i < n && text[i] >= '0' && text[i] <= '9'; ++i) {
    const auto digit = static_cast<std::uint64_t>(text[i] - '0');
    if (value > (kBeyond - digit) / 10) return kBeyond;
    value = value * 10 + digit;
  }
  if (!negative) return value;
  // A signed 64-bit reading holds down to -2^63.
  if (value > (std::uint64_t(1) << 63)) return kBeyond;
  return 0 - value;
}

std::string_view FormatInt(std::int64_t value, std::string& out) {
  char buf[24];
  const auto result = std::to_chars(buf, buf + sizeof buf, value);
  out.assign(buf, result.ptr);
  return out;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (Fold(a[i]) != Fold(b[i])) return false;
  return true;
}

bool ContainsLowered(std::string_view hay, std::string_view needle) {
  const std::size_t m = needle.size();
  if (m == 0) return true;
  if (m > hay.size()) return false;
  const unsigned char first = static_cast<unsigned char>(needle[0]);
  const bool firstIsLetter = first >= 'a' && first <= 'z';
  const unsigned char firstUpper = firstIsLetter ? static_cast<unsigned char>(first - 'a' + 'A') : first;
  const std::size_t last = hay.size() - m;
  const char* h = hay.data();
  for (std::size_t i = 0; i <= last; ++i) {
    const unsigned char c = static_cast<unsigned char>(h[i]);
    if (c != first && c != firstUpper) continue;
    std::size_t j = 1;
    while (j < m && Fold(h[i + j]) == static_cast<unsigned char>(needle[j])) ++j;
    if (j == m) return true;
  }
  return false;
}

void LowerInto(std::string_view text, std::string& out) {
  out.resize(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) out[i] = static_cast<char>(Fold(text[i]));
}

bool IsDigitString(std::string_view text) {
  for (char c : text)
    if (c < '0' || c > '9') return false;
  return true;
}

int CompareDigitStrings(std::string_view a, std::string_view b) {
  while (!a.empty() && a.front() == '0') a.remove_prefix(1);
  while (!b.empty() && b.front() == '0') b.remove_prefix(1);
  if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
  return CompareText(a, b);
}

int CompareText(std::string_view a, std::string_view b) {
  const std::size_t n = a.size() < b.size() ? a.size() : b.size();
  if (n != 0) {
    const int r = std::memcmp(a.data(), b.data(), n);
    if (r != 0) return r < 0 ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

}  // namespace sql
