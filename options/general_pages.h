// The first and the last page of the library's options sheet: the general settings (work
// folder, how the folder view looks, what a double-click on a track does, confirmations)
// and the About page with the product's version and the driver's.
#pragma once

#include <cstdint>
#include <string>

#include "platform/ui/property_sheet.h"

namespace device {
class KernelDevice;
}  // namespace device

namespace options {

class OptGeneral : public platform::PropertyPage {
 public:
  static constexpr int kTemplateId = 550;
  static constexpr int kDisableConfirmations = 1154;
  static constexpr int kRightPaneAutoFocus = 1046;
  static constexpr int kTempPath = 1095;
  static constexpr int kBrowseTempPath = 1096;
  static constexpr int kDefaultTempPath = 1098;
  static constexpr int kBrowserPath = 1097;
  static constexpr int kBrowseBrowser = 1099;
  static constexpr int kDefaultBrowser = 1100;
  static constexpr int kSpreadsheetView = 1193;
  static constexpr int kRowColour = 1194;
  static constexpr int kChangeColour = 6004;
  static constexpr int kFullRowSelect = 1234;
  static constexpr int kTrackAction = 1233;

  static constexpr std::uint32_t kDefaultRowColour = 16770790;  // red 230, green 230, blue 255
  static constexpr const char* kDefaultBrowserPath = "iexplore.exe";

  // `device` says whether the player plays tracks itself (two more double-click
  // actions); `playerName` is the computer's playback application ("Play in " + it).
  OptGeneral(device::KernelDevice* device, std::string playerName);

  void DoDataExchange(platform::DataExchange& dx) override;
  // Fills the double-click list; a stored action the list does not offer shows (and
  // saves) the first entry.
  bool OnInitDialog() override;
  // A work folder that is no folder is reported and replaced by the default; then every
  // setting is written.
  void OnOK() override;

  int disableConfirmations = 0;
  int rightPaneAutoFocus = 0;
  std::string tempPath;
  std::string browserPath = kDefaultBrowserPath;
  int spreadsheetView = 1;
  std::uint32_t rowColour = kDefaultRowColour;
  int fullRowSelect = 1;
  int trackAction = 0;

 protected:
  void OnPaint(int controlId, platform::Canvas& canvas) override;

 private:
  void OnBrowseTempPath();
  void OnDefaultTempPath();
  void OnBrowseBrowser();
  void OnDefaultBrowser();
  void OnChangeColour();
  // Reads the controls, changes a member, shows the members again.
  template <class Change>
  void ChangeField(Change change);

  device::KernelDevice* device_;
  std::string playerName_;
};

class OptAbout : public platform::PropertyPage {
 public:
  static constexpr int kTemplateId = 522;
  static constexpr int kTitleLine = 1071;
  static constexpr int kDriverInfo = 1072;

  // The device connection stays the caller's.
  explicit OptAbout(device::KernelDevice* device);
  void DoDataExchange(platform::DataExchange& dx) override;

  std::string titleLine;  // productName + " " + the library's version

 private:
  // Asks the device driver to show its version; a failing call is dropped.
  void OnDriverInfo();
  device::KernelDevice* device_;
};

// True when the path names an existing folder.
bool IsExistingFolder(const std::string& path);

const platform::DialogTemplate& GeneralPageTemplate();
const platform::DialogTemplate& AboutPageTemplate();

}  // namespace options
