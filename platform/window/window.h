// Windows and messages between threads and processes.
// A window is a 32-bit handle unique within the namespace ($TOVARIN_NS), a class name,
// an owner thread and a procedure. Messages posted or sent to a window run its
// procedure on the owner thread when that thread pumps its queue.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "platform/kernel/kernel.h"

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

// A post to another process waits for room while the receiving thread's socket queue is
// full (it keeps reading its own queue meanwhile) and fails after 10 s without room; it is
// never dropped silently. Sends across processes also end when the receiving process dies
// or the window goes away.

using UINT_PTR = std::uint64_t;

constexpr UINT WM_NULL = 0x0000;
constexpr UINT WM_CREATE = 0x0001;   // sent by CreateWindow; an answer of -1 cancels the creation
constexpr UINT WM_DESTROY = 0x0002;  // sent by DestroyWindow
constexpr UINT WM_CLOSE = 0x0010;    // DefWindowProc destroys the window
constexpr UINT WM_QUIT = 0x0012;
constexpr UINT WM_KEYDOWN = 0x0100;
constexpr UINT WM_KEYUP = 0x0101;
constexpr UINT WM_COMMAND = 0x0111;
constexpr UINT WM_TIMER = 0x0113;
// A media or browser key (its command in bits 16-27 of lParam, the window it was pressed
// in as wParam); a window that leaves it to DefWindowProc hands it to its parent.
constexpr UINT WM_APPCOMMAND = 0x0319;
constexpr UINT WM_APP = 0x8000;
constexpr UINT VK_F5 = 0x74;

constexpr UINT PM_NOREMOVE = 0x0000;
constexpr UINT PM_REMOVE = 0x0001;

struct MSG {
  HWND hwnd = 0;
  UINT message = 0;
  WPARAM wParam = 0;
  LPARAM lParam = 0;
  DWORD time = 0;  // GetTickCount when posted
};

// A window procedure; it runs on the window's owner thread.
using WindowProc = std::function<LRESULT(HWND, UINT, WPARAM, LPARAM)>;

// The default answers: WM_CLOSE destroys the window; WM_APPCOMMAND goes to the parent
// (its answer, 0 without one); everything else answers 0.
LRESULT DefWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Window classes belong to the registering process. Names (at most 255 bytes) compare
// without regard to ASCII case. An empty procedure means DefWindowProc. False when the
// class exists already.
bool RegisterClass(std::string_view className, WindowProc procedure = {});
// False when the class is unknown or still has windows.
bool UnregisterClass(std::string_view className);

// Creates a window of a registered class, owned by the calling thread, and sends it
// WM_CREATE. `procedure`, when given, replaces the class's procedure for this window.
// `parent` is 0 for a top-level window, else an existing window. 0 on failure.
HWND CreateWindow(std::string_view className, HWND parent = 0, WindowProc procedure = {});
// Sends WM_DESTROY, destroys the window's children owned by this thread, then forgets the
// window: later posts and sends to it fail, its queued messages and timers go. Only the
// owner thread may destroy a window.
bool DestroyWindow(HWND window);

// The newest live window of the class (case-insensitive) whose parent is `parent`
// (0: top-level windows); 0 when none. Windows of dead processes are skipped.
HWND FindWindow(std::string_view className, HWND parent = 0);
// Live top-level windows of the namespace, newest first, until the callback answers false.
void EnumWindows(const std::function<bool(HWND)>& callback);
// Live descendants of the window, depth first, newest first at each level.
void EnumChildWindows(HWND parent, const std::function<bool(HWND)>& callback);
// The class name as it was registered; "" when the window does not exist.
std::string GetClassName(HWND window);
HWND GetParent(HWND window);
// The owner thread's id (0 when there is no such window); the process id into *processId.
DWORD GetWindowThreadProcessId(HWND window, DWORD* processId = nullptr);

// The calling thread's queue. Incoming sends are served inside GetMessage, PeekMessage and
// while the thread itself waits in a cross-thread send.
// Waits for a posted message (or a due timer); 0 on WM_QUIT, else 1. A window filter and a
// message range (both 0: everything) restrict what is taken.
int GetMessage(MSG* msg, HWND window = 0, UINT first = 0, UINT last = 0);
// As GetMessage without waiting; false when nothing matched. PM_REMOVE takes the message.
bool PeekMessage(MSG* msg, HWND window = 0, UINT first = 0, UINT last = 0, UINT remove = PM_NOREMOVE);
bool TranslateMessage(const MSG* msg);  // no keyboard translation here: false
// Runs the window procedure for a message of a window of the calling thread.
LRESULT DispatchMessage(const MSG* msg);
// Makes the calling thread's GetMessage answer WM_QUIT once the queue is empty.
void PostQuitMessage(int exitCode);

// Posts WM_TIMER (wParam = id) to the window every `intervalMs`, from the owner thread's
// GetMessage/PeekMessage when nothing else is queued (at most one pending per timer).
// The window must belong to the calling thread. Setting an existing id restarts it.
// Nonzero on success.
UINT_PTR SetTimer(HWND window, UINT_PTR id, UINT intervalMs);
bool KillTimer(HWND window, UINT_PTR id);

// Numbers from 0xC000 that every process of the namespace gets for the same name (ASCII
// case ignored, at most 255 bytes); window messages and clipboard formats share them.
// 0 for an empty or too long name, or a full table.
UINT RegisterWindowMessage(std::string_view name);
UINT RegisterClipboardFormat(std::string_view name);
// The name registered for a number; "" when none.
std::string GetClipboardFormatName(UINT format);

// Waits until a message or a send may have come for the calling thread, one of its timers
// is due, or `ms` pass; takes nothing in. Spins first, as GetMessage does, when the last
// input came quickly from a thread on another processor.
void WaitForInput(DWORD ms);

// The calling thread's queue for another event loop (a toolkit's) to watch: a descriptor
// that turns readable when a message, a send or a reply arrives for this thread. The
// loop then calls ResetMessageQueueDescriptor and takes everything in (PeekMessage /
// PumpMessages), and arms a time-out of GetMessageQueueTimeoutMs for the next timer
// (-1: no timer). The descriptor belongs to the thread; -1 when it cannot be made.
int GetMessageQueueDescriptor();
void ResetMessageQueueDescriptor();
int GetMessageQueueTimeoutMs();

// Something the calling thread looks at while it spins for input (a word in shared memory
// that another process writes before it posts, say), so that it need not wait for the
// message: `probe(context, call)` answers whether there is work, and then has posted itself
// the message that starts it. It is called when a spin starts, at every turn of it (so it
// must be a few loads) and when the spin ends, whether the thread then sleeps or goes to
// what came in; never while the thread sleeps (the message wakes it then). Null: none.
enum class SpinProbeCall { kSpinStarts, kTurn, kSpinEnds };
using SpinProbe = bool (*)(void* context, SpinProbeCall call);
void SetSpinProbe(SpinProbe probe, void* context);

namespace detail {
// The calling thread's PumpMessages hook (wait.h), kept with its queue.
std::function<void()>& ThreadPumpHook();
}  // namespace detail

}  // namespace platform
