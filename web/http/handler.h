// Request handlers. The server offers each request to the handler with the longest
// prefix that the URL begins with (the earlier one on a tie); Handle answers it on the
// connection, or throws HttpException / FileException for the server's error page.
#pragma once

#include <string>
#include <string_view>

namespace web {

class Connection;
class HttpException;
class HttpRequest;
class HttpServer;

class Handler {
 public:
  // The empty prefix: the handler of every URL that no other handler claims.
  explicit Handler(HttpServer* server) : server_(server) {}
  // The prefix "/" + name + "/" ("stream" gives "/stream/").
  Handler(HttpServer* server, std::string_view name);
  virtual ~Handler() = default;

  virtual const std::string& GetPrefix() const { return prefix_; }
  // Runs on the connection's own thread; handlers are shared by all connections.
  virtual void Handle(const HttpRequest& request, Connection& connection) = 0;
  // The prefix's length when the URL begins with it (bytes, case-sensitive), else -1.
  virtual int Score(const HttpRequest& request) const;

  HttpServer* server() const { return server_; }

 private:
  HttpServer* server_;
  std::string prefix_;
};

// Writes the error pages of the server.
class HandlerError : public Handler {
 public:
  explicit HandlerError(HttpServer* server) : Handler(server) {}
  void Handle(const HttpRequest&, Connection&) override {}
  // The page of ErrorPageText; a peer that has gone ends it silently.
  void WriteErrorPage(Connection& connection, const HttpException& error) const;
};

}  // namespace web
