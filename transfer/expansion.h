// The transfer list expansion: the names a person sent (files, folders, symbolic links
// and playlist files) become the flat list of files to send, each with the source group
// it came from (source_groups.h). Folders are walked, links followed, playlist files
// read (only when they were selected themselves), and the per-format exclusion settings
// applied. Every decision goes into the expansion log and the final list into the
// expansion list; a progress pop-up names the folder being read. Nothing stops the
// expansion: what cannot be read is logged and skipped.
//
// Folders: every folder entered, directly or through a link, is compared (by its
// canonical path) with the folders already walked, so no link can make the walk go round;
// a link to a folder inside the transfer root, or to a folder that holds the root, is not
// followed at all, nor is one whose target cannot be reached (dangling, a loop of links).
// The walk goes no deeper than kMaxExpansionDepth. A folder's entries are taken in the
// order a file manager shows them (platform::CompareNatural).
//
// Only plain files are listed, and only those the player can hold: a name with a
// backslash, bytes that are not UTF-8 or a path longer than a track record holds is
// logged and skipped. A file's group is the folder it was found in as the person sees it
// (through the link that led there), relative to the folder of the selected name it came
// from; files selected themselves, and data files, belong to no group. A playlist's
// entries are taken only when they are audio files the walk would take on its own.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/paths/paths.h"
#include "transfer/log_file.h"
#include "transfer/source_groups.h"

namespace shellext {
class CDeleteDialog;
}

namespace transfer {

// Folder levels and links followed, at most.
constexpr int kMaxExpansionDepth = 64;
// Playlist files larger than this are not read.
constexpr std::uint64_t kMaxPlaylistBytes = 16u << 20;

// Why the player cannot hold a file of this path (Windows form), or empty when it can:
// bytes that are not UTF-8, or a path longer than a track record's path field.
std::string UnholdablePathReason(const std::string& path);

// Whether `a` goes before `b` in a transfer's order: folder by folder, each name in
// platform::CompareNatural order.
bool TransferOrderLess(const std::string& a, const std::string& b);

// The target of a symbolic link, in Windows form, made absolute against the link's
// folder; false when the path is not a link or cannot be read.
bool ResolveShortcut(const std::string& path, std::string& target);

// The entry: expands `selected` into `files` (sorted case-blind by whole path when
// `sortResult` is set) and `roots`. `audioOnly` keeps only transferable audio files.
// Either log may be null or closed.
void ExpandTransferList(ExpansionLogFile* log, ExpansionListFile* list, const std::vector<std::string>& selected,
                        std::vector<std::string>& files, SourceGroups& roots, int ignored, int sortResult,
                        int audioOnly);

// One walk: the transfer root, the folders walked so far, what was found.
class ListExpansion {
 public:
  ListExpansion(ExpansionLogFile* log, std::string root, std::vector<std::string>& found, SourceGroups& roots,
                int audioOnly, shellext::CDeleteDialog* progress = nullptr);

  // Walks a list of names at a depth (0 for the selected names; each folder level and
  // each link followed adds one).
  void ExpandPaths(int depth, const std::vector<std::string>& names, int recursionAllowed);
  // The same with what is known of each name already (by index; nothing: looked up).
  void ExpandPaths(int depth, const std::vector<std::string>& names,
                   const std::vector<std::optional<platform::FileInfo>>& known, int recursionAllowed);
  // One name that is not a folder: a link, a playlist or a plain file.
  void ExpandFileEntry(int depth, const std::string& path, int recursionAllowed);

 private:
  // Where files found below `real` belong as the person sees them: below `shown`.
  struct Alias {
    std::string real, shown;  // folders, each with a trailing backslash
  };
  class AliasScope;
  void ExpandName(int depth, const std::string& name, const std::optional<platform::FileInfo>& known,
                  int recursionAllowed);
  void ExpandFileEntry(int depth, const std::string& path, const platform::FileInfo& entry, int recursionAllowed);
  void Log(const std::string& line);
  void ExpandPlaylist(const std::string& path, int depth);
  // Why a playlist's entry is not taken ("" when it is): it must be a file the walk would
  // take on its own, and audio.
  std::string PlaylistEntryRefusal(const std::string& path);
  // Why a file (`info` describes it, links followed) is not taken by the walk ("" when it
  // is), and whether it is audio.
  std::string FileRefusal(const std::string& path, const platform::FileInfo& info, bool& audio);
  void AddFound(const std::string& path, const std::string& groupKey, bool audio);
  std::string GroupKeyOf(const std::string& path) const;
  // The folder as the person sees it (the innermost alias applied).
  std::string ShownFolder(const std::string& folder) const;
  // The group of a playlist file: its name, made unique among other playlist files.
  std::string PlaylistGroupKey(const std::string& path, const std::string& name);
  // Whether a link to this folder may be followed (the loop rules above).
  bool MayFollow(const std::string& target) const;
  std::string Canonical(const std::string& path) const;
  // A skip setting, read once per walk.
  bool Skips(const std::string& setting);

  ExpansionLogFile* log_;
  std::string root_;           // drive + directory of the first selected name
  std::string canonicalRoot_;  // POSIX, resolved; empty when it cannot be resolved
  std::vector<std::string>& found_;
  SourceGroups& roots_;
  int audioOnly_;
  shellext::CDeleteDialog* progress_;
  std::set<std::string> walked_;  // canonical POSIX paths of the folders entered
  std::vector<Alias> aliases_;    // innermost last
  std::vector<std::pair<std::string, std::string>> playlistKeys_;  // group key, canonical playlist path
  std::map<std::string, bool> skips_;  // skip settings read so far
};

}  // namespace transfer
