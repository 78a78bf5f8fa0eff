// The pure part of the response writers: header values, dates and the header block.
// Kept apart from the connection so that it has no dependency beyond the text rules.
#include <cstdio>

#include "platform/text/text.h"
#include "web/http/http_exception.h"
#include "web/http/http_tables.h"
#include "web/http/response.h"

namespace web {

namespace {

constexpr std::size_t kMaxHeaderBlock = 1024;

std::string AttachmentLines(std::string_view name) {
  std::string quoted;
  for (char c : name) {
    if (c != '"' && c != '\\') quoted.push_back(c);
  }
  std::string out;
  out += "Content-Disposition: attachment; filename=\"" + quoted + "\"\r\n";
  out += "icy-name:" + std::string(name) + "\r\n";
  out += "ice-name:" + std::string(name) + "\r\n";
  out += "x-audiocast-name:" + std::string(name) + "\r\n";
  return out;
}

}  // namespace

std::string HttpDateText(std::time_t when) {
  static constexpr const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                            "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  std::tm tm{};
  gmtime_r(&when, &tm);
  char text[64];
  std::snprintf(text, sizeof text, "%s, %02d %s %04d %02d:%02d:%02d", kDays[tm.tm_wday % 7], tm.tm_mday,
                kMonths[tm.tm_mon % 12], tm.tm_year + 1900, tm.tm_hour, tm.tm_min, tm.tm_sec);
  return text;
}

std::string ResponseHeaderBlock(std::int64_t contentLength, int contentTypeCode, std::string_view attachmentName,
                                std::int64_t rangeStart, std::time_t now, std::int64_t rangeEnd, RangeOffer ranges) {
  if (contentLength < 0 || rangeStart < 0 || (contentLength > 0 && rangeStart >= contentLength)) {
    throw HttpException(500);
  }
  if (rangeEnd >= 0 && (rangeEnd < rangeStart || rangeEnd >= contentLength)) throw HttpException(500);
  std::string block;
  block += "Last-Modified: " + HttpDateText(now) + " GMT\r\n";
  block += "Expires: Mon, 26 Jul 1997 05:00:00 GMT\r\n";
  block += std::string("Content-Type: ") + ContentTypeForCode(contentTypeCode) + "\r\n";
  if (contentLength != 0) {
    char line[128];
    if (rangeStart != 0 || rangeEnd >= 0) {
      // A requested range: its own length, and where it lies in the whole.
      const std::int64_t last = rangeEnd >= 0 ? rangeEnd : contentLength - 1;
      std::snprintf(line, sizeof line, "Content-Length: %lld\r\nContent-Range: bytes %lld-%lld/%lld\r\n",
                    static_cast<long long>(last - rangeStart + 1), static_cast<long long>(rangeStart),
                    static_cast<long long>(last), static_cast<long long>(contentLength));
    } else {
      std::snprintf(line, sizeof line, "Content-Length: %lld\r\n", static_cast<long long>(contentLength));
    }
    block += line;
  }
  if (ranges == RangeOffer::Bytes) block += "Accept-Ranges: bytes\r\n";
  block += "Pragma: no-cache\r\n";
  const std::string tail = "Connection: close\r\n\r\n";
  std::string name = SanitizeHeaderValue(attachmentName);
  if (!name.empty()) {
    const std::size_t room = kMaxHeaderBlock - block.size() - tail.size() - AttachmentLines("").size();
    name.resize(platform::Utf8PrefixLength(name, room / 4));
    block += AttachmentLines(name);
  }
  block += tail;
  return block;
}

std::string SanitizeHeaderValue(std::string_view value) {
  std::string out;
  out.reserve(value.size());
  for (char c : value) {
    const auto u = static_cast<unsigned char>(c);
    if (u >= 0x20 && u != 0x7f) out.push_back(c);
  }
  return out;
}

}  // namespace web
