// The log viewer page of the "Logs and Reports" sheet: one button per log of the reports
// work folder, each opening its log with the desktop.
#pragma once

#include "platform/ui/property_sheet.h"

namespace options {

class CLogDlg : public platform::PropertyPage {
 public:
  static constexpr int kTemplateId = 548;

  struct LogButton {
    int id;
    const char* caption;
    const char* file;
  };
  static const LogButton kButtons[5];

  CLogDlg();
};

const platform::DialogTemplate& LogPageTemplate();

}  // namespace options
