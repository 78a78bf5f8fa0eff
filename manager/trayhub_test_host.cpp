// Test helper: trayhub's start-up and window around a player that shows what the road
// must carry across processes. The player is the demo catalogue's in-memory player plus:
//   Op3120(ms, pump)  takes `ms` milliseconds, pumping the window's messages meanwhile
//                     when `pump` is non-zero; answers how many times it was called. A
//                     call that takes time says "op3120 running" on stdout first, so a
//                     test acts while it runs instead of guessing when that is
//   UploadTrack       sends three upload notices to the progress window and answers the
//                     sum of the window's answers
// Started like trayhub (the arguments go to the start-up); its variant is trayhub's.
#include <atomic>
#include <cstdio>

#include "device/messages.h"
#include "manager/manager_app.h"
#include "manager/utilities.h"

using namespace manager;

using namespace device;

namespace {

class TestHostDevice : public MemoryDeviceBase {
 public:
  TestHostDevice() { SeedDemoCatalogue(*this); }

  int Op3120(int ms, int pump) override {
    const int call = ++calls_;
    if (ms > 0) {
      std::printf("op3120 running\n");
      std::fflush(stdout);
    }
    const std::uint64_t end = platform::GetTickCount64() + static_cast<std::uint64_t>(ms);
    while (platform::GetTickCount64() < end) {
      if (pump != 0) {
        PumpMessages();
      } else {
        platform::Sleep(1);
      }
    }
    return call;
  }

  int UploadTrack(std::string_view, const TrackRecord&, KernelId& newTrack) override {
    int sum = 0;
    for (int i = 1; i <= 3; ++i) sum += NotifyUploadProgress(i * 10);
    newTrack = KernelId(4242);
    return sum;
  }

 private:
  int calls_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
  ManagerStartup startup;
  for (int i = 1; i < argc; ++i) startup.arguments.emplace_back(argv[i]);
  startup.identityPath = "trayhub";
  startup.makeDevice = [] { return std::make_unique<TestHostDevice>(); };
  OmbrixManagerApp app(std::move(startup));
  if (!app.InitInstance()) return 0;
  return app.Run();
}
