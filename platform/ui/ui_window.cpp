#include "platform/ui/ui_window.h"

#include <cstdio>
#include <mutex>
#include <unordered_map>

#include "platform/kernel/process_object.h"
#include "platform/paths/paths.h"
#include "platform/ui/data_exchange.h"
#include "platform/ui/host.h"

namespace platform {

namespace {

// The window objects of the process, whichever copy of this code made them (a library's
// views live in the frame of the program that loaded it).
struct WindowObjects {
  std::mutex mutex;
  std::unordered_map<HWND, UiWindow*> byHandle;
};
WindowObjects& Objects() { return ProcessObject<WindowObjects>("platform.ui.windows"); }

// "Default" push button of a template, 0 when none.
int DefaultButtonId(const UiWindow& w) {
  for (const auto& c : w.Controls()) {
    if (c->kind() == ControlKind::PushButton && c->tmpl().Has(kStyleDefault)) return c->id();
  }
  return 0;
}

}  // namespace

// ---- UiWindow ----

UiWindow::UiWindow(const DialogTemplate& t) : tmpl_(t), caption_(t.caption), rect_{0, 0, t.width, t.height} {}

UiWindow::~UiWindow() { DestroyWindowObject(); }

UiWindow* UiWindow::FromHandle(HWND window) {
  WindowObjects& objects = Objects();
  std::lock_guard<std::mutex> lock(objects.mutex);
  auto it = objects.byHandle.find(window);
  return it == objects.byHandle.end() ? nullptr : it->second;
}

void UiWindow::SetMenuBar(const Menu* menu) {
  menuBar_ = menu;
  Changed(WindowAspect::MenuBar);
}

UiWindow& UiWindow::TopLevel() {
  UiWindow* w = this;
  while (w->parentWindow_ != nullptr) w = w->parentWindow_;
  return *w;
}

bool UiWindow::CreateWindowObject(HWND parent, UiWindow* parentWindow, std::string_view className) {
  if (hwnd_ != 0) return true;
  RegisterClass(className);  // once per process; an existing class stays
  if (parent != 0 && !IsWindow(parent)) parent = 0;  // an owner that went away
  HWND h = CreateWindow(className, parent, [this](HWND, UINT m, WPARAM w, LPARAM l) { return WindowProc(m, w, l); });
  if (h == 0) {
    std::fprintf(stderr, "tovarin: the window \"%s\" (%d) cannot be made\n", caption_.c_str(), tmpl_.id);
    return false;
  }
  hwnd_ = h;
  parentHwnd_ = parent;
  parentWindow_ = parentWindow;
  {
    WindowObjects& objects = Objects();
    std::lock_guard<std::mutex> lock(objects.mutex);
    objects.byHandle[h] = this;
  }
  controls_.clear();
  byId_.clear();
  for (const ControlTemplate* t : tmpl_.Controls()) {
    std::unique_ptr<Control> c = CreateControl(*t);
    if (c == nullptr) continue;
    if (c->id() != IDC_STATIC) byId_[c->id()] = c.get();
    controls_.push_back(std::move(c));
  }
  focus_ = 0;
  return true;
}

void UiWindow::DestroyWindowObject() {
  if (hwnd_ == 0) return;
  const HWND h = hwnd_;
  {
    WindowObjects& objects = Objects();
    std::lock_guard<std::mutex> lock(objects.mutex);
    objects.byHandle.erase(h);
  }
  hwnd_ = 0;
  visible_ = false;
  platform::DestroyWindow(h);  // WM_DESTROY reaches OnDestroy through the procedure
  byId_.clear();
  controls_.clear();
  parentWindow_ = nullptr;
}

std::unique_ptr<Control> UiWindow::CreateControl(const ControlTemplate& t) {
  switch (t.kind) {
    case ControlKind::Picture: return std::make_unique<PictureControl>(this, t);
    case ControlKind::Edit: return std::make_unique<EditControl>(this, t);
    case ControlKind::PushButton:
    case ControlKind::CheckBox:
    case ControlKind::RadioButton: return std::make_unique<ButtonControl>(this, t);
    case ControlKind::ComboBox:
    case ControlKind::ListBox: return std::make_unique<ListControl>(this, t);
    case ControlKind::ListView: return std::make_unique<ListViewControl>(this, t);
    case ControlKind::TreeView: return std::make_unique<TreeViewControl>(this, t);
    case ControlKind::Slider: return std::make_unique<SliderControl>(this, t);
    case ControlKind::ProgressBar: return std::make_unique<ProgressControl>(this, t);
    case ControlKind::Spin: return std::make_unique<SpinControl>(this, t);
    case ControlKind::Link: return std::make_unique<LinkControl>(this, t);
    case ControlKind::Toolbar: return std::make_unique<ToolbarControl>(this, t);
    case ControlKind::StatusBar: return std::make_unique<StatusBarControl>(this, t);
    case ControlKind::Tabs: return std::make_unique<TabsControl>(this, t);
    case ControlKind::PageArea: return std::make_unique<PageAreaControl>(this, t);
    case ControlKind::Label:
    case ControlKind::Paint: return std::make_unique<LabelControl>(this, t);
  }
  return std::make_unique<LabelControl>(this, t);
}

void UiWindow::ReplaceControl(std::unique_ptr<Control> control) {
  for (auto& c : controls_) {
    if (c->id() == control->id() && c->kind() == control->kind()) {
      byId_[control->id()] = control.get();
      c = std::move(control);
      return;
    }
  }
}

void UiWindow::Changed(WindowAspect what) {
  if (peer_ != nullptr) peer_->WindowChanged(*this, what);
}

void UiWindow::SetVisibleState(bool visible) {
  if (visible == visible_) return;
  visible_ = visible;
  Changed(WindowAspect::Visible);
}

void UiWindow::SetWindowText(std::string caption) {
  if (caption == caption_) return;
  caption_ = std::move(caption);
  Changed(WindowAspect::Caption);
}

bool UiWindow::ShowWindow(int command) {
  const bool was = visible_;
  SetVisibleState(command != SW_HIDE);
  return was;
}

void UiWindow::EnableWindow(bool enabled) {
  if (enabled == enabled_) return;
  enabled_ = enabled;
  Changed(WindowAspect::Enabled);
}

void UiWindow::SetWindowPos(HWND insertAfter, int x, int y, int cx, int cy, UINT flags) {
  if (!(flags & SWP_NOMOVE)) {
    const int w = rect_.Width(), h = rect_.Height();
    rect_ = {x, y, x + w, y + h};
    placed_ = true;
    centred_ = false;
  }
  if (!(flags & SWP_NOSIZE)) rect_ = {rect_.left, rect_.top, rect_.left + cx, rect_.top + cy};
  if (!(flags & SWP_NOZORDER)) {
    if (insertAfter == HWND_TOPMOST) topmost_ = true;
    if (insertAfter == HWND_NOTOPMOST) topmost_ = false;
  }
  Changed(WindowAspect::Position);
}

void UiWindow::CenterWindow() {
  centred_ = true;
  placed_ = false;
  Changed(WindowAspect::Position);
}

void UiWindow::SetForegroundWindow() { Changed(WindowAspect::Foreground); }

void UiWindow::FlashWindow() {
  ++flashes_;
  Changed(WindowAspect::Flash);
}

void UiWindow::HostMoved(const Rect& rect) { rect_ = rect; }

Control* UiWindow::GetDlgItem(int id) const {
  auto it = byId_.find(id);
  return it == byId_.end() ? nullptr : it->second;
}

std::string UiWindow::GetDlgItemText(int id) const {
  const Control* c = GetDlgItem(id);
  return c != nullptr ? c->GetText() : std::string();
}

void UiWindow::SetDlgItemText(int id, std::string text) {
  if (Control* c = GetDlgItem(id)) c->SetText(std::move(text));
}

void UiWindow::CheckDlgButton(int id, int state) {
  if (auto* b = dynamic_cast<ButtonControl*>(GetDlgItem(id))) b->SetCheck(state);
}

int UiWindow::IsDlgButtonChecked(int id) const {
  auto* b = dynamic_cast<ButtonControl*>(GetDlgItem(id));
  return b != nullptr ? b->GetCheck() : 0;
}

void UiWindow::CheckRadioButton(int first, int last, int check) {
  for (const auto& c : controls_) {
    if (c->id() < first || c->id() > last) continue;
    if (auto* b = dynamic_cast<ButtonControl*>(c.get())) b->SetCheck(c->id() == check ? 1 : 0);
  }
}

int UiWindow::GetCheckedRadioButton(int first, int last) const {
  for (const auto& c : controls_) {
    if (c->id() < first || c->id() > last || c->kind() != ControlKind::RadioButton) continue;
    if (static_cast<const ButtonControl&>(*c).GetCheck() != 0) return c->id();
  }
  return 0;
}

void UiWindow::EnableDlgItem(int id, bool enabled) {
  if (Control* c = GetDlgItem(id)) c->Enable(enabled);
}

void UiWindow::ShowDlgItem(int id, bool visible) {
  if (Control* c = GetDlgItem(id)) c->Show(visible);
}

std::vector<ButtonControl*> UiWindow::RadioGroup(int id) const {
  // A group runs from a radio button marked kStyleGroupStart (or the first one) to the
  // next one so marked.
  std::vector<ButtonControl*> group;
  bool found = false;
  for (const auto& c : controls_) {
    if (c->kind() != ControlKind::RadioButton) continue;
    if (c->tmpl().Has(kStyleGroupStart) && !group.empty()) {
      if (found) break;
      group.clear();
    }
    group.push_back(static_cast<ButtonControl*>(c.get()));
    if (c->id() == id) found = true;
  }
  return found ? group : std::vector<ButtonControl*>{};
}

void UiWindow::GotoDlgCtrl(int id) {
  if (GetDlgItem(id) == nullptr) return;
  focus_ = id;
  Changed(WindowAspect::Focus);
}

void UiWindow::DoDataExchange(DataExchange&) {}

bool UiWindow::UpdateData(bool save) {
  DataExchange dx(*this, save);
  try {
    DoDataExchange(dx);
  } catch (const DataExchangeRefusal& refusal) {
    CurrentHost().MessageBox(refusal.message, TopLevel().GetWindowText(), MB_OK | MB_ICONEXCLAMATION);
    GotoDlgCtrl(refusal.id);
    return false;
  }
  return true;
}

bool UiWindow::SetTimer(UINT_PTR id, UINT ms) { return hwnd_ != 0 && platform::SetTimer(hwnd_, id, ms) != 0; }

bool UiWindow::KillTimer(UINT_PTR id) { return hwnd_ != 0 && platform::KillTimer(hwnd_, id); }

void UiWindow::HandleCommand(int id, std::function<void()> handler) { commands_[{id, -1}] = std::move(handler); }

void UiWindow::HandleCommand(int id, int code, std::function<void()> handler) {
  commands_[{id, code}] = std::move(handler);
}

void UiWindow::HandleNotify(int id, NotifyCode code, std::function<void(Notification&)> handler) {
  notifies_[{id, code}] = std::move(handler);
}

void UiWindow::HandleMessage(UINT message, std::function<LRESULT(WPARAM, LPARAM)> handler) {
  messages_[message] = std::move(handler);
}

void UiWindow::HandleTimer(UINT_PTR id, std::function<void()> handler) { timers_[id] = std::move(handler); }

bool UiWindow::OnCommand(int id, int code) {
  auto exact = commands_.find({id, code});
  if (exact != commands_.end()) {
    auto handler = exact->second;  // the handler may replace itself
    handler();
    return true;
  }
  if (code == BN_CLICKED) {
    auto any = commands_.find({id, -1});
    if (any != commands_.end()) {
      auto handler = any->second;
      handler();
      return true;
    }
  }
  return false;
}

void UiWindow::OnNotify(Notification& n) {
  auto it = notifies_.find({n.id, n.code});
  if (it != notifies_.end()) {
    auto handler = it->second;
    handler(n);
  }
}

void UiWindow::OnTimer(UINT_PTR id) {
  auto it = timers_.find(id);
  if (it != timers_.end()) {
    auto handler = it->second;
    handler();
  }
}

void UiWindow::OnPaint(int, Canvas&) {}

bool UiWindow::OnKeyDown(UINT, UINT) { return false; }

void UiWindow::OnClose() {}

void UiWindow::OnDropFiles(const std::vector<std::string>& paths, Point at) {
  if (dropFiles_) {
    auto handler = dropFiles_;
    handler(paths, at);
  }
}

bool UiWindow::UserDropFiles(const std::vector<std::string>& posixPaths, Point at) {
  if (!acceptsFiles_ || !IsOpen()) return false;
  std::vector<std::string> paths;
  paths.reserve(posixPaths.size());
  for (const auto& p : posixPaths) paths.push_back(FromPosixPath(p));
  OnDropFiles(paths, at);
  return true;
}

void UiWindow::SetDropHandler(std::shared_ptr<DropHandler> handler) {
  dropHandler_ = std::move(handler);
  Changed(WindowAspect::DropTarget);
}

LRESULT UiWindow::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  auto handler = messages_.find(message);
  if (handler != messages_.end()) {
    auto fn = handler->second;
    return fn(wParam, lParam);
  }
  switch (message) {
    case WM_COMMAND:
      OnCommand(static_cast<int>(LOWORD(wParam)), static_cast<int>(HIWORD(wParam)));
      return 0;
    case WM_TIMER:
      OnTimer(wParam);
      return 0;
    case WM_CLOSE:
      OnClose();
      return 0;
    case WM_DESTROY:
      OnDestroy();
      return 0;
    default:
      return DefWindowProc(GetSafeHwnd(), message, wParam, lParam);
  }
}

bool UiWindow::UserKey(UINT key, UINT modifiers) {
  if (OnKeyDown(key, modifiers)) return true;
  if (key == VK_ESCAPE && modifiers == 0) {
    ControlCommand(IDCANCEL, BN_CLICKED);
    return true;
  }
  if (key == VK_RETURN && modifiers == 0) {
    const int id = DefaultButtonId(*this);
    auto* b = dynamic_cast<ButtonControl*>(GetDlgItem(id));
    if (b != nullptr) return b->UserClick();
  }
  return false;
}

void UiWindow::UserClose() { OnClose(); }

void UiWindow::ControlChanged(Control& control, ControlAspect what) {
  if (peer_ != nullptr) peer_->ControlChanged(*this, control, what);
}

void UiWindow::ControlCommand(int id, int code) { OnCommand(id, code); }

LRESULT UiWindow::ControlNotify(Notification& n) {
  OnNotify(n);
  return n.result;
}

void UiWindow::RadioChecked(Control& radio) {
  for (ButtonControl* b : RadioGroup(radio.id())) {
    if (b != &radio) b->SetCheck(0);
  }
}

// ---- View ----

View::View(const DialogTemplate& t, std::string className) : UiWindow(t), className_(std::move(className)) {}

View::~View() { Destroy(); }

bool View::Create(HWND parent, UiWindow* parentWindow) {
  if (IsOpen()) return true;
  if (!CreateWindowObject(parent, parentWindow, className_)) return false;
  SetVisibleState(true);
  OnCreate();
  host_ = &CurrentHost();
  host_->WindowOpened(*this);
  return true;
}

void View::Destroy() {
  if (!IsOpen()) return;
  SetVisibleState(false);
  if (host_ != nullptr) host_->WindowClosed(*this);
  host_ = nullptr;
  DestroyWindowObject();
}

// ---- Dialog ----

Dialog::Dialog(const DialogTemplate& t, HWND parent) : UiWindow(t), parent_(parent) {}

Dialog::~Dialog() {
  if (IsOpen() && !modal_ && host_ != nullptr) host_->WindowClosed(*this);
}

int Dialog::DoModal() {
  modal_ = true;
  ended_ = false;
  result_ = 0;
  if (!CreateWindowObject(parent_)) {
    modal_ = false;
    return -1;
  }
  OnInitDialog();
  if (!IsEnded()) {
    SetVisibleState(true);
    host_ = &CurrentHost();
    const int answer = host_->RunModal(*this);
    if (!IsEnded()) EndDialog(answer != 0 ? answer : IDCANCEL);  // a host that gave up
  }
  const int result = result_;
  SetVisibleState(false);
  DestroyWindowObject();
  modal_ = false;
  host_ = nullptr;
  return result;
}

bool Dialog::Create(HWND parent) {
  if (IsOpen()) return true;
  modal_ = false;
  ended_ = false;
  parent_ = parent;
  if (!CreateWindowObject(parent_)) return false;
  OnInitDialog();
  if (!IsOpen()) return false;  // the dialog ended itself while starting
  host_ = &CurrentHost();
  host_->WindowOpened(*this);
  if (GetTemplate().frame & kFrameVisible) ShowWindow(SW_SHOW);
  return true;
}

bool Dialog::DestroyWindow() {
  if (!IsOpen()) return false;
  if (modal_) {
    EndDialog(IDCANCEL);
    return true;
  }
  SetVisibleState(false);
  if (host_ != nullptr) host_->WindowClosed(*this);
  host_ = nullptr;
  DestroyWindowObject();
  return true;
}

void Dialog::EndDialog(int result) {
  if (!modal_) {
    DestroyWindow();
    return;
  }
  if (ended_) return;
  ended_ = true;
  result_ = result;
  Changed(WindowAspect::Ended);
}

bool Dialog::OnInitDialog() {
  UpdateData(false);
  return true;
}

void Dialog::OnOK() {
  if (!UpdateData(true)) return;
  EndDialog(IDOK);
}

void Dialog::OnCancel() {
  if (modal_) {
    EndDialog(IDCANCEL);
  } else {
    DestroyWindow();
  }
}

bool Dialog::OnCommand(int id, int code) {
  if (UiWindow::OnCommand(id, code)) return true;
  if (code != BN_CLICKED) return false;
  if (id == IDOK) {
    OnOK();
    return true;
  }
  if (id == IDCANCEL) {
    OnCancel();
    return true;
  }
  return false;
}

bool Dialog::OnKeyDown(UINT key, UINT modifiers) { return UiWindow::OnKeyDown(key, modifiers); }

}  // namespace platform
