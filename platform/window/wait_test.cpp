#include "platform/window/wait.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "testing/processes.h"
#include "platform/window/window.h"

namespace platform {
namespace {

const bool kIsolated = testing::IsolateNamespace();

constexpr UINT kAsk = WM_USER + 7;
constexpr UINT kLater = WM_USER + 8;

class WaitServingSendsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RegisterClass("Wait Test");
    window_ = CreateWindow("Wait Test", 0, [this](HWND, UINT m, WPARAM w, LPARAM) -> LRESULT {
      if (m == kAsk) {
        servedOn_ = GetCurrentThreadId();
        return static_cast<LRESULT>(w * 2);
      }
      return 0;
    });
    ASSERT_NE(window_, 0u);
    semaphore_ = NamedSemaphore::Create("wait-test-" + std::to_string(counter_++));
    ASSERT_TRUE(semaphore_);
  }
  void TearDown() override {
    DestroyWindow(window_);
    UnregisterClass("Wait Test");
  }

  static inline int counter_ = 0;
  HWND window_ = 0;
  std::unique_ptr<NamedSemaphore> semaphore_;
  std::atomic<DWORD> servedOn_{0};
};

// The sender's answer only comes while the owner waits; the owner's semaphore is
// released only after the answer. A wait that does not serve sends would run into its
// time limit.
TEST_F(WaitServingSendsTest, ServesSendsWhileWaitingAndLeavesPostedMessagesQueued) {
  LRESULT answer = 0;
  std::thread sender([&] {
    PostMessage(window_, kLater, 0, 0);
    answer = SendMessage(window_, kAsk, 21, 0);
    semaphore_->Release();
  });
  const auto t0 = std::chrono::steady_clock::now();
  EXPECT_EQ(WaitServingSends(*semaphore_, 10000), WAIT_OBJECT_0);
  const auto waited = std::chrono::steady_clock::now() - t0;
  sender.join();
  EXPECT_EQ(answer, 42);
  EXPECT_EQ(servedOn_.load(), GetCurrentThreadId());
  EXPECT_LT(waited, std::chrono::seconds(2));
  MSG msg;
  ASSERT_TRUE(PeekMessage(&msg, window_, 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.message, kLater);
}

TEST_F(WaitServingSendsTest, TimesOutWithoutARelease) {
  const auto t0 = std::chrono::steady_clock::now();
  EXPECT_EQ(WaitServingSends(*semaphore_, 60), WAIT_TIMEOUT);
  const auto waited = std::chrono::steady_clock::now() - t0;
  EXPECT_GE(waited, std::chrono::milliseconds(55));
  EXPECT_LT(waited, std::chrono::seconds(2));
  EXPECT_EQ(WaitServingSends(*semaphore_, 0), WAIT_TIMEOUT);
  semaphore_->Release();
  EXPECT_EQ(WaitServingSends(*semaphore_, 0), WAIT_OBJECT_0);
}

// A toolkit's events are served by every pump of the thread that set the hook, and only
// by that thread's.
TEST(PumpHookTest, RunsOnTheSettingThreadOnly) {
  int runs = 0;
  SetPumpHook([&] { ++runs; });
  PumpMessages(0);
  PumpMessages(0);
  EXPECT_EQ(runs, 2);
  std::thread([] { PumpMessages(0); }).join();
  EXPECT_EQ(runs, 2);
  SetPumpHook({});
  PumpMessages(0);
  EXPECT_EQ(runs, 2);
}

}  // namespace
}  // namespace platform
