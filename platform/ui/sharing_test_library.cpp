// A loadable library for the sharing test: linked like tovarin.so (its own copies of the
// platform layers, symbols bound inside it and kept hidden but for its own exports of the
// process registry and the shell allocator), it makes a view below a
// window of its host and answers messages, and shows a message box through the current
// host, all from its own copy of the code.
#include "platform/ui/host.h"
#include "platform/ui/ui_window.h"
#include "platform/window/wait.h"

namespace {

using namespace platform;

constexpr UINT kCount = WM_USER + 5;  // the helper's posts
constexpr UINT kAnswer = WM_APP + 1;

int g_posts = 0;
View* g_view = nullptr;

}  // namespace

extern "C" __attribute__((visibility("default"))) HWND SharingTestMakeView(HWND parent) {
  using namespace layout;
  static const DialogTemplate t = MakeTemplate(0, "", Column({ListView(1001).Expand()}), kFrameChild);
  g_view = new View(t, "Sharing Test View");
  g_view->HandleMessage(kCount, [](WPARAM, LPARAM) { return ++g_posts; });
  g_view->HandleMessage(kAnswer, [](WPARAM w, LPARAM) { return static_cast<LRESULT>(w) + 1; });
  if (!g_view->Create(parent, UiWindow::FromHandle(parent))) return 0;
  return g_view->GetSafeHwnd();
}

extern "C" __attribute__((visibility("default"))) int SharingTestPosts() { return g_posts; }

extern "C" __attribute__((visibility("default"))) void* SharingTestViewObject() { return g_view; }

extern "C" __attribute__((visibility("default"))) int SharingTestMessageBox(const char* text) {
  return CurrentHost().MessageBox(text, "Library", MB_OKCANCEL);
}

extern "C" __attribute__((visibility("default"))) void SharingTestPump() { PumpMessages(0); }

extern "C" __attribute__((visibility("default"))) void SharingTestDestroyView() {
  delete g_view;
  g_view = nullptr;
}
