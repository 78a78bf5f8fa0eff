// WxHost: the UI core on a real display, with wxWidgets 3.2 on GTK 3. It renders every
// template (sizers from the layout boxes, a native widget per control), runs modal and
// modeless windows, property sheets, pop-up menus, message boxes, pickers, the desktop
// clipboard, files dragged in and out, the tray icon and icons of the desktop's theme.
//
// One loop per GUI thread: the toolkit's loop also watches the thread's platform/window
// queue (its descriptor and its next timer), and PumpMessages on this thread also runs
// the toolkit's pending events, so a long operation that pumps keeps its windows alive
// and messages from other processes arrive while a dialog is open.
//
// This header includes no toolkit header: programs and tests use it without wx.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/ui/dialog_template.h"
#include "platform/ui/host.h"

namespace platform {

class Menu;
class UiWindow;

// A control as the toolkit shows it, read back from the widget.
struct RenderedControl {
  int id = IDC_STATIC;
  ControlKind kind = ControlKind::Label;
  std::string text;  // label, edit text, the combo's text, the link's text
  bool enabled = true;
  bool shown = true;  // the widget and its parents are shown
  int check = 0;      // check boxes and radio buttons
  int selection = -1;            // lists, combos, tabs
  int position = 0;              // sliders, progress bars, spins
  int rangeMin = 0;
  int rangeMax = 0;
  std::vector<std::string> items;  // lists, combos, tabs, list-view rows (first column), tree items (paths)
  // List views: the header's titles left to right, the slot with the sort arrow (-1:
  // none) and its direction, the mode, grid lines and the selected rows.
  std::vector<std::string> columns;
  int sortSlot = -1;
  bool sortAscending = true;
  ListViewMode mode = ListViewMode::Report;
  bool gridLines = false;
  std::vector<int> selectedRows;
  // List views: the scroll bars a person sees beside the rows (shown when rows or columns
  // do not fit).
  bool horizontalBar = false;
  bool verticalBar = false;
  // Where it lies on the screen.
  int left = 0, top = 0, width = 0, height = 0;
};

// A menu item as the toolkit shows it.
struct RenderedMenuItem {
  int depth = 0;  // 0: the menu itself, 1: a sub-menu's items
  UINT command = 0;
  std::string text;  // without "&" marks
  bool separator = false;
  bool enabled = true;
  bool checked = false;
  bool submenu = false;
};

// A prompt on screen: a modal dialog or sheet, a message box, a pop-up menu or a picker.
// The observer (tests, the gallery) gets it once it is mapped and drawn, and may look at
// it, save a picture of it, act on its widgets the way a person would, and end it.
class WxPrompt {
 public:
  enum class Kind { Dialog, MessageBox, Menu, Picker };
  virtual ~WxPrompt() = default;

  virtual Kind kind() const = 0;
  // The caption (dialogs, message boxes, pickers).
  virtual std::string caption() const = 0;
  // Message boxes: the text.
  virtual std::string text() const = 0;
  // Dialogs and sheets: the window object; null for the others.
  virtual UiWindow* window() const = 0;

  // A PNG of what the prompt shows; false when it cannot be written.
  virtual bool SaveImage(const std::string& path) = 0;
  // Dialogs: every control of the window (and of a sheet's shown page) as rendered.
  virtual std::vector<RenderedControl> Controls() = 0;
  // Menus: the items as rendered, and where a command's item lies on the screen (tests
  // point at it and click as a person would); nullopt when it is not shown.
  virtual std::vector<RenderedMenuItem> MenuItems() = 0;
  virtual std::optional<Rect> ItemRect(UINT command) = 0;

  // What a person does, through the widgets (false when a person could not: missing,
  // greyed or hidden). Click presses a button; SetCheck clicks a check box until it shows
  // the state; Type replaces an edit's text; Slide drags a slider and lets go; Choose
  // picks a menu command or a message box's button (IDOK, IDYES, ...); SelectPage picks a
  // sheet's page by its title (tabs or tree); Cancel closes the prompt as Escape would.
  virtual bool Click(int controlId) = 0;
  virtual bool SetCheck(int controlId, bool checked) = 0;
  virtual bool Type(int controlId, const std::string& text) = 0;
  virtual bool Slide(int controlId, int position) = 0;
  virtual bool Choose(UINT command) = 0;
  virtual bool SelectPage(const std::string& title) = 0;
  virtual void Cancel() = 0;
};

class WxHost : public Host {
 public:
  // Starts the toolkit on the display; null (with a line on stderr) when there is no
  // display or it cannot be opened. One per process, on the thread that runs the GUI.
  static std::unique_ptr<WxHost> Open(const std::string& programName);
  ~WxHost() override;
  WxHost(const WxHost&) = delete;
  WxHost& operator=(const WxHost&) = delete;

  int MessageBox(const std::string& text, const std::string& caption, UINT flags) override;
  int RunModal(UiWindow& window) override;
  void WindowOpened(UiWindow& window) override;
  void WindowClosed(UiWindow& window) override;
  UINT TrackPopupMenu(const Menu& menu, int x, int y, HWND owner) override;
  std::optional<std::string> ShowFolderPicker(const FolderPickerRequest& request) override;
  std::optional<std::string> ShowFilePicker(const FilePickerRequest& request) override;
  std::optional<COLORREF> ShowColourPicker(ColourPickerRequest& request) override;
  void SetClipboardText(const std::string& text) override;
  std::optional<std::string> GetClipboardText() override;
  void SetClipboardFiles(const std::vector<std::string>& files) override;
  std::optional<std::vector<std::string>> GetClipboardFiles() override;
  void SetClipboardOffer(std::shared_ptr<DataOffer> offer) override;
  std::shared_ptr<DataOffer> GetClipboardOffer() override;
  DWORD DragOffer(std::shared_ptr<DataOffer> offer, DWORD allowedEffects) override;
  bool ShowsTrayIcons() const override { return true; }
  COLORREF GetSysColor(int index) override;
  Rect GetTaskbarRect() override;
  Point GetCursorPos() override;
  int GetSystemMetric(int index) override;

  // The thread's message loop: toolkit events and platform messages until a WM_QUIT is
  // taken; its exit code.
  int RunMessageLoop();
  // Runs toolkit events and platform messages until done() holds or limitMs passed;
  // false on the time limit.
  bool PumpUntil(const std::function<bool()>& done, int limitMs);
  // Runs toolkit events and platform messages until nothing is left to handle: the display
  // has answered every request made so far and no event, idle call or message waits.
  // false when that does not come within limitMs (a window that keeps asking).
  bool Settle(int limitMs);

  // Runs `f` from the toolkit's loop on this thread, once it next gets to run.
  void CallSoon(std::function<void()> f);

  // Called once for each prompt when it is on screen (null: none). A prompt the observer
  // leaves open stays for the person.
  void SetPromptObserver(std::function<void(WxPrompt&)> observer);

  // Modeless windows as rendered now (their controls as in WxPrompt::Controls), and a
  // picture of one; false when the window is not rendered.
  std::vector<RenderedControl> RenderedControls(UiWindow& window);
  bool SaveWindowImage(UiWindow& window, const std::string& path);
  // Where a control of a rendered window is on the screen: a list view's row or a tree
  // view's item (-1: the whole control); nullopt when it is not shown. Tests point at it.
  std::optional<Rect> ScreenRect(UiWindow& window, int controlId, long item = -1);
  // Where a rendered top-level window lies on the screen (its own area, without what the
  // window manager adds round it); nullopt when it is not shown.
  std::optional<Rect> WindowScreenRect(UiWindow& window);
  // The window manager's frame round a shown top-level window: the widths of its left,
  // top, right and bottom parts (all 0 for a window it does not decorate); nullopt until
  // the window manager has said.
  std::optional<Rect> WindowFrameExtents(UiWindow& window);
  // The decorations a shown top-level window asks of the window manager (the Motif hint's
  // bits: border 2, resize handles 4, title 8, menu 16, ...); nullopt when it names none,
  // which leaves the manager's full decorations.
  std::optional<unsigned long> WindowDecorationHint(UiWindow& window);
  // The display's id of a shown top-level window (0: not shown), for tools that act on it
  // from outside as a window manager would (resizing it, say).
  unsigned long WindowXid(UiWindow& window);
  // Where the header of a list view's column at a display slot is on the screen.
  std::optional<Rect> ScreenRectOfHeader(UiWindow& window, int controlId, int slot);

  // What the screen shows in an area now (as the display holds it, whatever window is
  // there): its pixels row by row (empty when the area is off the screen), or a PNG.
  std::vector<COLORREF> ScreenPixels(const Rect& area);
  bool SaveScreenImage(const Rect& area, const std::string& path);

  // The tray: whether the icon of (window, id) sits in a notification area now, and its
  // tooltip as shown.
  bool TrayIconEmbedded(HWND window, UINT id);
  std::string TrayIconTooltip(HWND window, UINT id);
  // Where the icon sits on the screen; nullopt when it sits in no notification area.
  std::optional<Rect> TrayIconRect(HWND window, UINT id);
  // A person clicks the tray icon (WM_LBUTTONDBLCLK or WM_RBUTTONDOWN) through the same
  // path as a real click; false when there is no such icon.
  bool ClickTrayIcon(HWND window, UINT id, UINT mouseMessage);

  struct Impl;

 protected:
  void TrayIconChanged(UINT action, const TrayIcon& icon) override;
  void WaitCursorChanged(bool on) override;

 private:
  WxHost();
  std::unique_ptr<Impl> impl_;
};

// The differences between a window's controls (and a sheet's shown page's) and what the
// toolkit shows of them: missing controls, enabled and shown states, texts (labels may
// wrap), checks, items, selections, positions and ranges. Empty when they agree.
std::vector<std::string> CompareWithModel(UiWindow& window, const std::vector<RenderedControl>& rendered);

// With a display, a WxHost (made current); without one, or when the display cannot be
// opened, a ConsoleHost (made current). The caller keeps it while the program runs.
std::unique_ptr<Host> MakeDesktopHost(const std::string& programName);

}  // namespace platform
