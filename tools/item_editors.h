// The editors of the player's personal items: one contact's fields (EditContactDialog,
// which edits the caller's record in place) and one note's text (EditNoteDialog).
#pragma once

#include <string>

#include "device/records.h"
#include "platform/ui/ui_window.h"

namespace tools {

class EditContactDialog : public platform::Dialog {
 public:
  static constexpr int kTemplateId = 661;

  // Edit boxes and the record's fields they show; the other fields are kept as they are.
  struct Box {
    int id;
    device::ContactField field;
  };
  static const Box kBoxes[22];

  // Takes the shown fields' texts from `record` (kept; written back on OK).
  explicit EditContactDialog(device::ContactRecord* record, platform::HWND parent = 0);

  std::string texts[22];  // by kBoxes' order

  // Saving copies each text into its field, cut to the field's 260 bytes.
  void DoDataExchange(platform::DataExchange& dx) override;

 private:
  device::ContactRecord* record_;
};

class EditNoteDialog : public platform::Dialog {
 public:
  static constexpr int kTemplateId = 660;
  static constexpr int kTextId = 1008;

  explicit EditNoteDialog(platform::HWND parent = 0);

  std::string text;  // the body: set before the run, read after OK
  // The most bytes the player holds (0: no bound). OK on a longer text says how much fits
  // and asks: Yes keeps the part that fits, No goes back to the whole text.
  std::size_t maxBytes = 0;

  void DoDataExchange(platform::DataExchange& dx) override;
  void OnOK() override;
};

const platform::DialogTemplate& EditContactTemplate();
const platform::DialogTemplate& EditNoteTemplate();

}  // namespace tools
