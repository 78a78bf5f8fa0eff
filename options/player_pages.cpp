#include "options/player_pages.h"

#include "common/folders.h"
#include "common/identity.h"
#include "common/settings.h"
#include "common/shell_utilities.h"
#include "device/device_client_error.h"
#include "options/page_settings.h"
#include "platform/paths/paths.h"
#include "platform/text/text.h"
#include "platform/ui/data_exchange.h"
#include "platform/ui/desktop.h"
#include "transfer/log_file.h"

using namespace device;

namespace options {

using namespace platform::layout;

namespace {

constexpr const char* kLegend = "* Legend: %A Artist, %L Album, %N Track#, %T Title, %C Ext, %Y Year, %G Genre";

std::string TitleOr(std::string title, const platform::DialogTemplate& t) {
  return title.empty() ? t.caption : std::move(title);
}

}  // namespace

void OpenHelpAddress(const std::string& address) {
  if (address.empty()) {
    ShowInformation("Could not read url for help page from the registry.");
    return;
  }
  ShellOpenFile(address);
}

// ---- Jukebox ----

const platform::DialogTemplate& JukeboxPageTemplate() {
  using P = OptJukebox;
  static const platform::DialogTemplate t = platform::MakeTemplate(
      P::kTemplateId, "Jukebox",
      Column(
          {Group("Display", {Row({Text("Track display format *:"), Edit(P::kDisplayFormat).Width(28).Expand(),
                                  Button(P::kUseDefault, "Use Default")}),
                             Text(kLegend), Check(P::kShowAllColumns, "Show all columns. (slower)")}),
           Group("Playlists",
                 {Check(P::kNoAskAutoPlaylists, "Do not ask to automatically create playlists after transfer."),
                  Check(P::kOverwritePlaylists, "When importing, overwrite existing playlists with the same name.")})}),
      platform::kFrameChild);
  return t;
}

OptJukebox::OptJukebox(std::string title)
    : PropertyPage(JukeboxPageTemplate(), TitleOr(std::move(title), JukeboxPageTemplate())) {
  displayFormat = ReadStringSetting("JB_TrackDisplayFormat", kDefaultTrackDisplayFormat, true);
  showAllColumns = ReadDwordSetting("JB_ShowAllColumns", 1);
  noAskAutoPlaylists = ReadDwordSetting("JB_Tx_DisableAskAutoPlaylistCreation", 0);
  overwritePlaylists = ReadDwordSetting("JB_Tx_OverwritePlaylists", 0);
  HandleCommand(kUseDefault, [this] { SetDlgItemText(kDisplayFormat, kDefaultTrackDisplayFormat); });
}

void OptJukebox::DoDataExchange(platform::DataExchange& dx) {
  dx.Text(kDisplayFormat, displayFormat);
  dx.Check(kShowAllColumns, showAllColumns);
  dx.Check(kNoAskAutoPlaylists, noAskAutoPlaylists);
  dx.Check(kOverwritePlaylists, overwritePlaylists);
}

void OptJukebox::OnOK() {
  WriteSettingString("JB_TrackDisplayFormat", displayFormat);
  WriteDwordSetting("JB_ShowAllColumns", showAllColumns);
  WriteDwordSetting("JB_Tx_DisableAskAutoPlaylistCreation", noAskAutoPlaylists);
  WriteDwordSetting("JB_Tx_OverwritePlaylists", overwritePlaylists);
}

// ---- Brevlink ----

const platform::DialogTemplate& SynchroPageTemplate() {
  using P = OptJukeboxSynchro;
  static const platform::DialogTemplate t = platform::MakeTemplate(
      P::kTemplateId, "Jukebox::Brevlink",
      Column({Group("PC Source Folders",
                    {Text("These folders will be scanned for new files to transfer to your device."),
                     Row({List(P::kSourceFolders).Label("PC Source Folders").Lines(5).Expand(),
                          Column({Button(P::kAddFolder, "Add Folder"), Button(P::kDeleteFolder, "Delete Folder")})})}),
              Group("PC Target Folder",
                    {Text("Files on your device will be transferred back to this PC folder. *"),
                     Combo(P::kTargetFolder).Label("PC Target Folder").Width(40),
                     Text("* Options for folder structure creation are on 'Tag Handling' options page.")}),
              Group("Brevlink",
                    {Check(P::kLogging, "Enable Brevlink logging (slower)."),
                     Row({Button(P::kResetCache, "Reset Brevlink Cache"), Button(P::kViewLog, "View Brevlink Log")})}),
              Group("One-Touch Synchro (Legacy Option)",
                    {Check(P::kEnableOneTouch, "Enable Older One-Touch Synchro Mode"),
                     Row({Edit(P::kSyncPath).Label("One-Touch Synchro folder").Width(36).Expand(),
                          Button(P::kBrowseSyncPath, "Browse ...")})})}),
      platform::kFrameChild);
  return t;
}

const std::vector<std::string>& OptJukeboxSynchro::CacheFiles() {
  static const std::vector<std::string> files = {"cur2.db", "mod2.db", "dat2.db", "cur.adb", "tmp.adb"};
  return files;
}

OptJukeboxSynchro::OptJukeboxSynchro(std::string title)
    : PropertyPage(SynchroPageTemplate(), TitleOr(std::move(title), SynchroPageTemplate())) {
  enableOneTouch = ReadDwordSetting("JB_Tx_EnableOTS", 0);
  syncPath = ReadStringSetting("JB_Tx_SyncPath", "");
  folderList = ReadStringSetting("JB_Tx_SyncFolderList", "");
  targetFolder = ReadStringSetting("JB_Tx2PC_SyncPath", "");
  logging = ReadDwordSetting("JB_Tx_SyncLogging", 0);
  HandleCommand(kAddFolder, [this] { OnAddFolder(); });
  HandleCommand(kDeleteFolder, [this] { OnDeleteFolder(); });
  HandleCommand(kBrowseSyncPath, [this] { OnBrowseSyncPath(); });
  HandleCommand(kResetCache, [this] { OnResetCache(); });
  HandleCommand(kViewLog, [] { transfer::OpenLogFile("_synclog.txt"); });
}

void OptJukeboxSynchro::DoDataExchange(platform::DataExchange& dx) {
  dx.Check(kEnableOneTouch, enableOneTouch);
  dx.Path(kSyncPath, syncPath);
  dx.Path(kTargetFolder, targetFolder);
  dx.Check(kLogging, logging);
}

bool OptJukeboxSynchro::OnInitDialog() {
  PropertyPage::OnInitDialog();
  RefreshFolderLists();
  return true;
}

void OptJukeboxSynchro::RefreshFolderLists() {
  platform::ListControl& sources = List(kSourceFolders);
  platform::ListControl& target = List(kTargetFolder);
  // A folder typed into the box counts as much as one picked from its list. The lists
  // show the folders as the desktop writes them.
  std::vector<std::string> folders;
  SplitString(folderList, "|", folders);
  const std::string shownTarget =
      target.GetCurSel() >= 0 ? target.GetItemText(target.GetCurSel()) : target.GetText();
  targetFolder = platform::PathFromShown(shownTarget, targetFolder);
  for (const std::string& folder : folders) {
    if (platform::ShownPath(folder) == platform::Trim(shownTarget)) targetFolder = folder;
  }
  sources.ResetContent();
  target.ResetContent();
  for (const std::string& folder : folders) {
    sources.AddString(platform::ShownPath(folder));
    target.AddString(platform::ShownPath(folder));
  }
  if (target.SelectString(platform::ShownPath(targetFolder)) < 0) target.SetText(platform::ShownPath(targetFolder));
}

std::string OptJukeboxSynchro::FolderPickerTitle() const {
  return "Select a folder to sync your " + g_ProductIdentity.deviceWord + " to:";
}

void OptJukeboxSynchro::OnAddFolder() {
  const std::optional<std::string> folder = platform::PickFolder(TopLevel().GetSafeHwnd(), FolderPickerTitle());
  if (!folder || folder->empty()) return;
  // The list keeps "|" between its folders: such a name would come back as two folders.
  if (folder->find('|') != std::string::npos) {
    ShowInformation("The folder\n" + platform::ShownPath(*folder) + "\ncannot be added: its name holds the character '|'.");
    return;
  }
  folderList += *folder + "|";
  RefreshFolderLists();
}

void OptJukeboxSynchro::OnDeleteFolder() {
  platform::ListControl& sources = List(kSourceFolders);
  const int selected = sources.GetCurSel();
  if (selected < 0) return;
  std::vector<std::string> folders;
  SplitString(folderList, "|", folders);
  folderList.clear();
  for (std::size_t i = 0; i < folders.size(); ++i) {
    if (static_cast<int>(i) != selected) folderList += folders[i] + "|";
  }
  RefreshFolderLists();
}

void OptJukeboxSynchro::OnBrowseSyncPath() {
  const std::optional<std::string> folder = platform::PickFolder(TopLevel().GetSafeHwnd(), FolderPickerTitle());
  if (!folder || folder->empty()) return;
  if (!UpdateData(true)) return;
  syncPath = *folder;
  UpdateData(false);
}

void OptJukeboxSynchro::OnResetCache() {
  std::string folder;
  GetWorkFolder(folder, "filech");
  for (const std::string& file : CacheFiles()) platform::RemoveFile(folder + file);
  for (const char* file : {"cur2.db", "mod2.db", "cur.adb", "tmp.adb", "dat2.db"}) {
    if (platform::QueryEntry(folder + file).exists) {
      ShowInformation(
          "The cache file is locked and cannot be reset right now.\n\nMake sure there are no hung instances of "
          "'shellhost' running and try again.\nOr, try rebooting and then reset the cache again.");
      return;
    }
  }
  ShowInformation("The cache has been reset.  It will be rebuilt the next time you invoke Synchro.");
}

void OptJukeboxSynchro::OnOK() {
  WriteDwordSetting("JB_Tx_EnableOTS", enableOneTouch);
  WriteSettingString("JB_Tx_SyncPath", syncPath);
  WriteSettingString("JB_Tx_SyncFolderList", folderList);
  WriteSettingString("JB_Tx2PC_SyncPath", targetFolder);
  WriteDwordSetting("JB_Tx_SyncLogging", logging);
}

// ---- Tag Handling ----

const platform::DialogTemplate& TagHandlingPageTemplate() {
  using P = OptJukeboxTagHandling;
  static const platform::DialogTemplate t = platform::MakeTemplate(
      P::kTemplateId, "Jukebox::Tag Handling",
      Column(
          {Group("Tag Handling on Transfers to Your Device",
                 {Radio(P::kUseAtm, "Use Advanced Transfer Management (options below).").GroupStart(),
                  Radio(P::kPrompt, "Prompt user when tag is incomplete."),
                  Radio(P::kSkip, "Skip file when tag is incomplete."),
                  Row({Radio(P::kFill, "Fill incomplete tag fields with:"),
                       Edit(P::kFillWith).Label("Fill incomplete tag fields with").Width(14)}),
                  Check(P::kTimedTagReads, "Skip files with corrupt tags. (slower)")}),
           Group("Advanced Transfer Management",
                 {Group("Filename to Tag Parsing",
                        {Text("Enter a list of characters to be used to break filenames into tag fields:"),
                         Row({Edit(P::kDelimiters).Label("Filename delimiters").Width(12), Text("(space-separated)")}),
                         Check(P::kUseFolders, "Use folder names when filename has too few fields to fill tag."),
                         Row({Text("Default 'Album' name when too few fields:"), Edit(P::kDefaultAlbum).Width(14)})}),
                  Group("Tag WriteBack",
                        {Check(P::kWriteBack, "Write tag changes during transfer back to source file on the PC."),
                         Row({Check(P::kWriteBackV1, "Write-back ID3V1 tag."),
                              Check(P::kWriteBackV2, "Write-back ID3V2 tag (slow on large files).")})})}),
           Group("Tag Handling on Transfers Back to PC",
                 {Row({Text("Transfer to PC filename format *:"),
                       Edit(P::kFileNameFormat).Label("Transfer to PC filename format").Width(24).Expand(),
                       Button(P::kUseDefaultFormat, "Use Default")}),
                  Text(kLegend),
                  Check(P::kOnBoardWriteBack, "Write on-board tag edits back to transferred file. (slower)")}),
           Row({Button(P::kTagHelp, "Tag Help")})}),
      platform::kFrameChild);
  return t;
}

OptJukeboxTagHandling::OptJukeboxTagHandling(std::string title)
    : PropertyPage(TagHandlingPageTemplate(), TitleOr(std::move(title), TagHandlingPageTemplate())) {
  useAtm = ReadDwordSetting("JB_Tx_UseATM", 0);
  prompt = ReadDwordSetting("JB_Tx_ITagPrompt", 0);
  skip = ReadDwordSetting("JB_Tx_ITagSkip", 0);
  fill = ReadDwordSetting("JB_Tx_ITagFill", 1);
  fillWith = ReadStringSetting("JB_Tx_ITagFillWith", "<Unknown>", true);
  fileNameFormat = ReadStringSetting("JB_Tx2PC_FilenameFormat", kDefaultFileNameFormat, true);
  timedTagReads = ReadDwordSetting("JB_EnableTimedTagReads", 0);
  delimiters = ReadStringSetting("ATM_DelimiterList", "-", true);
  useFolders = ReadDwordSetting("ATM_UseFolders", 0);
  defaultAlbum = ReadStringSetting("ATM_DefaultAlbum", "Single", true);
  writeBack = ReadDwordSetting("ATM_TWB_Enable", 0);
  writeBackV1 = ReadDwordSetting("ATM_TWB_UseV1", 0);
  writeBackV2 = ReadDwordSetting("ATM_TWB_UseV2", 0);
  onBoardWriteBack = ReadDwordSetting("JB_Tx2PC_TagWriteBack", 0);
  HandleCommand(kWriteBack, [this] { EnableWriteBackKinds(); });
  HandleCommand(kUseDefaultFormat, [this] { SetDlgItemText(kFileNameFormat, kDefaultFileNameFormat); });
  HandleCommand(kTagHelp, [this] { OnTagHelp(); });
}

void OptJukeboxTagHandling::DoDataExchange(platform::DataExchange& dx) {
  dx.Check(kUseAtm, useAtm);
  dx.Check(kPrompt, prompt);
  dx.Check(kSkip, skip);
  dx.Check(kFill, fill);
  dx.Text(kFillWith, fillWith);
  dx.Text(kFileNameFormat, fileNameFormat);
  dx.Check(kTimedTagReads, timedTagReads);
  dx.Text(kDelimiters, delimiters);
  dx.Check(kUseFolders, useFolders);
  dx.Text(kDefaultAlbum, defaultAlbum);
  dx.Check(kWriteBack, writeBack);
  dx.Check(kWriteBackV1, writeBackV1);
  dx.Check(kWriteBackV2, writeBackV2);
  dx.Check(kOnBoardWriteBack, onBoardWriteBack);
  EnableWriteBackKinds();
}

void OptJukeboxTagHandling::EnableWriteBackKinds() {
  const bool on = IsDlgButtonChecked(kWriteBack) != 0;
  EnableDlgItem(kWriteBackV1, on);
  EnableDlgItem(kWriteBackV2, on);
}

void OptJukeboxTagHandling::OnTagHelp() {
  std::string help;
  std::string tagging;
  ReadSettingString("URL_Help", help);
  ReadSettingString("URL_HelpTagging", tagging);
  OpenHelpAddress(help + tagging);
}

void OptJukeboxTagHandling::OnOK() {
  WriteSettingString("ATM_DelimiterList", delimiters);
  WriteDwordSetting("ATM_UseFolders", useFolders);
  WriteSettingString("ATM_DefaultAlbum", defaultAlbum);
  WriteDwordSetting("ATM_TWB_Enable", writeBack);
  WriteDwordSetting("ATM_TWB_UseV1", writeBackV1);
  WriteDwordSetting("ATM_TWB_UseV2", writeBackV2);
  WriteDwordSetting("JB_Tx_UseATM", useAtm);
  WriteDwordSetting("JB_Tx_ITagPrompt", prompt);
  WriteDwordSetting("JB_Tx_ITagSkip", skip);
  WriteDwordSetting("JB_Tx_ITagFill", fill);
  WriteSettingString("JB_Tx_ITagFillWith", fillWith);
  WriteSettingString("JB_Tx2PC_FilenameFormat", fileNameFormat);
  WriteDwordSetting("JB_EnableTimedTagReads", timedTagReads);
  WriteDwordSetting("JB_Tx2PC_TagWriteBack", onBoardWriteBack);
  if (fileNameFormat.find(".%C") == std::string::npos) {
    ShowMessageBox(
        "Your transfer to PC filename format template does not include\na filename extension.\n\nYou should go back "
        "and add \".%C\" to the end of your template.",
        platform::MB_ICONEXCLAMATION);
  }
}

}  // namespace options
