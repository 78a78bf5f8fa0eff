// Waits that keep serving the messages other threads and processes SEND to the waiting
// thread. A thread that owns windows and blocks on a plain semaphore would hold up every
// sender until it wakes (a sender waits for its answer); these waits run the incoming
// sends meanwhile, as GetMessage and SendMessage do. Posted messages stay queued.
#pragma once

#include <functional>

#include "platform/kernel/kernel.h"

namespace platform {

// Runs the sends that wait for the calling thread now, and returns; posted messages and
// timers are not taken.
void ServePendingSends();

// NamedSemaphore::Wait that serves sends while it waits: WAIT_OBJECT_0, or WAIT_TIMEOUT
// when the time limit (INFINITE: none) passed first. The first millisecond is a plain
// wait, so a quick answer costs nothing extra; after it a send waits at most
// kServeSliceMs for its turn.
DWORD WaitServingSends(NamedSemaphore& semaphore, DWORD timeoutMs);

constexpr DWORD kServeSliceMs = 2;

// Dispatches every message waiting for the calling thread, then sleeps sleepMs (0: does
// not sleep); long loops call it to keep their windows served. A WM_QUIT is put back for
// the loop that owns the thread.
void PumpMessages(DWORD sleepMs = 1);

// A step PumpMessages also runs on the thread that set it (before its sleep): a toolkit's
// host dispatches its own pending events there, so a long operation that pumps keeps its
// windows painted and answering. An empty hook removes it.
void SetPumpHook(std::function<void()> hook);

}  // namespace platform
