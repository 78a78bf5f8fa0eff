#include "tools/name_dlg.h"

#include "platform/ui/data_exchange.h"
#include "platform/ui/host.h"
#include "platform/window/wait.h"

namespace shellext {

using namespace platform::layout;

const platform::DialogTemplate& NameDlgTemplate() {
  static const platform::DialogTemplate t = platform::MakeTemplate(
      CNameDlg::kTemplateId, "Name",
      Column({Edit(CNameDlg::kNameId).Width(40).Label("Name"),
              Buttons({DefaultButton(platform::IDOK, "OK"), Button(platform::IDCANCEL, "Cancel")})}));
  return t;
}

const platform::DialogTemplate& DeleteDialogTemplate() {
  static const platform::DialogTemplate t = platform::MakeTemplate(
      CDeleteDialog::kTemplateId, "Deleting...",
      Column({Text("Preparing to delete...", CDeleteDialog::kTextId).Width(40), Progress(CDeleteDialog::kProgressId)}),
      platform::kFrameCaption | platform::kFrameToolWindow);
  return t;
}

CNameDlg::CNameDlg(platform::HWND parent, const std::string& caption) : Dialog(NameDlgTemplate(), parent) {
  SetWindowText(caption);
}

void CNameDlg::DoDataExchange(platform::DataExchange& dx) { dx.Text(kNameId, name); }

CDeleteDialog::CDeleteDialog(platform::HWND parent) : Dialog(DeleteDialogTemplate(), parent) {}

CDeleteDialog::~CDeleteDialog() { Close(); }

void CDeleteDialog::DoDataExchange(platform::DataExchange& dx) {
  dx.Bind(kTextId, text);
  dx.Bind(kProgressId, progress);
}

void CDeleteDialog::Start(const std::string& title, int steps) {
  if (!IsOpen() && !Create(0)) return;  // no window: the work goes on without a pop-up
  SetWindowText(title);
  ShowWindow(platform::SW_SHOW);
  CenterWindow();
  SetWindowPos(platform::HWND_TOP, 0, 0, 0, 0, platform::SWP_NOMOVE | platform::SWP_NOSIZE);
  progress->SetRange32(0, steps);
  progress->SetStep(1);
  progress->SetPos(0);
  platform::PumpMessages(1);
}

void CDeleteDialog::Close() {
  if (!IsOpen()) return;
  ShowWindow(platform::SW_HIDE);
  DestroyWindow();
}

void CDeleteDialog::OnDestroy() {
  text = nullptr;
  progress = nullptr;
}

void CDeleteDialog::Step() {
  if (progress != nullptr) progress->StepIt();
}

void CDeleteDialog::SetItemText(const std::string& itemText) {
  if (text != nullptr) text->SetText(itemText);
}

}  // namespace shellext
