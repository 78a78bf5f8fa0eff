// libFuzzer target: request heads through the parser, the same bytes as an Authorization
// value through the credentials decoder and as an attachment name through the header
// writer. Any input must end in a parsed request or a 400/405, and what comes out must
// keep the promises the handlers and the access check rely on.
#include <nettle/base64.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "web/http/http_exception.h"
#include "web/http/http_request.h"
#include "web/http/http_tables.h"
#include "web/http/response.h"

using namespace web;

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

bool IsControl(char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7f; }

void CheckRequest(const HttpRequest& request, std::string_view head) {
  Check(request.method() >= kHttpGet && request.method() <= kHttpTrace);
  Check(request.version() > 0);
  const std::string& url = request.url();
  Check(!url.empty() && url.front() == '/');
  Check(url.find('\0') == std::string::npos);
  const std::string path = url.substr(0, url.find('?'));
  for (char c : path) Check(!IsControl(c) && c != '\\');
  Check(path.find("/../") == std::string::npos && path.find("/./") == std::string::npos);
  Check(!path.ends_with("/..") && !path.ends_with("/."));
  for (const auto& [name, value] : request.headers()) {
    for (char c : name) Check((c < 'A' || c > 'Z') && (!IsControl(c) || c == '\t'));
    for (char c : value) Check(!IsControl(c) || c == '\t');
  }
  const std::string echo = request.TraceEcho();
  Check(echo.size() <= head.size());
  Check(echo.ends_with("\r\n\r\n"));
  // No line of the echo is an Authorization header.
  std::size_t start = 0;
  while (start < echo.size()) {
    std::size_t end = echo.find('\r', start);
    if (end == std::string::npos) end = echo.size();
    const std::string line = echo.substr(start, end - start);
    const std::size_t colon = line.find(':');
    if (start > 0 && colon != std::string::npos) {
      // The name as the parser takes it: trimmed at both ends, lower-cased.
      std::string name = line.substr(0, colon);
      name.erase(0, name.find_first_not_of(" \t\n"));
      name.erase(name.find_last_not_of(" \t\n") + 1);
      for (char& c : name) c = c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
      Check(name != "authorization" && name != "proxy-authorization");
    }
    start = end + 1;
  }
}

// Decoded credentials have exactly one encoding, the one they were read from.
void CheckCredentials(std::string_view value) {
  const std::optional<std::string> credentials = BasicCredentials(value);
  if (!credentials) return;
  Check(value.starts_with("Basic "));
  std::string encoded(BASE64_ENCODE_RAW_LENGTH(credentials->size()), '\0');
  base64_encode_raw(encoded.data(), credentials->size(), reinterpret_cast<const std::uint8_t*>(credentials->data()));
  Check(encoded == value.substr(6));
}

void CheckHeaderBlock(std::string_view name, std::int64_t length, std::int64_t start) {
  std::string block;
  try {
    block = ResponseHeaderBlock(length, static_cast<int>(length % 16), name, start, 0, -1,
                                name.size() % 2 ? RangeOffer::Bytes : RangeOffer::None);
  } catch (const HttpException& e) {
    Check(e.status() == 500 && (start < 0 || length < 0 || (length > 0 && start >= length)));
    return;
  }
  Check(block.size() <= 1024);
  Check(block.ends_with("Connection: close\r\n\r\n"));
  // Every header line is one line: the only CR and LF are the line ends.
  const std::string_view body(block.data(), block.size() - 2);
  std::size_t at = 0;
  while (at < body.size()) {
    const std::size_t end = body.find("\r\n", at);
    Check(end != std::string_view::npos);
    for (char c : body.substr(at, end - at)) Check(!IsControl(c));
    at = end + 2;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);

  HttpRequest request;
  try {
    request.Parse(text);
    CheckRequest(request, text);
  } catch (const HttpException& e) {
    Check(e.status() == 400 || e.status() == 405);
    Check(e.extraHeaders().empty() && e.message().empty());
  }

  CheckCredentials(text);

  std::int64_t length = 0;
  std::int64_t start = 0;
  if (size >= 2) {
    length = static_cast<std::int64_t>(data[0]) * 977 - 1000;
    start = static_cast<std::int64_t>(data[1]) * 13 - 100;
  }
  CheckHeaderBlock(text, length, start);
  return 0;
}
