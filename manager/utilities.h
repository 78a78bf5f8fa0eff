// The manager's small services: message boxes, shell execution, the refresh broadcast
// to the folder views, the message pump and string splitting. The settings family, work
// folders and path clean-up are common/'s (settings.h, folders.h), the text escapes too
// (escape.h); ShowMessageBox is device/device_client_error.h's.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "common/escape.h"  // HtmlEscape, HtmlUnescape, EncodeUrlTokens, DecodeUrlTokens
#include "device/device_client_error.h"
#include "platform/ui/host.h"
#include "platform/window/window.h"

// The folder view's command message; code 3005 asks it to refresh.
constexpr platform::UINT WM_VIEWCOMMAND = 0x1FB0;
constexpr platform::WPARAM kViewCommandRefresh = 3005;

// ShowMessageBox with MB_TOPMOST added.
int ShowTopmostMessageBox(platform::UINT type, std::string_view text);

// The file's default action (ShellRun) or "open" (ShellOpen): a program runs with the
// parameters, anything else opens in its desktop handler. `file` is a Windows-form path
// or an address ("http://..."). True when something was started.
bool ShellRun(std::string_view file, std::string_view parameters);
bool ShellOpen(std::string_view file, std::string_view parameters);
void ShellOpenFile(std::string_view file);

// Posts WM_VIEWCOMMAND with the code to every folder view of the library inside an
// Explorer window.
void PostToFolderViews(platform::WPARAM code);
// Asks every folder view to refresh, and every Explorer tree to reload (F5).
void RefreshFolderViews();

// Dispatches every message waiting for the calling thread, then sleeps 1 ms. Long device
// operations call it so that requests and notices are served meanwhile.
void PumpMessages();

// Empties `out` and appends every non-empty piece between delimiter characters (any of
// `delimiters`); answers the number of pieces.
int SplitString(std::string_view text, std::string_view delimiters, std::vector<std::string>& out);
