#include "tools/quodrel_edit_dialog.h"

#include <algorithm>

#include "common/folders.h"
#include "common/identity.h"
#include "common/settings.h"
#include "common/shell_utilities.h"
#include "common/short_hash.h"
#include "device/kernel_device_client.h"
#include "device/sortable.h"
#include "platform/text/text.h"
#include "platform/ui/data_exchange.h"
#include "platform/ui/desktop.h"
#include "platform/ui/host.h"
#include "tools/playlist_replace.h"

using namespace device;

namespace tools {

using namespace platform::layout;

namespace {

using D = QuodrelEditDialog;

const char* const kUnits[] = {"minutes", "hours", "tracks", "MB"};
const char* const kMatches[] = {"all", "any"};
const char* const kFields[] = {"Artist", "Album", "Track Number", "Track Title", "Genre",
                               "Year",   "Minutes", "Bitrate",    "Bytes"};
const char* const kOperators[] = {"contains",        "does not contain", "is equal to",
                                  "is not equal to", "is less than",     "is greater than"};
const char* const kOrders[] = {"randomly", "by artist/album/trackname"};

// The fields a product's tracks carry beyond the common ones.
std::vector<const char*> VariantFields(int variantCode) {
  if (variantCode == 4) return {"Composer", "Rating", "PlayCount"};
  if (variantCode == 7 || variantCode == 8) return {"Composer", "Rating"};
  return {};
}

platform::LayoutNode ConditionRow(int row) {
  return Row({Combo(D::kFieldIds[row]).DropDownList().Style(row > 0 ? std::uint32_t{platform::kStyleSorted} : std::uint32_t{0}).Width(16)
                  .Label("Field " + std::to_string(row + 1)),
              Combo(D::kOperatorIds[row]).DropDownList().Width(16).Label("Operator " + std::to_string(row + 1)),
              Edit(D::kValueIds[row]).Width(24).Label("Value " + std::to_string(row + 1))});
}

}  // namespace

const platform::DialogTemplate& QuodrelEditTemplate() {
  static const platform::DialogTemplate t = platform::MakeTemplate(
      D::kTemplateId, "Edit Quodrel:",
      Column({Text("This Quodrel should contain:"),
              Row({Edit(D::kLimitId).Number().Width(6).Label("This Quodrel should contain"),
                   Combo(D::kUnitId).DropDownList().Width(10).Label("Unit"), Text("of music...")}),
              Row({Text("...that matches"), Combo(D::kMatchId).DropDownList().Width(6).Label("Match"),
                   Text("of the following conditions:")}),
              ConditionRow(0), ConditionRow(1), ConditionRow(2),
              Row({Text("...and is sorted"), Combo(D::kOrderId).DropDownList().Width(24).Label("Order")}),
              Buttons({DefaultButton(platform::IDOK, "OK"), Button(platform::IDCANCEL, "Cancel")})}));
  return t;
}

QuodrelEditDialog::QuodrelEditDialog(KernelDevice* device, const KernelId& playlist, platform::HWND parent)
    : Dialog(QuodrelEditTemplate(), parent), device_(device), playlist_(playlist) {
  for (int row = 1; row < 3; ++row) {
    HandleCommand(kFieldIds[row], platform::CBN_SELCHANGE, [this, row] { OnSelChangeField(row); });
  }
}

bool QuodrelEditDialog::OnInitDialog() {
  try {
    listName_ = ListNameOf(device_->GetPlaylistName(playlist_));
  } catch (const std::exception& e) {
    KernelDeviceClient::ReportError("Could not read the Quodrel.", e);
    EndDialog(platform::IDCANCEL);
    return false;
  }
  SetWindowText("Edit Quodrel - " + listName_);
  auto fill = [this](int id, const auto& items) {
    for (const char* item : items) List(id).AddString(item);
  };
  fill(kUnitId, kUnits);
  fill(kMatchId, kMatches);
  fill(kOrderId, kOrders);
  for (int row = 0; row < 3; ++row) {
    if (row > 0) List(kFieldIds[row]).AddString(std::string(kNotUsed));
    fill(kFieldIds[row], kFields);
    fill(kFieldIds[row], VariantFields(g_ProductIdentity.variantCode));
    fill(kOperatorIds[row], kOperators);
  }
  LoadRule();
  Dialog::OnInitDialog();
  EnableRows();
  return true;
}

void QuodrelEditDialog::DoDataExchange(platform::DataExchange& dx) {
  dx.Int(kLimitId, rule.limit, 1, 9999);
  dx.ComboText(kUnitId, rule.unit);
  dx.ComboText(kMatchId, rule.match);
  for (int row = 0; row < 3; ++row) {
    dx.ComboText(kFieldIds[row], rule.field[row]);
    dx.ComboText(kOperatorIds[row], rule.op[row]);
    dx.Text(kValueIds[row], rule.value[row]);
  }
  dx.ComboText(kOrderId, rule.order);
  if (!dx.IsSaving()) return;
  // A rule file can name choices these lists do not hold: they show as nothing chosen,
  // and an empty choice would be stored as a record that never loads again.
  if (rule.unit.empty()) dx.Fail(kUnitId, "Please choose what the limit counts: minutes, hours, tracks or MB.");
  if (rule.match.empty()) dx.Fail(kMatchId, "Please choose whether all or any of the conditions must match.");
  for (int row = 0; row < 3; ++row) {
    if (rule.Uses(row) && rule.field[row].empty()) {
      dx.Fail(kFieldIds[row], "Please choose a field for condition " + std::to_string(row + 1) + ".");
    }
    if (rule.op[row].empty()) {
      if (rule.Uses(row)) dx.Fail(kOperatorIds[row], "Please choose an operator for condition " + std::to_string(row + 1) + ".");
      rule.op[row] = kOperators[0];  // a row not used keeps a valid operator in the record
    }
    if (auto problem = RuleValueProblem(rule, row)) dx.Fail(kValueIds[row], *problem);
  }
  if (rule.order.empty()) dx.Fail(kOrderId, "Please choose how the tracks are sorted.");
}

void QuodrelEditDialog::OnSelChangeField(int row) {
  rule.field[row] = List(kFieldIds[row]).GetText();
  EnableRows();
}

void QuodrelEditDialog::EnableRows() {
  for (int row = 1; row < 3; ++row) {
    const bool used = List(kFieldIds[row]).GetText() != kNotUsed;
    EnableDlgItem(kOperatorIds[row], used);
    EnableDlgItem(kValueIds[row], used);
  }
}

void QuodrelEditDialog::OnOK() {
  if (!UpdateData(true)) return;
  if (listName_.size() > kMaxListNameBytes) {
    ShowInformation("The name of this Quodrel is too long to keep its rule: a Quodrel's name can have at most " +
                    std::to_string(kMaxListNameBytes) + " bytes after \"" + std::string(kQuodrelPrefix) +
                    "\". Please give the playlist a shorter name.");
    return;
  }
  try {
    ApplyRule();
  } catch (const std::exception& e) {
    KernelDeviceClient::ReportError("Could not fill the Quodrel.", e);
    return;
  }
  SaveRule();
  EndDialog(platform::IDOK);
}

void QuodrelEditDialog::ApplyRule() {
  SortableKernelIdArray found(device_);
  {
    platform::WaitCursor wait;
    KernelId id;
    for (int more = device_->QueryFirst(RuleStatement(rule), id); more != 0; more = device_->QueryNext(id)) {
      found.push_back(id);
    }
  }
  if (found.empty()) {
    ShowInformation("Conditions produced no matches.");
    return;
  }
  platform::WaitCursor wait;
  if (rule.order == "randomly") {
    found.Shuffle();
  } else {
    found.SortByTrackInfo(-1);
  }
  const RuleCaps caps = CapsOf(rule);
  RuleTotals totals;
  std::vector<KernelId> taken;
  for (const KernelId& id : found) {
    TrackRecord record;
    device_->GetTrackInfo(id, record);
    if (!totals.Take(caps, record.length, std::max<std::int64_t>(record.fileSize, 0))) break;
    taken.push_back(id);
  }
  const std::string name = device_->GetPlaylistName(playlist_);
  KernelId playlist = playlist_;
  const int status = ReplacePlaylist(*device_, playlist, taken);
  playlist_ = playlist;
  RefreshFolderViews();
  if (status != 0) {
    throw std::runtime_error("The player refused to rebuild the playlist \"" + name + "\" (status " +
                             std::to_string(status) + ").");
  }
}

std::string QuodrelEditDialog::GetRuleFilePath() {
  std::string folder = device_->GetRulePlaylistFolder();
  if (!folder.empty()) {
    folder += "\\";
    while (folder.find("\\\\") != std::string::npos) folder = platform::ReplaceAll(folder, "\\\\", "\\");
  } else {
    std::string appData;
    ReadSettingString("Gen_AppDataDir", appData);
    if (appData.empty()) return {};
    folder = appData + "\\qlists\\";
  }
  CreateDirectoryPath(folder);
  return folder + RuleFileName(GetShortSha1Hex(device_->GetDeviceUniqueId()), listName_);
}

void QuodrelEditDialog::LoadRule() {
  std::string path;
  try {
    path = GetRuleFilePath();
  } catch (const std::exception&) {
    return;  // the defaults stand, as for a missing file
  }
  if (path.empty() || listName_.size() > kMaxListNameBytes) return;
  const std::optional<std::string> bytes = ReadFileBytes(path);
  if (!bytes) return;
  if (const std::optional<std::string> record = DecipherRule(*bytes)) ParseRuleRecord(*record, rule);
}

void QuodrelEditDialog::SaveRule() {
  std::string path;
  try {
    path = GetRuleFilePath();
  } catch (const std::exception&) {
    return;
  }
  if (path.empty()) return;
  ReplaceFileBytes(path, EncipherRule(FormatRuleRecord(rule)));
}

}  // namespace tools
