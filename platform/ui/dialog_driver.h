// DialogDriver: a test's hands on a window. It acts as a person would, through the
// controls' User* operations, and fails the test (gtest) when a person could not: the
// control is missing, of another kind, disabled or hidden, or its window is not shown.
// Reading needs no person and never fails.
#pragma once

#include <string>
#include <vector>

#include "platform/ui/host.h"
#include "platform/ui/property_sheet.h"
#include "platform/ui/ui_window.h"

namespace platform {

class DialogDriver {
 public:
  explicit DialogDriver(UiWindow& window) : window_(window) {}

  UiWindow& window() const { return window_; }
  int TemplateId() const { return window_.GetTemplateId(); }
  std::string Caption() const { return window_.GetWindowText(); }

  // Reading.
  std::string Text(int id) const;
  int Check(int id) const;
  bool Enabled(int id) const;
  bool Visible(int id) const;
  int Selection(int id) const;  // combo and list boxes, sliders' and progress bars' positions
  std::vector<std::string> Items(int id) const;
  int Focus() const { return window_.GetFocusId(); }
  bool Ended() const;
  int Result() const;

  // Acting.
  DialogDriver& Type(int id, const std::string& text);
  DialogDriver& Click(int id);
  DialogDriver& Select(int id, int index);
  DialogDriver& Select(int id, const std::string& itemText);
  DialogDriver& SelectRows(int id, const std::vector<int>& rows);
  DialogDriver& ActivateRow(int id, int row);
  DialogDriver& ClickColumn(int id, int column);
  // Items by their texts from the top, joined by "/".
  DialogDriver& SelectTreeItem(int id, const std::string& path);
  // Drags the slider's thumb through every position from where it is to `to`, and lets go.
  DialogDriver& DragSlider(int id, int to);
  DialogDriver& SliderKey(int id, UINT key);
  DialogDriver& ClickToolbar(int id, int command);
  DialogDriver& ClickLink(int id);
  DialogDriver& Key(UINT key, UINT modifiers = 0);
  DialogDriver& Close();
  DialogDriver& Ok() { return Click(IDOK); }
  DialogDriver& Cancel() { return Click(IDCANCEL); }
  // Serves the messages waiting for this thread (posted from elsewhere, timers).
  DialogDriver& Pump();

  // Property sheets: the page shown now (a failure when there is none), and a tab click.
  DialogDriver Page() const;
  DialogDriver& SelectTab(int index);

 private:
  // The control when a person can use it; null (and a failure) otherwise.
  Control* Usable(int id, const char* action) const;

  UiWindow& window_;
};

}  // namespace platform
