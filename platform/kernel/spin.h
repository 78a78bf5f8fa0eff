// Adaptive spinning before a sleep: when the other side answered quickly the last few
// times, polling for a few tens of microseconds beats the wake-up latency of a sleep.
// Not when the two sides share a processor because one of them is pinned to it: the
// scheduler wakes a thread where its waker runs, so a process pinned to one processor (as
// every process that loads the library is) draws its peers there, and a spin there only
// keeps the answer from being made. Two unpinned threads that happen to meet on a
// processor still spin: the spin is what moves them apart again.
#pragma once

#include <sched.h>
#include <time.h>

#include <atomic>
#include <cstdint>

namespace platform {

inline void CpuRelax() {
#if defined(__x86_64__) || defined(__i386__)
  __builtin_ia32_pause();
#elif defined(__aarch64__)
  asm volatile("yield");
#endif
}

// The monotonic clock in nanoseconds, as spins and waits measure it.
inline std::uint64_t NowNs() {
  timespec ts{};
  ::clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<std::uint64_t>(ts.tv_sec) * 1000000000ull + static_cast<std::uint64_t>(ts.tv_nsec);
}

// Whether the calling thread may run on one processor only (looked at again every 50 ms).
inline bool PinnedToOneProcessor() {
  thread_local std::int64_t checkedMs = -1;
  thread_local bool pinned = false;
  timespec now{};
  ::clock_gettime(CLOCK_MONOTONIC_COARSE, &now);
  const std::int64_t ms = std::int64_t{now.tv_sec} * 1000 + now.tv_nsec / 1000000;
  if (checkedMs < 0 || ms - checkedMs >= 50) {
    cpu_set_t set;
    pinned = ::sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) == 1;
    checkedMs = ms;
  }
  return pinned;
}

// Where the calling thread runs, as the threads that wait for it need to know: its
// processor, plus kPinned when it may run there only; -1 when not known.
constexpr int kPinned = 1 << 16;
inline int CurrentPlace() {
  const int cpu = ::sched_getcpu();
  return cpu < 0 ? -1 : cpu | (PinnedToOneProcessor() ? kPinned : 0);
}

// Processors to which a peer process of this one is pinned (bit n: processor n < 64), as
// its messages tell: a thread that moves keeps off them.
inline std::atomic<std::uint64_t>& PinnedPeerProcessors() {
  static std::atomic<std::uint64_t> processors{0};
  return processors;
}

inline void NotePinnedPeer(int place) {
  if (place < 0 || (place & kPinned) == 0) return;
  const int cpu = place & (kPinned - 1);
  if (cpu < 64) PinnedPeerProcessors().fetch_or(std::uint64_t{1} << cpu, std::memory_order_relaxed);
}

// Moves the calling thread to another of its processors when it runs where `place` (a
// CurrentPlace) ran, and reports whether it moved. When no idle processor shares a cache
// with the waker (on a virtual machine that describes no caches, none ever does), the
// scheduler wakes a thread on its waker's processor; two threads that both go on working
// there, spinning for each other's answers, each hold the other off until the balancer
// moves one, which takes milliseconds. A thread pinned to one processor stays.
inline bool MoveOffProcessor(int place) {
  if (place < 0) return false;
  const int cpu = place & (kPinned - 1);
  if (::sched_getcpu() != cpu || PinnedToOneProcessor()) return false;
  cpu_set_t allowed;
  if (::sched_getaffinity(0, sizeof allowed, &allowed) != 0) return false;
  cpu_set_t elsewhere = allowed;
  CPU_CLR(cpu, &elsewhere);
  cpu_set_t unpinned = elsewhere;
  const std::uint64_t pinned = PinnedPeerProcessors().load(std::memory_order_relaxed);
  for (int c = 0; c < 64; ++c) {
    if ((pinned >> c & 1) != 0) CPU_CLR(c, &unpinned);
  }
  const cpu_set_t& target = CPU_COUNT(&unpinned) > 0 ? unpinned : elsewhere;
  if (CPU_COUNT(&target) == 0 || ::sched_setaffinity(0, sizeof target, &target) != 0) return false;
  ::sched_setaffinity(0, sizeof allowed, &allowed);  // free to go anywhere again, from there
  return true;
}

// One turn of a spinning wait. A thread pinned to one processor shares it with the other
// threads of its process (all pinned there too): it hands the processor to any of them that
// can run, so that its spin never holds up the work it may be waiting for.
inline void SpinPause(int relax) {
  if (PinnedToOneProcessor()) {
    ::sched_yield();
    return;
  }
  for (int i = 0; i < relax; ++i) CpuRelax();
}

class SpinBudget {
 public:
  // Long enough for a small file's whole upload (copy and record, about 100 us), whose
  // notice the sender then catches without a wake-up; a wake-up on an idle processor of
  // this virtual machine costs some 20 us on each side.
  static constexpr std::uint32_t kMaxUs = 150;

  std::uint32_t us() const { return us_; }
  // The spin for a wait on a thread last seen at `peer` (a CurrentPlace; -1: not known).
  std::uint32_t UsFor(int peer) const {
    if (peer < 0 || (peer & (kPinned - 1)) != ::sched_getcpu()) return us_;
    return (peer & kPinned) != 0 || PinnedToOneProcessor() ? 0 : us_;
  }
  // The wait ended while spinning.
  void Caught() { us_ = kMaxUs; }
  // The wait slept; it lasted `waitedUs` in all. An answer that came soon after the spin
  // gave up says spinning pays; a long sleep says the other side is idle.
  void Slept(std::uint64_t waitedUs) {
    if (waitedUs < 4 * kMaxUs) {
      us_ = kMaxUs;
    } else {
      us_ /= 2;
    }
  }

 private:
  std::uint32_t us_ = kMaxUs;
};

}  // namespace platform
