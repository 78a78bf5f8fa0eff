// simplayer: creates and inspects simulated players.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "platform/paths/paths.h"
#include "platform/vendorsdk/generated_player.h"
#include "platform/vendorsdk/simplayer.h"

using namespace platform;

namespace {

int Usage() {
  std::fprintf(stderr,
               "usage: simplayer create FOLDER [--owner NAME] [--model NAME] [--capacity BYTES]\n"
               "       simplayer demo FOLDER\n"
               "       simplayer generate FOLDER TRACKS [--seed N]\n"
               "       simplayer info FOLDER\n"
               "       simplayer list FOLDER\n"
               "       simplayer check FOLDER\n"
               "       simplayer play-only FOLDER TRACK-ID on|off\n"
               "FOLDER is a POSIX path; info, list and check also work while the player is in use.\n"
               "check names every record of the store that cannot be read and every playlist rewrite the\n"
               "manager left half-done (exit status 1 when there is one).\n");
  return 2;
}

std::string Folder(const char* arg) { return FromPosixPath(arg); }

std::shared_ptr<SimPlayer> OpenOrSay(const char* arg, bool readOnly) {
  SdkResult code = kSdkOk;
  std::string error;
  auto player = SimPlayer::Open(Folder(arg), &code, &error, readOnly);
  if (!player) std::fprintf(stderr, "simplayer: %s\n", error.c_str());
  return player;
}

std::string Version(const std::uint16_t v[4]) {
  return std::to_string(v[0]) + "." + std::to_string(v[1]) + "." + std::to_string(v[2]) + "." +
         std::to_string(v[3]);
}

int Info(const char* folder) {
  auto player = OpenOrSay(folder, true);
  if (!player) return 1;
  const SimPlayer::Snapshot s = player->TakeSnapshot();
  const SimProperties& p = s.properties;
  int tracks = 0, files = 0, folders = 0;
  for (const auto& [id, it] : s.items) {
    tracks += it.type == kSdkTrack;
    files += it.type == kSdkDataFile;
    folders += it.type == kSdkDataFolder;
  }
  std::printf("model      %s\nowner      %s\nfirmware   %s\nhardware   %s\n", p.modelName.c_str(),
              p.ownerName.c_str(), Version(p.firmwareVersion).c_str(),
              Version(p.hardwareVersion).c_str());
  std::printf("unique id  ");
  for (std::uint8_t b : p.uniqueId) std::printf("%02X", b);
  std::printf("\ncapacity   %llu bytes, %llu used\nvolume     %d%s\n",
              static_cast<unsigned long long>(p.capacityBytes),
              static_cast<unsigned long long>(s.usedBytes), p.volume, p.mute ? " (muted)" : "");
  std::printf("content    %d tracks, %zu playlists, %d data files, %d data folders\n", tracks,
              s.playlists.size(), files, folders);
  if (const std::size_t n = player->Problems().size(); n > 0) {
    std::printf("problems   %zu (simplayer check names them)\n", n);
  }
  return 0;
}

int Check(const char* folder) {
  SdkResult code = kSdkOk;
  std::string error;
  auto player = SimPlayer::Open(Folder(folder), &code, &error, true);
  if (!player) {
    std::printf("%s\n", error.c_str());
    return 1;
  }
  const std::vector<SimStoreProblem> problems = player->Problems();
  for (const SimStoreProblem& p : problems) std::printf("%s\n", p.text.c_str());
  const std::vector<std::string> rewrites = HalfDoneRewrites(*player);
  for (const std::string& r : rewrites) std::printf("%s\n", r.c_str());
  const std::size_t n = problems.size() + rewrites.size();
  if (n == 0) {
    std::printf("No problems in the player in %s.\n", player->PosixFolder().c_str());
    return 0;
  }
  std::printf("%zu problem(s) in the player in %s.\n", n, player->PosixFolder().c_str());
  return 1;
}

int List(const char* folder) {
  auto player = OpenOrSay(folder, true);
  if (!player) return 1;
  const SimPlayer::Snapshot s = player->TakeSnapshot();
  std::printf("Tracks\n");
  for (const auto& [id, it] : s.items) {
    if (it.type != kSdkTrack) continue;
    std::printf("  %6u  %-3s %4us  %s / %s / %u %s  (%s, %u)  %llu bytes%s\n", id,
                it.codec.c_str(), it.length, it.artist.c_str(), it.album.c_str(),
                it.trackNumber, it.name.c_str(), it.genre.c_str(), it.year,
                static_cast<unsigned long long>(it.size), it.playOnly ? "  play-only" : "");
  }
  std::printf("Playlists\n");
  for (const auto& [id, pl] : s.playlists) {
    std::printf("  %6u  %s:", id, pl.name.c_str());
    for (std::uint32_t t : pl.tracks) {
      if (s.items.count(t) != 0) std::printf(" %u", t);  // held entries are not listed
    }
    std::printf("\n");
  }
  std::printf("Data\n");
  std::function<void(std::uint32_t, const std::string&)> walk = [&](std::uint32_t parent,
                                                                    const std::string& path) {
    for (const auto& [id, it] : s.items) {
      if (it.type == kSdkTrack || it.parent != parent) continue;
      const std::string name = path + "\\" + it.name;
      if (it.type == kSdkDataFolder) {
        std::printf("  %6u  %s\\\n", id, name.c_str());
        walk(id, name);
      } else {
        std::printf("  %6u  %s  %llu bytes\n", id, name.c_str(),
                    static_cast<unsigned long long>(it.size));
      }
    }
  };
  walk(kSdkDataRootId, "");
  return 0;
}

// A large made-up player (see generated_player.h).
int Generate(int argc, char** argv) {
  if (argc != 4 && !(argc == 6 && std::strcmp(argv[4], "--seed") == 0)) return Usage();
  GeneratedPlayerOptions options;
  char* end = nullptr;
  const long tracks = std::strtol(argv[3], &end, 10);
  if (*end != '\0' || tracks < 0 || tracks > 1'000'000) return Usage();
  options.tracks = int(tracks);
  if (argc == 6) options.seed = unsigned(std::strtoul(argv[5], nullptr, 10));
  std::string error;
  if (!CreateGeneratedPlayer(Folder(argv[2]), options, &error)) {
    std::fprintf(stderr, "simplayer: %s\n", error.c_str());
    return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return Usage();
  const std::string command = argv[1];
  const char* folder = argv[2];
  std::string error;
  if (command == "create") {
    SimPlayerOptions options;
    for (int i = 3; i + 1 < argc; i += 2) {
      if (std::strcmp(argv[i], "--owner") == 0) options.ownerName = argv[i + 1];
      else if (std::strcmp(argv[i], "--model") == 0) options.modelName = argv[i + 1];
      else if (std::strcmp(argv[i], "--capacity") == 0) options.capacityBytes = std::strtoull(argv[i + 1], nullptr, 10);
      else return Usage();
    }
    if ((argc - 3) % 2 != 0) return Usage();
    if (!CreateSimPlayer(Folder(folder), options, &error)) {
      std::fprintf(stderr, "simplayer: %s\n", error.c_str());
      return 1;
    }
    return 0;
  }
  if (command == "demo") {
    if (argc != 3) return Usage();
    if (!CreateDemoPlayer(Folder(folder), &error)) {
      std::fprintf(stderr, "simplayer: %s\n", error.c_str());
      return 1;
    }
    return 0;
  }
  if (command == "generate") return Generate(argc, argv);
  if (command == "info" && argc == 3) return Info(folder);
  if (command == "list" && argc == 3) return List(folder);
  if (command == "check" && argc == 3) return Check(folder);
  if (command == "play-only" && argc == 5) {
    auto player = OpenOrSay(folder, false);
    if (!player) return 1;
    const bool on = std::strcmp(argv[4], "on") == 0;
    if (!on && std::strcmp(argv[4], "off") != 0) return Usage();
    if (player->SetPlayOnly(std::uint32_t(std::strtoul(argv[3], nullptr, 10)), on) != kSdkOk) {
      std::fprintf(stderr, "simplayer: there is no track %s.\n", argv[3]);
      return 1;
    }
    return 0;
  }
  return Usage();
}
