// A library with its own copies of the platform layers, loaded by a program that exports
// its process-wide state: its windows sit in the program's queues and window objects, and
// its message boxes go to the program's host.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <chrono>

#include "testing/processes.h"
#include "platform/ui/scripted_host.h"
#include "platform/ui/ui_window.h"
#include "platform/window/wait.h"

namespace platform {
namespace {

const bool kIsolated = testing::IsolateNamespace();

struct Library {
  void* handle = nullptr;
  HWND (*makeView)(HWND) = nullptr;
  int (*posts)() = nullptr;
  void* (*viewObject)() = nullptr;
  int (*messageBox)(const char*) = nullptr;
  void (*destroyView)() = nullptr;
  void (*pump)() = nullptr;

  Library() {
    handle = ::dlopen((testing::ToolsFolder() + "/../lib/ui_sharing_test_library.so").c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) return;
    makeView = reinterpret_cast<HWND (*)(HWND)>(::dlsym(handle, "SharingTestMakeView"));
    posts = reinterpret_cast<int (*)()>(::dlsym(handle, "SharingTestPosts"));
    viewObject = reinterpret_cast<void* (*)()>(::dlsym(handle, "SharingTestViewObject"));
    messageBox = reinterpret_cast<int (*)(const char*)>(::dlsym(handle, "SharingTestMessageBox"));
    destroyView = reinterpret_cast<void (*)()>(::dlsym(handle, "SharingTestDestroyView"));
    pump = reinterpret_cast<void (*)()>(::dlsym(handle, "SharingTestPump"));
  }
};

TEST(SharingTest, ALibrarysViewLivesInTheProgramsFrameAndQueue) {
  ScriptedHost host;
  using namespace layout;
  static const DialogTemplate t = MakeTemplate(0, "Frame", Column({StatusBar(59393)}), kFrameCaption);
  View frame(t, "Sharing Test Frame");
  int framePosts = 0;
  frame.HandleMessage(WM_USER + 5, [&](WPARAM, LPARAM) { return ++framePosts; });
  ASSERT_TRUE(frame.Create(0));

  Library library;
  ASSERT_NE(library.handle, nullptr) << ::dlerror();
  ASSERT_NE(library.makeView, nullptr);
  const HWND view = library.makeView(frame.GetSafeHwnd());
  ASSERT_NE(view, 0u);

  // The program finds the library's window below its frame, and its object.
  EXPECT_EQ(FindWindow("sharing test view", frame.GetSafeHwnd()), view);
  ASSERT_EQ(static_cast<void*>(UiWindow::FromHandle(view)), library.viewObject());
  EXPECT_EQ(UiWindow::FromHandle(view)->GetParentWindow(), &frame);
  // The program's host was told about the library's view.
  EXPECT_EQ(host.OpenWindows().size(), 2u);
  // A send from the program runs the library's procedure.
  EXPECT_EQ(SendMessage(view, WM_APP + 1, 41, 0), 42);

  // Posts from another process reach both windows of this thread through the one loop.
  testing::ChildProcess toFrame("window_test_helper", {"poster", std::to_string(frame.GetSafeHwnd()), "0", "3"});
  testing::ChildProcess toView("window_test_helper", {"poster", std::to_string(view), "0", "3"});
  const auto start = std::chrono::steady_clock::now();
  while ((framePosts < 3 || library.posts() < 3) && testing::ElapsedMs(start) < 10000) PumpMessages(1);
  EXPECT_EQ(framePosts, 3);
  EXPECT_EQ(library.posts(), 3);

  // The library's message boxes are the program's host's.
  host.ExpectMessageBox(IDCANCEL, "from the library");
  EXPECT_EQ(library.messageBox("from the library"), IDCANCEL);

  // A loop of the library's own code runs the program's toolkit step (a host's hook).
  int toolkitSteps = 0;
  SetPumpHook([&] { ++toolkitSteps; });
  library.pump();
  SetPumpHook({});
  EXPECT_EQ(toolkitSteps, 1);

  library.destroyView();
  EXPECT_EQ(FindWindow("sharing test view", frame.GetSafeHwnd()), 0u);
  EXPECT_EQ(host.OpenWindows().size(), 1u);
}

}  // namespace
}  // namespace platform
