// Windows of the UI core: UiWindow (a window with a template, its controls, handlers and
// a platform/window handle) and Dialog (modal and modeless dialogs).
//
// Life cycle of a dialog: construction (nothing exists yet) -> DoModal or Create: the
// handle and the controls are made from the template, OnInitDialog runs (by default a
// data exchange into the controls), then the host shows it -> handlers run on the
// window's thread -> EndDialog (modal) or DestroyWindow (modeless) -> the handle and the
// controls go. OK runs a data exchange out of the controls; a refusal (a value outside
// its range) shows a message naming the field and its range, focuses the field and keeps
// the dialog open.
//
// Messages: the handle belongs to the creating thread. Messages posted or sent to it, also
// from other processes, reach WindowProc when that thread pumps (GetMessage, PeekMessage,
// PumpMessages, or a host's loop). WM_COMMAND reaches the command handlers, WM_TIMER the
// timer handlers; other messages the message handlers. Notifications of list views,
// trees and sliders never travel as messages: they carry pointers, so they stay inside
// the process as direct calls.
//
// Hosts render a window from its template and its controls' state, attach a WindowPeer to
// hear about changes, and report what a person does through the controls' User*
// operations and UserKey / UserClose here.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ui/canvas.h"
#include "platform/ui/controls.h"
#include "platform/ui/data_offer.h"
#include "platform/ui/dialog_template.h"
#include "platform/ui/list_view.h"
#include "platform/ui/tree_view.h"

namespace platform {

class DataExchange;
class Host;
class Menu;
class UiWindow;

enum class WindowAspect : std::uint8_t {
  Caption,
  Visible,
  Enabled,
  Position,  // place, size, top-most
  Focus,     // the focused control
  Flash,
  Ended,       // a modal window ended
  ActivePage,  // a property sheet shows another page (or none)
  Foreground,
  MenuBar,     // the window shows another menu bar (or none)
  DropTarget,  // the window takes drops through another handler (or none)
};

// What a host attaches to a window it renders.
class WindowPeer {
 public:
  virtual ~WindowPeer() = default;
  virtual void WindowChanged(UiWindow& window, WindowAspect what) = 0;
  virtual void ControlChanged(UiWindow& window, Control& control, ControlAspect what) = 0;
};

class UiWindow : public ControlOwner {
 public:
  explicit UiWindow(const DialogTemplate& t);
  ~UiWindow() override;
  UiWindow(const UiWindow&) = delete;
  UiWindow& operator=(const UiWindow&) = delete;

  const DialogTemplate& GetTemplate() const { return tmpl_; }
  int GetTemplateId() const { return tmpl_.id; }
  // The window object of a handle made by this process; null for others.
  static UiWindow* FromHandle(HWND window);

  HWND GetSafeHwnd() const { return hwnd_; }
  // The window handle this one was made for (its parent or owner); 0 for none.
  HWND GetParentHwnd() const { return parentHwnd_; }
  // The window object inside which this one lives (property pages: their sheet).
  UiWindow* GetParentWindow() const { return parentWindow_; }
  // The outermost window object (a page's sheet, else this).
  UiWindow& TopLevel();
  bool IsOpen() const { return hwnd_ != 0; }

  void SetWindowText(std::string caption);
  const std::string& GetWindowText() const { return caption_; }

  bool ShowWindow(int command);
  bool IsWindowVisible() const { return visible_; }
  void EnableWindow(bool enabled);
  bool IsWindowEnabled() const { return enabled_; }
  // Place, size and stacking: HWND_TOPMOST / HWND_NOTOPMOST / HWND_TOP, SWP_NOMOVE,
  // SWP_NOSIZE, SWP_NOZORDER.
  void SetWindowPos(HWND insertAfter, int x, int y, int cx, int cy, UINT flags);
  // Where the window is: as the host laid it out, else as code placed it, else at the
  // origin with the template's size hint.
  Rect GetWindowRect() const { return rect_; }
  bool IsPlacedByCode() const { return placed_; }
  bool IsTopmost() const { return topmost_; }
  // Asks the host to centre the window on its parent (or the screen).
  void CenterWindow();
  bool IsCentred() const { return centred_; }
  void SetForegroundWindow();
  void FlashWindow();
  int GetFlashCount() const { return flashes_; }
  // The host reports where it put the window.
  void HostMoved(const Rect& rect);

  // Controls, in template order.
  const std::vector<std::unique_ptr<Control>>& Controls() const { return controls_; }
  Control* GetDlgItem(int id) const;
  // The control of this id and kind; throws std::out_of_range when there is none (a
  // mistake in the program, not in input).
  EditControl& Edit(int id) const { return Get<EditControl>(id); }
  ButtonControl& Button(int id) const { return Get<ButtonControl>(id); }
  ListControl& List(int id) const { return Get<ListControl>(id); }
  ListViewControl& ListView(int id) const { return Get<ListViewControl>(id); }
  TreeViewControl& Tree(int id) const { return Get<TreeViewControl>(id); }
  SliderControl& Slider(int id) const { return Get<SliderControl>(id); }
  ProgressControl& Progress(int id) const { return Get<ProgressControl>(id); }
  SpinControl& Spin(int id) const { return Get<SpinControl>(id); }
  LinkControl& Link(int id) const { return Get<LinkControl>(id); }
  ToolbarControl& Toolbar(int id) const { return Get<ToolbarControl>(id); }
  StatusBarControl& StatusBar(int id) const { return Get<StatusBarControl>(id); }
  PictureControl& Picture(int id) const { return Get<PictureControl>(id); }
  TabsControl& Tabs(int id) const { return Get<TabsControl>(id); }
  PageAreaControl& PageArea(int id) const { return Get<PageAreaControl>(id); }

  std::string GetDlgItemText(int id) const;
  void SetDlgItemText(int id, std::string text);
  void CheckDlgButton(int id, int state);
  int IsDlgButtonChecked(int id) const;
  // Checks `check` and clears the other radio buttons of first..last.
  void CheckRadioButton(int first, int last, int check);
  // The checked radio button of first..last; 0 when none.
  int GetCheckedRadioButton(int first, int last) const;
  void EnableDlgItem(int id, bool enabled);
  void ShowDlgItem(int id, bool visible);
  // The radio buttons of the group that `id` belongs to, in template order.
  std::vector<ButtonControl*> RadioGroup(int id) const;

  void GotoDlgCtrl(int id);
  int GetFocusId() const { return focus_; }
  // The host reports that a person moved the focus.
  void HostFocused(int id) { focus_ = id; }

  // Data exchange between the controls and the members (DoDataExchange); save = out of
  // the controls. False after a refusal, which has been shown.
  bool UpdateData(bool save = true);
  virtual void DoDataExchange(DataExchange& dx);

  // WM_TIMER every `ms` while the thread pumps; false without a handle.
  bool SetTimer(UINT_PTR id, UINT ms);
  bool KillTimer(UINT_PTR id);

  // Handlers by id. Commands: buttons (BN_CLICKED), menus and toolbars (code 0) when no
  // code is given; a given code matches only itself.
  void HandleCommand(int id, std::function<void()> handler);
  void HandleCommand(int id, int code, std::function<void()> handler);
  void HandleNotify(int id, NotifyCode code, std::function<void(Notification&)> handler);
  void HandleMessage(UINT message, std::function<LRESULT(WPARAM, LPARAM)> handler);
  void HandleTimer(UINT_PTR id, std::function<void()> handler);

  // Runs a message as if it had come through the handle (tests; hosts).
  LRESULT SendToWindow(UINT message, WPARAM wParam, LPARAM lParam) { return WindowProc(message, wParam, lParam); }

  // Painting of Paint and PageArea controls, called by the host.
  void Paint(int controlId, Canvas& canvas) { OnPaint(controlId, canvas); }

  // Files dropped on the window from a file manager (a host's WM_DROPFILES). Only a window
  // that accepts them gets them.
  void DragAcceptFiles(bool accept = true) { acceptsFiles_ = accept; }
  bool AcceptsFiles() const { return acceptsFiles_; }
  void HandleDropFiles(std::function<void(const std::vector<std::string>&, Point)> handler) {
    dropFiles_ = std::move(handler);
  }
  // The host reports a drop of POSIX paths at a point of the window; the handler gets them
  // in the system's form. False when the window does not take files.
  bool UserDropFiles(const std::vector<std::string>& posixPaths, Point at = {});
  // The window's target for whatever is dragged over it (files, this system's own
  // formats), null for none; the host hands it the drags over the window.
  void SetDropHandler(std::shared_ptr<DropHandler> handler);
  const std::shared_ptr<DropHandler>& GetDropHandler() const { return dropHandler_; }

  // The menu bar a main window shows (null: none). The menu stays the caller's and must
  // outlive its showing; a person's choice reaches OnCommand (WM_COMMAND, code 0).
  void SetMenuBar(const Menu* menu);
  const Menu* GetMenuBar() const { return menuBar_; }
  void UserMenuCommand(UINT command) { OnCommand(static_cast<int>(command), 0); }

  // Where a host shows the child windows of a class (views, panes): inside the control of
  // this id of this window; 0 when the window does not say.
  void SetChildArea(const std::string& className, int controlId) { childAreas_[LowerCase(className)] = controlId; }
  int GetChildArea(const std::string& className) const {
    auto it = childAreas_.find(LowerCase(className));
    return it == childAreas_.end() ? 0 : it->second;
  }

  // A key a person pressed with the window active and no control taking it. True when
  // the window used it (Escape cancels, Enter presses the default button).
  bool UserKey(UINT key, UINT modifiers = 0);
  // The close box.
  void UserClose();

  void SetPeer(WindowPeer* peer) { peer_ = peer; }
  WindowPeer* GetPeer() const { return peer_; }
  // A host that showed the window is going away before it: the window stops telling it.
  virtual void ForgetHost(const Host* host) {
    (void)host;
    peer_ = nullptr;
  }

  // ControlOwner.
  void ControlChanged(Control& control, ControlAspect what) override;
  void ControlCommand(int id, int code) override;
  LRESULT ControlNotify(Notification& n) override;
  void RadioChecked(Control& radio) override;
  Control* FindControl(int id) override { return GetDlgItem(id); }

 protected:
  // Makes the handle (a window of `className` below `parent`) and the controls of the
  // template; a child window also knows its parent object. False when the handle cannot
  // be made.
  bool CreateWindowObject(HWND parent, UiWindow* parentWindow = nullptr, std::string_view className = "#32770");
  void DestroyWindowObject();
  // Windows that build their template (property sheets) set it before creation.
  void SetTemplate(DialogTemplate t) { tmpl_ = std::move(t); }
  // Makes one control; a window may make its own kinds (a sheet's tree, for example).
  virtual std::unique_ptr<Control> CreateControl(const ControlTemplate& t);
  // Replaces a control after creation (same id, same kind); the old one goes.
  void ReplaceControl(std::unique_ptr<Control> control);

  // True when the command was handled.
  virtual bool OnCommand(int id, int code);
  virtual void OnNotify(Notification& n);
  virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
  virtual void OnTimer(UINT_PTR id);
  virtual void OnPaint(int controlId, Canvas& canvas);
  virtual bool OnKeyDown(UINT key, UINT modifiers);
  virtual void OnDropFiles(const std::vector<std::string>& paths, Point at);
  virtual void OnClose();
  virtual void OnDestroy() {}

  void Changed(WindowAspect what);
  void SetVisibleState(bool visible);

 private:
  template <class T>
  T& Get(int id) const;
  static std::string LowerCase(std::string s) {
    for (char& c : s) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    return s;
  }

  DialogTemplate tmpl_;
  HWND hwnd_ = 0;
  HWND parentHwnd_ = 0;
  UiWindow* parentWindow_ = nullptr;
  std::string caption_;
  bool visible_ = false;
  bool enabled_ = true;
  bool placed_ = false;
  bool topmost_ = false;
  bool centred_ = false;
  int flashes_ = 0;
  Rect rect_;
  int focus_ = 0;
  bool acceptsFiles_ = false;
  std::function<void(const std::vector<std::string>&, Point)> dropFiles_;
  std::shared_ptr<DropHandler> dropHandler_;
  std::vector<std::unique_ptr<Control>> controls_;
  std::map<int, Control*> byId_;
  WindowPeer* peer_ = nullptr;
  const Menu* menuBar_ = nullptr;
  std::map<std::string, int> childAreas_;  // window class (lower case) -> control id

  struct CommandKey {
    int id;
    int code;  // -1: the default codes
    bool operator<(const CommandKey& o) const { return id != o.id ? id < o.id : code < o.code; }
  };
  std::map<CommandKey, std::function<void()>> commands_;
  std::map<std::pair<int, NotifyCode>, std::function<void(Notification&)>> notifies_;
  std::map<UINT, std::function<LRESULT(WPARAM, LPARAM)>> messages_;
  std::map<UINT_PTR, std::function<void()>> timers_;
};

class Dialog : public UiWindow {
 public:
  explicit Dialog(const DialogTemplate& t, HWND parent = 0);
  ~Dialog() override;

  // Shows the dialog modally through the current host; the EndDialog result (IDOK,
  // IDCANCEL, ...), or -1 when the window could not be made.
  virtual int DoModal();
  // Makes a modeless dialog (shown at once when its template says kFrameVisible); false
  // when the window could not be made.
  bool Create(HWND parent = 0);
  // Ends a modeless dialog; true when it existed.
  bool DestroyWindow();
  // Ends a modal dialog with the result.
  void EndDialog(int result);

  bool IsModal() const { return modal_; }
  bool IsEnded() const { return ended_; }
  int GetModalResult() const { return result_; }
  void ForgetHost(const Host* host) override {
    UiWindow::ForgetHost(host);
    if (host_ == host) host_ = nullptr;
  }

  // Data exchange into the controls; the answer is whether the host sets the focus.
  virtual bool OnInitDialog();
  // Data exchange out of the controls, then EndDialog(IDOK) when nothing was refused.
  virtual void OnOK();
  // EndDialog(IDCANCEL) for a modal dialog; a modeless one is destroyed.
  virtual void OnCancel();

 protected:
  bool OnCommand(int id, int code) override;
  void OnClose() override { OnCancel(); }
  bool OnKeyDown(UINT key, UINT modifiers) override;
  // The host that showed the window; closing tells the same host.
  Host* host_ = nullptr;

 private:
  HWND parent_;
  bool modal_ = false;
  bool ended_ = false;
  int result_ = 0;
};

// A window that lives inside another one: a frame's pane, such as a folder view. It has a
// handle of its own class (other processes find it by that class and post to it) and the
// controls of its template; the host renders it inside its parent.
class View : public UiWindow {
 public:
  View(const DialogTemplate& t, std::string className);
  ~View() override;

  // Makes the handle below `parent` (and, in this process, the parent's object) and the
  // controls, runs OnCreate, and tells the host; false when the handle cannot be made.
  bool Create(HWND parent, UiWindow* parentWindow = nullptr);
  void Destroy();
  const std::string& GetClassName() const { return className_; }
  void ForgetHost(const Host* host) override {
    UiWindow::ForgetHost(host);
    if (host_ == host) host_ = nullptr;
  }

 protected:
  virtual void OnCreate() {}

 private:
  std::string className_;
  Host* host_ = nullptr;
};

template <class T>
T& UiWindow::Get(int id) const {
  auto* c = dynamic_cast<T*>(GetDlgItem(id));
  if (c == nullptr) {
    throw std::out_of_range("window " + std::to_string(tmpl_.id) + " has no such control " + std::to_string(id));
  }
  return *c;
}

}  // namespace platform
