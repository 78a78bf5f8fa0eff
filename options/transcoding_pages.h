// The pages of Tonavel, the conversion of audio files during transfers: OptTonavel
// switches it on, shows the installed decoders and encoders and lets the person choose a
// transfer rule per source format (a right click on the format); OptTransfersTranscode
// holds the MP3 and WMA encoder settings and the threshold of the "reduce bitrate" rule.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/ui/image_list.h"
#include "platform/ui/property_sheet.h"

namespace options {

class OptTonavel : public platform::PropertyPage {
 public:
  static constexpr int kTemplateId = 6002;
  static constexpr int kEnable = 1243;
  static constexpr int kEncoders = 1237;
  static constexpr int kDecoders = 1238;
  static constexpr int kRules = 1239;
  static constexpr int kMorePlugins = 1240;
  static constexpr int kResetRules = 1241;
  static constexpr int kFirstRuleCommand = 6000;  // + the choice's index

  OptTonavel();
  void DoDataExchange(platform::DataExchange& dx) override;
  // Fills the three lists; the rule list and the reset button follow the check box.
  bool OnInitDialog() override;
  void OnOK() override;

  int enabled = 0;

  // The source formats of the rule list in row order (tests, hosts).
  std::vector<int> RuleFormats();

 private:
  void FillRules();
  void EnableRules();
  void OnRuleRightClick(const platform::Notification& n);
  void OnResetRules();

  platform::ImageList formatIcons_{16, 16};
  // The menu's state: the format whose rule is changed, its choices and the current one.
  int menuFormat_ = 0;
  std::vector<std::uint32_t> menuChoices_;
  int menuCurrent_ = 0;
};

class OptTransfersTranscode : public platform::PropertyPage {
 public:
  static constexpr int kTemplateId = 636;
  static constexpr int kMp3Constant = 1159;
  static constexpr int kMp3Variable = 1161;
  static constexpr int kMp3Bitrate = 1162;
  static constexpr int kMp3BitrateLabel = 1170;
  static constexpr int kMp3Quality = 1164;
  static constexpr int kMp3QualityLabel = 1172;
  static constexpr int kWmaConstant = 1179;
  static constexpr int kWmaVariable = 1181;
  static constexpr int kWmaBitrate = 1182;
  static constexpr int kWmaBitrateLabel = 1173;
  static constexpr int kWmaQuality = 1184;
  static constexpr int kWmaQualityLabel = 1174;
  static constexpr int kThreshold = 1242;

  static constexpr std::array<int, 14> kMp3Bitrates = {32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320};
  static constexpr std::array<int, 10> kWmaBitrates = {32, 48, 64, 80, 96, 128, 160, 192, 256, 320};
  static constexpr std::array<int, 6> kWmaQualities = {10, 25, 50, 75, 90, 98};

  OptTransfersTranscode();
  void DoDataExchange(platform::DataExchange& dx) override;
  // The sliders' ranges and ticks, their labels, and which of them show.
  bool OnInitDialog() override;
  void OnOK() override;

  int mp3Constant = 1;
  int mp3Variable = 0;
  int mp3BitratePos = 8;  // 128 kbps
  int mp3QualityPos = 5;  // 9 - quality 4
  int wmaConstant = 1;
  int wmaVariable = 0;
  int wmaBitratePos = 5;  // 128 kbps
  int wmaQualityPos = 2;  // 50
  int threshold = 128;

 private:
  void UpdateLabels();
  void ShowSliders();
  void OnRateModeClicked();
};

const platform::DialogTemplate& TonavelPageTemplate();
const platform::DialogTemplate& TranscodePageTemplate();

// The address that "Help and More Plugins..." opens: the product's help site
// (`URL_Help`) + "tonavel-plugins.html"; empty when the help site is not set.
std::string TonavelPluginsAddress();

}  // namespace options
