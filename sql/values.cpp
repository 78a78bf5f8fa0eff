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

std::int32_t SqlAtoi(std::string_view text) { return platform::ParseInt32(text); }

std::uint64_t SqlIdValue(std::string_view text) {
  constexpr std::uint64_t kBeyond = std::numeric_limits<std::uint64_t>::max();
  const platform::ScannedNumber n = platform::ScanNumber(text);
  if (n.overflow) return kBeyond;
  if (!n.negative) return n.magnitude;
  // A signed 64-bit reading holds down to -2^63.
  if (n.magnitude > (std::uint64_t(1) << 63)) return kBeyond;
  return 0 - n.magnitude;
}

std::string_view FormatInt(std::int64_t value, std::string& out) {
  char buf[24];
  const auto result = std::to_chars(buf, buf + sizeof buf, value);
  out.assign(buf, result.ptr);
  return out;
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
  return platform::CompareBytes(a, b);
}

}  // namespace sql
