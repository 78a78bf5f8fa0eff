// Second process for the window tests.
//   receiver CLASS        creates a window, prints its handle, pumps messages. Its procedure:
//                         WM_USER+1 answers wParam * 2 + lParam; WM_USER+2 sends WM_USER+3
//                         (21, 0) to window wParam and answers that answer + 1; WM_USER+9 quits.
//   hang CLASS            creates a window, prints its handle, never reads its queue.
//   poster HWND INDEX N   posts WM_USER+5 (INDEX, 0..N-1) to the window; prints "done F" with
//                         the number of failed posts.
//   sender HWND MSG W L MS  SendMessageTimeout; prints "answer R" or "failed".
//   atoms NAME...         prints the registered numbers, one line, blank-separated.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/window/window.h"

using namespace platform;

namespace {

LRESULT ReceiverProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_USER + 1:
      return static_cast<LRESULT>(wParam * 2) + lParam;
    case WM_USER + 2:
      return SendMessage(static_cast<HWND>(wParam), WM_USER + 3, 21, 0) + 1;
    case WM_USER + 9:
      PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProc(window, message, wParam, lParam);
  }
}

HWND MakeWindow(const char* className) {
  RegisterClass(className, ReceiverProc);
  HWND h = CreateWindow(className);
  std::printf("%u\n", h);
  return h;
}

}  // namespace

int main(int argc, char** argv) {
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  if (argc < 2) return 2;
  std::string mode = argv[1];
  if (mode == "receiver" && argc == 3) {
    if (MakeWindow(argv[2]) == 0) return 3;
    MSG msg;
    while (GetMessage(&msg) > 0) DispatchMessage(&msg);
    return 0;
  }
  if (mode == "hang" && argc == 3) {
    if (MakeWindow(argv[2]) == 0) return 3;
    for (;;) Sleep(1000);
  }
  if (mode == "poster" && argc == 5) {
    HWND target = static_cast<HWND>(std::strtoul(argv[2], nullptr, 10));
    WPARAM index = std::strtoull(argv[3], nullptr, 10);
    long count = std::atol(argv[4]);
    long failed = 0;
    for (long i = 0; i < count; ++i) {
      if (!PostMessage(target, WM_USER + 5, index, i)) ++failed;
    }
    std::printf("done %ld\n", failed);
    return 0;
  }
  if (mode == "sender" && argc == 7) {
    LRESULT answer = 0;
    bool ok = SendMessageTimeout(static_cast<HWND>(std::strtoul(argv[2], nullptr, 10)),
                                 static_cast<UINT>(std::strtoul(argv[3], nullptr, 10)), std::strtoull(argv[4], nullptr, 10),
                                 std::strtoll(argv[5], nullptr, 10), static_cast<unsigned>(std::strtoul(argv[6], nullptr, 10)),
                                 &answer);
    if (ok) {
      std::printf("answer %lld\n", static_cast<long long>(answer));
    } else {
      std::printf("failed\n");
    }
    return 0;
  }
  if (mode == "atoms") {
    std::string line;
    for (int i = 2; i < argc; ++i) {
      if (i > 2) line += ' ';
      line += std::to_string(RegisterClipboardFormat(argv[i]));
    }
    std::printf("%s\n", line.c_str());
    return 0;
  }
  return 2;
}
