// Stands in for the desktop installer's registry work: the product keys, the installed-
// options mask, the installation folder, the application-data folder and the addresses
// the help buttons open (the help page installed in "help"). It also answers
// the install and start scripts from the same tables the programs use, so the scripts
// keep no list of their own.
//
//   tovinstall <installation folder> <application data folder>
//   tovinstall libraries    the file names the library is installed under (one a line)
//   tovinstall launchers    one line per launcher: its file name, a tab, the product name
//   tovinstall port         the port of the web interface (VX_PortD, 8047 when unusable)
//
// Folders are POSIX paths; they are stored in Windows form like every path of the system.
// The names and the port are those of the manager's product family.
#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>

#include "common/identity.h"
#include "common/settings.h"
#include "device/track_names.h"
#include "platform/paths/paths.h"
#include "platform/settings/settings.h"

using namespace device;

namespace {

int Usage() {
  std::fprintf(stderr, "usage: tovinstall <installation folder> <application data folder>\n"
                       "       both folders as absolute paths\n"
                       "       tovinstall libraries | launchers | port\n");
  return 1;
}

// The family's library names: every name of the module table that selects the family and
// serves it (not the media-library copies, which only start up).
int PrintLibraryNames(int family) {
  for (const ModuleRow& row : ModuleTable()) {
    if (row.variantCode == family && !row.startupOnly) std::printf("%s.so\n", row.name);
  }
  return 0;
}

int PrintLaunchers(const ProductIdentity& id) {
  for (const LauncherRow& row : LauncherTable()) {
    if (row.variantCode == id.variantCode) std::printf("%s\t%s\n", LauncherName(row).c_str(), id.productName.c_str());
  }
  return 0;
}

// A file's address: "file://" and the path, each byte outside the unreserved ones and "/"
// as %XX.
std::string FileAddress(const std::string& path) {
  static const char* hex = "0123456789ABCDEF";
  std::string out = "file://";
  for (unsigned char c : path) {
    if (std::isalnum(c) != 0 || std::strchr("/-._~", c) != nullptr) {
      out.push_back(static_cast<char>(c));
    } else {
      out += {'%', hex[c >> 4], hex[c & 15]};
    }
  }
  return out;
}

// The help buttons read `URL_Help` joined with a page's own value, or a whole address of
// their own: all lead to sections of the one installed page.
bool WriteHelpAddresses(platform::SettingsKey& product, const std::string& installFolder) {
  const std::string page = FileAddress(installFolder + "/help/index.html") + "#";
  const std::pair<const char*, std::string> values[] = {
      {"URL_Help", page},
      {"URL_HelpTagging", "tagging"},
      {"URL_HelpFWN", "ferrowin"},
      {"URL_HelpSQL", page + "sql"},
      {"URL_HelpATM", page + "preparation"},
      {"URL_HelpTshooter", page + "troubleshooting"},
      {"URL_SupportMail", page + "support"},
  };
  bool ok = true;
  for (const auto& [name, value] : values) ok = product.SetString(name, value) && ok;
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  g_ProductIdentity.InitFromPath("trayhub");
  const ProductIdentity& id = g_ProductIdentity;
  if (argc == 2) {
    if (std::strcmp(argv[1], "libraries") == 0) return PrintLibraryNames(id.variantCode);
    if (std::strcmp(argv[1], "launchers") == 0) return PrintLaunchers(id);
    if (std::strcmp(argv[1], "port") == 0) {
      std::printf("%d\n", GetStreamPort());
      return 0;
    }
    return Usage();
  }
  if (argc != 3 || argv[1][0] != '/' || argv[2][0] != '/') return Usage();
  using platform::Hive;
  using platform::SettingsKey;

  SettingsKey product = SettingsKey::Create(Hive::CurrentUser, id.settingsKey);
  SettingsKey::Create(Hive::CurrentUser, id.sharedSettingsKey);

  bool ok = product.SetString("", platform::FromPosixPath(argv[1]));
  ok = product.SetDword("Kor_InstallResult", kInstallJukeboxDriver | kInstallJukeboxTray | kInstallJukeboxModels) && ok;
  ok = WriteHelpAddresses(product, argv[1]) && ok;
  if (!product.Get("Gen_AppDataDir")) ok = product.SetString("Gen_AppDataDir", platform::FromPosixPath(argv[2])) && ok;
  if (!ok) {
    std::fprintf(stderr, "tovinstall: could not write the settings under %s\n", platform::SettingsFolder().c_str());
    return 1;
  }
  std::printf("settings written: HKEY_CURRENT_USER\\%s\n", id.settingsKey.c_str());
  return 0;
}
