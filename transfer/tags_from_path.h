// Tags from a file's name and folders, for files that carry none: the name (and, by a
// setting, the folders) cut at delimiters into track number, title, album and artist.
#pragma once

#include <string_view>

#include "device/records.h"

namespace transfer {

// Settings: `ATM_UseFolders` (0: the file name alone), `ATM_DelimiterList` ("-"; blanks
// in it ignored; "/" and "\" always cut), `ATM_DefaultAlbum` ("Single"). Tokens are taken
// from the last to the first: an all-digit token sets the track number (so the one
// nearest the start wins), the others are title, album and artist in that order. When no
// artist results, the album becomes the artist and the album the default. Answers 1.
int TagsFromPath(std::string_view path, device::TrackRecord& record);

// Trims white space at both ends of title, album, artist, genre and comment.
void TrimTrackTags(device::TrackRecord& record);

}  // namespace transfer
