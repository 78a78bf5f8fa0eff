// The tag, track-number and album commands of the player's tracks: editing the tags of
// one or several tracks with write-back to the player, numbering tracks, the album lookup
// for a track's artist, and the contact synchronisation's log. Each reports its own
// failures; nothing outlives a command.
#pragma once

#include "device/kernel_device.h"
#include "shellext/shell_item.h"

namespace shellext {

// The tag editor's layout for this product and player: 529 (family 4), 6003 (families 7
// and 8, and any player whose model code is "m2"), else 528.
int TagEditLayout(device::KernelDevice& device);

// Edits the selected tracks' tags (the view's edit command hands them here). A field's box
// starts checked when every selected track agrees on it; on OK the checked fields are
// written into every track that is not play-only. Artist, album and title are kept when
// their text is emptied; genre, comment and composer are cleared. With one track its
// play count becomes the dialog's; with several each keeps its own unless "Reset Count"
// was pressed.
void EditTrackTags(const CPidlList& selection);

// "Properties (Edit Tag)" (3044), the view's edit command: the editor of the selection's
// first item kind (tracks, playlist and index entries: EditTrackTags with the whole
// selection; a note or a contact: its editor, one at a time), then a commit. Other kinds,
// and radio presets (no operation changes one), cannot be edited.
void EditItem(const CPidlList& selection);

// Numbers the selected items in selection order from the dialog's start by its step.
void RenumberTracks(const CPidlList& selection);

// Opens the album lookup for the first selected track's artist.
void ShowArtistAlbums(const CPidlList& selection);

// Opens the contact synchronisation's log, or says it is missing.
void ViewSyncLog();

}  // namespace shellext
