// The manager's HTTP server: one request per connection. One event loop (epoll) accepts
// connections and reads their heads (up to the first "\r\n\r\n", at most 16 KiB), so a
// peer that sends slowly holds no thread; each complete head goes to a pool of workers
// (waiting briefly, in arrival order, when every worker is busy), which parse it, refuse blocked or unauthenticated remote peers, log it and hand it to
// the registered handler with the longest matching prefix. Any error becomes the error
// page; the connection is then closed (what the peer still sends is read away by the
// event loop).
//
// Settings (DWORD, product key, read for every request): VX_BlockRemote,
// VX_RequireAuthentication, VX_LogLocal, VX_LogRemote, VX_LogPages. Basic credentials are
// decoded strictly (BasicCredentials); a refused request is logged too, its line followed
// by its status. The password list
// "httpauth.txt" lies in the folder of `Gen_AppDataDir` and is read by Start; the request
// log "httplog.html" lies in the folder named by the key's default value.
#pragma once

#include <cstddef>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "web/http/handler.h"
#include "web/http/http_exception.h"
#include "web/http/http_request.h"
#include "web/http/response.h"

namespace web {

// Limits on what a client controls; SetLimits takes effect at the next Start.
struct HttpServerLimits {
  std::size_t maxWorkers = 64;            // threads answering complete requests; one beyond them waits
  int workerWaitMs = 250;                 // for a worker, in arrival order; unserved by then, it gets 503
  std::size_t maxPerPeer = 32;            // connections of one peer address being read or answered (answered
                                          // ones still closing do not count); beyond them, the peer's oldest
                                          // head arriving for slowHeadMs makes room, else 503
  int slowHeadMs = 1000;                  // see maxPerPeer
  std::size_t maxOpen = 10000;            // connections open at once (also bounded by the descriptor limit)
  std::size_t maxHeadBytes = 16 * 1024;   // a longer head gets 400
  int idleTimeoutMs = 30000;              // nothing received, or nothing taken by the peer, for this long
  int headTimeoutMs = 60000;              // the whole head must arrive within this
  int lingerMs = 2000;                    // reading away what a peer still sends after its answer
};

class HttpServer {
 public:
  // Turns an exception the server does not know (the device client's, for one) into the
  // error page to send; nullopt leaves the default, 500 with an empty message.
  using ErrorMapper = std::function<std::optional<HttpException>(std::exception_ptr)>;

  // No handlers yet, not listening. What the handlers answer from is theirs to hold.
  HttpServer();
  // Stops listening, cuts the open connections and waits for the workers.
  ~HttpServer();
  HttpServer(const HttpServer&) = delete;
  HttpServer& operator=(const HttpServer&) = delete;

  // Reads the password list, then listens on the port on every IPv4 address.
  // False when the port cannot be bound. Port 0 takes a free port (see port()). Stops a
  // running listener first; may be called again after Stop.
  bool Start(int port);
  // Closes the listening socket and the connections whose heads are still arriving;
  // requests being answered finish on their workers. Harmless
  // when not listening.
  void Stop();

  // Appends a handler; the list keeps the order. Handlers live as long as the server.
  void AddHandler(std::unique_ptr<Handler> handler);
  // The handler with the longest prefix the request's URL begins with, the earlier one on
  // a tie; HttpException 404 when none matches.
  Handler* FindHandler(const HttpRequest& request) const;

  // The port listened on (the one chosen for port 0); 0 when not listening.
  int port() const;

  void SetLimits(const HttpServerLimits& limits);
  void SetErrorMapper(ErrorMapper mapper);

 private:
  struct Core;     // the workers and what every session shares (http_server.cpp)
  struct Session;  // one listening socket and its event loop, from Start to Stop
  struct Job;      // a complete head on its connection, for a worker
  void Serve(Job& job);
  // Answers one head; true when the peer may still be sending (a body, a second request).
  bool ProcessRequest(Connection& connection, std::string_view head);
  void CheckAccess(const HttpRequest& request, bool local, std::string& user) const;
  // One line of the request log; a refused request's line ends with its status.
  void LogRequest(const HttpRequest& request, const std::string& peer, bool local, const std::string& user,
                  int refusedStatus = 0) const;
  void LoadPasswords();

  std::shared_ptr<Core> core_;
};

}  // namespace web
