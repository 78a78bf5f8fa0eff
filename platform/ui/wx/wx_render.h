// Inside the wx host: how one UiWindow becomes widgets. A RenderedWindow walks the
// template's boxes into sizers, makes one widget per control, pushes the core's state
// into the widgets when the core says it changed, and turns what a person does into the
// controls' User* calls. Property sheets show their pages inside the page area (a
// notebook when the sheet's tab strip is shown). Only this folder includes wx.
#pragma once

#include <wx/wx.h>
#include <wx/notebook.h>

class wxListCtrl;

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/ui/property_sheet.h"
#include "platform/ui/ui_window.h"
#include "platform/ui/wx/wx_host.h"

namespace platform {
class Menu;
}

namespace platform::wxui {

inline wxString W(const std::string& s) { return wxString::FromUTF8(s.c_str()); }
inline std::string U(const wxString& s) { return std::string(s.utf8_str()); }

// A named icon of the desktop's theme at `size` pixels; our own small images for the
// names the theme lacks.
wxBitmap ArtBitmap(const std::string& name, int size);

// The toolkit's menu of a core menu: each command gets the id `idOf` answers for it, with
// its check and greyed state; sub-menus nest.
wxMenu* MakeWxMenu(const Menu& menu, const std::function<int(UINT)>& idOf);
wxColour ToColour(COLORREF c);

// Outer margin of a dialog and the gaps between its parts (GNOME's spacing).
constexpr int kMargin = 12;
constexpr int kGap = 6;

// The offer of the drag this program runs now (null: none): a drop on one of its own
// windows gets the offer itself, not its bytes.
std::shared_ptr<DataOffer>& OutgoingDrag();

class DropBinding;

class RenderedWindow : public WindowPeer {
 public:
  // Builds the widgets of `window`. A top-level window gets a dialog (or a frame for a
  // window without a caption); a child window (a page, a view) a panel inside
  // `parent`.
  // `measure`: widgets from the template alone, bound to nothing (to learn a size).
  RenderedWindow(UiWindow& window, wxWindow* parent, bool topLevel, bool measure = false);
  ~RenderedWindow() override;
  RenderedWindow(const RenderedWindow&) = delete;
  RenderedWindow& operator=(const RenderedWindow&) = delete;

  UiWindow& window() { return window_; }
  wxWindow* top() { return top_; }
  wxDialog* dialog() { return dynamic_cast<wxDialog*>(top_); }
  // A main window with a menu bar is a frame (with the bar), not a dialog.
  wxFrame* frame() { return dynamic_cast<wxFrame*>(top_); }
  // True while the window's controls are the ones the widgets were made for.
  bool Current() const;

  // Runs the toolkit's events until the shown window has drawn itself (at most a second).
  void WaitUntilDrawn();

  // WindowPeer.
  void WindowChanged(UiWindow& window, WindowAspect what) override;
  void ControlChanged(UiWindow& window, Control& control, ControlAspect what) override;

  // Controls read back from the widgets (with the shown page's, for sheets).
  std::vector<RenderedControl> Readback();
  // The widget of a control id (this window, then the shown page); null when none.
  wxWindow* Widget(int id);
  Control* ControlOf(int id);
  // The rendering of the sheet's shown page; null when none.
  RenderedWindow* ShownPage();
  wxNotebook* notebook() { return notebook_; }
  wxWindow* tree() { return treeWidget_; }

  // Places, sizes and shows a top-level window as the core says.
  void Place();
  // Reports where the toolkit put the window.
  void ReportRect();
  // Where the pointer is over the window now: its place, the control, list row and tree
  // item under it.
  DragState DragStateHere();
  // Where a control is on the screen: a list view's row or a tree view's item (-1: the
  // whole control); nullopt when it is not shown.
  std::optional<Rect> ScreenRectOf(int controlId, long item);
  std::optional<Rect> ScreenRectOfHeader(int controlId, int slot);

 private:
  struct Bound {
    Control* control;
    wxWindow* widget;
  };

  wxSizer* Build(const LayoutNode& node, wxWindow* parent);
  wxWindow* MakeControl(const ControlTemplate& t, wxWindow* parent);
  void AddButtonRow(const LayoutNode& node, wxWindow* parent, wxBoxSizer* row);
  void BindControl(Control& c, wxWindow* w);
  void Sync(Control& c, wxWindow* w, ControlAspect what);
  void SyncAll();
  void ShowActivePage();
  void FitPageArea();
  // The page area grows to hold a page of this best size.
  void HoldPage(const wxSize& best);
  // The frame's menu bar from the window's menu (its popups, their items and states).
  void BuildMenuBar();
  // The window's drop handler takes the desktop's drags over it (none: no binding).
  void BindDropHandler();
  // Runs a core call made for a person's action; the widgets' own echo is ignored.
  template <class F>
  void User(F&& f);
  // A list's header in report mode (made anew with each mode): a column dragged by its
  // header moves when the list lets columns move; a click still sorts.
  void BindHeaderDrag(ListViewControl& lv, wxListCtrl* wl);

  UiWindow& window_;
  wxWindow* top_ = nullptr;
  bool topLevel_;
  bool measure_;
  std::vector<const Control*> made_;  // the controls the widgets were made for
  std::vector<Bound> bound_;
  std::map<const Control*, wxWindow*> byControl_;
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
  int guard_ = 0;     // >0 while code pushes state into widgets
  int userDepth_ = 0; // >0 while a person's action runs in the core

  // Property sheets.
  wxNotebook* notebook_ = nullptr;
  wxWindow* pageArea_ = nullptr;
  wxBoxSizer* pageSizer_ = nullptr;
  wxWindow* treeWidget_ = nullptr;
  std::map<PropertyPage*, std::unique_ptr<RenderedWindow>> pages_;
  wxSize pageMin_;

  std::unique_ptr<DropBinding> drop_;
  std::vector<wxWindow*> boundHeaders_;
};

}  // namespace platform::wxui
