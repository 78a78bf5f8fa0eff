// The manager's option pages: the general page, the web server's page and the About page
// that the tray menu shows in its options sheet (and the About page alone in its About
// sheet). Each page reads its settings when it is made and writes them when the sheet is
// closed with OK.
#pragma once

#include <cstdint>
#include <string>

#include "platform/ui/property_sheet.h"

namespace device {
class KernelDevice;
}  // namespace device

namespace web {
class HttpServer;
}  // namespace web
namespace manager {

class COptionGeneral : public platform::PropertyPage {
 public:
  static constexpr int kTemplateId = 161;
  static constexpr int kNoCloseConfirm = 1014;
  static constexpr int kContextMenu = 1015;
  static constexpr int kNoManagerTimeout = 1021;
  static constexpr int kNoSystrayProgress = 1026;

  COptionGeneral();
  void DoDataExchange(platform::DataExchange& dx) override;
  // Writes the four settings in the order of the page.
  void OnOK() override;

  int disableCloseConfirm = 0;
  int enableContextMenu = 1;
  int disableManagerTimeout = 0;
  int disableSystrayProgress = 0;
};

class VexhalOptionsDlg : public platform::PropertyPage {
 public:
  static constexpr int kTemplateId = 142;
  static constexpr int kDisable = 1000;
  static constexpr int kBlockRemote = 1001;
  static constexpr int kPort = 1002;
  static constexpr int kSkin = 1004;
  static constexpr int kClearLog = 1006;
  static constexpr int kRequireAuthentication = 1007;
  static constexpr int kEditPasswords = 1008;
  static constexpr int kLogLocal = 1009;
  static constexpr int kLogRemote = 1010;
  static constexpr int kLogPages = 1011;
  static constexpr int kViewLog = 1012;
  static constexpr int kOldSkinMode = 1015;

  // `server` (may be null) is restarted on OK; the port is "VX_Port" + `portSuffix`.
  VexhalOptionsDlg(web::HttpServer* server, std::string portSuffix);

  void DoDataExchange(platform::DataExchange& dx) override;
  // Fills the skin list from the skins folder and selects the page's skin in it.
  bool OnInitDialog() override;
  // Writes the settings, then restarts the server on the (new) port unless disabled.
  void OnOK() override;
  void OnEditPasswords();
  void OnViewLog();
  void OnClearLog();

  int blockRemote = 0;
  int disable = 0;
  int logLocal = 0;
  int logRemote = 0;
  int requireAuthentication = 0;
  std::string skin;
  int port = 0;
  int logPages = 0;
  int oldSkinMode = 0;

 private:
  web::HttpServer* server_;
  std::string portSuffix_;
};

// The port a suffix's server uses when its setting is missing or outside 1..9999.
int DefaultPortForSuffix(const std::string& suffix);

class CManagerOptionAbout : public platform::PropertyPage {
 public:
  static constexpr int kTemplateId = 522;
  static constexpr int kProductLine = 1071;

  explicit CManagerOptionAbout(device::KernelDevice* device);
  void DoDataExchange(platform::DataExchange& dx) override;

  std::string productLine;  // managerName + " " + the program's version

 private:
  device::KernelDevice* device_;
};

const platform::DialogTemplate& OptionGeneralTemplate();
const platform::DialogTemplate& HttpOptionsTemplate();
const platform::DialogTemplate& ManagerAboutTemplate();

}  // namespace manager
