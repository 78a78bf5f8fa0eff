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
// followed at all.
#pragma once

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
  void ExpandFileEntry(int depth, const std::string& path, const platform::FileInfo& entry, int recursionAllowed);
  void Log(const std::string& line);
  void ExpandPlaylist(const std::string& path, int depth);
  void AddFound(const std::string& path, const std::string& groupKey);
  std::string GroupKeyOf(const std::string& path) const;
  // Whether a link to this folder may be followed (the loop rules above).
  bool MayFollow(const std::string& target) const;
  std::string Canonical(const std::string& path) const;

  ExpansionLogFile* log_;
  std::string root_;           // drive + directory of the first selected name
  std::string canonicalRoot_;  // POSIX, resolved; empty when it cannot be resolved
  std::vector<std::string>& found_;
  SourceGroups& roots_;
  int audioOnly_;
  shellext::CDeleteDialog* progress_;
  std::set<std::string> walked_;  // canonical POSIX paths of the folders entered
};

}  // namespace transfer
