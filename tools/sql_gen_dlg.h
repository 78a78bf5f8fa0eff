// CSQLGenDlg, the "Content Reports" page of the logs and reports sheet: a SELECT over the
// player's catalogue, run by the SQL engine in this process, written as a comma- or
// tab-separated text, an HTML table or an XML document in the work folder "reports",
// and opened with the desktop's handler for its type.
#pragma once

#include <string>

#include "device/kernel_device.h"
#include "platform/ui/property_sheet.h"

namespace tools {

class CSQLGenDlg : public platform::PropertyPage {
 public:
  static constexpr int kTemplateId = 545;
  static constexpr int kFormatId = 1035;
  static constexpr int kQueryId = 1036;
  static constexpr int kDefaultTracklistId = 1037;
  static constexpr int kGenerateId = 1038;
  static constexpr int kHelpId = 1046;
  static constexpr int kHtmlFormat = 2;

  // The query text starts as the last one (`SQL_LastQuery`). The device's tables are read.
  explicit CSQLGenDlg(device::KernelDevice* device);

  std::string query;
  std::string format;  // the selected format's text

  // Fills the formats and selects "HTML Table (html)".
  bool OnInitDialog() override;
  void DoDataExchange(platform::DataExchange& dx) override;

  // Stores the query, runs it and writes and opens the report; failures are shown.
  void OnGenerateReport();
  // The canned list of every track, as an HTML table.
  void OnMakeDefaultTracklist();
  // Opens the help address (`URL_Help`, or `URL_HelpSQL` when set).
  void OnMoreHelp();

  // The canned query of the product (variant 4 lists composer, rating and play count).
  static std::string DefaultTracklistQuery(int variantCode);
  // The report's file name and the writer's mode for a format's text; the mode is 0 when
  // the text names no format.
  static std::pair<std::string, char> ReportFileOf(const std::string& formatText);

 private:
  device::KernelDevice* device_;
};

const platform::DialogTemplate& SqlGenTemplate();

}  // namespace tools
