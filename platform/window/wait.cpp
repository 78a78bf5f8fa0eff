// The semaphore lives in shared memory (a futex), which no poll can watch together with
// the thread's message socket; so after a short plain wait the thread alternates between
// serving its sends and waiting on the semaphore in short slices.
#include "platform/window/wait.h"

#include <algorithm>

#include "platform/window/window.h"

namespace platform {

namespace {
// A message number no window uses: the filter lets no posted message or timer through,
// so PeekMessage only runs the incoming sends.
constexpr UINT kNoMessage = 0xFFFFFFFF;
constexpr DWORD kQuietMs = 1;

// Kept with the thread's queue, so every copy of this code in the process (a library's)
// runs the host's toolkit step too.
std::function<void()>& PumpHook() { return detail::ThreadPumpHook(); }
}  // namespace

void SetPumpHook(std::function<void()> hook) { PumpHook() = std::move(hook); }

void ServePendingSends() {
  MSG msg;
  PeekMessage(&msg, 0, kNoMessage, kNoMessage, PM_NOREMOVE);
}

DWORD WaitServingSends(NamedSemaphore& semaphore, DWORD timeoutMs) {
  if (semaphore.Wait(std::min(timeoutMs, kQuietMs)) == WAIT_OBJECT_0) return WAIT_OBJECT_0;
  if (timeoutMs <= kQuietMs) return WAIT_TIMEOUT;
  const std::uint64_t begin = GetTickCount64();
  for (;;) {
    ServePendingSends();
    DWORD slice = kServeSliceMs;
    if (timeoutMs != INFINITE) {
      const std::uint64_t elapsed = GetTickCount64() - begin + kQuietMs;
      if (elapsed >= timeoutMs) return semaphore.Wait(0);
      slice = static_cast<DWORD>(std::min<std::uint64_t>(slice, timeoutMs - elapsed));
    }
    if (semaphore.Wait(slice) == WAIT_OBJECT_0) return WAIT_OBJECT_0;
  }
}

void PumpMessages(DWORD sleepMs) {
  MSG msg;
  while (PeekMessage(&msg, 0, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(msg.wParam));
      break;
    }
    TranslateMessage(&msg);
    DispatchMessage(&msg);
  }
  if (auto& hook = PumpHook()) {
    auto run = hook;  // the hook may replace itself
    run();
  }
  // No sleep at all for 0: even a sleep of 0 ms lasts the timer slack (some 50 us), which
  // a loop serving a window between steps of its work pays at every step.
  if (sleepMs != 0) Sleep(sleepMs);
}

}  // namespace platform
