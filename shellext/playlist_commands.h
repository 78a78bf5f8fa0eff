// The playlist commands: making a playlist (empty or of tracks), adding tracks to one,
// removing entries from a playlist or the Active Queue, and backing playlists up to
// ".rpb" files and restoring them.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "device/sortable.h"
#include "shellext/playlist_backup.h"
#include "shellext/shell_item.h"

namespace shellext {

// Asks for a name with the name dialog, titled `caption` (what is being named), until it
// is not blank; false on Cancel. `name` is shown first and holds the answer.
bool AskForName(std::string& name, const std::string& caption);
// AskForName for a playlist.
bool AskPlaylistName(std::string& name);

// Makes a playlist of `tracks` (null or empty: an empty one). With `ask` the name dialog
// shows `name` first and asks again while the name is blank; Cancel answers -1. The name
// is trimmed and loses one trailing backslash. Interactive: a blank or existing name is
// refused with a message. Otherwise an existing name answers -1, unless
// `JB_Tx_OverwritePlaylists` is set, when the existing playlist is rebuilt with the
// tracks. A player that refuses the tracks is shown its status number. Answers the
// number of tracks given, or -1 when no playlist was made ("Could not create
// playlist." for a device error).
int CreateDevicePlaylist(bool ask, std::string& name, const device::SortableKernelIdArray* tracks, bool interactive);

// "New Playlist...": an empty playlist under the name the person gives.
void CreateNewPlaylist();

// "Create New Playlist..." of the selection's tracks: asks for the name and reports the
// outcome.
void CreatePlaylistFromTracks(const device::SortableKernelIdArray& tracks);

// Appends the tracks to the playlist and says how many the player took (unless
// `Gen_DisableCompletionConfirmations` is set); a player that took none says why.
// Answers 1 when the player took them, else 0.
int AddTracksToPlaylist(const device::KernelId& playlist, const device::SortableKernelIdArray& tracks);

// Removes the selected playlist entries from the playlist `parent` is, each at its own
// place (another entry of the same track stays), and every queue entry of the selected
// queue items' tracks.
void RemoveFromPlaylistOrQueue(const CPidlLast& parent, const CPidlList& selection);

// A player that rewrites a playlist to change it (removing, moving, sorting, shuffling
// entries) gives it a new id under the same name. The playlist a listed playlist item
// stands for now, when the player no longer has the listed id: the first playlist of the
// item's name; nullopt while the player has the id, or when no playlist has the name.
std::optional<device::KernelId> FindRewrittenPlaylist(device::KernelDevice& device, const ShellItemData& listed);
// The listed playlist's id as the player knows it now (the listed one when it was not
// rewritten).
device::KernelId CurrentPlaylistId(device::KernelDevice& device, const ShellItemData& listed);

// The Playlists folder's listing changed: the hosts' trees reload it and every view
// reloads.
void NotifyPlaylistsChanged();

// Asks for a folder and writes one backup per playlist there, named after it.
void BackupPlaylists(const std::vector<device::KernelId>& playlists);
void BackupSelectedPlaylists(const CPidlList& selection);
void BackupAllPlaylists();

// "Restore Playlist...": asks for a backup file and the playlist's name (the file's name
// first), finds each entry's track on the player by its content id and makes the
// playlist of those found; an existing playlist of that name is replaced when the person
// agrees. Entries whose track is not on the player are counted in the report.
void RestorePlaylist();

}  // namespace shellext
