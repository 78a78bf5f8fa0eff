// The user-interface host: the one place where the UI core meets a person (or a test).
// Code above this layer asks the current host to show message boxes, dialogs, property
// sheets, menus, pickers and the tray icon, and never depends on which host runs:
// ConsoleHost talks to the terminal, ScriptedHost (scripted_host.h) answers tests, and a
// real-window host renders the core's windows on a display.
//
// Every operation has an answer that declines (Cancel, nothing chosen, no path), so a
// host that knows only message boxes still keeps a daemon from blocking. The tray icons,
// the clipboard and the wait-cursor depth are kept here for every host.
#pragma once

#include <array>
#include <atomic>
#include <cstdio>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/ui/data_offer.h"
#include "platform/ui/ui_types.h"
#include "platform/window/drop_effect.h"
#include "platform/window/message_box.h"
#include "platform/window/window.h"

namespace platform {

// The buttons a box with these flags offers, left to right (an unknown type offers OK).
std::vector<int> MessageBoxButtons(UINT flags);
// The button that Enter chooses: MB_DEFBUTTONn picks the n-th, the first when out of range.
int DefaultButton(UINT flags);
// "OK", "Cancel", "Yes", ...; "" for an unknown id.
const char* ButtonLabel(int id);

class Menu;
class UiWindow;

// A tray icon: the window its clicks go to (as `callbackMessage` with wParam = id and
// lParam = the mouse message), a named icon and a tooltip.
struct TrayIcon {
  HWND window = 0;
  UINT id = 0;
  UINT callbackMessage = 0;
  std::string icon;
  std::string tooltip;
};
constexpr UINT NIM_ADD = 0;
constexpr UINT NIM_MODIFY = 1;
constexpr UINT NIM_DELETE = 2;


struct FileFilter {
  std::string name;                   // "Playlists (*.m3u)"
  std::vector<std::string> patterns;  // "*.m3u"
};

// Pickers speak POSIX paths with the host; FolderPicker and friends (desktop.h) convert.
struct FolderPickerRequest {
  HWND owner = 0;
  std::string title;
  std::string initialPath;
};
struct FilePickerRequest {
  HWND owner = 0;
  std::string title;
  std::string initialPath;  // a folder, or a file to suggest
  std::vector<FileFilter> filters;
  std::string defaultExtension;  // ".exe"
  bool save = false;             // a save picker (asks before replacing a file)
};
struct ColourPickerRequest {
  HWND owner = 0;
  COLORREF initial = 0;
  std::array<COLORREF, 16> custom{};  // the custom colours, which the picker may change
};

class Host {
 public:
  virtual ~Host() = default;

  // Shows a modal message box; answers the button chosen (IDOK, IDYES, ...).
  virtual int MessageBox(const std::string& text, const std::string& caption, UINT flags) = 0;

  // Runs a modal window (a Dialog or a PropertySheet) until it has ended; its result.
  // The default cannot show it: it cancels it as the close box would.
  virtual int RunModal(UiWindow& window);
  // A modeless window was made / is going; a host renders it while it lives.
  virtual void WindowOpened(UiWindow&) {}
  virtual void WindowClosed(UiWindow&) {}

  // Shows a pop-up menu and waits; the chosen command, 0 for none (the default).
  virtual UINT TrackPopupMenu(const Menu& menu, int x, int y, HWND owner);

  // Pickers: the path picked, nullopt when cancelled (the default).
  virtual std::optional<std::string> ShowFolderPicker(const FolderPickerRequest& request);
  virtual std::optional<std::string> ShowFilePicker(const FilePickerRequest& request);
  virtual std::optional<COLORREF> ShowColourPicker(ColourPickerRequest& request);

  // Tray icons (NIM_ADD, NIM_MODIFY, NIM_DELETE): false when the icon exists already
  // (add) or does not exist (modify, delete). A host shows them in TrayIconChanged.
  bool NotifyIcon(UINT action, const TrayIcon& icon);
  std::vector<TrayIcon> TrayIcons() const;
  // True when the icons appear in a desktop's notification area a person can click.
  virtual bool ShowsTrayIcons() const { return false; }

  // The clipboard: text, file lists (POSIX paths), or an offer of any formats. It holds
  // one thing at a time; kept in the process by default. The text and the files of an
  // offer that has them are read through the offer.
  virtual void SetClipboardText(const std::string& text);
  virtual std::optional<std::string> GetClipboardText();
  virtual void SetClipboardFiles(const std::vector<std::string>& files);
  virtual std::optional<std::vector<std::string>> GetClipboardFiles();
  virtual void SetClipboardOffer(std::shared_ptr<DataOffer> offer);
  // What the clipboard holds now (null: nothing); a host on a desktop answers for what
  // another program put there too.
  virtual std::shared_ptr<DataOffer> GetClipboardOffer();

  // A drag out of a window, to this program's windows or other programs: runs until the
  // person lets go and answers the effect the drop target chose, DROPEFFECT_NONE when
  // nothing took it (the default: a host without a desktop has nobody to drop on). The
  // offer's bytes are asked for by the target, mostly at the drop.
  virtual DWORD DragOffer(std::shared_ptr<DataOffer> offer, DWORD allowedEffects);
  // Files dragged out (POSIX paths): a drag of their file list.
  virtual int DragFiles(const std::vector<std::string>& posixPaths);

  // The wait cursor: shown while the depth is above 0.
  void BeginWaitCursor();
  void EndWaitCursor();
  int WaitCursorDepth() const { return waitDepth_.load(); }

  // The desktop's colours (COLOR_BTNFACE ...), the taskbar's rectangle (the tray pop-up
  // sits beside it) and the mouse position (menus open there).
  virtual COLORREF GetSysColor(int index);
  virtual Rect GetTaskbarRect();
  virtual Point GetCursorPos() { return {}; }
  // Sizes of the desktop (SM_*, kMetricTabItemHeight) in pixels.
  virtual int GetSystemMetric(int index);

  // The window that owns this host's modal UI (0: none). Kept as given; callers that
  // must survive a destroyed owner check it with IsWindow.
  void SetOwnerWindow(HWND owner) { owner_.store(owner); }
  HWND GetOwnerWindow() const { return owner_.load(); }

 protected:
  virtual void TrayIconChanged(UINT, const TrayIcon&) {}
  virtual void WaitCursorChanged(bool) {}

 private:
  std::atomic<HWND> owner_{0};
  std::atomic<int> waitDepth_{0};
  mutable std::mutex mutex_;
  std::vector<TrayIcon> trayIcons_;
  std::shared_ptr<DataOffer> clipboard_;
};

// The host set for this process, else a process-wide ConsoleHost.
Host& CurrentHost();
// Makes `host` current (null: back to the default). The caller keeps ownership and must
// reset it before destroying the host. The layers below show their message boxes
// (ShowProcessMessageBox, platform/window/message_box.h) through the current host.
void SetCurrentHost(Host* host);

// Message boxes on the terminal. With a terminal on the input it prints the box and reads
// the choice (a number, or the start of a button's name; empty input takes the default).
// Without one (daemons, pipes) it prints the box and answers the default button at once.
// Folder and file pickers read a path on a terminal; everything else it cannot show
// (dialogs, sheets, menus, colours) is answered Cancel with a line on the output, so a
// daemon never blocks.
class ConsoleHost : public Host {
 public:
  ConsoleHost();  // stdin and stderr
  ConsoleHost(std::FILE* in, std::FILE* out, bool interactive);

  int MessageBox(const std::string& text, const std::string& caption, UINT flags) override;
  int RunModal(UiWindow& window) override;
  UINT TrackPopupMenu(const Menu& menu, int x, int y, HWND owner) override;
  std::optional<std::string> ShowFolderPicker(const FolderPickerRequest& request) override;
  std::optional<std::string> ShowFilePicker(const FilePickerRequest& request) override;
  std::optional<COLORREF> ShowColourPicker(ColourPickerRequest& request) override;

 private:
  // Reads a path for a picker: nullopt for an empty answer or without a terminal.
  std::optional<std::string> AskPath(const std::string& what, const std::string& title);
  void Declined(const std::string& what);

  std::FILE* in_;
  std::FILE* out_;
  bool interactive_;
};

// True when $DISPLAY or $WAYLAND_DISPLAY names a display.
bool HasDisplay();

// A ConsoleHost made current, for a program whose desktop host could not be opened: it
// stops being current when it goes, and tells the windows it was told about (static
// objects may outlive it). The caller keeps it while the program runs.
std::unique_ptr<Host> MakeConsoleHost();

}  // namespace platform
