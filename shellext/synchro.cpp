#include "shellext/synchro.h"

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
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
#include "transfer/log_file.h"

namespace shellext {

namespace {

namespace fs = std::filesystem;

void Inform(const std::string& text) { ShowMessageBox(text, platform::MB_ICONINFORMATION); }

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
  const std::string target = platform::ToPosixPath(file);
  const std::string temporary = target + ".new";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    for (const auto& [path, state] : cache) out << state.size << '\t' << state.modified << '\t' << path << "\r\n";
    out.flush();
    if (!out) {
      std::error_code ec;
      fs::remove(temporary, ec);
      return false;
    }
  }
  std::error_code ec;
  fs::rename(temporary, target, ec);
  return !ec;
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
               " unchanged.");
  return scan;
}

void RunSynchro(const SyncSender& send) {
  std::string list;
  ReadSettingString("JB_Tx_SyncFolderList", list);
  std::vector<std::string> folders;
  SplitString(list, "|", folders);
  if (folders.empty()) {
    Inform("There are no PC source folders to synchronize.\n\nAdd them on the options page \"" +
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
  SyncCache cache = ReadSyncCache(cacheFile);
  SyncScan scan;
  {
    platform::WaitCursor wait;
    scan = ScanSourceFolders(folders, cache, log.get());
  }
  std::string missing;
  for (const std::string& f : scan.missingFolders) missing += "\n" + f;
  if (scan.newFiles.empty()) {
    Log(log.get(), "Nothing to transfer.");
    Inform("Brevlink found no new files to transfer." +
           (missing.empty() ? std::string() : "\n\nThese source folders are missing:" + missing));
    return;
  }
  if (!missing.empty()) Inform("These source folders are missing and were skipped:" + missing);
  send(scan.newFiles);
  Log(log.get(), "Handed " + std::to_string(scan.newFiles.size()) + " files to the transfer.");
  for (const auto& [path, state] : scan.states) cache[path] = state;
  if (!WriteSyncCache(cacheFile, cache)) Log(log.get(), "The cache could not be written.");
}

}  // namespace shellext
