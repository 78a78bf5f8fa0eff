// Test helper: a client process of a running trayhub (or trayhub_test_host) that hosts
// the demo catalogue.
//   trayhub_test_client stress <requests> <offset>
//       reads tracks through the road and checks every answer against a local copy of
//       the catalogue; prints "done <requests> wrong <n> errors <n>"
//   trayhub_test_client bench <requests>
//       one simple request after another; prints "done <requests> <microseconds>"
// Both print "ready" once connected and start when a line arrives on stdin, so that
// several clients can be started together.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>

#include "common/identity.h"
#include "device/kernel_device_client.h"
#include "testing/device_operations.h"
#include "manager/hosted_device.h"

using namespace manager;

using namespace device;

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: trayhub_test_client stress <requests> <offset> | bench <requests>\n");
    return 2;
  }
  const std::string mode = argv[1];
  const long requests = std::strtol(argv[2], nullptr, 10);
  const long offset = argc > 3 ? std::strtol(argv[3], nullptr, 10) : 0;
  g_ProductIdentity.InitFromPath("trayhub");

  KernelDeviceClient client;
  if (client.ConnectToManager(0, KernelId(5), KernelId(1), 0) == 0) {
    std::printf("not connected\n");
    return 3;
  }
  MemoryDevice reference;
  SeedDemoCatalogue(reference);
  std::vector<KernelId> tracks;
  KernelId id;
  for (int n = reference.GetFirstAudioTrack(id); n != 0; n = reference.GetNextAudioTrack(id)) tracks.push_back(id);

  std::printf("ready\n");
  std::fflush(stdout);
  std::string go;
  std::getline(std::cin, go);

  const auto t0 = std::chrono::steady_clock::now();
  long wrong = 0, errors = 0;
  for (long i = 0; i < requests; ++i) {
    const KernelId& track = tracks[static_cast<std::size_t>((i + offset) % static_cast<long>(tracks.size()))];
    try {
      if (mode == "bench") {
        client.GetTrackYear(track);
        continue;
      }
      switch ((i + offset) % 3) {
        case 0:
          wrong += client.GetTrackTitle(track) != reference.GetTrackTitle(track);
          break;
        case 1:
          wrong += client.GetTrackYear(track) != reference.GetTrackYear(track);
          break;
        default: {
          TrackRecord got, want;
          client.GetTrackInfo(track, got);
          reference.GetTrackInfo(track, want);
          wrong += optest::Describe(got) != optest::Describe(want);
        }
      }
    } catch (const std::exception& e) {
      if (errors++ == 0) std::fprintf(stderr, "trayhub_test_client: %s\n", e.what());
    }
  }
  const auto us = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - t0).count();
  if (mode == "bench") {
    std::printf("done %ld %lld\n", requests, static_cast<long long>(us));
  } else {
    std::printf("done %ld wrong %ld errors %ld\n", requests, wrong, errors);
  }
  std::fflush(stdout);
  return 0;
}
