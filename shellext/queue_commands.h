// Small operations the item commands share: the two commands on the player's Active
// Queue, the change notices that keep a host's folder tree in step with the player, and
// the deletion of a data, notes or contacts folder with everything in it.
#pragma once

#include "tools/name_dlg.h"
#include "shellext/shell_item.h"

namespace shellext {

// Empties (shuffles) the player's queue under the wait cursor, then asks every open view
// to refresh; a device error is reported ("Could not clear the active queue." / "Could
// not shuffle the active queue.") and nothing is refreshed.
void ClearActiveQueue();
void ShuffleActiveQueue();

// "Rebuild Left Pane Tree": a removal and a creation notice for each fixed folder that
// has been listed (Playlists, Data Files, Albums, Artists, Genres), so a host drops and
// rebuilds those branches of its tree; a folder never listed is skipped.
void NotifyFixedFoldersUpdated();
// An update notice for one folder (an absolute list).
void NotifyFolderUpdated(LPCITEMIDLIST folder);
// A removal notice for `child` inside `parent` (an absolute list), also for an item that
// is not a folder.
void NotifyItemRemoved(LPCITEMIDLIST parent, LPCITEMIDLIST child);

// Deletes the folder's files and sub-folders, deepest first, then the folder. Each level's
// children are all collected before the first is touched; the pop-up steps once per child
// at every depth and names each file as it goes. A device error is thrown to the caller
// at once: what was deleted stays deleted, the folder itself remains.
void DeleteDataFolderTree(const device::KernelId& folder, CDeleteDialog& progress);
void DeleteNoteFolderTree(const device::KernelId& folder, CDeleteDialog& progress);
void DeleteContactFolderTree(const device::KernelId& folder, CDeleteDialog& progress);

}  // namespace shellext
