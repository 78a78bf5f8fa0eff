#include "manager/utilities.h"

#include <gtest/gtest.h>

#include "testing/processes.h"

namespace {

const bool kIsolated = platform::testing::IsolateNamespace();

TEST(SplitStringTest, KeepsOnlyNonEmptyPieces) {
  std::vector<std::string> out = {"old"};
  EXPECT_EQ(SplitString("a,,b", ",", out), 2);
  EXPECT_EQ(out, (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(SplitString(";x y;", "; ", out), 2);
  EXPECT_EQ(out, (std::vector<std::string>{"x", "y"}));
  EXPECT_EQ(SplitString("", ",", out), 0);
  EXPECT_TRUE(out.empty());
}

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

TEST(RefreshFolderViewsTest, PostsToFolderViewsAndTreesOfExplorerWindowsOnly) {
  for (const char* c : {"CabinetWClass", "Other", "Quorvane NameSpace Extension_NSClass", "SysTreeView32"}) {
    platform::RegisterClass(c);
  }
  struct Seen {
    platform::UINT message;
    platform::WPARAM w;
    platform::LPARAM l;
  };
  std::vector<std::pair<std::string, Seen>> seen;
  auto record = [&](std::string name) {
    return [&seen, name](platform::HWND, platform::UINT m, platform::WPARAM w, platform::LPARAM l) -> platform::LRESULT {
      if (m != platform::WM_CREATE && m != platform::WM_DESTROY) seen.push_back({name, {m, w, l}});
      return 0;
    };
  };
  platform::HWND explorer = platform::CreateWindow("CabinetWClass");
  platform::HWND view = platform::CreateWindow("Quorvane NameSpace Extension_NSClass", explorer, record("view"));
  platform::HWND tree = platform::CreateWindow("SysTreeView32", explorer, record("tree"));
  platform::HWND other = platform::CreateWindow("Other");
  platform::HWND stray = platform::CreateWindow("Quorvane NameSpace Extension_NSClass", other, record("stray"));
  RefreshFolderViews();
  PumpMessages();
  ASSERT_EQ(seen.size(), 3u);
  EXPECT_EQ(seen[0].first, "view");
  EXPECT_EQ(seen[0].second.message, WM_VIEWCOMMAND);
  EXPECT_EQ(seen[0].second.l, 3005);
  EXPECT_EQ(seen[1].first, "tree");
  EXPECT_EQ(seen[1].second.message, platform::WM_KEYDOWN);
  EXPECT_EQ(seen[1].second.w, platform::VK_F5);
  EXPECT_EQ(seen[1].second.l, 0x003F0001);
  EXPECT_EQ(seen[2].second.message, platform::WM_KEYUP);
  EXPECT_EQ(seen[2].second.l, static_cast<platform::LPARAM>(0xC03F0001u));
  for (platform::HWND h : {view, tree, explorer, stray, other}) platform::DestroyWindow(h);
}

}  // namespace
