// Test helper: trayhub's start-up with the player driver over the simulated player, and a
// hand that pulls the player out as soon as the store gains an item it did not hold at
// start (with $CONTACT_SYNC_TEST_UNPLUG set): the first track of a new contact.
#include <dirent.h>

#include <cstdlib>
#include <set>
#include <string>
#include <thread>

#include "common/settings.h"
#include "manager/hosted_device.h"
#include "manager/manager_app.h"
#include "platform/kernel/kernel.h"
#include "platform/paths/paths.h"
#include "platform/vendorsdk/simplayer.h"

namespace {

std::set<std::string> Items(const std::string& folder) {
  std::set<std::string> names;
  if (DIR* dir = ::opendir(folder.c_str())) {
    while (const dirent* e = ::readdir(dir)) {
      const std::string name = e->d_name;
      if (name.size() > 4 && name.compare(name.size() - 4, 4, ".txt") == 0) names.insert(name);
    }
    ::closedir(dir);
  }
  return names;
}

void UnplugOnFirstNewItem() {
  std::string appData, problem;
  if (!FindAppDataFolder(appData, problem)) return;
  const std::string player = appData + "\\player";
  const std::string items = platform::ToPosixPath(player) + "/items";
  const std::set<std::string> before = Items(items);
  std::thread([player, items, before] {
    for (;;) {
      const std::set<std::string> now = Items(items);
      bool added = false;
      for (const std::string& n : now) added = added || before.count(n) == 0;
      if (added) break;
      platform::Sleep(1);
    }
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
  if (std::getenv("CONTACT_SYNC_TEST_UNPLUG") != nullptr) UnplugOnFirstNewItem();
  return app.Run();
}
