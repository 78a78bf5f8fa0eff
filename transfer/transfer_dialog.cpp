// The transfer window: its template, the progress it shows and the notices it receives.
// The engine's steps are in transfer_engine.cpp.
#include "transfer/transfer_dialog.h"


#include <algorithm>
#include <cstdio>

#include "common/identity.h"
#include "common/last_transfer.h"
#include "common/settings.h"
#include "device/messages.h"
#include "platform/kernel/kernel.h"
#include "platform/ui/data_exchange.h"
#include "platform/ui/desktop.h"
#include "platform/ui/host.h"
#include "platform/ui/menu.h"
#include "platform/window/wait.h"
#include "transfer/expansion.h"
#include "transfer/file_path.h"

using namespace device;

namespace transfer {

using namespace platform::layout;

namespace {

// Conversion progress travels from the job's thread to the window as this message:
// wParam the state, lParam the value (high half) and the maximum (low half).
constexpr platform::UINT WM_CONVERSIONPROGRESS = platform::WM_APP + 0x51;

std::string MinutesSeconds(std::uint64_t seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%d:%02d", static_cast<int>(seconds / 60), static_cast<int>(seconds % 60));
  return text;
}

}  // namespace

// Serves the thread's messages until one arrives or `ms` pass: the wait ends as soon as
// the device's notice (a sent message) or a person's action comes in.
void WaitForMessages(int ms) {
  // A toolkit's own events do not end the wait: they are looked at every 20 ms.
  platform::WaitForInput(static_cast<platform::DWORD>(std::clamp(ms, 0, 20)));
  platform::PumpMessages(0);
}

const platform::DialogTemplate& TransferDialogTemplate() {
  using D = CTransferDialog;
  static const platform::DialogTemplate t = platform::MakeTemplate(
      D::kTemplateId, "Transfer Manager",
      Column({Text("", D::kSecondTitleId).Width(64),
              Text("Setting up transfer...", D::kStatusId).Width(64),
              Progress(D::kFileProgressId),
              Text("", D::kProcessingId).Width(64),
              Progress(D::kRunProgressId),
              // Two columns, so that the numbers line up.
              Group("Results", {Row({Column({Text("Files transferred:"), Text("Skipped, tags incomplete:"),
                                             Text("Skipped, already on the player:"), Text("Tags filled automatically:"),
                                             Text("Playlists created:")}),
                                     Column({Text("0", D::kTransferredId).Width(8), Text("0", D::kSkippedTagsId).Width(8),
                                             Text("0", D::kSkippedExistingId).Width(8),
                                             Text("0", D::kAutoFilledId).Width(8), Text("0", D::kPlaylistsId).Width(8)})})}),
              // The rate's label holds "99999.99 Mbit/s" on one line.
              Row({Text("Throughput:"), Progress(D::kRateBarId).Expand(), Text("0.00 Mbit/s", D::kRateId).Width(18)}),
              Row({Text("Elapsed:"), Text("0:00", D::kElapsedId).Width(8), Text("Remaining:"),
                   Text("--:--", D::kRemainingId).Width(8)}),
              Buttons({Button(D::kCancelId, "Cancel"), Button(D::kViewLogsId, "View Logs").Disabled(),
                       Button(D::kCompareId, "Compare to Other Users").Disabled(),
                       Button(D::kPostResultsId, "Post Your Results").Disabled(),
                       Button(D::kCloseId, "Close").Disabled()})}),
      platform::kFrameCaption | platform::kFrameSystemMenu);
  return t;
}

CTransferDialog::CTransferDialog(KernelDevice& device, TransferShell* shell, platform::HWND parent)
    : Dialog(TransferDialogTemplate(), parent), device_(device), shell_(shell) {
  if (shell_ == nullptr) {
    ownShell_ = std::make_unique<TransferShell>();
    shell_ = ownShell_.get();
  }
  const auto progress = [this](platform::WPARAM w, platform::LPARAM) -> platform::LRESULT {
    return OnUploadProgress(static_cast<int>(w));
  };
  const auto done = [this](platform::WPARAM w, platform::LPARAM l) -> platform::LRESULT {
    OnUploadDone(static_cast<std::uint32_t>(w), static_cast<int>(l));
    return 0;
  };
  HandleMessage(WM_UPLOADPROGRESS, progress);
  HandleMessage(WM_DOWNLOADPROGRESS, progress);
  HandleMessage(WM_UPLOADDONE, done);
  HandleMessage(WM_DOWNLOADDONE, done);
  HandleMessage(WM_CONVERSIONPROGRESS, [this](platform::WPARAM w, platform::LPARAM l) -> platform::LRESULT {
    const int value = static_cast<int>(static_cast<std::uint64_t>(l) >> 32);
    const int maximum = static_cast<int>(static_cast<std::uint32_t>(l));
    if (fileBar_ == nullptr) return 0;
    if (w == kConversionStarted) fileBar_->SetRange32(0, maximum);
    if (w == kConversionProgress) fileBar_->SetPos(value);
    if (w == kConversionDone) fileBar_->SetPos(maximum);
    convPercent_ = w == kConversionProgress ? value : w == kConversionDone ? 100 : convPercent_;
    ShowConversion();
    return 0;
  });
  HandleCommand(kCancelId, [this] { OnCancelButton(); });
  HandleCommand(kCloseId, [this] { closed_ = true; });
  HandleCommand(kViewLogsId, [this] { OnViewLogs(); });
  HandleCommand(kCompareId, [this] { OpenSpeedComparison(); });
  HandleCommand(kPostResultsId, [this] { PostSpeedResult(); });
  const std::pair<int, const char*> logs[] = {{kMenuTransferLog, "_txlog.txt"},
                                              {kMenuBuildLog, "_exlog.txt"},
                                              {kMenuFileList, "_explist.txt"},
                                              {kMenuWriteBackLog, "_twblog.txt"}};
  for (const auto& [id, file] : logs) {
    const std::string name = file;
    HandleCommand(id, [name] { OpenLogFile(name); });
  }
  HandleDropFiles([this](const std::vector<std::string>& paths, platform::Point) { AddFiles(paths); });
}

CTransferDialog::~CTransferDialog() {
  if (conversionCancel_) conversionCancel_->store(true);
  DestroyWindow();
}

void CTransferDialog::DoDataExchange(platform::DataExchange& dx) {
  dx.Bind(kFileProgressId, fileBar_);
  dx.Bind(kRunProgressId, runBar_);
  dx.Bind(kRateBarId, rateBar_);
  if (!dx.IsSaving()) dx.Text(kRateId, rateText_);
}

bool CTransferDialog::OnInitDialog() {
  rateText_ = "0.00 Mbit/s";
  const bool focus = Dialog::OnInitDialog();
  fileBar_->SetRange32(0, 100);
  runBar_->SetRange32(0, 1000);
  rateBar_->SetRange32(0, 50);
  DragAcceptFiles(true);
  return focus;
}

void CTransferDialog::OnDestroy() {
  fileBar_ = runBar_ = rateBar_ = nullptr;
}

void CTransferDialog::AddFiles(const std::vector<std::string>& paths) {
  // Dropped names are expanded like sent ones; their folders may become playlists too.
  std::vector<std::string> found;
  if (!paths.empty()) {
    ListExpansion walk(nullptr, SplitFilePath(paths.front()).Folder(), found, dropRoots_, 0);
    walk.ExpandPaths(0, paths, 1);
  }
  for (const std::string& f : found) fileList_.push_back(f);
  fileCount_ += static_cast<int>(found.size());
}

void CTransferDialog::BeginRun(const std::string& title, const std::string& secondLine, int fileCount) {
  cancelled_ = stop_ = false;
  stopReason_.clear();
  unsent_ = 0;
  title_ = title;
  if (!IsOpen()) return;
  SetWindowText(title);
  SetDlgItemText(kSecondTitleId, secondLine);
  processed_ = 0;
  fileCount_ = fileCount;
  SetForegroundWindow();
  EnableDlgItem(kCancelId, true);
  SetDlgItemText(kCancelId, "Cancel");
  SetDlgItemText(kStatusId, "Setting up transfer...");
  fileBar_->SetRange32(0, 100);
  fileBar_->SetPos(0);
  runBar_->SetRange32(0, 1000);
  runBar_->SetPos(0);
  char text[64];
  std::snprintf(text, sizeof text, "Processing file %d/%d.", 1, fileCount);
  SetDlgItemText(kProcessingId, text);
  closed_ = false;
  completed_ = skipped_ = existing_ = autoFilled_ = playlistsCreated_ = 0;
  totalBytes_ = totalMs_ = 0;
  fileSize_ = 0;
  rateTimes100_ = 0;
  sentIds_.clear();
  savedIds_ = 0;
  lastSave_ = 0;
  sentTracks_.clear();
  rateBar_->SetRange32(0, 50);
  rateBar_->SetPos(0);
  platform::PumpMessages(0);
}

void CTransferDialog::ShowCounters() {
  if (!IsOpen()) return;
  SetDlgItemText(kTransferredId, std::to_string(completed_));
  SetDlgItemText(kSkippedTagsId, std::to_string(skipped_));
  SetDlgItemText(kSkippedExistingId, std::to_string(existing_));
  SetDlgItemText(kAutoFilledId, std::to_string(autoFilled_));
  SetDlgItemText(kPlaylistsId, std::to_string(playlistsCreated_));
}

void CTransferDialog::SetCurrentFile(const std::string& name) {
  if (!IsOpen()) return;
  SetDlgItemText(kStatusId, name);
  ShowCounters();
  fileBar_->SetPos(0);
  platform::PumpMessages(0);
}

int CTransferDialog::OnUploadProgress(int percent) {
  if (cancelled_ && !deviceGone_ && device_.SupportsPlayback() != 0) return -1;
  if (!IsOpen()) return 0;
  fileBar_->SetPos(percent);
  const int count = std::max(fileCount_, processed_);
  const double fraction = RunFraction(percent);
  runBar_->SetPos(static_cast<int>(fraction * 1000));
  char text[600];
  std::snprintf(text, sizeof text, "%d%% %s", static_cast<int>(fraction * 100), title_.c_str());
  SetWindowText(text);
  std::snprintf(text, sizeof text, "Processing file %d/%d.", processed_, count);
  SetDlgItemText(kProcessingId, text);

  const std::uint64_t now = platform::GetTickCount64();
  const double bytes = static_cast<double>(totalBytes_) + percent * 0.01 * static_cast<double>(fileSize_);
  const std::uint64_t seconds = (totalMs_ + (fileStart_ != 0 ? now - fileStart_ : 0)) / 1000;
  const double rate = seconds != 0 ? bytes / static_cast<double>(seconds) * 8e-6 : 0.0;
  rateTimes100_ = static_cast<std::int64_t>(rate * 100);
  ShowRate(rate);
  ShowTimes(fraction, now);
  platform::PumpMessages(0);
  return 0;
}

double CTransferDialog::RunFraction(int percent) const {
  // Files added during the run count in the total, and the fraction stays within 1.
  const int count = std::max(fileCount_, processed_);
  const double fraction = count > 0 ? ((processed_ - 1) * 100.0 + percent) / (count * 100.0) : 0.0;
  return std::clamp(fraction, 0.0, 1.0);
}

void CTransferDialog::ShowRate(double mbps) {
  char text[64];
  std::snprintf(text, sizeof text, "%.02f Mbit/s", mbps);
  rateText_ = text;
  SetDlgItemText(kRateId, rateText_);
  rateBar_->SetPos(static_cast<int>(mbps));
}

void CTransferDialog::ShowTimes(double fraction, std::uint64_t now) {
  const std::uint64_t elapsed = (now - runStart_) / 1000;
  SetDlgItemText(kElapsedId, MinutesSeconds(elapsed));
  // Before any of the run is done nothing can be foretold, and a stopped run has nothing
  // left to wait for.
  SetDlgItemText(kRemainingId, fraction > 0.0 && !cancelled_ ? MinutesSeconds(static_cast<std::uint64_t>(
                                                    static_cast<double>(elapsed) / fraction - static_cast<double>(elapsed)))
                                              : "--:--");
}

void CTransferDialog::BeginConversion(std::uint64_t sourceBytes) {
  convStart_ = platform::GetTickCount64();
  convBytes_ = sourceBytes;
  convPercent_ = 0;
  ShowConversion();
}

void CTransferDialog::ShowConversion() {
  if (!IsOpen() || fileBar_ == nullptr) return;
  const std::uint64_t now = platform::GetTickCount64();
  convShown_ = now;
  const double seconds = static_cast<double>(now - convStart_) / 1000;
  // How fast the file goes through the job; the speed report keeps the sending rate.
  ShowRate(seconds > 0 ? static_cast<double>(convBytes_) * convPercent_ / 100 * 8e-6 / seconds : 0.0);
  ShowTimes(RunFraction(0), now);
}

void CTransferDialog::OnUploadDone(std::uint32_t item, int result) {
  waiting_ = false;
  currentId_ = item;
  doneResult_ = result;
  // A failed file has no item; its id would name nothing in the last transfer's list.
  if (result == 0 && item != 0) sentIds_.push_back(item);
}

void CTransferDialog::SaveLastTransfer(bool force) {
  const std::uint64_t now = platform::GetTickCount64();
  if (!force && (sentIds_.size() == savedIds_ || now - lastSave_ < 1000)) return;
  // The record is this computer's: a manager gone by now (the id is asked at the start of
  // a run) must not turn saving it into a second error.
  if (deviceUniqueId_.empty() && !deviceGone_) {
    try {
      deviceUniqueId_ = device_.GetDeviceUniqueId();
    } catch (const std::exception&) {
      deviceGone_ = true;
    }
  }
  if (deviceUniqueId_.empty()) return;
  WriteLastTransfer(deviceUniqueId_, sentIds_);
  savedIds_ = sentIds_.size();
  lastSave_ = now;
}

void CTransferDialog::OnCancelButton() {
  cancelled_ = stop_ = true;
  if (conversionCancel_) conversionCancel_->store(true);
  if (!IsOpen()) return;
  SetDlgItemText(kCancelId, "Wait...");
  EnableDlgItem(kCancelId, false);
  platform::PumpMessages(0);
}

void CTransferDialog::OnViewLogs() {
  platform::Menu menu;
  menu.Append(platform::MF_STRING, kMenuTransferLog, "Transfer Log");
  menu.Append(platform::MF_STRING, kMenuBuildLog, "Filelist Build Log");
  menu.Append(platform::MF_STRING, kMenuFileList, "Transfer Filelist");
  menu.Append(platform::MF_STRING, kMenuWriteBackLog, "Tag WriteBack Log");
  const platform::Point at = platform::GetCursorPos();
  platform::TrackPopupMenu(menu, platform::TPM_RIGHTBUTTON, at.x, at.y, GetSafeHwnd());
}

void CTransferDialog::FinishRun(int autoClose) {
  if (!IsOpen()) return;
  SetWindowPos(platform::HWND_TOPMOST, 0, 0, 0, 0, platform::SWP_NOMOVE | platform::SWP_NOSIZE);
  SetDlgItemText(kStatusId, "");
  fileBar_->SetRange32(0, 100);
  if (cancelled_) {
    // A stopped run says so and what it did: the files the player took, and those it
    // never got (not reached, or stopped while being copied).
    const int count = std::max(fileCount_, processed_);
    const int left = static_cast<int>(fileList_.size()) + unsent_;
    char text[200];
    std::snprintf(text, sizeof text, "%s: %d of %d files sent, %d not sent.",
                  stopReason_.empty() ? "Transfer cancelled" : ("Transfer stopped, " + stopReason_).c_str(),
                  completed_, count, left);
    SetDlgItemText(kProcessingId, text);
    SetDlgItemText(kRemainingId, "--:--");
  } else {
    SetDlgItemText(kProcessingId, "Processing complete.");
    SetDlgItemText(kRemainingId, MinutesSeconds(0));
    runBar_->SetPos(1000);
    fileBar_->SetPos(100);
  }
  // The button no longer waits for anything.
  SetDlgItemText(kCancelId, "Cancel");
  EnableDlgItem(kCancelId, false);
  EnableDlgItem(kCloseId, true);
  EnableDlgItem(kViewLogsId, true);
  EnableDlgItem(kCompareId, true);
  EnableDlgItem(kPostResultsId, g_ProductIdentity.variantCode == 1);
  SetWindowText(!cancelled_ ? "Transfer complete." : stopReason_.empty() ? "Transfer cancelled." : "Transfer stopped.");
  ShowCounters();
  FlashWindow();

  std::uint32_t autoSetting = 0, stayOnSkips = 0;
  ReadSettingDword("Gen_Tx_AutoCloseDialog", autoSetting);
  ReadSettingDword("Gen_Tx_DialogStayOpenOnSkips", stayOnSkips);
  if (autoClose != 0 || autoSetting != 0) {
    if (!(stayOnSkips == 1 && skipped_ + existing_ > 0)) return;
  }
  // A host that shows no windows has nobody to press Close.
  if (dynamic_cast<platform::ConsoleHost*>(&platform::CurrentHost()) != nullptr) return;
  while (!closed_ && IsOpen()) WaitForMessages(50);
}

void CTransferDialog::ConversionProgress(void* dialog, int state, int value, int maximum) {
  auto* self = static_cast<CTransferDialog*>(dialog);
  if (state == kConversionFailed) self->conversionError_.store(value);
  const platform::LPARAM packed = static_cast<platform::LPARAM>((static_cast<std::uint64_t>(static_cast<std::uint32_t>(value)) << 32) |
                                                                 static_cast<std::uint32_t>(maximum));
  if (state != kConversionFailed) platform::PostMessage(self->GetSafeHwnd(), WM_CONVERSIONPROGRESS, state, packed);
  // The job's last report: from here on it touches nothing of ours.
  if (state == kConversionDone || state == kConversionFailed) self->busy_.store(false);
}

}  // namespace transfer
