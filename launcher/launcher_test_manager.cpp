// Test helper: trayhub's start-up with the player driver over the simulated player, and a
// hand that pulls the player out: with $LAUNCHER_TEST_UNPLUG set, the player is unplugged
// as soon as a file is on its way into it (its ".part" file appears in the store).
#include <dirent.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "common/settings.h"
#include "manager/hosted_device.h"
#include "manager/manager_app.h"
#include "platform/kernel/kernel.h"
#include "platform/paths/paths.h"
#include "platform/vendorsdk/simplayer.h"

using namespace manager;

namespace {

bool PartFileIn(const std::string& folder) {
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) return false;
  bool found = false;
  while (const dirent* e = ::readdir(dir)) {
    const std::size_t n = std::strlen(e->d_name);
    found = found || (n > 5 && std::strcmp(e->d_name + n - 5, ".part") == 0);
  }
  ::closedir(dir);
  return found;
}

void UnplugOnFirstUpload() {
  std::string appData, problem;
  if (!FindAppDataFolder(appData, problem)) return;
  const std::string player = appData + "\\player";
  std::thread([player] {
    const std::string files = platform::ToPosixPath(player) + "/files";
    while (!PartFileIn(files)) platform::Sleep(1);
    if (auto sim = platform::SimPlayer::Open(player, nullptr, nullptr)) sim->Unplug();
  }).detach();
}

}  // namespace

int main(int argc, char** argv) {
  ManagerStartup startup;
  for (int i = 1; i < argc; ++i) startup.arguments.emplace_back(argv[i]);
  startup.identityPath = "trayhub";
  startup.makeDevice = MakeHostedDevice;
  OmbrixManagerApp app(std::move(startup));
  if (!app.InitInstance()) return 0;
  if (std::getenv("LAUNCHER_TEST_UNPLUG") != nullptr) UnplugOnFirstUpload();
  return app.Run();
}
