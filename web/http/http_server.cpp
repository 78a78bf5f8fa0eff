#include "web/http/http_server.h"

#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <ifaddrs.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <deque>
#include <fstream>
#include <list>
#include <mutex>
#include <thread>
#include <unordered_map>

#include "common/escape.h"
#include "common/folders.h"
#include "common/identity.h"
#include "common/settings.h"
#include "platform/kernel/kernel.h"
#include "platform/paths/paths.h"
#include "platform/text/text.h"
#include "web/http/http_tables.h"

namespace web {


namespace {

using Clock = std::chrono::steady_clock;

// Connections that arrive together wait here until the event loop takes them; a full
// queue drops a connection, and its peer retries only after a second.
constexpr int kBacklog = 1024;
// An idle worker waits this long for the next request before it ends (the last one stays).
constexpr auto kWorkerKeepAlive = std::chrono::milliseconds(5000);
// How long the server is idle before the memory of its answers goes back.
constexpr auto kReturnMemoryAfter = std::chrono::milliseconds(3000);
// New connections taken per wake-up, so that heads already arriving are read in between.
constexpr int kAcceptBatch = 64;
// What a lingering close reads away at most before it gives up.
constexpr std::size_t kMaxLingerBytes = 1 << 20;
// Descriptors kept free for everything else the process opens (files, the device).
constexpr rlim_t kReservedDescriptors = 256;
// The descriptor limit the server raises the process's soft limit to, at most.
constexpr rlim_t kWantedDescriptors = 65536;

std::string AddressText(const in_addr& address) {
  char text[INET_ADDRSTRLEN] = {};
  inet_ntop(AF_INET, &address, text, sizeof text);
  return text;
}

int MillisecondsUntil(Clock::time_point deadline, Clock::time_point now) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now).count();
  return left <= 0 ? 0 : static_cast<int>(std::min<long long>(left + 1, 1 << 30));
}

bool PeerHasData(int fd) {
  char byte;
  return recv(fd, &byte, 1, MSG_PEEK | MSG_DONTWAIT) > 0;
}

// Connections open at once: what the server is allowed, and what the descriptor limit
// leaves (raised to the hard limit first, since each connection needs one).
std::size_t OpenConnectionCap(std::size_t wanted) {
  rlimit limit{};
  if (getrlimit(RLIMIT_NOFILE, &limit) != 0) return wanted;
  const rlim_t target = limit.rlim_max == RLIM_INFINITY ? kWantedDescriptors : std::min(limit.rlim_max, kWantedDescriptors);
  if (limit.rlim_cur < target) {
    rlimit raised = limit;
    raised.rlim_cur = target;
    if (setrlimit(RLIMIT_NOFILE, &raised) == 0) limit = raised;
  }
  const rlim_t usable = limit.rlim_cur > kReservedDescriptors * 2 ? limit.rlim_cur - kReservedDescriptors : limit.rlim_cur / 2;
  return std::max<std::size_t>(1, std::min<std::size_t>(wanted, static_cast<std::size_t>(usable)));
}

// Bounds of the request log: each field (before escaping) and the file, past which it is
// renamed to "httplog.1.html" (replacing the one before) and begun again.
constexpr std::size_t kMaxLoggedPath = 256;
constexpr std::size_t kMaxLoggedUser = 64;
constexpr off_t kMaxLogBytes = 1024 * 1024;

// A log field: no control characters (one request is one line), at most `limit` bytes
// (cut on a character boundary, "..." saying so), HTML-escaped.
std::string LogField(std::string_view text, std::size_t limit) {
  std::string field = SanitizeHeaderValue(text);
  if (field.size() > limit) {
    field.resize(platform::Utf8PrefixLength(field, limit));
    field += "...";
  }
  return HtmlEscapeText(field);
}

// Appends one whole line (lines of concurrent requests never mix), starting the log
// again first when it has grown past its limit.
void AppendLogLine(const std::string& path, const std::string& line) {
  static std::mutex mu;
  std::lock_guard<std::mutex> lock(mu);
  struct stat st {};
  if (stat(path.c_str(), &st) == 0 && st.st_size + static_cast<off_t>(line.size()) > kMaxLogBytes) {
    const std::string older = path.substr(0, path.size() - std::string_view(".html").size()) + ".1.html";
    rename(path.c_str(), older.c_str());
  }
  // It names the people who signed in and what they asked for: the person's alone.
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
  if (fd < 0) return;
  if (write(fd, line.data(), line.size()) < 0) {
    // A log that cannot be written is skipped.
  }
  close(fd);
}

std::string WindowsFile(std::string_view folder, std::string_view name) {
  std::string base;
  StripTrailingBackslash(base, folder);
  return base + "\\" + std::string(name);
}

// The name in a Host value: without its port; an IPv6 literal without its brackets; lower
// case, without a final dot.
std::string HostNameOf(std::string_view host) {
  if (host.starts_with('[')) {
    const std::size_t close = host.find(']');
    host = close == std::string_view::npos ? host.substr(1) : host.substr(1, close - 1);
  } else if (const std::size_t colon = host.find(':'); colon != std::string_view::npos && colon == host.rfind(':')) {
    host = host.substr(0, colon);
  }
  if (host.ends_with('.')) host.remove_suffix(1);
  return platform::ToLowerAscii(host);
}

bool IsInterfaceAddress(int family, const void* address) {
  ifaddrs* list = nullptr;
  if (getifaddrs(&list) != 0) return false;
  bool found = false;
  for (const ifaddrs* a = list; a && !found; a = a->ifa_next) {
    if (!a->ifa_addr || a->ifa_addr->sa_family != family) continue;
    if (family == AF_INET) {
      found = std::memcmp(&reinterpret_cast<const sockaddr_in*>(a->ifa_addr)->sin_addr, address, sizeof(in_addr)) == 0;
    } else {
      found = std::memcmp(&reinterpret_cast<const sockaddr_in6*>(a->ifa_addr)->sin6_addr, address, sizeof(in6_addr)) == 0;
    }
  }
  freeifaddrs(list);
  return found;
}

// Whether a Host value names this computer: "localhost" and its sub-names, the host name
// (with or without its domain, and its ".local" form), a loopback address or an address
// of one of its interfaces. An empty value names nothing else and passes.
bool IsThisComputersName(std::string_view hostValue, const std::string& localAddress) {
  const std::string name = HostNameOf(platform::TrimView(hostValue));
  if (name.empty() || name == "localhost" || name.ends_with(".localhost") || name == "localhost.localdomain") {
    return true;
  }
  in_addr v4{};
  if (inet_pton(AF_INET, name.c_str(), &v4) == 1) {
    return (ntohl(v4.s_addr) >> 24) == 127 || name == localAddress || IsInterfaceAddress(AF_INET, &v4);
  }
  in6_addr v6{};
  if (inet_pton(AF_INET6, name.c_str(), &v6) == 1) {
    return IN6_IS_ADDR_LOOPBACK(&v6) || IsInterfaceAddress(AF_INET6, &v6);
  }
  char own[256] = {};
  if (gethostname(own, sizeof own - 1) != 0) return false;
  const std::string full = platform::ToLowerAscii(own);
  const std::string shortName = full.substr(0, full.find('.'));
  return !full.empty() && (name == full || name == shortName || name == shortName + ".local");
}

}  // namespace

struct HttpServer::Job {
  int fd = -1;
  std::uint32_t peer = 0;  // the peer's IPv4 address, network order
  std::string peerText;
  std::string head;        // up to and including the blank line
  bool more = false;       // bytes after the head arrived with it
  std::shared_ptr<Session> session;
};

// One listening socket and its event loop, from Start to Stop. The loop owns every
// connection whose head is still arriving and every answered one that is being closed;
// a worker owns a connection from its complete head to the end of its answer.
struct HttpServer::Session {
  int listenFd = -1;
  int epollFd = -1;
  int wakeFd = -1;           // tells the loop to look at handed-back connections and for an
                             // idle worker, or to stop
  HttpServerLimits limits;   // fixed for the session
  std::size_t maxOpen = 0;   // limits.maxOpen within the descriptor limit
  std::atomic<bool> stopping{false};
  std::thread loop;

  std::mutex mu;             // everything below
  bool loopEnded = false;
  std::vector<std::pair<int, std::uint32_t>> handedBack;       // answered: to be read away and closed
  std::unordered_map<std::uint32_t, std::size_t> perPeer;     // open connections per peer address

  void Wake() const {
    const std::uint64_t one = 1;
    if (write(wakeFd, &one, sizeof one) < 0) {
      // The counter is far from overflowing; a failed write changes nothing.
    }
  }
  // Counts a connection of the peer; false when the peer has its share already.
  bool TakePeer(std::uint32_t peer) {
    std::lock_guard<std::mutex> lock(mu);
    std::size_t& open = perPeer[peer];
    if (open >= limits.maxPerPeer) return false;
    ++open;
    return true;
  }
  void ReleasePeer(std::uint32_t peer) {
    std::lock_guard<std::mutex> lock(mu);
    const auto it = perPeer.find(peer);
    if (it != perPeer.end() && --it->second == 0) perPeer.erase(it);
  }
  // Closes a connection the session counted.
  void Close(int fd, std::uint32_t peer) {
    close(fd);
    ReleasePeer(peer);
  }
  // An answered connection whose peer may still be sending goes back to the loop, which
  // reads it away; closed here when the loop has ended. It stops counting against the
  // peer's share at once: it is done with, whatever the peer still sends.
  void HandBack(int fd, std::uint32_t peer) {
    ReleasePeer(peer);
    {
      std::lock_guard<std::mutex> lock(mu);
      if (!loopEnded) {
        handedBack.emplace_back(fd, peer);
        Wake();
        return;
      }
    }
    close(fd);
  }

  void Run(HttpServer* server, const std::shared_ptr<Core>& core, const std::shared_ptr<Session>& self);
};

struct HttpServer::Core {
  std::mutex mu;                      // session, limits, mapper
  std::shared_ptr<Session> session;
  HttpServerLimits limits;
  ErrorMapper mapper;

  std::mutex startMu;                 // Start and Stop
  int port = 0;

  mutable std::mutex handlersMu;
  std::vector<std::unique_ptr<Handler>> handlers;

  mutable std::mutex passwordsMu;
  std::shared_ptr<const std::vector<std::string>> passwords = std::make_shared<std::vector<std::string>>();

  // The workers. A worker's slot holds the connection it answers, so that the server's
  // end can cut it.
  struct Slot {
    int fd = -1;
  };
  std::mutex poolMu;                  // everything below
  std::condition_variable poolCv;     // a job was queued, or the server closes
  std::condition_variable doneCv;     // a worker has ended
  std::deque<Job> jobs;
  std::size_t workers = 0;
  std::size_t idleWorkers = 0;
  std::size_t answering = 0;          // workers serving a request
  bool returnMemory = false;          // requests were answered since the memory went back
  std::size_t maxWorkers = HttpServerLimits().maxWorkers;
  std::list<Slot> slots;
  bool closing = false;
  // The session whose loop holds requests that found every worker busy: woken by the next
  // worker to become free. The loop clears it before it ends.
  Session* waiting = nullptr;

  // Queues a complete request for a worker, starting one when none is free; false (the
  // job untouched) when every worker allowed is busy, and then the job's session is woken
  // once one is free.
  static bool Dispatch(HttpServer* server, const std::shared_ptr<Core>& core, Job& job);
  static void Work(HttpServer* server, std::shared_ptr<Core> core);
  // A worker has become free, or ended: the waiting loop may dispatch again. Under poolMu.
  void WakeWaiting() {
    if (!waiting) return;
    waiting->Wake();
    waiting = nullptr;  // the loop dispatches all it can, and asks again when it must
  }
};

bool HttpServer::Core::Dispatch(HttpServer* server, const std::shared_ptr<Core>& core, Job& job) {
  std::unique_lock<std::mutex> lock(core->poolMu);
  if (core->closing) return false;
  if (core->idleWorkers > core->jobs.size()) {
    core->jobs.push_back(std::move(job));
    core->poolCv.notify_one();
    return true;
  }
  // Asked in the same hold of the lock as the refusal, so that no worker can become free
  // unseen in between.
  auto busy = [&] {
    core->waiting = job.session.get();
    return false;
  };
  if (core->workers >= core->maxWorkers) return busy();
  try {
    std::thread(&Core::Work, server, core).detach();
  } catch (const std::system_error&) {
    return busy();  // no thread now: waits like a request beyond the cap
  }
  ++core->workers;
  core->jobs.push_back(std::move(job));
  return true;
}

void HttpServer::Core::Work(HttpServer* server, std::shared_ptr<Core> core) {
  std::unique_lock<std::mutex> lock(core->poolMu);
  Slot& slot = core->slots.emplace_back();
  for (;;) {
    if (core->jobs.empty()) {
      if (core->closing) break;
      ++core->idleWorkers;
      core->WakeWaiting();
      auto ready = [&] { return !core->jobs.empty() || core->closing; };
      bool woken = false;
      if (core->returnMemory) {
        // Once nothing has been asked for a while, what the pages needed goes back to the
        // system (a page of a large player needs tens of MB). Not sooner: pages asked one
        // after another would pay for the memory again.
        woken = core->poolCv.wait_for(lock, kReturnMemoryAfter, ready);
        if (!woken && core->returnMemory && core->answering == 0) {
          core->returnMemory = false;
          lock.unlock();
          platform::ReturnFreeMemory();
          lock.lock();
          woken = ready();
        }
      }
      if (!woken) woken = core->poolCv.wait_for(lock, kWorkerKeepAlive, ready);
      --core->idleWorkers;
      if (!woken && core->workers > 1) break;  // idle long enough, and not the last one
      continue;
    }
    Job job = std::move(core->jobs.front());
    core->jobs.pop_front();
    slot.fd = job.fd;
    const bool cut = core->closing;
    ++core->answering;
    lock.unlock();
    if (cut) shutdown(job.fd, SHUT_RDWR);
    try {
      server->Serve(job);
    } catch (...) {
      // Out of memory while answering: the connection is dropped, the worker goes on.
      if (job.fd >= 0) job.session->Close(job.fd, job.peer);
    }
    lock.lock();
    slot.fd = -1;
    if (--core->answering == 0) core->returnMemory = true;
  }
  core->slots.remove_if([&](const Slot& s) { return &s == &slot; });
  --core->workers;
  core->WakeWaiting();
  core->doneCv.notify_all();
}

void HttpServer::Session::Run(HttpServer* server, const std::shared_ptr<Core>& core,
                              const std::shared_ptr<Session>& self) {
  // A connection the loop owns: its head is arriving, it is complete and waits for a
  // worker (not watched meanwhile), or it is answered and closing.
  enum class State { Head, Waiting, Closing };
  struct Open {
    std::uint32_t peer = 0;
    std::string peerText;
    std::string buffer;       // what arrived of the head; the whole head while waiting
    State state = State::Head;
    bool more = false;        // waiting: bytes after the head arrived with it
    bool counted = true;      // counts against the peer's share (until it is answered)
    std::size_t readAway = 0; // closing: what was read away
    Clock::time_point acceptedAt, headDeadline, idleDeadline, waitDeadline, closeDeadline;
    std::list<int>::iterator byHeadAt, byIdleAt, byWaitAt, byCloseAt;
  };
  std::unordered_map<int, Open> open;
  // Deadlines in the order they fall: each list gains at its back only. byWait is also
  // the order in which waiting requests go to workers.
  std::list<int> byHead, byIdle, byWait, byClose;
  Clock::time_point acceptPausedUntil{};
  bool acceptWatched = true;
  const auto headTime = std::chrono::milliseconds(limits.headTimeoutMs);
  const auto idleTime = std::chrono::milliseconds(limits.idleTimeoutMs);
  const auto lingerTime = std::chrono::milliseconds(limits.lingerMs);
  const auto waitTime = std::chrono::milliseconds(limits.workerWaitMs);
  const auto slowHeadTime = std::chrono::milliseconds(limits.slowHeadMs);

  // Takes the connection off the deadline lists of its state.
  auto unlist = [&](Open& c) {
    switch (c.state) {
      case State::Head:
        byHead.erase(c.byHeadAt);
        byIdle.erase(c.byIdleAt);
        break;
      case State::Waiting: byWait.erase(c.byWaitAt); break;
      case State::Closing: byClose.erase(c.byCloseAt); break;
    }
  };
  auto forget = [&](int fd, Open& c) {
    if (c.state != State::Waiting) epoll_ctl(epollFd, EPOLL_CTL_DEL, fd, nullptr);
    unlist(c);
  };
  auto drop = [&](int fd) {
    const auto it = open.find(fd);
    if (it == open.end()) return;
    forget(fd, it->second);
    const std::uint32_t peer = it->second.peer;
    const bool counted = it->second.counted;
    open.erase(it);
    if (counted) {
      Close(fd, peer);
    } else {
      close(fd);
    }
  };
  // From now on only what the peer still sends is read, until it closes or time is up.
  auto startClosing = [&](int fd, Open& c, Clock::time_point now) {
    unlist(c);
    c.state = State::Closing;
    c.buffer = std::string();
    c.closeDeadline = now + lingerTime;
    c.byCloseAt = byClose.insert(byClose.end(), fd);
  };
  // An answer the loop gives itself (400, 503): small enough for the socket's buffer.
  auto answer = [&](int fd, Open& c, const HttpException& error, Clock::time_point now) {
    const std::string page = ErrorPageText(error);
    send(fd, page.data(), page.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
    shutdown(fd, SHUT_WR);
    startClosing(fd, c, now);
    if (c.counted) ReleasePeer(c.peer);  // answered: no longer the peer's
    c.counted = false;
  };
  auto watch = [&](int fd) {
    epoll_event event{};
    event.events = EPOLLIN | EPOLLRDHUP;
    event.data.fd = fd;
    return epoll_ctl(epollFd, EPOLL_CTL_ADD, fd, &event) == 0;
  };
  auto watchListener = [&](bool on) {
    if (on == acceptWatched) return;
    epoll_event event{};
    event.events = on ? static_cast<std::uint32_t>(EPOLLIN) : 0u;
    event.data.fd = listenFd;
    epoll_ctl(epollFd, EPOLL_CTL_MOD, listenFd, &event);
    acceptWatched = on;
  };

  // At its share, a peer's oldest connection whose head has been arriving for a while
  // makes room: connections left hanging (or sent slowly) cannot shut out its next
  // request, a browser's, say, beside a local program that floods.
  auto makeRoom = [&](std::uint32_t peer, Clock::time_point now) {
    for (const int old : byHead) {
      const Open& o = open.at(old);
      if (o.peer != peer) continue;
      if (now - o.acceptedAt < slowHeadTime) return false;  // the oldest is young: the share is in use
      drop(old);
      return TakePeer(peer);
    }
    return false;
  };

  auto acceptSome = [&](Clock::time_point now) {
    for (int i = 0; i < kAcceptBatch; ++i) {
      sockaddr_in address{};
      socklen_t length = sizeof address;
      const int fd = accept4(listenFd, reinterpret_cast<sockaddr*>(&address), &length, SOCK_NONBLOCK | SOCK_CLOEXEC);
      if (fd < 0) {
        if (errno == EINTR || errno == ECONNABORTED) continue;
        if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
          // Out of descriptors: leave the pending connections queued for a moment.
          acceptPausedUntil = now + std::chrono::milliseconds(50);
          watchListener(false);
        }
        return;
      }
      const std::uint32_t peer = address.sin_addr.s_addr;
      if (open.size() >= maxOpen) {
        close(fd);
        continue;
      }
      if (!TakePeer(peer) && !makeRoom(peer, now)) {
        // Over its share: told so at once. What it sent is read first, so that the close
        // is an orderly one and the answer reaches it.
        char scratch[16384];
        while (recv(fd, scratch, sizeof scratch, MSG_DONTWAIT) > 0) {
        }
        const std::string page = ErrorPageText(HttpException(503, {}, "Too many connections from your address. Try again later."));
        send(fd, page.data(), page.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
        close(fd);
        continue;
      }
      if (!watch(fd)) {
        Close(fd, peer);
        continue;
      }
      Open& c = open[fd];
      c.peer = peer;
      c.peerText = AddressText(address.sin_addr);
      c.acceptedAt = now;
      c.headDeadline = now + headTime;
      c.idleDeadline = now + idleTime;
      c.byHeadAt = byHead.insert(byHead.end(), fd);
      c.byIdleAt = byIdle.insert(byIdle.end(), fd);
    }
  };

  // Hands waiting requests to workers, first come first served, while one is free. A
  // worker that has just answered is not free yet although its client has the whole
  // answer: the client's next request waits for it instead of being refused.
  auto dispatchWaiting = [&] {
    while (!byWait.empty()) {
      const int fd = byWait.front();
      Open& c = open.at(fd);
      Job job;
      job.fd = fd;
      job.peer = c.peer;
      job.peerText = c.peerText;
      job.head = std::move(c.buffer);
      job.more = c.more;
      job.session = self;
      if (!Core::Dispatch(server, core, job)) {
        c.buffer = std::move(job.head);  // woken when a worker is free
        return;
      }
      byWait.pop_front();
      open.erase(fd);
    }
  };

  auto readHead = [&](int fd, Open& c, Clock::time_point now) {
    thread_local char scratch[16384];
    bool got = false;
    std::size_t headLength = 0;
    while (headLength == 0 && c.buffer.size() < limits.maxHeadBytes) {
      const std::size_t room = std::min(sizeof scratch, limits.maxHeadBytes - c.buffer.size());
      const ssize_t n = recv(fd, scratch, room, 0);
      if (n > 0) {
        const std::size_t from = c.buffer.size() >= 3 ? c.buffer.size() - 3 : 0;
        c.buffer.append(scratch, static_cast<std::size_t>(n));
        const std::size_t end = c.buffer.find("\r\n\r\n", from);
        if (end != std::string::npos) headLength = end + 4;
        got = true;
        continue;
      }
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
      drop(fd);  // the peer closed before its head was complete, or reset
      return;
    }
    if (headLength > 0) {
      // Behind the requests that wait already, if any.
      c.more = c.buffer.size() > headLength;
      c.buffer.resize(headLength);
      forget(fd, c);
      c.state = State::Waiting;
      c.waitDeadline = now + waitTime;
      c.byWaitAt = byWait.insert(byWait.end(), fd);
      dispatchWaiting();
      return;
    }
    if (c.buffer.size() >= limits.maxHeadBytes) {
      answer(fd, c, HttpException(400), now);  // no blank line within the cap
      return;
    }
    if (got) {
      byIdle.erase(c.byIdleAt);
      c.idleDeadline = now + idleTime;
      c.byIdleAt = byIdle.insert(byIdle.end(), fd);
    }
  };

  auto readAway = [&](int fd, Open& c) {
    thread_local char scratch[16384];
    for (;;) {
      const ssize_t n = recv(fd, scratch, sizeof scratch, 0);
      if (n > 0) {
        c.readAway += static_cast<std::size_t>(n);
        if (c.readAway >= kMaxLingerBytes) break;
        continue;
      }
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
      break;  // closed by the peer, or reset
    }
    drop(fd);
  };

  auto takeHandedBack = [&](Clock::time_point now) {
    std::vector<std::pair<int, std::uint32_t>> back;
    {
      std::lock_guard<std::mutex> lock(mu);
      back.swap(handedBack);
    }
    for (const auto& [fd, peer] : back) {
      if (!watch(fd)) {
        Close(fd, peer);
        continue;
      }
      Open& c = open[fd];
      c.peer = peer;
      c.counted = false;  // HandBack released it
      c.state = State::Closing;
      c.closeDeadline = now + lingerTime;
      c.byCloseAt = byClose.insert(byClose.end(), fd);
    }
  };

  auto expire = [&](Clock::time_point now) {
    // Heads that took too long, peers silent too long, requests that found no worker in
    // time (a worker freed since the loop woke takes them still), closes that waited long
    // enough.
    while (!byHead.empty() && open.at(byHead.front()).headDeadline <= now) drop(byHead.front());
    while (!byIdle.empty() && open.at(byIdle.front()).idleDeadline <= now) drop(byIdle.front());
    if (!byWait.empty() && open.at(byWait.front()).waitDeadline <= now) dispatchWaiting();
    while (!byWait.empty() && open.at(byWait.front()).waitDeadline <= now) {
      const int fd = byWait.front();
      if (!watch(fd)) {
        drop(fd);
        continue;
      }
      // Told so, and closed like an answered connection.
      answer(fd, open.at(fd), HttpException(503, {}, "Too many connections. Try again later."), now);
    }
    while (!byClose.empty() && open.at(byClose.front()).closeDeadline <= now) drop(byClose.front());
  };
  auto nextTimeout = [&](Clock::time_point now) {
    Clock::time_point next = Clock::time_point::max();
    if (!byHead.empty()) next = std::min(next, open.at(byHead.front()).headDeadline);
    if (!byIdle.empty()) next = std::min(next, open.at(byIdle.front()).idleDeadline);
    if (!byWait.empty()) next = std::min(next, open.at(byWait.front()).waitDeadline);
    if (!byClose.empty()) next = std::min(next, open.at(byClose.front()).closeDeadline);
    if (!acceptWatched) next = std::min(next, acceptPausedUntil);
    return next == Clock::time_point::max() ? -1 : MillisecondsUntil(next, now);
  };

  std::vector<epoll_event> events(256);
  while (!stopping.load()) {
    const int n = epoll_wait(epollFd, events.data(), static_cast<int>(events.size()), nextTimeout(Clock::now()));
    if (n < 0 && errno != EINTR) break;
    const Clock::time_point now = Clock::now();
    for (int i = 0; i < n; ++i) {
      const int fd = events[static_cast<std::size_t>(i)].data.fd;
      if (fd == wakeFd) {
        std::uint64_t count;
        if (read(wakeFd, &count, sizeof count) < 0) {
          // Nothing to read: another wake was taken already.
        }
        takeHandedBack(now);
        dispatchWaiting();
      } else if (fd == listenFd) {
        acceptSome(now);
      } else if (const auto it = open.find(fd); it != open.end()) {
        if (it->second.state == State::Closing) {
          readAway(fd, it->second);
        } else if (it->second.state == State::Head) {
          readHead(fd, it->second, now);
        }
      }
    }
    if (!acceptWatched && now >= acceptPausedUntil) watchListener(true);
    expire(now);
  }

  {
    std::lock_guard<std::mutex> lock(mu);
    loopEnded = true;
  }
  {
    // No worker may wake this session once Stop has closed its descriptors.
    std::lock_guard<std::mutex> lock(core->poolMu);
    if (core->waiting == this) core->waiting = nullptr;
  }
  takeHandedBack(Clock::now());
  for (const auto& [fd, c] : open) {
    close(fd);
    if (c.counted) ReleasePeer(c.peer);
  }
}

HttpServer::HttpServer() : core_(std::make_shared<Core>()) {}

HttpServer::~HttpServer() {
  Stop();
  std::unique_lock<std::mutex> lock(core_->poolMu);
  core_->closing = true;
  for (Core::Slot& slot : core_->slots) {
    if (slot.fd >= 0) shutdown(slot.fd, SHUT_RDWR);
  }
  core_->poolCv.notify_all();
  core_->doneCv.wait(lock, [&] { return core_->workers == 0; });
  // Requests that were queued but never taken.
  for (Job& job : core_->jobs) job.session->Close(job.fd, job.peer);
  core_->jobs.clear();
  lock.unlock();
  // The handlers go now, on this thread: a worker that has counted itself out may still
  // hold the core for a moment, and the last holder would otherwise destroy them after
  // the server (and what they use, such as the device client) is gone.
  std::vector<std::unique_ptr<Handler>> handlers;
  {
    std::lock_guard<std::mutex> handlersLock(core_->handlersMu);
    handlers.swap(core_->handlers);
  }
  handlers.clear();
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
  // A connection is taken once its first bytes are there: a peer that connects and stays
  // silent costs nothing (until the kernel gives up waiting, after a second or so).
  const int deferSeconds = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_DEFER_ACCEPT, &deferSeconds, sizeof deferSeconds);

  auto session = std::make_shared<Session>();
  session->listenFd = fd;
  session->wakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  session->epollFd = epoll_create1(EPOLL_CLOEXEC);
  auto fail = [&] {
    close(fd);
    if (session->wakeFd >= 0) close(session->wakeFd);
    if (session->epollFd >= 0) close(session->epollFd);
    return false;
  };
  if (session->wakeFd < 0 || session->epollFd < 0) return fail();
  for (const int watched : {fd, session->wakeFd}) {
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.fd = watched;
    if (epoll_ctl(session->epollFd, EPOLL_CTL_ADD, watched, &event) != 0) return fail();
  }
  {
    std::lock_guard<std::mutex> lock(core_->mu);
    session->limits = core_->limits;
  }
  session->maxOpen = OpenConnectionCap(session->limits.maxOpen);
  {
    std::lock_guard<std::mutex> lock(core_->poolMu);
    core_->maxWorkers = session->limits.maxWorkers;
  }
  try {
    session->loop = std::thread(&Session::Run, session.get(), this, core_, session);
  } catch (const std::system_error&) {
    return fail();
  }
  {
    std::lock_guard<std::mutex> lock(core_->mu);
    core_->session = session;
  }
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
  }
  if (!session) return;
  session->stopping = true;
  session->Wake();
  session->loop.join();
  // The loop has ended: workers no longer wake it (they close what they would hand back).
  close(session->listenFd);
  close(session->epollFd);
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
  core_->limits.maxWorkers = std::max<std::size_t>(1, limits.maxWorkers);
  core_->limits.maxPerPeer = std::max<std::size_t>(1, limits.maxPerPeer);
  core_->limits.maxOpen = std::max<std::size_t>(1, limits.maxOpen);
  core_->limits.maxHeadBytes = std::max<std::size_t>(4, limits.maxHeadBytes);
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
  if (local) {
    // A page of another site whose name resolves to this computer must not reach it.
    const std::string* host = request.Header("host");
    if (host && !IsThisComputersName(*host, request.localAddress())) {
      throw HttpException(421, {}, "This server does not answer to that name.");
    }
    return;
  }
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
  const std::optional<std::string> decoded = authorization ? BasicCredentials(*authorization) : std::nullopt;
  if (!decoded) throw refused;
  const std::string& credentials = *decoded;
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

void HttpServer::LogRequest(const HttpRequest& request, const std::string& peer, bool local, const std::string& user,
                            int refusedStatus) const {
  std::uint32_t enabled = 0;
  ReadSettingDword(local ? "VX_LogLocal" : "VX_LogRemote", enabled);
  if (!enabled) return;

  const std::string& url = request.url();
  const bool stream = url.find("/stream/") != std::string::npos;
  // A refusal is always worth a line: repeated wrong passwords must leave a trace.
  bool wanted = url == "/" || stream || refusedStatus != 0;
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

  std::string line = LogField(peer, INET_ADDRSTRLEN) + "\t" + stamp;
  if (!user.empty()) line += "(user: " + LogField(user, kMaxLoggedUser) + ")\t";
  line += LogField(logged, kMaxLoggedPath);
  if (refusedStatus != 0) line += "\t" + std::to_string(refusedStatus);
  line += "<br>\r\n";
  AppendLogLine(platform::ToPosixPath(WindowsFile(folder, "httplog.html")), line);
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
    try {
      CheckAccess(request, local, user);
    } catch (const HttpException& refusal) {
      try {
        LogRequest(request, connection.peerAddress(), local, user, refusal.status());
      } catch (...) {
      }
      throw;
    }
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

void HttpServer::Serve(Job& job) {
  const int fd = job.fd;
  Session& session = *job.session;
  sockaddr_in local{};
  socklen_t localLength = sizeof local;
  getsockname(fd, reinterpret_cast<sockaddr*>(&local), &localLength);
  // Answers are collected in blocks by the connection; each block goes out at once.
  const int one = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  Connection connection(this, fd, job.peerText, AddressText(local.sin_addr), ntohs(local.sin_port),
                        session.limits.idleTimeoutMs);
  const bool bodyMayFollow = ProcessRequest(connection, job.head);
  job.fd = -1;
  try {
    connection.Flush();
  } catch (const FileException&) {
    session.Close(fd, job.peer);
    return;
  }
  if (bodyMayFollow || job.more || PeerHasData(fd)) {
    // Closing with unread bytes would reset the connection and could destroy the answer
    // in the peer's buffers: FIN first, then the loop reads away what still comes.
    shutdown(fd, SHUT_WR);
    session.HandBack(fd, job.peer);
    return;
  }
  session.Close(fd, job.peer);
}

}  // namespace web
