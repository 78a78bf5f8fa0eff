// What the desktop offers besides windows, through the current host: pickers for folders,
// files and colours, the clipboard, the wait cursor, tray icons and the desktop's colours.
// Paths here are in the system's Windows form ("C:\music\a.mp3"); the host sees POSIX
// paths.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "platform/ui/host.h"

namespace platform {

// A folder the person picks; nullopt when cancelled.
std::optional<std::string> PickFolder(HWND owner, const std::string& title, const std::string& initialFolder = {});

// A file to open or to save. `filter` is written the desktop's way:
// "External Web Browsers (*.exe)|*.exe||" (name|patterns pairs, patterns split by ";").
std::optional<std::string> PickOpenFile(HWND owner, const std::string& title, const std::string& filter,
                                        const std::string& defaultExtension = {}, const std::string& initial = {});
std::optional<std::string> PickSaveFile(HWND owner, const std::string& title, const std::string& filter,
                                        const std::string& defaultExtension = {}, const std::string& initial = {});
std::vector<FileFilter> ParseFileFilter(const std::string& filter);

// A colour; `custom` holds the picker's custom colours before and after.
std::optional<COLORREF> PickColour(HWND owner, COLORREF initial, std::array<COLORREF, 16>& custom);

void SetClipboardText(const std::string& text);
std::optional<std::string> GetClipboardText();
void SetClipboardFiles(const std::vector<std::string>& files);
std::optional<std::vector<std::string>> GetClipboardFiles();

// Drags files (Windows-form paths) out to other programs; the drop's effect
// (DROPEFFECT_NONE when nothing took them).
int DragFilesOut(const std::vector<std::string>& paths);

// Adds, changes or removes a tray icon (NIM_ADD, NIM_MODIFY, NIM_DELETE).
bool ShellNotifyIcon(UINT action, const TrayIcon& icon);

COLORREF GetSysColor(int index);
int GetSystemMetric(int index);
// A width in the desktop's pixels, made for its 8-point font, as this host's font needs it:
// wider letters (kMetricAverageCharWidth) get proportionally wider, never narrower.
int ScaleDesignWidth(int designPixels);
Point GetCursorPos();

// Shows the wait cursor while it lives.
class WaitCursor {
 public:
  WaitCursor() : host_(CurrentHost()) { host_.BeginWaitCursor(); }
  ~WaitCursor() { host_.EndWaitCursor(); }
  WaitCursor(const WaitCursor&) = delete;
  WaitCursor& operator=(const WaitCursor&) = delete;

 private:
  Host& host_;
};

}  // namespace platform
