// Windows, thread queues and messages within and between processes.
//
// Every thread that owns windows (or waits in a cross-process send) has a queue: an
// in-memory list of posted messages and incoming sends, an eventfd that other threads of
// the process signal, and a Unix datagram socket (runtime folder, named by pid, process
// start time and thread id) that other processes write one record to per post, send or
// reply. The owner thread alone reads its socket, so a message from another process
// reaches it with one wake-up. A poster whose receiver's socket is full waits for room
// (draining its own socket meanwhile, so two full queues cannot deadlock); nothing is
// dropped.
#include "platform/window/window.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <dirent.h>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "platform/kernel/process_object.h"
#include "platform/kernel/spin.h"
#include "platform/text/text.h"
#include "platform/window/window_table.h"

namespace platform {

namespace {

using detail::WindowRow;
using detail::WindowTable;

constexpr std::uint32_t kPost = 1;
constexpr std::uint32_t kSend = 2;
constexpr std::uint32_t kReply = 3;
constexpr std::uint64_t kDeliveryLimitMs = 10000;  // waiting for room in a full receiver queue
constexpr std::uint64_t kSendRecheckMs = 250;      // a pending send re-checks its window this often
constexpr std::size_t kPeerCacheSize = 32;

// One record on a queue socket.
struct WireRecord {
  std::uint32_t kind;
  std::uint32_t window;
  std::uint32_t message;
  std::uint32_t senderPid;
  std::uint32_t senderTid;
  std::uint32_t handled;  // reply: 1 when a procedure ran
  std::uint64_t wParam;
  std::int64_t lParam;
  std::uint64_t senderStart;
  std::uint64_t sendId;
  std::int64_t result;
  std::int32_t senderCpu;  // where the sender ran (CurrentPlace; -1: not known)
  std::uint32_t unused;
};
static_assert(sizeof(WireRecord) == 72);

class ThreadQueue;

// An in-process send waiting for its answer.
struct SendSlot {
  std::atomic<bool> done{false};
  bool handled = false;
  LRESULT result = 0;
  std::weak_ptr<ThreadQueue> waiter;
};

struct IncomingSend {
  HWND window = 0;
  UINT message = 0;
  WPARAM wParam = 0;
  LPARAM lParam = 0;
  std::shared_ptr<SendSlot> slot;  // from this process
  DWORD replyPid = 0;              // from another process
  DWORD replyTid = 0;
  std::uint64_t replyStart = 0;
  std::uint64_t sendId = 0;
};

struct Timer {
  HWND window;
  UINT_PTR id;
  UINT interval;
  std::uint64_t dueMs;
};

class ThreadQueue {
 public:
  explicit ThreadQueue(DWORD threadId) : tid(threadId) {}
  ~ThreadQueue() {
    if (sock >= 0) ::close(sock);
    if (eventFd >= 0) ::close(eventFd);
  }

  // Any thread of the process.
  void PushPosted(const MSG& m) {
    {
      std::lock_guard<std::mutex> lock(mutex);
      posted.push_back(m);
    }
    inputCpu.store(CurrentPlace(), std::memory_order_relaxed);
    Wake();
  }
  void PushSend(IncomingSend s) {
    {
      std::lock_guard<std::mutex> lock(mutex);
      sends.push_back(std::move(s));
    }
    inputCpu.store(CurrentPlace(), std::memory_order_relaxed);
    Wake();
  }
  // The descriptor is written only for an owner that may be asleep: one that spins in
  // WaitInput sees the signal itself (a write is a system call on the poster's path).
  void Wake() {
    if (!signal.exchange(true) && !spinning.load()) {
      std::uint64_t one = 1;
      ssize_t r = ::write(eventFd, &one, sizeof one);
      (void)r;
    }
  }

  const DWORD tid;
  int eventFd = -1;
  int sock = -1;
  std::string sockPath;

  std::mutex mutex;
  std::deque<MSG> posted;
  std::deque<IncomingSend> sends;
  std::atomic<bool> signal{false};
  std::atomic<bool> spinning{false};  // the owner polls `signal` in WaitInput
  SpinProbe probe = nullptr;          // owner thread only (SetSpinProbe)
  void* probeContext = nullptr;
  std::atomic<int> inputCpu{-1};  // where the thread that gave the last input ran (CurrentPlace)

  // Owner thread only.
  std::vector<Timer> timers;
  bool quit = false;
  int quitCode = 0;
  std::vector<std::uint64_t> awaited;  // ids of our cross-process sends still waited for
  std::unordered_map<std::uint64_t, std::pair<bool, LRESULT>> replies;
  SpinBudget spin;
  // Where each thread of another process last wrote to this queue from (CurrentPlace).
  struct PeerCpu {
    DWORD pid;
    DWORD tid;
    int cpu;
  };
  std::vector<PeerCpu> peerCpus;
  int PeerCpuOf(DWORD pid, DWORD tid) const {
    for (const PeerCpu& p : peerCpus) {
      if (p.pid == pid && p.tid == tid) return p.cpu;
    }
    return -1;
  }
  void NotePeerCpu(DWORD pid, DWORD tid, int cpu) {
    inputCpu.store(cpu, std::memory_order_relaxed);
    for (PeerCpu& p : peerCpus) {
      if (p.pid == pid && p.tid == tid) {
        p.cpu = cpu;
        return;
      }
    }
    if (peerCpus.size() >= kPeerCacheSize) peerCpus.erase(peerCpus.begin());
    peerCpus.push_back({pid, tid, cpu});
  }
};

struct ClassEntry {
  std::string name;  // as registered
  WindowProc procedure;
};

struct LocalWindow {
  DWORD tid;
  std::shared_ptr<const WindowProc> procedure;
  std::string classKey;
  bool destroying = false;
};

struct ThreadState;

// One per process, whichever copy of this code (a program's, a loaded library's) uses it:
// the windows of both live in one table of procedures and one queue per thread.
struct ProcessState {
  std::once_flag once;
  ThreadState& (*threadState)() = nullptr;  // the calling thread's state, of the first copy
  std::mutex mutex;
  std::unordered_map<std::string, ClassEntry> classes;  // by lower-case name
  std::unordered_map<HWND, LocalWindow> windows;
  std::unordered_map<DWORD, std::weak_ptr<ThreadQueue>> queues;
  std::unordered_map<std::string, UINT> atoms;  // by lower-case name
  std::string folder;
  DWORD pid = 0;
  std::uint64_t start = 0;
  std::atomic<std::uint64_t> nextSendId{1};
};

void OnExit();

std::string SocketName(DWORD pid, std::uint64_t start, DWORD tid) {
  char name[64];
  std::snprintf(name, sizeof name, "q%u.%llu.%u", pid, static_cast<unsigned long long>(start), tid);
  return name;
}

// Socket files of dead processes are left when a process was killed: remove them.
void SweepDeadSockets(const std::string& folder) {
  DIR* d = ::opendir(folder.c_str());
  if (d == nullptr) return;
  while (dirent* e = ::readdir(d)) {
    unsigned pid = 0, tid = 0;
    unsigned long long start = 0;
    if (e->d_name[0] == 'q' && std::sscanf(e->d_name, "q%u.%llu.%u", &pid, &start, &tid) == 3 &&
        !IsProcessAlive(pid, start)) {
      ::unlink((folder + "/" + e->d_name).c_str());
    }
  }
  ::closedir(d);
}

ThreadState& LocalTls();

ProcessState& Process() {
  // Lives until the process ends: threads may outlive statics.
  static ProcessState* state = [] {
    ProcessState* p = &ProcessObject<ProcessState>("platform.window.process");
    std::call_once(p->once, [p] {
      p->threadState = &LocalTls;
      p->folder = RuntimeFolder();
      p->pid = GetCurrentProcessId();
      p->start = CurrentProcessStartTime();
      if (!p->folder.empty()) SweepDeadSockets(p->folder);
      std::atexit(OnExit);
      std::at_quick_exit(OnExit);
    });
    return p;
  }();
  return *state;
}

bool IsThisProcess(const WindowRow& row) {
  ProcessState& p = Process();
  return row.pid == p.pid && row.start == p.start;
}

// ---- per-thread state ----

struct Peer {
  DWORD pid;
  std::uint64_t start;
  DWORD tid;
  int fd;
};

void ShutdownQueue(ThreadQueue& q);

struct ThreadState {
  std::shared_ptr<ThreadQueue> queue;
  std::function<void()> pumpHook;  // PumpMessages' toolkit step on this thread (wait.cpp)
  std::vector<Peer> peers;  // connected sockets to other processes' queues, oldest first

  ~ThreadState() {
    if (queue) ShutdownQueue(*queue);
    for (auto& peer : peers) ::close(peer.fd);
    peers.clear();
    queue.reset();
  }

  // A socket connected to that thread's queue, or -1 when it has none (gone).
  int PeerFd(DWORD pid, std::uint64_t start, DWORD tid) {
    for (auto& peer : peers) {
      if (peer.pid == pid && peer.start == start && peer.tid == tid) return peer.fd;
    }
    ProcessState& p = Process();
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::string path = p.folder + "/" + SocketName(pid, start, tid);
    if (p.folder.empty() || path.size() >= sizeof addr.sun_path) return -1;
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
      ::close(fd);
      return -1;
    }
    if (peers.size() >= kPeerCacheSize) {
      ::close(peers.front().fd);
      peers.erase(peers.begin());
    }
    peers.push_back({pid, start, tid, fd});
    return fd;
  }

  void DropPeer(int fd) {
    for (auto it = peers.begin(); it != peers.end(); ++it) {
      if (it->fd == fd) {
        ::close(fd);
        peers.erase(it);
        return;
      }
    }
  }
};

ThreadState& LocalTls() {
  thread_local ThreadState state;
  return state;
}

// The thread's state as the process's first copy of this code keeps it.
ThreadState& Tls() { return Process().threadState(); }

}  // namespace

namespace detail {
std::function<void()>& ThreadPumpHook() { return Tls().pumpHook; }
}  // namespace detail

namespace {

ThreadQueue& CurrentQueue() {
  ThreadState& ts = Tls();
  if (ts.queue) return *ts.queue;
  ProcessState& p = Process();
  auto q = std::make_shared<ThreadQueue>(GetCurrentThreadId());
  q->eventFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  if (!p.folder.empty()) {
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::string path = p.folder + "/" + SocketName(p.pid, p.start, q->tid);
    int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd >= 0 && path.size() < sizeof addr.sun_path) {
      std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
      ::unlink(path.c_str());
      if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) {
        q->sock = fd;
        q->sockPath = path;
        fd = -1;
      }
    }
    if (fd >= 0) ::close(fd);
    if (q->sock < 0) {
      std::fprintf(stderr, "tovarin: cannot open the message socket %s: %s; other processes cannot reach this thread\n",
                   path.c_str(), std::strerror(errno));
    }
  }
  {
    std::lock_guard<std::mutex> lock(p.mutex);
    p.queues[q->tid] = q;
  }
  ts.queue = q;
  return *q;
}

// ---- procedures and local windows ----

// The procedure of a window owned by thread `tid` of this process, or null.
std::shared_ptr<const WindowProc> ProcedureOf(HWND window, DWORD tid) {
  ProcessState& p = Process();
  std::lock_guard<std::mutex> lock(p.mutex);
  auto it = p.windows.find(window);
  if (it == p.windows.end() || it->second.tid != tid) return nullptr;
  return it->second.procedure;
}

std::shared_ptr<ThreadQueue> QueueOfLocalWindow(HWND window) {
  ProcessState& p = Process();
  std::lock_guard<std::mutex> lock(p.mutex);
  auto it = p.windows.find(window);
  if (it == p.windows.end()) return nullptr;
  auto q = p.queues.find(it->second.tid);
  return q == p.queues.end() ? nullptr : q->second.lock();
}

// ---- records from other processes ----

void HandleRecord(ThreadQueue& q, const WireRecord& r) {
  q.NotePeerCpu(r.senderPid, r.senderTid, r.senderCpu);
  // A sender pinned to our processor cannot move, and it spins for our answer.
  if ((r.senderCpu & kPinned) != 0) {
    NotePinnedPeer(r.senderCpu);
    MoveOffProcessor(r.senderCpu);
  }
  switch (r.kind) {
    case kPost:
      if (ProcedureOf(r.window, q.tid)) {
        MSG m;
        m.hwnd = r.window;
        m.message = r.message;
        m.wParam = r.wParam;
        m.lParam = r.lParam;
        m.time = GetTickCount();
        std::lock_guard<std::mutex> lock(q.mutex);
        q.posted.push_back(m);
      }
      break;
    case kSend: {
      IncomingSend s;
      s.window = r.window;
      s.message = r.message;
      s.wParam = r.wParam;
      s.lParam = r.lParam;
      s.replyPid = r.senderPid;
      s.replyTid = r.senderTid;
      s.replyStart = r.senderStart;
      s.sendId = r.sendId;
      std::lock_guard<std::mutex> lock(q.mutex);
      q.sends.push_back(std::move(s));
      break;
    }
    case kReply:
      if (std::find(q.awaited.begin(), q.awaited.end(), r.sendId) != q.awaited.end()) {
        q.replies[r.sendId] = {r.handled != 0, r.result};
      }
      break;
    default:
      break;
  }
}

void DrainSocket(ThreadQueue& q) {
  if (q.sock < 0) return;
  WireRecord r;
  for (;;) {
    ssize_t n = ::recv(q.sock, &r, sizeof r, MSG_DONTWAIT);
    if (n == static_cast<ssize_t>(sizeof r)) {
      HandleRecord(q, r);
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else if (n < 0) {
      return;
    }
  }
}

// Writes one record to another process's thread queue; waits for room when it is full.
bool Deliver(DWORD pid, std::uint64_t start, DWORD tid, WireRecord record, ThreadQueue* self) {
  record.senderCpu = CurrentPlace();
  ThreadState& ts = Tls();
  int fd = ts.PeerFd(pid, start, tid);
  if (fd < 0) return false;
  std::uint64_t deadline = GetTickCount64() + kDeliveryLimitMs;
  for (;;) {
    ssize_t n = ::send(fd, &record, sizeof record, MSG_NOSIGNAL);
    if (n == static_cast<ssize_t>(sizeof record)) return true;
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == ENOBUFS)) {
      std::uint64_t now = GetTickCount64();
      if (now >= deadline) {
        std::fprintf(stderr,
                     "tovarin: message 0x%X for window 0x%X not delivered: the receiving thread %u of process %u "
                     "has not read its queue for %llu ms\n",
                     record.message, record.window, tid, pid, static_cast<unsigned long long>(kDeliveryLimitMs));
        return false;
      }
      // Keep reading our own queue meanwhile, so two full queues cannot wait on each other.
      pollfd fds[2] = {{fd, POLLOUT, 0}, {self != nullptr ? self->sock : -1, POLLIN, 0}};
      ::poll(fds, 2, static_cast<int>(std::min<std::uint64_t>(deadline - now, 100)));
      if (self != nullptr && (fds[1].revents & POLLIN) != 0) DrainSocket(*self);
      if ((fds[0].revents & (POLLERR | POLLHUP)) != 0 && !IsProcessAlive(pid, start)) {
        ts.DropPeer(fd);
        return false;
      }
      continue;
    }
    ts.DropPeer(fd);  // the receiver closed its queue
    return false;
  }
}

// ---- serving sends ----

void Complete(IncomingSend& s, bool handled, LRESULT result, ThreadQueue& q) {
  if (s.slot) {
    s.slot->handled = handled;
    s.slot->result = result;
    s.slot->done.store(true, std::memory_order_release);
    if (auto waiter = s.slot->waiter.lock()) waiter->Wake();
    return;
  }
  ProcessState& p = Process();
  WireRecord r{};
  r.kind = kReply;
  r.window = s.window;
  r.message = s.message;
  r.senderPid = p.pid;
  r.senderTid = q.tid;
  r.senderStart = p.start;
  r.sendId = s.sendId;
  r.handled = handled ? 1 : 0;
  r.result = result;
  Deliver(s.replyPid, s.replyStart, s.replyTid, r, &q);
}

void ServeSends(ThreadQueue& q) {
  for (;;) {
    IncomingSend s;
    {
      std::lock_guard<std::mutex> lock(q.mutex);
      if (q.sends.empty()) return;
      s = std::move(q.sends.front());
      q.sends.pop_front();
    }
    bool handled = false;
    LRESULT result = 0;
    if (auto proc = ProcedureOf(s.window, q.tid)) {
      result = (*proc)(s.window, s.message, s.wParam, s.lParam);
      handled = true;
    }
    Complete(s, handled, result, q);
  }
}

// Takes in everything that arrived and serves the incoming sends.
void Pump(ThreadQueue& q) {
  q.signal.store(false);
  DrainSocket(q);
  ServeSends(q);
}

bool Readable(int fd) {
  if (fd < 0) return false;
  pollfd p{fd, POLLIN, 0};
  return ::poll(&p, 1, 0) > 0;
}

// Waits until something may have arrived, the deadline (0: none) passed, or extraFd
// turned readable, and tells whether it saw extraFd readable. Spins first when recent
// waits were short, unless the thread expected to write (`peerCpu`, -1: not known) last
// ran on this processor.
bool WaitInput(ThreadQueue& q, std::uint64_t deadlineNs, int extraFd, int peerCpu) {
  if (q.signal.load()) return false;
  const std::uint64_t begin = NowNs();
  if (deadlineNs != 0 && begin >= deadlineNs) return false;
  std::uint64_t spinEnd = begin + std::uint64_t{q.spin.UsFor(peerCpu)} * 1000u;
  if (deadlineNs != 0) spinEnd = std::min(spinEnd, deadlineNs);
  if (NowNs() < spinEnd) {
    // Local posters skip the descriptor while this is set. Both sides use sequentially
    // consistent operations: a poster that saw `spinning` set had set `signal` before the
    // spin ends, and the look at `signal` after the spin sees it.
    q.spinning.store(true);
    bool caught = q.probe != nullptr && q.probe(q.probeContext, SpinProbeCall::kSpinStarts);
    while (!caught && NowNs() < spinEnd) {
      if (q.signal.load() || (q.probe != nullptr && q.probe(q.probeContext, SpinProbeCall::kTurn))) {
        caught = true;
        break;
      }
      if (q.sock >= 0) {
        WireRecord r;
        if (::recv(q.sock, &r, sizeof r, MSG_DONTWAIT) == static_cast<ssize_t>(sizeof r)) {
          HandleRecord(q, r);
          caught = true;
          break;
        }
      }
      SpinPause(16);
    }
    q.spinning.store(false);
    if (q.probe != nullptr && q.probe(q.probeContext, SpinProbeCall::kSpinEnds)) caught = true;
    if (caught || q.signal.load()) {
      q.spin.Caught();
      return false;
    }
  }
  pollfd fds[3] = {{q.eventFd, POLLIN, 0}, {q.sock, POLLIN, 0}, {extraFd, POLLIN, 0}};
  timespec ts{};
  if (deadlineNs != 0) {
    std::uint64_t now = NowNs();
    std::uint64_t left = deadlineNs > now ? deadlineNs - now : 0;
    ts.tv_sec = static_cast<time_t>(left / 1000000000u);
    ts.tv_nsec = static_cast<long>(left % 1000000000u);
  }
  int r = ::ppoll(fds, 3, deadlineNs != 0 ? &ts : nullptr, nullptr);
  if (r > 0 && (fds[0].revents & POLLIN) != 0) {
    std::uint64_t value;
    ssize_t n = ::read(q.eventFd, &value, sizeof value);
    (void)n;
  }
  q.spin.Slept((NowNs() - begin) / 1000u);
  return r > 0 && extraFd >= 0 && (fds[2].revents & (POLLIN | POLLHUP | POLLERR)) != 0;
}

// Serves incoming sends until done() holds, the time limit passes, the target window goes
// away or its process (watched through exitFd) ends. The end of the process shows while the
// wait sleeps; a wait that spins looks again at each recheck.
template <typename Done>
bool WaitForAnswer(ThreadQueue& q, Done done, unsigned timeoutMs, HWND target, int exitFd, int targetCpu) {
  const std::uint64_t begin = NowNs();
  const std::uint64_t deadline = timeoutMs == INFINITE ? 0 : begin + std::uint64_t{timeoutMs} * 1000000u;
  std::uint64_t recheck = begin + kSendRecheckMs * 1000000u;
  bool exited = false;
  for (;;) {
    Pump(q);
    if (done()) return true;
    std::uint64_t now = NowNs();
    if (deadline != 0 && now >= deadline) return false;
    if (now >= recheck || exited) {
      if (exited || !IsWindow(target) || Readable(exitFd)) {
        Pump(q);
        return done();
      }
      recheck = now + kSendRecheckMs * 1000000u;
    }
    exited = WaitInput(q, deadline != 0 ? std::min(deadline, recheck) : recheck, exitFd, targetCpu);
  }
}

// ---- taking messages ----

bool Matches(HWND hwnd, UINT message, HWND window, UINT first, UINT last) {
  if (window != 0 && hwnd != window) return false;
  if (first == 0 && last == 0) return true;
  return message >= first && message <= last;
}

bool TakePosted(ThreadQueue& q, MSG* msg, HWND window, UINT first, UINT last, bool remove) {
  std::lock_guard<std::mutex> lock(q.mutex);
  for (auto it = q.posted.begin(); it != q.posted.end(); ++it) {
    if (it->message == WM_QUIT || Matches(it->hwnd, it->message, window, first, last)) {
      *msg = *it;
      if (remove) q.posted.erase(it);
      return true;
    }
  }
  return false;
}

bool TakeTimer(ThreadQueue& q, MSG* msg, HWND window, UINT first, UINT last, bool remove) {
  std::uint64_t now = GetTickCount64();
  Timer* due = nullptr;
  for (auto& t : q.timers) {
    if (t.dueMs <= now && Matches(t.window, WM_TIMER, window, first, last) && (due == nullptr || t.dueMs < due->dueMs)) {
      due = &t;
    }
  }
  if (due == nullptr) return false;
  msg->hwnd = due->window;
  msg->message = WM_TIMER;
  msg->wParam = due->id;
  msg->lParam = 0;
  msg->time = static_cast<DWORD>(now);
  if (remove) due->dueMs = now + due->interval;
  return true;
}

// When the next timer that the filter lets through is due; 0 when there is none.
std::uint64_t NextTimerNs(const ThreadQueue& q, HWND window, UINT first, UINT last) {
  std::uint64_t due = ~0ull;
  for (const auto& t : q.timers) {
    if (Matches(t.window, WM_TIMER, window, first, last)) due = std::min(due, t.dueMs);
  }
  if (due == ~0ull) return 0;
  std::uint64_t nowMs = GetTickCount64();
  std::uint64_t now = NowNs();
  return due <= nowMs ? now : now + (due - nowMs) * 1000000u;
}

// ---- thread and process end ----

void ShutdownQueue(ThreadQueue& q) {
  ProcessState& p = Process();
  std::vector<HWND> mine;
  {
    std::lock_guard<std::mutex> lock(p.mutex);
    for (auto it = p.windows.begin(); it != p.windows.end();) {
      if (it->second.tid == q.tid) {
        mine.push_back(it->first);
        it = p.windows.erase(it);
      } else {
        ++it;
      }
    }
    p.queues.erase(q.tid);
  }
  if (WindowTable* table = WindowTable::Instance()) {
    for (HWND h : mine) table->Remove(h);
  }
  if (!q.sockPath.empty()) ::unlink(q.sockPath.c_str());
  // Whoever still waits on a send to this thread gets "not handled" now.
  DrainSocket(q);
  std::deque<IncomingSend> pending;
  {
    std::lock_guard<std::mutex> lock(q.mutex);
    pending.swap(q.sends);
  }
  for (auto& s : pending) Complete(s, false, 0, q);
}

void OnExit() {
  if (WindowTable* table = WindowTable::Instance()) table->RemoveProcess();
  ProcessState& p = Process();
  // Another thread may hold the lock forever at exit: never block here.
  std::unique_lock<std::mutex> lock(p.mutex, std::try_to_lock);
  if (!lock.owns_lock()) return;
  for (auto& entry : p.queues) {
    if (auto q = entry.second.lock(); q && !q->sockPath.empty()) ::unlink(q->sockPath.c_str());
  }
}

std::vector<WindowRow> LiveRows() {
  std::vector<WindowRow> live;
  WindowTable* table = WindowTable::Instance();
  if (table == nullptr) return live;
  for (auto& row : table->Rows()) {
    if (detail::OwnerAlive(row)) {
      live.push_back(std::move(row));
    } else {
      table->Reap(row);
    }
  }
  std::sort(live.begin(), live.end(), [](const WindowRow& a, const WindowRow& b) { return a.order > b.order; });
  return live;
}

std::optional<WindowRow> LiveRow(HWND window) {
  WindowTable* table = WindowTable::Instance();
  if (table == nullptr) return std::nullopt;
  auto row = table->Find(window);
  if (!row) return std::nullopt;
  if (!detail::OwnerAlive(*row)) {
    table->Reap(*row);
    return std::nullopt;
  }
  return row;
}

UINT RegisterAtom(std::string_view name) {
  if (name.empty() || name.size() > 255) return 0;
  ProcessState& p = Process();
  std::string key = ToLowerAscii(name);
  {
    std::lock_guard<std::mutex> lock(p.mutex);
    auto it = p.atoms.find(key);
    if (it != p.atoms.end()) return it->second;
  }
  WindowTable* table = WindowTable::Instance();
  UINT atom = table != nullptr ? table->AddAtom(name) : 0;
  if (atom != 0) {
    std::lock_guard<std::mutex> lock(p.mutex);
    p.atoms[key] = atom;
  }
  return atom;
}

}  // namespace

// ---- posting and sending ----

bool PostMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto row = LiveRow(window);
  if (!row) return false;
  if (IsThisProcess(*row)) {
    auto q = QueueOfLocalWindow(window);
    if (!q) return false;
    MSG m;
    m.hwnd = window;
    m.message = message;
    m.wParam = wParam;
    m.lParam = lParam;
    m.time = GetTickCount();
    q->PushPosted(m);
    return true;
  }
  ProcessState& p = Process();
  WireRecord r{};
  r.kind = kPost;
  r.window = window;
  r.message = message;
  r.senderPid = p.pid;
  r.senderTid = GetCurrentThreadId();
  r.senderStart = p.start;
  r.wParam = wParam;
  r.lParam = lParam;
  return Deliver(row->pid, row->start, row->tid, r, Tls().queue.get());
}

bool SendMessageTimeout(HWND window, UINT message, WPARAM wParam, LPARAM lParam, unsigned timeoutMs,
                        LRESULT* result) {
  auto row = LiveRow(window);
  if (!row) return false;
  const DWORD me = GetCurrentThreadId();
  if (IsThisProcess(*row)) {
    if (row->tid == me) {
      auto proc = ProcedureOf(window, me);
      if (!proc) return false;
      LRESULT r = (*proc)(window, message, wParam, lParam);
      if (result != nullptr) *result = r;
      return true;
    }
    auto target = QueueOfLocalWindow(window);
    if (!target) return false;
    ThreadQueue& q = CurrentQueue();
    auto slot = std::make_shared<SendSlot>();
    slot->waiter = Tls().queue;
    IncomingSend s;
    s.window = window;
    s.message = message;
    s.wParam = wParam;
    s.lParam = lParam;
    s.slot = slot;
    target->PushSend(std::move(s));
    target.reset();
    bool answered =
        WaitForAnswer(q, [&] { return slot->done.load(std::memory_order_acquire); }, timeoutMs, window, -1, -1);
    if (!answered || !slot->handled) return false;
    if (result != nullptr) *result = slot->result;
    return true;
  }

  ThreadQueue& q = CurrentQueue();
  if (q.sock < 0) return false;
  ProcessState& p = Process();
  const std::uint64_t id = p.nextSendId.fetch_add(1);
  WireRecord r{};
  r.kind = kSend;
  r.window = window;
  r.message = message;
  r.senderPid = p.pid;
  r.senderTid = me;
  r.senderStart = p.start;
  r.wParam = wParam;
  r.lParam = lParam;
  r.sendId = id;
  q.awaited.push_back(id);
  bool answered = false;
  if (Deliver(row->pid, row->start, row->tid, r, &q)) {
    const auto exitWatch = ProcessExitWatch(row->pid, row->start);
    answered = WaitForAnswer(q, [&] { return q.replies.count(id) != 0; }, timeoutMs, window,
                             exitWatch ? exitWatch->fd() : -1, q.PeerCpuOf(row->pid, row->tid));
  }
  q.awaited.erase(std::find(q.awaited.begin(), q.awaited.end(), id));
  auto it = q.replies.find(id);
  if (!answered || it == q.replies.end()) return false;
  auto [handled, value] = it->second;
  q.replies.erase(it);
  if (!handled) return false;
  if (result != nullptr) *result = value;
  return true;
}

LRESULT SendMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  LRESULT result = 0;
  return SendMessageTimeout(window, message, wParam, lParam, INFINITE, &result) ? result : 0;
}

bool IsWindow(HWND window) { return LiveRow(window).has_value(); }

void SetSpinProbe(SpinProbe probe, void* context) {
  ThreadQueue& q = CurrentQueue();
  q.probe = probe;
  q.probeContext = context;
}

// ---- classes and windows ----

LRESULT DefWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_CLOSE) DestroyWindow(window);
  if (message == WM_APPCOMMAND) {
    if (const HWND parent = GetParent(window); parent != 0) return SendMessage(parent, message, wParam, lParam);
  }
  return 0;
}

bool RegisterClass(std::string_view className, WindowProc procedure) {
  if (className.empty() || className.size() > 255) return false;
  ProcessState& p = Process();
  std::lock_guard<std::mutex> lock(p.mutex);
  return p.classes.emplace(ToLowerAscii(className), ClassEntry{std::string(className), std::move(procedure)}).second;
}

bool UnregisterClass(std::string_view className) {
  ProcessState& p = Process();
  std::string key = ToLowerAscii(className);
  std::lock_guard<std::mutex> lock(p.mutex);
  for (const auto& w : p.windows) {
    if (w.second.classKey == key) return false;
  }
  return p.classes.erase(key) != 0;
}

HWND CreateWindow(std::string_view className, HWND parent, WindowProc procedure) {
  WindowTable* table = WindowTable::Instance();
  if (table == nullptr) return 0;
  ProcessState& p = Process();
  std::string key = ToLowerAscii(className);
  std::string registered;
  std::shared_ptr<const WindowProc> proc;
  {
    std::lock_guard<std::mutex> lock(p.mutex);
    auto it = p.classes.find(key);
    if (it == p.classes.end()) return 0;
    registered = it->second.name;
    if (procedure) {
      proc = std::make_shared<const WindowProc>(std::move(procedure));
    } else if (it->second.procedure) {
      proc = std::make_shared<const WindowProc>(it->second.procedure);
    } else {
      proc = std::make_shared<const WindowProc>(DefWindowProc);
    }
  }
  if (parent != 0 && !IsWindow(parent)) return 0;
  ThreadQueue& q = CurrentQueue();  // the socket exists before anyone can find the window
  HWND window = table->Add(registered, parent, q.tid);
  if (window == 0) {
    std::fprintf(stderr, "tovarin: cannot create a window of class \"%s\": the window table is full\n",
                 registered.c_str());
    return 0;
  }
  {
    std::lock_guard<std::mutex> lock(p.mutex);
    p.windows[window] = LocalWindow{q.tid, proc, key};
  }
  if ((*proc)(window, WM_CREATE, 0, 0) == -1) {
    DestroyWindow(window);
    return 0;
  }
  return window;
}

bool DestroyWindow(HWND window) {
  ProcessState& p = Process();
  const DWORD me = GetCurrentThreadId();
  std::shared_ptr<const WindowProc> proc;
  {
    std::lock_guard<std::mutex> lock(p.mutex);
    auto it = p.windows.find(window);
    if (it == p.windows.end() || it->second.tid != me || it->second.destroying) return false;
    it->second.destroying = true;
    proc = it->second.procedure;
  }
  (*proc)(window, WM_DESTROY, 0, 0);
  for (const auto& row : LiveRows()) {
    if (row.parent == window && IsThisProcess(row) && row.tid == me) DestroyWindow(row.handle);
  }
  {
    std::lock_guard<std::mutex> lock(p.mutex);
    p.windows.erase(window);
  }
  if (WindowTable* table = WindowTable::Instance()) table->Remove(window);
  ThreadQueue& q = CurrentQueue();
  {
    std::lock_guard<std::mutex> lock(q.mutex);
    q.posted.erase(std::remove_if(q.posted.begin(), q.posted.end(), [&](const MSG& m) { return m.hwnd == window; }),
                   q.posted.end());
  }
  q.timers.erase(std::remove_if(q.timers.begin(), q.timers.end(), [&](const Timer& t) { return t.window == window; }),
                 q.timers.end());
  return true;
}

HWND FindWindow(std::string_view className, HWND parent) {
  for (const auto& row : LiveRows()) {
    if (row.parent == parent && EqualsNoCase(row.className, className)) return row.handle;
  }
  return 0;
}

void EnumWindows(const std::function<bool(HWND)>& callback) {
  for (const auto& row : LiveRows()) {
    if (row.parent == 0 && !callback(row.handle)) return;
  }
}

namespace {
bool EnumChildren(const std::vector<WindowRow>& rows, HWND parent, const std::function<bool(HWND)>& callback,
                  int depth) {
  if (depth > 64) return true;  // a cycle can only come from a corrupted table
  for (const auto& row : rows) {
    if (row.parent != parent) continue;
    if (!callback(row.handle)) return false;
    if (!EnumChildren(rows, row.handle, callback, depth + 1)) return false;
  }
  return true;
}
}  // namespace

void EnumChildWindows(HWND parent, const std::function<bool(HWND)>& callback) {
  if (parent == 0) return;
  EnumChildren(LiveRows(), parent, callback, 0);
}

std::string GetClassName(HWND window) {
  auto row = LiveRow(window);
  return row ? row->className : std::string();
}

HWND GetParent(HWND window) {
  auto row = LiveRow(window);
  return row ? row->parent : 0;
}

DWORD GetWindowThreadProcessId(HWND window, DWORD* processId) {
  auto row = LiveRow(window);
  if (processId != nullptr) *processId = row ? row->pid : 0;
  return row ? row->tid : 0;
}

// ---- the thread's queue ----

int GetMessage(MSG* msg, HWND window, UINT first, UINT last) {
  ThreadQueue& q = CurrentQueue();
  for (;;) {
    Pump(q);
    if (TakePosted(q, msg, window, first, last, true)) return msg->message == WM_QUIT ? 0 : 1;
    if (q.quit) {
      q.quit = false;
      *msg = MSG{0, WM_QUIT, static_cast<WPARAM>(q.quitCode), 0, GetTickCount()};
      return 0;
    }
    if (TakeTimer(q, msg, window, first, last, true)) return 1;
    WaitInput(q, NextTimerNs(q, window, first, last), -1, q.inputCpu.load(std::memory_order_relaxed));
  }
}

void WaitForInput(DWORD ms) {
  ThreadQueue& q = CurrentQueue();
  {
    std::lock_guard<std::mutex> lock(q.mutex);
    if (!q.posted.empty() || !q.sends.empty()) return;
  }
  std::uint64_t deadline = NowNs() + std::uint64_t{ms} * 1000000u;
  const std::uint64_t timer = NextTimerNs(q, 0, 0, 0);
  if (timer != 0) deadline = std::min(deadline, timer);
  WaitInput(q, deadline, -1, q.inputCpu.load(std::memory_order_relaxed));
}

bool PeekMessage(MSG* msg, HWND window, UINT first, UINT last, UINT remove) {
  ThreadQueue& q = CurrentQueue();
  Pump(q);
  const bool take = (remove & PM_REMOVE) != 0;
  if (TakePosted(q, msg, window, first, last, take)) return true;
  if (q.quit) {
    if (take) q.quit = false;
    *msg = MSG{0, WM_QUIT, static_cast<WPARAM>(q.quitCode), 0, GetTickCount()};
    return true;
  }
  return TakeTimer(q, msg, window, first, last, take);
}

bool TranslateMessage(const MSG*) { return false; }

LRESULT DispatchMessage(const MSG* msg) {
  if (msg == nullptr || msg->hwnd == 0) return 0;
  auto proc = ProcedureOf(msg->hwnd, GetCurrentThreadId());
  return proc ? (*proc)(msg->hwnd, msg->message, msg->wParam, msg->lParam) : 0;
}

void PostQuitMessage(int exitCode) {
  ThreadQueue& q = CurrentQueue();
  q.quit = true;
  q.quitCode = exitCode;
}

UINT_PTR SetTimer(HWND window, UINT_PTR id, UINT intervalMs) {
  if (!ProcedureOf(window, GetCurrentThreadId())) return 0;
  ThreadQueue& q = CurrentQueue();
  std::uint64_t due = GetTickCount64() + intervalMs;
  for (auto& t : q.timers) {
    if (t.window == window && t.id == id) {
      t.interval = intervalMs;
      t.dueMs = due;
      return id != 0 ? id : 1;
    }
  }
  q.timers.push_back({window, id, intervalMs, due});
  return id != 0 ? id : 1;
}

bool KillTimer(HWND window, UINT_PTR id) {
  ThreadQueue& q = CurrentQueue();
  auto it = std::find_if(q.timers.begin(), q.timers.end(), [&](const Timer& t) { return t.window == window && t.id == id; });
  if (it == q.timers.end()) return false;
  q.timers.erase(it);
  return true;
}

// ---- atoms ----

UINT RegisterWindowMessage(std::string_view name) { return RegisterAtom(name); }
UINT RegisterClipboardFormat(std::string_view name) { return RegisterAtom(name); }

std::string GetClipboardFormatName(UINT format) {
  WindowTable* table = WindowTable::Instance();
  return table != nullptr ? table->AtomName(format) : std::string();
}

// ---- the queue as a descriptor, for toolkit loops ----

namespace {

// One epoll descriptor per thread over its eventfd and its socket: a single descriptor
// that a toolkit's loop can watch.
struct QueueDescriptor {
  int fd = -1;
  ~QueueDescriptor() {
    if (fd >= 0) ::close(fd);
  }
};

}  // namespace

int GetMessageQueueDescriptor() {
  thread_local QueueDescriptor descriptor;
  if (descriptor.fd >= 0) return descriptor.fd;
  ThreadQueue& q = CurrentQueue();
  int fd = ::epoll_create1(EPOLL_CLOEXEC);
  if (fd < 0) return -1;
  for (int watched : {q.eventFd, q.sock}) {
    if (watched < 0) continue;
    epoll_event e{};
    e.events = EPOLLIN;
    e.data.fd = watched;
    ::epoll_ctl(fd, EPOLL_CTL_ADD, watched, &e);
  }
  descriptor.fd = fd;
  return fd;
}

void ResetMessageQueueDescriptor() {
  ThreadQueue& q = CurrentQueue();
  std::uint64_t value;
  while (::read(q.eventFd, &value, sizeof value) > 0) {
  }
}

int GetMessageQueueTimeoutMs() {
  ThreadQueue& q = CurrentQueue();
  const std::uint64_t due = NextTimerNs(q, 0, 0, 0);
  if (due == 0) return -1;
  const std::uint64_t now = NowNs();
  return due <= now ? 0 : static_cast<int>(std::min<std::uint64_t>((due - now + 999999u) / 1000000u, 1u << 30));
}

}  // namespace platform
