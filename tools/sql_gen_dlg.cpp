#include "tools/sql_gen_dlg.h"

#include "common/folders.h"
#include "common/identity.h"
#include "common/settings.h"
#include "common/shell_utilities.h"
#include "device/kernel_device_client.h"
#include "platform/paths/paths.h"
#include "platform/ui/data_exchange.h"
#include "platform/ui/desktop.h"
#include "platform/ui/host.h"
#include "sql/jukebox_tables.h"
#include "sql/result.h"
#include "sql/select.h"
#include "sql/small_parser.h"
#include "sql/sql_exception.h"

using namespace device;
using namespace sql;

namespace tools {

using namespace platform::layout;

namespace {

using P = CSQLGenDlg;

const char* const kFormats[] = {"Comma-Separated (txt)", "Tab-Delimited (txt)", "HTML Table (html)",
                                "XML Document (xml)"};

}  // namespace

const platform::DialogTemplate& SqlGenTemplate() {
  // The help texts' lines are broken where they read best; the texts are the page's own.
  static const platform::DialogTemplate t = platform::MakeTemplate(
      P::kTemplateId, "Content Reports",
      Column({Text("Type an SQL Query here:"), Edit(P::kQueryId).Width(70).Label("SQL Query"),
              Row({Text("Report Output Format:"), Combo(P::kFormatId).DropDownList().Width(22),
                   Button(P::kGenerateId, "Generate Report"), Button(P::kDefaultTracklistId, "Make Default Tracklist")}),
              Row({Group("Tables", {Text("audio:\tAudio tracks on Jukebox.\ndata:\tData files on Jukebox.\n"
                                         "playlist:\tPlaylists on Jukebox.\nplitem:\tDistinct playlist items.")}),
                   Group("Fields", {Text("audio:\nid, artist, album, tracknum, title, genre,\nyear, comment, length, "
                                         "bitrate, size, codec, locked"),
                                    Text("data:\nid, name, size"), Text("playlist:\nid, name"),
                                    Text("plitem:\nid, plid, pos, aid")}),
                   Group("Operators", {Text("+, -, /, *, <>, =, !=,\n<, >, <=, >=, AND, OR,\nIS NULL, IS NOT NULL")})}),
              Text("String literals must be single-quoted.  String comparisons are case-insensitive."),
              Row({Button(P::kHelpId, "More SQL Help and Examples")})}),
      platform::kFrameChild);
  return t;
}

CSQLGenDlg::CSQLGenDlg(KernelDevice* device) : PropertyPage(SqlGenTemplate()), device_(device) {
  ReadSettingString("SQL_LastQuery", query);
  HandleCommand(kGenerateId, [this] { OnGenerateReport(); });
  HandleCommand(kDefaultTracklistId, [this] { OnMakeDefaultTracklist(); });
  HandleCommand(kHelpId, [this] { OnMoreHelp(); });
}

bool CSQLGenDlg::OnInitDialog() {
  for (const char* f : kFormats) List(kFormatId).AddString(f);
  const bool focus = PropertyPage::OnInitDialog();
  List(kFormatId).SetCurSel(kHtmlFormat);
  return focus;
}

void CSQLGenDlg::DoDataExchange(platform::DataExchange& dx) {
  dx.ComboText(kFormatId, format);
  dx.Text(kQueryId, query);
}

std::string CSQLGenDlg::DefaultTracklistQuery(int variantCode) {
  if (variantCode == 4) {
    return "SELECT artist, album, tracknum, title, codec, length, size, bitrate, year, genre, composer, rating, "
           "playcount, comment, locked FROM audio ORDER BY artist, album, tracknum, title";
  }
  return "SELECT artist, album, tracknum, title, codec, length, size, bitrate, year, genre, comment, locked FROM "
         "audio ORDER BY artist, album, tracknum, title";
}

std::pair<std::string, char> CSQLGenDlg::ReportFileOf(const std::string& formatText) {
  static const struct {
    const char* word;
    const char* file;
    char mode;
  } kTable[] = {{"Comma", "sqlout.txt", 'c'}, {"Delim", "sqlout.txt", 't'}, {"HTML", "sqlout.html", 'h'},
                {"XML", "sqlout.xml", 'x'}};
  for (const auto& row : kTable) {
    if (formatText.find(row.word) != std::string::npos) return {row.file, row.mode};
  }
  return {"sqlout.txt", 0};
}

void CSQLGenDlg::OnGenerateReport() {
  if (!UpdateData(true)) return;
  WriteSettingString("SQL_LastQuery", query);
  const auto [file, mode] = ReportFileOf(format);
  std::string path;
  GetWorkFolder(path, "reports");
  path += file;
  // The earlier report stays until a new one is whole: a failed query leaves it.
  try {
    CSmallParser parser;
    parser.Parse(query);
    if (parser.GetStatementType() != CSmallParser::kSelect) {
      ShowInformation("Only SELECT statements are supported in this version.");
      return;
    }
    CTableSourceJukebox tables(device_);
    CSelectStatement statement(query, parser.GetStatement(), &tables);
    CResultTable result;
    {
      platform::WaitCursor wait;
      statement.Build();
      statement.Execute(result);
    }
    CStringReportSink report;
    result.Write(mode, report, statement.GetColumnNames(), query);
    if (!ReplaceFileBytes(path, report.Text())) {
      ShowInformation("Could not create the output file.");
      return;
    }
  } catch (const COmbrixSQLException& e) {
    ShowInformation("The SQL engine encountered a problem:\n\n" + e.GetDescription());
    return;
  } catch (const platform::sqlparser::SyntaxError& e) {
    ShowInformation(std::string("Could not perform query.\n\n") + e.what());
    return;
  } catch (const std::exception& e) {
    KernelDeviceClient::ReportError("Could not perform query.", e);
    return;
  }
  ShellOpenFile(path);
}

void CSQLGenDlg::OnMakeDefaultTracklist() {
  query = DefaultTracklistQuery(g_ProductIdentity.variantCode);
  SetDlgItemText(kQueryId, query);
  List(kFormatId).SetCurSel(kHtmlFormat);
  OnGenerateReport();
}

void CSQLGenDlg::OnMoreHelp() {
  std::string address;
  ReadSettingString("URL_Help", address);
  ReadSettingString("URL_HelpSQL", address);
  if (!address.empty()) ShellOpenFile(address);
}

}  // namespace tools
