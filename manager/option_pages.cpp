#include "manager/option_pages.h"

#include <fcntl.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <system_error>

#include "common/folders.h"
#include "common/identity.h"
#include "common/settings.h"
#include "common/version.h"
#include "manager/utilities.h"
#include "options/page_settings.h"
#include "platform/paths/paths.h"
#include "platform/text/text.h"
#include "platform/ui/data_exchange.h"
#include "web/http/http_server.h"
#include "web/pages/skin_files.h"

using namespace web;

using namespace device;

namespace manager {

using namespace platform::layout;

namespace {

// A file of a folder the settings hold in the system's form.
std::string FileIn(std::string_view folder, std::string_view name) {
  std::string base;
  StripTrailingBackslash(base, folder);
  return base + "\\" + std::string(name);
}

bool Exists(const std::string& path) {
  std::error_code ec;
  return std::filesystem::exists(platform::ToPosixPath(path), ec);
}

}  // namespace

// ---- the general page ----

const platform::DialogTemplate& OptionGeneralTemplate() {
  using P = COptionGeneral;
  static const platform::DialogTemplate t = platform::MakeTemplate(
      P::kTemplateId, "General",
      Column({Check(P::kNoCloseConfirm, "Do not ask to confirm when exiting Manager."),
              Check(P::kContextMenu, "Enable Shell Context Menu Integration (experimental)."),
              Check(P::kNoManagerTimeout, "Increase Explorer-Manager communications timeout."),
              Text("Try this option if connecting to your player fails with time-out errors while its "
                   "tracks are being counted.")
                  .Width(48),
              Check(P::kNoSystrayProgress, "Do not show Connect/Disconnect progress window."),
              Text("Try this option if the little progress window hangs while your player connects.").Width(48)}),
      platform::kFrameChild);
  return t;
}

COptionGeneral::COptionGeneral() : PropertyPage(OptionGeneralTemplate()) {
  disableCloseConfirm = options::ReadDwordSetting("Gen_DisableOmbMgrCloseConfirm", 0);
  enableContextMenu = options::ReadDwordSetting("Gen_Tx_EnableContextMenu", 1);
  disableManagerTimeout = options::ReadDwordSetting("Gen_DisableManagerTimeout", 0);
  disableSystrayProgress = options::ReadDwordSetting("Gen_DisableSystrayProgress", 0);
}

void COptionGeneral::DoDataExchange(platform::DataExchange& dx) {
  dx.Check(kNoCloseConfirm, disableCloseConfirm);
  dx.Check(kContextMenu, enableContextMenu);
  dx.Check(kNoManagerTimeout, disableManagerTimeout);
  dx.Check(kNoSystrayProgress, disableSystrayProgress);
}

void COptionGeneral::OnOK() {
  WriteSettingDword("Gen_DisableOmbMgrCloseConfirm", static_cast<std::uint32_t>(disableCloseConfirm));
  WriteSettingDword("Gen_Tx_EnableContextMenu", static_cast<std::uint32_t>(enableContextMenu));
  WriteSettingDword("Gen_DisableManagerTimeout", static_cast<std::uint32_t>(disableManagerTimeout));
  WriteSettingDword("Gen_DisableSystrayProgress", static_cast<std::uint32_t>(disableSystrayProgress));
}

// ---- the web server's page ----

int DefaultPortForSuffix(const std::string& suffix) {
  static const std::pair<const char*, int> kPorts[] = {{"X", 8045}, {"M", 8042}, {"1", 8044}, {"P", 8046},
                                                       {"D", 8047}, {"R", 8048}, {"I", 8049}};
  for (const auto& [s, p] : kPorts) {
    if (suffix == s) return p;
  }
  return 8045;
}

const platform::DialogTemplate& HttpOptionsTemplate() {
  using P = VexhalOptionsDlg;
  static const platform::DialogTemplate t = platform::MakeTemplate(
      P::kTemplateId, "Pallidor HTTP Options",
      Column({Group("General",
                    {Check(P::kDisable, "Disable the Pallidor HTTP Server completely."),
                     Row({Text("Port:"), Edit(P::kPort).Number().Width(6)}),
                     Row({Text("Skin:"), Combo(P::kSkin).DropDownList().Width(20)}),
                     Check(P::kOldSkinMode, "Old Skin Mode")}),
              Group("Remote Access",
                    {Check(P::kBlockRemote, "Block other computers from accessing your device."),
                     Check(P::kRequireAuthentication, "Require username and password for remote access."),
                     Row({Button(P::kEditPasswords, "Edit Usernames and Passwords")})}),
              Group("Access Logging",
                    {Check(P::kLogLocal, "Log local accesses."), Check(P::kLogRemote, "Log remote accesses."),
                     Check(P::kLogPages, "Log page accesses."),
                     Row({Button(P::kViewLog, "View Log"), Button(P::kClearLog, "Clear Log")})})}),
      platform::kFrameChild);
  return t;
}

VexhalOptionsDlg::VexhalOptionsDlg(HttpServer* server, std::string portSuffix)
    : PropertyPage(HttpOptionsTemplate()), server_(server), portSuffix_(std::move(portSuffix)) {
  blockRemote = options::ReadDwordSetting("VX_BlockRemote", 0);
  disable = options::ReadDwordSetting("VX_Disable", 0);
  logLocal = options::ReadDwordSetting("VX_LogLocal", 0);
  logRemote = options::ReadDwordSetting("VX_LogRemote", 0);
  requireAuthentication = options::ReadDwordSetting("VX_RequireAuthentication", 0);
  skin = GetSelectedSkin();
  std::uint32_t stored = 0;
  ReadSettingDword("VX_Port" + portSuffix_, stored);
  port = stored >= 1 && stored <= 9999 ? static_cast<int>(stored) : DefaultPortForSuffix(portSuffix_);
  logPages = options::ReadDwordSetting("VX_LogPages", 0);
  oldSkinMode = options::ReadDwordSetting("VX_OldSkinMode", 0);
  HandleCommand(kEditPasswords, [this] { OnEditPasswords(); });
  HandleCommand(kViewLog, [this] { OnViewLog(); });
  HandleCommand(kClearLog, [this] { OnClearLog(); });
}

void VexhalOptionsDlg::DoDataExchange(platform::DataExchange& dx) {
  dx.Check(kBlockRemote, blockRemote);
  dx.Check(kDisable, disable);
  dx.Check(kLogLocal, logLocal);
  dx.Check(kLogRemote, logRemote);
  dx.Check(kRequireAuthentication, requireAuthentication);
  dx.ComboText(kSkin, skin);
  dx.Int(kPort, port, 1, 9999);
  dx.Check(kLogPages, logPages);
  dx.Check(kOldSkinMode, oldSkinMode);
}

bool VexhalOptionsDlg::OnInitDialog() {
  PropertyPage::OnInitDialog();
  platform::ListControl& combo = List(kSkin);
  for (const std::string& name : ListSkins()) combo.AddString(name);
  // The first entry that begins with the page's skin (case ignored), else the first one.
  const std::string wanted = platform::ToLowerAscii(skin);
  int found = -1;
  for (int i = 0; i < combo.GetCount() && found < 0; ++i) {
    if (platform::ToLowerAscii(combo.GetItemText(i)).rfind(wanted, 0) == 0) found = i;
  }
  if (found >= 0) {
    combo.SetCurSel(found);
  } else if (combo.GetCount() > 0) {
    combo.SetCurSel(0);
    skin = combo.GetItemText(0);
  }
  return true;
}

void VexhalOptionsDlg::OnOK() {
  WriteSettingDword("VX_Disable", static_cast<std::uint32_t>(disable));
  WriteSettingDword("VX_Port" + portSuffix_, static_cast<std::uint32_t>(port));
  WriteSettingString("VX_Skin", skin);
  WriteSettingDword("VX_BlockRemote", static_cast<std::uint32_t>(blockRemote));
  WriteSettingDword("VX_RequireAuthentication", static_cast<std::uint32_t>(requireAuthentication));
  WriteSettingDword("VX_LogLocal", static_cast<std::uint32_t>(logLocal));
  WriteSettingDword("VX_LogRemote", static_cast<std::uint32_t>(logRemote));
  WriteSettingDword("VX_LogPages", static_cast<std::uint32_t>(logPages));
  WriteSettingDword("VX_OldSkinMode", static_cast<std::uint32_t>(oldSkinMode));
  if (server_ == nullptr) return;
  server_->Stop();
  if (disable == 0 && !server_->Start(port)) {
    ShowMessageBox("Could not start Pallidor HTTP server.  Port was already occupied.", platform::MB_ICONINFORMATION);
  }
}

void VexhalOptionsDlg::OnEditPasswords() {
  std::string folder;
  if (!ReadSettingString("Gen_AppDataDir", folder)) {
    ShowMessageBox("Could not read install directory from registry.", platform::MB_ICONINFORMATION);
    return;
  }
  const std::string path = FileIn(folder, "httpauth.txt");
  if (!Exists(path)) {
    // It will hold passwords: readable by the person alone from the start.
    const int fd = ::open(platform::ToPosixPath(path).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd >= 0) {
      const std::string text =
          "# One user entry per line in this format: username:password\r\n"
          "# Hash indicates rest of line is a comment.\r\n";
      const bool written = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
      ::close(fd);
      if (!written) platform::RemoveFile(path);
    }
  }
  if (Exists(path)) {
    ShellOpen(path, "");
  } else {
    ShowMessageBox("Could not create password file.", platform::MB_ICONINFORMATION);
  }
}

void VexhalOptionsDlg::OnClearLog() {
  std::string folder;
  if (!ReadSettingString("", folder)) return;
  // The log names the people who signed in: readable by the person alone.
  const int fd =
      ::open(platform::ToPosixPath(FileIn(folder, "httplog.html")).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd >= 0) ::close(fd);
  ShowMessageBox("Log cleared.", platform::MB_ICONINFORMATION);
}

void VexhalOptionsDlg::OnViewLog() {
  std::string folder;
  if (!ReadSettingString("", folder)) return;
  ShellOpenFile(FileIn(folder, "httplog.html"));
}

// ---- the About page ----

const platform::DialogTemplate& ManagerAboutTemplate() {
  using P = CManagerOptionAbout;
  static const platform::DialogTemplate t = platform::MakeTemplate(
      P::kTemplateId, "About",
      Row({Picture(platform::IDC_STATIC, "multimedia-player"),
           Column({Text("", P::kProductLine).Style(platform::kStyleTitle).Width(36),
                   Text("Manages your portable jukebox from the desktop."),
                   Text("Copyright (C) Quorvane Software. All rights reserved.")})
               .Expand()}),
      platform::kFrameChild);
  return t;
}

CManagerOptionAbout::CManagerOptionAbout(KernelDevice* device) : PropertyPage(ManagerAboutTemplate()), device_(device) {
  std::string version;
  GetModuleVersion(version);
  productLine = g_ProductIdentity.managerName + " " + version;
}

void CManagerOptionAbout::DoDataExchange(platform::DataExchange& dx) { dx.Text(kProductLine, productLine); }

}  // namespace manager
