// The computer's player: which playback application the library uses for tracks played
// on the computer, and its name in menu texts ("Play in " + the name).
#pragma once

#include <string>

namespace shellext {

// The application registered for playlists of stream addresses.
inline constexpr int kPlaybackPlaylistHandler = 1068;
// The media player whose library page the variant offers.
inline constexpr int kPlaybackMediaPlayer = 1061;

// 1068 when the device has a tag index, else 1061.
int GetPlaybackApplication();

// The display name of that application: the desktop's default application for audio
// playlists (xdg-mime), "Playback Software" when there is none or it has no name.
std::string& GetDefaultPlayerName(std::string& out);

}  // namespace shellext
