#include "manager/hosted_device.h"

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "common/folders.h"
#include "common/identity.h"
#include "common/settings.h"
#include "driver/driver_clsdk3.h"
#include "platform/paths/paths.h"
#include "platform/settings/settings.h"
#include "platform/vendorsdk/simplayer.h"

namespace manager {

using namespace driver;

using namespace device;

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

bool FindAppDataFolder(std::string& folder, std::string& problem) {
  const std::string sentinel(1, '\0');
  std::string text = sentinel;
  ReadSettingString("Gen_AppDataDir", text);
  if (text == sentinel) {
    // Not a text the settings family reads: absent (or on a line the store cannot read),
    // or a value of another kind.
    std::optional<platform::SettingsKey> key =
        platform::SettingsKey::Open(platform::Hive::CurrentUser, g_ProductIdentity.settingsKey);
    problem = key && key->Get("Gen_AppDataDir") ? "cannot be read: it is not a text" : "is missing or cannot be read";
    return false;
  }
  if (text.empty()) {
    problem = "is empty";
    return false;
  }
  const bool drive = text.size() >= 3 && text[1] == ':' && text[2] == '\\' &&
                     ((text[0] >= 'A' && text[0] <= 'Z') || (text[0] >= 'a' && text[0] <= 'z'));
  if (!drive && text[0] != '\\') {
    problem = "names \"" + text + "\", which is not a full path";
    return false;
  }
  const platform::FileInfo info = platform::QueryFile(text);
  if (!info.exists || !info.directory) {
    problem = "names \"" + text + "\", which " + (info.exists ? "is not a folder" : "does not exist");
    return false;
  }
  while (text.size() > 1 && text.back() == '\\' && text[text.size() - 2] != ':') text.pop_back();
  folder = text;
  return true;
}

namespace {

std::unique_ptr<KernelDevice> MakeDriverDevice() {
  std::string appData, problem;
  if (!FindAppDataFolder(appData, problem)) {
    std::fprintf(stderr, "trayhub: no player: the setting Gen_AppDataDir %s\n", problem.c_str());
    return nullptr;
  }
  const std::string folder = appData + (appData.back() == '\\' ? "player" : "\\player");
  if (!platform::QueryEntry(folder).exists) {
    // First start: a demo player, so that there is something to list and play.
    std::string error;
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

}  // namespace manager
