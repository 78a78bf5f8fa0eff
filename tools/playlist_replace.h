// Rebuilding a playlist with other tracks without a moment in which they are lost. The
// player refuses two playlists of one name, so the new playlist is made under a
// temporary name and filled, the old one is deleted, and the new one takes the old name.
#pragma once

#include <vector>

#include "device/kernel_device.h"

namespace tools {

// Answers 0 with `playlist` naming the new playlist (under the old name). Otherwise the
// failing status: when the new playlist cannot be made or filled, or the old one cannot
// be deleted, the new one is deleted again and the old one stays as it was; when only
// the rename fails, the tracks are in the new playlist under its temporary name.
// Device errors are thrown, with the same guarantees up to the old playlist's deletion.
int ReplacePlaylist(device::KernelDevice& device, device::KernelId& playlist, const std::vector<device::KernelId>& tracks);

}  // namespace tools
