// The stream playlist: an M3U file of tracks on the player, each addressed through the
// manager's HTTP server, which the computer's default player for playlists then plays.
// The manager's tray and the library's "Play on Computer" both write it here.
#pragma once

#include <string>

namespace device {

class KernelDevice;
class SortableKernelIdArray;

// Writes <work folder>\lumarest\<ticks>.m3u (the folder emptied first) with CR LF lines:
// "#EXTM3U", then per track "#EXTINF:<seconds>,<file name>" and
// "http://127.0.0.1:<port>/stream/<item id>/<stream name>"; play-only tracks are left
// out (one message says so), and opens it. Refused with a message when the device has
// no tag index or the web server is disabled (VX_Disable). Answers the file's path, or
// "" when nothing was written.
// A playlist file that cannot be written is reported, and nothing is opened.
std::string WriteStreamPlaylist(KernelDevice& device, const SortableKernelIdArray& ids);

// The library's name for the same routine.
inline void PlayTracksOnComputer(KernelDevice& device, const SortableKernelIdArray& ids) {
  WriteStreamPlaylist(device, ids);
}

}  // namespace device
