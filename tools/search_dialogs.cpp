#include "tools/search_dialogs.h"

#include "common/identity.h"
#include "platform/ui/data_exchange.h"
#include "platform/ui/host.h"

namespace tools {

using namespace platform::layout;

const platform::DialogTemplate& SearchSimpleTemplate() {
  static const platform::DialogTemplate t = platform::MakeTemplate(
      CSearchSimpleDlg::kTemplateId, "Simple Search",
      Column({Text("This finds matches in Artist, Album, Title, or Genre fields."),
              Edit(CSearchSimpleDlg::kTextId).Width(40).Label("Search for"),
              Buttons({DefaultButton(platform::IDOK, "Search"), Button(platform::IDCANCEL, "Cancel")})}));
  return t;
}

const platform::DialogTemplate& SearchTemplate() {
  // The crib's lines are broken where they read best; the texts are the dialog's own.
  static const platform::DialogTemplate t = platform::MakeTemplate(
      CSearchDlg::kTemplateId, "Advanced Search",
      Column({Edit(CSearchDlg::kConditionId).Width(64).Label("Condition"),
              Row({Group("Fields", {Text("id, artist, album, tracknum,\ntitle, genre, year, comment,\nlength, bitrate, size, "
                                         "codec, locked"),
                                    Text("composer, rating, playcount", CSearchDlg::kMoreFieldsId).Hidden()}),
                   Group("Operators", {Text("+, -, /, *, <>, =, !=, <, >,\n<=, >=, AND, OR\n? (contains)\n"
                                            "# (does not contain)")}),
                   Group("Examples", {Text("(Please single-quote strings.)\nartist='beatles' AND length < 300\n"
                                           "genre='rock' OR genre='classical' AND year=1995")})}),
              Buttons({DefaultButton(platform::IDOK, "Search"), Button(platform::IDCANCEL, "Cancel")})}));
  return t;
}

CSearchSimpleDlg::CSearchSimpleDlg(platform::HWND parent) : Dialog(SearchSimpleTemplate(), parent) {}

void CSearchSimpleDlg::DoDataExchange(platform::DataExchange& dx) { dx.Text(kTextId, text); }

CSearchDlg::CSearchDlg(platform::HWND parent) : Dialog(SearchTemplate(), parent) {}

bool CSearchDlg::OnInitDialog() {
  const bool focus = Dialog::OnInitDialog();
  ShowDlgItem(kMoreFieldsId, g_ProductIdentity.variantCode == 4);
  return focus;
}

void CSearchDlg::DoDataExchange(platform::DataExchange& dx) { dx.Text(kConditionId, condition); }

}  // namespace tools
