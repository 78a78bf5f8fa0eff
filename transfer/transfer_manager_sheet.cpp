#include "transfer/transfer_manager_sheet.h"

#include <algorithm>
#include <cstdio>
#include <set>

#include "common/settings.h"
#include "common/shell_utilities.h"
#include "device/device_client_error.h"
#include "platform/text/text.h"
#include "platform/ui/data_exchange.h"
#include "platform/ui/desktop.h"
#include "platform/ui/host.h"
#include "platform/ui/list_view.h"
#include "platform/window/wait.h"
#include "tools/name_dlg.h"
#include "tools/auto_fill_track_num_dialog.h"
#include "tools/field_swap_dlg.h"
#include "tools/tag_edit_dlg.h"
#include "tools/tag_fields.h"
#include "transfer/conversion_rules.h"
#include "transfer/file_path.h"
#include "transfer/formats/audio_file_tags.h"
#include "transfer/log_file.h"
#include "transfer/transfer_dialog.h"

using namespace device;

namespace transfer {

using namespace platform::layout;
using tools::TagEditDlg;

namespace {

// The pictures of the rows: complete tags, incomplete tags, a data file.
constexpr int kImageTagged = 0;
constexpr int kImageUntagged = 1;
constexpr int kImageData = 2;

platform::ImageList RowImages() {
  platform::ImageList images;
  images.Add("audio-x-generic");
  images.Add("audio-x-generic", {}, "emblem-important");
  images.Add("text-x-generic");
  return images;
}

bool HasText(const FixedString256& field) { return !platform::TrimView(field.GetText()).empty(); }

// The selected rows of a list, in list order.
std::vector<int> SelectedRowsOf(platform::ListViewControl& list) { return list.GetSelectedRows(); }

// Removes the records of these rows, highest first.
void RemoveRows(RecordList& records, std::vector<int> rows) {
  std::sort(rows.rbegin(), rows.rend());
  for (int row : rows) {
    if (row >= 0 && static_cast<std::size_t>(row) < records.size()) records.erase(records.begin() + row);
  }
}

// A group key as a row shows it: without one trailing backslash.
std::string RowName(const std::string& key) {
  std::string name = platform::Trim(key);
  if (!name.empty() && name.back() == '\\') name.pop_back();
  return name;
}

}  // namespace

platform::Menu RecordMenu(bool dataPage) {
  platform::Menu menu;
  if (!dataPage) {
    menu.Append(platform::MF_STRING, kCmdEditTags, "Edit Tag(s)...");
    menu.Append(platform::MF_STRING, kCmdCopyField, "Copy Field to Field...");
    menu.Append(platform::MF_STRING, kCmdSwapFields, "Swap Two Tag Fields...");
    menu.Append(platform::MF_STRING, kCmdAutoFillNumbers, "Auto-Fill Track Numbers...");
  }
  // The data page acts only on "Remove from Transfer List".
  const platform::UINT others = dataPage ? platform::MF_GRAYED : platform::MF_STRING;
  menu.Append(others, kCmdPrependArtist, "Prepend Artist to Title");
  menu.Append(others, kCmdPrependNumber, "Prepend Track Number to Title");
  menu.Append(others, kCmdRereadTags, "Re-Read Fields from Tag");
  menu.Append(others, kCmdReparseNames, "Reparse Fields from Filename");
  menu.Append(platform::MF_STRING, kCmdRemove, "Remove from Transfer List");
  return menu;
}

// ---- The audio page ----

const platform::DialogTemplate& AudioPageTemplate() {
  using P = CTMAudioPage;
  static const platform::DialogTemplate t = platform::MakeTemplate(
      P::kTemplateId, "Audio Tracks",
      Column({Edit(P::kPathId).ReadOnly().Width(116).Label("Path"), ListView(P::kListId).Lines(16).Expand()}),
      platform::kFrameChild);
  return t;
}

CTMAudioPage::CTMAudioPage(std::vector<std::string> paths)
    : PropertyPage(AudioPageTemplate()), paths_(std::move(paths)), images_(RowImages()) {}

bool CTMAudioPage::OnInitDialog() {
  PropertyPage::OnInitDialog();
  platform::ListViewControl& list = ListView(kListId);
  list.SetImageList(&images_, true);
  list.SetExtendedStyle(platform::LVS_EX_FULLROWSELECT, platform::LVS_EX_FULLROWSELECT);
  const struct {
    const char* title;
    int width;
    int format;
  } kColumns[] = {{"Artist", 125, platform::LVCFMT_LEFT}, {"Album", 125, platform::LVCFMT_LEFT},
                  {"#", 30, platform::LVCFMT_RIGHT},      {"Title", 125, platform::LVCFMT_LEFT},
                  {"Year", 40, platform::LVCFMT_LEFT},    {"Genre", 65, platform::LVCFMT_LEFT},
                  {"Comment", 150, platform::LVCFMT_LEFT}, {"Length", 65, platform::LVCFMT_LEFT},
                  {"Bitrate", 65, platform::LVCFMT_LEFT}};
  for (const auto& c : kColumns) list.InsertColumn(list.GetColumnCount(), {c.title, c.width, c.format});
  ReadRecords();
  ready_ = true;
  FillList();
  return true;
}

void CTMAudioPage::ReadRecords() {
  shellext::CDeleteDialog progress;
  progress.Start("Reading tag information...", static_cast<int>(paths_.size()));
  for (std::size_t i = 0; i < paths_.size(); ++i) {
    const std::string& path = paths_[i];
    if (!IsTransferableFormat(path)) continue;
    progress.SetItemText(SplitFilePath(path).FileName());
    if (i % 25 == 0) {
      if (progress.progress != nullptr) progress.progress->SetPos(static_cast<int>(i));
      platform::PumpMessages(0);
    }
    auto record = std::make_unique<TrackRecord>();
    // A file whose tags cannot be read in time is neither listed nor sent.
    if (ReadTagsTimed(path, record.get(), 1, 0) != 0) records_.push_back(std::move(record));
  }
  progress.Close();
}

void CTMAudioPage::FillList() {
  if (!ready_ || !IsOpen()) return;
  platform::ListViewControl& list = ListView(kListId);
  // The row at the bottom of the view (at most the second-to-last) stays in view, and the
  // records selected stay selected.
  const int bottom = std::min(list.GetTopVisible() + list.GetCountPerPage() - 1, list.GetItemCount() - 2);
  std::set<const TrackRecord*> selected;
  for (int row : list.GetSelectedRows()) selected.insert(reinterpret_cast<const TrackRecord*>(list.GetItemData(row)));
  list.DeleteAllItems();
  for (std::size_t i = 0; i < records_.size(); ++i) {
    const TrackRecord& r = *records_[i];
    const bool tagged = HasText(r.artist) && HasText(r.album) && HasText(r.title);
    const int row = list.InsertItem(list.GetItemCount(), r.artist.Str(), tagged ? kImageTagged : kImageUntagged,
                                    reinterpret_cast<std::uint64_t>(&r));
    if (selected.count(&r) != 0) list.SetItemState(row, platform::LVIS_SELECTED, platform::LVIS_SELECTED);
    list.SetItemText(row, 1, r.album.Str());
    list.SetItemText(row, 2, platform::Printf("%d", r.trackNumber));
    list.SetItemText(row, 3, r.title.Str());
    list.SetItemText(row, 4, platform::Printf("%d", r.year));
    list.SetItemText(row, 5, r.genre.Str());
    list.SetItemText(row, 6, r.comment.Str());
    list.SetItemText(row, 7, platform::Printf("%d:%02d", r.length / 60, r.length % 60));
    list.SetItemText(row, 8, platform::Printf("%d Kbps", r.bitrate));
  }
  if (bottom >= 0 && bottom < list.GetItemCount()) list.EnsureVisible(bottom);
}

std::vector<int> CTMAudioPage::SelectedRows() { return SelectedRowsOf(ListView(kListId)); }

void CTMAudioPage::OnNotify(platform::Notification& n) {
  if (n.id != kListId) {
    PropertyPage::OnNotify(n);
    return;
  }
  platform::ListViewControl& list = ListView(kListId);
  switch (n.code) {
    case platform::NotifyCode::RightClick: {
      const platform::UINT command = platform::TrackPopupMenu(
          RecordMenu(false), platform::TPM_RETURNCMD | platform::TPM_RIGHTBUTTON, n.point.x, n.point.y, GetSafeHwnd());
      if (command != 0) RunCommand(static_cast<int>(command));
      return;
    }
    case platform::NotifyCode::ItemActivate: RunCommand(kCmdEditTags); return;
    case platform::NotifyCode::KeyDown:
      if (n.key == platform::VK_DELETE) RunCommand(kCmdRemove);
      return;
    case platform::NotifyCode::ItemChanged: {
      const std::vector<int> rows = SelectedRows();
      if (rows.size() == 1 && static_cast<std::size_t>(rows[0]) < records_.size()) {
        SetDlgItemText(kPathId, records_[static_cast<std::size_t>(rows[0])]->path.Str());
      }
      return;
    }
    case platform::NotifyCode::BeginDrag:
      if (list.GetSelectedCount() >= 1) list.BeginReorder(n.item);
      return;
    case platform::NotifyCode::ReorderDrop:
      if (n.item >= 0) MoveRecord(n.pos, n.item);
      return;
    default: PropertyPage::OnNotify(n); return;
  }
}

void CTMAudioPage::MoveRecord(int from, int to) {
  const int count = static_cast<int>(records_.size());
  if (from < 0 || from >= count || to < 0 || to >= count || to == from || to == from + 1) return;
  std::unique_ptr<TrackRecord> moved = std::move(records_[static_cast<std::size_t>(from)]);
  records_.erase(records_.begin() + from);
  records_.insert(records_.begin() + (to > from ? to - 1 : to), std::move(moved));
  FillList();
}

void CTMAudioPage::RunCommand(int command) {
  const std::vector<int> rows = SelectedRows();
  if (rows.empty()) {
    ShowInformation("No items selected.");
    return;
  }
  const auto each = [&](const auto& change) {
    for (int row : rows) change(*records_[static_cast<std::size_t>(row)]);
  };
  switch (command) {
    case kCmdEditTags: EditTags(rows); break;
    case kCmdCopyField: CopyOrSwap(rows, false); break;
    case kCmdSwapFields: CopyOrSwap(rows, true); break;
    case kCmdAutoFillNumbers: {
      tools::CAutoFillTrackNumDialog dlg(GetSafeHwnd(), rows.size());
      if (dlg.DoModal() != platform::IDOK) break;
      for (std::size_t i = 0; i < rows.size(); ++i) {
        records_[static_cast<std::size_t>(rows[i])]->trackNumber = static_cast<int>(dlg.NumberFor(i));
      }
      break;
    }
    case kCmdPrependArtist:
      each([](TrackRecord& r) { r.title.Set(r.artist.Str() + " - " + r.title.Str()); });
      break;
    case kCmdPrependNumber:
      each([](TrackRecord& r) {
        char number[16];
        std::snprintf(number, sizeof number, "%02d", r.trackNumber);
        r.title.Set(std::string(number) + " - " + r.title.Str());
      });
      break;
    case kCmdRereadTags:
    case kCmdReparseNames:
      each([command](TrackRecord& r) {
        r.artist.Clear();
        r.album.Clear();
        r.title.Clear();
        const std::string path = r.path.Str();
        if (command == kCmdRereadTags) {
          ReadTagsTimed(path, &r, 0, 0);
        } else {
          ReadTagsTimed(path, &r, 1, 1);
        }
      });
      break;
    case kCmdRemove: RemoveRows(records_, rows); break;
    default: return;
  }
  FillList();
}

void CTMAudioPage::EditTags(const std::vector<int>& rows) {
  std::vector<const TrackRecord*> selected;
  for (int row : rows) selected.push_back(records_[static_cast<std::size_t>(row)].get());
  // The basic layout: a field is preset when every selected record agrees on it.
  const auto flags = TagEditDlg::AgreementOf(selected);
  TagEditDlg dlg(TagEditDlg::kBasicTemplateId, flags.data(), GetSafeHwnd());
  dlg.PresetFrom(*selected.front());
  if (dlg.DoModal() != platform::IDOK) return;
  for (int row : rows) dlg.ApplyTo(*records_[static_cast<std::size_t>(row)], false);
}

void CTMAudioPage::CopyOrSwap(const std::vector<int>& rows, bool swap) {
  tools::CFieldSwapDlg dlg(swap ? "Swap Tag Fields" : "Copy Tag Field", swap ? "Swap this field..." : "Copy this field...",
                           swap ? "with this field:" : "to this field:", GetSafeHwnd());
  if (dlg.DoModal() != platform::IDOK) return;
  int refusal = tools::kTagFieldsChanged;
  for (int row : rows) {
    TrackRecord& r = *records_[static_cast<std::size_t>(row)];
    const int result = swap ? tools::SwapTagFields(dlg.firstField, dlg.secondField, r)
                            : tools::CopyTagField(dlg.firstField, dlg.secondField, r);
    if (result != tools::kTagFieldsChanged) refusal = result;
  }
  // One message for the command, whichever records refused.
  if (refusal != tools::kTagFieldsChanged) ShowInformation(tools::TagFieldMessage(refusal));
}

void CTMAudioPage::WriteBackTags() {
  const auto onOff = [](const char* name) {
    std::uint32_t value = 0;
    ReadSettingDword(name, value);
    return value != 0;
  };
  shellext::CDeleteDialog progress;
  progress.Start("Updating tag information...", static_cast<int>(records_.size()));
  TagWriteBackLogFile log;
  log.Open();
  const bool enabled = onOff("ATM_TWB_Enable");
  log.WriteString(std::string("Tag WriteBack is ") + (enabled ? "enabled" : "disabled") + ".");
  if (enabled) {
    const bool v1 = onOff("ATM_TWB_UseV1");
    const bool v2 = onOff("ATM_TWB_UseV2");
    log.WriteString(std::string("ID3V1 format is ") + (v1 ? "enabled" : "disabled") + ".");
    log.WriteString(std::string("ID3V2 format is ") + (v2 ? "enabled" : "disabled") + ".");
    // An MP3 always gets an ID3v2 tag (transfer/formats/mp3/mp3_writer.h): the line says so.
    if (!v1 && !v2) log.WriteString("Defaulting to ID3V2 format for write-back.");
    for (const std::unique_ptr<TrackRecord>& record : records_) {
      const std::string path = record->path.Str();
      const FilePathParts parts = SplitFilePath(path);
      log.WriteString(path + ":");
      TrackRecord fresh;
      std::string line;
      bool failed = false;
      if (ReadTagsTimed(path, &fresh, 1, 0) == 0) {
        line = "Tag data could not be read from file, it may be a corrupt file...skipping.";
      } else if (TrackRecord::Compare(*record, fresh) == 0) {
        line = "Tag data did not change...skipping.";
      } else {
        const std::string extension = platform::ToLowerAscii(parts.extension);
        line = "File type is " + extension + "...";
        if (extension == ".mp3" || extension == ".wma") {
          failed = WriteAudioFileTagsTimed(*record) == 0;
          line += failed ? "writing...error." : "writing...done.";
        } else {
          line += "skipping.";
        }
      }
      log.WriteString(line);
      progress.SetItemText(parts.FileName());
      progress.Step();
      platform::PumpMessages(0);
      if (failed) break;  // the transfer still goes ahead
    }
  }
  log.Close();
  progress.Close();
}

// ---- The data page ----

const platform::DialogTemplate& DataPageTemplate() {
  using P = CTMDataPage;
  static const platform::DialogTemplate t = platform::MakeTemplate(
      P::kTemplateId, "Data Files",
      Column({Check(P::kSkipId, "Check here to SKIP all data files."), ListView(P::kListId).Lines(16).Expand()}),
      platform::kFrameChild);
  return t;
}

CTMDataPage::CTMDataPage(const std::vector<std::string>& paths) : PropertyPage(DataPageTemplate()), images_(RowImages()) {
  for (const std::string& path : paths) {
    if (IsTransferableFormat(path)) continue;
    auto record = std::make_unique<TrackRecord>();
    record->path.Set(path);
    records_.push_back(std::move(record));
  }
}

bool CTMDataPage::OnInitDialog() {
  PropertyPage::OnInitDialog();
  platform::ListViewControl& list = ListView(kListId);
  list.SetImageList(&images_, true);
  list.SetExtendedStyle(platform::LVS_EX_FULLROWSELECT, platform::LVS_EX_FULLROWSELECT);
  list.InsertColumn(0, {"Filename", 200});
  list.InsertColumn(1, {"Source Path", 400});
  FillList();
  return true;
}

void CTMDataPage::DoDataExchange(platform::DataExchange& dx) { dx.Check(kSkipId, skipAll); }

void CTMDataPage::FillList() {
  if (!IsOpen()) return;
  platform::ListViewControl& list = ListView(kListId);
  list.DeleteAllItems();
  for (std::size_t i = 0; i < records_.size(); ++i) {
    const std::string path = records_[i]->path.Str();
    const int row = list.InsertItem(list.GetItemCount(), SplitFilePath(path).FileName(), kImageData, i);
    list.SetItemText(row, 1, path);
  }
}

void CTMDataPage::RemoveSelected() {
  const std::vector<int> rows = SelectedRowsOf(ListView(kListId));
  if (rows.empty()) {
    ShowInformation("No items selected.");
    return;
  }
  RemoveRows(records_, rows);
  FillList();
}

void CTMDataPage::OnNotify(platform::Notification& n) {
  if (n.id == kListId && n.code == platform::NotifyCode::RightClick) {
    if (platform::TrackPopupMenu(RecordMenu(true), platform::TPM_RETURNCMD | platform::TPM_RIGHTBUTTON, n.point.x,
                                 n.point.y, GetSafeHwnd()) == static_cast<platform::UINT>(kCmdRemove)) {
      RemoveSelected();
    }
    return;
  }
  if (n.id == kListId && n.code == platform::NotifyCode::KeyDown && n.key == platform::VK_DELETE) {
    RemoveSelected();
    return;
  }
  PropertyPage::OnNotify(n);
}

// ---- The playlist page ----

const platform::DialogTemplate& PlaylistPageTemplate() {
  using P = CTMPlaylistPage;
  static const platform::DialogTemplate t = platform::MakeTemplate(
      P::kTemplateId, "Playlists",
      Column({Check(P::kOverwriteId, "Overwrite existing playlists with the same name."),
              Row({Button(kCmdSelectAll, "Select All"), Button(kCmdDeselectAll, "Deselect All")}),
              ListView(P::kListId).Lines(14).Style(platform::kStyleCheckBoxes).Expand()}),
      platform::kFrameChild);
  return t;
}

CTMPlaylistPage::CTMPlaylistPage(SourceGroups* roots) : PropertyPage(PlaylistPageTemplate()), roots_(roots) {
  std::uint32_t stored = 0;
  ReadSettingDword("JB_Tx_OverwritePlaylists", stored);
  overwrite = static_cast<int>(stored);
  HandleCommand(kCmdSelectAll, [this] { CheckAll(true); });
  HandleCommand(kCmdDeselectAll, [this] { CheckAll(false); });
}

bool CTMPlaylistPage::OnInitDialog() {
  PropertyPage::OnInitDialog();
  platform::ListViewControl& list = ListView(kListId);
  list.SetExtendedStyle(platform::LVS_EX_CHECKBOXES | platform::LVS_EX_FULLROWSELECT,
                        platform::LVS_EX_CHECKBOXES | platform::LVS_EX_FULLROWSELECT);
  list.InsertColumn(0, {"Name", 400});
  list.InsertColumn(1, {"Containing", 125});
  std::uint32_t noAsking = 0;
  ReadSettingDword("JB_Tx_DisableAskAutoPlaylistCreation", noAsking);
  if (roots_ != nullptr) {
    for (const SourceGroups::Group& g : roots_->groups()) {
      if (platform::Trim(g.key).empty()) continue;
      const int row = list.InsertItem(list.GetItemCount(), RowName(g.key));
      list.SetItemText(row, 1, platform::Printf("%d", static_cast<int>(g.paths.size())));
      list.SetCheck(row, noAsking == 0);
    }
  }
  return true;
}

void CTMPlaylistPage::DoDataExchange(platform::DataExchange& dx) { dx.Check(kOverwriteId, overwrite); }

void CTMPlaylistPage::CheckAll(bool checked) {
  platform::ListViewControl& list = ListView(kListId);
  for (int row = 0; row < list.GetItemCount(); ++row) list.SetCheck(row, checked);
}

void CTMPlaylistPage::OnNotify(platform::Notification& n) {
  if (n.id == kListId && n.code == platform::NotifyCode::RightClick) {
    platform::Menu menu;
    menu.Append(platform::MF_STRING, kCmdSelectAll, "Select All");
    menu.Append(platform::MF_STRING, kCmdDeselectAll, "Deselect All");
    const platform::UINT command =
        platform::TrackPopupMenu(menu, platform::TPM_RETURNCMD | platform::TPM_RIGHTBUTTON, n.point.x, n.point.y, GetSafeHwnd());
    if (command != 0) CheckAll(command == static_cast<platform::UINT>(kCmdSelectAll));
    return;
  }
  PropertyPage::OnNotify(n);
}

void CTMPlaylistPage::OnOK() {
  if (roots_ != nullptr && IsOpen()) {
    platform::ListViewControl& list = ListView(kListId);
    std::set<std::string> kept;
    for (int row = 0; row < list.GetItemCount(); ++row) {
      if (list.GetCheck(row)) kept.insert(list.GetItemText(row, 0));
    }
    // Unchecked groups make no playlist; their files are still sent.
    std::vector<std::string> dropped;
    for (const SourceGroups::Group& g : roots_->groups()) {
      if (!platform::Trim(g.key).empty() && kept.count(RowName(g.key)) == 0) dropped.push_back(g.key);
    }
    for (const std::string& key : dropped) roots_->Remove(key);
  }
  WriteSettingDword("JB_Tx_OverwritePlaylists", static_cast<std::uint32_t>(overwrite));
}

// ---- The sheet ----

CTransferManagerSheet::CTransferManagerSheet(const std::vector<std::string>* files, SourceGroups* roots,
                                             platform::HWND parent)
    : PropertySheet("Prepare for Transfer...", parent),
      audio_(files != nullptr ? *files : std::vector<std::string>()),
      data_(files != nullptr ? *files : std::vector<std::string>()),
      playlists_(roots) {
  SetFlags(platform::PSH_NOAPPLYNOW);
  tabImages_.Add("folder-music", "folder");
  tabImages_.Add("folder-documents", "folder");
  tabImages_.Add("view-media-playlist", "audio-x-generic");
  tabImages_.Add("preferences-system", "emblem-system");
  SetTabImageList(&tabImages_);
  audio_.SetTabImage(0);
  data_.SetTabImage(1);
  playlists_.SetTabImage(2);
  options_.SetTabImage(3);
  options_.SetTitle("Options");
  AddPage(&audio_);
  AddPage(&data_);
  AddPage(&playlists_);
  AddPage(&options_);
}

platform::DialogTemplate CTransferManagerSheet::BuildTemplate() {
  platform::DialogTemplate t = platform::MakeTemplate(
      0, GetWindowText(),
      Column({platform::layout::Tabs(platform::kSheetTabsId), platform::layout::PageArea(platform::kSheetPageAreaId).Expand(),
              Buttons({DefaultButton(platform::IDOK, "OK"), platform::layout::Button(platform::IDCANCEL, "Cancel"),
                       platform::layout::Button(platform::IDHELP, "Help")})}),
      platform::kFrameDialog | platform::kFrameThick);
  t.icon = "multimedia-player";
  return t;
}

bool CTransferManagerSheet::OnInitDialog() {
  PropertySheet::OnInitDialog();
  SetWindowText("Prepare for Transfer...");
  return true;
}

bool CTransferManagerSheet::OnCommand(int id, int code) {
  if (id == platform::IDHELP && code == platform::BN_CLICKED) {
    OnHelp();
    return true;
  }
  return PropertySheet::OnCommand(id, code);
}

void CTransferManagerSheet::OnHelp() {
  std::string address;
  if (ReadSettingString("URL_HelpATM", address) == 0 || address.empty()) ReadSettingString("URL_Help", address);
  if (!address.empty()) ShellOpenFile(address);
}

void CTransferManagerSheet::OnOK() {
  if (!Apply()) return;
  audio_.WriteBackTags();
  EndDialog(platform::IDOK);
}

std::vector<const TrackRecord*> CTransferManagerSheet::RecordsToSend() const {
  std::vector<const TrackRecord*> records;
  for (const auto& r : audio_.Records()) records.push_back(r.get());
  if (data_.skipAll == 0) {
    for (const auto& r : data_.Records()) records.push_back(r.get());
  }
  return records;
}

}  // namespace transfer
