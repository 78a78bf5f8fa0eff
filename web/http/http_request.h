// One request head, parsed. The parser trusts nothing in the text: a malformed line, a
// NUL or control character where none belongs, or a path that decodes to one is an
// HttpException 400; a method outside the table is 405.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace web {

// "%XX" becomes its byte; a "%" not followed by two hex digits stays as it is.
std::string PercentDecode(std::string_view s);

class HttpRequest {
 public:
  using HeaderMap = std::map<std::string, std::string, std::less<>>;

  // Parses a whole head: the request line, header lines and the blank line, ending in
  // "\r\n\r\n". Lines end at each CR; the LF after it is trimmed away.
  void Parse(std::string_view head);
  // "METHOD URL HTTP/x.y", three pieces split at single blanks.
  void ParseRequestLine(std::string_view line);
  // "Name: value": name lower-cased, both trimmed; a repeated name replaces the earlier
  // value; a line without ":" is ignored.
  void ParseHeaderLine(std::string_view line);

  int method() const { return method_; }        // kHttpGet ... (http_tables.h)
  const std::string& url() const { return url_; }  // canonical: decoded, dot segments resolved
  // The query as sent (after "?"), not decoded: "&" and "=" inside values are still
  // escaped, so the fields split where the sender meant.
  const std::string& rawQuery() const { return rawQuery_; }
  float version() const { return version_; }
  const HeaderMap& headers() const { return headers_; }
  // The value of the header of that lower-case name, or nullptr.
  const std::string* Header(std::string_view lowerName) const;

  // Whether the browser marks the request as sent by a page of another site
  // ("Sec-Fetch-Site: cross-site"): such a request may read pages, never change the player.
  bool IsCrossSite() const;

  // The head as received, for answering TRACE, without Authorization and
  // Proxy-Authorization lines: credentials are never sent back.
  std::string TraceEcho() const;

  // The connection's own address and port, set by the server.
  const std::string& localAddress() const { return localAddress_; }
  int localPort() const { return localPort_; }
  void SetLocal(std::string address, int port) {
    localAddress_ = std::move(address);
    localPort_ = port;
  }

 private:
  HeaderMap headers_;
  int method_ = 0;
  std::string url_;
  std::string rawQuery_;
  float version_ = 0;
  std::string raw_;
  std::string localAddress_;
  int localPort_ = 0;
};

// The credentials of an Authorization header value: exactly "Basic", one blank, then
// canonical Base64 (the standard alphabet, whole quads, "=" padding only at the end, no
// bits after the last byte), decoded. nullopt for anything else, so that a lenient reading
// never accepts what a strict one would refuse.
std::optional<std::string> BasicCredentials(std::string_view authorization);

// The URL as the handlers see it: the path percent-decoded, "\" taken as "/", "." and
// ".." segments resolved (never above the root); the query ("?" on) percent-decoded.
// HttpException 400 when the URL does not begin with "/", when the path holds a NUL or
// other control character once decoded, or when the query decodes to a NUL.
std::string CanonicalizeUrl(std::string_view url);

}  // namespace web
