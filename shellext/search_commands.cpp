#include "shellext/search_commands.h"

#include <mutex>
#include <vector>

#include "common/settings.h"
#include "common/shell_utilities.h"
#include "device/device_status.h"
#include "device/request_block.h"
#include "platform/text/text.h"
#include "platform/ui/desktop.h"
#include "platform/ui/host.h"
#include "shellext/enum_id_list.h"
#include "shellext/library.h"
#include "shellext/playlist_commands.h"
#include "sql/query_engine.h"
#include "sql/small_parser.h"
#include "tools/item_editors.h"
#include "tools/quodrel_edit_dialog.h"
#include "tools/search_dialogs.h"

using namespace device;
using namespace sql;

namespace shellext {

namespace {


std::string SearchStatement(const std::string& condition) { return "SELECT id FROM audio WHERE " + condition + ";"; }

void SetSearchResults(std::vector<KernelId> hits) {
  std::lock_guard<std::mutex> lock(g_SearchResultsLock);
  g_SearchResults = std::move(hits);
}

// Runs a search from a dialog; the player's failures are reported here.
void Search(const std::string& condition) {
  try {
    RunTrackSearch(condition);
  } catch (const std::exception& e) {
    KernelDeviceClient::ReportError("Could not search the player.", e);
  }
}

}  // namespace

void RunTrackSearch(const std::string& condition) {
  SetSearchResults({});
  std::vector<KernelId> hits;
  try {
    platform::WaitCursor wait;
    KernelDevice& device = Device();
    KernelId id;
    for (int more = device.QueryFirst(SearchStatement(condition), id); more != 0; more = device.QueryNext(id)) {
      hits.push_back(id);
    }
  } catch (const std::exception&) {
    SetSearchResults(std::move(hits));  // what was found before the failure
    RefreshFolderViews();
    throw;
  }
  const bool found = !hits.empty();
  SetSearchResults(std::move(hits));
  if (found) {
    WriteSettingString("SQL_LastSearchQuery", condition);
  } else {
    ShowInformation("Search produced no matches.");
  }
  RefreshFolderViews();  // the search folder shows these hits, none included
}

std::string SimpleSearchCondition(std::string_view text) {
  const std::string t = SqlStringLiteral(text);
  return "artist?" + t + " OR album?" + t + " OR genre?" + t + " OR title?" + t;
}

std::string AdvancedSearchPrefill(std::string_view stored) {
  std::string_view text = platform::TrimView(stored);
  const std::string folded = platform::ToLowerAscii(text);
  if (folded.rfind("select", 0) == 0) {
    const std::size_t where = folded.find("where");
    if (where != std::string::npos) text = text.substr(where + 5);
  }
  text = platform::TrimView(text);
  while (!text.empty() && (text.back() == ';' || text.back() == ' ')) text.remove_suffix(1);
  return std::string(platform::TrimView(text));
}

void OpenSimpleSearch() {
  tools::CSearchSimpleDlg dialog(GetOwnerWindow());
  do {
    if (dialog.DoModal() != platform::IDOK) return;
  } while (platform::TrimView(dialog.text).empty());
  Search(SimpleSearchCondition(dialog.text));
}

void OpenAdvancedSearch() {
  tools::CSearchDlg dialog(GetOwnerWindow());
  std::string stored;
  ReadSettingString("SQL_LastSearchQuery", stored);
  dialog.condition = AdvancedSearchPrefill(stored);
  for (;;) {
    if (dialog.DoModal() != platform::IDOK) return;
    if (platform::TrimView(dialog.condition).empty()) continue;
    try {
      CSmallParser parser;
      parser.Parse(SearchStatement(dialog.condition));
    } catch (const std::exception& e) {
      ShowInformation("The search condition cannot be read:\n\n" + std::string(e.what()));
      continue;
    }
    break;
  }
  Search(dialog.condition);
}

void CreateRulePlaylist() {
  std::string name = "type name here";
  for (;;) {
    if (!AskForName(name, "Rule Playlist Name")) return;
    name = platform::Trim(name);
    if (tools::ListNameOf(name).size() <= tools::kMaxListNameBytes) break;
    ShowInformation("The name of a Quodrel can have at most " + std::to_string(tools::kMaxListNameBytes) + " bytes.");
  }
  const std::string full = std::string(tools::kQuodrelPrefix) + name;
  try {
    int status = 0;
    {
      platform::WaitCursor wait;
      KernelId playlist;
      status = Device().CreatePlaylist(full, playlist);
    }
    RefreshFolderViews();
    if (status == kStatusPlaylistExists) ShowInformation("Playlist '" + full + "' already exists.");
  } catch (const std::exception& e) {
    KernelDeviceClient::ReportError("Could not create playlist.", e);
  }
}

void EditRulePlaylist(const CPidlList& selection) {
  if (selection.size() != 1) {
    ShowInformation("Please edit one Quodrel at a time.");
    return;
  }
  tools::QuodrelEditDialog dialog(&Device(), selection.front().GetId());
  dialog.DoModal();
}

void EditNote(const CPidlList& selection) {
  const KernelId item = selection.at(0).GetId();
  KernelDevice& device = Device();
  tools::EditNoteDialog dialog(GetOwnerWindow());
  dialog.text = device.GetNoteText(item);
  dialog.maxBytes = DeviceRequestBlock::kNoteTextMaxBytes;  // what reaches the player
  if (dialog.DoModal() == platform::IDOK) device.SetNoteText(item, dialog.text);
}

void EditContact(const CPidlList& selection) {
  const KernelId item = selection.at(0).GetId();
  KernelDevice& device = Device();
  ContactRecord record;
  record.Clear();
  device.GetContactRecord(item, record);
  tools::EditContactDialog dialog(&record, GetOwnerWindow());
  if (dialog.DoModal() == platform::IDOK) device.SetContactRecord(item, record);
}

void SkipToTrack(const CPidlList& selection) {
  platform::WaitCursor wait;
  if (selection.empty()) {
    ShowInformation("No track selected.");
    return;
  }
  try {
    KernelDevice& device = Device();
    device.SetQueuePositionToTrack(selection.front().GetId());
    device.PlayQueueCurrent();
    RefreshFolderViews();
  } catch (const std::exception& e) {
    KernelDeviceClient::ReportError("Could not skip to track.", e);
  }
}

}  // namespace shellext
