// The small pop-up beside the notification area that shows a text and a progress bar while
// the hosted player connects or disconnects. It belongs to the driver, is made hidden once
// and is shown, stepped and hidden by a SystrayProgressScope around each long operation.
//
// It is a modeless window of the UI core: the host renders it (a real desktop shows it,
// the console host keeps it as state), and it sits in the corner of the taskbar's
// rectangle that the host reports.
#pragma once

#include <string>
#include <string_view>

#include "platform/ui/ui_window.h"

namespace driver {

class DlgSystrayProgress : public platform::Dialog {
 public:
  static constexpr int kTemplateId = 180;
  static constexpr int kTextId = 1019;
  static constexpr int kProgressId = 1028;
  // The size it is taken to have until a host has laid it out.
  static constexpr int kWidth = 240;
  static constexpr int kHeight = 64;

  DlgSystrayProgress();            // made at once, hidden: "Connecting...", an empty bar
  ~DlgSystrayProgress() override;  // hidden first
  DlgSystrayProgress(const DlgSystrayProgress&) = delete;
  DlgSystrayProgress& operator=(const DlgSystrayProgress&) = delete;

  // Sets the text, places the pop-up at the taskbar's notification corner (topmost), makes
  // the bar run from 0 to `steps` in steps of 1 from 0, and shows it.
  void ShowAtTray(std::string_view text, int steps);
  // The bar's step: past its end it starts over from the beginning, as a progress bar does.
  void StepIt();
  void Hide();

  // The top-left corner for a pop-up of this size beside the taskbar `bar`.
  static void PlaceAtTray(const platform::Rect& bar, int width, int height, int* x, int* y);

  bool IsVisible() const { return IsWindowVisible(); }
  std::string GetText() const { return GetDlgItemText(kTextId); }
  int GetPos() const;
  int GetRangeMax() const;
  int GetX() const { return GetWindowRect().left; }
  int GetY() const { return GetWindowRect().top; }
  int GetShowCount() const { return shows_; }

 protected:
  // Nothing closes it but its scope.
  void OnCancel() override { Hide(); }

 private:
  platform::ProgressControl* Bar() const;

  int shows_ = 0;
};

// Shows the pop-up for the length of one operation: shown on construction, stepped by
// Step, hidden at the end of the scope. With Gen_DisableSystrayProgress non-zero, or
// without a pop-up, it does nothing at all (not even pump messages). Around each change
// the thread's messages are pumped, so the pop-up can paint and requests are served.
class SystrayProgressScope {
 public:
  SystrayProgressScope(DlgSystrayProgress* popup, std::string_view text, int steps);
  ~SystrayProgressScope();
  SystrayProgressScope(const SystrayProgressScope&) = delete;
  SystrayProgressScope& operator=(const SystrayProgressScope&) = delete;

  void Step();

 private:
  DlgSystrayProgress* popup_ = nullptr;
};

}  // namespace driver
