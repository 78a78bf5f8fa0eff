// Upload time of one file into the simulated player through the player driver: from the
// driver's UploadTrack to the upload-done notice at the progress window, on a fresh player
// each round. bench/upload.sh runs it beside `cp` of the same file on the same disk.
//
//   bench_upload <source file> <work folder> [rounds]
//
// Prints one line "upload <seconds>" per round. Keeps to its own namespace and settings
// (under the work folder), so a running system is never disturbed.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "common/identity.h"
#include "device/messages.h"
#include "driver/device_clsdk3.h"
#include "driver/driver_clsdk3.h"
#include "platform/kernel/kernel.h"
#include "platform/paths/paths.h"
#include "platform/vendorsdk/simplayer.h"
#include "platform/window/window.h"

using namespace driver;

using namespace device;

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: bench_upload <source file> <work folder> [rounds]\n");
    return 2;
  }
  const std::string source = std::filesystem::absolute(argv[1]).string();
  const std::string work = std::filesystem::absolute(argv[2]).string();
  const int rounds = argc > 3 ? std::atoi(argv[3]) : 1;
  const std::string ns = "benchupload-" + std::to_string(::getpid());
  ::setenv("TOVARIN_NS", ns.c_str(), 1);
  ::setenv("TOVARIN_HOME", (work + "/home").c_str(), 1);
  ::setenv("TMPDIR", work.c_str(), 1);
  g_ProductIdentity.InitFromPath("trayhub");

  bool done = false;
  long long result = -1;
  platform::RegisterClass("BenchUpload Window");
  const platform::HWND window = platform::CreateWindow(
      "BenchUpload Window", 0,
      [&](platform::HWND h, platform::UINT m, platform::WPARAM w, platform::LPARAM l) -> platform::LRESULT {
        if (m == WM_UPLOADDONE) {
          done = true;
          result = l;
        }
        return platform::DefWindowProc(h, m, w, l);
      });

  int status = 0;
  for (int round = 0; round < rounds && status == 0; ++round) {
    const std::string folder = platform::FromPosixPath(work + "/player");
    std::error_code ec;
    std::filesystem::remove_all(work + "/player", ec);
    platform::SimPlayerOptions options;
    options.capacityBytes = 1ull << 40;
    std::string error;
    if (!platform::CreateSimPlayer(folder, options, &error)) {
      std::fprintf(stderr, "bench_upload: %s\n", error.c_str());
      return 1;
    }
    {
      KernelDriverCLSDK3 driver(folder);
      driver.Initialize();
      std::unique_ptr<KernelDevice> device = driver.CreateDevice(KernelId(5), KernelId(1));
      device->Connect();
      if (device->IsConnected() == 0) {
        std::fprintf(stderr, "bench_upload: the player could not be opened\n");
        return 1;
      }
      TrackRecord record;
      record.artist.Set("Bench");
      record.title.Set("Large");
      record.length = 600;
      KernelId unused;
      done = false;
      device->SetProgressWindow(window);
      const auto t0 = std::chrono::steady_clock::now();
      if (device->UploadTrack(platform::FromPosixPath(source), record, unused) != 0) {
        std::fprintf(stderr, "bench_upload: the upload was refused\n");
        return 1;
      }
      platform::MSG msg;
      while (!done && platform::GetMessage(&msg) > 0) platform::DispatchMessage(&msg);
      const auto t1 = std::chrono::steady_clock::now();
      if (result != 0) {
        std::fprintf(stderr, "bench_upload: the upload failed with 0x%llX\n", result);
        status = 1;
      } else {
        std::printf("upload %.6f\n", std::chrono::duration<double>(t1 - t0).count());
        std::fflush(stdout);
      }
    }
    std::filesystem::remove_all(work + "/player", ec);
  }
  platform::DestroyWindow(window);
  std::error_code ec;
  std::filesystem::remove_all(work + "/home", ec);
  const std::string runtime = platform::RuntimeFolder();
  if (!runtime.empty()) std::filesystem::remove_all(runtime, ec);
  return status;
}
