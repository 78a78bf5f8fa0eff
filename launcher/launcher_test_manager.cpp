// Test helper: trayhub's start-up with the player driver over the simulated player, and a
// hand that pulls the player out: with $LAUNCHER_TEST_UNPLUG set, the player is unplugged
// as soon as a file is on its way into it (its ".part" file appears in the store); with
// it set to "item", as soon as the store holds an item it did not hold at start (the
// first track of a new contact).
#include <dirent.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <set>
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

// The names of the files in a folder.
std::set<std::string> FilesIn(const std::string& folder) {
  std::set<std::string> names;
  if (DIR* dir = ::opendir(folder.c_str())) {
    while (const dirent* e = ::readdir(dir)) names.insert(e->d_name);
    ::closedir(dir);
  }
  return names;
}

// Unplugs the player once `ready` answers true for its store's POSIX folder.
void UnplugWhen(std::function<std::function<bool()>(const std::string&)> watch) {
  std::string appData, problem;
  if (!FindAppDataFolder(appData, problem)) return;
  const std::string player = appData + "\\player";
  const std::function<bool()> ready = watch(platform::ToPosixPath(player));
  std::thread([player, ready] {
    while (!ready()) platform::Sleep(1);
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
  if (const char* unplug = std::getenv("LAUNCHER_TEST_UNPLUG")) {
    if (std::strcmp(unplug, "item") == 0) {
      UnplugWhen([](const std::string& store) {
        const std::string items = store + "/items";
        return [items, before = FilesIn(items)] {
          for (const std::string& name : FilesIn(items)) {
            if (before.count(name) == 0 && name.find(".txt") != std::string::npos) return true;
          }
          return false;
        };
      });
    } else {
      UnplugWhen([](const std::string& store) {
        const std::string files = store + "/files";
        return [files] { return PartFileIn(files); };
      });
    }
  }
  return app.Run();
}
