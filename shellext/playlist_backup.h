// The playlist backup file (".rpb"): per playlist entry, in order, the 20 bytes of the
// entry's content id (the SHA-1 of its artist, album and title); no header, no count.
// And the backup's file name, made from a playlist name that came from the player.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace shellext {

inline constexpr std::size_t kBackupRecordSize = 20;
inline constexpr std::string_view kBackupExtension = ".rpb";
// A backup larger than this (some 100,000 entries, far beyond a player's playlists) is
// not read.
inline constexpr std::uint64_t kMaxBackupBytes = 2u << 20;

// The playlist's name made one safe file-name part (SafeFileNamePart: "/", "\", ":",
// control characters, ? < > * | " and leading dots made "_"), + ".rpb".
std::string BackupFileName(std::string_view playlistName);

// A backup's content ids (40 upper-case hex digits each); nullopt when the size is not a
// whole number of records.
std::optional<std::vector<std::string>> ReadBackupRecords(std::string_view bytes);

}  // namespace shellext
