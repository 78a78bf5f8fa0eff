// Small value types and numbers of the UI core: rectangles, colours, the desktop's
// notification and key numbers that callers and stored settings rely on.
#pragma once

#include <cstdint>

#include "platform/window/window.h"

namespace platform {

struct Point {
  int x = 0;
  int y = 0;
  bool operator==(const Point&) const = default;
};

struct Rect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
  int Width() const { return right - left; }
  int Height() const { return bottom - top; }
  bool IsEmpty() const { return right <= left || bottom <= top; }
  bool operator==(const Rect&) const = default;
};

// 0x00BBGGRR, as the desktop stores colours (settings such as Gen_SpreadsheetColor hold it).
using COLORREF = std::uint32_t;
constexpr COLORREF RGB(unsigned r, unsigned g, unsigned b) {
  return static_cast<COLORREF>((r & 0xFF) | ((g & 0xFF) << 8) | ((b & 0xFF) << 16));
}
constexpr unsigned GetRValue(COLORREF c) { return c & 0xFF; }
constexpr unsigned GetGValue(COLORREF c) { return (c >> 8) & 0xFF; }
constexpr unsigned GetBValue(COLORREF c) { return (c >> 16) & 0xFF; }
constexpr COLORREF CLR_NONE = 0xFFFFFFFF;     // transparent
constexpr COLORREF CLR_DEFAULT = 0xFF000000;  // the control's own colour

// System colour indexes (GetSysColor).
constexpr int COLOR_INACTIVECAPTION = 3;
constexpr int COLOR_WINDOW = 5;
constexpr int COLOR_WINDOWTEXT = 8;
constexpr int COLOR_CAPTIONTEXT = 9;
constexpr int COLOR_BTNFACE = 15;
constexpr int COLOR_HIGHLIGHT = 13;
constexpr int COLOR_HIGHLIGHTTEXT = 14;
constexpr int COLOR_GRAYTEXT = 17;

// GetSystemMetric indexes: the desktop's, and ours from 0x7000.
constexpr int SM_CXSCREEN = 0;
constexpr int SM_CYSCREEN = 1;
constexpr int SM_CXSMICON = 49;
constexpr int SM_CYSMICON = 50;
constexpr int kMetricTabItemHeight = 0x7001;  // the height of a tab of a tab strip
// The average width of a letter or digit of the lists' font, in tenths of a pixel. Widths
// given in the desktop's pixels (columns) were made for an average of kDesignCharWidth.
constexpr int kMetricAverageCharWidth = 0x7002;
constexpr int kDesignCharWidth = 55;

// The id of controls nobody addresses (labels, group boxes).
constexpr int IDC_STATIC = -1;

// More answers than the message-box ones of host.h.
constexpr int IDHELP = 9;

// ShowWindow.
constexpr int SW_HIDE = 0;
constexpr int SW_SHOW = 5;
constexpr int SW_SHOWNORMAL = 1;

// SetWindowPos.
constexpr HWND HWND_TOP = 0;
constexpr HWND HWND_TOPMOST = 0xFFFFFFFF;
constexpr HWND HWND_NOTOPMOST = 0xFFFFFFFE;
constexpr UINT SWP_NOSIZE = 0x0001;
constexpr UINT SWP_NOMOVE = 0x0002;
constexpr UINT SWP_NOZORDER = 0x0004;

// Command notification codes (the high word of WM_COMMAND's wParam).
constexpr int BN_CLICKED = 0;
constexpr int BN_DOUBLECLICKED = 5;
constexpr int EN_CHANGE = 0x0300;
constexpr int EN_KILLFOCUS = 0x0200;
constexpr int CBN_SELCHANGE = 1;
constexpr int CBN_DBLCLK = 2;
constexpr int CBN_EDITCHANGE = 5;
constexpr int LBN_SELCHANGE = 1;
constexpr int LBN_DBLCLK = 2;

constexpr WPARAM MAKEWPARAM(unsigned low, unsigned high) {
  return static_cast<WPARAM>((low & 0xFFFF) | ((high & 0xFFFF) << 16));
}
constexpr unsigned LOWORD(std::uint64_t v) { return static_cast<unsigned>(v & 0xFFFF); }
constexpr unsigned HIWORD(std::uint64_t v) { return static_cast<unsigned>((v >> 16) & 0xFFFF); }

// Mouse messages, as a tray icon reports them to its window.
constexpr UINT WM_MOUSEMOVE = 0x0200;
constexpr UINT WM_LBUTTONDOWN = 0x0201;
constexpr UINT WM_LBUTTONUP = 0x0202;
constexpr UINT WM_LBUTTONDBLCLK = 0x0203;
constexpr UINT WM_RBUTTONDOWN = 0x0204;
constexpr UINT WM_RBUTTONUP = 0x0205;
constexpr UINT WM_CONTEXTMENU = 0x007B;
constexpr UINT WM_HSCROLL = 0x0114;

// Keys.
constexpr UINT VK_BACK = 0x08;
constexpr UINT VK_TAB = 0x09;
constexpr UINT VK_RETURN = 0x0D;
constexpr UINT VK_ESCAPE = 0x1B;
constexpr UINT VK_SPACE = 0x20;
constexpr UINT VK_PRIOR = 0x21;
constexpr UINT VK_NEXT = 0x22;
constexpr UINT VK_END = 0x23;
constexpr UINT VK_HOME = 0x24;
constexpr UINT VK_LEFT = 0x25;
constexpr UINT VK_UP = 0x26;
constexpr UINT VK_RIGHT = 0x27;
constexpr UINT VK_DOWN = 0x28;
constexpr UINT VK_INSERT = 0x2D;
constexpr UINT VK_DELETE = 0x2E;

// Modifier keys held with a key.
constexpr UINT kModShift = 1;
constexpr UINT kModCtrl = 2;
constexpr UINT kModAlt = 4;

// DrawText flags.
constexpr UINT DT_LEFT = 0x0000;
constexpr UINT DT_CENTER = 0x0001;
constexpr UINT DT_RIGHT = 0x0002;
constexpr UINT DT_VCENTER = 0x0004;
constexpr UINT DT_SINGLELINE = 0x0020;
constexpr UINT DT_NOPREFIX = 0x0800;
constexpr UINT DT_END_ELLIPSIS = 0x8000;

}  // namespace platform
