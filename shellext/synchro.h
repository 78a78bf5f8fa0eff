// Brevlink, the view's "Sync": the audio files of the PC source folders
// (`JB_Tx_SyncFolderList`) that the player has not taken yet go to it through the transfer.
// The synchronisation cache in the work folder "filech" remembers them, one line per file:
// size, modification time and path. "tmp.adb" holds the files handed to the last
// transfer; the next run moves those that the transfer log shows on the player ("complete."
// or "already exists") into "cur2.db", and sends the others again (the player refuses a
// track it holds already). A file is sent again when it changed; resetting the cache (the
// Brevlink options page) sends everything again. With `JB_Tx_SyncLogging` the analysis is
// written to "_synclog.txt".
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace transfer {
class TempFile;
}

namespace shellext {

struct SyncFileState {
  std::uint64_t size = 0;
  std::int64_t modified = 0;  // seconds since 1970
  bool operator==(const SyncFileState&) const = default;
};

// The cache: path (Windows form) -> what the file was when it was handed over.
using SyncCache = std::map<std::string, SyncFileState>;
SyncCache ReadSyncCache(const std::string& file);
// Written whole into a new file that then replaces the old; false when it failed.
bool WriteSyncCache(const std::string& file, const SyncCache& cache);
// GetWorkFolder("filech") + "cur2.db": the files on the player.
std::string SyncCachePath();
// GetWorkFolder("filech") + "tmp.adb": the files handed to the last transfer.
std::string SyncPendingPath();

// The pending files that the transfer log (its text) shows on the player: sent
// ("complete.") or there already ("already exists...skipped.").
std::vector<std::string> ConfirmedByTransferLog(const std::string& logText, const SyncCache& pending);

struct SyncScan {
  std::vector<std::string> newFiles;            // new or changed since they were handed over, in folder order
  std::map<std::string, SyncFileState> states;  // of the new files
  int unchanged = 0;
  std::vector<std::string> missingFolders;
  int otherFiles = 0;  // not audio the transfer sends
};

// Walks the folders (sub-folders too, symbolic links to folders not followed) and sorts
// their audio files by the cache; each step goes to the log when one is given.
SyncScan ScanSourceFolders(const std::vector<std::string>& folders, const SyncCache& cache, transfer::TempFile* log);

// Hands files to the player's transfer (it reports its own failures).
using SyncSender = std::function<void(const std::vector<std::string>& files)>;

// The whole command: reads the settings, takes what the last transfer confirmed into the
// cache, scans, tells the person what it found, hands the new files to `send` and keeps
// them as pending.
void RunSynchro(const SyncSender& send);

}  // namespace shellext
