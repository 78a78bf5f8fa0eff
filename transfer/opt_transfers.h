// The transfer option pages: OptTransfers, the options sheet's page for transfers in
// general (pauses between copies to the computer, the formats transfers to the player
// skip, folder recursion, closing the transfer window), and OptTransfersAdvanced, the
// automatic tagging and tag write-back settings, which the transfer preparation sheet
// shows as its "Options" tab.
//
// Both are property pages of the UI core: a sheet adds them with AddPage. Each reads its
// settings when it is made (an absent value keeps the default) and writes every one of
// them back in OnOK, which the sheet calls for each page that was shown when it closes
// with OK.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "platform/ui/property_sheet.h"

namespace transfer {

class OptTransfers : public platform::PropertyPage {
 public:
  static constexpr int kTemplateId = 637;
  static constexpr int kPauseEnableId = 1131;
  static constexpr int kPauseLengthId = 1132;
  static constexpr int kSkipMp3Id = 1136;
  static constexpr int kSkipWmaId = 1109;
  static constexpr int kSkipWavId = 1138;
  static constexpr int kSkipDataId = 1110;
  static constexpr int kNoRecursionId = 1137;
  static constexpr int kAutoCloseId = 1139;
  static constexpr int kStayOpenOnSkipsId = 1152;
  static constexpr int kFormatsId = 1251;

  OptTransfers();
  bool OnInitDialog() override;
  void DoDataExchange(platform::DataExchange& dx) override;
  void OnOK() override;

  int pauseEnable = 0;
  int pauseLength = 1;  // 1..7 seconds
  int skipMp3 = 0, skipWma = 0, skipWav = 0, skipData = 0;
  int disableRecursion = 0;
  int autoCloseDialog = 0;
  int stayOpenOnSkips = 0;
  // The format list: a row's text ("MP3", ..., "Data Files") and its check.
  std::vector<std::pair<std::string, int>> formats;

 private:
  void EnablePause();
};

class OptTransfersAdvanced : public platform::PropertyPage {
 public:
  static constexpr int kTemplateId = 546;
  static constexpr int kDelimitersId = 1116;
  static constexpr int kUseFoldersId = 1117;
  static constexpr int kDefaultAlbumId = 1118;
  static constexpr int kWriteBackId = 1119;
  static constexpr int kUseV1Id = 1120;
  static constexpr int kUseV2Id = 1121;

  OptTransfersAdvanced();
  void DoDataExchange(platform::DataExchange& dx) override;
  void OnOK() override;

  std::string delimiterList = "-";
  int useFolders = 0;
  std::string defaultAlbum = "Single";
  int writeBack = 0;
  int useV1 = 0;
  int useV2 = 0;

 private:
  void EnableWriteBack();
};

const platform::DialogTemplate& OptTransfersTemplate();
const platform::DialogTemplate& OptTransfersAdvancedTemplate();

}  // namespace transfer
