#include "shellext/playlist_commands.h"

#include <algorithm>
#include <cstdlib>
#include <map>
#include <set>

#include "common/folders.h"
#include "common/settings.h"
#include "common/shell_utilities.h"
#include "platform/paths/paths.h"
#include "device/device_status.h"
#include "platform/paths/paths.h"
#include "platform/text/text.h"
#include "platform/ui/desktop.h"
#include "platform/ui/host.h"
#include "shellext/enum_id_list.h"
#include "shellext/library.h"
#include "tools/name_dlg.h"
#include "shellext/queue_commands.h"
#include "tools/playlist_replace.h"

using namespace device;

namespace shellext {

namespace {


// "s" unless exactly one.
const char* Plural(std::size_t n) { return n == 1 ? "" : "s"; }

// Fills the pending-id list with the tracks and hands it to the playlist.
int AddPending(KernelDevice& device, const KernelId& playlist, const std::vector<KernelId>& tracks) {
  device.ClearPendingIds();
  for (const KernelId& track : tracks) device.AddPendingId(track);
  return device.AddPendingToPlaylist(playlist);
}

// The playlist's entries in order.
std::vector<KernelId> PlaylistEntries(KernelDevice& device, const KernelId& playlist) {
  std::vector<KernelId> entries;
  KernelId entry;
  for (int n = device.GetFirstPlaylistItem(playlist, entry); n != 0; n = device.GetNextPlaylistItem(playlist, entry)) {
    entries.push_back(entry);
  }
  return entries;
}

// Marks the entry a selected playlist item stands for: the one at its listed place when it
// is still that track there, else the nearest unmarked entry of that track (the playlist
// changed since it was listed). False when the playlist holds no such entry.
bool MarkEntry(const std::vector<KernelId>& entries, std::vector<bool>& marked, const ShellItemData& item) {
  const long listed = static_cast<long>(item.position) - 1;  // entries are listed from 1
  long best = -1;
  for (long i = 0; i < static_cast<long>(entries.size()); ++i) {
    if (marked[static_cast<std::size_t>(i)] || entries[static_cast<std::size_t>(i)].word[0] != item.id.word[0]) continue;
    if (best < 0 || std::labs(i - listed) < std::labs(best - listed)) best = i;
  }
  if (best < 0) return false;
  marked[static_cast<std::size_t>(best)] = true;
  return true;
}

// Takes the selected entries out of the playlist, each at its place. The player's own
// removal takes every entry of a track, so it serves only when no other entry of a removed
// track stays; otherwise the playlist is rebuilt without the removed entries. The
// player's status (0 when done).
int RemovePlaylistEntries(KernelDevice& device, KernelId& playlist, const CPidlList& selection) {
  const std::vector<KernelId> entries = PlaylistEntries(device, playlist);
  std::vector<bool> marked(entries.size(), false);
  for (const CPidlLast& item : selection) {
    if (item->nodeType == NT_PLITEM) MarkEntry(entries, marked, item.Item());
  }
  std::vector<KernelId> kept;
  std::map<std::uint32_t, KernelId> removed;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    if (marked[i]) {
      removed.emplace(entries[i].word[0], entries[i]);
    } else {
      kept.push_back(entries[i]);
    }
  }
  if (removed.empty()) return 0;
  const bool anotherStays =
      std::any_of(kept.begin(), kept.end(), [&removed](const KernelId& e) { return removed.count(e.word[0]) != 0; });
  if (anotherStays) return tools::ReplacePlaylist(device, playlist, kept);
  device.ClearPendingIds();
  for (auto it = removed.rbegin(); it != removed.rend(); ++it) device.AddPendingId(it->second);
  return device.RemovePendingFromPlaylist(playlist);
}

}  // namespace

void NotifyPlaylistsChanged() {
  if (LPCITEMIDLIST playlists = GetFixedFolderList(FixedFolder::kPlaylists)) NotifyFolderUpdated(playlists);
  RefreshFolderViews();
}

namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return 0;
}

// The backup record of one track: its content id as 20 raw bytes.
std::string BackupRecord(KernelDevice& device, const KernelId& track) {
  const std::string hex = KernelDevice::MakeContentId(device.GetTrackArtist(track), device.GetTrackAlbum(track),
                                                      device.GetTrackTitle(track));
  std::string bytes;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
    bytes += static_cast<char>(HexDigit(hex[i]) << 4 | HexDigit(hex[i + 1]));
  }
  return bytes;
}

// A file name not yet written in this run: "Mix.rpb", then "Mix (2).rpb" ...
std::string UnusedName(const std::string& file, std::set<std::string>& used) {
  std::string name = file;
  const std::string stem = file.substr(0, file.size() - kBackupExtension.size());
  for (int n = 2; used.count(name) != 0; ++n) name = stem + " (" + std::to_string(n) + ")" + std::string(kBackupExtension);
  used.insert(name);
  return name;
}

// The file's name without its folder and without ".rpb" (any case).
std::string BackupStem(const std::string& path) {
  std::string name = path.substr(path.find_last_of("\\/") == std::string::npos ? 0 : path.find_last_of("\\/") + 1);
  if (name.size() >= kBackupExtension.size() &&
      platform::ToLowerAscii(std::string_view(name).substr(name.size() - kBackupExtension.size())) ==
          kBackupExtension) {
    name.resize(name.size() - kBackupExtension.size());
  }
  return name;
}

}  // namespace

bool AskPlaylistName(std::string& name) { return AskForName(name, "Playlist Name"); }

bool AskForName(std::string& name, const std::string& caption) {
  for (;;) {
    CNameDlg dialog(GetOwnerWindow(), caption);
    dialog.name = name;
    if (dialog.DoModal() != platform::IDOK) return false;
    name = dialog.name;
    if (!platform::TrimView(name).empty()) return true;
  }
}

int CreateDevicePlaylist(bool ask, std::string& name, const SortableKernelIdArray* tracks, bool interactive) {
  if (ask && !AskPlaylistName(name)) return -1;
  StripTrailingBackslash(name, platform::Trim(name));
  if (name.empty()) {
    if (interactive) ShowInformation("Playlist name cannot be blank.");
    return -1;
  }
  const std::vector<KernelId> none;
  const std::vector<KernelId>& ids = tracks != nullptr ? *tracks : none;
  try {
    KernelDevice& device = Device();
    KernelId playlist;
    int status = 0;
    {
      platform::WaitCursor wait;
      status = device.CreatePlaylist(name, playlist);
    }
    bool filled = false;
    if (status == kStatusPlaylistExists) {
      if (interactive) {
        ShowInformation("Playlist '" + name + "' already exists.");
        return -1;
      }
      std::uint32_t overwrite = 0;
      ReadSettingDword("JB_Tx_OverwritePlaylists", overwrite);
      if (overwrite == 0) return -1;
      // The old playlist goes only once the new one holds the tracks.
      platform::WaitCursor wait;
      if (tools::ReplacePlaylist(device, playlist, ids) != 0) return -1;
      filled = true;
    } else if (status != 0) {
      if (interactive) ShowInformation("Could not create playlist '" + name + "' (error " + std::to_string(status) + ").");
      return -1;
    }
    if (!filled && !ids.empty()) {
      int added = 0;
      {
        platform::WaitCursor wait;
        added = AddPending(device, playlist, ids);
      }
      if (added != 0) ShowMessageBox(std::to_string(added), platform::MB_OK);
    }
    if (interactive) NotifyPlaylistsChanged();
    device.CommitChanges();
    return static_cast<int>(ids.size());
  } catch (const std::exception& e) {
    KernelDeviceClient::ReportError("Could not create playlist.", e);
    return -1;
  }
}

void CreateNewPlaylist() {
  std::string name = "type name here";
  CreateDevicePlaylist(true, name, nullptr, true);
}

void CreatePlaylistFromTracks(const SortableKernelIdArray& tracks) {
  std::string name = "type name here";
  const int count = CreateDevicePlaylist(true, name, &tracks, true);
  if (count < 0) {
    ShowInformation("Could not create playlist using selected items.");
    return;
  }
  ShowInformation("Playlist '" + name + "' created with " + std::to_string(count) + " track" +
                  Plural(static_cast<std::size_t>(count)) + ".");
}

int AddTracksToPlaylist(const KernelId& playlist, const SortableKernelIdArray& tracks) {
  try {
    KernelDevice& device = Device();
    KernelId entry;
    int before = 0, after = 0, status = 0;
    {
      platform::WaitCursor wait;
      before = device.GetFirstPlaylistItem(playlist, entry);
      status = AddPending(device, playlist, tracks);
      after = device.GetFirstPlaylistItem(playlist, entry);
    }
    // The report counts what the player took, not what was offered.
    const std::size_t added = after > before ? static_cast<std::size_t>(after - before) : 0;
    if (status != 0 && added == 0) {
      ShowInformation("Could not add track(s) to playlist " + device.GetPlaylistName(playlist) + " (error " +
                      std::to_string(status) + ").");
      return 0;
    }
    std::uint32_t quiet = 0;
    ReadSettingDword("Gen_DisableCompletionConfirmations", quiet);
    if (quiet == 0) {
      ShowInformation(std::to_string(added) + " track" + Plural(added) + " added to playlist " +
                      device.GetPlaylistName(playlist) + ".");
    }
    platform::WaitCursor wait;
    device.CommitChanges();
    RefreshFolderViews();
  } catch (const std::exception& e) {
    KernelDeviceClient::ReportError("Could not add track(s) to playlist.", e);
    return 0;
  }
  return 1;
}

void RemoveFromPlaylistOrQueue(const CPidlLast& parent, const CPidlList& selection) {
  if (selection.empty()) {
    ShowInformation("Please select at least one item to remove.");
    return;
  }
  const std::uint32_t first = selection.front()->nodeType;
  if (first != NT_PLITEM && first != NT_QITEM) {
    ShowInformation("This item cannot be removed.");
    return;
  }
  try {
    platform::WaitCursor wait;
    KernelDevice& device = Device();
    CPidlList ordered = selection;
    ordered.SortById(-1);
    for (const CPidlLast& item : ordered) {
      if (item->nodeType == NT_QITEM) device.RemoveFromQueue(item.GetId());
    }
    if (first == NT_PLITEM) {
      KernelId playlist = CurrentPlaylistId(device, parent.Item());
      const int status = RemovePlaylistEntries(device, playlist, ordered);
      if (status != 0) {
        ShowInformation("Could not remove the entries from the playlist '" + parent.GetDisplayName() + "' (error " +
                        std::to_string(status) + ").");
      }
      device.CommitChanges();
      if (FindRewrittenPlaylist(device, parent.Item())) {
        NotifyPlaylistsChanged();  // written anew under a new id: the trees learn of it too
        return;
      }
    } else {
      device.CommitChanges();
    }
    RefreshFolderViews();
  } catch (const std::exception& e) {
    KernelDeviceClient::ReportError("Could not remove items.", e);
  }
}

std::optional<KernelId> FindRewrittenPlaylist(KernelDevice& device, const ShellItemData& listed) {
  std::optional<KernelId> named;
  KernelId playlist;
  for (int n = device.GetFirstPlaylist(playlist); n != 0; n = device.GetNextPlaylist(playlist)) {
    if (playlist.word[0] == listed.id.word[0]) return std::nullopt;
    if (!named && device.GetPlaylistName(playlist) == listed.DisplayName()) named = playlist;
  }
  return named;
}

KernelId CurrentPlaylistId(KernelDevice& device, const ShellItemData& listed) {
  return FindRewrittenPlaylist(device, listed).value_or(listed.id);
}

void BackupPlaylists(const std::vector<KernelId>& playlists) {
  const std::optional<std::string> folder =
      platform::PickFolder(GetOwnerWindow(), "Select a folder where playlist backup(s) will be created:");
  if (!folder) return;
  if (folder->empty()) {
    ShowInformation("Invalid target folder.");
    return;
  }
  if (!platform::QueryFile(*folder).directory) {
    // Once for the folder, not once per playlist.
    ShowInformation("The folder " + platform::ToPosixPath(*folder) + " does not exist.\nNo playlist backups were written.");
    return;
  }
  KernelDevice& device = Device();
  std::set<std::string> used;
  std::vector<std::string> failed;
  {
    platform::WaitCursor wait;
    for (const KernelId& playlist : playlists) {
      std::string name;
      try {
        name = device.GetPlaylistName(playlist);
        std::string bytes;
        KernelId track;
        for (int more = device.GetFirstPlaylistItem(playlist, track); more != 0;
             more = device.GetNextPlaylistItem(playlist, track)) {
          bytes += BackupRecord(device, track);
        }
        std::string path;
        NormalisePath(path, *folder + "\\" + UnusedName(BackupFileName(name), used));
        if (!ReplaceFileBytes(path, bytes)) failed.push_back(name);
      } catch (const std::exception&) {
        failed.push_back(name);
      }
    }
  }
  // One box for every failure; "complete" only when a backup was written (or none asked).
  std::string failures;
  for (const std::string& name : failed) {
    failures += (failures.empty() ? "" : "\n") + ("Could not write playlist backup file " + name + ".rpb.");
  }
  if (!failures.empty()) ShowInformation(failures);
  if (failed.empty() || failed.size() < playlists.size()) ShowInformation("Playlist backup complete.");
}

void BackupSelectedPlaylists(const CPidlList& selection) {
  std::vector<KernelId> playlists;
  for (const CPidlLast& item : selection) {
    if (item->nodeType == NT_PLAYLIST) playlists.push_back(item.GetId());
  }
  BackupPlaylists(playlists);
}

void BackupAllPlaylists() {
  std::vector<KernelId> playlists;
  try {
    KernelDevice& device = Device();
    KernelId playlist;
    for (int more = device.GetFirstPlaylist(playlist); more != 0; more = device.GetNextPlaylist(playlist)) {
      playlists.push_back(playlist);
    }
  } catch (const std::exception& e) {
    KernelDeviceClient::ReportError("Could not read the playlists.", e);
    return;
  }
  BackupPlaylists(playlists);
}

void RestorePlaylist() {
  const std::optional<std::string> file =
      platform::PickOpenFile(GetOwnerWindow(), "Select a playlist backup to restore:",
                             "Playlist Backups (*.rpb)|*.rpb|All Files (*.*)|*.*||", "rpb");
  if (!file) return;
  // The chosen file may be anything: a FIFO would hang the read, a device never end it.
  const platform::ReadFileResult read = platform::ReadRegularFile(*file, kMaxBackupBytes);
  if (!read.ok()) {
    ShowInformation("Could not read the file " + platform::ShownPath(*file) + ": " +
                    platform::OpenFileErrorText(read.error, kMaxBackupBytes) + ".");
    return;
  }
  const std::optional<std::vector<std::string>> records = ReadBackupRecords(read.bytes);
  if (!records) {
    ShowInformation("The file " + platform::ShownPath(*file) + " is not a playlist backup.");
    return;
  }
  std::string name = BackupStem(*file);
  if (!AskPlaylistName(name)) return;
  StripTrailingBackslash(name, platform::Trim(name));
  if (name.empty()) {
    ShowInformation("Playlist name cannot be blank.");
    return;
  }
  try {
    KernelDevice& device = Device();
    std::vector<KernelId> found;
    KernelId playlist;
    int status = 0;
    {
      platform::WaitCursor wait;
      for (const std::string& id : *records) {
        KernelId track;
        if (device.FindTrackByContentId(id, track) != 0) found.push_back(track);
      }
      status = device.CreatePlaylist(name, playlist);
      if (status == 0 && !found.empty()) {
        status = AddPending(device, playlist, found);
        if (status != 0) device.DeletePlaylist(playlist);  // no half-made playlist stays
      }
    }
    if (status == kStatusPlaylistExists) {
      if (ShowMessageBox("Playlist '" + name + "' already exists.\nDo you want to replace it with the backup?",
                         platform::MB_YESNO | platform::MB_ICONQUESTION) != platform::IDYES) {
        return;
      }
      platform::WaitCursor wait;
      status = tools::ReplacePlaylist(device, playlist, found);
    }
    if (status != 0) {
      ShowInformation("Could not restore playlist '" + name + "' (error " + std::to_string(status) + ").");
      NotifyPlaylistsChanged();
      return;
    }
    device.CommitChanges();
    NotifyPlaylistsChanged();
    std::string report =
        "Playlist '" + name + "' restored with " + std::to_string(found.size()) + " track" + Plural(found.size()) + ".";
    const std::size_t missing = records->size() - found.size();
    if (missing > 0) {
      report += "\n" + std::to_string(missing) + " track" + Plural(missing) + " of the backup " +
                (missing == 1 ? "is" : "are") + " not on the player.";
    }
    ShowInformation(report);
  } catch (const std::exception& e) {
    KernelDeviceClient::ReportError("Could not restore playlist.", e);
  }
}

}  // namespace shellext
