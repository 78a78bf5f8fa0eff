#include "tools/playlist_replace.h"

#include <string>

using namespace device;

namespace tools {

namespace {

constexpr int kStatusPlaylistExists = 4;

// Deletes the new playlist after a failure, whatever else goes wrong meanwhile.
void Discard(KernelDevice& device, const KernelId& fresh) {
  try {
    device.DeletePlaylist(fresh);
  } catch (const std::exception&) {
  }
}

}  // namespace

int ReplacePlaylist(KernelDevice& device, KernelId& playlist, const std::vector<KernelId>& tracks) {
  const std::string name = device.GetPlaylistName(playlist);
  KernelId fresh;
  int status = 0;
  // After the name, or alone when the name leaves no room for the mark.
  for (const std::string& base : {name + " ", std::string()}) {
    for (int n = 1; n <= 20; ++n) {
      status = device.CreatePlaylist(base + (n == 1 ? "(new)" : "(new " + std::to_string(n) + ")"), fresh);
      if (status != kStatusPlaylistExists) break;
    }
    if (status == 0) break;
  }
  if (status != 0) return status;
  try {
    device.ClearPendingIds();
    for (const KernelId& track : tracks) device.AddPendingId(track);
    if (!tracks.empty()) status = device.AddPendingToPlaylist(fresh);
    if (status == 0) status = device.DeletePlaylist(playlist);
  } catch (const std::exception&) {
    Discard(device, fresh);
    throw;
  }
  if (status != 0) {
    Discard(device, fresh);
    return status;
  }
  status = device.RenamePlaylist(fresh, name);
  if (status == 0) fresh.SetName(name);
  playlist = fresh;
  return status;
}

}  // namespace tools
