// The stream playlist: an M3U file of tracks on the player, each addressed through the
// manager's HTTP server, which the computer's default player for playlists then plays.
#pragma once

#include <string>

namespace device {
class KernelDevice;
}  // namespace device
namespace device {
class SortableKernelIdArray;
}  // namespace device
std::string WriteStreamPlaylist(device::KernelDevice& device, const device::SortableKernelIdArray& ids);
