// Playlists made after a transfer: one per folder or playlist file the sent files came
// from, holding the tracks just sent in the order the expansion found them.
#include <algorithm>

#include "common/folders.h"
#include "common/settings.h"
#include "device/device_client_error.h"
#include "device/device_status.h"
#include "device/kernel_device_client.h"
#include "platform/text/text.h"
#include "platform/ui/host.h"
#include "transfer/transfer_dialog.h"

using namespace device;

namespace transfer {

int TransferShell::CreateDevicePlaylist(KernelDevice& device, std::string& name, const std::vector<KernelId>& tracks) {
  std::string trimmed;
  StripTrailingBackslash(trimmed, platform::Trim(name));
  name = trimmed;
  if (name.empty()) return -1;
  try {
    KernelId playlist;
    int status = device.CreatePlaylist(name, playlist);
    if (status == kStatusPlaylistExists) {
      std::uint32_t overwrite = 0;
      ReadSettingDword("JB_Tx_OverwritePlaylists", overwrite);
      if (overwrite == 0) return -1;
      device.DeletePlaylist(playlist);
      status = device.CreatePlaylist(name, playlist);
    }
    if (status != kStatusOk) return -1;
    if (!tracks.empty()) {
      device.ClearPendingIds();
      for (const KernelId& track : tracks) device.AddPendingId(track);
      device.AddPendingToPlaylist(playlist);
    }
    device.CommitChanges();
    return static_cast<int>(tracks.size());
  } catch (const std::exception& e) {
    KernelDeviceClient::ReportError("Could not create playlist.", e);
    return -1;
  }
}

int CTransferDialog::BuildAutoPlaylists(TransferLogFile* log, const SourceGroups& roots,
                                        const std::map<std::string, SentTrack>& sentTracks, int ask) {
  const auto write = [log](const std::string& line) {
    if (log != nullptr) log->WriteString(line);
  };
  bool named = false;
  for (const SourceGroups::Group& g : roots.groups()) named = named || !platform::Trim(g.key).empty();
  if (!named) return 0;
  if (ask != 0) {
    std::uint32_t noAsking = 0;
    ReadSettingDword("JB_Tx_DisableAskAutoPlaylistCreation", noAsking);
    if (noAsking != 0) return 0;
    if (ShowMessageBox("Directories and/or playlists were transferred.  Would you like to generate playlists out of them?",
                       platform::MB_YESNO | platform::MB_ICONQUESTION) != platform::IDYES) {
      return 0;
    }
  }
  device_.InvalidateTrackIndex();
  int made = 0;
  std::vector<std::string> names;  // made in this run
  for (const SourceGroups::Group& g : roots.groups()) {
    const std::string key = platform::Trim(g.key);
    if (key.empty()) continue;
    write("\nAttempting to automatically build playlist '" + key + "'.");
    std::vector<KernelId> tracks;
    for (const std::string& path : g.paths) {
      const auto sent = sentTracks.find(path);
      if (sent == sentTracks.end() || (sent->second.item == 0 && sent->second.contentId.empty())) {
        write("Could not find matching track for " + path + "...skipping.");
        continue;
      }
      // The item the player made of this very file; only a file it held already is
      // looked up by its tags (two untagged "01.mp3" have the same ones).
      KernelId track = KernelId::FromItemId(sent->second.item);
      if (sent->second.item == 0 && device_.FindTrackByContentId(sent->second.contentId, track) == 0) {
        write("Lookup failed, item not added.");
        continue;
      }
      TrackRecord record;
      device_.GetTrackInfo(track, record);
      write("Added: " + record.artist.Str() + " - " + record.album.Str() + " - " + record.title.Str());
      tracks.push_back(track);
    }
    // "Rock\Album\" becomes "Rock - Album".
    std::string name;
    StripTrailingBackslash(name, key);
    while (!name.empty() && name.front() == '\\') name.erase(name.begin());
    name = platform::ReplaceAll(name, "\\", " - ");
    if (tracks.empty()) {
      write("Playlist '" + key + "' was not created: none of its files is a track on the player.");
      continue;
    }
    // A folder and a playlist file of one name make two playlists.
    const std::string base = name;
    for (int n = 2; std::any_of(names.begin(), names.end(), [&](const std::string& m) { return platform::EqualsNoCase(m, name); }); ++n) {
      name = base + " (" + std::to_string(n) + ")";
    }
    names.push_back(name);
    const int count = shell_->CreateDevicePlaylist(device_, name, tracks);
    if (count < 0) {
      write("Playlist '" + key + "' was not created, either because of an error, or because it already exists.");
    } else {
      write("Playlist '" + key + "' created with " + std::to_string(count) + " items.");
      ++made;
    }
  }
  shell_->NotifyRootFolderUpdated();
  return made;
}

}  // namespace transfer
