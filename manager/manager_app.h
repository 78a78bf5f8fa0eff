// OmbrixManagerApp: trayhub's start-up. It fills the product identity, refuses to run
// without installed device support, registers a web skin when started with "-s", keeps
// one manager per product variant, creates the hidden main window and empties the work
// folders; Run then serves the main thread's messages until the main window is gone.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "manager/hosted_device.h"
#include "manager/manager_wnd.h"
#include "platform/kernel/kernel.h"

namespace manager {

struct ManagerStartup {
  std::vector<std::string> arguments;  // the command line after the program name
  std::string identityPath;            // the file whose name selects the variant; empty: this program
  DeviceFactory makeDevice;            // the hosted device (when the install mask asks for one)
};

class OmbrixManagerApp {
 public:
  explicit OmbrixManagerApp(ManagerStartup startup);
  ~OmbrixManagerApp();

  // False ends the program at once, without a message loop: refused, skin registered,
  // or another manager of the variant runs.
  bool InitInstance();
  // The message loop; its exit code once the main window is destroyed.
  int Run();
  OmbrixManagerWnd* GetMainWnd() const { return mainWnd_.get(); }

 private:
  ManagerStartup startup_;
  std::unique_ptr<platform::NamedLock> instanceLock_;
  std::unique_ptr<OmbrixManagerWnd> mainWnd_;
};

// The refusal shown when Kor_InstallResult is absent or 0 (error code 629).
std::string StartupRefusalText();

// The refusal shown when Gen_AppDataDir names no usable folder; `problem` completes "The
// setting Gen_AppDataDir ..." (FindAppDataFolder).
std::string AppDataRefusalText(std::string_view problem);

// Copies a web skin archive (a path as the user gave it) into the skins folder of
// Gen_AppDataDir and reports the outcome in a message box.
void RegisterSkinFile(std::string_view path);

// 0 when a live window of the class exists already (another manager); otherwise registers
// the class and answers non-zero on success.
int ActivateOrRegisterManagerClass(std::string_view className);

}  // namespace manager
