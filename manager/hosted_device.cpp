#include "manager/hosted_device.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "common/folders.h"
#include "common/settings.h"
#include "manager/driver_clsdk3.h"
#include "platform/paths/paths.h"
#include "platform/vendorsdk/simplayer.h"

void SeedDemoCatalogue(MemoryDeviceBase& device) {
  struct Album {
    const char* artist;
    const char* album;
    const char* genre;
    int year;
    const char* titles[3];
  };
  static const Album kAlbums[] = {
      {"Ada Lind", "North Light", "Folk", 2004, {"Harbour", "Long Road", "Salt"}},
      {"Brass Fold", "Metal Hours", "Jazz", 1998, {"Opening", "Night Shift", "Coda"}},
      {"Cyra", "Glass Rooms", "Pop", 2019, {"Mirror", "Static", "Echo Park"}},
      {"Dunmore Trio", "Live at Kells", "Jazz", 2011, {"Intro", "Kells Blues", "Encore"}},
  };
  std::vector<KernelId> tracks;
  for (const auto& a : kAlbums) {
    for (int i = 0; i < 3; ++i) {
      tracks.push_back(device.AddTrack({.artist = a.artist,
                                        .album = a.album,
                                        .title = a.titles[i],
                                        .genre = a.genre,
                                        .content = std::string(1000 + 100 * i, 'x'),
                                        .number = i + 1,
                                        .year = a.year,
                                        .length = 180 + 17 * i}));
    }
  }
  device.AddPlaylist("Evening", {tracks[1], tracks[4], tracks[7]});
  device.AddPlaylist("Jazz Mix", {tracks[3], tracks[9], tracks[10]});
  KernelId docs = device.AddDataFolder(KernelId(), "Documents");
  device.AddDataFile(docs, "readme.txt", "The in-memory player of the manager.\r\n");
  device.AddDataFile(docs, "list.csv", "artist,album\r\n");
  device.AddNote(KernelId(), "Shopping", "Strings, picks.");
  device.AddContact(KernelId(), "Mara Quill");
  device.AddFMPreset("City FM", 9470);
  device.AddStorage("Internal", 20 * 1024 * 1024, 18 * 1024 * 1024);
}

std::string HostedPlayerFolder() {
  std::string appData;
  ReadSettingString("Gen_AppDataDir", appData);
  if (appData.empty()) {
    const char* xdg = std::getenv("XDG_DATA_HOME");
    const char* home = std::getenv("HOME");
    std::string base = xdg != nullptr && *xdg != '\0' ? xdg : std::string(home != nullptr ? home : "") + "/.local/share";
    appData = platform::FromPosixPath(base + "/tovarin");
  }
  while (appData.size() > 1 && appData.back() == '\\') appData.pop_back();
  return appData + "\\player";
}

namespace {

std::unique_ptr<KernelDevice> MakeDriverDevice() {
  const std::string folder = HostedPlayerFolder();
  if (!platform::QueryEntry(folder).exists) {
    // First start: a demo player, so that there is something to list and play.
    std::string error;
    CreateDirectoryPath(folder.substr(0, folder.rfind('\\')));
    if (!platform::CreateDemoPlayer(folder, &error)) {
      std::fprintf(stderr, "trayhub: the demo player could not be made in %s: %s\n",
                   platform::ToPosixPath(folder).c_str(), error.c_str());
    }
  }
  // The drivers live until the process ends, as the devices may reach them until then.
  static std::vector<std::unique_ptr<KernelDriverCLSDK3>> drivers;
  drivers.push_back(std::make_unique<KernelDriverCLSDK3>(folder));
  KernelDriverCLSDK3& driver = *drivers.back();
  driver.Initialize();
  return driver.CreateDevice(KernelId(5), KernelId(1));
}

}  // namespace

std::unique_ptr<KernelDevice> MakeHostedDevice() {
  const char* kind = std::getenv("TOVARIN_DEVICE");
  const std::string chosen = kind != nullptr ? kind : "";
  if (chosen == "driver" || (chosen.empty() && platform::IsVendorSdkInstalled())) return MakeDriverDevice();
  if (!chosen.empty() && chosen != "memory") {
    std::fprintf(stderr, "trayhub: TOVARIN_DEVICE=%s cannot be hosted by this build (known: memory, driver)\n",
                 kind);
    return nullptr;
  }
  auto device = std::make_unique<MemoryDevice>();
  SeedDemoCatalogue(*device);
  return device;
}
