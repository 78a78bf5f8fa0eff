// The stream playlist: an M3U file of tracks on the player, each addressed through the
// manager's HTTP server, which the computer's default player for playlists then plays.
#pragma once

#include <string>

namespace device {
class KernelDevice;
class SortableKernelIdArray;
}  // namespace device

namespace web {

// Writes <work folder>\lumarest\<ticks>.m3u (the folder emptied first) with CR LF lines:
// "#EXTM3U", then per track "#EXTINF:<seconds>,<file name>" and
// "http://127.0.0.1:<port>/stream/<item id>/<stream name>"; play-only tracks are left
// out (one message says so), and opens it. Refused with a message when the device has
// no tag index or the web server is disabled (VX_Disable). Answers the file's path, or
// "" when nothing was written.
std::string WriteStreamPlaylist(device::KernelDevice& device, const device::SortableKernelIdArray& ids);

}  // namespace web
