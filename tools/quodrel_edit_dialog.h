// QuodrelEditDialog: the rule editor of a Quodrel, a playlist whose tracks a rule picks
// ("90 minutes of music that matches all of: Artist contains x, ..., sorted randomly").
// OK refills the playlist from the player's matching tracks and keeps the rule in its
// enciphered file, from which the next edit starts.
#pragma once

#include <string>

#include "device/kernel_device.h"
#include "platform/ui/ui_window.h"
#include "tools/quodrel_rule.h"

namespace tools {

class QuodrelEditDialog : public platform::Dialog {
 public:
  static constexpr int kTemplateId = 662;
  static constexpr int kLimitId = 1228;
  static constexpr int kUnitId = 1219;
  static constexpr int kMatchId = 1220;
  static constexpr int kFieldIds[3] = {1221, 1223, 1225};
  static constexpr int kOperatorIds[3] = {1222, 1224, 1226};
  static constexpr int kValueIds[3] = {1010, 1011, 1012};
  static constexpr int kOrderId = 1227;

  // The device holds the playlist; the rule starts from the defaults until OnInitDialog
  // loads the playlist's rule file.
  QuodrelEditDialog(device::KernelDevice* device, const device::KernelId& playlist, platform::HWND parent = 0);

  QuodrelRule rule;

  const std::string& ListName() const { return listName_; }
  // The playlist after OK: a refill makes it anew, under the same name.
  const device::KernelId& Playlist() const { return playlist_; }

  bool OnInitDialog() override;
  void DoDataExchange(platform::DataExchange& dx) override;
  // Refuses values the rule cannot use or keep; otherwise refills the playlist and
  // stores the rule. A device failure is reported and keeps the dialog open, the rule
  // unsaved.
  void OnOK() override;

  // Finds the matching tracks, orders and caps them, and makes them the playlist's
  // tracks; with no match the playlist stays as it was. Throws the device's errors.
  void ApplyRule();
  // Writes the rule file; a file that cannot be written is passed over.
  void SaveRule();
  // Reads the rule file into `rule`; a missing, undecipherable or malformed file leaves
  // the rule as it was.
  void LoadRule();
  // The folder the device names for rule files, else "qlists" under the application
  // data folder (created when missing), and the file's name; empty when neither folder
  // is known.
  std::string GetRuleFilePath();

 private:
  void OnSelChangeField(int row);
  void EnableRows();

  device::KernelDevice* device_;
  device::KernelId playlist_;
  std::string listName_;
};

const platform::DialogTemplate& QuodrelEditTemplate();

}  // namespace tools
