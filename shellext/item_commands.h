// The commands on the items selected in a folder view that play, queue, edit and delete
// them: the tracks a selection stands for, queueing and playing them on the player,
// playing them on the computer through the manager's streams, and deleting tracks, data
// files, notes, contacts, playlists and whole folders from the player.
//
// Each runs on the command's thread against the library's device (Device()); device
// failures are reported with the command's own context text.
#pragma once

#include "device/sortable.h"
#include "shellext/shell_folder.h"
#include "shellext/shell_item.h"

namespace shellext {

// Adds the tracks one item stands for: a track-like item itself (a playlist entry goes in
// front), a playlist's entries, the Active Queue's entries, the tracks of one artist,
// album or genre. Other items add nothing. Device failures are thrown.
void CollectItemTrackIds(const ShellItemData& item, device::SortableKernelIdArray& ids);

// The tracks of the whole selection, in the player's default order unless an item keeps
// its own order (a playlist, the queue, their entries). A device failure is reported
// ("Could not enumerate Audio ids."); `ids` keeps what was gathered, unsorted.
void CollectSelectionTrackIds(const CPidlList& selection, device::SortableKernelIdArray& ids);

// "Queue on Jukebox": the tracks appended to the player's queue.
void QueueOnPlayer(const CPidlList& selection);
// "Play on Jukebox": the queue replaced by the tracks, the first one playing.
void PlayOnPlayer(const CPidlList& selection);
// "Play on Computer": the tracks as a playlist of the manager's stream addresses, opened
// with the computer's player (WriteStreamPlaylist).
void PlayOnComputer(const CPidlList& selection);

// "Delete" (and "Remove and Delete Track" of playlist entries): asks first, then deletes
// the selected items from the player under a progress pop-up, commits, and refreshes the
// views once the player has changed. `parent` is the folder the items are listed in.
void DeleteItems(CShellFolder* parent, const CPidlList& selection);
// The tracks of the selected artist, album or genre folders deleted from the player;
// change notices for the folders follow the deletion. No commit here.
void DeleteTracks(CShellFolder* parent, const CPidlList& selection);

}  // namespace shellext
