// The folder view's own commands beyond its list: the player's playback buttons (back,
// play, next, stop, pause, mute, volume), the options sheet, the "Logs and Reports"
// sheet, help, Brevlink and "&Properties"; and the playback display in
// the host's status bar (what the player plays, and when it stopped).
#pragma once

#include <cstdint>
#include <string>

#include "platform/window/window.h"

namespace device {
class KernelDevice;
}  // namespace device

namespace shellext {

class CShellView;

class ViewCommands {
 public:
  explicit ViewCommands(CShellView& view) : view_(view) {}

  // Runs a command of the view's table that is not about its list; false for any other id.
  bool Run(int id);
  // WM_NOWPLAYING: word 0 of the playing track's id and the elapsed seconds.
  void NowPlaying(platform::WPARAM track, platform::LPARAM elapsed);
  // WM_PLAYBACKSTOPPED.
  void PlaybackStopped();

 private:
  void PlayerCommand(int id);
  void ShowOptions();
  void ShowHelp();
  // Grid lines, row colour and full-row selection as the options now say.
  void ApplyListSettings();
  void PressButton(int command, bool pressed);
  // Part 2 of the status bar: what the player does (kept for views that show it again).
  void ShowPlayback(const std::string& text);

  CShellView& view_;
};

// The options sheet of the library for the device: its pages by the device's kind and
// capabilities, modal below `owner`.
void RunOptionsSheet(device::KernelDevice& device, platform::HWND owner);
// The "Logs and Reports" sheet, modal below `owner`.
void RunReportsSheet(device::KernelDevice& device, platform::HWND owner);
// The streaming playback page alone in a sheet titled productName + " Options" without
// an Apply button (the context menu's "Choose software player...").
void ShowPlaybackOptions(platform::HWND owner);

// The status text of the playback display for a track: "Playing (m:ss/m:ss)  title".
std::string NowPlayingText(int elapsed, int length, const std::string& title);
// Forgets the track the display last showed (tests).
void ResetPlaybackDisplayForTesting();
// The playback display's last text ("Playing ...", "Playback Stopped"); empty before any.
std::string PlaybackStatusText();

}  // namespace shellext
