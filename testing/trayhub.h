// Test support for tests that run trayhub (or trayhub_test_host) in a child process: its
// folders and settings under $TOVARIN_HOME, the start with stdout and stderr on one pipe,
// and the wait for its window.
#pragma once

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "common/identity.h"
#include "manager/manager_app.h"
#include "manager/manager_wnd.h"
#include "testing/processes.h"
#include "platform/paths/paths.h"
#include "platform/settings/settings.h"
#include "platform/window/window.h"

namespace trayhubtest {

// Readies `home` ($TOVARIN_HOME) for a manager that starts: folders for temporary files
// and application data, the request limits, no display, and settings that say the player options are
// installed. Answers the product's settings key, made afresh. The limits ("<taken ms>,<complete
// ms>") are stretched in slower builds (platform::testing::SlowFactor).
inline platform::SettingsKey PrepareManagerHome(const std::string& home, const char* requestLimits) {
  g_ProductIdentity.InitFromPath("trayhub");
  std::filesystem::create_directories(home + "/tmp");
  std::filesystem::create_directories(home + "/appdata");
  ::setenv("TMPDIR", (home + "/tmp").c_str(), 1);
  const std::string limits = requestLimits;
  const std::size_t comma = limits.find(',');
  const int factor = platform::testing::SlowFactor();
  const std::string scaled = std::to_string(std::stol(limits.substr(0, comma)) * factor) + "," +
                             std::to_string(std::stol(limits.substr(comma + 1)) * factor);
  ::setenv("TOVARIN_REQUEST_LIMITS", scaled.c_str(), 1);
  // These managers answer on the console, also when the tests run on a display.
  ::unsetenv("DISPLAY");
  ::unsetenv("WAYLAND_DISPLAY");
  platform::SettingsKey::Delete(platform::Hive::CurrentUser, g_ProductIdentity.settingsKey);
  auto key = platform::SettingsKey::Create(platform::Hive::CurrentUser, g_ProductIdentity.settingsKey);
  key.SetDword("Kor_InstallResult", kInstallJukeboxDriver | kInstallJukeboxTray);
  key.SetDword("VX_Disable", 1);
  key.SetString("Gen_AppDataDir", platform::FromPosixPath(home + "/appdata"));
  return key;
}

// Readies a main window made in the test's own process: the in-memory player, the driver
// and tray bits, no web server, the window class and an empty now-playing cache. Answers
// the product's settings key, made afresh.
inline platform::SettingsKey PrepareWindowInThisProcess() {
  g_ProductIdentity.InitFromPath("trayhub");
  const std::string home = std::getenv("TOVARIN_HOME");
  ::setenv("TMPDIR", home.c_str(), 1);
  ::setenv("TOVARIN_DEVICE", "memory", 1);
  platform::SettingsKey::Delete(platform::Hive::CurrentUser, g_ProductIdentity.settingsKey);
  auto key = platform::SettingsKey::Create(platform::Hive::CurrentUser, g_ProductIdentity.settingsKey);
  key.SetDword("Kor_InstallResult", kInstallJukeboxDriver | kInstallJukeboxTray);
  key.SetDword("VX_Disable", 1);
  manager::ActivateOrRegisterManagerClass(g_ProductIdentity.windowClassName);
  manager::NowPlayingText() = "Playback Stopped";
  manager::NowPlayingTrackId() = 0;
  manager::NowPlayingLength() = 0;
  return key;
}

// A program of the tools folder with stdout and stderr on one pipe.
inline std::unique_ptr<platform::testing::ChildProcess> StartTool(const std::string& tool,
                                                                  std::vector<std::string> args = {}) {
  std::vector<std::string> all = {"-c", "exec \"$0\" \"$@\" 2>&1", platform::testing::ToolsFolder() + "/" + tool};
  all.insert(all.end(), args.begin(), args.end());
  return std::make_unique<platform::testing::ChildProcess>("/bin/sh", all);
}

// Waits until a manager window other than `other` is up, looking every 10 ms at most
// `tries` times; its handle, or 0.
inline platform::HWND WaitForManager(platform::HWND other = 0, int tries = 500) {
  for (int i = 0; i < tries; ++i) {
    platform::HWND h = platform::FindWindow(g_ProductIdentity.windowClassName);
    if (h != 0 && h != other) return h;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return 0;
}

}  // namespace trayhubtest
