// Change notices: a library tells every file manager of the namespace that something in
// its folders changed (a folder's content, an item), and the file managers' windows that
// registered for such events receive a posted message, in whatever process they run.
//
//   // receiver
//   platform::SHChangeNotifyRegister(window, platform::SHCNE_UPDATEDIR, WM_SHELLNOTIFY);
//   ... on WM_SHELLNOTIFY: platform::ChangeNotice notice;
//       if (platform::ReadChangeNotice(lParam, &notice)) Refresh(notice.item1);
//   // sender
//   platform::SHChangeNotify(platform::SHCNE_UPDATEDIR, platform::SHCNF_IDLIST, folderList, nullptr);
//
// The message carries the event in wParam and a notice number in lParam; the notice
// (event and two item-id lists) is kept in the namespace's runtime folder for a minute.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/com/hresult.h"
#include "platform/shell/item_id_list.h"
#include "platform/window/window.h"

namespace platform {

using LONG = std::int32_t;

constexpr LONG SHCNE_RENAMEITEM = 0x00000001;
constexpr LONG SHCNE_CREATE = 0x00000002;
constexpr LONG SHCNE_DELETE = 0x00000004;
constexpr LONG SHCNE_MKDIR = 0x00000008;
constexpr LONG SHCNE_RMDIR = 0x00000010;
constexpr LONG SHCNE_UPDATEDIR = 0x00001000;
constexpr LONG SHCNE_UPDATEITEM = 0x00002000;
constexpr LONG SHCNE_ALLEVENTS = 0x7FFFFFFF;

constexpr UINT SHCNF_IDLIST = 0x0000;
constexpr UINT SHCNF_FLUSH = 0x1000;  // notices are delivered at once anyway

struct ChangeNotice {
  LONG event = 0;
  std::vector<std::uint8_t> item1;  // a well-formed item-id list, or empty
  std::vector<std::uint8_t> item2;
};

// Posts the notice to every registered window whose events include `event`. Only item-id
// lists are carried (SHCNF_IDLIST, with or without SHCNF_FLUSH); a malformed list travels
// as none.
void SHChangeNotify(LONG event, UINT flags, LPCITEMIDLIST item1, LPCITEMIDLIST item2);

// Registers a window of this process for the events; a window has one registration,
// which a second call replaces. Answers the registration's id (non-zero), or 0 when the
// window does not exist or the registration cannot be stored.
ULONG SHChangeNotifyRegister(HWND window, LONG events, UINT message);
bool SHChangeNotifyDeregister(ULONG id);

// The notice of a received message's lParam; false when it is gone or unreadable.
bool ReadChangeNotice(LPARAM number, ChangeNotice* out);

// The stored form of a notice; ParseChangeNotice checks every length and list.
std::vector<std::uint8_t> SerializeChangeNotice(const ChangeNotice& notice);
bool ParseChangeNotice(const void* data, std::size_t size, ChangeNotice* out);

}  // namespace platform
