// CFieldSwapDlg: picks two of the seven tag fields (tools/tag_fields.h) for the copy and
// swap commands. It only answers the two field numbers; the caller copies or swaps with
// CopyTagField / SwapTagFields.
#pragma once

#include <string>

#include "platform/ui/ui_window.h"

namespace tools {

class CFieldSwapDlg : public platform::Dialog {
 public:
  static constexpr int kTemplateId = 552;
  static constexpr int kFirstFieldId = 1119;
  static constexpr int kSecondFieldId = 1120;
  static constexpr int kFirstLabelId = 1121;
  static constexpr int kSecondLabelId = 1122;

  // The window's caption and the two labels ("Swap this field..." / "with this field:"
  // in the template) are the caller's.
  CFieldSwapDlg(std::string caption, std::string firstLabel, std::string secondLabel, platform::HWND parent = 0);

  int firstField = 0;   // 0 artist .. 6 comment
  int secondField = 1;

  bool OnInitDialog() override;
  void DoDataExchange(platform::DataExchange& dx) override;

 private:
  std::string caption_, firstLabel_, secondLabel_;
};

const platform::DialogTemplate& FieldSwapTemplate();

}  // namespace tools
