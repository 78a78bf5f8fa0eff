// Test helper: trayhub's start-up with the player driver over the simulated player, and a
// watch on the files on their way into the player: the file named by
// $LAUNCHER_TEST_UPLOADING exists while one is, and with $LAUNCHER_TEST_UNPLUG set the
// player is unplugged as soon as the first one is.
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <thread>

#include "common/settings.h"
#include "manager/hosted_device.h"
#include "manager/manager_app.h"
#include "platform/kernel/kernel.h"
#include "platform/vendorsdk/simplayer.h"

namespace {

void WatchUploads(std::string marker, bool unplug) {
  std::string appData, problem;
  if (!FindAppDataFolder(appData, problem)) return;
  const std::string player = appData + "\\player";
  std::thread([player, marker, unplug] {
    std::shared_ptr<platform::SimPlayer> sim;
    bool shown = false, unplugged = false;
    for (;; platform::Sleep(1)) {
      // The same object as the manager's once either side has opened the player.
      if (!sim) sim = platform::SimPlayer::Open(player, nullptr, nullptr);
      const bool uploading = sim && sim->UploadsInProgress() != 0;
      if (!marker.empty() && uploading != shown) {
        if (uploading) {
          std::ofstream(marker) << "uploading";
        } else {
          ::unlink(marker.c_str());
        }
        shown = uploading;
      }
      if (uploading && unplug && !unplugged) {
        sim->Unplug();
        unplugged = true;
      }
    }
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
  const char* marker = std::getenv("LAUNCHER_TEST_UPLOADING");
  const bool unplug = std::getenv("LAUNCHER_TEST_UNPLUG") != nullptr;
  if (marker != nullptr || unplug) WatchUploads(marker != nullptr ? marker : "", unplug);
  return app.Run();
}
