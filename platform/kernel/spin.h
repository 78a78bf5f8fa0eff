// Adaptive spinning before a sleep: when the other side answered quickly the last few
// times, polling for a few tens of microseconds beats the wake-up latency of a sleep.
// Never while the other side last ran on the waiter's own processor: the scheduler tends
// to wake a thread where its waker runs (a process pinned to one processor draws its
// peers there), and a spin there only keeps the answer from being made.
#pragma once

#include <sched.h>

#include <cstdint>

namespace platform {

inline void CpuRelax() {
#if defined(__x86_64__) || defined(__i386__)
  __builtin_ia32_pause();
#elif defined(__aarch64__)
  asm volatile("yield");
#endif
}

class SpinBudget {
 public:
  static constexpr std::uint32_t kMaxUs = 60;

  std::uint32_t us() const { return us_; }
  // The spin for a wait on a thread that last ran on processor `peer` (-1: not known).
  std::uint32_t UsFor(int peer) const { return peer >= 0 && peer == ::sched_getcpu() ? 0 : us_; }
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
