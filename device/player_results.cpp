#include "device/player_results.h"

namespace device {

std::string PlayerResultText(std::uint32_t code) {
  static const struct {
    std::uint32_t code;
    const char* text;
  } kTexts[] = {
      {0x80004005, "Unspecified failure."},
      {0x80070057, "Invalid or NULL arguments."},
      {kPlayerResultDiskFull, "Could not download, disk is full."},
      {0x88, "Invalid filetype."},
      {0x8E, "Cannot continue copying file to PC."},
      {0x8A, "Audio format not found."},
      {0x87, "Invalid track, file, or playlist ID."},
      {0x85, "No more items in enumeration."},
      {0x18, "File is copy-protected."},
      {0x8D, "Device is busy with previous operation."},
      {0x8C, "Library on-board the device is corrupt.  Do a cleanup."},
      {0x86, "Device driver could not load."},
      {0x95, "File is DRM-protected."},
      {0x99, "Storage media not found."},
      {0x83, "Not enough free memory to complete the operation."},
      {0x80, "Device not connected."},
      {0x82, "USB/1394 port is in use or unavailable."},
      {0x98, "SmartMedia card is write protected."},
      {0x11, "Track already exists on device."},
      {0x16, "General error during transfer."},
      {0x91, "Unsupported item type or property type."},
      {0x8F, "Selected file path is invalid, or disk is full."},
  };
  for (const auto& row : kTexts) {
    if (row.code == code) return row.text;
  }
  return {};
}

}  // namespace device
