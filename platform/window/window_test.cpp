#include "platform/window/window.h"

#include <gtest/gtest.h>
#include <poll.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <future>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "testing/processes.h"

namespace platform {
namespace {

using platform::testing::ChildProcess;
using platform::testing::ElapsedMs;
using Clock = std::chrono::steady_clock;

const bool kIsolated = platform::testing::IsolateNamespace();

HWND ParseHandle(const std::optional<std::string>& line) {
  return line ? static_cast<HWND>(std::stoul(*line)) : 0;
}

// Dispatches this thread's messages until done() holds or the time limit passes.
template <typename Done>
bool PumpUntil(Done done, int limitMs = 10000) {
  auto begin = Clock::now();
  MSG msg;
  while (!done()) {
    if (ElapsedMs(begin) > limitMs) return false;
    if (PeekMessage(&msg, 0, 0, 0, PM_REMOVE)) {
      DispatchMessage(&msg);
    } else {
      Sleep(1);
    }
  }
  return true;
}

class WindowTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    RegisterClass("Test Frame");
    RegisterClass("Test Child");
  }
  void TearDown() override {
    for (HWND h : made_) DestroyWindow(h);
  }
  HWND Make(const char* cls, HWND parent = 0, WindowProc proc = {}) {
    HWND h = CreateWindow(cls, parent, std::move(proc));
    if (h != 0) made_.push_back(h);
    return h;
  }
  std::vector<HWND> made_;
};

TEST_F(WindowTest, CreateFindEnumerateDestroy) {
  std::vector<std::string> destroyed;
  auto recorder = [&destroyed](const char* name) {
    return [&destroyed, name](HWND h, UINT m, WPARAM w, LPARAM l) -> LRESULT {
      if (m == WM_DESTROY) destroyed.push_back(name);
      return DefWindowProc(h, m, w, l);
    };
  };
  HWND frame = Make("Test Frame", 0, recorder("frame"));
  ASSERT_NE(frame, 0u);
  HWND first = Make("Test Child", frame, recorder("first"));
  HWND second = Make("Test Child", frame, recorder("second"));
  HWND grandchild = Make("Test Child", first, recorder("grandchild"));
  ASSERT_TRUE(first && second && grandchild);
  EXPECT_NE(first, second);

  EXPECT_EQ(FindWindow("TEST FRAME"), frame);  // class names ignore case
  EXPECT_EQ(FindWindow("Test Child"), 0u);     // not top-level
  EXPECT_EQ(FindWindow("test child", frame), second);  // the newest child
  EXPECT_EQ(GetClassName(frame), "Test Frame");
  EXPECT_EQ(GetParent(grandchild), first);
  DWORD pid = 0;
  EXPECT_EQ(GetWindowThreadProcessId(second, &pid), GetCurrentThreadId());
  EXPECT_EQ(pid, GetCurrentProcessId());

  std::vector<HWND> top, children;
  EnumWindows([&](HWND h) { top.push_back(h); return true; });
  EXPECT_EQ(top, std::vector<HWND>{frame});
  EnumChildWindows(frame, [&](HWND h) { children.push_back(h); return true; });
  EXPECT_EQ(children, (std::vector<HWND>{second, first, grandchild}));
  children.clear();
  EnumChildWindows(frame, [&](HWND h) { children.push_back(h); return false; });
  EXPECT_EQ(children.size(), 1u);

  EXPECT_FALSE(UnregisterClass("Test Child"));  // still has windows
  EXPECT_TRUE(DestroyWindow(frame));
  EXPECT_EQ(destroyed, (std::vector<std::string>{"frame", "second", "first", "grandchild"}));
  for (HWND h : {frame, first, second, grandchild}) EXPECT_FALSE(IsWindow(h));
  EXPECT_FALSE(DestroyWindow(frame));
  EXPECT_EQ(GetClassName(frame), "");
  EXPECT_EQ(FindWindow("Test Frame"), 0u);
}

TEST_F(WindowTest, CreationFailures) {
  EXPECT_EQ(CreateWindow("No Such Class"), 0u);
  HWND gone = Make("Test Frame");
  DestroyWindow(gone);
  EXPECT_EQ(CreateWindow("Test Child", gone), 0u);  // the parent must exist
  EXPECT_EQ(CreateWindow("Test Frame", 0, [](HWND, UINT m, WPARAM, LPARAM) -> LRESULT { return m == WM_CREATE ? -1 : 0; }),
            0u);
  EXPECT_EQ(FindWindow("Test Frame"), 0u);
  EXPECT_FALSE(RegisterClass("test frame"));  // exists already
  EXPECT_FALSE(RegisterClass(""));
  EXPECT_FALSE(RegisterClass(std::string(256, 'c')));
}

TEST_F(WindowTest, PostedMessagesKeepOrderAndHonourFilters) {
  HWND a = Make("Test Frame");
  HWND b = Make("Test Frame");
  for (int i = 0; i < 5; ++i) ASSERT_TRUE(PostMessage(i % 2 ? b : a, WM_USER + i, i, -i));
  MSG msg;
  ASSERT_TRUE(PeekMessage(&msg));
  EXPECT_EQ(msg.message, WM_USER);  // not removed
  ASSERT_TRUE(PeekMessage(&msg, b, 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.message, WM_USER + 1);
  ASSERT_TRUE(PeekMessage(&msg, 0, WM_USER + 4, WM_USER + 4, PM_REMOVE));
  EXPECT_EQ(msg.lParam, -4);
  std::vector<UINT> rest;
  while (PeekMessage(&msg, 0, 0, 0, PM_REMOVE)) rest.push_back(msg.message);
  EXPECT_EQ(rest, (std::vector<UINT>{WM_USER, WM_USER + 2, WM_USER + 3}));

  // A destroyed window's queued messages go with it; posting to it fails.
  ASSERT_TRUE(PostMessage(b, WM_USER, 0, 0));
  DestroyWindow(b);
  EXPECT_FALSE(PeekMessage(&msg));
  EXPECT_FALSE(PostMessage(b, WM_USER, 0, 0));
  EXPECT_FALSE(PostMessage(0, WM_USER, 0, 0));
}

TEST_F(WindowTest, QuitEndsGetMessageAfterQueuedMessages) {
  HWND w = Make("Test Frame");
  PostMessage(w, WM_USER, 0, 0);
  PostQuitMessage(7);
  MSG msg;
  EXPECT_EQ(GetMessage(&msg), 1);
  EXPECT_EQ(msg.message, WM_USER);
  EXPECT_EQ(GetMessage(&msg), 0);
  EXPECT_EQ(msg.message, WM_QUIT);
  EXPECT_EQ(msg.wParam, 7u);
  EXPECT_FALSE(PeekMessage(&msg));
}

TEST_F(WindowTest, CloseDestroysThroughDefaultProcedure) {
  HWND w = Make("Test Frame");
  EXPECT_EQ(SendMessage(w, WM_CLOSE, 0, 0), 0);
  EXPECT_FALSE(IsWindow(w));
}

TEST_F(WindowTest, TimersPostAtTheirInterval) {
  int ticks = 0;
  HWND w = Make("Test Frame", 0, [&](HWND h, UINT m, WPARAM id, LPARAM l) -> LRESULT {
    if (m == WM_TIMER && id == 15) ++ticks;
    return DefWindowProc(h, m, id, l);
  });
  ASSERT_NE(SetTimer(w, 15, 40), 0u);
  HWND stopper = Make("Test Frame");
  SetTimer(stopper, 1, 330);
  MSG msg;
  auto begin = Clock::now();
  while (GetMessage(&msg) > 0) {
    if (msg.hwnd == stopper) break;
    DispatchMessage(&msg);
  }
  EXPECT_GE(ElapsedMs(begin), 320);
  EXPECT_GE(ticks, 5);
  EXPECT_LE(ticks, 9);
  EXPECT_TRUE(KillTimer(w, 15));
  EXPECT_FALSE(KillTimer(w, 15));
  ticks = 0;
  SetTimer(stopper, 1, 100);
  while (GetMessage(&msg) > 0 && msg.hwnd != stopper) DispatchMessage(&msg);
  EXPECT_EQ(ticks, 0);

  // Only the owner thread may set a window's timer.
  std::async(std::launch::async, [&] { EXPECT_EQ(SetTimer(w, 2, 10), 0u); }).get();
}

TEST_F(WindowTest, SendsWithinTheProcess) {
  HWND local = Make("Test Frame", 0, [](HWND, UINT m, WPARAM w, LPARAM) -> LRESULT { return m == WM_USER ? w + 1 : 0; });
  // Same thread: the procedure runs at once, no pumping needed.
  EXPECT_EQ(SendMessage(local, WM_USER, 41, 0), 42);

  // Another thread's window; its procedure sends back to ours while our send waits.
  std::promise<HWND> made;
  std::atomic<bool> stop{false};
  std::thread other([&] {
    HWND w = CreateWindow("Test Frame", 0, [&](HWND, UINT m, WPARAM wp, LPARAM) -> LRESULT {
      if (m == WM_USER + 1) return SendMessage(local, WM_USER, wp, 0) * 10;
      return 0;
    });
    made.set_value(w);
    MSG msg;
    while (!stop) {
      if (PeekMessage(&msg, 0, 0, 0, PM_REMOVE)) DispatchMessage(&msg);
      Sleep(1);
    }
    DestroyWindow(w);
  });
  HWND remote = made.get_future().get();
  ASSERT_NE(remote, 0u);
  LRESULT answer = 0;
  EXPECT_TRUE(SendMessageTimeout(remote, WM_USER + 1, 4, 0, 5000, &answer));
  EXPECT_EQ(answer, 50);
  stop = true;
  other.join();
  // The thread ended: its windows went with it.
  EXPECT_FALSE(IsWindow(remote));
  answer = 99;
  EXPECT_FALSE(SendMessageTimeout(remote, WM_USER + 1, 4, 0, 100, &answer));
  EXPECT_EQ(answer, 99);
}

TEST_F(WindowTest, SendToThreadThatNeverPumpsTimesOut) {
  std::promise<HWND> made;
  std::atomic<bool> stop{false};
  std::thread idle([&] {
    made.set_value(CreateWindow("Test Frame"));
    while (!stop) Sleep(5);
  });
  HWND w = made.get_future().get();
  LRESULT answer = 5;
  auto begin = Clock::now();
  EXPECT_FALSE(SendMessageTimeout(w, WM_USER, 0, 0, 200, &answer));
  EXPECT_GE(ElapsedMs(begin), 200);
  EXPECT_LT(ElapsedMs(begin), 2000);
  EXPECT_EQ(answer, 5);
  stop = true;
  idle.join();
}

TEST(AtomTest, NamesShareNumbersIgnoringCase) {
  UINT kernelIds = RegisterClipboardFormat("Quorvane Explorer Kernel ID List");
  UINT noSelf = RegisterClipboardFormat("Quorvane Explorer No Transfer to Self");
  EXPECT_GE(kernelIds, 0xC000u);
  EXPECT_GE(noSelf, 0xC000u);
  EXPECT_NE(kernelIds, noSelf);
  EXPECT_EQ(RegisterClipboardFormat("QUORVANE EXPLORER KERNEL ID LIST"), kernelIds);
  EXPECT_EQ(RegisterWindowMessage("quorvane explorer kernel id list"), kernelIds);
  EXPECT_EQ(GetClipboardFormatName(kernelIds), "Quorvane Explorer Kernel ID List");
  EXPECT_EQ(GetClipboardFormatName(15), "");
  EXPECT_EQ(RegisterWindowMessage(""), 0u);
  EXPECT_EQ(RegisterWindowMessage(std::string(256, 'x')), 0u);
  EXPECT_NE(RegisterWindowMessage(std::string(255, 'x')), 0u);
}

// ---- with other processes ----

TEST_F(WindowTest, FourProcessesPostTenThousandEachWithoutLoss) {
  constexpr int kSenders = 4;
  constexpr long kEach = 10000;
  std::vector<long> next(kSenders, 0);
  long received = 0, outOfOrder = 0;
  HWND sink = Make("Test Frame", 0, [&](HWND, UINT m, WPARAM w, LPARAM l) -> LRESULT {
    if (m == WM_USER + 5 && w < kSenders) {
      if (l != next[w]) ++outOfOrder;
      next[w] = l + 1;
      ++received;
    }
    return 0;
  });
  HWND watchdog = Make("Test Frame");
  SetTimer(watchdog, 1, 30000);
  std::vector<std::unique_ptr<ChildProcess>> senders;
  for (int i = 0; i < kSenders; ++i) {
    senders.push_back(std::make_unique<ChildProcess>(
        "window_test_helper", std::vector<std::string>{"poster", std::to_string(sink), std::to_string(i), std::to_string(kEach)}));
  }
  MSG msg;
  while (received < kSenders * kEach && GetMessage(&msg) > 0) {
    if (msg.hwnd == watchdog) break;
    DispatchMessage(&msg);
  }
  EXPECT_EQ(received, kSenders * kEach);
  EXPECT_EQ(outOfOrder, 0);
  for (auto& s : senders) {
    EXPECT_EQ(s->ReadLine(), "done 0");
    EXPECT_EQ(s->Wait(), 0);
  }
}

TEST_F(WindowTest, SendAcrossProcessesReturnsTheAnswer) {
  ChildProcess receiver("window_test_helper", {"receiver", "Remote Receiver"});
  HWND remote = ParseHandle(receiver.ReadLine());
  ASSERT_NE(remote, 0u);
  EXPECT_TRUE(IsWindow(remote));
  EXPECT_EQ(FindWindow("remote receiver"), remote);
  DWORD pid = 0;
  GetWindowThreadProcessId(remote, &pid);
  EXPECT_EQ(pid, static_cast<DWORD>(receiver.pid()));

  LRESULT answer = 0;
  EXPECT_TRUE(SendMessageTimeout(remote, WM_USER + 1, 20, 3, 5000, &answer));
  EXPECT_EQ(answer, 43);
  EXPECT_EQ(SendMessage(remote, WM_USER + 1, 1000000, -1), 1999999);
  EXPECT_EQ(SendMessage(remote, WM_USER + 1, 0, -1), -1);  // how a progress notice is cancelled

  // Nested: the receiver's procedure sends back to our window while we wait for it.
  HWND mine = Make("Test Frame", 0, [](HWND, UINT m, WPARAM w, LPARAM) -> LRESULT { return m == WM_USER + 3 ? w * 3 : 0; });
  EXPECT_TRUE(SendMessageTimeout(remote, WM_USER + 2, mine, 0, 5000, &answer));
  EXPECT_EQ(answer, 64);

  // The other way round: the helper sends to us while we pump.
  ChildProcess sender("window_test_helper", {"sender", std::to_string(mine), std::to_string(WM_USER + 3), "5", "0", "5000"});
  std::optional<std::string> line;
  std::atomic<bool> answered{false};
  std::thread reader([&] {
    line = sender.ReadLine();
    answered = true;
  });
  EXPECT_TRUE(PumpUntil([&] { return answered.load(); }));
  reader.join();
  EXPECT_EQ(line, "answer 15");

  EXPECT_TRUE(PostMessage(remote, WM_USER + 9, 0, 0));
  EXPECT_EQ(receiver.Wait(), 0);
  EXPECT_FALSE(IsWindow(remote));
  EXPECT_FALSE(PostMessage(remote, WM_USER, 0, 0));
}

TEST_F(WindowTest, SendToProcessThatNeverAnswersReturnsAtItsLimit) {
  ChildProcess hung("window_test_helper", {"hang", "Hung Window"});
  HWND remote = ParseHandle(hung.ReadLine());
  ASSERT_NE(remote, 0u);
  EXPECT_TRUE(PostMessage(remote, WM_USER, 0, 0));
  LRESULT answer = 17;
  auto begin = Clock::now();
  EXPECT_FALSE(SendMessageTimeout(remote, WM_USER + 1, 1, 1, 300, &answer));
  EXPECT_GE(ElapsedMs(begin), 300);
  EXPECT_LT(ElapsedMs(begin), 3000);
  EXPECT_EQ(answer, 17);

  // A send without limit ends when the receiving process dies.
  std::thread killer([&] {
    Sleep(200);
    hung.Kill(SIGKILL);
  });
  begin = Clock::now();
  EXPECT_EQ(SendMessage(remote, WM_USER + 1, 1, 1), 0);
  EXPECT_LT(ElapsedMs(begin), 3000);
  killer.join();
}

TEST_F(WindowTest, KilledOwnerLeavesNoLiveWindow) {
  HWND older = Make("Shared Class Name");
  ASSERT_EQ(older, 0u);  // not registered in this process yet
  RegisterClass("Shared Class Name");
  older = Make("Shared Class Name");
  ASSERT_NE(older, 0u);
  ChildProcess owner("window_test_helper", {"receiver", "Shared Class Name"});
  HWND remote = ParseHandle(owner.ReadLine());
  ASSERT_NE(remote, 0u);
  EXPECT_EQ(FindWindow("Shared Class Name"), remote);  // the newest
  std::vector<HWND> seen;
  EnumWindows([&](HWND h) { seen.push_back(h); return true; });
  EXPECT_NE(std::find(seen.begin(), seen.end(), remote), seen.end());

  owner.Kill(SIGKILL);
  // Dead even before it is reaped.
  for (int i = 0; i < 200 && IsWindow(remote); ++i) Sleep(5);
  EXPECT_FALSE(IsWindow(remote));
  EXPECT_EQ(FindWindow("Shared Class Name"), older);
  EXPECT_FALSE(PostMessage(remote, WM_USER, 0, 0));
  EXPECT_EQ(GetClassName(remote), "");
  seen.clear();
  EnumWindows([&](HWND h) { seen.push_back(h); return true; });
  EXPECT_EQ(std::find(seen.begin(), seen.end(), remote), seen.end());
  owner.Wait();
}

TEST(AtomTest, NumbersAgreeAcrossProcesses) {
  UINT mine = RegisterWindowMessage("TaskbarCreated");
  ChildProcess other("window_test_helper",
                     {"atoms", "taskbarcreated", "Quorvane Explorer No Transfer to Self", "A brand new name"});
  auto line = other.ReadLine();
  ASSERT_TRUE(line);
  UINT theirs[3] = {};
  ASSERT_EQ(std::sscanf(line->c_str(), "%u %u %u", &theirs[0], &theirs[1], &theirs[2]), 3);
  EXPECT_EQ(theirs[0], mine);
  EXPECT_EQ(RegisterClipboardFormat("QUORVANE EXPLORER NO TRANSFER TO SELF"), theirs[1]);
  EXPECT_EQ(GetClipboardFormatName(theirs[2]), "A brand new name");
  EXPECT_EQ(RegisterWindowMessage("a BRAND new NAME"), theirs[2]);
}

bool DescriptorReadable(int fd, int waitMs) {
  pollfd p{fd, POLLIN, 0};
  return ::poll(&p, 1, waitMs) > 0;
}

// Another loop watches the queue through one descriptor: it turns readable for a post
// from another thread and for one from another process, and quiet again once the queue
// was reset and pumped; timers show up as the time-out to wait.
TEST_F(WindowTest, QueueDescriptorWakesAnotherLoop) {
  std::atomic<int> got{0};
  HWND w = Make("Test Frame", 0, [&](HWND, UINT m, WPARAM, LPARAM) -> LRESULT {
    if (m == WM_USER + 1 || m == WM_USER + 5) ++got;
    return 0;
  });
  ASSERT_NE(w, 0u);
  const int fd = GetMessageQueueDescriptor();
  ASSERT_GE(fd, 0);
  EXPECT_EQ(fd, GetMessageQueueDescriptor());
  auto drain = [&] {
    ResetMessageQueueDescriptor();
    MSG msg;
    while (PeekMessage(&msg, 0, 0, 0, PM_REMOVE)) DispatchMessage(&msg);
  };
  drain();
  EXPECT_FALSE(DescriptorReadable(fd, 0));

  std::thread([w] { PostMessage(w, WM_USER + 1, 0, 0); }).join();
  ASSERT_TRUE(DescriptorReadable(fd, 5000));
  drain();
  EXPECT_EQ(got.load(), 1);
  EXPECT_FALSE(DescriptorReadable(fd, 0));

  ChildProcess child("window_test_helper", {"poster", std::to_string(w), "0", "1"});
  ASSERT_TRUE(DescriptorReadable(fd, 10000));
  drain();
  EXPECT_EQ(got.load(), 2);

  EXPECT_EQ(GetMessageQueueTimeoutMs(), -1);
  ASSERT_NE(SetTimer(w, 3, 5000), 0u);
  const int left = GetMessageQueueTimeoutMs();
  EXPECT_GT(left, 4000);
  EXPECT_LE(left, 5000);
  KillTimer(w, 3);
  EXPECT_EQ(GetMessageQueueTimeoutMs(), -1);
}

// WaitForInput ends as soon as something comes for the thread (a post or a send from
// another thread or process, a due timer) and takes none of it in; with nothing, at its
// limit.
TEST_F(WindowTest, WaitForInputEndsWhenSomethingComes) {
  std::atomic<int> got{0};
  HWND w = Make("Test Frame", 0, [&](HWND, UINT m, WPARAM, LPARAM) -> LRESULT {
    if (m >= WM_USER) ++got;
    return 0;
  });
  ASSERT_NE(w, 0u);
  std::unique_ptr<ChildProcess> child;
  std::thread sender;
  struct Case {
    const char* what;
    std::function<void()> send;
    bool comes;
  };
  const Case cases[] = {
      {"nothing", [] {}, false},
      {"a post from another thread", [&] { std::thread([w] { PostMessage(w, WM_USER + 1, 0, 0); }).join(); }, true},
      {"a send from another thread", [&] { sender = std::thread([w] { SendMessage(w, WM_USER + 2, 0, 0); }); }, true},
      {"a post from another process",
       [&] {
         child = std::make_unique<ChildProcess>("window_test_helper",
                                                std::vector<std::string>{"poster", std::to_string(w), "0", "1"});
       },
       true},
      {"a due timer", [&] { SetTimer(w, 4, 1); }, true},
  };
  MSG msg;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    GetMessageQueueDescriptor();
    ResetMessageQueueDescriptor();  // no wake-up left from before
    const int before = got.load();
    c.send();
    const auto begin = Clock::now();
    WaitForInput(c.comes ? 10000 : 100);
    EXPECT_EQ(got.load(), before);  // nothing was taken in
    // A send comes after the sender's thread starts: the wait may end before it, never
    // sleep through it.
    while (c.comes && ElapsedMs(begin) < 10000) {
      const bool queued = PeekMessage(&msg, 0, 0, 0, PM_NOREMOVE);  // serves a send
      if (queued || got.load() != before) break;
      WaitForInput(10000);
    }
    const long waited = ElapsedMs(begin);
    if (c.comes) {
      EXPECT_LT(waited, 5000);
    } else {
      EXPECT_GE(waited, 95);
      EXPECT_LT(waited, 5000);
    }
    while (PeekMessage(&msg, 0, 0, 0, PM_REMOVE)) DispatchMessage(&msg);
    KillTimer(w, 4);
    if (sender.joinable()) sender.join();
    if (child) child->Wait();
    child.reset();
  }
  EXPECT_EQ(got.load(), 3);
}

// A thread that spins for input also asks its probe: one that finds work has posted itself
// the message that starts it, and the wait ends at once, before any message from outside.
// The probe is asked again at every turn, so one that finds nothing keeps the wait going.
TEST_F(WindowTest, ASpinProbeThatFindsWorkEndsTheWait) {
  RegisterClass("Probe Frame");
  struct Probe {
    std::atomic<bool> work{true};
    HWND window = 0;
    int asked = 0;
  } probe;
  int got = 0;
  long waited = -1;
  // A thread of its own: its spin has not been shortened by the long waits of other tests.
  std::thread([&] {
    probe.window = CreateWindow("Probe Frame", 0, [&](HWND, UINT m, WPARAM, LPARAM) -> LRESULT {
      if (m == WM_USER + 5) ++got;
      return 0;
    });
    SetSpinProbe(
        [](void* context, SpinProbeCall) {
          auto* p = static_cast<Probe*>(context);
          ++p->asked;
          if (!p->work.exchange(false)) return false;
          PostMessage(p->window, WM_USER + 5, 0, 0);
          return true;
        },
        &probe);
    SetTimer(probe.window, 1, 3000);  // ends the wait where the probe is never asked
    const auto begin = Clock::now();
    MSG msg;
    if (GetMessage(&msg, 0, 0, 0) > 0) DispatchMessage(&msg);
    waited = ElapsedMs(begin);
    KillTimer(probe.window, 1);
    SetSpinProbe(nullptr, nullptr);
    DestroyWindow(probe.window);
  }).join();
  EXPECT_EQ(got, 1);
  EXPECT_GE(probe.asked, 1);
  EXPECT_LT(waited, 1000);
}

}  // namespace
}  // namespace platform
