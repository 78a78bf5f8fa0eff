#include "transfer/opt_transfers.h"

#include "common/settings.h"
#include "device/codec.h"
#include "platform/text/text.h"
#include "platform/ui/data_exchange.h"
#include "platform/ui/list_view.h"
#include "transfer/conversion_rules.h"

using namespace device;

namespace transfer {

using namespace platform::layout;

namespace {

constexpr const char* kDataFilesRow = "Data Files";

// The skip flag of a row of the format list.
std::string SkipSettingOf(const std::string& row) { return "Gen_Tx_Skip" + std::string(row == kDataFilesRow ? "Data" : row); }

}  // namespace

// ---- OptTransfers ----

const platform::DialogTemplate& OptTransfersTemplate() {
  using P = OptTransfers;
  static const platform::DialogTemplate t = platform::MakeTemplate(
      P::kTemplateId, "Transfers",
      Column({Row({Check(P::kPauseEnableId, "Insert pause of"), Edit(P::kPauseLengthId).Number().Width(3).Label("Insert pause of"),
                   Text("seconds between each file transferred to PC.")}),
              Group("File Formats",
                    {Text("Set a checkmark next to the file formats you wish to be ignored and skipped during file "
                          "transfers to the player.  Formats without checkmarks will be transferred as normal.")
                         .Width(56),
                     ListView(P::kFormatsId).Lines(6).Width(40).Style(platform::kStyleCheckBoxes | platform::kStyleNoSortHeader).Expand(),
                     Check(P::kSkipMp3Id, "Always skip MP3 files.").Hidden(),
                     Check(P::kSkipWmaId, "Always skip WMA files.").Hidden(),
                     Check(P::kSkipWavId, "Always skip WAV files.").Hidden(),
                     Check(P::kSkipDataId, "Always skip Data files.").Hidden()}),
              Check(P::kNoRecursionId, "Disable recursive folder search."),
              Check(P::kAutoCloseId, "Auto-close transfer dialog when done."),
              Check(P::kStayOpenOnSkipsId, "...except when files are skipped.")}),
      platform::kFrameChild);
  return t;
}

OptTransfers::OptTransfers() : PropertyPage(OptTransfersTemplate()) {
  pauseEnable = ReadSettingFlag("Gen_Tx2PC_PauseEnable", 0);
  const int length = ReadSettingFlag("Gen_Tx2PC_PauseLength", 1);
  pauseLength = length >= 1 && length <= 7 ? length : 1;
  skipMp3 = ReadSettingFlag("Gen_Tx_SkipMP3", 0);
  skipWma = ReadSettingFlag("Gen_Tx_SkipWMA", 0);
  skipWav = ReadSettingFlag("Gen_Tx_SkipWAV", 0);
  skipData = ReadSettingFlag("Gen_Tx_SkipData", 0);
  disableRecursion = ReadSettingFlag("Gen_Tx_DisableRecursion", 0);
  autoCloseDialog = ReadSettingFlag("Gen_Tx_AutoCloseDialog", 0);
  stayOpenOnSkips = ReadSettingFlag("Gen_Tx_DialogStayOpenOnSkips", 0);
  HandleCommand(kPauseEnableId, [this] { EnablePause(); });
}

bool OptTransfers::OnInitDialog() {
  // The formats a transfer can send (played by the player, or converted), then data files.
  formats.clear();
  for (int code = 1; code <= 11; ++code) {
    const std::string extension = platform::ToUpperAscii(GetCodecExtension(code));
    if (extension.empty() || !IsTransferableFormat("file." + extension)) continue;
    formats.emplace_back(extension, ReadSettingFlag("Gen_Tx_Skip" + extension, 0));
  }
  formats.emplace_back(kDataFilesRow, skipData);
  platform::ListViewControl& list = ListView(kFormatsId);
  list.SetExtendedStyle(platform::LVS_EX_CHECKBOXES | platform::LVS_EX_FULLROWSELECT,
                        platform::LVS_EX_CHECKBOXES | platform::LVS_EX_FULLROWSELECT);
  list.InsertColumn(0, {"Excluded Formats", 200});
  for (const auto& [text, check] : formats) list.InsertItem(list.GetItemCount(), text);
  return PropertyPage::OnInitDialog();
}

void OptTransfers::DoDataExchange(platform::DataExchange& dx) {
  dx.Check(kPauseEnableId, pauseEnable);
  dx.Int(kPauseLengthId, pauseLength, 1, 7);
  dx.Check(kSkipMp3Id, skipMp3);
  dx.Check(kSkipWmaId, skipWma);
  dx.Check(kSkipWavId, skipWav);
  dx.Check(kSkipDataId, skipData);
  dx.Check(kNoRecursionId, disableRecursion);
  dx.Check(kAutoCloseId, autoCloseDialog);
  dx.Check(kStayOpenOnSkipsId, stayOpenOnSkips);
  platform::ListViewControl& list = ListView(kFormatsId);
  for (std::size_t row = 0; row < formats.size() && static_cast<int>(row) < list.GetItemCount(); ++row) {
    if (dx.IsSaving()) {
      formats[row].second = list.GetCheck(static_cast<int>(row)) ? 1 : 0;
    } else {
      list.SetCheck(static_cast<int>(row), formats[row].second != 0);
    }
  }
  EnablePause();
}

void OptTransfers::EnablePause() {
  if (IsOpen()) EnableDlgItem(kPauseLengthId, IsDlgButtonChecked(kPauseEnableId) != 0);
}

void OptTransfers::OnOK() {
  WriteSettingFlag("Gen_Tx2PC_PauseEnable", pauseEnable);
  WriteSettingFlag("Gen_Tx2PC_PauseLength", pauseLength);
  WriteSettingFlag("Gen_Tx_SkipMP3", skipMp3);
  WriteSettingFlag("Gen_Tx_SkipWMA", skipWma);
  WriteSettingFlag("Gen_Tx_SkipWAV", skipWav);
  WriteSettingFlag("Gen_Tx_SkipData", skipData);
  WriteSettingFlag("Gen_Tx_DisableRecursion", disableRecursion);
  WriteSettingFlag("Gen_Tx_AutoCloseDialog", autoCloseDialog);
  WriteSettingFlag("Gen_Tx_DialogStayOpenOnSkips", stayOpenOnSkips);
  // The list decides: it overrides the four flags written before it.
  for (const auto& [text, check] : formats) WriteSettingFlag(SkipSettingOf(text), check);
}

// ---- OptTransfersAdvanced ----

const platform::DialogTemplate& OptTransfersAdvancedTemplate() {
  using P = OptTransfersAdvanced;
  static const platform::DialogTemplate t = platform::MakeTemplate(
      P::kTemplateId, "Transfers::Advanced Mode",
      Column({Group("Automatic Tag Generation",
                    {Text("Enter a list of characters Ombrix will use to break filenames into tag fields:").Width(56),
                     Row({Edit(P::kDelimitersId).Width(16), Text("(space-separated)")}),
                     Check(P::kUseFoldersId, "Use folder names when filename has too few fields to fill tag."),
                     Row({Text("Default 'Album' name when too few fields:"), Edit(P::kDefaultAlbumId).Width(20)})}),
              Group("Tag WriteBack",
                    {Check(P::kWriteBackId, "Write your tag edits during transfer back to the audio source file on the PC."),
                     Check(P::kUseV1Id, "Write-back ID3V1 tag."),
                     Check(P::kUseV2Id, "Write-back ID3V2 tag (slower on larger files).")})}),
      platform::kFrameChild);
  return t;
}

OptTransfersAdvanced::OptTransfersAdvanced() : PropertyPage(OptTransfersAdvancedTemplate()) {
  delimiterList = ReadSettingText("ATM_DelimiterList", "-", true);
  useFolders = ReadSettingFlag("ATM_UseFolders", 0);
  defaultAlbum = ReadSettingText("ATM_DefaultAlbum", "Single", true);
  writeBack = ReadSettingFlag("ATM_TWB_Enable", 0);
  useV1 = ReadSettingFlag("ATM_TWB_UseV1", 0);
  useV2 = ReadSettingFlag("ATM_TWB_UseV2", 0);
  HandleCommand(kWriteBackId, [this] { EnableWriteBack(); });
}

void OptTransfersAdvanced::DoDataExchange(platform::DataExchange& dx) {
  dx.Text(kDelimitersId, delimiterList);
  dx.Check(kUseFoldersId, useFolders);
  dx.Text(kDefaultAlbumId, defaultAlbum);
  dx.Check(kWriteBackId, writeBack);
  dx.Check(kUseV1Id, useV1);
  dx.Check(kUseV2Id, useV2);
  EnableWriteBack();
}

void OptTransfersAdvanced::EnableWriteBack() {
  if (!IsOpen()) return;
  const bool on = IsDlgButtonChecked(kWriteBackId) != 0;
  EnableDlgItem(kUseV1Id, on);
  EnableDlgItem(kUseV2Id, on);
}

void OptTransfersAdvanced::OnOK() {
  WriteSettingString("ATM_DelimiterList", delimiterList);
  WriteSettingFlag("ATM_UseFolders", useFolders);
  WriteSettingString("ATM_DefaultAlbum", defaultAlbum);
  WriteSettingFlag("ATM_TWB_Enable", writeBack);
  WriteSettingFlag("ATM_TWB_UseV1", useV1);
  WriteSettingFlag("ATM_TWB_UseV2", useV2);
}

}  // namespace transfer
