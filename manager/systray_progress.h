// The small pop-up beside the notification area that shows a text and a progress bar while
// the hosted player connects or disconnects. It belongs to the driver, is made hidden once
// and is shown, stepped and hidden by a SystrayProgressScope around each long operation.
//
// There is no window system behind it here: like the tray icon, the pop-up is kept as the
// state a real window would show (text, bar, place, visibility), which tests and a later
// window backend read. The taskbar's rectangle comes from SetTaskbarRect (default: a bar
// along the bottom of a 1920 x 1080 screen).
#pragma once

#include <string>
#include <string_view>

struct ScreenRect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
};

// Where the taskbar is; the pop-up sits in the corner beside its notification area.
void SetTaskbarRect(const ScreenRect& rect);
ScreenRect GetTaskbarRect();

class DlgSystrayProgress {
 public:
  static constexpr int kWidth = 240;
  static constexpr int kHeight = 64;

  DlgSystrayProgress();   // hidden, text "Connecting...", empty bar
  ~DlgSystrayProgress();  // hidden first
  DlgSystrayProgress(const DlgSystrayProgress&) = delete;
  DlgSystrayProgress& operator=(const DlgSystrayProgress&) = delete;

  // Sets the text, places the pop-up at the taskbar's notification corner (topmost), makes
  // the bar run from 0 to `steps` in steps of 1 from 0, and shows it.
  void ShowAtTray(std::string_view text, int steps);
  // The bar's step: past its end it starts over from the beginning, as a progress bar does.
  void StepIt();
  void Hide();

  // The top-left corner for a pop-up of this size beside the taskbar `bar`.
  static void PlaceAtTray(const ScreenRect& bar, int width, int height, int* x, int* y);

  bool IsVisible() const { return visible_; }
  bool IsTopmost() const { return topmost_; }
  const std::string& GetText() const { return text_; }
  int GetPos() const { return pos_; }
  int GetRangeMax() const { return rangeMax_; }
  int GetX() const { return x_; }
  int GetY() const { return y_; }
  int GetShowCount() const { return shows_; }

 private:
  std::string text_ = "Connecting...";
  bool visible_ = false;
  bool topmost_ = false;
  int x_ = 0;
  int y_ = 0;
  int rangeMax_ = 100;
  int step_ = 10;
  int pos_ = 0;
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
