#include "shellext/computer_player.h"

#include "platform/shell/desktop.h"
#include "platform/text/text.h"
#include "shellext/library.h"

namespace shellext {

int GetPlaybackApplication() {
  return Device().SupportsTagIndex() != 0 ? kPlaybackPlaylistHandler : kPlaybackMediaPlayer;
}

std::string& GetDefaultPlayerName(std::string& out) {
  // Both applications are the desktop's handler here: tracks played on the computer go
  // to it as a stream playlist, whatever the player family.
  out = platform::Trim(platform::DefaultApplicationName("audio/x-mpegurl"));
  if (out.empty()) out = "Playback Software";
  return out;
}

}  // namespace shellext
