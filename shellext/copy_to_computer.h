// Copying tracks, playlists and data files from the player to a folder of the computer:
// "Copy to Computer..." asks for the folder; items dragged out of a view are copied by
// the same entry (BuildCopyToComputerLists) with a folder the drop names.
//
// The selection becomes a list of entries (the object on the player, its kind and where
// it goes), and each entry is fetched from the player under the transfer window, one
// line per entry in the transfer log. Tracks are named by the copy-to-computer file
// name pattern, data files by their names on the player, a playlist becomes a folder of
// its tracks with an M3U list of them.
//
// Names come from the player and are made safe before they become file names
// (SafeFileNamePart): no separators, no drive or root, no "." or "..", no control
// characters, at most 255 bytes. A file lands only inside the chosen folder (a folder of
// that name that leads elsewhere is refused), is first written under a temporary name
// beside its place and renamed into it when complete, and never replaces an existing file
// without asking.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "device/kernel_id.h"
#include "shellext/shell_folder.h"
#include "shellext/shell_item.h"

namespace transfer {
class CTransferDialog;
}

namespace shellext {

// Kinds of copy entries (the item classes of the player's objects).
constexpr unsigned kCopyTrack = kClassTrack;    // fetched with DownloadTrack
constexpr unsigned kCopyData = kClassDataFile;  // fetched with DownloadDataFile
constexpr unsigned kCopyFolder = kClassFolder;  // a folder made, empty or not (no name)

// One object to fetch: into `folder` (Windows form, with its trailing "\") under `name`,
// which may hold sub-folders separated by "\" (each part already made safe).
struct CopyEntry {
  device::KernelId id;
  unsigned itemClass = kCopyTrack;
  std::string name;
  std::string folder;
};

// What a copy did, for callers that hand the files on (a drop).
struct CopyResult {
  std::vector<std::string> written;  // files now in place (Windows form), in list order
  std::vector<std::string> kept;     // files that were there already and stay as they were
  int skipped = 0;                   // locked, existing and refused entries
  int failed = 0;
  bool cancelled = false;
};

// "Copy to Computer...": asks for a folder (the last one chosen first) and copies the
// selection there; refuses an empty selection and network paths; remembers the folder
// in Kor_Tx2PC_LastFolder.
void CopyToComputer(const CPidlList& selection);

// The entry for every copy of selected items to the computer: `root` is the destination
// folder (Windows form, with or without its trailing "\"). The copy shows `progress` when
// given (a transfer window the caller made and shows), else a window of its own. Locked
// tracks are skipped with one message. Device failures are reported ("Could not set up
// transfer to PC.").
CopyResult BuildCopyToComputerLists(const CPidlList& selection, const std::string& root,
                               transfer::CTransferDialog* progress = nullptr);

// The file name of one selected track or data file: the track's copy-to-computer name
// on a player with a tag index, else the item's display name; made safe. Empty when the
// player cannot name it.
std::string GetCopyFileName(const ShellItemData& item);

// Adds the data folder `folder` as the folder `path` (Windows form, without trailing "\")
// and every file below it, sub-folders (empty ones too) as folders of their own names.
void CollectDataFolderFiles(const device::KernelId& folder, const std::string& path, std::vector<CopyEntry>& entries);

}  // namespace shellext
