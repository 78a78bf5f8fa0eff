// Test helper: trayhub's start-up and window around an in-memory player, for the tests
// that run shellhost against kinds of content and trouble the demo player lacks.
//   $SHELLHOST_TEST_PLAYER  "full" (default): the in-memory demo catalogue with its
//                           storage medium listed; "disconnected": a player that never
//                           connects
//   $SHELLHOST_TEST_FAIL    the name of an operation that always fails ("GetFirstArtist")
// Started like trayhub; its variant is trayhub's.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "device/operations.h"
#include "manager/hosted_device.h"
#include "manager/manager_app.h"

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
  SeedDemoCatalogue(*device);
  device->SetCapability(DeviceOp::SupportsStorageList, 1);
  if (const char* fail = std::getenv("SHELLHOST_TEST_FAIL"); fail != nullptr && *fail != '\0') {
#define SHELLHOST_FAIL_ROW(code, Name, ...) \
  if (std::strcmp(fail, #Name) == 0) device->FailWithError(DeviceOp::Name, kErrorFail, "Test Player", "It failed on purpose.");
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
