// UTF-8 <-> UTF-16 for SDK strings; the clock property's fields.
#include "platform/vendorsdk/vendorsdk.h"

namespace platform {

SdkString Utf8ToSdkString(std::string_view s) {
  SdkString out;
  out.reserve(s.size());
  std::size_t i = 0;
  while (i < s.size()) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    char32_t cp = 0xFFFD;
    std::size_t len = 1;
    if (c < 0x80) {
      cp = c;
    } else {
      std::size_t need = 0;
      char32_t min = 0;
      if ((c & 0xE0) == 0xC0) { need = 1; cp = c & 0x1F; min = 0x80; }
      else if ((c & 0xF0) == 0xE0) { need = 2; cp = c & 0x0F; min = 0x800; }
      else if ((c & 0xF8) == 0xF0) { need = 3; cp = c & 0x07; min = 0x10000; }
      bool ok = need > 0;
      for (std::size_t k = 1; ok && k <= need; ++k) {
        if (i + k >= s.size()) { ok = false; break; }
        const unsigned char cc = static_cast<unsigned char>(s[i + k]);
        if ((cc & 0xC0) != 0x80) { ok = false; break; }
        cp = (cp << 6) | (cc & 0x3F);
      }
      if (ok && (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))) ok = false;
      if (ok) {
        len = need + 1;
      } else {
        cp = 0xFFFD;
        // Skip the lead byte and any continuation bytes that belong to it.
        len = 1;
        while (i + len < s.size() && len < 4 &&
               (static_cast<unsigned char>(s[i + len]) & 0xC0) == 0x80) {
          ++len;
        }
      }
    }
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(cp));
    }
    i += len;
  }
  return out;
}

SdkString RewriteName(std::string_view name) {
  SdkString marked = u" " + Utf8ToSdkString(name);
  if (marked.size() > kSdkMaxNameLength) {
    marked.resize(kSdkMaxNameLength);
    // Never half a surrogate pair.
    if (marked.back() >= 0xD800 && marked.back() <= 0xDBFF) marked.pop_back();
  }
  return marked;
}

bool IsRewriteName(std::u16string_view name, SdkString* original) {
  if (name.size() < 2 || name[0] != u' ' || name[1] == u' ') return false;
  if (original != nullptr) original->assign(name.substr(1));
  return true;
}

bool IsReplacedByRewrite(std::u16string_view other, std::u16string_view rewrite) {
  SdkString original;
  if (!IsRewriteName(rewrite, &original) || IsRewriteName(other)) return false;
  if (other == original) return true;
  return rewrite.size() == kSdkMaxNameLength && other.substr(0, original.size()) == original;
}

std::string SdkStringToUtf8(std::u16string_view s) {
  std::string out;
  out.reserve(s.size());
  for (std::size_t i = 0; i < s.size(); ++i) {
    char32_t cp = s[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 &&
        s[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (s[i + 1] - 0xDC00);
      ++i;
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      cp = 0xFFFD;  // a lone surrogate
    }
    if (cp < 0x80) {
      out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
  }
  return out;
}

void ClockFieldsFromTm(const std::tm& tm, std::int16_t fields[8]) {
  fields[0] = std::int16_t(tm.tm_year + 1900);
  fields[1] = std::int16_t(tm.tm_mon + 1);
  fields[2] = std::int16_t(tm.tm_mday);
  fields[3] = 0;
  fields[4] = std::int16_t(tm.tm_hour);
  fields[5] = std::int16_t(tm.tm_min);
  fields[6] = std::int16_t(tm.tm_sec);
  fields[7] = 0;
}

std::tm TmFromClockFields(const std::int16_t fields[8]) {
  std::tm tm{};
  tm.tm_year = fields[0] - 1900;
  tm.tm_mon = fields[1] - 1;
  tm.tm_mday = fields[2];
  tm.tm_hour = fields[4];
  tm.tm_min = fields[5];
  tm.tm_sec = fields[6];
  tm.tm_isdst = -1;
  return tm;
}

}  // namespace platform
