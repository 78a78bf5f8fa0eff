#include "options/general_pages.h"

#include <array>
#include <cstdio>
#include <exception>

#include "common/folders.h"
#include "common/identity.h"
#include "common/settings.h"
#include "common/version.h"
#include "device/device_client_error.h"
#include "device/kernel_device.h"
#include "options/page_settings.h"
#include "platform/paths/paths.h"
#include "platform/ui/data_exchange.h"
#include "platform/ui/desktop.h"

using namespace device;

namespace options {

using namespace platform::layout;

namespace {

bool Exists(const std::string& path) { return !path.empty() && platform::QueryFile(path).exists; }

// The default work folder, made when it is missing (as the work folders always are).
std::string MadeDefaultWorkFolder() {
  const std::string folder = DefaultWorkFolder();
  CreateDirectoryPath(folder);
  return folder;
}

// A capability of the device; 0 when it cannot be asked.
int Supports(KernelDevice* device, int (KernelDevice::*ask)()) {
  if (device == nullptr) return 0;
  try {
    return (device->*ask)();
  } catch (const std::exception&) {
    return 0;
  }
}

}  // namespace

bool IsExistingFolder(const std::string& path) {
  if (path.empty()) return false;
  const platform::FileInfo info = platform::QueryFile(path);
  return info.exists && info.directory;
}

// ---- General ----

const platform::DialogTemplate& GeneralPageTemplate() {
  using P = OptGeneral;
  static const platform::DialogTemplate t = platform::MakeTemplate(
      P::kTemplateId, "General",
      Column(
          {Group("Miscellaneous",
                 {Check(P::kDisableConfirmations, "Disable various 'operation complete' confirmation messages."),
                  Check(P::kRightPaneAutoFocus, "Right pane auto-focus.  (For users who navigate by keyboard only.)")}),
           Group("Temporary Files Directory",
                 {Row({Edit(P::kTempPath).Label("Temporary Files Directory").Width(36).Expand(),
                       Button(P::kBrowseTempPath, "Browse ..."), Button(P::kDefaultTempPath, "Use Default")})}),
           // The browser's group is not shown; its setting is kept.
           Row({Edit(P::kBrowserPath).Label("Default Web Browser").Hidden(),
                Button(P::kBrowseBrowser, "Browse ...").Label("Browse for a web browser").Hidden(),
                Button(P::kDefaultBrowser, "Use Default").Label("Default web browser").Hidden()}),
           Group("Display and Behavior",
                 {Check(P::kSpreadsheetView, "Enable 'Spreadsheet' view with gridlines and alternating row coloring."),
                  Row({Text("Row Color"), Paint(P::kRowColour).Width(5).Style(platform::kStyleSunken),
                       Button(P::kChangeColour, "Change Color")}),
                  Check(P::kFullRowSelect, "Highlight entire row when item is selected in right pane."),
                  Text("When an audio track is double-clicked, perform the following command:"),
                  Combo(P::kTrackAction).DropDownList().Width(36)})}),
      platform::kFrameChild);
  return t;
}

OptGeneral::OptGeneral(KernelDevice* device, std::string playerName)
    : PropertyPage(GeneralPageTemplate()), device_(device), playerName_(std::move(playerName)) {
  disableConfirmations = ReadDwordSetting("Gen_DisableCompletionConfirmations", 0);
  rightPaneAutoFocus = ReadDwordSetting("Gen_Acc_RightPaneAutoFocus", 0);
  tempPath = ReadStringSetting("Gen_TempPath", "");
  browserPath = ReadStringSetting("Gen_ExtBrowserPath", kDefaultBrowserPath);
  spreadsheetView = ReadDwordSetting("Gen_EnableSpreadsheetView", 1);
  rowColour = static_cast<std::uint32_t>(ReadDwordSetting("Gen_SpreadsheetColor", static_cast<int>(kDefaultRowColour)));
  fullRowSelect = ReadDwordSetting("Gen_EnableFullRowSelect", 1);
  trackAction = ReadDwordSetting("Gen_TrackDefaultAction", 0);
  if (!IsExistingFolder(tempPath)) tempPath = MadeDefaultWorkFolder();
  if (!Exists(browserPath)) browserPath = kDefaultBrowserPath;

  HandleCommand(kBrowseTempPath, [this] { OnBrowseTempPath(); });
  HandleCommand(kDefaultTempPath, [this] { OnDefaultTempPath(); });
  HandleCommand(kBrowseBrowser, [this] { OnBrowseBrowser(); });
  HandleCommand(kDefaultBrowser, [this] { OnDefaultBrowser(); });
  HandleCommand(kChangeColour, [this] { OnChangeColour(); });
}

void OptGeneral::DoDataExchange(platform::DataExchange& dx) {
  dx.Check(kDisableConfirmations, disableConfirmations);
  dx.Check(kRightPaneAutoFocus, rightPaneAutoFocus);
  dx.Path(kTempPath, tempPath);
  dx.Text(kBrowserPath, browserPath);
  dx.Check(kSpreadsheetView, spreadsheetView);
  dx.Check(kFullRowSelect, fullRowSelect);
  dx.ListIndex(kTrackAction, trackAction);
}

bool OptGeneral::OnInitDialog() {
  platform::ListControl& actions = List(kTrackAction);
  actions.ResetContent();
  actions.AddString("Properties (Edit Tag)");
  actions.AddString("Play in " + playerName_);
  if (Supports(device_, &KernelDevice::SupportsPlayback) != 0) {
    actions.AddString("Play on Jukebox");
    actions.AddString("Queue on Jukebox");
  }
  if (trackAction < 0 || trackAction >= actions.GetCount()) trackAction = 0;
  return PropertyPage::OnInitDialog();
}

void OptGeneral::OnOK() {
  if (!IsExistingFolder(tempPath)) {
    char text[1400];
    std::snprintf(text, sizeof text, "'%s'\nis not a valid directory.  Setting temp directory to the default.",
                  tempPath.c_str());
    ShowMessageBox(text, platform::MB_ICONINFORMATION);
    tempPath = MadeDefaultWorkFolder();
  }
  if (!Exists(browserPath)) browserPath = kDefaultBrowserPath;
  WriteDwordSetting("Gen_DisableCompletionConfirmations", disableConfirmations);
  WriteDwordSetting("Gen_Acc_RightPaneAutoFocus", rightPaneAutoFocus);
  WriteSettingString("Gen_TempPath", tempPath);
  WriteSettingString("Gen_ExtBrowserPath", browserPath);
  WriteDwordSetting("Gen_EnableSpreadsheetView", spreadsheetView);
  WriteSettingDword("Gen_SpreadsheetColor", rowColour);
  WriteDwordSetting("Gen_TrackDefaultAction", trackAction);
  WriteDwordSetting("Gen_EnableFullRowSelect", fullRowSelect);
}

template <class Change>
void OptGeneral::ChangeField(Change change) {
  if (!UpdateData(true)) return;
  change();
  UpdateData(false);
}

void OptGeneral::OnBrowseTempPath() {
  const std::optional<std::string> folder =
      platform::PickFolder(TopLevel().GetSafeHwnd(), "Select a directory to use as temporary space:", tempPath);
  if (folder && !folder->empty()) ChangeField([&] { tempPath = *folder; });
}

void OptGeneral::OnDefaultTempPath() {
  ChangeField([&] { tempPath = MadeDefaultWorkFolder(); });
}

void OptGeneral::OnBrowseBrowser() {
  const std::optional<std::string> file = platform::PickOpenFile(
      TopLevel().GetSafeHwnd(), "Select an External Web Browser...", "External Web Browsers (*.exe)|*.exe||", ".exe");
  if (file && !file->empty()) ChangeField([&] { browserPath = *file; });
}

void OptGeneral::OnDefaultBrowser() {
  ChangeField([&] { browserPath = kDefaultBrowserPath; });
}

void OptGeneral::OnChangeColour() {
  std::array<platform::COLORREF, 16> custom{};
  custom[0] = platform::RGB(230, 230, 255);
  custom[1] = platform::RGB(230, 255, 230);
  const std::optional<platform::COLORREF> picked = platform::PickColour(TopLevel().GetSafeHwnd(), rowColour, custom);
  if (!picked) return;
  ChangeField([&] { rowColour = *picked; });
  GetDlgItem(kRowColour)->Invalidate();
}

void OptGeneral::OnPaint(int controlId, platform::Canvas& canvas) {
  if (controlId == kRowColour) {
    canvas.SetBackground(rowColour);
    canvas.FillRect(canvas.ClientRect(), rowColour);
    return;
  }
  PropertyPage::OnPaint(controlId, canvas);
}

// ---- About ----

const platform::DialogTemplate& AboutPageTemplate() {
  using P = OptAbout;
  static const platform::DialogTemplate t =
      platform::MakeTemplate(P::kTemplateId, "About",
                             Row({Picture(platform::IDC_STATIC, "multimedia-player"),
                                  Column({Text("", P::kTitleLine).Style(platform::kStyleTitle).Width(36),
                                          Text("Your portable jukebox as folders of your desktop."),
                                          Text("Copyright (C) Quorvane Software. All rights reserved."),
                                          Row({Button(P::kDriverInfo, "Driver Info...")})})
                                      .Expand()}),
                             platform::kFrameChild);
  return t;
}

OptAbout::OptAbout(KernelDevice* device) : PropertyPage(AboutPageTemplate()), device_(device) {
  std::string version;
  GetModuleVersion(version);
  titleLine = g_ProductIdentity.productName + " " + version;
  HandleCommand(kDriverInfo, [this] { OnDriverInfo(); });
}

void OptAbout::DoDataExchange(platform::DataExchange& dx) { dx.Text(kTitleLine, titleLine); }

void OptAbout::OnDriverInfo() {
  if (device_ == nullptr) return;
  try {
    device_->ShowSdkVersion();
  } catch (const std::exception&) {
    // nothing to add: the driver could not tell
  }
}

}  // namespace options
