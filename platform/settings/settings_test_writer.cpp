// Test helper that writes settings from its own process.
//   settings_test_writer <key> <prefix> <count> [<start file>]
//     waits until the start file exists (so several writers begin together), then stores
//     <count> string values named <prefix><i> holding that name in HKCU\<key>, one write each;
//   settings_test_writer --step <key>
//     for each number read from stdin stores it as the DWORD "N" in HKCU\<key>, then
//     answers "ok" on stdout, so the caller can read right after a write.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/settings/settings.h"

namespace {

int Step(const char* path) {
  platform::SettingsKey key = platform::SettingsKey::Create(platform::Hive::CurrentUser, path);
  unsigned long n = 0;
  while (std::scanf("%lu", &n) == 1) {
    if (!key.SetDword("N", static_cast<std::uint32_t>(n))) return 1;
    std::printf("ok\n");
    std::fflush(stdout);
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::string(argv[1]) == "--step") return Step(argv[2]);
  if (argc < 4) {
    std::fprintf(stderr, "usage: settings_test_writer <key> <prefix> <count> [<start file>]\n"
                         "       settings_test_writer --step <key>\n");
    return 2;
  }
  if (argc > 4) {
    struct stat st {};
    for (int waited = 0; stat(argv[4], &st) != 0; ++waited) {
      if (waited > 20000) {
        std::fprintf(stderr, "settings_test_writer: no start file %s\n", argv[4]);
        return 2;
      }
      usleep(500);
    }
  }
  platform::SettingsKey key = platform::SettingsKey::Create(platform::Hive::CurrentUser, argv[1]);
  const std::string prefix = argv[2];
  const int count = std::atoi(argv[3]);
  for (int i = 0; i < count; ++i) {
    const std::string name = prefix + std::to_string(i);
    if (!key.SetString(name, name)) {
      std::fprintf(stderr, "settings_test_writer: writing %s failed\n", name.c_str());
      return 1;
    }
  }
  return 0;
}
