// Test helper: trayhub's start-up and window around an in-memory player, for the tests
// that run shellhost against kinds of content and trouble the demo player lacks.
//   $SHELLHOST_TEST_PLAYER  "full" (default): the in-memory demo catalogue with its
//                           storage medium listed; "disconnected": a player that never
//                           connects
//   $SHELLHOST_TEST_FAIL    the name of an operation that always fails ("GetFirstArtist")
//   $SHELLHOST_TEST_TRACKS  a number: a player of that many tracks and nothing else
//   $SHELLHOST_TEST_ODD_NAMES  set: the demo catalogue with a track and a playlist whose
//                           names hold line breaks and a tab, as tags and players may
// Started like trayhub; its variant is trayhub's.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "device/operations.h"
#include "manager/hosted_device.h"
#include "manager/manager_app.h"

using namespace manager;

using namespace device;

namespace {

class NeverConnected : public MemoryDeviceBase {
 public:
  NeverConnected() { SetConnected(false); }
  void Connect() override {}
};

std::unique_ptr<KernelDevice> MakePlayer() {
  const char* kind = std::getenv("SHELLHOST_TEST_PLAYER");
  if (kind != nullptr && std::strcmp(kind, "disconnected") == 0) return std::make_unique<NeverConnected>();
  auto device = std::make_unique<MemoryDevice>();
  if (const char* tracks = std::getenv("SHELLHOST_TEST_TRACKS"); tracks != nullptr && *tracks != '\0') {
    const int count = std::atoi(tracks);
    for (int i = 0; i < count; ++i) {
      const std::string n = std::to_string(i);
      device->AddTrack({.artist = "Artist " + std::to_string(i % 97), .album = "Album " + std::to_string(i % 389),
                        .title = "Title " + n, .genre = "Genre " + std::to_string(i % 13), .number = i % 20 + 1,
                        .year = 1990 + i % 30, .length = 180 + i % 120, .fileSize = 4000000});
    }
    return device;
  }
  SeedDemoCatalogue(*device);
  if (std::getenv("SHELLHOST_TEST_ODD_NAMES") != nullptr) {
    const KernelId odd = device->AddTrack({.artist = "Line", .album = "Break", .title = "Two\r\nLines", .genre = "Tab\tGenre",
                                           .number = 1, .length = 200});
    device->AddPlaylist("Late\r\nNight\tMix", {odd});
  }
  device->SetCapability(DeviceOp::SupportsStorageList, 1);
  if (const char* fail = std::getenv("SHELLHOST_TEST_FAIL"); fail != nullptr && *fail != '\0') {
#define SHELLHOST_FAIL_ROW(code, Name, ...) \
  if (std::strcmp(fail, #Name) == 0) device->FailWithError(DeviceOp::Name, platform::E_FAIL, "Test Player", "It failed on purpose.");
    KERNEL_DEVICE_OPERATIONS(SHELLHOST_FAIL_ROW)
#undef SHELLHOST_FAIL_ROW
  }
  return device;
}

}  // namespace

int main(int argc, char** argv) {
  ManagerStartup startup;
  for (int i = 1; i < argc; ++i) startup.arguments.emplace_back(argv[i]);
  startup.identityPath = "trayhub";
  startup.makeDevice = MakePlayer;
  OmbrixManagerApp app(std::move(startup));
  if (!app.InitInstance()) return 0;
  return app.Run();
}
