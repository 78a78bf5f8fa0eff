// Stands in for the desktop installer's registry work: the product keys, the installed-
// options mask, the installation folder and the application-data folder. It also tells the
// install step the launcher file names of the installed product, from the identity tables.
//
//   tovinstall <installation folder> <application data folder>
//   tovinstall --launchers     one line per launcher: its file name, a tab, the product name
//
// Folders are POSIX paths; they are stored in Windows form like every path of the system.
#include <cstdio>
#include <cstring>
#include <string>

#include "common/identity.h"
#include "platform/paths/paths.h"
#include "platform/settings/settings.h"

namespace {

// Bits of the installed-options mask that this build installs: the jukebox driver hosted
// by the manager, and the tray icon of its family.
constexpr std::uint32_t kJukeboxDriver = 0x01000000;
constexpr std::uint32_t kJukeboxTray = 0x00000800;

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && std::strcmp(argv[1], "--launchers") == 0) {
    ProductIdentity product;
    product.InitFromPath("trayhub");
    for (const LauncherRow& row : LauncherTable()) {
      if (row.variantCode == product.variantCode) std::printf("%s\t%s\n", LauncherName(row).c_str(), product.productName.c_str());
    }
    return 0;
  }
  if (argc != 3 || argv[1][0] != '/' || argv[2][0] != '/') {
    std::fprintf(stderr, "usage: tovinstall <installation folder> <application data folder>\n"
                         "       both folders as absolute paths\n");
    return 1;
  }
  ProductIdentity id;
  id.InitFromPath("trayhub");
  using platform::Hive;
  using platform::SettingsKey;

  SettingsKey product = SettingsKey::Create(Hive::CurrentUser, id.settingsKey);
  SettingsKey::Create(Hive::CurrentUser, id.sharedSettingsKey);

  bool ok = product.SetString("", platform::FromPosixPath(argv[1]));
  ok = product.SetDword("Kor_InstallResult", kJukeboxDriver | kJukeboxTray) && ok;
  if (!product.Get("Gen_AppDataDir")) ok = product.SetString("Gen_AppDataDir", platform::FromPosixPath(argv[2])) && ok;
  if (!ok) {
    std::fprintf(stderr, "tovinstall: could not write the settings under %s\n", platform::SettingsFolder().c_str());
    return 1;
  }
  std::printf("settings written: HKEY_CURRENT_USER\\%s\n", id.settingsKey.c_str());
  return 0;
}
