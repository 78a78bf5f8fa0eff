// Data exchange between a window's controls and its members, both ways, with range checks.
// A window's DoDataExchange calls these for each member; in the saving direction a value
// that does not parse or lies outside its range is refused: the exchange stops, the
// message names the field and the range, and UpdateData shows it and focuses the field.
#pragma once

#include <cstdint>
#include <string>

#include "platform/ui/ui_window.h"

namespace platform {

// Thrown inside DoDataExchange by a refusal; UpdateData catches it.
struct DataExchangeRefusal {
  int id;
  std::string message;
};

class DataExchange {
 public:
  DataExchange(UiWindow& window, bool save) : window_(window), save_(save) {}

  bool IsSaving() const { return save_; }
  UiWindow& Window() const { return window_; }

  // Texts of edits, labels, combo boxes. maxBytes > 0 refuses longer texts.
  void Text(int id, std::string& value, std::size_t maxBytes = 0);
  // A path the system keeps in its Windows form, shown and typed in the desktop's form:
  // the box shows the POSIX path; saving keeps the value when the box still shows it,
  // takes a typed POSIX path in the system's form, and anything else as typed.
  void Path(int id, std::string& value);
  // Whole numbers written in decimal, blanks around them allowed.
  void Int(int id, int& value);
  void Int(int id, int& value, int min, int max);
  void UInt(int id, std::uint32_t& value, std::uint32_t min, std::uint32_t max);
  // 0 unchecked, 1 checked, 2 indeterminate.
  void Check(int id, int& state);
  // The index of the checked button in the radio group of `firstId`; -1 when none.
  void Radio(int firstId, int& index);
  // The selected item of a combo or list box (-1: none).
  void ListIndex(int id, int& index);
  // A combo box's text: saving reads the text; loading selects the matching item of a
  // drop-down list, or sets the text of an editable combo box.
  void ComboText(int id, std::string& value);
  void SliderPos(int id, int& pos);
  // Binds a member to the control (the desktop's control data exchange).
  template <class T>
  void Bind(int id, T*& control) {
    if (control == nullptr) control = &ControlOf<T>(id);
  }

  // Refuses the exchange (saving direction) with a message about the control.
  [[noreturn]] void Fail(int id, std::string message);

 private:
  template <class T>
  T& ControlOf(int id);
  std::string FieldName(int id) const;

  UiWindow& window_;
  bool save_;
};

template <class T>
T& DataExchange::ControlOf(int id) {
  auto* c = dynamic_cast<T*>(window_.GetDlgItem(id));
  if (c == nullptr) throw std::out_of_range("no control " + std::to_string(id) + " of that kind to exchange");
  return *c;
}

}  // namespace platform
