#include "manager/manager_app.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

#include "common/folders.h"
#include "common/identity.h"
#include "common/settings.h"
#include "manager/utilities.h"
#include "platform/paths/paths.h"
#include "platform/text/text.h"
#include "sql/query_engine.h"

namespace manager {

using namespace device;

std::string StartupRefusalText() {
  const ProductIdentity& id = g_ProductIdentity;
  return id.managerName + " could not start.  No device support options were detected.\n\n" + id.suiteName +
         " may not have been properly installed.  Please make sure you are installing\nunder the user "
         "account in which you will be running " +
         id.suiteName + ".\n\n" +
         "If you keep getting this message, please contact our technical support\n" +
         "and refer to error code 629 so we can help you get the problem resolved.";
}

std::string AppDataRefusalText(std::string_view problem) {
  const ProductIdentity& id = g_ProductIdentity;
  return id.managerName + " could not start.  The setting Gen_AppDataDir " + std::string(problem) +
         ".\n\nIt names the folder of the skins, the password file and the player.  Please install " +
         id.suiteName + " again, or correct the setting.";
}

namespace {

// The text after the first "-s" of the command line, without double quotes, trimmed;
// false when the command line has no "-s".
bool FindSkinArgument(const std::string& commandLine, std::string& path) {
  std::size_t at = commandLine.find("-s");
  if (at == std::string::npos) return false;
  std::string rest;
  for (char c : commandLine.substr(at + 2)) {
    if (c != '"') rest += c;
  }
  path = platform::Trim(rest);
  return true;
}

}  // namespace

void RegisterSkinFile(std::string_view path) {
  const ProductIdentity& id = g_ProductIdentity;
  // Split into folder, base name and extension (either slash separates folders).
  std::string_view name = path;
  if (std::size_t slash = name.find_last_of("/\\"); slash != std::string_view::npos) name = name.substr(slash + 1);
  std::size_t dot = name.rfind('.');
  std::string base(dot == std::string_view::npos ? name : name.substr(0, dot));
  std::string extension(dot == std::string_view::npos ? std::string_view() : name.substr(dot));

  std::string text;
  std::string appData, problem;
  if (platform::ToLowerAscii(extension) != id.skinExtension) {
    text = "The file \"" + std::string(path) + "\" does not appear to be a valid " + id.webServerName +
           " Skin file.";
  } else if (!FindAppDataFolder(appData, problem)) {
    text = "Pallidor Skin \"" + base + extension + "\" could not be registered: the setting Gen_AppDataDir " +
           problem + ".";
  } else {
    std::string folder = appData + (appData.back() == '\\' ? "skins" : "\\skins");
    CreateDirectoryPath(folder);
    std::string source = path.empty() || path[0] != '/' ? std::string(path) : platform::FromPosixPath(path);
    std::error_code ec;
    std::filesystem::copy_file(platform::ToPosixPath(source), platform::ToPosixPath(folder + "\\" + base + extension),
                               std::filesystem::copy_options::overwrite_existing, ec);
    if (ec) {
      text = "Pallidor Skin \"" + base + extension + "\" could not be registered: " + ec.message() + ".";
    } else {
      text = "Pallidor Skin \"" + base + extension + "\" has been registered.";
    }
  }
  ShowMessageBox(text, platform::MB_ICONINFORMATION);
}

int ActivateOrRegisterManagerClass(std::string_view className) {
  if (platform::FindWindow(className) != 0) return 0;
  // A class this process registered earlier stays usable.
  platform::RegisterClass(className);
  return 1;
}

OmbrixManagerApp::OmbrixManagerApp(ManagerStartup startup) : startup_(std::move(startup)) {}

OmbrixManagerApp::~OmbrixManagerApp() = default;

bool OmbrixManagerApp::InitInstance() {
  if (startup_.identityPath.empty()) {
    g_ProductIdentity.InitFromModule();
  } else {
    g_ProductIdentity.InitFromPath(startup_.identityPath);
  }

  std::uint32_t mask = 0;
  ReadSettingDword("Kor_InstallResult", mask);
  if (mask == 0) {
    ShowTopmostMessageBox(platform::MB_ICONINFORMATION, StartupRefusalText());
    return false;
  }

  std::string commandLine;
  for (const auto& a : startup_.arguments) commandLine += (commandLine.empty() ? "" : " ") + a;
  std::string skin;
  if (FindSkinArgument(commandLine, skin)) {
    RegisterSkinFile(skin);
    return false;
  }

  // One manager per variant: a lock that frees itself when its holder dies, so two
  // managers starting at once cannot both pass, and a killed one blocks nobody.
  instanceLock_ = std::make_unique<platform::NamedLock>(g_ProductIdentity.windowClassName + ".instance");
  if (!instanceLock_->TryLock()) return false;
  if (ActivateOrRegisterManagerClass(g_ProductIdentity.windowClassName) == 0) return false;
  // Other processes' searches and rule playlists ask the hosted device with SQL.
  sql::RegisterSqlEngine();

  // The player, the skins and the password file live in the application data folder: a
  // setting that names none stops the manager before it makes anything anywhere.
  std::string appData, problem;
  if ((mask & kInstallJukeboxDriver) != 0 && !FindAppDataFolder(appData, problem)) {
    ShowTopmostMessageBox(platform::MB_ICONERROR, AppDataRefusalText(problem));
    return false;
  }

  // Emptied before the window starts the web server and answers requests: a client that
  // puts files there once the manager runs must find them kept.
  ResetWorkFolder("tx2pc");
  ResetWorkFolder("lumarest");
  ResetWorkFolder("skarnel");
  ResetWorkFolder("skin");
  mainWnd_ = std::make_unique<OmbrixManagerWnd>(startup_.makeDevice);
  if (!mainWnd_->Create()) {
    std::fprintf(stderr, "trayhub: the main window could not be created\n");
    return false;
  }
  return true;
}

int OmbrixManagerApp::Run() {
  platform::MSG msg;
  int result;
  while ((result = platform::GetMessage(&msg)) > 0) {
    platform::TranslateMessage(&msg);
    platform::DispatchMessage(&msg);
  }
  return static_cast<int>(msg.wParam);
}

}  // namespace manager
