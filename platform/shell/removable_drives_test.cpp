// Removable drives: which mounted volumes count as removable by their block devices'
// attributes, and which drive letters stand for them.
#include "platform/shell/removable_drives.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>

#include "testing/temp_folder.h"

namespace platform {
namespace {

namespace fs = std::filesystem;

class RemovableDrivesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = platform::testing::MakeTempFolder("tovdrives");
    ASSERT_FALSE(root_.empty());
    // Block devices as sysfs shows them: class/block links into the device tree.
    Disk("pci0000:00/usb1/1-1/host6/block/sdb", "0", {"sdb1"});  // a USB disk
    Disk("pci0000:00/ata2/host1/block/sdc", "1", {});            // removable media, whole disk
    Disk("pci0000:00/nvme/nvme0/block/nvme0n1", "0", {"nvme0n1p2"});
    Disk("pci0000:00/mmc_host/mmc0/block/mmcblk0", "0", {"mmcblk0p1"}, "SD");
    Disk("pci0000:00/mmc_host/mmc1/block/mmcblk1", "0", {"mmcblk1p1"}, "MMC");  // built-in memory
    for (const char* dir : {"stick", "card", "data", "emmc", "disc", "my player"})
      fs::create_directories(root_ + "/mnt/" + dir);
  }
  void TearDown() override {
    SetVolumeSourcesForTesting({}, {});
    ::unsetenv("TOVARIN_DRIVES");
    fs::remove_all(root_);
  }
  void Disk(const std::string& path, const std::string& removable, const std::vector<std::string>& partitions,
            const std::string& type = {}) {
    const fs::path disk = fs::path(root_) / "sys/devices" / path;
    fs::create_directories(disk);
    std::ofstream(disk / "removable") << removable << "\n";
    if (!type.empty()) {
      fs::create_directories(disk / "device");
      std::ofstream(disk / "device/type") << type << "\n";
    }
    fs::create_directories(root_ + "/sys/class/block");
    fs::create_symlink(disk, root_ + "/sys/class/block/" + disk.filename().string());
    for (const std::string& p : partitions) {
      fs::create_directories(disk / p);
      std::ofstream(disk / p / "partition") << "1\n";
      fs::create_symlink(disk / p, root_ + "/sys/class/block/" + p);
    }
  }
  void MountTable(const std::string& text) {
    std::ofstream(root_ + "/mounts") << text;
    SetVolumeSourcesForTesting(root_ + "/mounts", root_ + "/sys");
  }
  std::string Mnt(const std::string& dir) const { return root_ + "/mnt/" + dir; }
  std::string root_;
};

TEST_F(RemovableDrivesTest, VolumesAreRemovableByTheirDisksAttributes) {
  MountTable(
      "/dev/nvme0n1p2 / ext4 rw 0 0\n"
      "proc /proc proc rw 0 0\n"
      "tmpfs " +
      root_ + "/mnt/disc tmpfs rw 0 0\n" + "/dev/sdb1 " + Mnt("stick") + " vfat rw 0 0\n" + "/dev/sdc " + root_ +
      "/mnt/my\\040player vfat rw 0 0\n" + "/dev/mmcblk0p1 " + Mnt("card") + " exfat rw 0 0\n" + "/dev/mmcblk1p1 " +
      Mnt("emmc") + " ext4 rw 0 0\n" + "/dev/nvme0n1p2 " + Mnt("data") + " ext4 rw 0 0\n" +
      "/dev/sdz1 /media/gone vfat rw 0 0\n");
  struct Case {
    std::string mountPoint;
    std::string device;
    bool removable;
  };
  const std::vector<Case> expected = {
      {"/", "nvme0n1p2", false},         {Mnt("stick"), "sdb1", true},  // its disk hangs off USB
      {Mnt("my player"), "sdc", true},    // the disk's removable flag; the blank unescaped
      {Mnt("card"), "mmcblk0p1", true},   // an SD card
      {Mnt("emmc"), "mmcblk1p1", false},  // built-in memory card
      {Mnt("data"), "nvme0n1p2", false}, {"/media/gone", "sdz1", false},  // no such device in sysfs
  };
  const std::vector<MountedVolume> volumes = ListMountedVolumes();
  ASSERT_EQ(volumes.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(volumes[i].mountPoint, expected[i].mountPoint);
    EXPECT_EQ(volumes[i].device, expected[i].device);
    EXPECT_EQ(volumes[i].removable, expected[i].removable) << expected[i].mountPoint;
  }
}

TEST_F(RemovableDrivesTest, DriveLettersOfRemovableMountPoints) {
  MountTable("/dev/sdb1 " + Mnt("stick") + " vfat rw 0 0\n" + "/dev/nvme0n1p2 " + Mnt("data") + " ext4 rw 0 0\n");
  const std::string drives =
      "E=" + Mnt("stick") + "/;F=" + Mnt("data") + ";G=" + root_ + "/mnt/none;K=" + root_ + "/mnt/card";
  ::setenv("TOVARIN_DRIVES", drives.c_str(), 1);
  struct Case {
    const char* root;
    UINT type;
  };
  const Case cases[] = {
      {"E:\\", DRIVE_REMOVABLE},  // a trailing slash in the configuration changes nothing
      {"e:", DRIVE_REMOVABLE},     {"F:\\", DRIVE_FIXED},
      {"K:\\", DRIVE_FIXED},        // a folder, but no volume is mounted there
      {"G:\\", DRIVE_NO_ROOT_DIR},  // configured, missing
      {"H:\\", DRIVE_NO_ROOT_DIR},  // not configured: every such letter is "/"
      {"", DRIVE_NO_ROOT_DIR},     {"1:", DRIVE_NO_ROOT_DIR},
  };
  for (const Case& c : cases) EXPECT_EQ(GetDriveType(c.root), c.type) << c.root;
}

}  // namespace
}  // namespace platform
