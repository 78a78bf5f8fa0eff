// The two dialogs that ask for a track search: a word looked for in artist, album, title
// and genre (CSearchSimpleDlg), or a condition in the query language with a crib of its
// fields, operators and examples (CSearchDlg, "Advanced Search"). Each only returns its
// text; the search commands build and run the statement.
#pragma once

#include <string>

#include "platform/ui/ui_window.h"

namespace tools {

class CSearchSimpleDlg : public platform::Dialog {
 public:
  static constexpr int kTemplateId = 590;
  static constexpr int kTextId = 1100;

  explicit CSearchSimpleDlg(platform::HWND parent = 0);

  std::string text;  // the word; set before the run to prefill it, read after OK

  void DoDataExchange(platform::DataExchange& dx) override;
};

class CSearchDlg : public platform::Dialog {
 public:
  static constexpr int kTemplateId = 547;
  static constexpr int kConditionId = 1036;
  static constexpr int kMoreFieldsId = 1244;  // the fields only some products' tracks carry

  explicit CSearchDlg(platform::HWND parent = 0);

  std::string condition;

  // Shows the extra fields for the product whose tracks carry them (variant 4).
  bool OnInitDialog() override;
  void DoDataExchange(platform::DataExchange& dx) override;
};

const platform::DialogTemplate& SearchSimpleTemplate();
const platform::DialogTemplate& SearchTemplate();

}  // namespace tools
