#include "common/shell_utilities.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "testing/processes.h"
#include "platform/window/wait.h"

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

TEST(RefreshFolderViewsTest, PostsToFolderViewsAndTreesOfExplorerWindowsOnly) {
  for (const char* c : {"CabinetWClass", "ExploreWClass", "Other", "Quorvane NameSpace Extension_NSClass",
                        "SysTreeView32"}) {
    platform::RegisterClass(c);
  }
  struct Seen {
    std::string window;
    platform::UINT message;
    platform::WPARAM w;
    platform::LPARAM l;
  };
  struct Case {
    void (*broadcast)();
    platform::LPARAM code;
  };
  for (const Case& c : {Case{RefreshFolderViews, 3005}, Case{ReloadFolderViews, 3090}}) {
    std::vector<Seen> seen;
    auto record = [&](std::string name) {
      return [&seen, name](platform::HWND, platform::UINT m, platform::WPARAM w, platform::LPARAM l) -> platform::LRESULT {
        if (m != platform::WM_CREATE && m != platform::WM_DESTROY) seen.push_back({name, m, w, l});
        return 0;
      };
    };
    platform::HWND explorer = platform::CreateWindow("CabinetWClass");
    platform::HWND view = platform::CreateWindow("Quorvane NameSpace Extension_NSClass", explorer, record("view"));
    platform::HWND tree = platform::CreateWindow("SysTreeView32", explorer, record("tree"));
    platform::HWND exploring = platform::CreateWindow("ExploreWClass");
    platform::HWND view2 = platform::CreateWindow("Quorvane NameSpace Extension_NSClass", exploring, record("view2"));
    platform::HWND other = platform::CreateWindow("Other");
    platform::HWND stray = platform::CreateWindow("Quorvane NameSpace Extension_NSClass", other, record("stray"));
    c.broadcast();
    platform::PumpMessages(0);
    std::vector<std::string> views;
    for (const Seen& s : seen) {
      if (s.message == WM_VIEWCOMMAND) {
        views.push_back(s.window);
        EXPECT_EQ(s.l, c.code);
      }
    }
    std::sort(views.begin(), views.end());
    EXPECT_EQ(views, (std::vector<std::string>{"view", "view2"}));
    std::vector<Seen> keys;
    for (const Seen& s : seen) {
      if (s.window == "tree") keys.push_back(s);
    }
    ASSERT_EQ(keys.size(), 2u);
    EXPECT_EQ(keys[0].message, platform::WM_KEYDOWN);
    EXPECT_EQ(keys[0].w, platform::VK_F5);
    EXPECT_EQ(keys[0].l, 0x003F0001);
    EXPECT_EQ(keys[1].message, platform::WM_KEYUP);
    EXPECT_EQ(keys[1].l, static_cast<platform::LPARAM>(0xC03F0001u));
    for (platform::HWND h : {view, tree, explorer, view2, exploring, stray, other}) platform::DestroyWindow(h);
  }
}

}  // namespace
