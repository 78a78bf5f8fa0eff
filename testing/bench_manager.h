// The manager the library's benchmarks ask: shellhost_test_player (from the folder of the
// benchmark) with a player of `tracks` generated tracks, in a namespace, home and settings
// of the run's own; the library's device proxy is connected to it. Everything goes when
// the object does.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include "common/identity.h"
#include "device/kernel_device_client.h"
#include "manager/manager_wnd.h"
#include "testing/bench_support.h"
#include "platform/paths/paths.h"
#include "platform/settings/settings.h"
#include "shellext/library.h"

namespace shellext::benchmarks {

class BenchManager {
 public:
  BenchManager(const char* tag, int tracks) {
    const std::string ns = platform::bench::UseOwnNamespace(tag);
    home_ = (std::filesystem::temp_directory_path() / (ns + "-XXXXXX")).string();
    if (::mkdtemp(home_.data()) == nullptr) return;
    ::setenv("TOVARIN_HOME", home_.c_str(), 1);
    ::setenv("TMPDIR", home_.c_str(), 1);
    ::setenv("SHELLHOST_TEST_TRACKS", std::to_string(tracks).c_str(), 1);
    g_ProductIdentity.InitFromPath("trayhub");
    auto key = platform::SettingsKey::Create(platform::Hive::CurrentUser, g_ProductIdentity.settingsKey);
    key.SetDword("Kor_InstallResult", kInstallJukeboxDriver | kInstallJukeboxTray);
    key.SetDword("VX_Disable", 1);
    std::filesystem::create_directories(home_ + "/appdata");
    key.SetString("Gen_AppDataDir", platform::FromPosixPath(home_ + "/appdata"));
    g_ProductIdentity.InitFromPath("/opt/tovarin/ombrixj1.so");  // the library's identity: same family
    platform::SettingsKey::Create(platform::Hive::CurrentUser, g_ProductIdentity.settingsKey);
    manager_ = std::make_unique<platform::bench::Child>(std::vector<std::string>{Folder() + "/shellhost_test_player"});
    for (int i = 0; i < 1000 && platform::FindWindow(g_ProductIdentity.windowClassName) == 0; ++i) platform::Sleep(10);
    connected_ = g_DeviceClient.ConnectToManager(0, device::KernelId(1), device::KernelId(1), 0) != 0;
    if (!connected_) std::fprintf(stderr, "%s: the manager was not reached\n", tag);
  }
  ~BenchManager() {
    manager_.reset();
    std::error_code ec;
    if (!home_.empty()) std::filesystem::remove_all(home_, ec);
    platform::bench::RemoveRuntimeFolder();
  }
  BenchManager(const BenchManager&) = delete;
  BenchManager& operator=(const BenchManager&) = delete;

  bool Connected() const { return connected_; }

 private:
  static std::string Folder() {
    char buf[4096];
    const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    buf[n > 0 ? n : 0] = '\0';
    return std::filesystem::path(buf).parent_path().string();
  }

  std::string home_;
  std::unique_ptr<platform::bench::Child> manager_;
  bool connected_ = false;
};

}  // namespace shellext::benchmarks
