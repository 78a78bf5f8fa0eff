#include "options/family_pages.h"

#include <map>
#include <memory>
#include <mutex>

#include "common/identity.h"
#include "common/settings.h"
#include "device/device_client_error.h"
#include "options/page_settings.h"
#include "platform/shell/removable_drives.h"
#include "platform/ui/data_exchange.h"
#include "platform/ui/desktop.h"

using namespace device;

namespace options {

using namespace platform::layout;

namespace {

const ZaroPageSpec kZaro = {OptZaro::kTemplateId,
                            "VANTRO ZaRo",
                            "MV_EnableMaxMode",
                            0,
                            OptZaro::kModeId,
                            "Enable Corundel automatic filename compression.",
                            "MV_AutoDetect",
                            OptZaro::kDetectId,
                            "Automatically detect ZaRo.",
                            "MV_ManualDriveLetter",
                            OptZaro::kDriveId,
                            "Manually specify ZaRo drive letter:",
                            "ZaRo Detection",
                            "",
                            false};

const ZaroPageSpec kZaroNX = {OptZaroNX::kTemplateId,
                              "VANTRO ZaRo FX",
                              "MN_EnableMaxMode",
                              1,
                              OptZaroNX::kModeId,
                              "Enable Corundel automatic filename compression and track re-ordering.",
                              "MN_AutoDetect",
                              OptZaroNX::kDetectId,
                              "Automatically detect ZaRo FX.",
                              "MN_ManualDriveLetter",
                              OptZaroNX::kDriveId,
                              "Manually specify ZaRo FX drive letter:",
                              "ZaRo FX Detection",
                              "* Supported devices: ZaRo NX, ZaRo TX, ZaRo Slim, Rhomba",
                              true};

}  // namespace

const platform::DialogTemplate& ZaroPageTemplate(const ZaroPageSpec& spec) {
  static std::mutex mutex;
  static std::map<int, std::unique_ptr<platform::DialogTemplate>> made;
  std::lock_guard<std::mutex> lock(mutex);
  std::unique_ptr<platform::DialogTemplate>& t = made[spec.templateId];
  if (!t) {
    std::vector<platform::LayoutNode> detection = {Check(spec.detectId, spec.detectText),
                                                   Row({Text(spec.driveText), Combo(spec.driveId).Sorted().Width(8)})};
    if (spec.note[0] != '\0') detection.push_back(Text(spec.note).Width(50));
    t = std::make_unique<platform::DialogTemplate>(platform::MakeTemplate(
        spec.templateId, spec.caption,
        Column({Group("Corundel Mode", {Check(spec.modeId, spec.modeText)}), Group(spec.detectionGroup, detection)}),
        platform::kFrameChild));
  }
  return *t;
}

ZaroOptionPage::ZaroOptionPage(const ZaroPageSpec& spec) : PropertyPage(ZaroPageTemplate(spec)), spec_(spec) {
  mode = ReadDwordSetting(spec.modeSetting, spec.modeDefault);
  autoDetect = ReadDwordSetting(spec.detectSetting, 1);
  drive = ReadStringSetting(spec.driveSetting, "");
  HandleCommand(spec.detectId, [this] { OnDetectClicked(); });
  HandleCommand(spec.modeId, [this] { OnModeClicked(); });
}

void ZaroOptionPage::DoDataExchange(platform::DataExchange& dx) {
  dx.Check(spec_.modeId, mode);
  dx.Check(spec_.detectId, autoDetect);
  dx.ComboText(spec_.driveId, drive);
}

bool ZaroOptionPage::OnInitDialog() {
  platform::ListControl& drives = List(spec_.driveId);
  drives.ResetContent();
  for (char letter = 'D'; letter <= 'Z'; ++letter) {
    const std::string root = std::string(1, letter) + ":";
    if (platform::GetDriveType(root + "\\") == platform::DRIVE_REMOVABLE) drives.AddString(root);
  }
  PropertyPage::OnInitDialog();
  // A stored drive that is no longer removable stays as the box's text.
  drives.SelectString(drive);
  EnableDlgItem(spec_.driveId, autoDetect == 0);
  return true;
}

void ZaroOptionPage::OnDetectClicked() {
  if (!UpdateData(true)) return;
  EnableDlgItem(spec_.driveId, autoDetect == 0);
}

void ZaroOptionPage::OnModeClicked() {
  if (!UpdateData(true) || !spec_.warnWhenModeOn || mode == 0) return;
  ShowMessageBox(
      "After enabling Corundel, please delete all existing files\non your ZaRo NX before continuing to using " +
          g_ProductIdentity.suiteName + ".",
      platform::MB_ICONEXCLAMATION);
}

void ZaroOptionPage::OnOK() {
  WriteDwordSetting(spec_.modeSetting, mode);
  WriteDwordSetting(spec_.detectSetting, autoDetect);
  WriteSettingString(spec_.driveSetting, drive);
}

OptZaro::OptZaro() : ZaroOptionPage(kZaro) {}
OptZaroNX::OptZaroNX() : ZaroOptionPage(kZaroNX) {}

// ---- VANTRO II ----

const platform::DialogTemplate& VantroIIPageTemplate() {
  using P = OptVantroII;
  static const platform::DialogTemplate t = platform::MakeTemplate(
      P::kTemplateId, "VANTRO II",
      Column({Group("Transfers", {Check(P::kAlphaSort, "Force files to transfer in alphabetical order.")}),
              Group("Model-Specific Display Options",
                    {Check(P::kHideInternalMemory, "Hide Internal Memory. (For VANTRO II 0MB.)"),
                     Check(P::kHideTuner, "Hide FM Tuner. (For VANTRO IIc.)")}),
              Group("SmartMedia Card Reader", {Text("Specify the folder where your card reader is mounted:"),
                                               Row({Edit(P::kCardReader).Label("Card reader drive").Width(30).Expand(),
                                                    Button(P::kBrowse, "Browse ...")})})}),
      platform::kFrameChild);
  return t;
}

OptVantroII::OptVantroII() : PropertyPage(VantroIIPageTemplate()) {
  alphaSort = ReadDwordSetting("Gen_Tx_ForceAlphaSort", 0);
  hideInternalMemory = ReadDwordSetting("N2_HideInternalMemory", 0);
  hideTuner = ReadDwordSetting("N2_HideFMTuner", 0);
  cardReader = ReadStringSetting("N2_CardReaderPath", "");
  HandleCommand(kBrowse, [this] { OnBrowse(); });
}

void OptVantroII::DoDataExchange(platform::DataExchange& dx) {
  dx.Check(kAlphaSort, alphaSort);
  dx.Check(kHideInternalMemory, hideInternalMemory);
  dx.Check(kHideTuner, hideTuner);
  dx.Path(kCardReader, cardReader);
}

void OptVantroII::OnBrowse() {
  const std::optional<std::string> folder =
      platform::PickFolder(TopLevel().GetSafeHwnd(), "Select the folder where your card reader is mounted:");
  if (!folder || folder->empty()) return;
  if (!UpdateData(true)) return;
  cardReader = *folder;
  UpdateData(false);
}

void OptVantroII::OnOK() {
  WriteDwordSetting("Gen_Tx_ForceAlphaSort", alphaSort);
  WriteDwordSetting("N2_HideInternalMemory", hideInternalMemory);
  WriteDwordSetting("N2_HideFMTuner", hideTuner);
  WriteSettingString("N2_CardReaderPath", cardReader);
}

}  // namespace options
