// The pages of particular flash and memory players: the two ZaRo pages (one design with
// its own settings, ids and texts per family: the Corundel mode, automatic detection of
// the player's drive and the drive chosen by hand among the removable drives) and the
// VANTRO II page.
#pragma once

#include <string>

#include "platform/ui/property_sheet.h"

namespace options {

// What tells one ZaRo page from the other.
struct ZaroPageSpec {
  int templateId;
  const char* caption;
  const char* modeSetting;
  int modeDefault;
  int modeId;
  const char* modeText;
  const char* detectSetting;
  int detectId;
  const char* detectText;
  const char* driveSetting;
  int driveId;
  const char* driveText;
  const char* detectionGroup;
  const char* note;  // empty: none
  bool warnWhenModeOn;
};

class ZaroOptionPage : public platform::PropertyPage {
 public:
  explicit ZaroOptionPage(const ZaroPageSpec& spec);
  void DoDataExchange(platform::DataExchange& dx) override;
  // Lists the removable drives D: to Z:, selects the stored one and enables the list only
  // while detection is off.
  bool OnInitDialog() override;
  void OnOK() override;

  const ZaroPageSpec& Spec() const { return spec_; }

  int mode = 0;
  int autoDetect = 1;
  std::string drive;  // "E:" or empty

 private:
  void OnDetectClicked();
  void OnModeClicked();
  const ZaroPageSpec& spec_;
};

class OptZaro : public ZaroOptionPage {
 public:
  static constexpr int kTemplateId = 643;
  static constexpr int kModeId = 1186;
  static constexpr int kDetectId = 1114;
  static constexpr int kDriveId = 1189;
  OptZaro();
};

class OptZaroNX : public ZaroOptionPage {
 public:
  static constexpr int kTemplateId = 644;
  static constexpr int kModeId = 1187;
  static constexpr int kDetectId = 1190;
  static constexpr int kDriveId = 1188;
  OptZaroNX();
};

class OptVantroII : public platform::PropertyPage {
 public:
  static constexpr int kTemplateId = 562;
  static constexpr int kAlphaSort = 1045;
  static constexpr int kHideInternalMemory = 1098;
  static constexpr int kHideTuner = 1097;
  static constexpr int kCardReader = 1053;
  static constexpr int kBrowse = 1040;

  OptVantroII();
  void DoDataExchange(platform::DataExchange& dx) override;
  void OnOK() override;

  int alphaSort = 0;
  int hideInternalMemory = 0;
  int hideTuner = 0;
  std::string cardReader;

 private:
  void OnBrowse();
};

const platform::DialogTemplate& ZaroPageTemplate(const ZaroPageSpec& spec);
const platform::DialogTemplate& VantroIIPageTemplate();

}  // namespace options
