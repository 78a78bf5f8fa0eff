#include "transfer/expansion.h"

#include <dirent.h>
#include <sys/stat.h>
#include <limits.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <optional>

#include "common/settings.h"
#include "device/kernel_id.h"
#include "platform/paths/paths.h"
#include "platform/text/text.h"
#include "platform/ui/desktop.h"
#include "platform/window/wait.h"
#include "tools/name_dlg.h"
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

// A path crosses to the manager in a request's text field, cut at its size.
constexpr std::size_t kMaxPathBytes = sizeof(device::FixedString256::text);

// A folder's entries but "." and "..", as folder + "\" + name, in CompareNatural order of
// their names, each with what the folder says of it (nothing where it does not say: the
// entry is then looked up); false when the folder cannot be read. Names holding a
// backslash cannot be written in the system's form (it would name another file): they
// go to `refused`.
bool ReadFolder(const std::string& folder, std::vector<std::string>& entries,
                std::vector<std::optional<platform::FileInfo>>& kinds, std::vector<std::string>& refused) {
  DIR* dir = ::opendir(platform::ToPosixPath(folder).c_str());
  if (dir == nullptr) return false;
  std::string prefix = folder;
  if (prefix.empty() || prefix.back() != '\\') prefix += '\\';
  struct Entry {
    std::string name;
    std::optional<platform::FileInfo> kind;
  };
  std::vector<Entry> read;
  errno = 0;
  while (const dirent* e = ::readdir(dir)) {
    const std::string name = e->d_name;
    if (name == "." || name == "..") continue;
    if (name.find('\\') != std::string::npos) {
      refused.push_back(prefix + name);
      continue;
    }
    std::optional<platform::FileInfo> kind;
    if (e->d_type == DT_REG || e->d_type == DT_DIR || e->d_type == DT_LNK) {
      kind.emplace();
      kind->exists = true;
      kind->directory = e->d_type == DT_DIR;
      kind->symlink = e->d_type == DT_LNK;
      kind->regular = e->d_type == DT_REG;
    }
    read.push_back({name, kind});
  }
  const bool ok = errno == 0;
  ::closedir(dir);
  std::sort(read.begin(), read.end(),
            [](const Entry& a, const Entry& b) { return platform::CompareNatural(a.name, b.name) < 0; });
  for (Entry& e : read) {
    entries.push_back(prefix + e.name);
    kinds.push_back(e.kind);
  }
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

// Why a link's target cannot be reached ("" when it can).
std::string UnreachableReason(const std::string& target) {
  struct stat st {};
  if (::stat(platform::ToPosixPath(target).c_str(), &st) == 0) return {};
  if (errno == ELOOP) return "a loop of links";
  if (errno == ENOENT || errno == ENOTDIR) return "the target does not exist";
  return "the target cannot be examined";
}

// "C:\a\b\" -> "C:\a\b": folder texts compare without their trailing separator.
std::string WithSeparator(std::string folder) {
  if (folder.empty() || folder.back() != '\\') folder += '\\';
  return folder;
}

}  // namespace

std::string UnholdablePathReason(const std::string& path) {
  if (!platform::IsValidUtf8(path)) return "the name is not valid UTF-8, which the player cannot take";
  if (path.size() > kMaxPathBytes) {
    return "the path is longer than " + std::to_string(kMaxPathBytes) + " bytes, which the player cannot take";
  }
  return {};
}

bool TransferOrderLess(const std::string& a, const std::string& b) {
  // Piece by piece in place: the sort of a large list calls this some n log n times, and
  // the paths' common folders compare equal byte for byte.
  std::string_view x = a, y = b;
  for (;;) {
    const std::size_t i = x.find('\\'), j = y.find('\\');
    const std::string_view px = x.substr(0, i), py = y.substr(0, j);
    // A file comes before the folders beside it only by name, as in a listing.
    if (px != py) {
      if (const int c = platform::CompareNatural(px, py); c != 0) return c < 0;
    }
    if (i == std::string_view::npos || j == std::string_view::npos) return i == std::string_view::npos && j != i;
    x.remove_prefix(i + 1);
    y.remove_prefix(j + 1);
  }
}

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

// Files found below a folder belong, while the scope lasts, below another one.
class ListExpansion::AliasScope {
 public:
  AliasScope(ListExpansion& walk, const std::string& real, const std::string& shown) : walk_(walk) {
    walk_.aliases_.push_back({WithSeparator(real), WithSeparator(shown)});
  }
  ~AliasScope() { walk_.aliases_.pop_back(); }
  AliasScope(const AliasScope&) = delete;
  AliasScope& operator=(const AliasScope&) = delete;

 private:
  ListExpansion& walk_;
};

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
    const std::optional<platform::FileInfo> kind = i < known.size() ? known[i] : std::nullopt;
    if (depth != 0) {
      ExpandName(depth, names[i], kind, recursionAllowed);
      continue;
    }
    // A selected name from another folder than the first one's is seen from its own
    // folder: its files are grouped as if that folder were the root.
    const std::string folder = SplitFilePath(names[i]).Folder();
    std::optional<AliasScope> scope;
    if (!IsSameOrInside(folder, root_) || !IsSameOrInside(root_, folder)) scope.emplace(*this, folder, root_);
    ExpandName(depth, names[i], kind, recursionAllowed);
  }
}

void ListExpansion::ExpandName(int depth, const std::string& name, const std::optional<platform::FileInfo>& known,
                               int recursionAllowed) {
  std::string line = "Processing " + name + "...";
  if (name.find('\0') != std::string::npos) {
    Log(line + "invalid path...skipped.");
    return;
  }
  if (depth > kMaxExpansionDepth) {
    Log(line + "nested more than " + std::to_string(kMaxExpansionDepth) + " levels deep...skipped.");
    return;
  }
  const platform::FileInfo entry = known ? *known : platform::QueryEntry(name);
  if (!entry.exists) {
    Log(line + "invalid path...skipped.");
    return;
  }
  if (!entry.directory || entry.symlink) {
    Log(line + "file...processing.");
    ExpandFileEntry(depth, name, entry, recursionAllowed);
    return;
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
    return;
  }
  const std::string canonical = Canonical(name);
  if (!canonical.empty() && !walked_.insert(canonical).second) {
    Log(line + "already walked through another path...skipped.");
    return;
  }
  std::vector<std::string> entries, refused;
  std::vector<std::optional<platform::FileInfo>> kinds;
  if (!ReadFolder(name, entries, kinds, refused)) {
    Log(line + "could not read contents...skipped.");
    return;
  }
  Log(line + "contains " + std::to_string(entries.size() + refused.size()) + " items" + "...recursively processing.");
  for (const std::string& r : refused) {
    Log("Processing " + r + "...the name holds a backslash, which the player cannot take...skipped.");
  }
  ExpandPaths(depth + 1, entries, kinds, recursionAllowed);
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
    // A dangling link or a loop of links leads nowhere; following it would only find
    // itself again.
    if (const std::string reason = UnreachableReason(target); !reason.empty()) {
      Log(line + "The shortcut leads nowhere (" + reason + ")...skipping.\n");
      return;
    }
    const platform::FileInfo info = platform::QueryFile(target);
    if (info.directory && !MayFollow(target)) {
      Log(line + "Following this shortcut would produce an infinite loop...skipping.\n");
      return;
    }
    Log(line);
    // What lies behind the link is seen where the link is.
    const std::string shownFolder = ShownFolder(parts.Folder());
    const AliasScope scope(*this, info.directory ? target : SplitFilePath(target).Folder(),
                           info.directory ? shownFolder + parts.FileName() : shownFolder);
    ExpandPaths(depth + 1, {target}, recursionAllowed);
    return;
  }
  // An entry that is no link is the file itself.
  if (!entry.exists) {
    Log("Invalid path...skipping.");
    return;
  }
  bool audio = false;
  if (const std::string refusal = FileRefusal(path, entry, audio); !refusal.empty()) {
    Log(refusal);
    return;
  }
  if (!audio && audioOnly_) {
    Log("only picking audio files...skipping.");
    return;
  }
  // Only the files of folders make groups: a file chosen itself stands alone.
  AddFound(path, depth == 0 ? std::string() : GroupKeyOf(path), audio);
  Log("File exists...added to filelist.");
}

std::string ListExpansion::FileRefusal(const std::string& path, const platform::FileInfo& info, bool& audio) {
  audio = false;
  if (!info.exists) return "Invalid path...skipping.";
  // A FIFO would block whoever opens it; a device never ends.
  if (!info.regular) return "not a regular file...skipping.";
  if (const std::string reason = UnholdablePathReason(path); !reason.empty()) return reason + "...skipping.";
  if (IsTransferableFormat(path)) {
    const std::string extension = platform::ToLowerAscii(SplitFilePath(path).extension);
    const std::string upper = platform::ToUpperAscii(extension.empty() ? extension : extension.substr(1));
    if (Skips("Gen_Tx_Skip" + upper)) return upper + " files ignored.";
    audio = true;
    return {};
  }
  if (Skips("Gen_Tx_SkipData")) return "Data files ignored.";
  return {};
}

bool ListExpansion::Skips(const std::string& setting) {
  // Each look at the settings checks their file: once per file of a large list was a
  // good part of the walk.
  const auto [at, added] = skips_.try_emplace(setting, false);
  if (added) at->second = SettingOn(setting);
  return at->second;
}

std::string ListExpansion::PlaylistEntryRefusal(const std::string& path) {
  const platform::FileInfo info = platform::QueryFile(path);
  if (info.directory) return "a folder...skipping.";
  bool audio = false;
  if (std::string refusal = FileRefusal(path, info, audio); !refusal.empty()) return refusal;
  // A playlist may come from anywhere: it sends only audio to the player.
  if (!audio) return "not an audio file...skipping.";
  return {};
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
  // Only a plain file is read, and only up to a bound: a pipe named like a playlist
  // would never answer, a device never end.
  const platform::ReadFileResult read = platform::ReadRegularFile(path, kMaxPlaylistBytes);
  if (!read.ok()) {
    Log(line + "could not open (" + platform::OpenFileErrorText(read.error, kMaxPlaylistBytes) + ")...skipping.");
    return;
  }
  const std::string canonical = Canonical(path);
  const FilePathParts parts = SplitFilePath(path);
  for (const auto& [key, file] : playlistKeys_) {
    if (file == canonical) {
      Log(line + "already read...skipping.");
      return;
    }
  }
  Log(line + "opened...processing.");
  const std::string groupKey = PlaylistGroupKey(canonical, parts.name);
  const PlaylistFormat format = PlaylistFormatOf(platform::ToLowerAscii(parts.extension));
  for (const std::string& text : PlaylistEntries(format, read.bytes)) {
    if (format == PlaylistFormat::kWpl || format == PlaylistFormat::kAsx) Log(text + "\n");
    if (format == PlaylistFormat::kRmp) Log("\n" + text);
    const std::string entry = EntryPath(text);
    Log("Path: " + entry + ".");
    if (platform::TrimView(entry).empty()) {
      Log("Empty entry...skipping.");
      continue;
    }
    // "a.txt\0.mp3" would open "a.txt" while it looks like audio.
    if (entry.find('\0') != std::string::npos) {
      Log("Invalid path...skipping.");
      continue;
    }
    std::string added;
    std::string result;
    if (entry[0] == '\\') {
      if (Exists(entry)) {
        added = entry;
        result = "UNC path...";
      } else if (Exists(parts.drive + entry)) {
        added = parts.drive + entry;
        result = "Drive relative path...";
      } else {
        result = "Invalid UNC path...skipping.";
      }
    } else {
      // A relative entry is never looked up against the process's own folder.
      const bool absolute = !SplitFilePath(entry).drive.empty();
      if (absolute && Exists(entry)) {
        added = entry;
        result = "Fully-qualifed path...";
      } else if (!absolute && Exists(parts.Folder() + entry)) {
        added = parts.Folder() + entry;
        result = "Relative path...";
      } else {
        result = "Invalid path...skipping.";
      }
    }
    if (!added.empty()) {
      if (const std::string refusal = PlaylistEntryRefusal(added); !refusal.empty()) {
        result += refusal;
      } else {
        AddFound(added, groupKey, true);
        result += "added to filelist";
        if (result.starts_with("Drive relative")) result += " using drive " + parts.drive;
        if (result.starts_with("Relative")) result += " using root " + parts.drive + parts.directory;
        result += ".";
      }
    }
    Log(result);
  }
  Log("Done with playlist...closing.");
}

std::string ListExpansion::PlaylistGroupKey(const std::string& canonical, const std::string& name) {
  // Two playlist files of one name make two groups, never one of both.
  std::string key = name;
  for (int n = 2;; ++n) {
    const bool taken = std::any_of(playlistKeys_.begin(), playlistKeys_.end(), [&](const auto& k) {
      return platform::EqualsNoCase(k.first, key);
    });
    if (!taken) break;
    key = name + " (" + std::to_string(n) + ")";
  }
  playlistKeys_.emplace_back(key, canonical);
  return key;
}

void ListExpansion::AddFound(const std::string& path, const std::string& groupKey, bool audio) {
  found_.push_back(path);
  // Data files make no playlist.
  if (audio) roots_.Add(groupKey, path);
}

std::string ListExpansion::ShownFolder(const std::string& folder) const {
  const std::string f = WithSeparator(folder);
  for (auto a = aliases_.rbegin(); a != aliases_.rend(); ++a) {
    if (IsSameOrInside(f, a->real)) return a->shown + f.substr(std::min(f.size(), a->real.size()));
  }
  return f;
}

std::string ListExpansion::GroupKeyOf(const std::string& path) const {
  const std::string folder = ShownFolder(SplitFilePath(path).Folder());
  if (!root_.empty() && IsSameOrInside(folder, root_)) {
    return folder.substr(std::min(folder.size(), WithSeparator(root_).size()));
  }
  // Not below the root as seen: named by its own folder's name, not by its whole path.
  const std::string name = SplitFilePath(folder.substr(0, folder.size() - 1)).FileName();
  return name.empty() ? std::string() : name + "\\";
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
  if (sortResult) std::stable_sort(found.begin(), found.end(), TransferOrderLess);
  files.insert(files.end(), found.begin(), found.end());
  if (list != nullptr) list->WriteLines(found);
  write(std::to_string(found.size()) + " files added to filelist.");
}

}  // namespace transfer
