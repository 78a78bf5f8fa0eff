#include "manager/utilities.h"

#include <gtest/gtest.h>

#include "testing/processes.h"

namespace manager {

namespace {

const bool kIsolated = platform::testing::IsolateNamespace();

TEST(PumpMessagesTest, DispatchesWhatWaitsAndLeavesTheQuitForTheLoop) {
  platform::RegisterClass("Pump Test");
  std::vector<platform::UINT> seen;
  platform::HWND w = platform::CreateWindow("Pump Test", 0, [&](platform::HWND, platform::UINT m, platform::WPARAM, platform::LPARAM) -> platform::LRESULT {
    seen.push_back(m);
    return 0;
  });
  platform::PostMessage(w, platform::WM_USER + 1, 0, 0);
  platform::PostMessage(w, platform::WM_USER + 2, 0, 0);
  platform::PostQuitMessage(3);
  PumpMessages();
  EXPECT_EQ(seen, (std::vector<platform::UINT>{platform::WM_CREATE, platform::WM_USER + 1, platform::WM_USER + 2}));
  platform::MSG msg;
  EXPECT_EQ(platform::GetMessage(&msg), 0);
  EXPECT_EQ(msg.wParam, 3u);
  platform::DestroyWindow(w);
}

}  // namespace

}  // namespace manager
