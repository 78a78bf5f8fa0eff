#include "manager/systray_progress.h"

#include <cstdint>
#include <mutex>

#include "common/settings.h"
#include "manager/utilities.h"

namespace {

std::mutex g_taskbarMutex;
ScreenRect g_taskbar{0, 1040, 1920, 1080};

}  // namespace

void SetTaskbarRect(const ScreenRect& rect) {
  std::lock_guard<std::mutex> lock(g_taskbarMutex);
  g_taskbar = rect;
}

ScreenRect GetTaskbarRect() {
  std::lock_guard<std::mutex> lock(g_taskbarMutex);
  return g_taskbar;
}

DlgSystrayProgress::DlgSystrayProgress() = default;

DlgSystrayProgress::~DlgSystrayProgress() { Hide(); }

void DlgSystrayProgress::PlaceAtTray(const ScreenRect& bar, int width, int height, int* x, int* y) {
  const int l = bar.left, t = bar.top, r = bar.right, b = bar.bottom;
  if (t > l) {  // along the bottom
    *x = r - 2 - width;
    *y = t - height;
  } else if (t < l) {  // along the right
    *x = l - width;
    *y = b - 2 - height;
  } else if (b > r) {  // along the left
    *x = r;
    *y = b - 2 - height;
  } else if (b < r) {  // along the top
    *x = r - 2 - width;
    *y = b;
  } else {
    *x = l - width;
    *y = b - 2 - height;
  }
}

void DlgSystrayProgress::ShowAtTray(std::string_view text, int steps) {
  text_ = std::string(text);
  PlaceAtTray(GetTaskbarRect(), kWidth, kHeight, &x_, &y_);
  topmost_ = true;
  rangeMax_ = steps;
  step_ = 1;
  pos_ = 0;
  visible_ = true;
  ++shows_;
}

void DlgSystrayProgress::StepIt() {
  pos_ += step_;
  if (pos_ > rangeMax_ || pos_ < 0) pos_ -= rangeMax_;  // starts over from the beginning
}

void DlgSystrayProgress::Hide() { visible_ = false; }

SystrayProgressScope::SystrayProgressScope(DlgSystrayProgress* popup, std::string_view text, int steps) {
  std::uint32_t disabled = 0;
  ReadSettingDword("Gen_DisableSystrayProgress", disabled);
  if (disabled != 0 || popup == nullptr) return;
  popup_ = popup;
  PumpMessages();
  popup_->ShowAtTray(text, steps);
  PumpMessages();
}

SystrayProgressScope::~SystrayProgressScope() {
  if (popup_ == nullptr) return;
  PumpMessages();
  popup_->Hide();
  PumpMessages();
}

void SystrayProgressScope::Step() {
  if (popup_ == nullptr) return;
  PumpMessages();
  popup_->StepIt();
  PumpMessages();
}
