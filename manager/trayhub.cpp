// trayhub: the manager daemon. Runs in the foreground until it is closed:
//   SIGTERM, SIGINT, SIGHUP   the close path without the confirmation (exit code 0)
//   WM_MANAGERSHUTDOWN        ends at once (exit code 1)
//   trayhub -s <skin file>    registers a web skin and exits
// With a display ($DISPLAY or $WAYLAND_DISPLAY) the manager shows its tray icon, menu,
// option pages and message boxes on the desktop; without one, message boxes go to the
// console (with a terminal they ask, without one they take the default answer).
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <thread>

#include "manager/manager_app.h"
#include "platform/kernel/kernel.h"
#include "platform/ui/wx/wx_host.h"

using namespace manager;

namespace {

int g_signalPipe[2] = {-1, -1};
std::atomic<platform::HWND> g_mainWindow{0};

void OnSignal(int) {
  const int saved = errno;
  char byte = 1;
  ssize_t n = ::write(g_signalPipe[1], &byte, 1);
  (void)n;
  errno = saved;
}

// Turns a termination signal into the quiet close of the main window (once it exists).
void WatchSignals() {
  if (::pipe2(g_signalPipe, O_CLOEXEC) != 0) return;
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int sig : {SIGTERM, SIGINT, SIGHUP}) ::sigaction(sig, &action, nullptr);
  std::thread([] {
    char byte;
    while (::read(g_signalPipe[0], &byte, 1) < 0 && errno == EINTR) {
    }
    while (g_mainWindow.load() == 0) platform::Sleep(10);
    platform::PostMessage(g_mainWindow.load(), WM_MANAGERCLOSEQUIET, 0, 0);
  }).detach();
}

}  // namespace

int main(int argc, char** argv) {
  // The web server's workers share a few arenas: each of them kept the memory of the
  // largest page it had answered.
  platform::LimitAllocatorArenas(2);
  ManagerStartup startup;
  for (int i = 1; i < argc; ++i) startup.arguments.emplace_back(argv[i]);
  startup.makeDevice = MakeHostedDevice;
  WatchSignals();
  std::unique_ptr<platform::Host> host = platform::MakeDesktopHost("trayhub");
  OmbrixManagerApp app(std::move(startup));
  if (!app.InitInstance()) return 0;
  g_mainWindow.store(app.GetMainWnd()->GetSafeHwnd());
  // One loop: with real windows the toolkit's, which also serves the window queue.
  if (auto* desktop = dynamic_cast<platform::WxHost*>(host.get())) return desktop->RunMessageLoop();
  return app.Run();
}
