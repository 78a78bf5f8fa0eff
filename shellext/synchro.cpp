#include "shellext/synchro.h"

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <sstream>
#include <system_error>

#include "common/folders.h"
#include "common/identity.h"
#include "common/settings.h"
#include "common/shell_utilities.h"
#include "device/device_client_error.h"
#include "platform/paths/paths.h"
#include "platform/ui/desktop.h"
#include "transfer/conversion_rules.h"
#include "transfer/log_file.h"

using namespace device;

namespace shellext {

namespace {

namespace fs = std::filesystem;

void Log(transfer::TempFile* log, const std::string& line) {
  if (log != nullptr) log->WriteString(line);
}

std::optional<SyncFileState> StateOf(const std::string& windowsPath) {
  struct stat st {};
  if (::stat(platform::ToPosixPath(windowsPath).c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
  return SyncFileState{static_cast<std::uint64_t>(st.st_size), static_cast<std::int64_t>(st.st_mtime)};
}

std::string WithoutTrailingBackslash(const std::string& folder) {
  std::string out;
  StripTrailingBackslash(out, folder);
  return out;
}

void Walk(const std::string& folder, const SyncCache& cache, SyncScan& scan, transfer::TempFile* log, int depth) {
  std::vector<platform::DirectoryEntry> entries = platform::ListDirectory(folder);
  std::sort(entries.begin(), entries.end(),
            [](const platform::DirectoryEntry& a, const platform::DirectoryEntry& b) { return a.name < b.name; });
  for (const platform::DirectoryEntry& e : entries) {
    const std::string path = folder + "\\" + e.name;
    if (e.directory) {
      if (depth < 64) Walk(path, cache, scan, log, depth + 1);
      continue;
    }
    const platform::FileInfo info = platform::QueryFile(path);
    if (!info.exists || info.directory) continue;  // a link to a folder, or to nothing
    // A list of files holds one path a line.
    if (path.find_first_of("\r\n") != std::string::npos) continue;
    // Brevlink keeps music in step; other files (pictures, texts) stay on the computer.
    if (!transfer::IsTransferableFormat(path)) {
      ++scan.otherFiles;
      continue;
    }
    const std::optional<SyncFileState> state = StateOf(path);
    if (!state) continue;
    const auto known = cache.find(path);
    if (known != cache.end() && known->second == *state) {
      ++scan.unchanged;
      continue;
    }
    Log(log, path + "... " + (known == cache.end() ? "new." : "changed."));
    scan.newFiles.push_back(path);
    scan.states[path] = *state;
  }
}

}  // namespace

std::string SyncCachePath() {
  std::string folder;
  GetWorkFolder(folder, "filech");
  return folder + "cur2.db";
}

std::string SyncPendingPath() {
  std::string folder;
  GetWorkFolder(folder, "filech");
  return folder + "tmp.adb";
}

std::vector<std::string> ConfirmedByTransferLog(const std::string& logText, const SyncCache& pending) {
  // The transfer log's line of an audio file: "File: " + path + ".File is audio..." and
  // its steps, ending in the outcome.
  static const std::string kStart = "File: ";
  static const std::string kAudio = ".File is audio...";
  std::vector<std::string> confirmed;
  std::istringstream in(logText);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.rfind(kStart, 0) != 0) continue;
    if (!line.ends_with("...complete.") && !line.ends_with("...already exists...skipped.")) continue;
    // A name may hold the marker itself: every place it occurs is tried.
    for (std::size_t at = line.find(kAudio, kStart.size()); at != std::string::npos; at = line.find(kAudio, at + 1)) {
      std::string path = line.substr(kStart.size(), at - kStart.size());
      if (pending.count(path) != 0) {
        confirmed.push_back(std::move(path));
        break;
      }
    }
  }
  return confirmed;
}

SyncCache ReadSyncCache(const std::string& file) {
  SyncCache cache;
  std::ifstream in(platform::ToPosixPath(file), std::ios::binary);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const std::size_t first = line.find('\t');
    const std::size_t second = first == std::string::npos ? first : line.find('\t', first + 1);
    if (second == std::string::npos || second + 1 >= line.size()) continue;
    try {
      std::size_t used = 0;
      const std::string sizeText = line.substr(0, first);
      const std::string timeText = line.substr(first + 1, second - first - 1);
      const std::uint64_t size = std::stoull(sizeText, &used);
      if (used != sizeText.size()) continue;
      const std::int64_t time = std::stoll(timeText, &used);
      if (used != timeText.size()) continue;
      cache[line.substr(second + 1)] = SyncFileState{size, time};
    } catch (const std::exception&) {
      // a damaged line is forgotten: its file counts as new
    }
  }
  return cache;
}

bool WriteSyncCache(const std::string& file, const SyncCache& cache) {
  std::ostringstream out;
  for (const auto& [path, state] : cache) out << state.size << '\t' << state.modified << '\t' << path << "\r\n";
  return platform::ReplaceFile(platform::ToPosixPath(file), out.str(), platform::NewFileMode::kShared);
}

SyncScan ScanSourceFolders(const std::vector<std::string>& folders, const SyncCache& cache, transfer::TempFile* log) {
  SyncScan scan;
  for (const std::string& given : folders) {
    const std::string folder = WithoutTrailingBackslash(given);
    const platform::FileInfo info = platform::QueryFile(folder);
    if (!info.exists || !info.directory) {
      Log(log, "Scanning " + folder + "... missing.");
      scan.missingFolders.push_back(folder);
      continue;
    }
    Log(log, "Scanning " + folder + "...");
    Walk(folder, cache, scan, log, 0);
  }
  Log(log, std::to_string(scan.newFiles.size()) + " new or changed files, " + std::to_string(scan.unchanged) +
               " unchanged, " + std::to_string(scan.otherFiles) + " other files.");
  return scan;
}

void RunSynchro(const SyncSender& send) {
  std::string list;
  ReadSettingString("JB_Tx_SyncFolderList", list);
  std::vector<std::string> folders;
  SplitString(list, "|", folders);
  if (folders.empty()) {
    ShowInformation("There are no PC source folders to synchronize.\n\nAdd them on the options page \"" +
                    g_ProductIdentity.deviceWord + "::Brevlink\".");
    return;
  }
  std::uint32_t logging = 0;
  ReadSettingDword("JB_Tx_SyncLogging", logging);
  std::unique_ptr<transfer::TempFile> log;
  if (logging != 0) {
    log = std::make_unique<transfer::TempFile>(transfer::GetSyncLogPath());
    if (log->Open() == 0) log.reset();
  }
  const std::string cacheFile = SyncCachePath();
  const std::string pendingFile = SyncPendingPath();
  SyncCache cache = ReadSyncCache(cacheFile);
  // What the last transfer put on the player joins the cache; the rest is sent again.
  const SyncCache pending = ReadSyncCache(pendingFile);
  if (!pending.empty()) {
    // Only a log written after the hand-over tells of it (a log of the same clock tick
    // does not count: its files are sent again, and the player refuses those it has).
    const std::string logFile = platform::ToPosixPath(transfer::TransferLogFile().GetPath());
    std::error_code logEc, pendingEc;
    const fs::file_time_type logTime = fs::last_write_time(logFile, logEc);
    const fs::file_time_type handedTime = fs::last_write_time(platform::ToPosixPath(pendingFile), pendingEc);
    const bool current = !logEc && !pendingEc && logTime > handedTime;
    std::string logText;
    if (current) {
      std::ifstream in(logFile, std::ios::binary);
      logText.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    const std::vector<std::string> confirmed = ConfirmedByTransferLog(logText, pending);
    for (const std::string& path : confirmed) cache[path] = pending.at(path);
    Log(log.get(), std::to_string(confirmed.size()) + " of " + std::to_string(pending.size()) +
                       " files handed over last time are on the player.");
    if (!confirmed.empty() && !WriteSyncCache(cacheFile, cache)) Log(log.get(), "The cache could not be written.");
    platform::RemoveFile(pendingFile);
  }
  SyncScan scan;
  {
    platform::WaitCursor wait;
    scan = ScanSourceFolders(folders, cache, log.get());
  }
  std::string missing;
  for (const std::string& f : scan.missingFolders) missing += "\n" + platform::ShownPath(f);
  if (scan.newFiles.empty()) {
    Log(log.get(), "Nothing to transfer.");
    ShowInformation("Brevlink found no new files to transfer." +
                    (missing.empty() ? std::string() : "\n\nThese source folders are missing:" + missing));
    return;
  }
  if (!missing.empty()) ShowInformation("These source folders are missing and were skipped:" + missing);
  // Kept before the hand-over: the transfer may end, and its log be read, before `send`
  // returns.
  SyncCache handed(scan.states.begin(), scan.states.end());
  if (!WriteSyncCache(pendingFile, handed)) Log(log.get(), "The list of files handed over could not be written.");
  send(scan.newFiles);
  Log(log.get(), "Handed " + std::to_string(scan.newFiles.size()) + " files to the transfer.");
}

}  // namespace shellext
