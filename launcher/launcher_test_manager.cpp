// Test helper: trayhub's start-up with the player driver over the simulated player, and a
// watch on the player: the file named by $LAUNCHER_TEST_UPLOADING exists while a file is
// on its way into the player; with $LAUNCHER_TEST_UNPLUG set the player is pulled out in
// the middle of the first file's copy into it, or, set to "item", as soon as the store
// holds an item it did not hold at start (the first track of a new contact). With
// $LAUNCHER_TEST_DISK_FULL set, every file copied out of the player finds the computer's
// disk full.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <set>
#include <string>
#include <thread>

#include "common/settings.h"
#include "manager/hosted_device.h"
#include "manager/manager_app.h"
#include "platform/kernel/kernel.h"
#include "platform/vendorsdk/simplayer.h"

using namespace manager;

namespace {

enum class Unplug { kNever, kFirstUpload, kNewItem };

std::set<std::uint32_t> ItemIds(platform::SimPlayer& sim) {
  std::set<std::uint32_t> ids;
  for (const auto& entry : sim.TakeSnapshot().items) ids.insert(entry.first);
  return ids;
}

// An item made since start; items deleted meanwhile do not count.
bool HoldsNewItem(platform::SimPlayer& sim, const std::set<std::uint32_t>& before) {
  for (const auto& entry : sim.TakeSnapshot().items) {
    if (!before.contains(entry.first)) return true;
  }
  return false;
}

// The same object as the manager's once either side has opened the player. The first
// upload's pull is armed in the player itself: a watching thread may not run while a
// file is copied.
std::shared_ptr<platform::SimPlayer> OpenPlayer(const std::string& player, Unplug unplug) {
  std::shared_ptr<platform::SimPlayer> sim = platform::SimPlayer::Open(player, nullptr, nullptr);
  if (sim && unplug == Unplug::kFirstUpload) sim->InjectFault(platform::SimFault::kUnplugMidUpload, 1);
  return sim;
}

void Watch(std::string marker, Unplug unplug) {
  std::string appData, problem;
  if (!FindAppDataFolder(appData, problem)) return;
  const std::string player = appData + "\\player";
  std::shared_ptr<platform::SimPlayer> opened = OpenPlayer(player, unplug);
  std::thread([player, marker, unplug, opened] {
    std::shared_ptr<platform::SimPlayer> sim = opened;
    std::set<std::uint32_t> before;
    if (sim) before = ItemIds(*sim);
    bool shown = false, unplugged = false;
    for (;; platform::Sleep(1)) {
      if (!sim) {
        sim = OpenPlayer(player, unplug);
        if (sim) before = ItemIds(*sim);
        continue;
      }
      const bool uploading = sim->UploadsInProgress() != 0;
      if (!marker.empty() && uploading != shown) {
        if (uploading) {
          std::ofstream(marker) << "uploading";
        } else {
          ::unlink(marker.c_str());
        }
        shown = uploading;
      }
      if (unplugged) continue;
      if (unplug == Unplug::kNewItem && HoldsNewItem(*sim, before)) {
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
  const char* unplug = std::getenv("LAUNCHER_TEST_UNPLUG");
  const Unplug when = unplug == nullptr                ? Unplug::kNever
                      : std::strcmp(unplug, "item") == 0 ? Unplug::kNewItem
                                                         : Unplug::kFirstUpload;
  if (marker != nullptr || when != Unplug::kNever) Watch(marker != nullptr ? marker : "", when);
  std::shared_ptr<platform::SimPlayer> full;  // held while the manager runs
  if (std::getenv("LAUNCHER_TEST_DISK_FULL") != nullptr) {
    std::string appData, problem;
    if (FindAppDataFolder(appData, problem)) full = platform::SimPlayer::Open(appData + "\\player", nullptr, nullptr);
    if (full) full->InjectFault(platform::SimFault::kDiskFull);
  }
  return app.Run();
}
