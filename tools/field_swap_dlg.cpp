#include "tools/field_swap_dlg.h"

#include "platform/ui/data_exchange.h"
#include "platform/ui/host.h"
#include "tools/tag_fields.h"

namespace tools {

using namespace platform::layout;

const platform::DialogTemplate& FieldSwapTemplate() {
  using D = CFieldSwapDlg;
  static const platform::DialogTemplate t = platform::MakeTemplate(
      D::kTemplateId, "Swap Tag Fields",
      Column({Text("Swap this field...", D::kFirstLabelId).Width(30), Combo(D::kFirstFieldId).DropDownList().Width(20),
              Text("with this field:", D::kSecondLabelId).Width(30), Combo(D::kSecondFieldId).DropDownList().Width(20),
              Buttons({DefaultButton(platform::IDOK, "OK"), Button(platform::IDCANCEL, "Cancel")})}));
  return t;
}

CFieldSwapDlg::CFieldSwapDlg(std::string caption, std::string firstLabel, std::string secondLabel,
                             platform::HWND parent)
    : Dialog(FieldSwapTemplate(), parent),
      caption_(std::move(caption)),
      firstLabel_(std::move(firstLabel)),
      secondLabel_(std::move(secondLabel)) {}

bool CFieldSwapDlg::OnInitDialog() {
  for (int id : {kFirstFieldId, kSecondFieldId}) {
    platform::ListControl& combo = List(id);
    for (int code = 0; code < kTagFieldCount; ++code) combo.AddString(TagFieldName(code));
  }
  SetWindowText(caption_);
  SetDlgItemText(kFirstLabelId, firstLabel_);
  SetDlgItemText(kSecondLabelId, secondLabel_);
  return Dialog::OnInitDialog();
}

void CFieldSwapDlg::DoDataExchange(platform::DataExchange& dx) {
  dx.ListIndex(kFirstFieldId, firstField);
  dx.ListIndex(kSecondFieldId, secondField);
}

}  // namespace tools
