#include "web/http_server.h"

#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <crypto++/base64.h>
#include <crypto++/filters.h>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <fstream>
#include <mutex>
#include <list>
#include <thread>

#include "common/folders.h"
#include "common/identity.h"
#include "common/settings.h"
#include "platform/paths/paths.h"
#include "platform/text/text.h"
#include "web/escape.h"
#include "web/http_tables.h"

namespace {

using Clock = std::chrono::steady_clock;

// Linux drops a connection that finds the accept queue full, and its peer retries only
// after a second; a browser opens several connections for one page at once.
constexpr int kBacklog = 64;
// An idle connection thread waits this long for the next connection before it ends.
constexpr auto kThreadKeepAlive = std::chrono::milliseconds(5000);
// Refused connections whose peers are still sending are read away by the listener, at
// most this many at once; beyond that they are closed at once.
constexpr std::size_t kMaxLingering = 64;
// What a lingering close reads away at most before it gives up.
constexpr std::size_t kMaxLingerBytes = 1 << 20;

std::string AddressText(const in_addr& address) {
  char text[INET_ADDRSTRLEN] = {};
  inet_ntop(AF_INET, &address, text, sizeof text);
  return text;
}

int Remaining(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left <= 0 ? 0 : static_cast<int>(std::min<long long>(left, 1 << 30));
}

int PollOne(int fd, short events, int timeoutMs) {
  pollfd p{fd, events, 0};
  for (;;) {
    const int r = poll(&p, 1, timeoutMs);
    if (r >= 0 || errno != EINTR) return r;
  }
}

// After an answer: send FIN, then read away what the peer still sends, so that the
// close does not turn into a reset that destroys the answer in the peer's buffers.
void LingeringClose(int fd, int lingerMs) {
  shutdown(fd, SHUT_WR);
  const auto deadline = Clock::now() + std::chrono::milliseconds(lingerMs);
  char scratch[4096];
  std::size_t total = 0;
  while (total < kMaxLingerBytes) {
    const ssize_t n = recv(fd, scratch, sizeof scratch, 0);
    if (n > 0) {
      total += static_cast<std::size_t>(n);
      continue;
    }
    if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) return;
    if (errno == EINTR) continue;
    const int left = Remaining(deadline);
    if (left == 0 || PollOne(fd, POLLIN, left) <= 0) return;
  }
}

bool PeerHasData(int fd) {
  char byte;
  return recv(fd, &byte, 1, MSG_PEEK | MSG_DONTWAIT) > 0;
}

std::string DecodeBase64(std::string_view text) {
  std::string decoded;
  CryptoPP::StringSource source(reinterpret_cast<const CryptoPP::byte*>(text.data()), text.size(), true,
                                new CryptoPP::Base64Decoder(new CryptoPP::StringSink(decoded)));
  return decoded;
}

// A log field: no control characters (one request is one line), HTML-escaped.
std::string LogField(std::string_view text) { return web::EscapeHtmlText(SanitizeHeaderValue(text)); }

std::string WindowsFile(std::string_view folder, std::string_view name) {
  std::string base;
  StripTrailingBackslash(base, folder);
  return base + "\\" + std::string(name);
}

}  // namespace

struct HttpServer::Accepted {
  int fd = -1;
  std::string peer;
};

// One listening socket, from Start to Stop. Connection threads accept on it themselves
// (each through its own epoll set, woken one at a time), so a connection never waits for
// a hand-over; the listener thread takes new connections only while every allowed
// connection thread is busy, to answer them 503.
struct HttpServer::Session {
  int listenFd = -1;
  int wakeFd = -1;                    // tells the listener to look again (saturation changed, Stop)
  HttpServerLimits limits;            // fixed for the session
  std::atomic<bool> stopping{false};
  std::atomic<std::size_t> idle{0};   // threads about to wait or waiting in accept
  std::condition_variable idleCv;     // idle fell to 0 while stopping (notified under Core::mu)
  std::thread listener;

  void Wake() const {
    const std::uint64_t one = 1;
    if (write(wakeFd, &one, sizeof one) < 0) {
      // The counter is far from overflowing; a failed write changes nothing.
    }
  }
};

struct HttpServer::Core {
  // The connection a thread serves, so that the server's end can cut it.
  struct Slot {
    std::mutex mu;
    int fd = -1;
  };

  std::mutex mu;                      // session, generation changes, slots, closing, limits, mapper
  std::condition_variable doneCv;     // a connection thread has ended
  std::shared_ptr<Session> session;
  std::atomic<std::uint64_t> generation{0};  // changes with session
  std::list<Slot> slots;
  std::atomic<bool> closing{false};
  HttpServerLimits limits;
  ErrorMapper mapper;

  std::atomic<std::size_t> threads{0};   // connection threads, busy or waiting in accept
  std::atomic<std::size_t> starting{0};  // started, not yet counted as waiting
  std::atomic<std::size_t> maxThreads{HttpServerLimits().maxConnections};

  std::mutex startMu;                 // Start and Stop
  int port = 0;

  mutable std::mutex handlersMu;
  std::vector<std::unique_ptr<Handler>> handlers;

  mutable std::mutex passwordsMu;
  std::shared_ptr<const std::vector<std::string>> passwords = std::make_shared<std::vector<std::string>>();

  // No thread waits in accept or is about to, and no more may start. A moment's view:
  // the listener looks again before it refuses anyone.
  bool Saturated(const Session& s) const {
    return s.idle.load() == 0 && starting.load() == 0 && threads.load() >= maxThreads.load();
  }
  // Counts a new connection thread; false at the cap.
  bool ReserveThread() {
    starting.fetch_add(1);
    std::size_t n = threads.load();
    while (n < maxThreads.load()) {
      if (threads.compare_exchange_weak(n, n + 1)) return true;
    }
    starting.fetch_sub(1);
    return false;
  }
  // Answers how many threads still wait.
  std::size_t LeaveIdle(Session& s) {
    const std::size_t left = s.idle.fetch_sub(1) - 1;
    if (left == 0 && s.stopping.load()) {
      std::lock_guard<std::mutex> lock(mu);
      s.idleCv.notify_all();
    }
    return left;
  }
  static void Spawn(HttpServer* server, const std::shared_ptr<Core>& core);
  static void Work(HttpServer* server, std::shared_ptr<Core> core);
  static void Listen(std::shared_ptr<Core> core, std::shared_ptr<Session> session);
};

void HttpServer::Core::Spawn(HttpServer* server, const std::shared_ptr<Core>& core) {
  try {
    std::thread(&Core::Work, server, core).detach();
  } catch (const std::system_error&) {
    // No thread now: the others (or the listener's 503) serve meanwhile.
    std::lock_guard<std::mutex> lock(core->mu);
    core->threads.fetch_sub(1);
    core->starting.fetch_sub(1);
    if (core->session) core->session->Wake();
    core->doneCv.notify_all();
  }
}

void HttpServer::Core::Work(HttpServer* server, std::shared_ptr<Core> core) {
  Slot* slot;
  {
    std::lock_guard<std::mutex> lock(core->mu);
    slot = &core->slots.emplace_back();
  }
  std::shared_ptr<Session> session;
  std::shared_ptr<Session> polled;  // the session epollFd watches
  std::uint64_t generation = ~std::uint64_t{0};
  int epollFd = -1;
  bool started = false;
  for (;;) {
    // Wait in accept on the current socket, whichever Start made it.
    if (core->closing.load()) break;
    if (core->generation.load() != generation) {
      std::lock_guard<std::mutex> lock(core->mu);
      generation = core->generation.load();
      session = core->session;
    }
    if (!session) break;
    const bool wasSaturated = core->Saturated(*session);
    session->idle.fetch_add(1);
    if (!started) {
      core->starting.fetch_sub(1);
      started = true;
    }
    if (session->stopping.load()) {  // Stop has replaced the session meanwhile
      core->LeaveIdle(*session);
      continue;
    }
    if (wasSaturated) session->Wake();
    if (polled != session) {
      // Counted as waiting, so Stop keeps the socket open until this thread leaves it.
      polled = session;
      if (epollFd >= 0) close(epollFd);
      epollFd = epoll_create1(EPOLL_CLOEXEC);
      epoll_event interest{};
      interest.events = EPOLLIN | EPOLLEXCLUSIVE;
      if (epollFd < 0 || epoll_ctl(epollFd, EPOLL_CTL_ADD, session->listenFd, &interest) != 0) {
        core->LeaveIdle(*session);
        break;
      }
    }

    sockaddr_in peer{};
    int fd = -1;
    bool timedOut = false;
    while (!session->stopping.load()) {
      socklen_t peerLength = sizeof peer;
      fd = accept4(session->listenFd, reinterpret_cast<sockaddr*>(&peer), &peerLength, SOCK_NONBLOCK | SOCK_CLOEXEC);
      if (fd >= 0) break;
      if (errno == EINTR || errno == ECONNABORTED) continue;
      if (errno == EAGAIN || errno == EWOULDBLOCK) {
        epoll_event event{};
        if (epoll_wait(epollFd, &event, 1, static_cast<int>(kThreadKeepAlive.count())) == 0) {
          timedOut = true;
          break;
        }
        continue;
      }
      if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
        // Out of descriptors: leave the pending connections queued for a moment.
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        continue;
      }
      break;  // the socket was shut down by Stop
    }
    const std::size_t othersWaiting = core->LeaveIdle(*session);
    if (fd < 0) {
      // A thread that waited long enough ends, unless it is the last one waiting.
      if (timedOut && othersWaiting > 0) break;
      continue;
    }
    {
      std::lock_guard<std::mutex> lock(slot->mu);
      slot->fd = fd;
    }
    if (core->closing.load()) shutdown(fd, SHUT_RDWR);
    if (othersWaiting == 0) {
      if (core->ReserveThread()) {
        Spawn(server, core);
      } else {
        // Saturated: the listener answers the next ones. Its wake descriptor lives while
        // the session is current (Stop clears that before it closes anything).
        std::lock_guard<std::mutex> lock(core->mu);
        if (core->session == session) session->Wake();
      }
    }

    try {
      server->Serve(Accepted{fd, AddressText(peer.sin_addr)}, session->limits);
    } catch (...) {
      // Out of memory while answering: the connection is dropped, the thread goes on.
    }

    {
      std::lock_guard<std::mutex> lock(slot->mu);
      slot->fd = -1;
    }
    close(fd);
  }
  if (epollFd >= 0) close(epollFd);
  if (!started) core->starting.fetch_sub(1);
  std::lock_guard<std::mutex> lock(core->mu);
  core->slots.remove_if([slot](const Slot& s) { return &s == slot; });
  core->threads.fetch_sub(1);
  core->doneCv.notify_all();
}

void HttpServer::Core::Listen(std::shared_ptr<Core> core, std::shared_ptr<Session> session) {
  struct Lingering {
    int fd;
    Clock::time_point deadline;
  };
  std::vector<Lingering> lingering;
  std::vector<pollfd> polls;
  Clock::time_point acceptPausedUntil{};
  const int lingerMs = session->limits.lingerMs;
  while (!session->stopping.load()) {
    const bool saturated = core->Saturated(*session);
    const bool acceptPaused = Clock::now() < acceptPausedUntil;
    polls.assign({{session->wakeFd, POLLIN, 0}, {saturated && !acceptPaused ? session->listenFd : -1, POLLIN, 0}});
    int timeout = acceptPaused ? Remaining(acceptPausedUntil) + 1 : -1;
    for (const Lingering& l : lingering) {
      polls.push_back({l.fd, POLLIN, 0});
      const int left = Remaining(l.deadline);
      timeout = timeout < 0 ? left : std::min(timeout, left);
    }
    if (poll(polls.data(), polls.size(), timeout) < 0 && errno != EINTR) break;
    if (polls[0].revents) {
      std::uint64_t count;
      if (read(session->wakeFd, &count, sizeof count) < 0) {
        // Nothing to read: another wake was taken already.
      }
    }

    // Refused connections: read what their peers still send; close at the end or deadline.
    const auto now = Clock::now();
    for (std::size_t i = 0; i < lingering.size();) {
      bool done = now >= lingering[i].deadline;
      if (!done && polls[2 + i].revents) {
        char scratch[4096];
        const ssize_t n = recv(lingering[i].fd, scratch, sizeof scratch, MSG_DONTWAIT);
        done = n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR);
      }
      if (done) {
        close(lingering[i].fd);
        lingering.erase(lingering.begin() + static_cast<std::ptrdiff_t>(i));
        polls.erase(polls.begin() + static_cast<std::ptrdiff_t>(2 + i));
      } else {
        ++i;
      }
    }

    // A wake may mean a thread is free again: look before taking anything.
    if (!polls[1].revents || polls[0].revents || session->stopping.load()) continue;
    // Every allowed connection thread is busy: answer 503 without a thread.
    while (core->Saturated(*session)) {
      const int fd = accept4(session->listenFd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
      if (fd < 0) {
        if (errno == EINTR || errno == ECONNABORTED) continue;
        if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
          acceptPausedUntil = Clock::now() + std::chrono::milliseconds(50);
        }
        break;
      }
      const std::string page = ErrorPageText(HttpException(503, {}, "Too many connections. Try again later."));
      send(fd, page.data(), page.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
      if (lingering.size() < kMaxLingering) {
        shutdown(fd, SHUT_WR);
        lingering.push_back({fd, Clock::now() + std::chrono::milliseconds(lingerMs)});
      } else {
        close(fd);
      }
    }
  }
  for (const Lingering& l : lingering) close(l.fd);
}

HttpServer::HttpServer(KernelDeviceClient* device) : device_(device), core_(std::make_shared<Core>()) {}

HttpServer::~HttpServer() {
  Stop();
  std::unique_lock<std::mutex> lock(core_->mu);
  core_->closing = true;
  for (Core::Slot& slot : core_->slots) {
    std::lock_guard<std::mutex> slotLock(slot.mu);
    if (slot.fd >= 0) shutdown(slot.fd, SHUT_RDWR);
  }
  core_->doneCv.wait(lock, [&] { return core_->threads.load() == 0; });
}

bool HttpServer::Start(int port) {
  Stop();
  LoadPasswords();
  StatusLineText(200);  // reads the program's version once, before the first request
  std::lock_guard<std::mutex> startLock(core_->startMu);
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  // A restart must not fail on the port's connections that wait out their close.
  const int one = 1;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_ANY);
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  socklen_t length = sizeof address;
  if (port < 0 || port > 65535 || bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      listen(fd, kBacklog) != 0 || getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    close(fd);
    return false;
  }
  // A connection is handed over once its first bytes are there: a peer that connects and
  // stays silent holds no thread (until the kernel gives up waiting, after a second or so),
  // and the thread that takes a connection finds the head arriving.
  const int deferSeconds = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_DEFER_ACCEPT, &deferSeconds, sizeof deferSeconds);
  auto session = std::make_shared<Session>();
  session->listenFd = fd;
  session->wakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (session->wakeFd < 0) {
    close(fd);
    return false;
  }
  {
    std::lock_guard<std::mutex> lock(core_->mu);
    session->limits = core_->limits;
  }
  try {
    session->listener = std::thread(&Core::Listen, core_, session);
  } catch (const std::system_error&) {
    close(fd);
    close(session->wakeFd);
    return false;
  }
  {
    std::lock_guard<std::mutex> lock(core_->mu);
    core_->session = session;
    core_->generation.fetch_add(1);
  }
  if (core_->ReserveThread()) Core::Spawn(this, core_);
  session->Wake();
  core_->port = ntohs(address.sin_port);
  return true;
}

void HttpServer::Stop() {
  std::lock_guard<std::mutex> startLock(core_->startMu);
  std::shared_ptr<Session> session;
  {
    std::lock_guard<std::mutex> lock(core_->mu);
    session = std::move(core_->session);
    core_->session.reset();
    core_->generation.fetch_add(1);
  }
  if (!session) return;
  session->stopping = true;
  // Wakes every thread waiting in accept (it fails from now on) and the listener.
  shutdown(session->listenFd, SHUT_RDWR);
  session->Wake();
  session->listener.join();
  {
    std::unique_lock<std::mutex> lock(core_->mu);
    session->idleCv.wait(lock, [&] { return session->idle.load() == 0; });
  }
  close(session->listenFd);
  close(session->wakeFd);
  core_->port = 0;
}

int HttpServer::port() const {
  std::lock_guard<std::mutex> lock(core_->startMu);
  return core_->port;
}

void HttpServer::SetLimits(const HttpServerLimits& limits) {
  std::lock_guard<std::mutex> lock(core_->mu);
  core_->limits = limits;
  core_->limits.maxConnections = std::max<std::size_t>(1, limits.maxConnections);
  core_->limits.maxHeadBytes = std::max<std::size_t>(4, limits.maxHeadBytes);
  core_->maxThreads = core_->limits.maxConnections;
}

void HttpServer::SetErrorMapper(ErrorMapper mapper) {
  std::lock_guard<std::mutex> lock(core_->mu);
  core_->mapper = std::move(mapper);
}

void HttpServer::AddHandler(std::unique_ptr<Handler> handler) {
  if (!handler) return;
  std::lock_guard<std::mutex> lock(core_->handlersMu);
  core_->handlers.push_back(std::move(handler));
}

Handler* HttpServer::FindHandler(const HttpRequest& request) const {
  std::lock_guard<std::mutex> lock(core_->handlersMu);
  Handler* best = nullptr;
  int bestScore = -1;
  for (const auto& handler : core_->handlers) {
    const int score = handler->Score(request);
    if (score > bestScore) {
      best = handler.get();
      bestScore = score;
    }
  }
  if (!best) throw HttpException(404);
  return best;
}

void HttpServer::LoadPasswords() {
  auto entries = std::make_shared<std::vector<std::string>>();
  try {
    std::string folder;
    if (ReadSettingString("Gen_AppDataDir", folder) && !folder.empty()) {
      std::ifstream in(platform::ToPosixPath(WindowsFile(folder, "httpauth.txt")));
      std::string line;
      while (std::getline(in, line)) {
        std::string entry = platform::Trim(std::string_view(line).substr(0, line.find('#')));
        if (entry.find(':') != std::string::npos) entries->push_back(std::move(entry));
      }
    }
  } catch (const std::exception&) {
    // An unreadable file leaves what was read: remote peers are then refused.
  }
  std::lock_guard<std::mutex> lock(core_->passwordsMu);
  core_->passwords = std::move(entries);
}

void HttpServer::CheckAccess(const HttpRequest& request, bool local, std::string& user) const {
  if (local) return;
  std::uint32_t blockRemote = 0;
  ReadSettingDword("VX_BlockRemote", blockRemote);
  if (blockRemote) throw HttpException(401, {}, "Remote access is blocked.");

  std::uint32_t requireAuthentication = 0;
  ReadSettingDword("VX_RequireAuthentication", requireAuthentication);
  if (!requireAuthentication) return;
  const HttpException refused(
      401, "WWW-Authenticate: Basic realm=\"" + SanitizeHeaderValue(g_ProductIdentity.webServerName) + " HTTP Server\"\r\n",
      "Authorization failed.");
  const std::string* authorization = request.Header("authorization");
  if (!authorization || !authorization->starts_with("Basic ")) throw refused;
  const std::string credentials = DecodeBase64(std::string_view(*authorization).substr(6));
  std::shared_ptr<const std::vector<std::string>> passwords;
  {
    std::lock_guard<std::mutex> lock(core_->passwordsMu);
    passwords = core_->passwords;
  }
  for (const std::string& entry : *passwords) {
    if (entry == credentials) {
      user = credentials.substr(0, credentials.find(':'));
      return;
    }
  }
  throw refused;
}

void HttpServer::LogRequest(const HttpRequest& request, const std::string& peer, bool local,
                            const std::string& user) const {
  std::uint32_t enabled = 0;
  ReadSettingDword(local ? "VX_LogLocal" : "VX_LogRemote", enabled);
  if (!enabled) return;

  const std::string& url = request.url();
  const bool stream = url.find("/stream/") != std::string::npos;
  bool wanted = url == "/" || stream;
  if (!wanted && url.find(".htm") != std::string::npos && url.find("log.htm") == std::string::npos) {
    std::uint32_t pages = 0;
    ReadSettingDword("VX_LogPages", pages);
    wanted = pages != 0;
  }
  if (!wanted) return;

  std::string folder;
  if (!ReadSettingString("", folder) || folder.empty()) return;

  std::string logged;
  if (stream) {
    const std::string rest = url.substr(8);
    const std::size_t slash = rest.find('/');
    logged = slash == std::string::npos ? rest : rest.substr(slash + 1);
  } else {
    logged = url.substr(0, url.find('?'));
  }

  const std::time_t now = std::time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);
  char stamp[64];
  std::strftime(stamp, sizeof stamp, "[ %m-%d-%y %H:%M:%S ]\t", &tm);

  std::string line = LogField(peer) + "\t" + stamp;
  if (!user.empty()) line += "(user: " + LogField(user) + ")\t";
  line += LogField(logged) + "<br>\r\n";

  // One append of the whole line: lines of concurrent requests never mix.
  const int fd = open(platform::ToPosixPath(WindowsFile(folder, "httplog.html")).c_str(),
                      O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (fd < 0) return;
  if (write(fd, line.data(), line.size()) < 0) {
    // A log that cannot be written is skipped.
  }
  close(fd);
}

bool HttpServer::ProcessRequest(Connection& connection, std::string_view head) {
  HandlerError errors(this);
  HttpRequest request;
  std::string user = "local";
  bool bodyMayFollow = true;
  std::optional<HttpException> answer;
  try {
    request.SetLocal(connection.localAddress(), connection.localPort());
    request.Parse(head);
    const std::string* length = request.Header("content-length");
    bodyMayFollow = (length && *length != "0") || request.Header("transfer-encoding");
    const bool local = connection.peerAddress() == "127.0.0.1" || connection.peerAddress() == connection.localAddress();
    CheckAccess(request, local, user);
    try {
      LogRequest(request, connection.peerAddress(), local, user);
    } catch (...) {
      // A log failure never fails the request.
    }
    FindHandler(request)->Handle(request, connection);
  } catch (const HttpException& e) {
    answer = e;
  } catch (const FileException& e) {
    switch (e.cause()) {
      case FileException::Cause::PeerGone: return false;
      case FileException::Cause::FileNotFound: answer.emplace(404, "", "Request handler could not find file."); break;
      case FileException::Cause::Generic: answer.emplace(500, "", "Request handler could not find file."); break;
    }
  } catch (...) {
    ErrorMapper mapper;
    {
      std::lock_guard<std::mutex> lock(core_->mu);
      mapper = core_->mapper;
    }
    try {
      if (mapper) answer = mapper(std::current_exception());
    } catch (...) {
    }
    if (!answer) answer.emplace(500);
  }
  if (answer) errors.WriteErrorPage(connection, *answer);
  return bodyMayFollow;
}

void HttpServer::Serve(const Accepted& accepted, const HttpServerLimits& limits) {
  const int fd = accepted.fd;
  sockaddr_in local{};
  socklen_t localLength = sizeof local;
  getsockname(fd, reinterpret_cast<sockaddr*>(&local), &localLength);
  // Answers are collected in blocks by the connection; each block goes out at once.
  const int one = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  Connection connection(this, fd, accepted.peer, AddressText(local.sin_addr), ntohs(local.sin_port),
                        limits.idleTimeoutMs);

  // Read until the first blank line; a body is never read.
  thread_local std::string buffer;
  buffer.resize(limits.maxHeadBytes);
  std::size_t received = 0;
  std::size_t headLength = 0;
  const auto headDeadline = Clock::now() + std::chrono::milliseconds(limits.headTimeoutMs);
  while (headLength == 0 && received < buffer.size()) {
    const ssize_t n = recv(fd, buffer.data() + received, buffer.size() - received, 0);
    if (n > 0) {
      const std::size_t from = received >= 3 ? received - 3 : 0;
      received += static_cast<std::size_t>(n);
      const std::size_t end = std::string_view(buffer.data(), received).find("\r\n\r\n", from);
      if (end != std::string_view::npos) headLength = end + 4;
      continue;
    }
    if (n == 0) return;  // the peer closed before its head was complete
    if (errno == EINTR) continue;
    if (errno != EAGAIN && errno != EWOULDBLOCK) return;  // reset
    const int wait = std::min(limits.idleTimeoutMs, Remaining(headDeadline));
    if (wait <= 0 || PollOne(fd, POLLIN, wait) <= 0) return;  // idle too long
  }

  bool linger = true;
  if (headLength == 0) {
    // No blank line within the cap.
    HandlerError(this).WriteErrorPage(connection, HttpException(400));
  } else {
    linger = ProcessRequest(connection, std::string_view(buffer.data(), headLength)) || received > headLength;
  }
  try {
    connection.Flush();
  } catch (const FileException&) {
    return;
  }
  if (linger || PeerHasData(fd)) LingeringClose(fd, limits.lingerMs);
}
