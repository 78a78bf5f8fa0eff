// Services that the manager and the library share with the desktop: opening files and
// addresses with the shell, the broadcast that makes every open folder view of the player
// refresh itself, and string splitting.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/window/window.h"

// The folder view's command message and its codes.
constexpr platform::UINT WM_VIEWCOMMAND = 0x1FB0;
constexpr platform::WPARAM kViewCommandRefresh = 3005;
constexpr platform::WPARAM kViewCommandActivate = 3015;
constexpr platform::WPARAM kViewCommandReload = 3090;  // after a transfer or an edit
constexpr platform::WPARAM kViewCommandBack = 4050;

// The window class of the folder views, and the classes of the windows that hold them.
inline constexpr std::string_view kFolderViewClass = "Quorvane NameSpace Extension_NSClass";
inline constexpr std::string_view kExplorerClass = "CabinetWClass";
inline constexpr std::string_view kExploringClass = "ExploreWClass";
inline constexpr std::string_view kTreePaneClass = "SysTreeView32";

// The file's default action (ShellRun) or "open" (ShellOpen): a program runs with the
// parameters, anything else opens in its desktop handler. `file` is a Windows-form path
// or an address ("http://..."). True when something was started.
bool ShellRun(std::string_view file, std::string_view parameters);
bool ShellOpen(std::string_view file, std::string_view parameters);
void ShellOpenFile(std::string_view file);

// Posts WM_VIEWCOMMAND with the code to every folder view of the library inside an
// Explorer window.
void PostToFolderViews(platform::WPARAM code);
// Asks every folder view to refresh (3005), and every Explorer tree to reload (F5).
void RefreshFolderViews();
// The same with the code the views get after a transfer or an edit (3090).
void ReloadFolderViews();
inline void RefreshFolderViewsAfterEdit() { ReloadFolderViews(); }

// Empties `out` and appends every non-empty piece between delimiter characters (any of
// `delimiters`); answers the number of pieces.
int SplitString(std::string_view text, std::string_view delimiters, std::vector<std::string>& out);
