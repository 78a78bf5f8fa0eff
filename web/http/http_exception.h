// The two failures a request handler reports to the server.
//
// HttpException: the request is answered with the error page (status line, the extra
// header lines, then an HTML body with the message). Status 200 gives an ordinary page.
// FileException: a file the handler serves failed, or the peer went away while the
// answer was written.
#pragma once

#include <cstdint>
#include <exception>
#include <stdexcept>
#include <string>
#include <string_view>

namespace web {

class HttpException : public std::exception {
 public:
  // `extraHeaders` is written verbatim between the status lines and the blank line, so
  // each of its lines carries its own "\r\n"; `message` is HTML and is not escaped.
  explicit HttpException(int status, std::string extraHeaders = {}, std::string message = {})
      : status_(status), extraHeaders_(std::move(extraHeaders)), message_(std::move(message)) {}

  int status() const noexcept { return status_; }
  const std::string& extraHeaders() const noexcept { return extraHeaders_; }
  const std::string& message() const noexcept { return message_; }
  const char* what() const noexcept override { return message_.c_str(); }

 private:
  int status_;
  std::string extraHeaders_;
  std::string message_;
};

// The 500 page for a device error: "500: Server Error<br><br>Code: 0x%X<br>Source: %s<br>
// Detail: %s". Source and detail come from the device and are HTML-escaped.
HttpException DeviceErrorException(std::uint32_t code, std::string_view source, std::string_view detail);

class FileException : public std::runtime_error {
 public:
  enum class Cause {
    Generic,       // answered 500 "Request handler could not find file."
    FileNotFound,  // answered 404 with the same message
    PeerGone,      // the peer closed, reset or stopped reading: the request ends silently
  };
  FileException(Cause cause, const std::string& what) : std::runtime_error(what), cause_(cause) {}
  Cause cause() const noexcept { return cause_; }

 private:
  Cause cause_;
};

}  // namespace web
