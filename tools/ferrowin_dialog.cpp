#include "tools/ferrowin_dialog.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <set>

#include "common/identity.h"
#include "common/settings.h"
#include "common/shell_utilities.h"
#include "device/device_client_error.h"
#include "device/kernel_device_client.h"
#include "platform/paths/paths.h"
#include "platform/ui/desktop.h"

using namespace device;

namespace tools {

using namespace platform::layout;

namespace {

// Pictures of the segments: the library's internal memory (6) and memory card (7); any
// later segment is another card.
constexpr int kFirstSegmentImage = 6;
int SegmentImage(int segment) { return kFirstSegmentImage + std::min(segment, 1); }

const char* const kPlaylistFilter = "M3U Playlists (*.m3u)|*.m3u||";

std::string Megabytes(std::int64_t kilobytes) {
  char text[64];
  std::snprintf(text, sizeof text, "%.2f MB", static_cast<double>(kilobytes) / 1024.0);
  return text;
}

// The file's size in KB (truncated) when it can be opened for reading.
std::optional<std::int64_t> FileKB(const std::string& path) {
  const int fd = ::open(platform::ToPosixPath(path).c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  struct stat st{};
  const bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
  ::close(fd);
  if (!ok) return std::nullopt;
  return static_cast<std::int64_t>(st.st_size) / 1024;
}

using platform::ShownPath;

// The file name with its extension, without its folder.
std::string FileName(const std::string& path) {
  const std::size_t cut = path.find_last_of('\\');
  return cut == std::string::npos ? path : path.substr(cut + 1);
}

}  // namespace

std::int64_t UsableSegmentKB(std::int64_t totalKB) {
  return totalKB + static_cast<std::int64_t>(static_cast<double>(totalKB) * -0.035);
}

FitResult FitFiles(const std::vector<std::int64_t>& fileKB, const std::vector<std::int64_t>& capacityKB,
                   const std::vector<bool>& ticked) {
  FitResult fit;
  fit.remainingKB.resize(capacityKB.size());
  for (std::size_t s = 0; s < capacityKB.size(); ++s) fit.remainingKB[s] = s < ticked.size() && ticked[s] ? capacityKB[s] : 0;
  std::size_t cursor = 0;
  for (const std::int64_t size : fileKB) {
    // An unticked segment takes nothing, not even a file under 1 KB.
    while (cursor < capacityKB.size() && (!ticked[cursor] || fit.remainingKB[cursor] < size)) ++cursor;
    if (cursor == capacityKB.size()) break;
    fit.remainingKB[cursor] -= size;
    fit.fileSegment.push_back(static_cast<int>(cursor));
    ++fit.kept;
  }
  return fit;
}

bool WriteFillPlaylist(const std::string& path, const std::vector<std::string>& files) {
  std::string text = "#EXTM3U\r\n";
  for (const std::string& f : files) text += platform::ToPosixPath(f) + "\r\n";
  return platform::ReplaceFile(platform::ToPosixPath(path), text, platform::NewFileMode::kShared);
}

const platform::DialogTemplate& FerrowinTemplate() {
  using D = FerrowinDialog;
  static const platform::DialogTemplate t = platform::MakeTemplate(
      D::kTemplateId, "Ombrix Ferrowin",
      Column({Row({Column({Text("Tracks to be Transferred:"),
                           ListView(D::kTrackListId).Style(platform::kStyleShowSelAlways).Width(70).Lines(16).Expand(),
                           Row({Button(D::kClearId, "Clear"), Button(D::kSortId, "Sort"), Button(D::kShuffleId, "Shuffle"),
                                Text("", D::kTotalsId).Width(26).Expand()})})
                       .Expand(),
                   Column({Text("Available Memory Segments:"),
                           ListView(D::kSegmentListId)
                               .Style(platform::kStyleCheckBoxes | platform::kStyleShowSelAlways)
                               .Width(40)
                               .Lines(5),
                           Group("Mivrosa", {Row({Button(D::kPickTracksId, "Pick Tracks"),
                                                  Button(D::kRandomFolderId, "Set Folder...")}),
                                             Text("", D::kRandomPathId).Width(36)}),
                           Group("Pelloquin", {Row({Button(D::kLoadPlaylistId, "Load Playlist"),
                                                    Button(D::kPlaylistFolderId, "Set Folder...")}),
                                               Text("", D::kPlaylistPathId).Width(36)})})})
                  .Expand(),
              Buttons({Button(D::kTransferId, "Transfer to Device"), Button(D::kSaveId, "Save as Playlist..."),
                       Button(D::kHelpId, "Help"), Button(platform::IDCANCEL, "Close")})}),
      platform::kFrameDialog | platform::kFrameThick);
  return t;
}

FerrowinDialog::FerrowinDialog(KernelDevice& device, const platform::ImageList* smallImages, FerrowinRoutes routes,
                               platform::HWND parent)
    : Dialog(FerrowinTemplate(), parent), device_(device), images_(smallImages), routes_(std::move(routes)) {}

void FerrowinDialog::Inform(const std::string& text) { ShowMessageBox(text, platform::MB_ICONINFORMATION); }

bool FerrowinDialog::OnInitDialog() {
  Dialog::OnInitDialog();
  SetWindowText("Ombrix " + g_ProductIdentity.fillFeatureName);
  DragAcceptFiles(true);
  std::string randomPath;
  std::string playlistPath;
  ReadSettingString("FWN_RandomPath", randomPath);
  ReadSettingString("FWN_PlaylistPath", playlistPath);
  SetDlgItemText(kRandomPathId, ShownPath(randomPath));
  SetDlgItemText(kPlaylistPathId, ShownPath(playlistPath));

  platform::ListViewControl& tracks = ListView(kTrackListId);
  platform::ListViewControl& segments = ListView(kSegmentListId);
  tracks.SetImageList(images_, true);
  segments.SetImageList(images_, true);
  const auto width = &platform::ScaleDesignWidth;
  tracks.InsertColumn(0, {"Name", width(275), platform::LVCFMT_LEFT});
  tracks.InsertColumn(1, {"#", width(30), platform::LVCFMT_RIGHT});
  tracks.InsertColumn(2, {"Size", width(65), platform::LVCFMT_RIGHT});
  segments.InsertColumn(0, {"Name", width(130), platform::LVCFMT_LEFT});
  segments.InsertColumn(1, {"Free Space", width(75), platform::LVCFMT_RIGHT});
  const platform::UINT styles = platform::LVS_EX_FULLROWSELECT | platform::LVS_EX_HEADERDRAGDROP | platform::LVS_EX_CHECKBOXES;
  segments.SetExtendedStyle(styles, styles);

  try {
    KernelId storage;
    for (int n = device_.GetFirstStorage(storage); n != 0; n = device_.GetNextStorage(storage)) {
      const int index = static_cast<int>(segments_.size());
      const int row = segments.InsertItem(index, device_.GetStorageName(storage), SegmentImage(index));
      device_.SelectStorage(storage);
      const std::int64_t usable = UsableSegmentKB(device_.GetStorageTotalKB(storage));
      segments.SetItemText(row, 1, Megabytes(usable));
      segments.SetCheck(row, true);
      segmentCapacityKB_.push_back(usable);
      segments_.push_back(storage);
    }
  } catch (const std::exception& e) {
    KernelDeviceClient::ReportError("Could not read the memory segments.", e);
  }
  initialised_ = true;
  return true;
}

// ---- The plan ----

int FerrowinDialog::Fit() {
  platform::ListViewControl& segments = ListView(kSegmentListId);
  if (segments_.empty()) {
    if (initialised_) Inform("There are no available memory segments.  Are you sure your device is connected?");
    files_.clear();
    fileSegment_.clear();
    fileKB_.clear();
    return 0;
  }
  // Files that can no longer be read leave the plan, and the person hears which.
  std::vector<std::int64_t> sizes;
  std::vector<std::string> unreadable;
  CSortableStringArray readable;
  for (const std::string& f : files_) {
    if (const std::optional<std::int64_t> kb = FileKB(f)) {
      sizes.push_back(*kb);
      readable.push_back(f);
    } else {
      unreadable.push_back(f);
    }
  }
  files_.swap(readable);
  if (!unreadable.empty()) {
    std::string text = "These files can no longer be read and were taken out of the list:";
    for (std::size_t i = 0; i < unreadable.size() && i < 10; ++i) text += "\n" + ShownPath(unreadable[i]);
    if (unreadable.size() > 10) text += "\n... and " + std::to_string(unreadable.size() - 10) + " more.";
    Inform(text);
  }

  std::vector<bool> ticked;
  for (std::size_t s = 0; s < segments_.size(); ++s) ticked.push_back(segments.GetCheck(static_cast<int>(s)));
  const FitResult fit = FitFiles(sizes, segmentCapacityKB_, ticked);
  const int removed = static_cast<int>(files_.size() - fit.kept);
  files_.resize(fit.kept);
  sizes.resize(fit.kept);
  fileKB_ = sizes;
  fileSegment_ = fit.fileSegment;
  for (std::size_t s = 0; s < segments_.size(); ++s) {
    segments.SetItemText(static_cast<int>(s), 1, Megabytes(fit.remainingKB[s]));
  }
  return removed;
}

void FerrowinDialog::Refresh(bool report) {
  const int removed = Fit();
  platform::ListViewControl& tracks = ListView(kTrackListId);
  tracks.DeleteAllItems();
  std::int64_t totalKB = 0;
  int number = 0;
  for (std::size_t i = 0; i < files_.size(); ++i) {
    const int segment = i < fileSegment_.size() ? fileSegment_[i] : 0;
    number = i > 0 && i - 1 < fileSegment_.size() && fileSegment_[i - 1] == segment ? number + 1 : 1;
    const std::int64_t kb = i < fileKB_.size() ? fileKB_[i] : 0;
    totalKB += kb;
    const int row = tracks.InsertItem(static_cast<int>(i), FileName(files_[i]), SegmentImage(segment));
    tracks.SetItemText(row, 1, std::to_string(number));
    tracks.SetItemText(row, 2, Megabytes(kb));
  }
  const std::size_t count = files_.size();
  char totals[128];
  std::snprintf(totals, sizeof totals, "%d track%s.  %0.2f MB.", static_cast<int>(count), count == 1 ? "" : "s",
                static_cast<double>(totalKB) / 1024.0);
  SetDlgItemText(kTotalsId, totals);
  if (report && removed > 0) Inform(std::to_string(removed) + " files would not fit.");
}

void FerrowinDialog::AppendExpanded(const std::vector<std::string>& names, bool sorted, bool audioOnly) {
  if (!routes_.expand) return;
  const std::vector<std::string> found = routes_.expand(names, sorted, audioOnly);
  files_.insert(files_.end(), found.begin(), found.end());
}

// ---- Commands ----

bool FerrowinDialog::OnCommand(int id, int code) {
  switch (id) {
    case kClearId:
      files_.clear();
      Refresh(false);
      return true;
    case kPickTracksId: PickTracks(); return true;
    case kRandomFolderId: SetFolder(true); return true;
    case kSortId:
      files_.Sort(&CompareStringsNoCase);
      Refresh(false);
      return true;
    case kShuffleId:
      files_.Shuffle();
      Refresh(false);
      return true;
    case kTransferId: TransferToDevice(); return true;
    case kSaveId: SavePlaylist(); return true;
    case kLoadPlaylistId: LoadPlaylist(); return true;
    case kPlaylistFolderId: SetFolder(false); return true;
    case kHelpId: OnHelp(); return true;
    default: return Dialog::OnCommand(id, code);
  }
}

void FerrowinDialog::PickTracks() {
  platform::WaitCursor wait;
  std::string folder;
  ReadSettingString("FWN_RandomPath", folder);
  if (folder.empty()) {
    Inform("You have not yet set a folder for random selection.");
    return;
  }
  std::vector<std::string> candidates = routes_.expand ? routes_.expand({folder}, true, true) : std::vector<std::string>{};
  // A file already planned is not drawn again: the plan would send it twice.
  const std::set<std::string> planned(files_.begin(), files_.end());
  std::erase_if(candidates, [&planned](const std::string& f) { return planned.count(f) != 0; });
  for (int picks = 0; picks < kPicksPerPress && !candidates.empty(); ++picks) {
    const std::size_t index = RandomIndex(candidates.size());
    files_.push_back(candidates[index]);
    candidates.erase(candidates.begin() + static_cast<std::ptrdiff_t>(index));
  }
  Refresh(false);
}

void FerrowinDialog::LoadPlaylist() {
  platform::WaitCursor wait;
  std::string folder;
  ReadSettingString("FWN_PlaylistPath", folder);
  if (folder.empty()) {
    Inform("You have not yet set a folder for your playlists.");
    return;
  }
  const std::optional<std::string> chosen =
      platform::PickOpenFile(GetSafeHwnd(), "Select a Playlist...", kPlaylistFilter, ".m3u", folder);
  if (!chosen) return;
  AppendExpanded({*chosen}, false, false);
  Refresh(true);
}

void FerrowinDialog::OnDropFiles(const std::vector<std::string>& paths, platform::Point) {
  AppendExpanded(paths, true, false);
  Refresh(true);
}

void FerrowinDialog::SetFolder(bool random) {
  const char* setting = random ? "FWN_RandomPath" : "FWN_PlaylistPath";
  std::string current;
  ReadSettingString(setting, current);
  const std::optional<std::string> chosen =
      platform::PickFolder(GetSafeHwnd(),
                           random ? "Select a directory from which to pick randomly:"
                                  : "Select the directory where you store your playlists:",
                           current);
  if (!chosen) return;
  WriteSettingString(setting, *chosen);
  SetDlgItemText(random ? kRandomPathId : kPlaylistPathId, ShownPath(*chosen));
}

void FerrowinDialog::SavePlaylist() {
  std::string folder;
  ReadSettingString("FWN_PlaylistPath", folder);
  const std::optional<std::string> chosen =
      platform::PickSaveFile(GetSafeHwnd(), "Save as Playlist...", kPlaylistFilter, ".m3u", folder);
  if (!chosen) return;
  if (!WriteFillPlaylist(*chosen, files_)) {
    ShowMessageBox("The playlist " + ShownPath(*chosen) + " could not be saved.", platform::MB_ICONERROR);
  }
}

void FerrowinDialog::TransferToDevice() {
  if (files_.empty()) {
    Inform("There are no tracks to transfer.");
    return;
  }
  if (routes_.transfer) routes_.transfer(GetSafeHwnd(), files_, fileSegment_, segments_);
}

void FerrowinDialog::OnHelp() {
  std::string base;
  std::string page;
  ReadSettingString("URL_Help", base);
  ReadSettingString("URL_HelpFWN", page);
  if (!(base + page).empty()) ShellOpenFile(base + page);
}

// ---- The lists ----

void FerrowinDialog::OnNotify(platform::Notification& n) {
  if (n.id == kSegmentListId && n.code == platform::NotifyCode::ItemChanged) {
    Refresh(true);
    return;
  }
  if (n.id != kTrackListId) return;
  switch (n.code) {
    case platform::NotifyCode::KeyDown:
      if (n.key == platform::VK_DELETE) DeleteSelectedTracks();
      return;
    case platform::NotifyCode::BeginDrag: OnBeginDrag(); return;
    case platform::NotifyCode::ReorderDrop: OnReorderDrop(n.pos, n.item); return;
    default: return;
  }
}

void FerrowinDialog::DeleteSelectedTracks() {
  std::vector<int> rows = ListView(kTrackListId).GetSelectedRows();
  std::sort(rows.rbegin(), rows.rend());  // highest first, so the others keep their places
  for (int row : rows) {
    if (row >= 0 && static_cast<std::size_t>(row) < files_.size()) files_.erase(files_.begin() + row);
  }
  Refresh(false);
}

void FerrowinDialog::OnBeginDrag() {
  platform::ListViewControl& tracks = ListView(kTrackListId);
  const int selected = tracks.GetSelectedCount();
  if (selected == 0) return;
  if (selected > 1) {
    Inform("You can only reorder one track at a time.");
    return;
  }
  tracks.BeginReorder(tracks.GetNextItem(-1, platform::LVNI_SELECTED));
}

void FerrowinDialog::OnReorderDrop(int source, int target) {
  if (target == source || target == source + 1) {
    Inform("Item was not moved.");
    return;
  }
  const int count = static_cast<int>(files_.size());
  if (source < 0 || source >= count || target < 0 || target >= count) return;  // outside any row
  const std::string moved = files_[static_cast<std::size_t>(source)];
  files_.erase(files_.begin() + source);
  if (source < target) target = std::max(0, target - 1);
  files_.insert(files_.begin() + target, moved);
  Refresh(false);
}

}  // namespace tools
