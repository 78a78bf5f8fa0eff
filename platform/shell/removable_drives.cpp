#include "platform/shell/removable_drives.h"

#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <system_error>

#include "platform/paths/paths.h"
#include "platform/text/text.h"

namespace platform {
namespace {

std::mutex g_sourcesMutex;
std::string g_mountTable;
std::string g_sysRoot;

void Sources(std::string& mountTable, std::string& sysRoot) {
  std::lock_guard<std::mutex> lock(g_sourcesMutex);
  mountTable = g_mountTable.empty() ? "/proc/self/mounts" : g_mountTable;
  sysRoot = g_sysRoot.empty() ? "/sys" : g_sysRoot;
}

// The mount table writes blanks, tabs, line ends and backslashes as octal escapes.
std::string Unescape(const std::string& field) {
  std::string out;
  for (std::size_t i = 0; i < field.size(); ++i) {
    if (field[i] == '\\' && i + 3 < field.size()) {
      const std::string digits = field.substr(i + 1, 3);
      if (digits.find_first_not_of("01234567") == std::string::npos) {
        out.push_back(static_cast<char>(std::stoi(digits, nullptr, 8)));
        i += 3;
        continue;
      }
    }
    out.push_back(field[i]);
  }
  return out;
}

std::string FirstLine(const std::filesystem::path& file) {
  std::ifstream in(file);
  std::string line;
  std::getline(in, line);
  return Trim(line);
}

// The block device's name: a link in /dev (by-label, by-uuid) names the device it points at.
std::string DeviceName(const std::string& source) {
  std::error_code ec;
  std::filesystem::path device = std::filesystem::canonical(source, ec);
  if (ec) device = source;
  return device.filename().string();
}

bool IsRemovableDevice(const std::string& sysRoot, const std::string& name) {
  namespace fs = std::filesystem;
  std::error_code ec;
  fs::path entry = fs::canonical(fs::path(sysRoot) / "class" / "block" / name, ec);
  if (ec) return false;
  // A partition's attributes are its disk's.
  const fs::path disk = fs::exists(entry / "partition", ec) ? entry.parent_path() : entry;
  if (FirstLine(disk / "removable") == "1") return true;
  if (disk.string().find("/usb") != std::string::npos) return true;
  return FirstLine(disk / "device" / "type") == "SD";
}

}  // namespace

void SetVolumeSourcesForTesting(std::string mountTable, std::string sysRoot) {
  std::lock_guard<std::mutex> lock(g_sourcesMutex);
  g_mountTable = std::move(mountTable);
  g_sysRoot = std::move(sysRoot);
}

std::vector<MountedVolume> ListMountedVolumes() {
  std::string mountTable;
  std::string sysRoot;
  Sources(mountTable, sysRoot);
  std::vector<MountedVolume> volumes;
  std::ifstream in(mountTable);
  for (std::string line; std::getline(in, line);) {
    std::istringstream fields(line);
    std::string source;
    std::string mountPoint;
    if (!(fields >> source >> mountPoint) || source.rfind("/dev/", 0) != 0) continue;
    MountedVolume v;
    v.mountPoint = Unescape(mountPoint);
    v.device = DeviceName(Unescape(source));
    // The system's own root is never a drive a person picks.
    v.removable = v.mountPoint != "/" && IsRemovableDevice(sysRoot, v.device);
    volumes.push_back(std::move(v));
  }
  return volumes;
}

UINT GetDriveType(std::string_view root) {
  if (root.size() < 2 || root[1] != ':' ||
      !((root[0] >= 'A' && root[0] <= 'Z') || (root[0] >= 'a' && root[0] <= 'z'))) {
    return DRIVE_NO_ROOT_DIR;
  }
  std::string folder = ToPosixPath(std::string(1, root[0]) + ":\\");
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  if (folder == "/") return DRIVE_NO_ROOT_DIR;
  const FileInfo info = QueryFile(FromPosixPath(folder));
  if (!info.exists || !info.directory) return DRIVE_NO_ROOT_DIR;
  std::error_code ec;
  const std::filesystem::path canonical = std::filesystem::canonical(folder, ec);
  for (const MountedVolume& v : ListMountedVolumes()) {
    if (!v.removable) continue;
    if (v.mountPoint == folder || (!ec && v.mountPoint == canonical.string())) return DRIVE_REMOVABLE;
  }
  return DRIVE_FIXED;
}

}  // namespace platform
