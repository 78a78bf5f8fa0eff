#include "web/http/http_exception.h"

#include <cstdio>

#include "common/escape.h"

namespace web {

HttpException DeviceErrorException(std::uint32_t code, std::string_view source, std::string_view detail) {
  char head[64];
  std::snprintf(head, sizeof head, "500: Server Error<br><br>Code: 0x%X<br>Source: ", code);
  std::string message = head;
  message += HtmlEscapeText(source);
  message += "<br>Detail: ";
  message += HtmlEscapeText(detail);
  return HttpException(500, {}, std::move(message));
}

}  // namespace web
