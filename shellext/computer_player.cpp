#include "shellext/computer_player.h"

#include "platform/shell/desktop.h"
#include "platform/text/text.h"
#include "shellext/library.h"

namespace shellext {

int GetPlaybackApplication() {
  return Device().SupportsTagIndex() != 0 ? kPlaybackPlaylistHandler : kPlaybackMediaPlayer;
}

std::string& GetDefaultPlayerName(std::string& out) {
  if (GetPlaybackApplication() == kPlaybackMediaPlayer) {
    out = "Winamp 5";
    return out;
  }
  out = platform::Trim(platform::DefaultApplicationName("audio/x-mpegurl"));
  if (out.empty()) out = "Playback Software";
  return out;
}

}  // namespace shellext
