// Drive types: which drive letters stand for removable volumes (USB sticks, memory cards,
// players that mount as disks). A drive letter is a folder configured in $TOVARIN_DRIVES
// (platform/paths); it is removable when that folder is the mount point of a removable
// volume. The mount table (/proc/self/mounts) names the volumes and their block devices;
// the block devices' attributes in sysfs say which are removable: the kernel's
// "removable" flag of the disk, a disk attached through USB, or an SD card.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/window/window.h"

namespace platform {

// The desktop's drive types (GetDriveType).
constexpr UINT DRIVE_UNKNOWN = 0;
constexpr UINT DRIVE_NO_ROOT_DIR = 1;
constexpr UINT DRIVE_REMOVABLE = 2;
constexpr UINT DRIVE_FIXED = 3;

struct MountedVolume {
  std::string mountPoint;  // POSIX path
  std::string device;      // the block device's name in sysfs ("sdb1", "mmcblk0p1")
  bool removable = false;
};

// The volumes of block devices mounted now, in the order of the mount table.
std::vector<MountedVolume> ListMountedVolumes();

// The type of a drive by its root ("E:\" or "E:"): removable when the letter is configured
// and its folder is the mount point of a removable volume; fixed when it is configured and
// exists; no root otherwise (also for a letter left to the default "/", which stands for
// every unconfigured letter and is never a drive to pick).
UINT GetDriveType(std::string_view root);

// Where the two readings come from (tests point them at files of their own; empty texts
// restore /proc/self/mounts and /sys).
void SetVolumeSourcesForTesting(std::string mountTable, std::string sysRoot);

}  // namespace platform
