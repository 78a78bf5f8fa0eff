// The pages of jukebox-type players: how tracks and playlists are shown and imported
// (OptJukebox), the Brevlink synchronisation folders with its log and cache
// (OptJukeboxSynchro), and what happens to incomplete tags on transfers, the file names
// of copies to the computer and tag write-back (OptJukeboxTagHandling).
#pragma once

#include <string>
#include <vector>

#include "platform/ui/property_sheet.h"

namespace options {

inline constexpr const char* kDefaultTrackDisplayFormat = "%A - %L - %N - %T";
inline constexpr const char* kDefaultFileNameFormat = "%A - %L - %N - %T.%C";

class OptJukebox : public platform::PropertyPage {
 public:
  static constexpr int kTemplateId = 549;
  static constexpr int kDisplayFormat = 1133;
  static constexpr int kUseDefault = 1128;
  static constexpr int kShowAllColumns = 1047;
  static constexpr int kNoAskAutoPlaylists = 1151;
  static constexpr int kOverwritePlaylists = 1147;

  // An empty title keeps the template's caption.
  explicit OptJukebox(std::string title = {});
  void DoDataExchange(platform::DataExchange& dx) override;
  void OnOK() override;

  std::string displayFormat = kDefaultTrackDisplayFormat;
  int showAllColumns = 1;
  int noAskAutoPlaylists = 0;
  int overwritePlaylists = 0;
};

class OptJukeboxSynchro : public platform::PropertyPage {
 public:
  static constexpr int kTemplateId = 639;
  static constexpr int kEnableOneTouch = 1114;
  static constexpr int kSyncPath = 1039;
  static constexpr int kBrowseSyncPath = 1040;
  static constexpr int kSourceFolders = 1179;
  static constexpr int kAddFolder = 1128;
  static constexpr int kDeleteFolder = 1183;
  static constexpr int kTargetFolder = 1184;
  static constexpr int kLogging = 1191;
  static constexpr int kResetCache = 6004;
  static constexpr int kViewLog = 1192;

  explicit OptJukeboxSynchro(std::string title = {});
  void DoDataExchange(platform::DataExchange& dx) override;
  // Selects the target folder and fills both folder lists.
  bool OnInitDialog() override;
  void OnOK() override;

  int enableOneTouch = 0;
  std::string syncPath;
  std::string folderList;  // each source folder followed by "|"
  std::string targetFolder;
  int logging = 0;

  // The cache files of the synchronisation in the work folder "filech", in the order
  // they are deleted.
  static const std::vector<std::string>& CacheFiles();

 private:
  // Keeps the target folder (the combo box's choice or text), fills the list box and the
  // combo box with the source folders and chooses the target among them again.
  void RefreshFolderLists();
  void OnAddFolder();
  void OnDeleteFolder();
  void OnBrowseSyncPath();
  void OnResetCache();
  std::string FolderPickerTitle() const;
};

class OptJukeboxTagHandling : public platform::PropertyPage {
 public:
  static constexpr int kTemplateId = 638;
  static constexpr int kUseAtm = 1139;
  static constexpr int kPrompt = 1140;
  static constexpr int kSkip = 1141;
  static constexpr int kFill = 1142;
  static constexpr int kFillWith = 1059;
  static constexpr int kFileNameFormat = 1134;
  static constexpr int kUseDefaultFormat = 1135;
  static constexpr int kTimedTagReads = 1048;
  static constexpr int kDelimiters = 1116;
  static constexpr int kUseFolders = 1117;
  static constexpr int kDefaultAlbum = 1118;
  static constexpr int kWriteBack = 1119;
  static constexpr int kWriteBackV1 = 1120;
  static constexpr int kWriteBackV2 = 1121;
  static constexpr int kOnBoardWriteBack = 1114;
  static constexpr int kTagHelp = 1143;

  explicit OptJukeboxTagHandling(std::string title = {});
  void DoDataExchange(platform::DataExchange& dx) override;
  // Writes every setting; a file name format without ".%C" is then warned about.
  void OnOK() override;

  int useAtm = 0;
  int prompt = 0;
  int skip = 0;
  int fill = 1;
  std::string fillWith = "<Unknown>";
  std::string fileNameFormat = kDefaultFileNameFormat;
  int timedTagReads = 0;
  std::string delimiters = "-";
  int useFolders = 0;
  std::string defaultAlbum = "Single";
  int writeBack = 0;
  int writeBackV1 = 0;
  int writeBackV2 = 0;
  int onBoardWriteBack = 0;

 private:
  void EnableWriteBackKinds();
  void OnTagHelp();
};

const platform::DialogTemplate& JukeboxPageTemplate();
const platform::DialogTemplate& SynchroPageTemplate();
const platform::DialogTemplate& TagHandlingPageTemplate();

// Opens a help address with the desktop; an empty one is not opened but reported.
void OpenHelpAddress(const std::string& address);

}  // namespace options
