// Transfer notices sent to the progress window and playback notices posted to the notify
// windows, through real windows of the platform layer.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

#include "device/memory_device.h"
#include "device/messages.h"
#include "testing/processes.h"
#include "platform/window/window.h"

namespace device {

namespace {

const bool kIsolated = platform::testing::IsolateNamespace();

struct Seen {
  platform::HWND window;
  platform::UINT message;
  platform::WPARAM wParam;
  platform::LPARAM lParam;
  bool operator==(const Seen&) const = default;
};

class NoticeTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { platform::RegisterClass("Device Notice Test"); }
  void TearDown() override {
    for (platform::HWND h : windows_) {
      if (platform::IsWindow(h)) platform::DestroyWindow(h);
    }
  }
  // A window that records every device notice and answers `answer` to sent ones.
  platform::HWND Make(platform::LRESULT answer = 0) {
    const platform::HWND h = platform::CreateWindow(
        "Device Notice Test", 0,
        [this, answer](platform::HWND w, platform::UINT m, platform::WPARAM wp,
                       platform::LPARAM lp) -> platform::LRESULT {
          if (m >= WM_UPLOADPROGRESS && m <= WM_PLAYBACKSTOPPED) {
            seen.push_back({w, m, wp, lp});
            return answer;
          }
          return platform::DefWindowProc(w, m, wp, lp);
        });
    windows_.push_back(h);
    return h;
  }
  void Pump() {
    platform::MSG msg;
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(200);
    while (std::chrono::steady_clock::now() < until) {
      while (platform::PeekMessage(&msg, 0, 0, 0, platform::PM_REMOVE)) {
        platform::DispatchMessage(&msg);
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  }

  MemoryDevice dev;
  std::vector<Seen> seen;
  std::vector<platform::HWND> windows_;
};

TEST_F(NoticeTest, PlaybackNoticesArePostedNewestFirstAndDeadWindowsDropped) {
  const platform::HWND first = Make();
  const platform::HWND second = Make();
  const platform::HWND third = Make();
  ASSERT_TRUE(first && second && third);
  dev.AddNotifyWindow(first);
  dev.AddNotifyWindow(second);
  dev.AddNotifyWindow(0);  // not a window: ignored
  DeviceRequestBlock block;  // the third one arrives as a request
  block.opcode = OpCode(DeviceOp::AddNotifyWindow);
  block.windowArg = third;
  dev.Dispatch(&block);
  EXPECT_EQ(dev.GetNotifyWindows(), (std::vector<platform::HWND>{first, second, third}));

  platform::DestroyWindow(second);
  dev.SetNowPlaying(KernelId(77));
  dev.NotifyNowPlaying(5);
  EXPECT_TRUE(seen.empty());  // posted, not sent
  Pump();
  EXPECT_EQ(seen, (std::vector<Seen>{{third, WM_NOWPLAYING, 77, 5}, {first, WM_NOWPLAYING, 77, 5}}));
  EXPECT_EQ(dev.GetNotifyWindows(), (std::vector<platform::HWND>{first, third}));

  seen.clear();
  dev.NotifyStopped(0);
  Pump();
  EXPECT_EQ(seen, (std::vector<Seen>{{third, WM_PLAYBACKSTOPPED, 0, 0},
                                     {first, WM_PLAYBACKSTOPPED, 0, 0}}));
}

TEST_F(NoticeTest, ProgressIsSentToTheOneProgressWindowAndItsAnswerReturned) {
  const platform::HWND cancelling = Make(-1);
  dev.SetProgressWindow(cancelling);
  EXPECT_EQ(dev.GetProgressWindow(), cancelling);
  EXPECT_EQ(dev.NotifyUploadProgress(50), -1);  // -1: stop the file
  EXPECT_EQ(dev.NotifyDownloadProgress(20), -1);
  EXPECT_EQ(seen, (std::vector<Seen>{{cancelling, WM_UPLOADPROGRESS, 50, 0},
                                     {cancelling, WM_DOWNLOADPROGRESS, 20, 0}}));

  seen.clear();
  EXPECT_EQ(dev.NotifyUploadDone(KernelId(9), 3), -1);
  EXPECT_EQ(seen, (std::vector<Seen>{{cancelling, WM_UPLOADDONE, 9, 3}}));
  EXPECT_EQ(dev.GetProgressWindow(), 0u);  // forgotten after the done notice
  seen.clear();
  EXPECT_EQ(dev.NotifyUploadProgress(60), 0);
  EXPECT_TRUE(seen.empty());

  const platform::HWND quiet = Make(7);
  dev.SetProgressWindow(quiet);
  dev.SetProgressWindow(424242);  // not a window: the previous one stays
  EXPECT_EQ(dev.GetProgressWindow(), quiet);
  EXPECT_EQ(dev.NotifyDownloadDone(KernelId(4), 1), 7);
  EXPECT_EQ(seen, (std::vector<Seen>{{quiet, WM_DOWNLOADDONE, 4, 1}}));
}

TEST_F(NoticeTest, AGoneProgressWindowIsForgotten) {
  const platform::HWND h = Make(5);
  dev.SetProgressWindow(h);
  platform::DestroyWindow(h);
  EXPECT_EQ(dev.NotifyUploadProgress(10), 0);
  EXPECT_EQ(dev.GetProgressWindow(), 0u);
  EXPECT_EQ(dev.NotifyDownloadDone(KernelId(1), 0), 0);
  EXPECT_TRUE(seen.empty());
}

}  // namespace

}  // namespace device
