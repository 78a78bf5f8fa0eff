#include "driver/systray_progress.h"

#include <cstdint>

#include "common/settings.h"
#include "platform/window/wait.h"
#include "platform/window/window.h"
#include "platform/ui/host.h"

namespace driver {

namespace {

const platform::DialogTemplate& SystrayProgressTemplate() {
  using namespace platform::layout;
  static const platform::DialogTemplate t = [] {
    platform::DialogTemplate made = platform::MakeTemplate(
        DlgSystrayProgress::kTemplateId, "",
        Row({Picture(platform::IDC_STATIC, "multimedia-player"),
             Column({Text("Connecting...", DlgSystrayProgress::kTextId).Width(30),
                     Progress(DlgSystrayProgress::kProgressId)})
                 .Expand()}),
        platform::kFrameThick);
    made.width = DlgSystrayProgress::kWidth;
    made.height = DlgSystrayProgress::kHeight;
    return made;
  }();
  return t;
}

}  // namespace

DlgSystrayProgress::DlgSystrayProgress() : Dialog(SystrayProgressTemplate()) { Create(0); }

DlgSystrayProgress::~DlgSystrayProgress() {
  Hide();
  DestroyWindow();
}

platform::ProgressControl* DlgSystrayProgress::Bar() const {
  return dynamic_cast<platform::ProgressControl*>(GetDlgItem(kProgressId));
}

int DlgSystrayProgress::GetPos() const {
  platform::ProgressControl* bar = Bar();
  return bar != nullptr ? bar->GetPos() : 0;
}

int DlgSystrayProgress::GetRangeMax() const {
  platform::ProgressControl* bar = Bar();
  return bar != nullptr ? bar->GetRangeMax() : 0;
}

void DlgSystrayProgress::PlaceAtTray(const platform::Rect& bar, int width, int height, int* x, int* y) {
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
  SetDlgItemText(kTextId, std::string(text));
  const platform::Rect here = GetWindowRect();
  int x = 0, y = 0;
  PlaceAtTray(platform::CurrentHost().GetTaskbarRect(), here.Width(), here.Height(), &x, &y);
  SetWindowPos(platform::HWND_TOPMOST, x, y, 0, 0, platform::SWP_NOSIZE);
  if (platform::ProgressControl* bar = Bar()) {
    bar->SetRange32(0, steps);
    bar->SetStep(1);
    bar->SetPos(0);
  }
  ShowWindow(platform::SW_SHOW);
  ++shows_;
}

void DlgSystrayProgress::StepIt() {
  if (platform::ProgressControl* bar = Bar()) bar->StepIt();
}

void DlgSystrayProgress::Hide() { ShowWindow(platform::SW_HIDE); }

SystrayProgressScope::SystrayProgressScope(DlgSystrayProgress* popup, std::string_view text, int steps) {
  std::uint32_t disabled = 0;
  ReadSettingDword("Gen_DisableSystrayProgress", disabled);
  if (disabled != 0 || popup == nullptr) return;
  popup_ = popup;
  platform::PumpMessages();
  popup_->ShowAtTray(text, steps);
  platform::PumpMessages();
}

SystrayProgressScope::~SystrayProgressScope() {
  if (popup_ == nullptr) return;
  platform::PumpMessages();
  popup_->Hide();
  platform::PumpMessages();
}

void SystrayProgressScope::Step() {
  if (popup_ == nullptr) return;
  platform::PumpMessages();
  popup_->StepIt();
  platform::PumpMessages();
}

}  // namespace driver
