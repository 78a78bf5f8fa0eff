// The item commands whose work the menus' texts name and the player's operations do:
// renaming a data file, a data folder or a playlist; a new data or notes folder; sorting
// and shuffling playlists; the owner name and the clock of the player. Each checks the
// selection with a message, works under the wait cursor, commits and refreshes the
// views; a device error is reported with the command's "Could not ..." text.
//
// Commands the menus offer that no operation of the player can do (formatting a memory
// segment, sorting or shuffling a memory segment, merging playlists, renaming a notes or
// contacts folder, a note, a contact or a tag folder, changing a radio preset's
// frequency) are left out of the menus (HasOperation, context_menu.h).
#pragma once

#include "shellext/shell_item.h"

namespace shellext {

// Whether a status of the player's create, rename or move says the name is taken.
bool NameTaken(int status);

// 4000 "Rename...": asks for the one selected item's new name.
void RenameItem(const CPidlList& selection);
// 4045 "New Folder...": a folder named by the person inside the selected data or notes
// folder.
void CreateFolder(const CPidlList& selection);
// 3021 "Sort" and 3080 "Shuffle": every selected playlist in the player's default track
// order, or shuffled.
void SortPlaylists(const CPidlList& selection);
void ShufflePlaylists(const CPidlList& selection);
// 3046 "Change Owner Name...": asks for the player's owner name (the current one first).
void ChangeOwnerName();
// 3028 "Synchronize Time to PC": the player's clock set to the computer's time.
void SynchronizeDeviceTime();

}  // namespace shellext
