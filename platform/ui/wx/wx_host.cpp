#include "platform/ui/wx/wx_host.h"

#include <wx/clipbrd.h>
#include <wx/colordlg.h>
#include <wx/dirdlg.h>
#include <wx/display.h>
#include <wx/dnd.h>
#include <wx/evtloop.h>
#include <wx/filedlg.h>
#include <wx/filename.h>
#include <wx/listctrl.h>
#include <wx/taskbar.h>
#include <wx/treectrl.h>

#include <gdk/gdk.h>
#include <glib-unix.h>
#include <gtk/gtk.h>
#ifdef GDK_WINDOWING_X11
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <gdk/gdkx.h>
#include <gtk/gtkx.h>
#endif
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>

#include "platform/ui/menu.h"
#include "platform/ui/ui_window.h"
#include "platform/ui/wx/wx_render.h"
#include "platform/window/wait.h"
#include "platform/window/window.h"

namespace platform {

using wxui::RenderedWindow;
using wxui::U;
using wxui::W;

namespace {

class HostApp : public wxApp {
 public:
  bool OnInit() override { return true; }
};

// GTK's top-level windows that are mapped now.
std::vector<GtkWindow*> MappedToplevels() {
  std::vector<GtkWindow*> out;
  GList* list = gtk_window_list_toplevels();
  for (GList* l = list; l != nullptr; l = l->next) {
    auto* w = GTK_WINDOW(l->data);
    if (gtk_widget_get_mapped(GTK_WIDGET(w))) out.push_back(w);
  }
  g_list_free(list);
  return out;
}

// Draws the widget's whole window into a PNG (independent of what covers it on screen).
bool SaveGtkWidget(GtkWidget* widget, const std::string& path) {
  if (widget == nullptr) return false;
  GtkWidget* top = gtk_widget_get_toplevel(widget);
  // Without a window manager no window has the focus, and GTK draws every window as a
  // background one; the picture shows the window as the active one it is when a person
  // works in it.
  gtk_widget_unset_state_flags(top, GTK_STATE_FLAG_BACKDROP);
  // A page just switched may still wait for its size: wait for the window's next frame
  // (layout comes before painting in a frame).
  if (wxTheApp != nullptr) wxTheApp->ProcessPendingEvents();
  if (GdkFrameClock* clock = gtk_widget_get_frame_clock(top)) {
    bool painted = false;
    const gulong handler = g_signal_connect_swapped(clock, "after-paint", G_CALLBACK(+[](bool* flag) { *flag = true; }), &painted);
    gtk_widget_queue_resize(top);
    const gint64 until = g_get_monotonic_time() + 2 * G_USEC_PER_SEC;
    // A tick that wakes the wait when no frame comes (an unmapped window).
    const guint tick = g_timeout_add(50, [](gpointer) -> gboolean { return G_SOURCE_CONTINUE; }, nullptr);
    while (!painted && g_get_monotonic_time() < until) g_main_context_iteration(nullptr, TRUE);
    g_source_remove(tick);
    g_signal_handler_disconnect(clock, handler);
  }
  const int width = gtk_widget_get_allocated_width(top);
  const int height = gtk_widget_get_allocated_height(top);
  if (width <= 1 || height <= 1) return false;
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
  cairo_t* cr = cairo_create(surface);
  GtkStyleContext* style = gtk_widget_get_style_context(top);
  gtk_render_background(style, cr, 0, 0, width, height);
  gtk_widget_draw(top, cr);
  cairo_destroy(cr);
  const bool ok = cairo_surface_write_to_png(surface, path.c_str()) == CAIRO_STATUS_SUCCESS;
  cairo_surface_destroy(surface);
  return ok;
}

long MessageStyle(UINT flags) {
  long style = 0;
  switch (flags & MB_TYPEMASK) {
    case MB_OKCANCEL:
    case MB_RETRYCANCEL: style = wxOK | wxCANCEL; break;
    case MB_YESNO: style = wxYES_NO; break;
    case MB_YESNOCANCEL:
    case MB_ABORTRETRYIGNORE:
    case MB_CANCELTRYCONTINUE: style = wxYES_NO | wxCANCEL; break;
    default: style = wxOK; break;
  }
  switch (flags & MB_ICONMASK) {
    case MB_ICONERROR: style |= wxICON_ERROR; break;
    case MB_ICONQUESTION: style |= wxICON_QUESTION; break;
    case MB_ICONEXCLAMATION: style |= wxICON_WARNING; break;
    case MB_ICONINFORMATION: style |= wxICON_INFORMATION; break;
    default: break;
  }
  if (flags & MB_TOPMOST) style |= wxSTAY_ON_TOP;
  return style;
}

// The wx answers of a box, in the order of its buttons (MessageBoxButtons).
std::vector<int> WxAnswers(UINT flags) {
  switch (flags & MB_TYPEMASK) {
    case MB_OKCANCEL: return {wxID_OK, wxID_CANCEL};
    case MB_RETRYCANCEL: return {wxID_OK, wxID_CANCEL};
    case MB_YESNO: return {wxID_YES, wxID_NO};
    case MB_YESNOCANCEL:
    case MB_ABORTRETRYIGNORE:
    case MB_CANCELTRYCONTINUE: return {wxID_YES, wxID_NO, wxID_CANCEL};
    default: return {wxID_OK};
  }
}

int GtkResponse(int wxAnswer) {
  switch (wxAnswer) {
    case wxID_YES: return GTK_RESPONSE_YES;
    case wxID_NO: return GTK_RESPONSE_NO;
    case wxID_CANCEL: return GTK_RESPONSE_CANCEL;
    default: return GTK_RESPONSE_OK;
  }
}

// How a message box of ours looks, given to its GtkMessageDialog as it is shown (the
// toolkit makes the dialog only inside ShowModal): the icon its flags name, a width that
// holds its title beside the window manager's buttons, and the keyboard's focus on its
// default button, so that Enter chooses it.
struct BoxLook {
  UINT flags = 0;
  std::string caption;
  int defaultResponse = 0;

  static gboolean OnShow(GSignalInvocationHint*, guint, const GValue* params, gpointer data) {
    GObject* object = static_cast<GObject*>(g_value_get_object(&params[0]));
    auto* look = static_cast<BoxLook*>(data);
    if (!GTK_IS_MESSAGE_DIALOG(object) || g_object_get_data(object, "tovarin-look") != nullptr) return TRUE;
    GtkWindow* window = GTK_WINDOW(object);
    const char* title = gtk_window_get_title(window);
    // Another box opened meanwhile (from a timer, say) is that box's to finish.
    if (!look->caption.empty() && (title == nullptr || look->caption != title)) return TRUE;
    g_object_set_data(object, "tovarin-look", look);
    look->Apply(GTK_MESSAGE_DIALOG(object));
    return TRUE;
  }

  void Apply(GtkMessageDialog* dialog) const {
    const char* icon = nullptr;
    switch (flags & MB_ICONMASK) {
      case MB_ICONERROR: icon = "dialog-error"; break;
      case MB_ICONQUESTION: icon = "dialog-question"; break;
      case MB_ICONEXCLAMATION: icon = "dialog-warning"; break;
      case MB_ICONINFORMATION: icon = "dialog-information"; break;
      default: break;
    }
    if (icon != nullptr) {
      GtkWidget* image = gtk_image_new_from_icon_name(icon, GTK_ICON_SIZE_DIALOG);
      gtk_widget_show(image);
      gtk_message_dialog_set_image(dialog, image);
    }
    // The title is drawn by the window manager in a bold face, beside its buttons; the
    // room for those is an allowance, as the manager does not tell it.
    GtkWidget* widget = GTK_WIDGET(dialog);
    PangoLayout* layout = gtk_widget_create_pango_layout(widget, caption.c_str());
    PangoFontDescription* bold = pango_font_description_copy(pango_context_get_font_description(pango_layout_get_context(layout)));
    pango_font_description_set_weight(bold, PANGO_WEIGHT_BOLD);
    pango_layout_set_font_description(layout, bold);
    int textWidth = 0, textHeight = 0;
    pango_layout_get_pixel_size(layout, &textWidth, &textHeight);
    pango_font_description_free(bold);
    g_object_unref(layout);
    const int wanted = textWidth + 8 * textHeight + 48;
    int width = -1, height = -1;
    gtk_widget_get_size_request(widget, &width, &height);
    if (width < wanted) gtk_widget_set_size_request(widget, wanted, height);
    if (GtkWidget* button = gtk_dialog_get_widget_for_response(GTK_DIALOG(dialog), defaultResponse)) {
      gtk_widget_set_can_default(button, TRUE);
      gtk_widget_grab_default(button);
      gtk_window_set_focus(GTK_WINDOW(dialog), button);
    }
  }
};

// A tray icon: clicks become the callback message of its window.
class TrayIconWx : public wxTaskBarIcon {
 public:
  TrayIcon icon;
};

}  // namespace

// ---- the host's state ----

// A data object of the toolkit over an offer: formats by name, bytes made when the
// receiver (the clipboard's requester, a drop target) asks, once per format.
class OfferData : public wxDataObject {
 public:
  explicit OfferData(std::shared_ptr<DataOffer> offer) : offer_(std::move(offer)) {
    for (const std::string& f : offer_->Formats()) formats_.emplace_back(W(f));
  }
  const std::shared_ptr<DataOffer>& offer() const { return offer_; }
  // Called before the bytes of a format are made (a drag's source hears that the target
  // took the drag).
  void SetBeforeRender(std::function<void()> f) { beforeRender_ = std::move(f); }

  wxDataFormat GetPreferredFormat(Direction) const override {
    return formats_.empty() ? wxDataFormat() : formats_.front();
  }
  size_t GetFormatCount(Direction dir) const override { return dir == Get ? formats_.size() : 0; }
  void GetAllFormats(wxDataFormat* out, Direction dir) const override {
    if (dir != Get) return;
    for (std::size_t i = 0; i < formats_.size(); ++i) out[i] = formats_[i];
  }
  size_t GetDataSize(const wxDataFormat& format) const override {
    const std::optional<std::string>& bytes = Render(format);
    return bytes ? bytes->size() : 0;  // 0: nothing is sent
  }
  bool GetDataHere(const wxDataFormat& format, void* buf) const override {
    const std::optional<std::string>& bytes = Render(format);
    if (!bytes) return false;
    if (!bytes->empty()) std::memcpy(buf, bytes->data(), bytes->size());
    return true;
  }
  bool SetData(const wxDataFormat&, size_t, const void*) override { return false; }

 private:
  const std::optional<std::string>& Render(const wxDataFormat& format) const {
    const std::string name = U(format.GetId());
    auto it = rendered_.find(name);
    if (it == rendered_.end()) {
      if (beforeRender_) beforeRender_();
      it = rendered_.emplace(name, offer_->Data(name)).first;
    }
    return it->second;
  }

  std::shared_ptr<DataOffer> offer_;
  std::vector<wxDataFormat> formats_;
  std::function<void()> beforeRender_;
  mutable std::map<std::string, std::optional<std::string>> rendered_;
};

// What another program put on the desktop's clipboard: its targets, and the bytes of one
// asked for when needed (once each).
class DesktopClipboardOffer : public DataOffer {
 public:
  std::vector<std::string> Formats() override {
    if (!formats_) {
      formats_.emplace();
      GdkAtom* atoms = nullptr;
      gint count = 0;
      if (gtk_clipboard_wait_for_targets(gtk_clipboard_get(GDK_SELECTION_CLIPBOARD), &atoms, &count)) {
        for (gint i = 0; i < count; ++i) {
          gchar* name = gdk_atom_name(atoms[i]);
          if (name != nullptr) formats_->emplace_back(name);
          g_free(name);
        }
        g_free(atoms);
      }
    }
    return *formats_;
  }
  std::optional<std::string> Data(std::string_view format) override {
    const std::string name(format);
    auto it = data_.find(name);
    if (it != data_.end()) return it->second;
    std::optional<std::string> bytes;
    if (Offers(name)) {
      GtkSelectionData* data =
          gtk_clipboard_wait_for_contents(gtk_clipboard_get(GDK_SELECTION_CLIPBOARD), gdk_atom_intern(name.c_str(), FALSE));
      if (data != nullptr) {
        const gint length = gtk_selection_data_get_length(data);
        if (length >= 0) bytes.emplace(reinterpret_cast<const char*>(gtk_selection_data_get_data(data)), length);
        gtk_selection_data_free(data);
      }
    }
    data_.emplace(name, bytes);
    return bytes;
  }

 private:
  std::optional<std::vector<std::string>> formats_;
  std::map<std::string, std::optional<std::string>> data_;
};

// A drag's source as the toolkit runs it: its feedback goes to the offer.
class OfferDropSource : public wxDropSource {
 public:
  OfferDropSource(OfferData& data, wxWindow* from) : wxDropSource(data, from), offer_(data.offer()) {}
  bool GiveFeedback(wxDragResult effect) override {
    last_ = effect;
    given_ = true;
    offer_->Feedback(ToEffect(effect));
    return false;  // the toolkit's own cursors
  }
  // Before the target's data is made: the effect the target took it with.
  void Took() {
    if (!given_) offer_->Feedback(DROPEFFECT_COPY);  // a target that asks for data took the drag
  }
  static DWORD ToEffect(wxDragResult r) {
    switch (r) {
      case wxDragCopy: return DROPEFFECT_COPY;
      case wxDragMove: return DROPEFFECT_MOVE;
      case wxDragLink: return DROPEFFECT_LINK;
      default: return DROPEFFECT_NONE;
    }
  }

 private:
  std::shared_ptr<DataOffer> offer_;
  wxDragResult last_ = wxDragNone;
  bool given_ = false;
};

struct WxHost::Impl {
  WxHost* host = nullptr;
  std::function<void(WxPrompt&)> observer;
  std::map<UiWindow*, std::unique_ptr<RenderedWindow>> open;  // modeless windows
  std::vector<RenderedWindow*> modal;                           // modal windows, innermost last
  std::map<std::pair<HWND, UINT>, TrayIconWx*> trays;
  TrayIconWx* clicked = nullptr;  // the tray icon whose click is being handled
  wxWindow* menuOwner = nullptr;  // pop-up menus without a tray icon open here
  wxGUIEventLoop* mainLoop = nullptr;
  guint queueSource = 0;
  guint timerSource = 0;
  int hookDepth = 0;
  UINT taskbarCreated = 0;
  // The offer this program put on the desktop's clipboard, while the clipboard holds it.
  std::shared_ptr<DataOffer> clipboardOffer;

  // Serves the thread's window queue; a WM_QUIT ends the host's loop (or waits for the
  // loop that owns the thread).
  void PumpPlatform() {
    ResetMessageQueueDescriptor();
    MSG msg;
    while (PeekMessage(&msg, 0, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT) {
        if (mainLoop != nullptr) {
          mainLoop->ScheduleExit(static_cast<int>(msg.wParam));
        } else {
          PostQuitMessage(static_cast<int>(msg.wParam));
        }
        break;
      }
      DispatchMessage(&msg);
    }
    ArmTimer();
  }

  void ArmTimer() {
    if (timerSource != 0) g_source_remove(timerSource);
    timerSource = 0;
    const int ms = GetMessageQueueTimeoutMs();
    if (ms < 0) return;
    GSource* s = g_timeout_source_new(static_cast<guint>(ms));
    g_source_set_can_recurse(s, TRUE);
    g_source_set_callback(
        s,
        [](gpointer data) -> gboolean {
          auto* self = static_cast<Impl*>(data);
          self->timerSource = 0;
          self->PumpPlatform();
          return G_SOURCE_REMOVE;
        },
        this, nullptr);
    timerSource = g_source_attach(s, nullptr);
    g_source_unref(s);
  }

  void WatchQueue() {
    const int fd = GetMessageQueueDescriptor();
    if (fd < 0) return;
    GSource* s = g_unix_fd_source_new(fd, G_IO_IN);
    // Modal loops run inside our own dispatch: the source must fire there too.
    g_source_set_can_recurse(s, TRUE);
    g_source_set_callback(s, G_SOURCE_FUNC(&Impl::OnQueueReady), this, nullptr);
    queueSource = g_source_attach(s, nullptr);
    g_source_unref(s);
    ArmTimer();
  }

  static gboolean OnQueueReady(gint, GIOCondition, gpointer data) {
    static_cast<Impl*>(data)->PumpPlatform();
    return G_SOURCE_CONTINUE;
  }

  // Toolkit events waiting now (PumpMessages' hook).
  void DispatchToolkit() {
    if (hookDepth > 8) return;
    ++hookDepth;
    for (int i = 0; i < 1000 && g_main_context_pending(nullptr); ++i) g_main_context_iteration(nullptr, FALSE);
    if (wxTheApp != nullptr) wxTheApp->ProcessPendingEvents();
    --hookDepth;
  }

  // Calls `ready` once `shown()` holds (checked every 20 ms, also inside modal loops).
  void WhenShown(std::function<bool()> shown, std::function<void()> ready) {
    struct Wait {
      std::function<bool()> shown;
      std::function<void()> ready;
      int settled = 0;
    };
    auto* wait = new Wait{std::move(shown), std::move(ready)};
    GSource* s = g_timeout_source_new(20);
    g_source_set_can_recurse(s, TRUE);
    g_source_set_callback(
        s,
        [](gpointer data) -> gboolean {
          auto* w = static_cast<Wait*>(data);
          if (!w->shown()) {
            w->settled = 0;
            return G_SOURCE_CONTINUE;
          }
          // Two quiet ticks after mapping: laid out and drawn.
          if (++w->settled < 3) return G_SOURCE_CONTINUE;
          auto ready = std::move(w->ready);
          w->ready = nullptr;
          if (ready) ready();
          return G_SOURCE_REMOVE;
        },
        wait, [](gpointer data) { delete static_cast<Wait*>(data); });
    g_source_attach(s, nullptr);
    g_source_unref(s);
  }

  RenderedWindow* Find(UiWindow& w) {
    for (RenderedWindow* m : modal) {
      if (&m->window() == &w) return m;
    }
    auto it = open.find(&w);
    return it == open.end() ? nullptr : it->second.get();
  }

  wxWindow* ParentOf(HWND parent) {
    if (parent == 0) return nullptr;
    UiWindow* w = UiWindow::FromHandle(parent);
    if (w == nullptr) return nullptr;
    RenderedWindow* r = Find(w->TopLevel());
    return r != nullptr ? r->top() : nullptr;
  }

  void BroadcastTaskbarCreated() {
    const DWORD me = static_cast<DWORD>(::getpid());
    std::vector<HWND> targets;
    EnumWindows([&](HWND h) {
      DWORD pid = 0;
      GetWindowThreadProcessId(h, &pid);
      if (pid == me) targets.push_back(h);
      return true;
    });
    for (HWND h : targets) PostMessage(h, taskbarCreated, 0, 0);
  }

#ifdef GDK_WINDOWING_X11
  // The tray host announces itself with a MANAGER message on the root window: it was
  // (re)started, as the desktop's "TaskbarCreated" says.
  static GdkFilterReturn RootFilter(GdkXEvent* xevent, GdkEvent*, gpointer data) {
    auto* e = static_cast<XEvent*>(xevent);
    if (e->type != ClientMessage) return GDK_FILTER_CONTINUE;
    Display* display = e->xclient.display;
    static Atom manager = XInternAtom(display, "MANAGER", False);
    char name[32];
    std::snprintf(name, sizeof name, "_NET_SYSTEM_TRAY_S%d", DefaultScreen(display));
    static Atom tray = XInternAtom(display, name, False);
    if (e->xclient.message_type == manager && static_cast<Atom>(e->xclient.data.l[1]) == tray) {
      static_cast<Impl*>(data)->BroadcastTaskbarCreated();
    }
    return GDK_FILTER_CONTINUE;
  }

  void WatchTrayHost() {
    GdkDisplay* display = gdk_display_get_default();
    if (display == nullptr || !GDK_IS_X11_DISPLAY(display)) return;
    GdkWindow* root = gdk_get_default_root_window();
    Display* xd = GDK_DISPLAY_XDISPLAY(display);
    Window xroot = GDK_WINDOW_XID(root);
    XWindowAttributes attrs;
    if (XGetWindowAttributes(xd, xroot, &attrs)) XSelectInput(xd, xroot, attrs.your_event_mask | StructureNotifyMask);
    gdk_window_add_filter(root, &Impl::RootFilter, this);
  }
#else
  void WatchTrayHost() {}
#endif
};

// ---- prompts ----

namespace {

class PromptBase : public WxPrompt {
 public:
  std::vector<RenderedControl> Controls() override { return {}; }
  std::vector<RenderedMenuItem> MenuItems() override { return {}; }
  std::optional<Rect> ItemRect(UINT) override { return std::nullopt; }
  bool Click(int) override { return false; }
  bool SetCheck(int, bool) override { return false; }
  bool Type(int, const std::string&) override { return false; }
  bool Slide(int, int) override { return false; }
  bool Choose(UINT) override { return false; }
  bool SelectPage(const std::string&) override { return false; }
  UiWindow* window() const override { return nullptr; }
  std::string text() const override { return {}; }
};

class DialogPrompt : public PromptBase {
 public:
  explicit DialogPrompt(RenderedWindow& r) : r_(r) {}
  Kind kind() const override { return Kind::Dialog; }
  std::string caption() const override { return r_.window().GetWindowText(); }
  UiWindow* window() const override { return &r_.window(); }
  bool SaveImage(const std::string& path) override {
    return SaveGtkWidget(static_cast<GtkWidget*>(r_.top()->GetHandle()), path);
  }
  std::vector<RenderedControl> Controls() override { return r_.Readback(); }

  bool Click(int id) override {
    wxWindow* w = Usable(id);
    if (w == nullptr) return false;
    if (auto* b = dynamic_cast<wxButton*>(w)) return Send(b, wxEVT_BUTTON);
    if (auto* c = dynamic_cast<wxCheckBox*>(w)) {
      c->SetValue(!c->GetValue());
      return Send(c, wxEVT_CHECKBOX, c->GetValue() ? 1 : 0);
    }
    if (auto* rb = dynamic_cast<wxRadioButton*>(w)) {
      rb->SetValue(true);
      return Send(rb, wxEVT_RADIOBUTTON, 1);
    }
    return false;
  }
  bool SetCheck(int id, bool checked) override {
    auto* c = dynamic_cast<wxCheckBox*>(Usable(id));
    if (c == nullptr) return false;
    return c->GetValue() == checked || Click(id);
  }
  bool Type(int id, const std::string& text) override {
    auto* t = dynamic_cast<wxTextCtrl*>(Usable(id));
    if (t == nullptr || !t->IsEditable()) return false;
    t->SetValue(W(text));  // sends the change as typing does
    return true;
  }
  bool Slide(int id, int position) override {
    auto* s = dynamic_cast<wxSlider*>(Usable(id));
    if (s == nullptr) return false;
    s->SetValue(position);
    for (auto type : {wxEVT_SCROLL_THUMBTRACK, wxEVT_SCROLL_THUMBRELEASE}) {
      wxScrollEvent e(type, s->GetId(), s->GetValue(), s->HasFlag(wxSL_VERTICAL) ? wxVERTICAL : wxHORIZONTAL);
      e.SetEventObject(s);
      s->HandleWindowEvent(e);
    }
    return true;
  }
  bool Choose(UINT command) override { return Click(static_cast<int>(command)); }
  bool SelectPage(const std::string& title) override {
    if (wxNotebook* nb = r_.notebook()) {
      for (size_t i = 0; i < nb->GetPageCount(); ++i) {
        if (U(nb->GetPageText(i)) == title) {
          nb->SetSelection(i);  // sends the changing events a click sends
          return static_cast<size_t>(nb->GetSelection()) == i;
        }
      }
      return false;
    }
    auto* tree = dynamic_cast<wxTreeCtrl*>(r_.tree());
    if (tree == nullptr) return false;
    wxTreeItemId found;
    std::function<void(wxTreeItemId)> walk = [&](wxTreeItemId parent) {
      wxTreeItemIdValue cookie;
      for (wxTreeItemId i = tree->GetFirstChild(parent, cookie); i.IsOk() && !found.IsOk();
           i = tree->GetNextChild(parent, cookie)) {
        if (U(tree->GetItemText(i)) == title) found = i;
        walk(i);
      }
    };
    walk(tree->GetRootItem());
    if (!found.IsOk()) return false;
    tree->SelectItem(found);
    return tree->IsSelected(found);
  }
  void Cancel() override { r_.top()->Close(); }

 private:
  wxWindow* Usable(int id) {
    wxWindow* w = r_.Widget(id);
    if (w == nullptr || !w->IsEnabled()) return nullptr;
    for (wxWindow* p = w; p != nullptr; p = p->GetParent()) {
      if (!p->IsShown()) return nullptr;
      if (p == r_.top()) break;
    }
    return w;
  }
  static bool Send(wxWindow* w, wxEventType type, int value = 0) {
    wxCommandEvent e(type, w->GetId());
    e.SetEventObject(w);
    e.SetInt(value);
    w->HandleWindowEvent(e);
    return true;
  }
  RenderedWindow& r_;
};

// Message boxes and pickers are the desktop's own dialogs.
class GtkDialogPrompt : public PromptBase {
 public:
  GtkDialogPrompt(Kind kind, GtkWindow* dialog, std::string caption, std::string text, std::vector<int> answers,
                  UINT flags)
      : kind_(kind), dialog_(dialog), caption_(std::move(caption)), text_(std::move(text)), answers_(std::move(answers)), flags_(flags) {}
  Kind kind() const override { return kind_; }
  std::string caption() const override { return caption_; }
  std::string text() const override { return text_; }
  bool SaveImage(const std::string& path) override { return SaveGtkWidget(GTK_WIDGET(dialog_), path); }
  bool Choose(UINT button) override {
    if (!GTK_IS_DIALOG(dialog_)) return false;
    const std::vector<int> ours = MessageBoxButtons(flags_);
    for (std::size_t i = 0; i < ours.size() && i < answers_.size(); ++i) {
      if (ours[i] == static_cast<int>(button)) {
        gtk_dialog_response(GTK_DIALOG(dialog_), GtkResponse(answers_[i]));
        return true;
      }
    }
    return false;
  }
  void Cancel() override {
    if (GTK_IS_DIALOG(dialog_)) gtk_dialog_response(GTK_DIALOG(dialog_), GTK_RESPONSE_CANCEL);
  }

 private:
  Kind kind_;
  GtkWindow* dialog_;
  std::string caption_;
  std::string text_;
  std::vector<int> answers_;
  UINT flags_;
};

class MenuPrompt : public PromptBase {
 public:
  MenuPrompt(wxMenu* menu, const std::map<int, UINT>& commands) : menu_(menu), commands_(commands) {}
  Kind kind() const override { return Kind::Menu; }
  std::string caption() const override { return {}; }
  bool SaveImage(const std::string& path) override { return SaveGtkWidget(menu_->m_menu, path); }
  std::vector<RenderedMenuItem> MenuItems() override {
    std::vector<RenderedMenuItem> out;
    Walk(menu_, 0, out, nullptr);
    return out;
  }
  std::optional<Rect> ItemRect(UINT command) override {
    wxMenu* owner = nullptr;
    wxMenuItem* item = Find(command, owner);
    if (item == nullptr) return std::nullopt;
    GtkWidget* widget = item->GetMenuItem();
    GdkWindow* window = widget != nullptr ? gtk_widget_get_window(widget) : nullptr;
    if (window == nullptr || !gtk_widget_get_mapped(widget)) return std::nullopt;
    GtkAllocation a;
    gtk_widget_get_allocation(widget, &a);
    int x = 0, y = 0;
    gdk_window_get_origin(window, &x, &y);
    return Rect{x + a.x, y + a.y, x + a.x + a.width, y + a.y + a.height};
  }
  bool Choose(UINT command) override {
    wxMenu* owner = nullptr;
    wxMenuItem* item = Find(command, owner);
    if (item == nullptr || !item->IsEnabled() || item->IsSeparator() || item->IsSubMenu()) return false;
    gtk_menu_shell_activate_item(GTK_MENU_SHELL(owner->m_menu), item->GetMenuItem(), TRUE);
    gtk_menu_shell_deactivate(GTK_MENU_SHELL(menu_->m_menu));
    return true;
  }
  void Cancel() override { gtk_menu_shell_cancel(GTK_MENU_SHELL(menu_->m_menu)); }

 private:
  wxMenuItem* Find(UINT command, wxMenu*& owner) {
    wxMenuItem* item = nullptr;
    std::vector<RenderedMenuItem> ignored;
    Walk(menu_, 0, ignored, [&](wxMenu* m, wxMenuItem* i) {
      auto it = commands_.find(i->GetId());
      if (item == nullptr && it != commands_.end() && it->second == command) {
        item = i;
        owner = m;
      }
    });
    return item;
  }
  void Walk(wxMenu* menu, int depth, std::vector<RenderedMenuItem>& out,
            const std::function<void(wxMenu*, wxMenuItem*)>& visit) {
    for (wxMenuItem* i : menu->GetMenuItems()) {
      RenderedMenuItem r;
      r.depth = depth;
      r.separator = i->IsSeparator();
      r.submenu = i->IsSubMenu();
      if (!r.separator) {
        r.text = U(wxMenuItem::GetLabelText(i->GetItemLabel()));
        r.enabled = i->IsEnabled();
        r.checked = i->IsCheckable() && i->IsChecked();
        auto it = commands_.find(i->GetId());
        r.command = it != commands_.end() ? it->second : 0;
      }
      out.push_back(r);
      if (visit) visit(menu, i);
      if (r.submenu) Walk(i->GetSubMenu(), depth + 1, out, visit);
    }
  }
  wxMenu* menu_;
  const std::map<int, UINT>& commands_;
};

}  // namespace

// ---- the host ----

WxHost::WxHost() : impl_(std::make_unique<Impl>()) { impl_->host = this; }

std::unique_ptr<WxHost> WxHost::Open(const std::string& programName) {
  if (!HasDisplay()) {
    std::fprintf(stderr, "%s: no display ($DISPLAY, $WAYLAND_DISPLAY)\n", programName.c_str());
    return nullptr;
  }
  // The toolkit starts once per process and stays (GTK cannot start twice).
  static bool started = [&] {
    wxApp::SetInstance(new HostApp);
    static std::string name = programName;
    static char* argv[] = {name.data(), nullptr};
    static int argc = 1;
    if (!wxEntryStart(argc, argv)) return false;
    // A toolkit assertion is a line on stderr, never a dialog that waits for a person.
    wxSetAssertHandler([](const wxString& file, int line, const wxString& func, const wxString& cond,
                          const wxString& msg) {
      std::fprintf(stderr, "wx: %s(%d) %s: %s %s\n", U(file).c_str(), line, U(func).c_str(), U(cond).c_str(),
                   U(msg).c_str());
    });
    if (!wxTheApp->CallOnInit()) return false;
    wxTheApp->SetExitOnFrameDelete(false);
    return true;
  }();
  if (!started) {
    std::fprintf(stderr, "%s: the display cannot be opened\n", programName.c_str());
    return nullptr;
  }
  std::unique_ptr<WxHost> host(new WxHost);
  Impl& impl = *host->impl_;
  impl.taskbarCreated = RegisterWindowMessage("TaskbarCreated");
  impl.menuOwner = new wxFrame(nullptr, wxID_ANY, "", wxDefaultPosition, wxSize(1, 1), wxFRAME_NO_TASKBAR);
  impl.WatchQueue();
  impl.WatchTrayHost();
  Impl* raw = &impl;
  SetPumpHook([raw] { raw->DispatchToolkit(); });
  SetCurrentHost(host.get());
  return host;
}

WxHost::~WxHost() {
  if (&CurrentHost() == this) SetCurrentHost(nullptr);
  SetPumpHook({});
  Impl& impl = *impl_;
  if (impl.queueSource != 0) g_source_remove(impl.queueSource);
  if (impl.timerSource != 0) g_source_remove(impl.timerSource);
#ifdef GDK_WINDOWING_X11
  if (GdkDisplay* d = gdk_display_get_default(); d != nullptr && GDK_IS_X11_DISPLAY(d)) {
    gdk_window_remove_filter(gdk_get_default_root_window(), &Impl::RootFilter, &impl);
  }
#endif
  for (auto& [key, icon] : impl.trays) {
    icon->RemoveIcon();
    delete icon;
  }
  impl.trays.clear();
  for (auto& [window, rendered] : impl.open) window->ForgetHost(this);
  impl.open.clear();
  if (impl.menuOwner != nullptr) impl.menuOwner->Destroy();
  for (int i = 0; i < 100 && g_main_context_pending(nullptr); ++i) g_main_context_iteration(nullptr, FALSE);
  if (wxTheApp != nullptr) wxTheApp->ProcessPendingEvents();
}

int WxHost::MessageBox(const std::string& text, const std::string& caption, UINT flags) {
  const std::vector<int> ours = MessageBoxButtons(flags);
  const std::vector<int> theirs = WxAnswers(flags);
  long style = MessageStyle(flags);
  const int def = DefaultButton(flags);
  if (def == IDNO) style |= wxNO_DEFAULT;
  if (def == IDCANCEL && ours.size() > 1) style |= wxCANCEL_DEFAULT;
  wxWindow* parent = impl_->ParentOf(GetOwnerWindow());
  wxMessageDialog dialog(parent, W(text), W(caption), style | wxCENTRE);
  // Boxes whose buttons wx does not name keep their own labels.
  switch (flags & MB_TYPEMASK) {
    case MB_ABORTRETRYIGNORE: dialog.SetYesNoCancelLabels("_Abort", "_Retry", "_Ignore"); break;
    case MB_CANCELTRYCONTINUE: dialog.SetYesNoCancelLabels("_Cancel", "_Try Again", "_Continue"); break;
    case MB_RETRYCANCEL: dialog.SetOKCancelLabels("_Retry", "_Cancel"); break;
    default: break;
  }
  if (impl_->observer) {
    std::set<GtkWindow*> before;
    for (GtkWindow* w : MappedToplevels()) before.insert(w);
    auto observer = impl_->observer;
    impl_->WhenShown(
        [before] {
          for (GtkWindow* w : MappedToplevels()) {
            if (!before.count(w) && GTK_IS_MESSAGE_DIALOG(w)) return true;
          }
          return false;
        },
        [before, observer, text, caption, theirs, flags] {
          for (GtkWindow* w : MappedToplevels()) {
            if (!before.count(w) && GTK_IS_MESSAGE_DIALOG(w)) {
              GtkDialogPrompt prompt(WxPrompt::Kind::MessageBox, w, caption, text, theirs, flags);
              observer(prompt);
              return;
            }
          }
        });
  }
  BoxLook look;
  look.flags = flags;
  look.caption = caption;
  for (std::size_t i = 0; i < theirs.size() && i < ours.size(); ++i) {
    if (ours[i] == def) look.defaultResponse = GtkResponse(theirs[i]);
  }
  const guint show = g_signal_lookup("show", GTK_TYPE_WIDGET);
  const gulong hook = g_signal_add_emission_hook(show, 0, &BoxLook::OnShow, &look, nullptr);
  const int answer = dialog.ShowModal();
  g_signal_remove_emission_hook(show, hook);
  for (std::size_t i = 0; i < theirs.size() && i < ours.size(); ++i) {
    if (theirs[i] == answer) return ours[i];
  }
  // Closed without a button (Escape, the close box): Cancel when the box has it, else No
  // (closing never says Yes to a question), else its default.
  for (int wanted : {IDCANCEL, IDNO}) {
    for (int id : ours) {
      if (id == wanted) return id;
    }
  }
  return ours.size() == 1 ? ours[0] : def;
}

int WxHost::RunModal(UiWindow& window) {
  auto* dialogObject = dynamic_cast<Dialog*>(&window);
  RenderedWindow rendered(window, impl_->ParentOf(window.GetParentHwnd()), true);
  wxDialog* dialog = rendered.dialog();
  dialog->Fit();
  rendered.Place();
  impl_->modal.push_back(&rendered);
  if (impl_->observer) {
    auto observer = impl_->observer;
    RenderedWindow* r = &rendered;
    wxWeakRef<wxWindow> alive(dialog);
    impl_->WhenShown([alive] { return alive && alive->IsShown() && gtk_widget_get_mapped(static_cast<GtkWidget*>(alive->GetHandle())); },
                     [alive, observer, r] {
                       if (!alive) return;
                       DialogPrompt prompt(*r);
                       observer(prompt);
                     });
  }
  dialog->Bind(wxEVT_SHOW, [&rendered](wxShowEvent& e) {
    if (e.IsShown()) rendered.ReportRect();
    e.Skip();
  });
  int result = IDCANCEL;
  if (dialogObject == nullptr || !dialogObject->IsEnded()) {
    dialog->ShowModal();
    if (dialogObject != nullptr && dialogObject->IsEnded()) result = dialogObject->GetModalResult();
  }
  impl_->modal.pop_back();
  return result;
}

void WxHost::WindowOpened(UiWindow& window) {
  if (impl_->open.count(&window) != 0) return;
  const bool child = (window.GetTemplate().frame & kFrameChild) != 0;
  wxWindow* parent = impl_->ParentOf(window.GetParentHwnd());
  if (child && parent != nullptr) {
    // The parent may say where children of the view's class go (a frame's panes).
    wxWindow* container = parent;
    auto* view = dynamic_cast<View*>(&window);
    UiWindow* owner = UiWindow::FromHandle(window.GetParentHwnd());
    if (view != nullptr && owner != nullptr) {
      const int area = owner->GetChildArea(view->GetClassName());
      RenderedWindow* rendered = area != 0 ? impl_->Find(owner->TopLevel()) : nullptr;
      if (wxWindow* w = rendered != nullptr ? rendered->Widget(area) : nullptr) container = w;
    }
    if (container != parent && container->GetSizer() == nullptr) container->SetSizer(new wxBoxSizer(wxVERTICAL));
    auto rendered = std::make_unique<RenderedWindow>(window, container, false);
    if (container->GetSizer() != nullptr) container->GetSizer()->Add(rendered->top(), 1, wxEXPAND);
    container->Layout();
    parent->Layout();
    impl_->open[&window] = std::move(rendered);
    return;
  }
  auto rendered = std::make_unique<RenderedWindow>(window, parent, true);
  // A window the running modal dialog opens over itself is one its command shows and waits
  // for (a transfer's window): under the dialog's grab it would take no input at all, so
  // it holds the input over the dialog until it closes. Windows of no owner (a pop-up
  // that comes and goes by itself) stay as they are.
  if (!impl_->modal.empty() && parent != nullptr && wxGetTopLevelParent(parent) == impl_->modal.back()->top()) {
    if (auto* top = static_cast<GtkWidget*>(rendered->top()->GetHandle()); top != nullptr && GTK_IS_WINDOW(top)) {
      gtk_window_set_modal(GTK_WINDOW(top), TRUE);
    }
  }
  const Rect wanted = window.GetWindowRect();
  if (rendered->frame() != nullptr && !wanted.IsEmpty()) {
    // A main window opens at the size its program gave it (at least its content's).
    const wxSize best = rendered->top()->GetBestSize();
    rendered->top()->SetSize(std::max(best.x, wanted.Width()), std::max(best.y, wanted.Height()));
  } else {
    rendered->top()->Fit();
  }
  if (window.IsWindowVisible()) {
    rendered->Place();
    rendered->top()->Show();
  }
  rendered->ReportRect();
  impl_->open[&window] = std::move(rendered);
}

void WxHost::WindowClosed(UiWindow& window) { impl_->open.erase(&window); }

UINT WxHost::TrackPopupMenu(const Menu& menu, int, int, HWND) {
  std::map<int, UINT> commands;
  auto idOf = [&commands](UINT command) {
    const int id = wxWindow::NewControlId();
    commands[id] = command;
    return id;
  };
  std::unique_ptr<wxMenu> popup(wxui::MakeWxMenu(menu, idOf));
  UINT chosen = 0;
  popup->Bind(wxEVT_MENU, [&](wxCommandEvent& e) {
    auto it = commands.find(e.GetId());
    if (it != commands.end()) chosen = it->second;
  });
  if (impl_->observer) {
    auto observer = impl_->observer;
    wxMenu* m = popup.get();
    const std::map<int, UINT>* ids = &commands;
    impl_->WhenShown([m] { return gtk_widget_get_mapped(m->m_menu) != 0; },
                     [m, ids, observer] {
                       MenuPrompt prompt(m, *ids);
                       observer(prompt);
                     });
  }
  // While a modal window runs, every other top-level window is disabled, and a menu
  // popped up from a disabled window shows but never delivers the command a person picks
  // (the toolkit drops it): such a menu (a context menu of the dialog, the tray's menu
  // while a sheet is open) pops up from the innermost modal window.
  if (!impl_->modal.empty()) {
    impl_->modal.back()->top()->PopupMenu(popup.get());
  } else if (impl_->clicked != nullptr) {
    impl_->clicked->PopupMenu(popup.get());
  } else {
    impl_->menuOwner->PopupMenu(popup.get());
  }
  // The chosen command arrives as the menu closes.
  for (int i = 0; i < 50 && g_main_context_pending(nullptr); ++i) g_main_context_iteration(nullptr, FALSE);
  return chosen;
}

namespace {

// Runs a desktop picker (a GtkDialog behind a wx dialog) and tells the observer.
template <class D>
int RunPicker(WxHost::Impl& impl, D& dialog, const std::string& title) {
  if (impl.observer) {
    std::set<GtkWindow*> before;
    for (GtkWindow* w : MappedToplevels()) before.insert(w);
    auto observer = impl.observer;
    auto find = [before]() -> GtkWindow* {
      for (GtkWindow* w : MappedToplevels()) {
        if (!before.count(w) && GTK_IS_DIALOG(w)) return w;
      }
      return nullptr;
    };
    impl.WhenShown([find] { return find() != nullptr; },
                   [find, observer, title] {
                     if (GtkWindow* w = find()) {
                       GtkDialogPrompt prompt(WxPrompt::Kind::Picker, w, title, "", {wxID_OK, wxID_CANCEL}, MB_OKCANCEL);
                       observer(prompt);
                     }
                   });
  }
  return dialog.ShowModal();
}

}  // namespace

std::optional<std::string> WxHost::ShowFolderPicker(const FolderPickerRequest& request) {
  wxDirDialog dialog(impl_->ParentOf(request.owner), W(request.title.empty() ? "Select a folder" : request.title),
                     W(request.initialPath));
  if (RunPicker(*impl_, dialog, request.title) != wxID_OK) return std::nullopt;
  return U(dialog.GetPath());
}

std::optional<std::string> WxHost::ShowFilePicker(const FilePickerRequest& request) {
  wxString wildcard;
  for (const FileFilter& f : request.filters) {
    wxString patterns;
    for (const std::string& p : f.patterns) patterns += (patterns.empty() ? "" : ";") + W(p);
    wildcard += (wildcard.empty() ? "" : "|") + W(f.name) + "|" + patterns;
  }
  if (wildcard.empty()) wildcard = "*";
  wxString folder, file;
  if (!request.initialPath.empty()) {
    wxFileName name(W(request.initialPath));
    if (wxDirExists(name.GetFullPath())) {
      folder = name.GetFullPath();
    } else {
      folder = name.GetPath();
      file = name.GetFullName();
    }
  }
  long style = request.save ? (wxFD_SAVE | wxFD_OVERWRITE_PROMPT) : (wxFD_OPEN | wxFD_FILE_MUST_EXIST);
  wxFileDialog dialog(impl_->ParentOf(request.owner), W(request.title), folder, file, wildcard, style);
  if (RunPicker(*impl_, dialog, request.title) != wxID_OK) return std::nullopt;
  std::string path = U(dialog.GetPath());
  if (request.save && !request.defaultExtension.empty() && path.find('.', path.rfind('/') + 1) == std::string::npos) {
    path += request.defaultExtension;
  }
  return path;
}

std::optional<COLORREF> WxHost::ShowColourPicker(ColourPickerRequest& request) {
  wxColourData data;
  data.SetChooseFull(true);
  data.SetColour(wxui::ToColour(request.initial));
  for (int i = 0; i < 16; ++i) data.SetCustomColour(i, wxui::ToColour(request.custom[static_cast<std::size_t>(i)]));
  wxColourDialog dialog(impl_->ParentOf(request.owner), &data);
  if (RunPicker(*impl_, dialog, "Color") != wxID_OK) return std::nullopt;
  const wxColourData& out = dialog.GetColourData();
  for (int i = 0; i < 16; ++i) {
    wxColour c = out.GetCustomColour(i);
    if (c.IsOk()) request.custom[static_cast<std::size_t>(i)] = RGB(c.Red(), c.Green(), c.Blue());
  }
  const wxColour c = out.GetColour();
  return RGB(c.Red(), c.Green(), c.Blue());
}

void WxHost::SetClipboardText(const std::string& text) {
  Host::SetClipboardText(text);
  impl_->clipboardOffer.reset();
  if (wxTheClipboard->Open()) {
    wxTheClipboard->SetData(new wxTextDataObject(W(text)));
    wxTheClipboard->Close();
  }
}

std::optional<std::string> WxHost::GetClipboardText() {
  std::optional<std::string> out;
  if (wxTheClipboard->Open()) {
    if (wxTheClipboard->IsSupported(wxDF_UNICODETEXT) || wxTheClipboard->IsSupported(wxDF_TEXT)) {
      wxTextDataObject data;
      if (wxTheClipboard->GetData(data)) out = U(data.GetText());
    }
    wxTheClipboard->Close();
  }
  return out;
}

void WxHost::SetClipboardFiles(const std::vector<std::string>& files) {
  Host::SetClipboardFiles(files);
  impl_->clipboardOffer.reset();
  if (wxTheClipboard->Open()) {
    auto* data = new wxFileDataObject;  // offered as text/uri-list
    for (const auto& f : files) data->AddFile(W(f));
    wxTheClipboard->SetData(data);
    wxTheClipboard->Close();
  }
}

std::optional<std::vector<std::string>> WxHost::GetClipboardFiles() {
  std::optional<std::vector<std::string>> out;
  if (wxTheClipboard->Open()) {
    if (wxTheClipboard->IsSupported(wxDF_FILENAME)) {
      wxFileDataObject data;
      if (wxTheClipboard->GetData(data)) {
        out.emplace();
        for (const wxString& f : data.GetFilenames()) out->push_back(U(f));
      }
    }
    wxTheClipboard->Close();
  }
  return out;
}

void WxHost::SetClipboardOffer(std::shared_ptr<DataOffer> offer) {
  Host::SetClipboardOffer(offer);
  impl_->clipboardOffer.reset();
  if (!wxTheClipboard->Open()) return;
  if (offer) {
    auto* data = new OfferData(offer);
    wxTheClipboard->SetData(data);  // the clipboard owns it and deletes it when another takes over
    impl_->clipboardOffer = offer;
  } else {
    wxTheClipboard->Clear();
  }
  wxTheClipboard->Close();
}

std::shared_ptr<DataOffer> WxHost::GetClipboardOffer() {
  // Still ours: the offer itself, as the desktop's clipboard would hand its bytes back.
  if (impl_->clipboardOffer) {
    bool ours = false;
    if (wxTheClipboard->Open()) {
      ours = gdk_selection_owner_get(GDK_SELECTION_CLIPBOARD) != nullptr;  // one of this program's windows
      wxTheClipboard->Close();
    }
    if (ours) return impl_->clipboardOffer;
    impl_->clipboardOffer.reset();
  }
  return std::make_shared<DesktopClipboardOffer>();
}

DWORD WxHost::DragOffer(std::shared_ptr<DataOffer> offer, DWORD allowedEffects) {
  if (!offer) return DROPEFFECT_NONE;
  OfferData data(offer);
  // The drag starts from the window under the pointer (where the person pressed).
  wxWindow* from = wxFindWindowAtPoint(wxGetMousePosition());
  if (from == nullptr) from = wxWindow::FindFocus();
  if (from == nullptr) from = impl_->modal.empty() ? impl_->menuOwner : impl_->modal.back()->top();
  OfferDropSource source(data, from);
  data.SetBeforeRender([&source] { source.Took(); });
  wxui::OutgoingDrag() = offer;
  const wxDragResult result =
      source.DoDragDrop((allowedEffects & DROPEFFECT_MOVE) != 0 ? wxDrag_AllowMove : wxDrag_CopyOnly);
  wxui::OutgoingDrag().reset();
  return OfferDropSource::ToEffect(result);
}

COLORREF WxHost::GetSysColor(int index) {
  wxSystemColour which;
  switch (index) {
    case COLOR_WINDOW: which = wxSYS_COLOUR_WINDOW; break;
    case COLOR_WINDOWTEXT: which = wxSYS_COLOUR_WINDOWTEXT; break;
    case COLOR_HIGHLIGHT: which = wxSYS_COLOUR_HIGHLIGHT; break;
    case COLOR_HIGHLIGHTTEXT: which = wxSYS_COLOUR_HIGHLIGHTTEXT; break;
    case COLOR_GRAYTEXT: which = wxSYS_COLOUR_GRAYTEXT; break;
    case COLOR_INACTIVECAPTION: which = wxSYS_COLOUR_INACTIVECAPTION; break;
    case COLOR_CAPTIONTEXT: which = wxSYS_COLOUR_CAPTIONTEXT; break;
    case COLOR_BTNFACE:
    default: which = wxSYS_COLOUR_BTNFACE; break;
  }
  const wxColour c = wxSystemSettings::GetColour(which);
  return RGB(c.Red(), c.Green(), c.Blue());
}

Rect WxHost::GetTaskbarRect() {
  // The panel is what the work area leaves out of the screen; without one, a strip of
  // no height along the bottom (the tray pop-up then sits in the bottom right corner).
  wxDisplay display(0u);
  const wxRect screen = display.GetGeometry();
  const wxRect work = display.GetClientArea();
  if (work.GetBottom() < screen.GetBottom()) return {screen.x, work.GetBottom() + 1, screen.GetRight() + 1, screen.GetBottom() + 1};
  if (work.y > screen.y) return {screen.x, screen.y, screen.GetRight() + 1, work.y};
  if (work.GetRight() < screen.GetRight()) return {work.GetRight() + 1, screen.y, screen.GetRight() + 1, screen.GetBottom() + 1};
  if (work.x > screen.x) return {screen.x, screen.y, work.x, screen.GetBottom() + 1};
  return {screen.x, screen.GetBottom() + 1, screen.GetRight() + 1, screen.GetBottom() + 1};
}

Point WxHost::GetCursorPos() {
  const wxPoint p = wxGetMousePosition();
  return {p.x, p.y};
}

int WxHost::GetSystemMetric(int index) {
  switch (index) {
    case SM_CXSCREEN: return wxSystemSettings::GetMetric(wxSYS_SCREEN_X);
    case SM_CYSCREEN: return wxSystemSettings::GetMetric(wxSYS_SCREEN_Y);
    case SM_CXSMICON:
    case SM_CYSMICON: return 16;
    case kMetricTabItemHeight: return impl_->menuOwner->GetCharHeight() + 2 * wxui::kGap + 4;
    case kMetricAverageCharWidth: {
      static const wxString sample = "abcdefghijklmnopqrstuvwxyz0123456789";
      return impl_->menuOwner->GetTextExtent(sample).x * 10 / static_cast<int>(sample.length());
    }
    default: return Host::GetSystemMetric(index);
  }
}

int WxHost::RunMessageLoop() {
  wxGUIEventLoop loop;
  wxEventLoopActivator activate(&loop);
  wxGUIEventLoop* outer = impl_->mainLoop;
  impl_->mainLoop = &loop;
  impl_->PumpPlatform();  // what was queued before the loop ran
  const int code = loop.Run();
  impl_->mainLoop = outer;
  return code;
}

bool WxHost::PumpUntil(const std::function<bool()>& done, int limitMs) {
  const auto begin = std::chrono::steady_clock::now();
  for (;;) {
    if (done()) return true;
    if (std::chrono::steady_clock::now() - begin > std::chrono::milliseconds(limitMs)) return false;
    bool any = false;
    for (int i = 0; i < 200 && g_main_context_pending(nullptr); ++i) {
      g_main_context_iteration(nullptr, FALSE);
      any = true;
    }
    if (wxTheApp != nullptr) wxTheApp->ProcessPendingEvents();
    impl_->PumpPlatform();
    if (!any) g_usleep(2000);
  }
}

bool WxHost::Settle(int limitMs) {
  const auto begin = std::chrono::steady_clock::now();
  GdkDisplay* display = gdk_display_get_default();
  for (;;) {
    // The events the requests so far cause are in the queue once the server has answered.
    if (display != nullptr) gdk_display_sync(display);
    bool any = false;
    for (int i = 0; i < 200 && g_main_context_pending(nullptr); ++i) {
      g_main_context_iteration(nullptr, FALSE);
      any = true;
    }
    if (wxTheApp != nullptr && wxTheApp->HasPendingEvents()) {
      wxTheApp->ProcessPendingEvents();
      any = true;
    }
    impl_->PumpPlatform();
    if (!any) return true;
    if (std::chrono::steady_clock::now() - begin > std::chrono::milliseconds(limitMs)) return false;
  }
}

void WxHost::CallSoon(std::function<void()> f) {
  g_idle_add_full(
      G_PRIORITY_DEFAULT_IDLE,
      [](gpointer data) -> gboolean {
        (*static_cast<std::function<void()>*>(data))();
        return G_SOURCE_REMOVE;
      },
      new std::function<void()>(std::move(f)), [](gpointer data) { delete static_cast<std::function<void()>*>(data); });
}

void WxHost::SetPromptObserver(std::function<void(WxPrompt&)> observer) { impl_->observer = std::move(observer); }

std::vector<RenderedControl> WxHost::RenderedControls(UiWindow& window) {
  RenderedWindow* r = impl_->Find(window);
  return r != nullptr ? r->Readback() : std::vector<RenderedControl>{};
}

std::optional<Rect> WxHost::ScreenRect(UiWindow& window, int controlId, long item) {
  RenderedWindow* r = impl_->Find(window);
  return r != nullptr ? r->ScreenRectOf(controlId, item) : std::nullopt;
}

namespace {

GdkWindow* ShownGdkWindow(RenderedWindow* r) {
  if (r == nullptr || !r->top()->IsShown()) return nullptr;
  GtkWidget* top = gtk_widget_get_toplevel(static_cast<GtkWidget*>(r->top()->GetHandle()));
  return top != nullptr && gtk_widget_get_mapped(top) ? gtk_widget_get_window(top) : nullptr;
}

}  // namespace

std::optional<Rect> WxHost::WindowScreenRect(UiWindow& window) {
  GdkWindow* shown = ShownGdkWindow(impl_->Find(window));
  if (shown == nullptr) return std::nullopt;
  int x = 0, y = 0;
  gdk_window_get_origin(shown, &x, &y);
  return Rect{x, y, x + gdk_window_get_width(shown), y + gdk_window_get_height(shown)};
}

std::optional<Rect> WxHost::WindowFrameExtents(UiWindow& window) {
  GdkWindow* shown = ShownGdkWindow(impl_->Find(window));
  if (shown == nullptr || !GDK_IS_X11_WINDOW(shown)) return std::nullopt;
  Display* display = GDK_DISPLAY_XDISPLAY(gdk_window_get_display(shown));
  Atom type = None;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  std::optional<Rect> extents;
  if (XGetWindowProperty(display, GDK_WINDOW_XID(shown), XInternAtom(display, "_NET_FRAME_EXTENTS", False), 0, 4,
                         False, XA_CARDINAL, &type, &format, &count, &after, &data) == Success &&
      data != nullptr && format == 32 && count == 4) {
    const auto* v = reinterpret_cast<const unsigned long*>(data);
    extents = Rect{static_cast<int>(v[0]), static_cast<int>(v[2]), static_cast<int>(v[1]), static_cast<int>(v[3])};
  }
  if (data != nullptr) XFree(data);
  return extents;
}

unsigned long WxHost::WindowXid(UiWindow& window) {
  GdkWindow* shown = ShownGdkWindow(impl_->Find(window));
  return shown != nullptr && GDK_IS_X11_WINDOW(shown) ? GDK_WINDOW_XID(shown) : 0;
}

std::optional<unsigned long> WxHost::WindowDecorationHint(UiWindow& window) {
  GdkWindow* shown = ShownGdkWindow(impl_->Find(window));
  if (shown == nullptr || !GDK_IS_X11_WINDOW(shown)) return std::nullopt;
  Display* display = GDK_DISPLAY_XDISPLAY(gdk_window_get_display(shown));
  const Atom hints = XInternAtom(display, "_MOTIF_WM_HINTS", False);
  Atom type = None;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  std::optional<unsigned long> decorations;
  // flags, functions, decorations, input mode, status; flag 2: the decorations are named.
  if (XGetWindowProperty(display, GDK_WINDOW_XID(shown), hints, 0, 5, False, hints, &type, &format, &count, &after,
                         &data) == Success &&
      data != nullptr && format == 32 && count >= 3) {
    const auto* v = reinterpret_cast<const unsigned long*>(data);
    if (v[0] & 2) decorations = v[2];
  }
  if (data != nullptr) XFree(data);
  return decorations;
}

std::optional<Rect> WxHost::ScreenRectOfHeader(UiWindow& window, int controlId, int slot) {
  RenderedWindow* r = impl_->Find(window);
  return r != nullptr ? r->ScreenRectOfHeader(controlId, slot) : std::nullopt;
}

bool WxHost::SaveWindowImage(UiWindow& window, const std::string& path) {
  RenderedWindow* r = impl_->Find(window);
  return r != nullptr && SaveGtkWidget(static_cast<GtkWidget*>(r->top()->GetHandle()), path);
}

namespace {

// GTK shows a tray icon as a plug window embedded in the tray host's socket; it carries
// the icon's tooltip.
GtkWidget* TrayPlug(const std::string& tooltip) {
  GtkWidget* found = nullptr;
  GList* list = gtk_window_list_toplevels();
  for (GList* l = list; l != nullptr; l = l->next) {
    auto* w = GTK_WIDGET(l->data);
    if (!GTK_IS_PLUG(w)) continue;
    gchar* tip = gtk_widget_get_tooltip_text(w);
    const bool match = tip != nullptr && tooltip == tip;
    g_free(tip);
    if (match) found = w;
  }
  g_list_free(list);
  return found;
}

}  // namespace

bool WxHost::TrayIconEmbedded(HWND window, UINT id) {
  auto it = impl_->trays.find({window, id});
  if (it == impl_->trays.end()) return false;
  GtkWidget* plug = TrayPlug(it->second->icon.tooltip);
  return plug != nullptr && gtk_plug_get_embedded(GTK_PLUG(plug));
}

std::string WxHost::TrayIconTooltip(HWND window, UINT id) {
  auto it = impl_->trays.find({window, id});
  if (it == impl_->trays.end()) return {};
  GtkWidget* plug = TrayPlug(it->second->icon.tooltip);
  if (plug == nullptr) return {};
  gchar* tip = gtk_widget_get_tooltip_text(plug);
  std::string out = tip != nullptr ? tip : "";
  g_free(tip);
  return out;
}

namespace {

// The screen's pixels in an area; null when the area is not on the screen.
GdkPixbuf* ScreenArea(const Rect& area) {
  if (area.IsEmpty()) return nullptr;
  GdkWindow* root = gdk_get_default_root_window();
  gdk_display_sync(gdk_window_get_display(root));
  return gdk_pixbuf_get_from_window(root, area.left, area.top, area.Width(), area.Height());
}

}  // namespace

std::vector<COLORREF> WxHost::ScreenPixels(const Rect& area) {
  std::vector<COLORREF> out;
  GdkPixbuf* shot = ScreenArea(area);
  if (shot == nullptr) return out;
  const int channels = gdk_pixbuf_get_n_channels(shot);
  const int stride = gdk_pixbuf_get_rowstride(shot);
  const guchar* pixels = gdk_pixbuf_read_pixels(shot);
  for (int y = 0; y < gdk_pixbuf_get_height(shot); ++y) {
    for (int x = 0; x < gdk_pixbuf_get_width(shot); ++x) {
      const guchar* p = pixels + y * stride + x * channels;
      out.push_back(RGB(p[0], p[1], p[2]));
    }
  }
  g_object_unref(shot);
  return out;
}

bool WxHost::SaveScreenImage(const Rect& area, const std::string& path) {
  GdkPixbuf* shot = ScreenArea(area);
  if (shot == nullptr) return false;
  const bool saved = gdk_pixbuf_save(shot, path.c_str(), "png", nullptr, nullptr) != FALSE;
  g_object_unref(shot);
  return saved;
}

std::optional<Rect> WxHost::TrayIconRect(HWND window, UINT id) {
  if (!TrayIconEmbedded(window, id)) return std::nullopt;
  GtkWidget* plug = TrayPlug(impl_->trays.at({window, id})->icon.tooltip);
  GdkWindow* shown = gtk_widget_get_window(plug);
  if (shown == nullptr) return std::nullopt;
  int x = 0, y = 0;
  gdk_window_get_origin(shown, &x, &y);
  return Rect{x, y, x + gdk_window_get_width(shown), y + gdk_window_get_height(shown)};
}

bool WxHost::ClickTrayIcon(HWND window, UINT id, UINT mouseMessage) {
  auto it = impl_->trays.find({window, id});
  if (it == impl_->trays.end()) return false;
  wxTaskBarIconEvent e(mouseMessage == WM_RBUTTONDOWN ? wxEVT_TASKBAR_CLICK : wxEVT_TASKBAR_LEFT_DCLICK, it->second);
  it->second->SafelyProcessEvent(e);
  return true;
}

void WxHost::TrayIconChanged(UINT action, const TrayIcon& icon) {
  const auto key = std::make_pair(icon.window, icon.id);
  auto it = impl_->trays.find(key);
  if (action == NIM_DELETE) {
    if (it == impl_->trays.end()) return;
    TrayIconWx* gone = it->second;
    impl_->trays.erase(it);
    gone->RemoveIcon();
    if (impl_->clicked == gone) impl_->clicked = nullptr;
    gone->Destroy();  // after the events it may be handling
    return;
  }
  TrayIconWx* tray = it != impl_->trays.end() ? it->second : nullptr;
  if (tray == nullptr) {
    tray = new TrayIconWx;
    Impl* impl = impl_.get();
    // GTK reports a click as "activate" (the desktop's double click) and the menu key or
    // right button as "popup-menu".
    auto send = [impl, tray](UINT mouse) {
      const TrayIcon t = tray->icon;
      TrayIconWx* before = impl->clicked;
      impl->clicked = tray;
      SendMessage(t.window, t.callbackMessage, t.id, static_cast<LPARAM>(mouse));
      if (impl->clicked == tray) impl->clicked = before;
    };
    // Each click of a person's double click comes as an "activate" of its own: the clicks
    // of one gesture (within the desktop's double-click time of the last one handled, its
    // handling included) open once.
    auto last = std::make_shared<gint64>(0);
    tray->Bind(wxEVT_TASKBAR_LEFT_DCLICK, [send, last](wxTaskBarIconEvent&) {
      gint interval = 400;
      g_object_get(gtk_settings_get_default(), "gtk-double-click-time", &interval, nullptr);
      if (*last != 0 && g_get_monotonic_time() - *last < static_cast<gint64>(interval) * 1000) return;
      *last = g_get_monotonic_time();
      send(WM_LBUTTONDBLCLK);
      *last = g_get_monotonic_time();
    });
    tray->Bind(wxEVT_TASKBAR_CLICK, [send](wxTaskBarIconEvent&) { send(WM_RBUTTONDOWN); });
    impl_->trays[key] = tray;
  }
  tray->icon = icon;
  wxIcon picture;
  picture.CopyFromBitmap(wxui::ArtBitmap(icon.icon, 22));
  tray->SetIcon(picture, W(icon.tooltip));
}

void WxHost::WaitCursorChanged(bool on) {
  if (on) {
    wxBeginBusyCursor();
  } else if (wxIsBusy()) {
    wxEndBusyCursor();
  }
}

std::unique_ptr<Host> MakeDesktopHost(const std::string& programName) {
  if (HasDisplay()) {
    if (std::unique_ptr<WxHost> wx = WxHost::Open(programName)) return wx;
  }
  return MakeConsoleHost();
}

}  // namespace platform
