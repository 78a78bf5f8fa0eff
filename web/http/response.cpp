#include "web/http/response.h"

#include <errno.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/uio.h>

#include <chrono>
#include <cstdio>

#include "common/identity.h"
#include "common/version.h"
#include "web/http/http_exception.h"
#include "web/http/http_tables.h"

namespace web {

namespace {

constexpr std::size_t kSendBlock = 16 * 1024;

const std::string& ServerHeaderValue() {
  // The module's version is read from its file once; the identity is filled at start-up.
  static const std::string version = [] {
    std::string v;
    GetModuleVersion(v);
    return v;
  }();
  thread_local std::string cachedName;
  thread_local std::string cachedValue;
  if (cachedValue.empty() || cachedName != g_ProductIdentity.managerName) {
    cachedName = g_ProductIdentity.managerName;
    cachedValue = SanitizeHeaderValue(cachedName + " " + version);
  }
  return cachedValue;
}

}  // namespace

Connection::Connection(HttpServer* server, int fd, std::string peerAddress, std::string localAddress,
                       int localPort, int stallTimeoutMs)
    : server_(server),
      fd_(fd),
      peerAddress_(std::move(peerAddress)),
      localAddress_(std::move(localAddress)),
      localPort_(localPort),
      stallTimeoutMs_(stallTimeoutMs) {}

void Connection::Gone(const char* why) {
  gone_ = true;
  pending_.clear();
  throw FileException(FileException::Cause::PeerGone, why);
}

void Connection::Write(std::string_view bytes) {
  if (gone_) Gone("the peer has gone");
  if (pending_.size() + bytes.size() < kSendBlock) {
    pending_.append(bytes);
    return;
  }
  Send(pending_, bytes);
  pending_.clear();
}

void Connection::Flush() {
  if (gone_) Gone("the peer has gone");
  if (pending_.empty()) return;
  Send(pending_, {});
  pending_.clear();
}

void Connection::Send(std::string_view first, std::string_view second) {
  iovec parts[2] = {{const_cast<char*>(first.data()), first.size()},
                    {const_cast<char*>(second.data()), second.size()}};
  int index = first.empty() ? 1 : 0;
  while (index < 2) {
    msghdr msg{};
    msg.msg_iov = parts + index;
    msg.msg_iovlen = static_cast<std::size_t>(2 - index);
    const ssize_t n = sendmsg(fd_, &msg, MSG_NOSIGNAL);
    if (n < 0) {
      if (errno == EINTR) continue;
      if (errno != EAGAIN && errno != EWOULDBLOCK) Gone("the connection was closed or reset");
      pollfd p{fd_, POLLOUT, 0};
      int r;
      do {
        r = poll(&p, 1, stallTimeoutMs_);
      } while (r < 0 && errno == EINTR);
      if (r <= 0) Gone("the peer stopped reading");
      continue;
    }
    auto sent = static_cast<std::size_t>(n);
    while (index < 2 && sent >= parts[index].iov_len) {
      sent -= parts[index].iov_len;
      ++index;
    }
    if (index < 2) {
      parts[index].iov_base = static_cast<char*>(parts[index].iov_base) + sent;
      parts[index].iov_len -= sent;
    }
  }
}

void SocketWriteText(Connection& connection, std::string_view text) { connection.Write(text); }

std::string StatusLineText(int status) {
  char line[64];
  std::snprintf(line, sizeof line, "HTTP/1.1 %3d %s\r\n", status, HttpStatusText(status));
  std::string out = line;
  out += "Server: " + ServerHeaderValue() + "\r\n";
  out += "Date: " + HttpDateText(std::time(nullptr)) + " GMT\r\n";
  return out;
}

void WriteStatusLine(Connection& connection, int status) { SocketWriteText(connection, StatusLineText(status)); }

std::string WriteResponseHeaders(Connection& connection, int status, std::int64_t contentLength,
                                 int contentTypeCode, std::string_view attachmentName, std::int64_t rangeStart,
                                 std::int64_t rangeEnd, RangeOffer ranges) {
  std::string block = ResponseHeaderBlock(contentLength, contentTypeCode, attachmentName, rangeStart,
                                          std::time(nullptr), rangeEnd, ranges);
  WriteStatusLine(connection, status);
  SocketWriteText(connection, block);
  return block;
}

std::string ErrorPageText(const HttpException& error) {
  std::string page = StatusLineText(error.status());
  page += std::string("Content-Type: ") + ContentTypeForCode(kContentHtml) + "\r\n";
  page += error.extraHeaders();
  page += "\r\n<html><title>";
  page += g_ProductIdentity.webServerName;
  page += "</title><body>";
  page += error.message();
  // A mistyped address leads somewhere useful.
  if (error.status() == 404) page += "<p><a href=\"/\">Back to the overview</a></p>";
  page += "</body></html>\r\n";
  return page;
}

}  // namespace web
