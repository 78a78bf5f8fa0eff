// The media player's library plug-in interface, as the library meets it from both sides:
// the plug-in's header record, the tree entry it adds, the requests it sends to play or
// enqueue tracks, and the host's skin routines. Everything goes through one exported
// entry point (winampGetMediaLibraryPlugin), the header and window message 0x1400 sent to
// the host's library window with a code in lParam. Hosts (mlhost) include this header.
//
// Fields that hold addresses are pointer-sized. The UI core's controls have no windows
// of their own: a control is named to the host by its window's handle in the low 32 bits
// and its id in the high 32 bits (ControlRef).
#pragma once

#include <cstdint>

#include "platform/ui/ui_types.h"
#include "platform/window/window.h"

namespace shellext {

inline constexpr int kMediaLibraryPluginVersion = 0x15;

// Sent to the host's library window: wParam as the code says, lParam the code.
inline constexpr platform::UINT WM_ML_IPC = 0x1400;
enum MediaLibraryCode : std::int64_t {
  kMlAddTreeEntry = 0x101,  // wParam: MediaLibraryTreeEntry*; the host fills the entry id
  kMlSendToPlayer = 0x302,  // wParam: MediaLibrarySendToPlayer*
  kMlSkinList = 0x500,      // wParam: the list (ControlRef); answers a skin handle
  kMlUnskinList = 0x501,    // wParam: the skin handle 0x500 gave
  kMlSkinRoutine = 0x600,   // wParam: a SkinRoutine number; answers its address or 0
};

// The plug-in's message routine gets this message with param1 = its entry id and
// param3 = the window the page goes into; it answers the page's window.
inline constexpr int kMlCreatePage = 0x100;

struct MediaLibraryPluginHeader {
  int version;              // kMediaLibraryPluginVersion
  const char* description;  // "ml_ombrix"
  int (*init)();
  void (*quit)();
  std::intptr_t (*messageProc)(int message, std::intptr_t param1, std::intptr_t param2, std::intptr_t param3);
  platform::HWND mainWindow;     // both filled in by the host before init
  platform::HWND libraryWindow;
  void* instance;  // the library's load address, filled in by the entry point
};

using MediaLibraryPluginEntry = MediaLibraryPluginHeader* (*)();
inline constexpr const char* kMediaLibraryPluginEntryName = "winampGetMediaLibraryPlugin";

struct MediaLibraryTreeEntry {
  std::intptr_t parentId;  // 0: top level
  char* title;
  int hasChildren;
  std::intptr_t id;  // filled in by the host
};

// One track sent to the player: texts the host copies while the request is handled.
struct MediaLibraryRecord {
  char* fileName;  // the stream address
  char* title;
  char* album;
  char* artist;
  char* comment;  // null
  char* genre;
  int year;
  int track;
  int length;  // seconds
  void* extendedInfo;  // null
};

struct MediaLibraryRecordList {
  MediaLibraryRecord* items;
  int size;
  int allocated;
};

struct MediaLibrarySendToPlayer {
  int kind;  // 0
  MediaLibraryRecordList* list;
  int enqueue;  // 0 play, 1 enqueue
};

// The host's skin routines by number (code kMlSkinRoutine).
enum SkinRoutine : int {
  kSkinColour = 1,          // colour of an index: 0 list background, 1 list text
  kSkinMessage = 2,         // offered the page's other messages; non-zero when it took one
  kSkinDrawBorders = 3,     // on WM_PAINT, with the border table
  kSkinRegisterResize = 32, // with the control table
  kSkinResize = 33,         // with the control table, on WM_SIZE
};
using SkinColourRoutine = platform::COLORREF (*)(int index);
using SkinMessageRoutine = platform::LRESULT (*)(platform::HWND window, platform::UINT message, platform::WPARAM wParam,
                                                 platform::LPARAM lParam);
// A border table entry: border style << 16 | control id.
using SkinBorderRoutine = void (*)(platform::HWND window, const int* table, int count);

// One control of the page for the host's resizing: its id and how the host anchors it.
struct MediaLibraryControlAnchor {
  int id;
  int flags;
  int reserved[4];
};
using SkinResizeRoutine = void (*)(platform::HWND window, const MediaLibraryControlAnchor* table, int count);

inline constexpr platform::WPARAM ControlRef(platform::HWND window, int controlId) {
  return static_cast<platform::WPARAM>(window) | (static_cast<platform::WPARAM>(static_cast<std::uint32_t>(controlId)) << 32);
}
inline constexpr platform::HWND ControlRefWindow(platform::WPARAM ref) { return static_cast<platform::HWND>(ref & 0xFFFFFFFFu); }
inline constexpr int ControlRefId(platform::WPARAM ref) { return static_cast<int>(ref >> 32); }

// Window messages a host sends the page as a desktop would: a new size (wParam 1 when
// minimised) and a paint.
inline constexpr platform::UINT WM_SIZE = 0x0005;
inline constexpr platform::UINT WM_PAINT = 0x000F;
inline constexpr platform::WPARAM SIZE_MINIMIZED = 1;

}  // namespace shellext
