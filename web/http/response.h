// The answer side of a request: the connection a handler writes to, and the writers of
// status lines, response headers and error pages.
//
// Every answer closes its connection ("Connection: close") and is never cached. Texts that
// come from requests or devices never split a header: control characters are dropped from
// the values the writers put into header lines.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>

namespace web {

class HttpException;
class HttpServer;

// One accepted connection, as its handler sees it. Writes are collected and sent in
// blocks (at least every 16 KiB, and when the request ends); a write that makes no
// progress for the server's idle time-out, or meets a peer that has closed or reset the
// connection, throws FileException with cause PeerGone, and so does every later write.
// Writing never raises SIGPIPE.
class Connection {
 public:
  Connection(HttpServer* server, int fd, std::string peerAddress, std::string localAddress, int localPort,
             int stallTimeoutMs);
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  void Write(std::string_view bytes);
  // Sends what has been collected now (a handler that waits between blocks calls it
  // before waiting).
  void Flush();

  HttpServer* server() const { return server_; }
  const std::string& peerAddress() const { return peerAddress_; }
  const std::string& localAddress() const { return localAddress_; }
  int localPort() const { return localPort_; }
  bool peerGone() const { return gone_; }

 private:
  void Send(std::string_view first, std::string_view second);
  [[noreturn]] void Gone(const char* why);

  HttpServer* server_;
  int fd_;
  std::string peerAddress_;
  std::string localAddress_;
  int localPort_;
  int stallTimeoutMs_;
  std::string pending_;
  bool gone_ = false;
};

// Writes the text's bytes to the connection; FileException (PeerGone) when the peer has gone.
void SocketWriteText(Connection& connection, std::string_view text);

// "Sun, 06 Nov 1994 08:49:37" (UTC, English names whatever the locale); the writers
// append " GMT".
std::string HttpDateText(std::time_t when);

// The three lines every answer begins with: "HTTP/1.1 %3d %s", "Server: " + manager name
// + " " + version, "Date: ... GMT".
std::string StatusLineText(int status);
void WriteStatusLine(Connection& connection, int status);

// Whether an answer offers byte ranges to its reader ("Accept-Ranges: bytes"): streams do,
// so that a player knows it may seek.
enum class RangeOffer { None, Bytes };

// The header block of a successful answer, after the status lines, up to and including
// the blank line; never longer than 1024 bytes (a long attachment name is shortened on a
// character boundary). Content-Length is sent when `contentLength` is not 0: the length
// itself for range start 0 without a range end; for a range (a start above 0, or a
// `rangeEnd` of 0 or more: the last byte sent) the range's length with "Content-Range:
// bytes start-end/length". An attachment name (control characters and, inside the quoted
// file name, quotes and backslashes removed) adds Content-Disposition and the three
// stream-name headers. HttpException 500 when the range lies outside the content.
std::string ResponseHeaderBlock(std::int64_t contentLength, int contentTypeCode, std::string_view attachmentName,
                                std::int64_t rangeStart, std::time_t now, std::int64_t rangeEnd = -1,
                                RangeOffer ranges = RangeOffer::None);

// WriteStatusLine, then the header block of the current time; answers the block.
std::string WriteResponseHeaders(Connection& connection, int status, std::int64_t contentLength,
                                 int contentTypeCode, std::string_view attachmentName = {},
                                 std::int64_t rangeStart = 0, std::int64_t rangeEnd = -1,
                                 RangeOffer ranges = RangeOffer::None);

// The whole error page: status lines, "Content-Type: text/html", the exception's extra
// headers, the blank line, then "<html><title>" + web server name + "</title><body>" +
// message + "</body></html>\r\n"; a 404 page adds a link back to the overview ("/")
// after the message.
std::string ErrorPageText(const HttpException& error);

// The value without CR, LF and other control characters (tab included).
std::string SanitizeHeaderValue(std::string_view value);

}  // namespace web
