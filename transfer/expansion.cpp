#include "transfer/expansion.h"

#include <dirent.h>
#include <sys/stat.h>
#include <limits.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <optional>

#include "common/settings.h"
#include "platform/paths/paths.h"
#include "platform/text/text.h"
#include "platform/ui/desktop.h"
#include "platform/window/wait.h"
#include "shellext/name_dlg.h"
#include "transfer/conversion_rules.h"
#include "transfer/file_path.h"
#include "transfer/playlist_files.h"

namespace transfer {
namespace {

bool SettingOn(const std::string& name) {
  std::uint32_t value = 0;
  ReadSettingDword(name, value);
  return value != 0;
}

// A folder's entries but "." and "..", in the order the system gives them, as folder +
// "\" + name, each with what the folder says of it (nothing where it does not say: the
// entry is then looked up); false when the folder cannot be read.
bool ReadFolder(const std::string& folder, std::vector<std::string>& entries,
                std::vector<std::optional<platform::FileInfo>>& kinds) {
  DIR* dir = ::opendir(platform::ToPosixPath(folder).c_str());
  if (dir == nullptr) return false;
  std::string prefix = folder;
  if (prefix.empty() || prefix.back() != '\\') prefix += '\\';
  errno = 0;
  while (const dirent* e = ::readdir(dir)) {
    const std::string name = e->d_name;
    if (name == "." || name == "..") continue;
    entries.push_back(prefix + name);
    std::optional<platform::FileInfo> kind;
    if (e->d_type == DT_REG || e->d_type == DT_DIR || e->d_type == DT_LNK) {
      kind.emplace();
      kind->exists = true;
      kind->directory = e->d_type == DT_DIR;
      kind->symlink = e->d_type == DT_LNK;
    }
    kinds.push_back(kind);
  }
  const bool ok = errno == 0;
  ::closedir(dir);
  return ok;
}

// A playlist entry in the system's form: a POSIX absolute path comes in as any outside
// path does, other separators become backslashes.
std::string EntryPath(const std::string& entry) {
  if (!entry.empty() && entry[0] == '/') return platform::FromPosixPath(entry);
  std::string path = entry;
  std::replace(path.begin(), path.end(), '/', '\\');
  return path;
}

bool Exists(const std::string& path) { return !path.empty() && platform::QueryFile(path).exists; }

}  // namespace

bool ResolveShortcut(const std::string& path, std::string& target) {
  const std::string posix = platform::ToPosixPath(path);
  std::string link(PATH_MAX, '\0');
  const ssize_t n = ::readlink(posix.c_str(), link.data(), link.size());
  if (n <= 0 || static_cast<std::size_t>(n) >= link.size()) return false;
  link.resize(static_cast<std::size_t>(n));
  std::filesystem::path resolved(link);
  if (resolved.is_relative()) resolved = std::filesystem::path(posix).parent_path() / resolved;
  // "a/b/../../c" names the folder "c": a path with ".." in it would not compare with
  // the root or give its files their folder's group.
  std::string text = resolved.lexically_normal().string();
  while (text.size() > 1 && text.back() == '/') text.pop_back();
  target = platform::FromPosixPath(text);
  return true;
}

ListExpansion::ListExpansion(ExpansionLogFile* log, std::string root, std::vector<std::string>& found,
                             SourceGroups& roots, int audioOnly, shellext::CDeleteDialog* progress)
    : log_(log), root_(std::move(root)), found_(found), roots_(roots), audioOnly_(audioOnly), progress_(progress) {
  canonicalRoot_ = Canonical(root_);
}

void ListExpansion::Log(const std::string& line) {
  if (log_ != nullptr) log_->WriteString(line);
}

std::string ListExpansion::Canonical(const std::string& path) const {
  char resolved[PATH_MAX];
  if (::realpath(platform::ToPosixPath(path).c_str(), resolved) == nullptr) return {};
  return resolved;
}

void ListExpansion::ExpandPaths(int depth, const std::vector<std::string>& names, int recursionAllowed) {
  ExpandPaths(depth, names, {}, recursionAllowed);
}

void ListExpansion::ExpandPaths(int depth, const std::vector<std::string>& names,
                                const std::vector<std::optional<platform::FileInfo>>& known, int recursionAllowed) {
  for (std::size_t i = 0; i < names.size(); ++i) {
    const std::string& name = names[i];
    std::string line = "Processing " + name + "...";
    const platform::FileInfo entry = i < known.size() && known[i] ? *known[i] : platform::QueryEntry(name);
    if (!entry.exists) {
      Log(line + "invalid path...skipped.");
      continue;
    }
    if (!entry.directory || entry.symlink) {
      Log(line + "file...processing.");
      ExpandFileEntry(depth, name, entry, recursionAllowed);
      continue;
    }
    if (progress_ != nullptr) {
      progress_->SetItemText(name);
      progress_->Step();
      if (progress_->progress != nullptr && progress_->progress->GetPos() >= 100) progress_->progress->SetPos(0);
      platform::PumpMessages(0);
    }
    line += "directory...";
    if (!recursionAllowed || SettingOn("Gen_Tx_DisableRecursion")) {
      Log(line + "recursion disabled...skipped.");
      continue;
    }
    const std::string canonical = Canonical(name);
    if (!canonical.empty() && !walked_.insert(canonical).second) {
      Log(line + "already walked through another path...skipped.");
      continue;
    }
    std::vector<std::string> entries;
    std::vector<std::optional<platform::FileInfo>> kinds;
    if (!ReadFolder(name, entries, kinds)) {
      Log(line + "could not read contents...skipped.");
      continue;
    }
    Log(line + "contains " + std::to_string(entries.size()) + " items" + "...recursively processing.");
    ExpandPaths(depth + 1, entries, kinds, recursionAllowed);
  }
}

bool ListExpansion::MayFollow(const std::string& target) const {
  const std::string canonical = Canonical(target);
  if (canonical.empty()) {
    // A target that cannot be examined is judged by its text.
    return !IsSameOrInside(target, root_) && !IsSameOrInside(root_, target);
  }
  if (walked_.count(canonical) != 0) return false;
  if (canonicalRoot_.empty()) return !IsSameOrInside(target, root_) && !IsSameOrInside(root_, target);
  return !IsSameOrInside(canonical, canonicalRoot_, '/') && !IsSameOrInside(canonicalRoot_, canonical, '/');
}

void ListExpansion::ExpandFileEntry(int depth, const std::string& path, int recursionAllowed) {
  ExpandFileEntry(depth, path, platform::QueryEntry(path), recursionAllowed);
}

void ListExpansion::ExpandFileEntry(int depth, const std::string& path, const platform::FileInfo& entry,
                                    int recursionAllowed) {
  const FilePathParts parts = SplitFilePath(path);
  const std::string extension = platform::ToLowerAscii(parts.extension);
  if (PlaylistFormatOf(extension) != PlaylistFormat::kNone) {
    ExpandPlaylist(path, depth);
    return;
  }
  if (entry.symlink) {
    std::string target;
    if (!ResolveShortcut(path, target)) {
      Log("File is a shortcut...could not be resolved...skipping.");
      return;
    }
    std::string line = "File is a shortcut...resolved to " + target + ".\n";
    const platform::FileInfo info = platform::QueryFile(target);
    if ((info.directory || !info.exists) && !MayFollow(target)) {
      Log(line + "Following this shortcut would produce an infinite loop...skipping.\n");
      return;
    }
    Log(line);
    ExpandPaths(depth + 1, {target}, recursionAllowed);
    return;
  }
  // An entry that is no link is the file itself.
  if (!entry.exists) {
    Log("Invalid path...skipping.");
    return;
  }
  if (IsTransferableFormat(path)) {
    const std::string upper = platform::ToUpperAscii(extension.empty() ? extension : extension.substr(1));
    if (SettingOn("Gen_Tx_Skip" + upper)) {
      Log(upper + " files ignored.");
      return;
    }
  } else if (SettingOn("Gen_Tx_SkipData")) {
    Log("Data files ignored.");
    return;
  } else if (audioOnly_) {
    Log("only picking audio files...skipping.");
    return;
  }
  AddFound(path, GroupKeyOf(path));
  Log("File exists...added to filelist.");
}

void ListExpansion::ExpandPlaylist(const std::string& path, int depth) {
  std::string line = "File is a playlist...";
  if (audioOnly_) {
    Log(line + "only picking audio files...skipping.");
    return;
  }
  if (depth >= 1) {
    Log(line + "depth is greater than 0...skipping.");
    return;
  }
  // Only a plain file is opened: a pipe named like a playlist would never answer.
  struct stat st {};
  const std::string posix = platform::ToPosixPath(path);
  std::ifstream in;
  if (::stat(posix.c_str(), &st) == 0 && S_ISREG(st.st_mode)) in.open(posix, std::ios::binary);
  if (!in.is_open()) {
    Log(line + "could not open...skipping.");
    return;
  }
  Log(line + "opened...processing.");
  const FilePathParts parts = SplitFilePath(path);
  const PlaylistFormat format = PlaylistFormatOf(platform::ToLowerAscii(parts.extension));
  std::string raw;
  while (std::getline(in, raw)) {
    if (!raw.empty() && raw.back() == '\r') raw.pop_back();
    const std::optional<std::string> read = PlaylistEntry(format, raw);
    if (!read) continue;
    if (format == PlaylistFormat::kWpl) Log(*read + "\n");
    if (format == PlaylistFormat::kRmp) Log("\n" + *read);
    const std::string entry = EntryPath(*read);
    Log("Path: " + entry + ".");
    std::string added;
    std::string result;
    if (!entry.empty() && entry[0] == '\\') {
      if (Exists(entry)) {
        added = entry;
        result = "UNC path...added to filelist.";
      } else if (Exists(parts.drive + entry)) {
        added = parts.drive + entry;
        result = "Drive relative path...added to filelist using drive " + parts.drive + ".";
      } else {
        result = "Invalid UNC path...skipping.";
      }
    } else {
      // A relative entry is never looked up against the process's own folder.
      const bool absolute = !SplitFilePath(entry).drive.empty();
      if (absolute && Exists(entry)) {
        added = entry;
        result = "Fully-qualifed path...added to filelist.";
      } else if (!absolute && Exists(parts.Folder() + entry)) {
        added = parts.Folder() + entry;
        result = "Relative path...added to filelist using root " + parts.drive + parts.directory + ".";
      } else {
        result = "Invalid path...skipping.";
      }
    }
    if (!added.empty()) AddFound(added, parts.name);
    Log(result);
  }
  Log("Done with playlist...closing.");
}

void ListExpansion::AddFound(const std::string& path, const std::string& groupKey) {
  found_.push_back(path);
  roots_.Add(groupKey, path);
}

std::string ListExpansion::GroupKeyOf(const std::string& path) const {
  const std::string folder = SplitFilePath(path).Folder();
  // A folder outside the root keeps its whole path: cutting the root's length off it
  // would make a name of whatever is left.
  if (!root_.empty() && IsSameOrInside(folder, root_)) return folder.substr(std::min(folder.size(), root_.size()));
  return folder;
}

void ExpandTransferList(ExpansionLogFile* log, ExpansionListFile* list, const std::vector<std::string>& selected,
                        std::vector<std::string>& files, SourceGroups& roots, int /*ignored*/, int sortResult,
                        int audioOnly) {
  platform::WaitCursor wait;
  auto write = [log](const std::string& line) {
    if (log != nullptr) log->WriteString(line);
  };
  int folders = 0;
  std::vector<std::optional<platform::FileInfo>> entries;
  entries.reserve(selected.size());
  for (const std::string& name : selected) {
    const platform::FileInfo& entry = entries.emplace_back(platform::QueryEntry(name)).value();
    if (entry.exists && (entry.directory || entry.symlink)) ++folders;
  }
  write(std::to_string(folders) + " directories detected at top-level.");
  write("Recursion enabled.");

  std::vector<std::string> found;
  if (!selected.empty()) {
    const FilePathParts first = SplitFilePath(selected.front());
    write("Transfer rooted at: " + first.drive + first.directory + ".");
    shellext::CDeleteDialog progress;
    progress.Start("Building file list...", 100);
    ListExpansion walk(log, first.Folder(), found, roots, audioOnly, &progress);
    walk.ExpandPaths(0, selected, entries, 1);
    progress.Close();
  }
  if (sortResult) {
    std::stable_sort(found.begin(), found.end(),
                     [](const std::string& a, const std::string& b) { return platform::CompareNoCase(a, b) < 0; });
  }
  for (const std::string& file : found) {
    files.push_back(file);
    if (list != nullptr) list->WriteString(file);
  }
  write(std::to_string(found.size()) + " files added to filelist.");
}

}  // namespace transfer
