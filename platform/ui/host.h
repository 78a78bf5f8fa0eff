// The user-interface host: the one place where modal UI meets a person (or a test).
// Code above this layer asks the current host to show message boxes (later also dialogs,
// property sheets, pickers and menus) and never depends on which host runs:
// ConsoleHost talks to the terminal, ScriptedHost (scripted_host.h) answers tests.
#pragma once

#include <atomic>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/window/window.h"

namespace platform {

// Message-box flags, with the desktop's numbers.
constexpr UINT MB_OK = 0x00000000;
constexpr UINT MB_OKCANCEL = 0x00000001;
constexpr UINT MB_ABORTRETRYIGNORE = 0x00000002;
constexpr UINT MB_YESNOCANCEL = 0x00000003;
constexpr UINT MB_YESNO = 0x00000004;
constexpr UINT MB_RETRYCANCEL = 0x00000005;
constexpr UINT MB_CANCELTRYCONTINUE = 0x00000006;
constexpr UINT MB_ICONERROR = 0x00000010;
constexpr UINT MB_ICONHAND = MB_ICONERROR;
constexpr UINT MB_ICONSTOP = MB_ICONERROR;
constexpr UINT MB_ICONQUESTION = 0x00000020;
constexpr UINT MB_ICONEXCLAMATION = 0x00000030;
constexpr UINT MB_ICONWARNING = MB_ICONEXCLAMATION;
constexpr UINT MB_ICONINFORMATION = 0x00000040;
constexpr UINT MB_ICONASTERISK = MB_ICONINFORMATION;
constexpr UINT MB_DEFBUTTON1 = 0x00000000;
constexpr UINT MB_DEFBUTTON2 = 0x00000100;
constexpr UINT MB_DEFBUTTON3 = 0x00000200;
constexpr UINT MB_APPLMODAL = 0x00000000;
constexpr UINT MB_SYSTEMMODAL = 0x00001000;
constexpr UINT MB_TASKMODAL = 0x00002000;
constexpr UINT MB_SETFOREGROUND = 0x00010000;
constexpr UINT MB_TOPMOST = 0x00040000;
constexpr UINT MB_TYPEMASK = 0x0000000F;
constexpr UINT MB_ICONMASK = 0x000000F0;
constexpr UINT MB_DEFMASK = 0x00000F00;

// Answers.
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDABORT = 3;
constexpr int IDRETRY = 4;
constexpr int IDIGNORE = 5;
constexpr int IDYES = 6;
constexpr int IDNO = 7;
constexpr int IDTRYAGAIN = 10;
constexpr int IDCONTINUE = 11;

// The buttons a box with these flags offers, left to right (an unknown type offers OK).
std::vector<int> MessageBoxButtons(UINT flags);
// The button that Enter chooses: MB_DEFBUTTONn picks the n-th, the first when out of range.
int DefaultButton(UINT flags);
// "OK", "Cancel", "Yes", ...; "" for an unknown id.
const char* ButtonLabel(int id);

class Host {
 public:
  virtual ~Host() = default;

  // Shows a modal message box; answers the button chosen (IDOK, IDYES, ...).
  virtual int MessageBox(const std::string& text, const std::string& caption, UINT flags) = 0;

  // The window that owns this host's modal UI (0: none). Kept as given; callers that
  // must survive a destroyed owner check it with IsWindow.
  void SetOwnerWindow(HWND owner) { owner_.store(owner); }
  HWND GetOwnerWindow() const { return owner_.load(); }

 private:
  std::atomic<HWND> owner_{0};
};

// The host set for this process, else a process-wide ConsoleHost.
Host& CurrentHost();
// Makes `host` current (null: back to the default). The caller keeps ownership and must
// reset it before destroying the host.
void SetCurrentHost(Host* host);

// Message boxes on the terminal. With a terminal on the input it prints the box and reads
// the choice (a number, or the start of a button's name; empty input takes the default).
// Without one (daemons, pipes) it prints the box and answers the default button at once.
class ConsoleHost : public Host {
 public:
  ConsoleHost();  // stdin and stderr
  ConsoleHost(std::FILE* in, std::FILE* out, bool interactive);

  int MessageBox(const std::string& text, const std::string& caption, UINT flags) override;

 private:
  std::FILE* in_;
  std::FILE* out_;
  bool interactive_;
};

}  // namespace platform
