#include "web/http_exception.h"

#include <cstdio>

#include "web/escape.h"

namespace web {

std::string EscapeHtmlText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      default: out.push_back(c);
    }
  }
  return out;
}

}  // namespace web

HttpException DeviceErrorException(std::uint32_t code, std::string_view source, std::string_view detail) {
  char head[64];
  std::snprintf(head, sizeof head, "500: Server Error<br><br>Code: 0x%X<br>Source: ", code);
  std::string message = head;
  message += web::EscapeHtmlText(source);
  message += "<br>Detail: ";
  message += web::EscapeHtmlText(detail);
  return HttpException(500, {}, std::move(message));
}
