#include "manager/hosted_device.h"

#include <cstdio>
#include <cstdlib>
#include <string>

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

std::unique_ptr<KernelDevice> MakeHostedDevice() {
  const char* kind = std::getenv("TOVARIN_DEVICE");
  if (kind != nullptr && *kind != '\0' && std::string(kind) != "memory") {
    std::fprintf(stderr, "trayhub: TOVARIN_DEVICE=%s cannot be hosted by this build (known: memory)\n", kind);
    return nullptr;
  }
  auto device = std::make_unique<MemoryDevice>();
  SeedDemoCatalogue(*device);
  return device;
}
