#include "shellext/playlist_backup.h"

#include "common/folders.h"

namespace shellext {

std::string BackupFileName(std::string_view playlistName) {
  return SafeFileNamePart(playlistName, 255 - kBackupExtension.size()) + std::string(kBackupExtension);
}

std::optional<std::vector<std::string>> ReadBackupRecords(std::string_view bytes) {
  if (bytes.size() % kBackupRecordSize != 0) return std::nullopt;
  static const char kHex[] = "0123456789ABCDEF";
  std::vector<std::string> ids;
  ids.reserve(bytes.size() / kBackupRecordSize);
  for (std::size_t at = 0; at < bytes.size(); at += kBackupRecordSize) {
    std::string hex;
    for (std::size_t i = at; i < at + kBackupRecordSize; ++i) {
      const auto b = static_cast<unsigned char>(bytes[i]);
      hex += kHex[b >> 4];
      hex += kHex[b & 15];
    }
    ids.push_back(std::move(hex));
  }
  return ids;
}

}  // namespace shellext
