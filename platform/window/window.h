// Windows and messages between threads and processes.
// A window is a 32-bit handle unique within the namespace ($TOVARIN_NS), a class name,
// an owner thread and a procedure. Messages posted or sent to a window run its
// procedure on the owner thread when that thread pumps its queue.
#pragma once

#include <cstdint>

namespace platform {

using HWND = std::uint32_t;  // 0 is "no window"
using UINT = std::uint32_t;
using WPARAM = std::uint64_t;
using LPARAM = std::int64_t;
using LRESULT = std::int64_t;

constexpr UINT WM_USER = 0x0400;

// Queues the message for the window's owner thread and returns at once; false when the
// window does not exist (or its process is gone).
bool PostMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Runs the message on the window's owner thread and waits for its answer; 0 when the
// window does not exist. A thread waiting here serves sends addressed to it.
LRESULT SendMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// As SendMessage with a time limit; false (and *result untouched) on time-out or when the
// window does not exist.
bool SendMessageTimeout(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                        unsigned timeoutMs, LRESULT* result);

// False once the window is destroyed or its owner process has died.
bool IsWindow(HWND window);

}  // namespace platform
