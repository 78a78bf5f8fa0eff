#include "platform/ui/wx/wx_render.h"

#include "platform/ui/menu.h"

#include <wx/artprov.h>
#include <wx/dcbuffer.h>
#include <wx/dnd.h>
#include <wx/gauge.h>
#include <wx/hyperlink.h>
#include <wx/imaglist.h>
#include <wx/listctrl.h>
#include <wx/slider.h>
#include <wx/spinbutt.h>
#include <wx/statline.h>
#include <wx/treectrl.h>

#include <gtk/gtk.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <optional>

#include "platform/ui/canvas.h"
#include "platform/ui/list_view.h"
#include "platform/ui/tree_view.h"

namespace platform::wxui {

// ---- icons ----

namespace {

// Our own images stand in where the theme has no picture: the theme's player with a badge
// on its lower right that tells the state at a glance, green for connected; a
// disconnected player is greyed, its badge a red bar.
enum class Badge { kNone, kConnected, kDisconnected };
struct OwnImage {
  const char* name;
  const char* themeName;
  bool greyed;
  Badge badge;
};
constexpr OwnImage kOwnImages[] = {
    {"tovarin-player-connected", "multimedia-player", false, Badge::kConnected},
    {"tovarin-player-disconnected", "multimedia-player", true, Badge::kDisconnected},
};

wxBitmap WithBadge(const wxBitmap& bmp, Badge badge) {
  if (badge == Badge::kNone || !bmp.IsOk()) return bmp;
  wxImage image = bmp.ConvertToImage();
  if (!image.HasAlpha()) image.InitAlpha();
  const int size = std::min(image.GetWidth(), image.GetHeight());
  const double radius = std::max(3.0, size * 0.24);
  const double cx = image.GetWidth() - radius - 0.5, cy = image.GetHeight() - radius - 0.5;
  const bool on = badge == Badge::kConnected;
  for (int y = 0; y < image.GetHeight(); ++y) {
    for (int x = 0; x < image.GetWidth(); ++x) {
      const double d = std::hypot(x - cx, y - cy);
      if (d > radius) continue;
      // A white rim keeps the badge apart from any picture under it.
      unsigned char r = 255, g = 255, b = 255;
      if (d <= radius - 1.2) {
        const bool bar = !on && std::abs(y - cy) <= std::max(1.0, radius * 0.22) && std::abs(x - cx) <= radius * 0.6;
        if (bar) {
          r = g = b = 255;
        } else if (on) {
          r = 0x1E, g = 0x9E, b = 0x3A;
        } else {
          r = 0xC6, g = 0x28, b = 0x28;
        }
      }
      image.SetRGB(x, y, r, g, b);
      image.SetAlpha(x, y, 255);
    }
  }
  return wxBitmap(image);
}

wxBitmap ThemeBitmap(const std::string& name, int size) {
  return wxArtProvider::GetBitmap(W(name), wxART_OTHER, wxSize(size, size));
}

}  // namespace

wxBitmap ArtBitmap(const std::string& name, int size) {
  static std::map<std::pair<std::string, int>, wxBitmap> cache;
  auto key = std::make_pair(name, size);
  auto it = cache.find(key);
  if (it != cache.end()) return it->second;
  wxBitmap bmp;
  for (const OwnImage& own : kOwnImages) {
    if (name == own.name) {
      bmp = ThemeBitmap(own.themeName, size);
      if (bmp.IsOk() && (bmp.GetWidth() != size || bmp.GetHeight() != size)) {
        bmp = wxBitmap(bmp.ConvertToImage().Rescale(size, size, wxIMAGE_QUALITY_HIGH));
      }
      if (bmp.IsOk() && own.greyed) bmp = wxBitmap(bmp.ConvertToImage().ConvertToDisabled());
      bmp = WithBadge(bmp, own.badge);
    }
  }
  if (!bmp.IsOk() && !name.empty()) bmp = ThemeBitmap(name, size);
  if (!bmp.IsOk()) bmp = wxArtProvider::GetBitmap(wxART_MISSING_IMAGE, wxART_OTHER, wxSize(size, size));
  if (bmp.IsOk() && (bmp.GetWidth() != size || bmp.GetHeight() != size)) {
    bmp = wxBitmap(bmp.ConvertToImage().Rescale(size, size, wxIMAGE_QUALITY_HIGH));
  }
  cache[key] = bmp;
  return bmp;
}

wxColour ToColour(COLORREF c) { return wxColour(GetRValue(c), GetGValue(c), GetBValue(c)); }

namespace {

// A toolbar's picture as the desktop draws toolbars: the theme's symbolic icon of the name
// in the text colour when there is one (the plain icons of some names are faint greys),
// else the named icon.
wxBitmap ToolbarBitmap(const std::string& name, int size, const wxColour& text) {
  static std::map<std::pair<std::string, int>, wxBitmap> cache;
  const auto key = std::make_pair(name, size);
  if (auto it = cache.find(key); it != cache.end()) return it->second;
  wxBitmap bmp;
  GtkIconTheme* theme = gtk_icon_theme_get_default();
  const std::string symbolic = name + "-symbolic";
  if (theme != nullptr && !name.empty() && gtk_icon_theme_has_icon(theme, symbolic.c_str())) {
    if (GtkIconInfo* info = gtk_icon_theme_lookup_icon(theme, symbolic.c_str(), size, GTK_ICON_LOOKUP_FORCE_SIZE)) {
      GdkRGBA fg{text.Red() / 255.0, text.Green() / 255.0, text.Blue() / 255.0, 1.0};
      if (GdkPixbuf* pixbuf = gtk_icon_info_load_symbolic(info, &fg, nullptr, nullptr, nullptr, nullptr, nullptr)) {
        bmp = wxBitmap(pixbuf);  // takes the pixbuf's reference
      }
      g_object_unref(info);
    }
  }
  if (!bmp.IsOk()) bmp = ArtBitmap(name, size);
  cache[key] = bmp;
  return bmp;
}

}  // namespace

namespace {

// An icon of an image list: its name, else its fallback (a file type's generic icon), with
// its emblem drawn on its lower right quarter.
wxBitmap ListBitmap(const ImageList& images, int i) {
  const int size = images.Width();
  wxBitmap bmp;
  for (const std::string& name : {images.GetIcon(i), images.GetFallback(i)}) {
    if (!bmp.IsOk() && !name.empty()) bmp = ThemeBitmap(name, size);
  }
  if (!bmp.IsOk()) bmp = ArtBitmap(images.GetIcon(i), size);
  if (bmp.IsOk() && (bmp.GetWidth() != size || bmp.GetHeight() != size)) {
    bmp = wxBitmap(bmp.ConvertToImage().Rescale(size, size, wxIMAGE_QUALITY_HIGH));
  }
  const std::string& emblem = images.GetEmblem(i);
  if (bmp.IsOk() && !emblem.empty()) {
    const wxBitmap mark = ThemeBitmap(emblem, size / 2);
    if (mark.IsOk()) {
      wxImage base = bmp.ConvertToImage();
      if (!base.HasAlpha()) base.InitAlpha();
      wxImage over = mark.ConvertToImage().Rescale(size / 2, size / 2, wxIMAGE_QUALITY_HIGH);
      if (!over.HasAlpha()) over.InitAlpha();
      const int at = size - size / 2;
      for (int y = 0; y < over.GetHeight(); ++y) {
        for (int x = 0; x < over.GetWidth(); ++x) {
          const unsigned a = over.GetAlpha(x, y);
          if (a == 0) continue;
          auto mix = [a](unsigned under, unsigned top) {
            return static_cast<unsigned char>((top * a + under * (255 - a)) / 255);
          };
          base.SetRGB(at + x, at + y, mix(base.GetRed(at + x, at + y), over.GetRed(x, y)),
                      mix(base.GetGreen(at + x, at + y), over.GetGreen(x, y)),
                      mix(base.GetBlue(at + x, at + y), over.GetBlue(x, y)));
          base.SetAlpha(at + x, at + y, static_cast<unsigned char>(std::max<unsigned>(base.GetAlpha(at + x, at + y), a)));
        }
      }
      bmp = wxBitmap(base);
    }
  }
  return bmp;
}

wxImageList* MakeImageList(const ImageList* images) {
  if (images == nullptr || images->GetImageCount() == 0) return nullptr;
  auto* list = new wxImageList(images->Width(), images->Height(), true, images->GetImageCount());
  for (int i = 0; i < images->GetImageCount(); ++i) list->Add(ListBitmap(*images, i));
  return list;
}

// The wx id that stands for a standard button, so that the desktop orders the row.
wxWindowID StockId(int id) {
  switch (id) {
    case IDOK: return wxID_OK;
    case IDCANCEL: return wxID_CANCEL;
    case IDYES: return wxID_YES;
    case IDNO: return wxID_NO;
    case IDHELP: return wxID_HELP;
    case ID_APPLY_NOW: return wxID_APPLY;
    default: return wxID_ANY;
  }
}

UINT Modifiers(const wxKeyboardState& k) {
  return (k.ShiftDown() ? kModShift : 0u) | (k.ControlDown() ? kModCtrl : 0u) | (k.AltDown() ? kModAlt : 0u);
}

// The desktop's key number of a wx key code; 0 for keys the core does not know.
UINT VirtualKey(int code) {
  switch (code) {
    case WXK_BACK: return VK_BACK;
    case WXK_TAB: return VK_TAB;
    case WXK_RETURN:
    case WXK_NUMPAD_ENTER: return VK_RETURN;
    case WXK_ESCAPE: return VK_ESCAPE;
    case WXK_SPACE: return VK_SPACE;
    case WXK_PAGEUP: return VK_PRIOR;
    case WXK_PAGEDOWN: return VK_NEXT;
    case WXK_END: return VK_END;
    case WXK_HOME: return VK_HOME;
    case WXK_LEFT: return VK_LEFT;
    case WXK_UP: return VK_UP;
    case WXK_RIGHT: return VK_RIGHT;
    case WXK_DOWN: return VK_DOWN;
    case WXK_INSERT: return VK_INSERT;
    case WXK_DELETE: return VK_DELETE;
    case WXK_F5: return VK_F5;
    default:
      if (code >= 'A' && code <= 'Z') return static_cast<UINT>(code);
      if (code >= '0' && code <= '9') return static_cast<UINT>(code);
      if (code >= WXK_F1 && code <= WXK_F12) return static_cast<UINT>(0x70 + (code - WXK_F1));
      return 0;
  }
}

// The desktop's command of a media key (WM_APPCOMMAND); 0 for any other key.
int AppCommandOfKey(const wxKeyEvent& e) {
  switch (e.GetKeyCode()) {
    case WXK_MEDIA_NEXT_TRACK: return 11;
    case WXK_MEDIA_PREV_TRACK: return 12;
    case WXK_MEDIA_STOP: return 13;
    case WXK_MEDIA_PLAY_PAUSE: return 14;
    case WXK_VOLUME_MUTE: return 8;
    case WXK_VOLUME_DOWN: return 9;
    case WXK_VOLUME_UP: return 10;
    default: break;
  }
  switch (e.GetRawKeyCode()) {
    case GDK_KEY_AudioNext: return 11;
    case GDK_KEY_AudioPrev: return 12;
    case GDK_KEY_AudioStop: return 13;
    case GDK_KEY_AudioPlay: return 14;
    case GDK_KEY_AudioPause: return 47;
    case GDK_KEY_AudioMute: return 8;
    case GDK_KEY_AudioLowerVolume: return 9;
    case GDK_KEY_AudioRaiseVolume: return 10;
    default: return 0;
  }
}

// The widget styles that show a list view's mode and grid lines.
long ListStyleOf(const ListViewControl& lv) {
  switch (lv.GetView()) {
    case ListViewMode::Report:
      return wxLC_REPORT | wxLC_VIRTUAL | ((lv.GetExtendedStyle() & LVS_EX_GRIDLINES) ? wxLC_HRULES | wxLC_VRULES : 0);
    case ListViewMode::Icon: return wxLC_ICON;
    case ListViewMode::SmallIcon: return wxLC_SMALL_ICON;
    default: return wxLC_LIST;
  }
}
constexpr long kListStyleMask = wxLC_MASK_TYPE | wxLC_VIRTUAL | wxLC_HRULES | wxLC_VRULES;

// The display slot that shows a column of the core (-1: none).
int SlotOfColumn(const ListViewControl& lv, int column) {
  const std::vector<int> order = lv.GetColumnOrderArray();
  const auto at = std::find(order.begin(), order.end(), column);
  return at == order.end() ? -1 : static_cast<int>(at - order.begin());
}

// The rendered windows by their widget, to find the window a key was pressed in.
std::map<wxWindow*, RenderedWindow*>& RenderedByWidget() {
  static std::map<wxWindow*, RenderedWindow*> windows;
  return windows;
}

wxImageList* MakeImageList(const ImageList* images);

// A list view in report mode whose rows the core answers on demand.
class VirtualList : public wxListCtrl {
 public:
  VirtualList(wxWindow* parent, long style, ListViewControl* lv)
      : wxListCtrl(parent, wxID_ANY, wxDefaultPosition, wxDefaultSize, style), lv_(lv) {
    // Overlay scroll bars show only while the pointer moves over the list: a list wider
    // than its place would look as if its other columns were not there.
    if (auto* widget = static_cast<GtkWidget*>(GetHandle()); widget != nullptr && GTK_IS_SCROLLED_WINDOW(widget)) {
      gtk_scrolled_window_set_overlay_scrolling(GTK_SCROLLED_WINDOW(widget), FALSE);
    }
  }
  void Forget() { lv_ = nullptr; }

  // The widget's columns are the core's in display order.
  int CoreColumn(long shown) const {
    if (lv_ == nullptr) return static_cast<int>(shown);
    const std::vector<int> order = lv_->GetColumnOrderArray();
    return shown >= 0 && shown < static_cast<long>(order.size()) ? order[static_cast<std::size_t>(shown)]
                                                                  : static_cast<int>(shown);
  }
  wxString OnGetItemText(long item, long column) const override {
    return lv_ != nullptr ? W(lv_->GetItemText(static_cast<int>(item), CoreColumn(column))) : wxString();
  }
  int OnGetItemImage(long item) const override {
    if (lv_ == nullptr) return -1;
    const int image = lv_->GetItemImage(static_cast<int>(item));
    // The core's image list may have grown since the widget took it (icons added on demand).
    const ImageList* images = lv_->GetImageList(true);
    wxImageList* shown = GetImageList(wxIMAGE_LIST_SMALL);
    if (images != nullptr && image >= 0 && (shown == nullptr || image >= shown->GetImageCount()) &&
        image < images->GetImageCount()) {
      const_cast<VirtualList*>(this)->AssignImageList(MakeImageList(images), wxIMAGE_LIST_SMALL);
    }
    return image;
  }
  int OnGetItemColumnImage(long item, long column) const override { return CoreColumn(column) == 0 ? OnGetItemImage(item) : -1; }
  bool OnGetItemIsChecked(long item) const override {
    return lv_ != nullptr && lv_->GetCheck(static_cast<int>(item));
  }
  wxItemAttr* OnGetItemAttr(long item) const override {
    if (lv_ == nullptr) return nullptr;
    auto colours = lv_->GetCellColours(static_cast<int>(item), -1);
    if (colours.first == CLR_DEFAULT && colours.second == CLR_DEFAULT) return nullptr;
    attr_ = wxItemAttr();
    if (colours.first != CLR_DEFAULT && colours.first != CLR_NONE) attr_.SetTextColour(ToColour(colours.first));
    if (colours.second != CLR_DEFAULT && colours.second != CLR_NONE) attr_.SetBackgroundColour(ToColour(colours.second));
    return &attr_;
  }

 private:
  ListViewControl* lv_;
  mutable wxItemAttr attr_;
};

// Painted areas: the window paints into a Canvas, replayed here.
class PaintPanel : public wxPanel {
 public:
  PaintPanel(wxWindow* parent, UiWindow* window, int id, long style)
      : wxPanel(parent, wxID_ANY, wxDefaultPosition, wxDefaultSize, style | wxFULL_REPAINT_ON_RESIZE),
        window_(window),
        id_(id) {
    SetBackgroundStyle(wxBG_STYLE_PAINT);
    Bind(wxEVT_PAINT, &PaintPanel::OnPaint, this);
  }
  void Forget() { window_ = nullptr; }

 private:
  void OnPaint(wxPaintEvent&) {
    wxAutoBufferedPaintDC dc(this);
    const wxSize size = GetClientSize();
    dc.SetBackground(wxBrush(GetParent()->GetBackgroundColour()));
    dc.Clear();
    if (window_ == nullptr || !window_->IsOpen()) return;
    Canvas canvas(Rect{0, 0, size.x, size.y});
    window_->Paint(id_, canvas);
    for (const DrawOp& op : canvas.Ops()) Replay(dc, op);
  }

  void Replay(wxDC& dc, const DrawOp& op) {
    const wxRect r(op.rect.left, op.rect.top, op.rect.Width(), op.rect.Height());
    switch (op.kind) {
      case DrawOp::Kind::Fill:
        dc.SetPen(*wxTRANSPARENT_PEN);
        dc.SetBrush(wxBrush(ToColour(op.colour)));
        dc.DrawRectangle(r);
        break;
      case DrawOp::Kind::Gradient:
        dc.GradientFillLinear(r, ToColour(op.colour), ToColour(op.colour2), wxRIGHT);
        break;
      case DrawOp::Kind::Line:
        dc.SetPen(wxPen(ToColour(op.colour), 1, op.pen == PenStyle::Dot ? wxPENSTYLE_DOT : wxPENSTYLE_SOLID));
        dc.DrawLine(op.rect.left, op.rect.top, op.rect.right, op.rect.bottom);
        break;
      case DrawOp::Kind::Text: {
        wxFont font = GetFont();
        if (op.font == FontKind::System) font.MakeBold();
        dc.SetFont(font);
        dc.SetTextForeground(ToColour(op.colour));
        int align = (op.flags & DT_CENTER) ? wxALIGN_CENTER_HORIZONTAL : (op.flags & DT_RIGHT) ? wxALIGN_RIGHT : wxALIGN_LEFT;
        align |= (op.flags & DT_VCENTER) ? wxALIGN_CENTER_VERTICAL : wxALIGN_TOP;
        wxString text = W(op.text);
        if (op.flags & DT_END_ELLIPSIS) text = wxControl::Ellipsize(text, dc, wxELLIPSIZE_END, r.width);
        dc.DrawLabel(text, r, align);
        break;
      }
      case DrawOp::Kind::Icon:
        dc.DrawBitmap(ArtBitmap(op.text, op.size), op.rect.left, op.rect.top, true);
        break;
      case DrawOp::Kind::SunkenEdge:
        dc.SetBrush(*wxTRANSPARENT_BRUSH);
        dc.SetPen(wxPen(wxSystemSettings::GetColour(wxSYS_COLOUR_3DSHADOW)));
        dc.DrawRectangle(r);
        break;
    }
  }

  UiWindow* window_;
  int id_;
};

class FileDrop : public wxFileDropTarget {
 public:
  FileDrop(UiWindow* window, std::shared_ptr<bool> alive) : window_(window), alive_(std::move(alive)) {}
  bool OnDropFiles(wxCoord x, wxCoord y, const wxArrayString& files) override {
    if (!*alive_ || !window_->AcceptsFiles()) return false;
    std::vector<std::string> paths;
    for (const wxString& f : files) paths.push_back(U(f));
    return window_->UserDropFiles(paths, Point{x, y});
  }

 private:
  UiWindow* window_;
  std::shared_ptr<bool> alive_;
};

long FrameStyle(std::uint32_t frame) {
  long style = 0;
  if (frame & kFrameCaption) style |= wxCAPTION;
  if (frame & kFrameSystemMenu) style |= wxSYSTEM_MENU | wxCLOSE_BOX;
  if (frame & kFrameThick) style |= wxRESIZE_BORDER;
  if (frame & kFrameToolWindow) style |= wxFRAME_TOOL_WINDOW;
  // A window without a caption is a pop-up: the window manager gives it no title bar or
  // border of its own (a resizing one would bring them); it draws a thin line round itself.
  if (!(frame & kFrameCaption)) style = (style & ~wxRESIZE_BORDER) | wxFRAME_NO_TASKBAR | wxBORDER_SIMPLE;
  return style;
}

struct TreeItem : wxTreeItemData {
  explicit TreeItem(HTREEITEM h) : handle(h) {}
  HTREEITEM handle;
};

// A label's size measured with its own font (GTK may not have applied a changed font to
// its measurement yet).
wxSize LabelSize(wxStaticText* label) {
  wxSize best = label->GetBestSize();
  wxClientDC dc(label);
  dc.SetFont(label->GetFont());
  wxCoord w = 0, h = 0;
  dc.GetMultiLineTextExtent(label->GetLabelText(), &w, &h);
  return wxSize(std::max(best.x, static_cast<int>(w)), std::max(best.y, static_cast<int>(h)));
}

// A label given a width (in characters of its own font) wraps its text there and holds
// that width, whatever text it shows: a page measured from its template, with the label
// still empty or short, gets the room the page takes once its texts are filled in.
void FitLabel(wxStaticText* label, int widthInChars) {
  label->InvalidateBestSize();
  const int width = widthInChars * label->GetCharWidth();
  if (width > 0 && label->GetBestSize().x > width) {
    label->Wrap(width);
    label->InvalidateBestSize();
  }
  const wxSize size = LabelSize(label);
  label->SetMinSize(wxSize(std::max(width, size.x), size.y));
}

// A labelled group's frame, whose own width is its label's: what it holds is sized by the
// sizer. (GTK's frame asks its children for their natural widths, and a wrapped label's
// natural width is its whole text on one line, which widened every group holding one.)
class GroupBox : public wxStaticBox {
 public:
  GroupBox(wxWindow* parent, const wxString& label) : wxStaticBox(parent, wxID_ANY, label) {}

 protected:
  wxSize DoGetBestSize() const override {
    wxClientDC dc(const_cast<GroupBox*>(this));
    dc.SetFont(GetFont());
    wxCoord w = 0;
    wxCoord h = 0;
    dc.GetTextExtent(GetLabelText(), &w, &h);
    return wxSize(w + 4 * kGap, h + kGap);
  }
};

// A row of exactly a label (or a check box that names its field) and one control.
bool IsFormRow(const LayoutNode& n) {
  return n.box == BoxKind::Row && n.children.size() == 2 && n.children[0].box == BoxKind::Control &&
         (n.children[0].control.kind == ControlKind::Label || n.children[0].control.kind == ControlKind::CheckBox) &&
         n.children[1].box == BoxKind::Control && n.children[1].control.kind != ControlKind::Label;
}

// How a child sits in a row: boxes and large controls fill its height, pictures keep to
// the top, the rest is centred.
int RowAlignment(const LayoutNode& n) {
  if (n.box != BoxKind::Control) return wxEXPAND;
  switch (n.control.kind) {
    case ControlKind::ListView:
    case ControlKind::TreeView:
    case ControlKind::ListBox:
    case ControlKind::Paint:
    case ControlKind::PageArea: return wxEXPAND;
    case ControlKind::Picture: return wxALIGN_TOP;
    default: return wxALIGN_CENTER_VERTICAL;
  }
}

HTREEITEM TreeHandle(wxTreeCtrl* tree, const wxTreeItemId& item) {
  auto* data = item.IsOk() ? dynamic_cast<TreeItem*>(tree->GetItemData(item)) : nullptr;
  return data != nullptr ? data->handle : 0;
}

wxString TreePath(wxTreeCtrl* tree, wxTreeItemId item) {
  wxString path = tree->GetItemText(item);
  for (wxTreeItemId p = tree->GetItemParent(item); p.IsOk() && p != tree->GetRootItem(); p = tree->GetItemParent(p)) {
    path = tree->GetItemText(p) + "/" + path;
  }
  return path;
}

}  // namespace

std::shared_ptr<DataOffer>& OutgoingDrag() {
  static std::shared_ptr<DataOffer> offer;
  return offer;
}

// A window's drop target on the display, on GTK's own protocol: a drop may need more
// than the one format the toolkit's drop targets fetch. Every drag over the widget, from
// this program or another, goes to the window's drop handler: the first motion enters,
// later ones move, leaving or dropping ends it. GTK says "leave" just before a drop too,
// so a leave is held back until the loop is idle and forgotten when the drop comes.
class DropBinding {
 public:
  DropBinding(GtkWidget* widget, UiWindow& window, std::function<DragState()> locate)
      : widget_(widget), window_(window), locate_(std::move(locate)) {
    g_object_ref(widget_);
    gtk_drag_dest_set(widget_, static_cast<GtkDestDefaults>(0), nullptr, 0,
                      static_cast<GdkDragAction>(GDK_ACTION_COPY | GDK_ACTION_MOVE | GDK_ACTION_LINK));
    handlers_ = {
        g_signal_connect(widget_, "drag-motion", G_CALLBACK(&DropBinding::OnMotion), this),
        g_signal_connect(widget_, "drag-leave", G_CALLBACK(&DropBinding::OnLeave), this),
        g_signal_connect(widget_, "drag-drop", G_CALLBACK(&DropBinding::OnDrop), this),
        g_signal_connect(widget_, "drag-data-received", G_CALLBACK(&DropBinding::OnReceived), this),
    };
  }
  ~DropBinding() {
    *alive_ = false;
    if (pendingLeave_ != 0) g_source_remove(pendingLeave_);
    for (gulong h : handlers_) g_signal_handler_disconnect(widget_, h);
    gtk_drag_dest_unset(widget_);
    g_object_unref(widget_);
  }
  DropBinding(const DropBinding&) = delete;
  DropBinding& operator=(const DropBinding&) = delete;

  // The bytes of one target of the drag now over the widget: asked of the source and
  // waited for (at most 10 s). nullopt when the source gives none.
  std::optional<std::string> Fetch(GdkDragContext* context, const std::string& format, guint time) {
    if (context != context_) return std::nullopt;
    GdkAtom target = gdk_atom_intern(format.c_str(), FALSE);
    waiting_ = target;
    received_.reset();
    gtk_drag_get_data(widget_, context, target, time);
    std::shared_ptr<bool> alive = alive_;
    const gint64 until = g_get_monotonic_time() + 10 * G_USEC_PER_SEC;
    const guint tick = g_timeout_add(50, [](gpointer) -> gboolean { return G_SOURCE_CONTINUE; }, nullptr);
    while (*alive && !received_ && g_get_monotonic_time() < until) g_main_context_iteration(nullptr, TRUE);
    g_source_remove(tick);
    if (!*alive || !received_) return std::nullopt;
    waiting_ = GDK_NONE;
    return *received_;
  }

 private:
  // What another program (or this one, through the desktop) drags: its targets, and the
  // bytes of each when the handler asks, while the drop lasts.
  class Offer : public DataOffer {
   public:
    Offer(DropBinding* binding, GdkDragContext* context) : binding_(binding), alive_(binding->alive_), context_(context) {
      g_object_ref(context_);
      for (GList* t = gdk_drag_context_list_targets(context); t != nullptr; t = t->next) {
        gchar* name = gdk_atom_name(static_cast<GdkAtom>(t->data));
        if (name != nullptr) formats_.emplace_back(name);
        g_free(name);
      }
    }
    ~Offer() override { g_object_unref(context_); }
    void SetTime(guint time) { time_ = time; }
    std::vector<std::string> Formats() override { return formats_; }
    std::optional<std::string> Data(std::string_view format) override {
      const std::string name(format);
      auto it = data_.find(name);
      if (it != data_.end()) return it->second;
      std::optional<std::string> bytes;
      if (*alive_ && Offers(name)) bytes = binding_->Fetch(context_, name, time_);
      data_.emplace(name, bytes);
      return bytes;
    }

   private:
    DropBinding* binding_;
    std::shared_ptr<bool> alive_;
    GdkDragContext* context_;
    guint time_ = GDK_CURRENT_TIME;
    std::vector<std::string> formats_;
    std::map<std::string, std::optional<std::string>> data_;
  };

  static DWORD Allowed(GdkDragContext* context) {
    const GdkDragAction a = gdk_drag_context_get_actions(context);
    DWORD allowed = 0;
    if (a & GDK_ACTION_COPY) allowed |= DROPEFFECT_COPY;
    if (a & GDK_ACTION_MOVE) allowed |= DROPEFFECT_MOVE;
    if (a & GDK_ACTION_LINK) allowed |= DROPEFFECT_LINK;
    return allowed;
  }
  // The effect as an action the source allows (another allowed one of the effect's
  // bits, else none).
  static GdkDragAction Action(DWORD effect, GdkDragContext* context) {
    const GdkDragAction allowed = gdk_drag_context_get_actions(context);
    const std::pair<DWORD, GdkDragAction> order[] = {
        {DROPEFFECT_COPY, GDK_ACTION_COPY}, {DROPEFFECT_MOVE, GDK_ACTION_MOVE}, {DROPEFFECT_LINK, GDK_ACTION_LINK}};
    // The effect the target named first, when the source allows it.
    if (effect == DROPEFFECT_LINK && (allowed & GDK_ACTION_LINK)) return GDK_ACTION_LINK;
    for (const auto& [bit, action] : order) {
      if ((effect & bit) && (allowed & action)) return action;
    }
    return static_cast<GdkDragAction>(0);
  }
  DragState State(GdkDragContext* context) {
    DragState state = locate_();
    state.allowed = Allowed(context);
    GdkDisplay* display = gtk_widget_get_display(widget_);
    GdkDevice* pointer = gdk_seat_get_pointer(gdk_display_get_default_seat(display));
    GdkModifierType mask = static_cast<GdkModifierType>(0);
    if (GdkWindow* w = gtk_widget_get_window(widget_); w != nullptr && pointer != nullptr) {
      gdk_window_get_device_position(w, pointer, nullptr, nullptr, &mask);
    }
    if (mask & GDK_BUTTON1_MASK) state.keys |= MK_LBUTTON;
    if (mask & GDK_BUTTON2_MASK) state.keys |= MK_MBUTTON;
    if (mask & GDK_BUTTON3_MASK) state.keys |= MK_RBUTTON;
    if (mask & GDK_SHIFT_MASK) state.keys |= MK_SHIFT;
    if (mask & GDK_CONTROL_MASK) state.keys |= MK_CONTROL;
    return state;
  }
  // The drag's offer: this program's own when the drag is its own.
  std::shared_ptr<DataOffer> OfferOf(GdkDragContext* context, guint time) {
    if (gtk_drag_get_source_widget(context) != nullptr && OutgoingDrag()) return OutgoingDrag();
    auto offer = std::make_shared<Offer>(this, context);
    offer->SetTime(time);
    return offer;
  }
  void Leave() {
    if (pendingLeave_ != 0) g_source_remove(pendingLeave_);
    pendingLeave_ = 0;
    if (context_ == nullptr) return;
    context_ = nullptr;
    offer_.reset();
    if (const std::shared_ptr<DropHandler> handler = window_.GetDropHandler()) handler->DragLeave();
  }

  static gboolean OnMotion(GtkWidget*, GdkDragContext* context, gint, gint, guint time, gpointer self) {
    auto* b = static_cast<DropBinding*>(self);
    const std::shared_ptr<DropHandler> handler = b->window_.GetDropHandler();
    if (!handler) {
      gdk_drag_status(context, static_cast<GdkDragAction>(0), time);
      return TRUE;
    }
    if (b->pendingLeave_ != 0) b->Leave();  // it left and came back: a new drag over it
    DWORD effect = DROPEFFECT_NONE;
    if (context != b->context_) {
      if (b->context_ != nullptr) b->Leave();
      b->context_ = context;
      b->offer_ = b->OfferOf(context, time);
      effect = handler->DragEnter(b->offer_, b->State(context));
    } else {
      if (auto* own = dynamic_cast<Offer*>(b->offer_.get())) own->SetTime(time);
      effect = handler->DragOver(b->State(context));
    }
    gdk_drag_status(context, Action(effect, context), time);
    return TRUE;
  }
  static void OnLeave(GtkWidget*, GdkDragContext* context, guint, gpointer self) {
    auto* b = static_cast<DropBinding*>(self);
    if (context != b->context_ || b->pendingLeave_ != 0) return;
    b->pendingLeave_ = g_idle_add(
        [](gpointer p) -> gboolean {
          auto* binding = static_cast<DropBinding*>(p);
          binding->pendingLeave_ = 0;
          binding->Leave();
          return G_SOURCE_REMOVE;
        },
        b);
  }
  static gboolean OnDrop(GtkWidget*, GdkDragContext* context, gint, gint, guint time, gpointer self) {
    auto* b = static_cast<DropBinding*>(self);
    if (b->pendingLeave_ != 0) g_source_remove(b->pendingLeave_);  // the drop ends it, not the leave
    b->pendingLeave_ = 0;
    std::shared_ptr<bool> alive = b->alive_;
    const std::shared_ptr<DropHandler> handler = b->window_.GetDropHandler();
    DWORD effect = DROPEFFECT_NONE;
    if (handler) {
      if (context != b->context_) {
        b->context_ = context;
        b->offer_ = b->OfferOf(context, time);
        handler->DragEnter(b->offer_, b->State(context));
      }
      if (auto* own = dynamic_cast<Offer*>(b->offer_.get())) own->SetTime(time);
      std::shared_ptr<DataOffer> offer = b->offer_;
      effect = handler->Drop(offer, b->State(context));
    }
    gtk_drag_finish(context, effect != DROPEFFECT_NONE, effect == DROPEFFECT_MOVE, time);
    if (*alive) {
      b->context_ = nullptr;
      b->offer_.reset();
    }
    return TRUE;
  }
  static void OnReceived(GtkWidget*, GdkDragContext* context, gint, gint, GtkSelectionData* data, guint, guint,
                         gpointer self) {
    auto* b = static_cast<DropBinding*>(self);
    if (context != b->context_ || gtk_selection_data_get_target(data) != b->waiting_) return;
    const gint length = gtk_selection_data_get_length(data);
    b->received_.emplace();
    if (length >= 0) b->received_->emplace(reinterpret_cast<const char*>(gtk_selection_data_get_data(data)), length);
  }

  GtkWidget* widget_;
  UiWindow& window_;
  std::function<DragState()> locate_;
  std::vector<gulong> handlers_;
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
  GdkDragContext* context_ = nullptr;  // the drag over the widget now
  std::shared_ptr<DataOffer> offer_;
  guint pendingLeave_ = 0;
  GdkAtom waiting_ = GDK_NONE;
  std::optional<std::optional<std::string>> received_;
};

// ---- building ----

RenderedWindow::RenderedWindow(UiWindow& window, wxWindow* parent, bool topLevel, bool measure)
    : window_(window), topLevel_(topLevel), measure_(measure) {
  const DialogTemplate& t = window.GetTemplate();
  if (topLevel && window.GetMenuBar() != nullptr) {
    top_ = new wxFrame(parent, wxID_ANY, W(window.GetWindowText()), wxDefaultPosition, wxDefaultSize,
                       wxDEFAULT_FRAME_STYLE);
    BuildMenuBar();
    // Menu commands; the toolbar's own tool events are its buttons'.
    top_->Bind(wxEVT_MENU, [this, alive = alive_](wxCommandEvent& e) {
      if (!*alive || dynamic_cast<wxToolBar*>(e.GetEventObject()) != nullptr) {
        e.Skip();
        return;
      }
      const int command = e.GetId() - wxID_HIGHEST - 1;
      if (command > 0) User([&] { window_.UserMenuCommand(static_cast<UINT>(command)); });
    });
  } else if (topLevel) {
    top_ = new wxDialog(parent, wxID_ANY, W(window.GetWindowText()), wxDefaultPosition, wxDefaultSize,
                        FrameStyle(t.frame));
    if (!t.icon.empty()) {
      wxIcon icon;
      icon.CopyFromBitmap(ArtBitmap(t.icon, 16));
      static_cast<wxDialog*>(top_)->SetIcon(icon);
    }
  } else {
    top_ = new wxPanel(parent, wxID_ANY);
  }
  for (const auto& c : window.Controls()) made_.push_back(c.get());
  wxSizer* content = Build(t.root, top_);
  auto* outer = new wxBoxSizer(wxVERTICAL);
  // Pages and views sit inside their parent's margins; a frame's bars reach its edges.
  outer->Add(content, 1, wxEXPAND | wxALL, topLevel && frame() == nullptr ? kMargin : 0);
  top_->SetSizer(outer);
  SyncAll();
  if (measure) return;
  if (auto* sheet = dynamic_cast<PropertySheet*>(&window)) {
    // The page area is as large as the largest page: each page's template is measured
    // with widgets made and thrown away.
    wxWindow* area = notebook_ != nullptr ? static_cast<wxWindow*>(notebook_) : pageArea_;
    for (int i = 0; area != nullptr && i < sheet->GetPageCount(); ++i) {
      auto* probe = new wxPanel(area);
      {
        RenderedWindow measured(*sheet->GetPage(i), probe, false, true);
        measured.top()->GetSizer()->Layout();
        HoldPage(measured.top()->GetBestSize());
      }
      probe->Destroy();
    }
    ShowActivePage();
  }
  window.SetPeer(this);
  RenderedByWidget()[top_] = this;
  if (topLevel && window.AcceptsFiles()) top_->SetDropTarget(new FileDrop(&window_, alive_));
  BindDropHandler();
  if (topLevel) {
    top_->GetSizer()->SetSizeHints(top_);
    top_->Bind(wxEVT_CLOSE_WINDOW, [this, alive = alive_](wxCloseEvent& e) {
      if (e.CanVeto()) e.Veto();
      if (*alive) User([&] { window_.UserClose(); });
    });
    top_->Bind(wxEVT_CHAR_HOOK, [this, alive = alive_](wxKeyEvent& e) {
      if (!*alive) return;
      if (const int command = AppCommandOfKey(e); command != 0) {
        // The window the key was pressed in hears it first, then its parents.
        HWND origin = window_.GetSafeHwnd();
        for (wxWindow* w = wxWindow::FindFocus(); w != nullptr; w = w->GetParent()) {
          auto found = RenderedByWidget().find(w);
          if (found != RenderedByWidget().end()) {
            origin = found->second->window().GetSafeHwnd();
            break;
          }
        }
        LRESULT used = 0;
        User([&] {
          used = SendMessage(origin, WM_APPCOMMAND, static_cast<WPARAM>(origin), static_cast<LPARAM>(command) << 16);
        });
        if (used == 0) e.Skip();
        return;
      }
      const int code = e.GetKeyCode();
      const UINT mods = Modifiers(e);
      const bool tab = code == WXK_TAB && (mods & kModCtrl);
      const bool enter = (code == WXK_RETURN || code == WXK_NUMPAD_ENTER) && mods == 0;
      if (enter) {
        auto* text = dynamic_cast<wxTextCtrl*>(wxWindow::FindFocus());
        if (text != nullptr && text->IsMultiLine()) {
          e.Skip();
          return;
        }
      }
      if (code == WXK_ESCAPE || enter || tab) {
        bool used = false;
        User([&] { used = window_.UserKey(VirtualKey(code), mods); });
        if (!used && code != WXK_ESCAPE) e.Skip();
        return;
      }
      e.Skip();
    });
  }
}

RenderedWindow::~RenderedWindow() {
  *alive_ = false;
  if (auto it = RenderedByWidget().find(top_); it != RenderedByWidget().end() && it->second == this) {
    RenderedByWidget().erase(it);
  }
  drop_.reset();
  pages_.clear();
  if (window_.GetPeer() == this) window_.SetPeer(nullptr);
  for (const Bound& b : bound_) {
    if (auto* v = dynamic_cast<VirtualList*>(b.widget)) v->Forget();
    if (auto* p = dynamic_cast<PaintPanel*>(b.widget)) p->Forget();
  }
  if (topLevel_) {
    if (auto* d = dialog(); d != nullptr && d->IsModal()) d->EndModal(wxID_CANCEL);
    top_->Hide();
    top_->Destroy();  // deferred for top-level windows
  } else {
    wxWeakRef<wxWindow> panel(top_);
    top_->Hide();
    wxTheApp->CallAfter([panel] {
      if (panel) panel->Destroy();
    });
  }
}

bool RenderedWindow::Current() const {
  const auto& controls = window_.Controls();
  if (!window_.IsOpen() || controls.size() != made_.size()) return false;
  for (std::size_t i = 0; i < controls.size(); ++i) {
    if (controls[i].get() != made_[i]) return false;
  }
  return true;
}

template <class F>
void RenderedWindow::User(F&& f) {
  ++userDepth_;
  f();
  --userDepth_;
}

void RenderedWindow::BindHeaderDrag(ListViewControl& lv, wxListCtrl* wl) {
  wxWindow* header = nullptr;
  for (wxWindow* child : wl->GetChildren()) {
    if (child != wl->GetTargetWindow()) header = child;
  }
  if (header == nullptr || std::find(boundHeaders_.begin(), boundHeaders_.end(), header) != boundHeaders_.end()) return;
  boundHeaders_.push_back(header);
  header->Bind(wxEVT_DESTROY, [this, header, alive = alive_](wxWindowDestroyEvent& e) {
    e.Skip();
    if (*alive && e.GetWindow() == header) boundHeaders_.erase(std::remove(boundHeaders_.begin(), boundHeaders_.end(), header), boundHeaders_.end());
  });
  // The display slot under a point of the header, and whether it is on a column's edge
  // (where the widget resizes).
  auto slotAt = [wl](int x, bool& edge) {
    int at = 0;
    wl->CalcUnscrolledPosition(x, 0, &at, nullptr);
    edge = false;
    int right = 0;
    for (int i = 0; i < wl->GetColumnCount(); ++i) {
      right += wl->GetColumnWidth(i);
      if (std::abs(at - right) < 4) edge = true;
      if (at < right) return i;
    }
    return wl->GetColumnCount() - 1;
  };
  auto press = std::make_shared<std::optional<std::pair<int, int>>>();  // slot and x
  ListViewControl* list = &lv;
  header->Bind(wxEVT_LEFT_DOWN, [list, header, press, slotAt, alive = alive_](wxMouseEvent& m) {
    bool edge = false;
    const int slot = slotAt(m.GetX(), edge);
    if (!*alive || !(list->GetExtendedStyle() & LVS_EX_HEADERDRAGDROP) || edge || slot < 0) {
      m.Skip();
      return;
    }
    *press = std::make_pair(slot, m.GetX());
    header->CaptureMouse();
  });
  header->Bind(wxEVT_LEFT_UP, [this, list, header, press, slotAt, alive = alive_](wxMouseEvent& m) {
    if (!press->has_value()) {
      m.Skip();
      return;
    }
    const auto [slot, x] = **press;
    press->reset();
    if (header->HasCapture()) header->ReleaseMouse();
    const std::vector<int> order = list->GetColumnOrderArray();
    if (!*alive || slot >= static_cast<int>(order.size())) return;
    const int column = order[static_cast<std::size_t>(slot)];
    if (std::abs(m.GetX() - x) < 5) {
      User([&] { list->UserClickColumn(column); });  // a click, not a drag: it sorts
      return;
    }
    bool edge = false;
    const int target = slotAt(m.GetX(), edge);
    User([&] { list->UserMoveColumn(column, std::max(target, 0)); });
  });
  header->Bind(wxEVT_MOUSE_CAPTURE_LOST, [press](wxMouseCaptureLostEvent&) { press->reset(); });
}

wxSizer* RenderedWindow::Build(const LayoutNode& node, wxWindow* parent) {
  switch (node.box) {
    case BoxKind::Control: {
      auto* s = new wxBoxSizer(wxHORIZONTAL);
      wxWindow* w = MakeControl(node.control, parent);
      if (w != nullptr) s->Add(w, 1, wxEXPAND);
      return s;
    }
    case BoxKind::Row:
    case BoxKind::Column: {
      const bool row = node.box == BoxKind::Row;
      auto* s = new wxBoxSizer(row ? wxHORIZONTAL : wxVERTICAL);
      bool first = true;
      for (std::size_t i = 0; i < node.children.size(); ++i) {
        const LayoutNode& child = node.children[i];
        const bool expand = child.expand || (child.box == BoxKind::Control && child.control.expand);
        if (child.box == BoxKind::ButtonRow && !row) {
          if (!first) s->AddSpacer(kMargin);
          auto* buttons = new wxBoxSizer(wxHORIZONTAL);
          AddButtonRow(child, parent, buttons);
          s->Add(buttons, 0, wxEXPAND);
          first = false;
          continue;
        }
        if (!row && IsFormRow(child)) {
          // Rows of a label (or check box) and a field, one below the other, line up as a form.
          auto* form = new wxFlexGridSizer(2, kGap, kMargin);
          form->AddGrowableCol(1);
          std::size_t j = i;
          for (; j < node.children.size() && IsFormRow(node.children[j]); ++j) {
            const LayoutNode& pair = node.children[j];
            form->Add(Build(pair.children[0], parent), 0, wxALIGN_CENTER_VERTICAL);
            const bool grow = pair.children[1].expand || pair.children[1].control.expand;
            form->Add(Build(pair.children[1], parent), 0, grow ? static_cast<int>(wxEXPAND) : static_cast<int>(wxALIGN_CENTER_VERTICAL));
          }
          if (!first) s->AddSpacer(kGap);
          s->Add(form, 0, wxEXPAND);
          i = j - 1;
          first = false;
          continue;
        }
        wxSizer* inner = Build(child, parent);
        if (!first) s->AddSpacer(child.box == BoxKind::Group ? kMargin : kGap);
        if (row) {
          s->Add(inner, expand ? 1 : 0, RowAlignment(child));
        } else {
          s->Add(inner, expand ? 1 : 0, wxEXPAND);
        }
        first = false;
      }
      return s;
    }
    case BoxKind::Group: {
      // The frame's label is text: an "&" left by CleanLabel ("Name && Organization") is shown.
      auto* box = new wxStaticBoxSizer(new GroupBox(parent, wxControl::EscapeMnemonics(W(CleanLabel(node.text)))), wxVERTICAL);
      auto* inner = new wxBoxSizer(wxVERTICAL);
      bool first = true;
      for (const LayoutNode& child : node.children) {
        const bool expand = child.expand || (child.box == BoxKind::Control && child.control.expand);
        if (!first) inner->AddSpacer(kGap);
        inner->Add(Build(child, box->GetStaticBox()), expand ? 1 : 0, wxEXPAND);
        first = false;
      }
      box->Add(inner, 1, wxEXPAND | wxALL, kGap);
      return box;
    }
    case BoxKind::ButtonRow: {
      auto* s = new wxBoxSizer(wxHORIZONTAL);
      AddButtonRow(node, parent, s);
      return s;
    }
  }
  return new wxBoxSizer(wxVERTICAL);
}

void RenderedWindow::AddButtonRow(const LayoutNode& node, wxWindow* parent, wxBoxSizer* row) {
  // Standard answers go where the desktop puts them; other buttons start the row.
  auto* standard = new wxStdDialogButtonSizer;
  bool anyStandard = false;
  for (const LayoutNode& child : node.children) {
    if (child.box != BoxKind::Control) {
      row->Add(Build(child, parent), 0, wxALIGN_CENTER_VERTICAL | wxRIGHT, kGap);
      continue;
    }
    wxWindow* w = MakeControl(child.control, parent);
    auto* button = dynamic_cast<wxButton*>(w);
    if (button != nullptr && StockId(child.control.id) != wxID_ANY) {
      standard->AddButton(button);
      anyStandard = true;
    } else if (w != nullptr) {
      row->Add(w, 0, wxALIGN_CENTER_VERTICAL | wxRIGHT, kGap);
    }
  }
  row->AddStretchSpacer(1);
  if (anyStandard) {
    standard->Realize();
    row->Add(standard, 0, wxALIGN_CENTER_VERTICAL);
  } else {
    delete standard;
  }
}

wxWindow* RenderedWindow::MakeControl(const ControlTemplate& t, wxWindow* parent) {
  Control* c = t.id != IDC_STATIC && !measure_ ? window_.GetDlgItem(t.id) : nullptr;
  if (c == nullptr && t.id == IDC_STATIC && !measure_) {
    // Statics have no id: find the control made from this very template leaf.
    for (const auto& owned : window_.Controls()) {
      if (owned->id() == IDC_STATIC && &owned->tmpl() != &t && owned->tmpl().text == t.text &&
          owned->kind() == t.kind && byControl_.count(owned.get()) == 0) {
        c = owned.get();
        break;
      }
    }
  }
  const int charW = parent->GetCharWidth();
  const int lineH = parent->GetCharHeight();
  wxWindow* w = nullptr;
  long border = t.Has(kStyleNoBorder) ? wxBORDER_NONE : 0;
  switch (t.kind) {
    case ControlKind::Label: {
      long style = t.Has(kStyleAlignCentre) ? wxALIGN_CENTRE_HORIZONTAL : t.Has(kStyleAlignRight) ? wxALIGN_RIGHT : 0;
      if (t.Has(kStyleSunken)) style |= wxBORDER_SUNKEN;
      auto* label = new wxStaticText(parent, wxID_ANY, W(t.text), wxDefaultPosition, wxDefaultSize, style | wxST_NO_AUTORESIZE);
      if (t.Has(kStyleTitle)) {
        wxFont f = label->GetFont();
        f.MakeBold();
        f.MakeLarger();
        label->SetFont(f);
      }
      FitLabel(label, t.width);
      w = label;
      break;
    }
    case ControlKind::Picture:
      w = new wxStaticBitmap(parent, wxID_ANY, ArtBitmap(t.icon, 32));
      break;
    case ControlKind::Edit: {
      long style = border;
      if (t.Has(kStyleMultiLine)) style |= wxTE_MULTILINE;
      if (t.Has(kStylePassword)) style |= wxTE_PASSWORD;
      if (t.Has(kStyleReadOnly)) style |= wxTE_READONLY;
      auto* edit = new wxTextCtrl(parent, wxID_ANY, W(t.text), wxDefaultPosition, wxDefaultSize, style);
      int width = t.width > 0 ? t.width * charW + 2 * kMargin : -1;
      int height = t.Has(kStyleMultiLine) ? std::max(t.lines, 3) * lineH + kMargin : -1;
      edit->SetMinSize(wxSize(width, height));
      w = edit;
      break;
    }
    case ControlKind::PushButton: {
      auto* b = new wxButton(parent, StockId(t.id), W(t.text));
      if (t.Has(kStyleDefault)) b->SetDefault();
      w = b;
      break;
    }
    case ControlKind::CheckBox:
      w = new wxCheckBox(parent, wxID_ANY, W(t.text), wxDefaultPosition, wxDefaultSize,
                         t.Has(kStyleThreeState) ? wxCHK_3STATE | wxCHK_ALLOW_3RD_STATE_FOR_USER : wxCHK_2STATE);
      break;
    case ControlKind::RadioButton: {
      bool first = true;
      for (const Bound& b : bound_) {
        if (b.control != nullptr && b.control->kind() == ControlKind::RadioButton) first = false;
      }
      w = new wxRadioButton(parent, wxID_ANY, W(t.text), wxDefaultPosition, wxDefaultSize,
                            (first || t.Has(kStyleGroupStart)) ? wxRB_GROUP : 0);
      break;
    }
    case ControlKind::ComboBox:
      if (t.Has(kStyleDropDownList)) {
        w = new wxChoice(parent, wxID_ANY);
      } else {
        w = new wxComboBox(parent, wxID_ANY, W(t.text));
      }
      if (t.width > 0) w->SetMinSize(wxSize(t.width * charW + 4 * kMargin, -1));
      break;
    case ControlKind::ListBox:
      w = new wxListBox(parent, wxID_ANY, wxDefaultPosition, wxDefaultSize, 0, nullptr,
                        t.Has(kStyleMultiSelect) ? wxLB_EXTENDED : wxLB_SINGLE);
      w->SetMinSize(wxSize(t.width > 0 ? t.width * charW : -1, (t.lines > 0 ? t.lines : 6) * (lineH + 10) + 4));
      break;
    case ControlKind::ListView: {
      auto* lv = dynamic_cast<ListViewControl*>(c);
      long style = border;
      if (t.Has(kStyleSingleSelection)) style |= wxLC_SINGLE_SEL;
      if (t.Has(kStyleNoSortHeader)) style |= wxLC_NO_SORT_HEADER;
      // One widget for every mode: the view's style changes while it is shown.
      if (lv != nullptr) {
        style |= ListStyleOf(*lv);
      } else {
        style |= t.mode == ListViewMode::Report ? wxLC_REPORT | wxLC_VIRTUAL
                 : t.mode == ListViewMode::Icon ? wxLC_ICON : t.mode == ListViewMode::SmallIcon ? wxLC_SMALL_ICON : wxLC_LIST;
      }
      w = new VirtualList(parent, style, lv);
      w->SetMinSize(wxSize(t.width > 0 ? t.width * charW : 40 * charW, (t.lines > 0 ? t.lines : 8) * (lineH + 8)));
      break;
    }
    case ControlKind::TreeView: {
      long style = border | wxTR_SINGLE;
      if (t.Has(kStyleHasButtons)) style |= wxTR_HAS_BUTTONS;
      if (!t.Has(kStyleHasLines)) style |= wxTR_NO_LINES;
      if (t.Has(kStyleLinesAtRoot)) style |= wxTR_LINES_AT_ROOT;
      style |= wxTR_HIDE_ROOT;
      w = new wxTreeCtrl(parent, wxID_ANY, wxDefaultPosition, wxDefaultSize, style);
      w->SetMinSize(wxSize(t.width > 0 ? t.width * charW : 24 * charW, (t.lines > 0 ? t.lines : 10) * (lineH + 6)));
      if (t.id != IDC_STATIC && treeWidget_ == nullptr) treeWidget_ = w;
      break;
    }
    case ControlKind::Slider:
      w = new wxSlider(parent, wxID_ANY, 0, 0, 100, wxDefaultPosition, wxDefaultSize,
                       (t.Has(kStyleVertical) ? wxSL_VERTICAL : wxSL_HORIZONTAL) |
                           (t.Has(kStyleAutoTicks) ? wxSL_AUTOTICKS : 0));
      if (t.width > 0) w->SetMinSize(wxSize(t.width * charW, -1));
      break;
    case ControlKind::ProgressBar:
      w = new wxGauge(parent, wxID_ANY, 100, wxDefaultPosition, wxDefaultSize, wxGA_HORIZONTAL | wxGA_SMOOTH);
      w->SetMinSize(wxSize(t.width > 0 ? t.width * charW : 30 * charW, -1));
      break;
    case ControlKind::Spin:
      // Up and down arrows, as a buddy edit's spin has (GTK draws them as - and +).
      w = new wxSpinButton(parent, wxID_ANY, wxDefaultPosition, wxDefaultSize, wxSP_VERTICAL);
      break;
    case ControlKind::Link:
      w = new wxHyperlinkCtrl(parent, wxID_ANY, W(CleanLabel(t.text)), W(t.target.empty() ? "#" : t.target));
      break;
    case ControlKind::Toolbar:
      w = new wxToolBar(parent, wxID_ANY, wxDefaultPosition, wxDefaultSize,
                        wxTB_HORIZONTAL | (t.Has(kStyleTextBesideImage) ? wxTB_HORZ_TEXT : 0) |
                            (t.Has(kStyleFlat) ? wxTB_FLAT : 0));
      break;
    case ControlKind::StatusBar:
      w = new wxStatusBar(parent, wxID_ANY, wxSTB_SIZEGRIP);
      break;
    case ControlKind::Paint:
      w = new PaintPanel(parent, &window_, t.id, t.Has(kStyleSunken) ? wxBORDER_SUNKEN : wxBORDER_NONE);
      w->SetMinSize(wxSize(t.width > 0 ? t.width * charW : 16, t.lines > 0 ? t.lines * lineH : 16));
      break;
    case ControlKind::Tabs: {
      auto* nb = new wxNotebook(parent, wxID_ANY);
      if (t.Has(kStyleHidden)) nb->Hide();
      else notebook_ = nb;
      w = nb;
      break;
    }
    case ControlKind::PageArea:
      if (notebook_ != nullptr) {
        // The shown tab strip is the page area: pages go inside its tabs.
        if (c != nullptr) {
          byControl_[c] = notebook_;
          bound_.push_back({c, notebook_});
        }
        return nullptr;
      }
      w = new PaintPanel(parent, &window_, t.id, wxBORDER_NONE);
      pageArea_ = w;
      pageSizer_ = new wxBoxSizer(wxVERTICAL);
      w->SetSizer(pageSizer_);
      break;
  }
  if (w == nullptr) return nullptr;
  if (t.Has(kStyleHidden) && t.kind != ControlKind::Tabs) w->Hide();
  if (t.Has(kStyleDisabled)) w->Disable();
  if (c != nullptr) {
    byControl_[c] = w;
    bound_.push_back({c, w});
    BindControl(*c, w);
  } else if (t.kind == ControlKind::RadioButton) {
    bound_.push_back({nullptr, w});
  }
  return w;
}

// ---- what a person does ----

void RenderedWindow::BindControl(Control& c, wxWindow* w) {
  auto alive = alive_;
  Control* control = &c;
  auto guarded = [this, alive](auto&& f) {
    return [this, alive, f](auto& e) {
      e.Skip(false);
      if (!*alive || guard_ > 0) return;
      User([&] { f(e); });
    };
  };
  switch (c.kind()) {
    case ControlKind::PushButton:
      w->Bind(wxEVT_BUTTON, guarded([control](wxCommandEvent&) { static_cast<ButtonControl*>(control)->UserClick(); }));
      break;
    case ControlKind::CheckBox:
    case ControlKind::RadioButton:
      w->Bind(c.kind() == ControlKind::CheckBox ? wxEVT_CHECKBOX : wxEVT_RADIOBUTTON,
              guarded([this, control](wxCommandEvent&) {
                static_cast<ButtonControl*>(control)->UserClick();
                Sync(*control, byControl_[control], ControlAspect::Check);
              }));
      break;
    case ControlKind::Edit:
      w->Bind(wxEVT_TEXT, guarded([this, control](wxCommandEvent& e) {
                auto* edit = static_cast<EditControl*>(control);
                if (!edit->UserType(U(e.GetString()))) Sync(*control, byControl_[control], ControlAspect::Text);
              }));
      break;
    case ControlKind::ComboBox:
    case ControlKind::ListBox: {
      auto* list = static_cast<ListControl*>(control);
      if (auto* lb = dynamic_cast<wxListBox*>(w)) {
        w->Bind(wxEVT_LISTBOX, guarded([list, lb](wxCommandEvent&) {
                  if (list->tmpl().Has(kStyleMultiSelect)) {
                    wxArrayInt sel;
                    lb->GetSelections(sel);
                    std::vector<int> want(sel.begin(), sel.end());
                    for (int i = 0; i < list->GetCount(); ++i) {
                      const bool on = std::find(want.begin(), want.end(), i) != want.end();
                      const auto have = list->GetSelItems();
                      if (on != (std::find(have.begin(), have.end(), i) != have.end())) list->UserSelect(i);
                    }
                  } else {
                    list->UserSelect(lb->GetSelection());
                  }
                }));
        w->Bind(wxEVT_LISTBOX_DCLICK, guarded([list](wxCommandEvent& e) { list->UserDoubleClick(e.GetSelection()); }));
      } else {
        // (On GTK a combo box is also a wxChoice.)
        w->Bind(dynamic_cast<wxComboBox*>(w) == nullptr ? wxEVT_CHOICE : wxEVT_COMBOBOX,
                guarded([this, list](wxCommandEvent& e) {
                  if (!list->UserSelect(e.GetSelection())) Sync(*list, byControl_[list], ControlAspect::Selection);
                }));
        if (dynamic_cast<wxComboBox*>(w) != nullptr) {
          w->Bind(wxEVT_TEXT, guarded([list](wxCommandEvent& e) { list->UserType(U(e.GetString())); }));
        }
      }
      break;
    }
    case ControlKind::Slider: {
      auto* slider = static_cast<SliderControl*>(control);
      auto* ws = static_cast<wxSlider*>(w);
      w->Bind(wxEVT_SCROLL_THUMBTRACK, guarded([slider, ws](wxScrollEvent&) { slider->UserDrag(ws->GetValue()); }));
      w->Bind(wxEVT_SCROLL_THUMBRELEASE, guarded([slider, ws](wxScrollEvent&) {
                if (slider->GetPos() != ws->GetValue()) slider->UserDrag(ws->GetValue());
                slider->UserRelease();
              }));
      for (auto type : {wxEVT_SCROLL_LINEUP, wxEVT_SCROLL_LINEDOWN, wxEVT_SCROLL_PAGEUP, wxEVT_SCROLL_PAGEDOWN,
                        wxEVT_SCROLL_TOP, wxEVT_SCROLL_BOTTOM, wxEVT_SCROLL_CHANGED}) {
        w->Bind(type, guarded([slider, ws](wxScrollEvent&) {
                  if (slider->GetPos() == ws->GetValue()) return;
                  slider->UserDrag(ws->GetValue());
                  slider->UserRelease();
                }));
      }
      break;
    }
    case ControlKind::Spin: {
      auto* spin = static_cast<SpinControl*>(control);
      w->Bind(wxEVT_SPIN_UP, guarded([this, spin](wxSpinEvent& e) {
                e.Veto();
                spin->UserStep(+1);
                Sync(*spin, byControl_[spin], ControlAspect::Position);
              }));
      w->Bind(wxEVT_SPIN_DOWN, guarded([this, spin](wxSpinEvent& e) {
                e.Veto();
                spin->UserStep(-1);
                Sync(*spin, byControl_[spin], ControlAspect::Position);
              }));
      break;
    }
    case ControlKind::Link:
      w->Bind(wxEVT_HYPERLINK, guarded([control](wxHyperlinkEvent&) { static_cast<LinkControl*>(control)->UserClick(); }));
      break;
    case ControlKind::Tabs:
      w->Bind(wxEVT_NOTEBOOK_PAGE_CHANGING, guarded([control](wxBookCtrlEvent& e) {
                if (!static_cast<TabsControl*>(control)->UserSelect(e.GetSelection())) e.Veto();
              }));
      break;
    case ControlKind::Toolbar: {
      auto* bar = static_cast<ToolbarControl*>(control);
      w->Bind(wxEVT_TOOL, guarded([bar](wxCommandEvent& e) { bar->UserClick(e.GetId() - wxID_HIGHEST - 1); }));
      break;
    }
    case ControlKind::TreeView: {
      auto* tree = static_cast<TreeViewControl*>(control);
      auto* wt = static_cast<wxTreeCtrl*>(w);
      // The highlight shows the core's selection: the toolkit's tree may still move it
      // after a refused change that showed a message (a page that may not be left), so
      // the core's item is highlighted again once the person's action is over.
      auto showCore = [this, tree, wt, alive = alive_] {
        wt->CallAfter([this, tree, wt, alive] {
          if (*alive) Sync(*tree, wt, ControlAspect::Selection);
        });
      };
      w->Bind(wxEVT_TREE_SEL_CHANGING, guarded([tree, wt, showCore](wxTreeEvent& e) {
                const HTREEITEM h = TreeHandle(wt, e.GetItem());
                if (h != 0 && h != tree->GetSelectedItem() && !tree->UserSelect(h)) {
                  e.Veto();
                  showCore();
                }
              }));
      w->Bind(wxEVT_TREE_SEL_CHANGED, guarded([tree, wt, showCore](wxTreeEvent& e) {
                if (TreeHandle(wt, e.GetItem()) != tree->GetSelectedItem()) showCore();
              }));
      w->Bind(wxEVT_TREE_ITEM_EXPANDING, guarded([tree, wt](wxTreeEvent& e) {
                const HTREEITEM h = TreeHandle(wt, e.GetItem());
                if (h != 0 && !tree->IsExpanded(h) && !tree->UserExpand(h, true)) e.Veto();
              }));
      w->Bind(wxEVT_TREE_ITEM_COLLAPSING, guarded([tree, wt](wxTreeEvent& e) {
                const HTREEITEM h = TreeHandle(wt, e.GetItem());
                if (h != 0 && tree->IsExpanded(h) && !tree->UserExpand(h, false)) e.Veto();
              }));
      w->Bind(wxEVT_TREE_ITEM_RIGHT_CLICK, guarded([tree, wt](wxTreeEvent& e) {
                tree->UserRightClick(TreeHandle(wt, e.GetItem()), Point{e.GetPoint().x, e.GetPoint().y});
              }));
      break;
    }
    case ControlKind::ListView: {
      auto* lv = static_cast<ListViewControl*>(control);
      auto* wl = static_cast<wxListCtrl*>(w);
      auto readSelection = [lv, wl](wxListEvent&) {
        std::vector<int> rows;
        for (long i = wl->GetNextItem(-1, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED); i >= 0;
             i = wl->GetNextItem(i, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED)) {
          rows.push_back(static_cast<int>(i));
        }
        const long focused = wl->GetNextItem(-1, wxLIST_NEXT_ALL, wxLIST_STATE_FOCUSED);
        if (focused >= 0) {
          auto f = std::find(rows.begin(), rows.end(), static_cast<int>(focused));
          if (f != rows.end()) std::rotate(rows.begin(), f, f + 1);
        }
        if (rows != lv->GetSelectedRows() || (focused >= 0 && lv->GetNextItem(-1, LVNI_FOCUSED) != focused)) {
          lv->UserSelectRows(rows);
        }
      };
      // A row chosen without Ctrl or Shift is chosen alone. The toolkit's list leaves rows
      // that code selected (a list filled again after an edit) highlighted when a person
      // clicks another row, so that the next command would act on both.
      // The modifiers of the click or key that selects: read from that input itself, since
      // the keyboard's state when the selection is handled may already be a later one.
      auto extending = std::make_shared<bool>(false);
      auto noteModifiers = [extending](wxKeyboardState& k) { *extending = k.ControlDown() || k.ShiftDown(); };
      for (wxWindow* part : wl->GetChildren()) {  // the rows are drawn and clicked in a child window
        part->Bind(wxEVT_LEFT_DOWN, [noteModifiers](wxMouseEvent& m) { noteModifiers(m); m.Skip(); });
        part->Bind(wxEVT_RIGHT_DOWN, [noteModifiers](wxMouseEvent& m) { noteModifiers(m); m.Skip(); });
        part->Bind(wxEVT_KEY_DOWN, [noteModifiers](wxKeyEvent& k) { noteModifiers(k); k.Skip(); });
        part->Bind(wxEVT_CHAR, [noteModifiers](wxKeyEvent& k) { noteModifiers(k); k.Skip(); });
      }
      w->Bind(wxEVT_LIST_ITEM_SELECTED, guarded([this, wl, readSelection, extending](wxListEvent& e) {
                if (!wl->HasFlag(wxLC_SINGLE_SEL) && !*extending) {
                  ++guard_;
                  for (long i = wl->GetNextItem(-1, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED); i >= 0;
                       i = wl->GetNextItem(i, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED)) {
                    if (i != e.GetIndex()) wl->SetItemState(i, 0, wxLIST_STATE_SELECTED);
                  }
                  --guard_;
                }
                readSelection(e);
              }));
      w->Bind(wxEVT_LIST_ITEM_DESELECTED, guarded(readSelection));
      w->Bind(wxEVT_LIST_ITEM_ACTIVATED, guarded([lv](wxListEvent& e) { lv->UserActivate(static_cast<int>(e.GetIndex())); }));
      auto coreColumn = [lv](int shown) {
        const std::vector<int> order = lv->GetColumnOrderArray();
        return shown >= 0 && shown < static_cast<int>(order.size()) ? order[static_cast<std::size_t>(shown)] : shown;
      };
      w->Bind(wxEVT_LIST_COL_CLICK, guarded([lv, coreColumn](wxListEvent& e) { lv->UserClickColumn(coreColumn(e.GetColumn())); }));
      w->Bind(wxEVT_LIST_COL_END_DRAG, [lv, wl, coreColumn, alive](wxListEvent& e) {
        e.Skip();
        const int shown = e.GetColumn();
        // The new width is the widget's once the drag has ended.
        wxTheApp->CallAfter([lv, wl, coreColumn, alive, shown] {
          if (*alive && shown < wl->GetColumnCount()) lv->UserResizeColumn(coreColumn(shown), wl->GetColumnWidth(shown));
        });
      });
      w->Bind(wxEVT_LIST_COL_RIGHT_CLICK, guarded([lv](wxListEvent& e) {
                lv->UserRightClickHeader(Point{e.GetPoint().x, e.GetPoint().y});
              }));
      w->Bind(wxEVT_LIST_ITEM_RIGHT_CLICK, guarded([lv](wxListEvent& e) {
                lv->UserRightClick(static_cast<int>(e.GetIndex()), Point{e.GetPoint().x, e.GetPoint().y});
              }));
      w->Bind(wxEVT_LIST_ITEM_CHECKED, guarded([lv](wxListEvent& e) {
                if (!lv->GetCheck(static_cast<int>(e.GetIndex()))) lv->UserToggleCheck(static_cast<int>(e.GetIndex()));
              }));
      w->Bind(wxEVT_LIST_ITEM_UNCHECKED, guarded([lv](wxListEvent& e) {
                if (lv->GetCheck(static_cast<int>(e.GetIndex()))) lv->UserToggleCheck(static_cast<int>(e.GetIndex()));
              }));
      // The list's key event says which modifiers were down with the key (the state of
      // the keyboard by the time the event is handled may say otherwise).
      auto keyModifiers = std::make_shared<UINT>(0);
      wl->GetTargetWindow()->Bind(wxEVT_KEY_DOWN, [keyModifiers](wxKeyEvent& k) {
        *keyModifiers = Modifiers(k);
        k.Skip();
      });
      w->Bind(wxEVT_LIST_KEY_DOWN, guarded([lv, keyModifiers](wxListEvent& e) {
                const UINT key = VirtualKey(e.GetKeyCode());
                const UINT mods = *keyModifiers;
                // The widget moves the focus, pages, finds by letters and activates the row
                // on Enter itself; the owner hears each key.
                const bool widgets = key == VK_UP || key == VK_DOWN || key == VK_LEFT || key == VK_RIGHT ||
                                     key == VK_PRIOR || key == VK_NEXT || key == VK_HOME || key == VK_END ||
                                     key == VK_SPACE || (key == VK_RETURN && !(mods & kModAlt)) ||
                                     (key >= 'A' && key <= 'Z' && !(mods & (kModCtrl | kModAlt)));
                if (widgets) {
                  lv->UserKeyMovedByHost(key, mods);
                  e.Skip();
                } else if (key != 0) {
                  lv->UserKey(key, mods);
                } else {
                  e.Skip();
                }
              }));
      // The first row shown and the rows a page holds, whenever the list is drawn (after
      // a scroll, a key, a resize): a refresh comes back to the same place.
      wl->GetTargetWindow()->Bind(wxEVT_PAINT, [lv, wl, alive](wxPaintEvent& e) {
        e.Skip();
        if (!*alive || !wl->InReportView()) return;  // the other modes have no rows to count
        lv->HostTopRow(static_cast<int>(std::max(0L, wl->GetTopItem())));
        lv->HostPageRows(wl->GetCountPerPage());
      });
      BindHeaderDrag(*lv, wl);
      w->Bind(wxEVT_LIST_BEGIN_DRAG, guarded([lv, wl, alive](wxListEvent& e) {
                lv->UserBeginDrag(static_cast<int>(e.GetIndex()));
                if (lv->GetReorderSource() < 0) return;
                // The owner asked for a reorder drag: the list follows the mouse until it
                // lets go.
                wl->CaptureMouse();
              }));
      auto rowAt = [wl](wxPoint p) {
        int flags = 0;
        const long row = wl->HitTest(p, flags);
        return row >= 0 ? static_cast<int>(row) : -1;
      };
      w->Bind(wxEVT_MOTION, [lv, wl, rowAt, alive](wxMouseEvent& m) {
        m.Skip();
        if (*alive && wl->HasCapture() && lv->GetReorderSource() >= 0) lv->UserReorderOver(rowAt(m.GetPosition()));
      });
      w->Bind(wxEVT_LEFT_UP, [lv, wl, rowAt, alive](wxMouseEvent& m) {
        m.Skip();
        if (!wl->HasCapture()) return;
        wl->ReleaseMouse();
        if (*alive && lv->GetReorderSource() >= 0) lv->UserReorderDrop(rowAt(m.GetPosition()));
      });
      w->Bind(wxEVT_MOUSE_CAPTURE_LOST, [lv, alive](wxMouseCaptureLostEvent&) {
        if (*alive && lv->GetReorderSource() >= 0) lv->UserReorderCancel();
      });
      break;
    }
    default:
      break;
  }
}

// ---- state into the widgets ----

void RenderedWindow::SyncAll() {
  ++guard_;
  for (const Bound& b : bound_) {
    if (b.control == nullptr) continue;
    for (ControlAspect a : {ControlAspect::Text, ControlAspect::Items, ControlAspect::Columns, ControlAspect::Rows,
                            ControlAspect::Tree, ControlAspect::Range, ControlAspect::Position, ControlAspect::Check,
                            ControlAspect::Selection, ControlAspect::RowState, ControlAspect::Buttons,
                            ControlAspect::Parts, ControlAspect::Image, ControlAspect::SortIndicator,
                            ControlAspect::Style, ControlAspect::Enabled, ControlAspect::Visible}) {
      Sync(*b.control, b.widget, a);
    }
  }
  --guard_;
}

void RenderedWindow::ControlChanged(UiWindow&, Control& control, ControlAspect what) {
  auto it = byControl_.find(&control);
  if (it == byControl_.end()) return;
  ++guard_;
  Sync(control, it->second, what);
  --guard_;
  if (what == ControlAspect::Visible || what == ControlAspect::Text || what == ControlAspect::Items ||
      what == ControlAspect::Buttons) {
    top_->Layout();
  }
}

void RenderedWindow::Sync(Control& c, wxWindow* w, ControlAspect what) {
  if (w == nullptr) return;
  ++guard_;
  switch (what) {
    case ControlAspect::Enabled:
      if (w != notebook_ || c.kind() == ControlKind::Tabs) w->Enable(c.IsEnabled());
      break;
    case ControlAspect::Visible:
      if (c.kind() == ControlKind::PageArea || (c.kind() == ControlKind::Tabs && w != notebook_)) break;
      w->Show(c.IsVisible());
      break;
    case ControlAspect::Repaint:
    case ControlAspect::Background:
      w->Refresh();
      break;
    default:
      break;
  }
  switch (c.kind()) {
    case ControlKind::Label:
      if (what == ControlAspect::Text) {
        if (auto* s = dynamic_cast<wxStaticText*>(w)) {
          s->SetLabelText(W(c.GetText()));
          FitLabel(s, c.tmpl().width);
        }
      }
      break;
    case ControlKind::Picture:
      if (what == ControlAspect::Image) {
        static_cast<wxStaticBitmap*>(w)->SetBitmap(ArtBitmap(static_cast<PictureControl&>(c).GetIcon(), 32));
      }
      break;
    case ControlKind::Edit: {
      auto* t = static_cast<wxTextCtrl*>(w);
      auto& e = static_cast<EditControl&>(c);
      if (what == ControlAspect::Text && U(t->GetValue()) != c.GetText()) t->ChangeValue(W(c.GetText()));
      if (what == ControlAspect::Style) t->SetEditable(!e.IsReadOnly());
      break;
    }
    case ControlKind::PushButton:
      if (what == ControlAspect::Text) static_cast<wxButton*>(w)->SetLabel(W(c.GetText()));
      break;
    case ControlKind::CheckBox: {
      auto* cb = static_cast<wxCheckBox*>(w);
      const int check = static_cast<ButtonControl&>(c).GetCheck();
      if (what == ControlAspect::Check) cb->Set3StateValue(check == 2 ? wxCHK_UNDETERMINED : check ? wxCHK_CHECKED : wxCHK_UNCHECKED);
      if (what == ControlAspect::Text) cb->SetLabel(W(c.GetText()));
      break;
    }
    case ControlKind::RadioButton:
      if (what == ControlAspect::Check) static_cast<wxRadioButton*>(w)->SetValue(static_cast<ButtonControl&>(c).GetCheck() != 0);
      if (what == ControlAspect::Text) w->SetLabel(W(c.GetText()));
      break;
    case ControlKind::ComboBox:
    case ControlKind::ListBox: {
      auto& list = static_cast<ListControl&>(c);
      auto* items = dynamic_cast<wxItemContainer*>(w);
      if (what == ControlAspect::Items && items != nullptr) {
        items->Clear();
        for (int i = 0; i < list.GetCount(); ++i) items->Append(W(list.GetItemText(i)));
        what = ControlAspect::Selection;
      }
      if (what == ControlAspect::Selection || what == ControlAspect::Text) {
        if (auto* lb = dynamic_cast<wxListBox*>(w); lb != nullptr && list.tmpl().Has(kStyleMultiSelect)) {
          auto sel = list.GetSelItems();
          for (int i = 0; i < list.GetCount() && i < static_cast<int>(lb->GetCount()); ++i) {
            const bool on = std::find(sel.begin(), sel.end(), i) != sel.end();
            if (lb->IsSelected(i) != on) on ? lb->SetSelection(i) : lb->Deselect(i);
          }
        } else if (auto* combo = dynamic_cast<wxComboBox*>(w)) {
          if (list.GetCurSel() >= 0 && list.GetCurSel() < static_cast<int>(combo->GetCount())) {
            combo->SetSelection(list.GetCurSel());
          }
          if (U(combo->GetValue()) != list.GetText()) combo->ChangeValue(W(list.GetText()));
        } else if (auto* ctrl = dynamic_cast<wxItemContainerImmutable*>(w)) {
          const int sel = list.GetCurSel();
          if (sel < static_cast<int>(ctrl->GetCount())) {
            if (auto* lb = dynamic_cast<wxListBox*>(w); lb != nullptr && sel < 0) {
              lb->DeselectAll();
            } else {
              ctrl->SetSelection(sel >= 0 ? sel : wxNOT_FOUND);
            }
          }
        }
      }
      break;
    }
    case ControlKind::Slider: {
      auto& s = static_cast<SliderControl&>(c);
      auto* ws = static_cast<wxSlider*>(w);
      if (what == ControlAspect::Range) ws->SetRange(s.GetRangeMin(), s.GetRangeMax());
      if (what == ControlAspect::Range || what == ControlAspect::Position) ws->SetValue(s.GetPos());
      if (what == ControlAspect::Range && s.tmpl().Has(kStyleAutoTicks)) ws->SetTickFreq(std::max(1, s.GetTicFreq()));
      break;
    }
    case ControlKind::ProgressBar: {
      auto& p = static_cast<ProgressControl&>(c);
      auto* g = static_cast<wxGauge*>(w);
      if (what == ControlAspect::Range || what == ControlAspect::Position) {
        g->SetRange(std::max(1, p.GetRangeMax() - p.GetRangeMin()));
        g->SetValue(std::clamp(p.GetPos() - p.GetRangeMin(), 0, g->GetRange()));
      }
      break;
    }
    case ControlKind::Spin: {
      auto& s = static_cast<SpinControl&>(c);
      auto* ws = static_cast<wxSpinButton*>(w);
      if (what == ControlAspect::Range || what == ControlAspect::Position) {
        ws->SetRange(std::min(s.GetRangeMin(), s.GetRangeMax()), std::max(s.GetRangeMin(), s.GetRangeMax()));
        ws->SetValue(s.GetPos());
      }
      break;
    }
    case ControlKind::Link:
      if (what == ControlAspect::Text) static_cast<wxHyperlinkCtrl*>(w)->SetLabel(W(CleanLabel(c.GetText())));
      break;
    case ControlKind::Tabs: {
      auto& tabs = static_cast<TabsControl&>(c);
      auto* nb = static_cast<wxNotebook*>(w);
      if (what == ControlAspect::Items) {
        while (static_cast<int>(nb->GetPageCount()) > tabs.GetItemCount()) nb->DeletePage(nb->GetPageCount() - 1);
        if (tabs.GetImageList() != nullptr) nb->AssignImageList(MakeImageList(tabs.GetImageList()));
        for (int i = 0; i < tabs.GetItemCount(); ++i) {
          const TabsControl::Tab* tab = tabs.GetItem(i);
          if (i < static_cast<int>(nb->GetPageCount())) {
            nb->SetPageText(static_cast<size_t>(i), W(tab->text));
          } else {
            auto* holder = new wxPanel(nb);
            holder->SetSizer(new wxBoxSizer(wxVERTICAL));
            nb->AddPage(holder, W(tab->text), false, tab->image);
          }
        }
        what = ControlAspect::Selection;
      }
      if (what == ControlAspect::Selection && tabs.GetCurSel() >= 0 && tabs.GetCurSel() < static_cast<int>(nb->GetPageCount())) {
        nb->ChangeSelection(static_cast<size_t>(tabs.GetCurSel()));
      }
      break;
    }
    case ControlKind::Toolbar: {
      auto& bar = static_cast<ToolbarControl&>(c);
      auto* tb = static_cast<wxToolBar*>(w);
      if (what == ControlAspect::Buttons || what == ControlAspect::Image) {
        tb->ClearTools();
        const ImageList* images = bar.GetImageList();
        // A bar without pictures shows its buttons' labels.
        const long textOnly = wxTB_TEXT | wxTB_NOICONS;
        // Labels beside the pictures stay when the template asks for them.
        const long beside = bar.tmpl().Has(kStyleTextBesideImage) ? wxTB_TEXT : 0;
        tb->SetWindowStyleFlag(images == nullptr ? (tb->GetWindowStyleFlag() | textOnly)
                                                 : ((tb->GetWindowStyleFlag() & ~textOnly) | beside));
        const int size = images != nullptr ? images->Width() : 16;
        tb->SetToolBitmapSize(wxSize(size, size));
        for (int i = 0; i < bar.GetButtonCount(); ++i) {
          const auto& b = bar.GetButton(i);
          if (b.hidden) continue;
          if (b.separator) {
            tb->AddSeparator();
            continue;
          }
          wxBitmap bmp = images != nullptr && b.image >= 0
                             ? ToolbarBitmap(images->GetIcon(b.image), size, tb->GetForegroundColour())
                             : wxBitmap();
          if (!bmp.IsOk()) bmp = ArtBitmap("", size);
          const int id = wxID_HIGHEST + 1 + b.command;
          tb->AddTool(id, W(b.label), bmp, W(bar.GetTooltip(b.command)), b.checkable ? wxITEM_CHECK : wxITEM_NORMAL);
          tb->EnableTool(id, b.enabled);
          if (b.checkable) tb->ToggleTool(id, b.checked);
        }
        tb->Realize();
      }
      break;
    }
    case ControlKind::StatusBar: {
      auto& bar = static_cast<StatusBarControl&>(c);
      auto* sb = static_cast<wxStatusBar*>(w);
      if (what == ControlAspect::Parts || what == ControlAspect::Text) {
        const auto& edges = bar.GetParts();
        const int n = std::max<int>(1, static_cast<int>(edges.size()));
        std::vector<int> widths(static_cast<std::size_t>(n), -1);
        int left = 0;
        for (int i = 0; i < static_cast<int>(edges.size()); ++i) {
          widths[static_cast<std::size_t>(i)] = edges[static_cast<std::size_t>(i)] < 0 ? -1 : edges[static_cast<std::size_t>(i)] - left;
          if (edges[static_cast<std::size_t>(i)] >= 0) left = edges[static_cast<std::size_t>(i)];
        }
        sb->SetFieldsCount(n, widths.data());
        for (int i = 0; i < n; ++i) sb->SetStatusText(W(bar.GetPartText(i)), i);
      }
      break;
    }
    case ControlKind::TreeView: {
      auto& tree = static_cast<TreeViewControl&>(c);
      auto* wt = static_cast<wxTreeCtrl*>(w);
      if (what == ControlAspect::Tree || what == ControlAspect::Image || what == ControlAspect::Text) {
        // Trees here are small: rebuilt whole, with expansion and selection from the core.
        wt->DeleteAllItems();
        if (tree.GetImageList() != nullptr) wt->AssignImageList(MakeImageList(tree.GetImageList()));
        wxTreeItemId root = wt->AddRoot("");
        std::function<void(HTREEITEM, wxTreeItemId)> add = [&](HTREEITEM parent, wxTreeItemId at) {
          for (HTREEITEM h : tree.GetChildren(parent)) {
            int image = -1, selImage = -1;
            tree.GetItemImage(h, image, selImage);
            wxTreeItemId id = wt->AppendItem(at, W(tree.GetItemText(h)), image, selImage,
                                             new TreeItem(h));
            add(h, id);
            if (tree.IsExpanded(h)) wt->Expand(id);
          }
        };
        add(TVI_ROOT, root);
        what = ControlAspect::Selection;
      }
      // A person's own selection or expansion is already on screen, and the toolkit may
      // still be changing it: a selection the code made meanwhile (Ctrl+Tab to the next
      // page) is shown once the person's action is over.
      if (userDepth_ > 0) {
        if (what == ControlAspect::Selection) {
          wt->CallAfter([this, control = &c, wt, alive = alive_] {
            if (*alive) Sync(*control, wt, ControlAspect::Selection);
          });
        }
        break;
      }
      if (what == ControlAspect::Selection || what == ControlAspect::Expanded) {
        std::function<void(wxTreeItemId)> walk = [&](wxTreeItemId parent) {
          wxTreeItemIdValue cookie;
          for (wxTreeItemId i = wt->GetFirstChild(parent, cookie); i.IsOk(); i = wt->GetNextChild(parent, cookie)) {
            const HTREEITEM h = TreeHandle(wt, i);
            if (what == ControlAspect::Expanded && tree.IsExpanded(h) != wt->IsExpanded(i)) {
              tree.IsExpanded(h) ? wt->Expand(i) : wt->Collapse(i);
            }
            if (what == ControlAspect::Selection && h == tree.GetSelectedItem() && !wt->IsSelected(i)) wt->SelectItem(i);
            walk(i);
          }
        };
        if (wt->GetRootItem().IsOk()) walk(wt->GetRootItem());
      }
      break;
    }
    case ControlKind::ListView: {
      auto& lv = static_cast<ListViewControl&>(c);
      auto* wl = static_cast<wxListCtrl*>(w);
      const bool isVirtual = wl->HasFlag(wxLC_VIRTUAL);
      if (what == ControlAspect::Columns && wl->InReportView()) {
        wl->DeleteAllColumns();
        const std::vector<int> order = lv.GetColumnOrderArray();  // in display order
        for (int i = 0; i < static_cast<int>(order.size()); ++i) {
          const auto& col = lv.GetColumn(order[static_cast<std::size_t>(i)]);
          wl->InsertColumn(i, W(col.title),
                           col.format == LVCFMT_RIGHT ? wxLIST_FORMAT_RIGHT : col.format == LVCFMT_CENTER ? wxLIST_FORMAT_CENTRE : wxLIST_FORMAT_LEFT,
                           col.width);
        }
      }
      if (what == ControlAspect::Image) {
        if (const ImageList* small = lv.GetImageList(true)) wl->AssignImageList(MakeImageList(small), wxIMAGE_LIST_SMALL);
        if (const ImageList* normal = lv.GetImageList(false)) wl->AssignImageList(MakeImageList(normal), wxIMAGE_LIST_NORMAL);
      }
      if (what == ControlAspect::Style) {
        wl->EnableCheckBoxes((lv.GetExtendedStyle() & LVS_EX_CHECKBOXES) != 0 || lv.tmpl().Has(kStyleCheckBoxes));
        const long now = wl->GetWindowStyleFlag();
        const long want = ListStyleOf(lv);
        if ((now & kListStyleMask) != want) {
          // Another mode: the widget drops its rows and columns and is filled anew.
          const bool mode = (now & (wxLC_MASK_TYPE | wxLC_VIRTUAL)) != (want & (wxLC_MASK_TYPE | wxLC_VIRTUAL));
          if (mode) {
            wl->DeleteAllItems();
            wl->DeleteAllColumns();
          }
          wl->SetWindowStyleFlag((now & ~kListStyleMask) | want);
          if (mode) {
            for (ControlAspect a : {ControlAspect::Columns, ControlAspect::Image, ControlAspect::Rows,
                                    ControlAspect::SortIndicator, ControlAspect::Position}) {
              Sync(c, w, a);
            }
            BindHeaderDrag(lv, wl);
          }
          wl->Refresh();
        }
      }
      if (what == ControlAspect::Rows || what == ControlAspect::Image) {
        if (isVirtual) {
          wl->SetItemCount(lv.GetItemCount());
        } else {
          wl->DeleteAllItems();
          for (int i = 0; i < lv.GetItemCount(); ++i) wl->InsertItem(i, W(lv.GetItemText(i, 0)), lv.GetItemImage(i));
        }
        wl->Refresh();
        what = ControlAspect::RowState;
      }
      if (what == ControlAspect::RowState) {
        for (int i = 0; i < lv.GetItemCount(); ++i) {
          const UINT state = lv.GetItemState(i, LVIS_SELECTED | LVIS_FOCUSED | LVIS_DROPHILITED);
          long want = ((state & LVIS_SELECTED) ? wxLIST_STATE_SELECTED : 0) | ((state & LVIS_FOCUSED) ? wxLIST_STATE_FOCUSED : 0) |
                      ((state & LVIS_DROPHILITED) ? wxLIST_STATE_DROPHILITED : 0);
          const long mask = wxLIST_STATE_SELECTED | wxLIST_STATE_FOCUSED | wxLIST_STATE_DROPHILITED;
          if ((wl->GetItemState(i, mask) & mask) != want) wl->SetItemState(i, want, mask);
        }
        wl->Refresh();
      }
      // The widget's columns are in display order: the arrow goes to the slot of the
      // core's column.
      if (what == ControlAspect::SortIndicator || what == ControlAspect::Columns) {
        const int slot = lv.GetSortDirection() != 0 ? SlotOfColumn(lv, lv.GetSortColumn()) : -1;
        if (wl->InReportView() && slot >= 0 && slot < wl->GetColumnCount()) {
          wl->ShowSortIndicator(slot, lv.GetSortDirection() > 0);
        } else if (wl->InReportView()) {
          wl->RemoveSortIndicator();
        }
      }
      if (what == ControlAspect::Position && lv.GetItemCount() > 0) {
        // The core's first row shown becomes the widget's: its page's last row is made
        // visible first (it scrolls down to it), then the row itself (it scrolls up).
        const long top = std::min<long>(lv.GetTopVisible(), lv.GetItemCount() - 1);
        const long page = std::max(1, wl->InReportView() ? wl->GetCountPerPage() : 1);
        wl->EnsureVisible(std::min<long>(top + page - 1, lv.GetItemCount() - 1));
        wl->EnsureVisible(top);
      }
      break;
    }
    default:
      break;
  }
  --guard_;
}

// ---- the window ----

void RenderedWindow::WaitUntilDrawn() {
  auto* widget = static_cast<GtkWidget*>(top_->GetHandle());
  if (widget == nullptr) return;
  bool drawn = false;
  const gulong id = g_signal_connect_after(
      widget, "draw", G_CALLBACK(+[](GtkWidget*, cairo_t*, gpointer done) -> gboolean {
        *static_cast<bool*>(done) = true;
        return FALSE;
      }),
      &drawn);
  const gint64 until = g_get_monotonic_time() + 1000000;
  while (!drawn && g_get_monotonic_time() < until) {
    if (!g_main_context_iteration(nullptr, FALSE)) g_usleep(2000);
  }
  g_signal_handler_disconnect(widget, id);
  // What the window drew reaches the screen before the work goes on.
  gdk_display_flush(gtk_widget_get_display(widget));
}

void RenderedWindow::WindowChanged(UiWindow&, WindowAspect what) {
  switch (what) {
    case WindowAspect::Caption:
      top_->SetLabel(W(window_.GetWindowText()));
      break;
    case WindowAspect::Visible:
      if (topLevel_ && !(dialog() != nullptr && dialog()->IsModal())) {
        if (window_.IsWindowVisible()) {
          Place();
          top_->Show();
          ReportRect();
          // A pop-up is shown while work goes on in this thread: it is drawn now, not left
          // an empty box until the loop next runs.
          if (!(window_.GetTemplate().frame & kFrameCaption)) WaitUntilDrawn();
        } else {
          top_->Hide();
        }
      }
      break;
    case WindowAspect::Enabled:
      top_->Enable(window_.IsWindowEnabled());
      break;
    case WindowAspect::Position:
      if (topLevel_) {
        Place();
        ReportRect();
      }
      break;
    case WindowAspect::Focus:
      if (wxWindow* w = Widget(window_.GetFocusId())) w->SetFocus();
      break;
    case WindowAspect::Flash:
      // The urgency hint itself: wx's RequestUserAttention runs a yield of its own first,
      // which crashes when it is called from inside a pump of our loop.
      if (auto* tlw = dynamic_cast<wxTopLevelWindow*>(top_); tlw != nullptr && tlw->GetHandle() != nullptr &&
                                                                !tlw->IsActive()) {
        gtk_window_set_urgency_hint(GTK_WINDOW(tlw->GetHandle()), TRUE);
      }
      break;
    case WindowAspect::Ended:
      if (auto* d = dialog(); d != nullptr && d->IsModal()) {
        auto* dlg = dynamic_cast<Dialog*>(&window_);
        d->EndModal(dlg != nullptr ? dlg->GetModalResult() : wxID_CANCEL);
      }
      break;
    case WindowAspect::ActivePage:
      ShowActivePage();
      break;
    case WindowAspect::Foreground:
      if (topLevel_) top_->Raise();
      break;
    case WindowAspect::MenuBar:
      BuildMenuBar();
      break;
    case WindowAspect::DropTarget:
      BindDropHandler();
      break;
  }
}

void RenderedWindow::BindDropHandler() {
  if (!window_.GetDropHandler()) {
    drop_.reset();
    return;
  }
  if (drop_ || top_->GetHandle() == nullptr) return;
  drop_ = std::make_unique<DropBinding>(top_->GetHandle(), window_, [this] { return DragStateHere(); });
}

std::optional<Rect> RenderedWindow::ScreenRectOf(int controlId, long item) {
  wxWindow* w = Widget(controlId);
  if (w == nullptr || !w->IsShownOnScreen()) return std::nullopt;
  wxRect rect = w->GetScreenRect();
  if (item >= 0) {
    wxRect part;
    if (auto* list = dynamic_cast<wxListCtrl*>(w)) {
      if (!list->GetItemRect(item, part)) return std::nullopt;
    } else if (auto* tree = dynamic_cast<wxTreeCtrl*>(w)) {
      wxTreeItemId found;
      std::function<void(wxTreeItemId)> walk = [&](wxTreeItemId parent) {
        wxTreeItemIdValue cookie;
        for (wxTreeItemId i = tree->GetFirstChild(parent, cookie); i.IsOk() && !found.IsOk();
             i = tree->GetNextChild(parent, cookie)) {
          if (TreeHandle(tree, i) == static_cast<HTREEITEM>(item)) found = i;
          if (!found.IsOk()) walk(i);
        }
      };
      walk(tree->GetRootItem());
      if (!found.IsOk() || !tree->GetBoundingRect(found, part, true)) return std::nullopt;
    } else {
      return std::nullopt;
    }
    rect = wxRect(w->ClientToScreen(part.GetTopLeft()), part.GetSize());
  }
  return Rect{rect.GetLeft(), rect.GetTop(), rect.GetRight() + 1, rect.GetBottom() + 1};
}

std::optional<Rect> RenderedWindow::ScreenRectOfHeader(int controlId, int slot) {
  auto* list = dynamic_cast<wxListCtrl*>(Widget(controlId));
  if (list == nullptr || !list->IsShownOnScreen() || !list->InReportView() || slot < 0 || slot >= list->GetColumnCount()) {
    return std::nullopt;
  }
  wxWindow* header = nullptr;
  for (wxWindow* child : list->GetChildren()) {
    if (child != list->GetTargetWindow()) header = child;
  }
  if (header == nullptr) return std::nullopt;
  int left = 0;
  for (int i = 0; i < slot; ++i) left += list->GetColumnWidth(i);
  int x = 0;
  list->CalcScrolledPosition(left, 0, &x, nullptr);
  const wxPoint at = header->ClientToScreen(wxPoint(x, 0));
  return Rect{at.x, at.y, at.x + list->GetColumnWidth(slot), at.y + header->GetSize().y};
}

DragState RenderedWindow::DragStateHere() {
  DragState state;
  const wxPoint mouse = wxGetMousePosition();
  const wxPoint at = top_->ScreenToClient(mouse);
  state.at = Point{at.x, at.y};
  for (const Bound& b : bound_) {
    if (b.control == nullptr || b.widget == nullptr || !b.widget->IsShownOnScreen() ||
        !b.widget->GetScreenRect().Contains(mouse)) {
      continue;
    }
    state.control = b.control->id();
    if (auto* wl = dynamic_cast<wxListCtrl*>(b.widget)) {
      // The row whose rectangle holds the point (the rectangles are the control's own).
      const wxPoint p = wl->ScreenToClient(mouse);
      // The rows shown in report mode; every row in the others, which have no pages.
      const bool report = wl->InReportView();
      const long first = report ? std::max(0L, wl->GetTopItem()) : 0L;
      const long last = report ? std::min(static_cast<long>(wl->GetItemCount()), first + wl->GetCountPerPage() + 2)
                               : static_cast<long>(wl->GetItemCount());
      for (long row = first; row < last; ++row) {
        wxRect r;
        if (wl->GetItemRect(row, r) && r.Contains(p)) {
          state.row = static_cast<int>(row);
          break;
        }
      }
    } else if (auto* wt = dynamic_cast<wxTreeCtrl*>(b.widget)) {
      int flags = 0;
      const wxTreeItemId item = wt->HitTest(wt->ScreenToClient(mouse), flags);
      if (item.IsOk() && (flags & wxTREE_HITTEST_ONITEM) != 0) state.treeItem = TreeHandle(wt, item);
    }
  }
  return state;
}

wxMenu* MakeWxMenu(const Menu& menu, const std::function<int(UINT)>& idOf) {
  auto* out = new wxMenu;
  for (const Menu::Item& item : menu.Items()) {
    if (item.IsSeparator()) {
      out->AppendSeparator();
      continue;
    }
    wxMenuItem* made = nullptr;
    if (item.popup != nullptr) {
      made = out->AppendSubMenu(MakeWxMenu(*item.popup, idOf), W(item.text));
    } else {
      made = out->Append(idOf(item.id), W(item.text), wxString(), item.IsChecked() ? wxITEM_CHECK : wxITEM_NORMAL);
      if (item.IsChecked()) made->Check(true);
    }
    if (item.IsGrayed()) made->Enable(false);
  }
  return out;
}

void RenderedWindow::BuildMenuBar() {
  wxFrame* f = frame();
  const Menu* menu = window_.GetMenuBar();
  if (f == nullptr) return;
  auto idOf = [](UINT command) { return wxID_HIGHEST + 1 + static_cast<int>(command); };
  auto* bar = new wxMenuBar;
  if (menu != nullptr) {
    for (const Menu::Item& item : menu->Items()) {
      if (item.popup != nullptr) bar->Append(MakeWxMenu(*item.popup, idOf), W(item.text));
    }
  }
  wxMenuBar* old = f->GetMenuBar();
  f->SetMenuBar(bar);
  delete old;
}

void RenderedWindow::Place() {
  auto* tlw = dynamic_cast<wxTopLevelWindow*>(top_);
  if (tlw == nullptr) return;
  const Rect r = window_.GetWindowRect();
  if (window_.IsPlacedByCode()) {
    tlw->Move(r.left, r.top);
  } else {
    tlw->CentreOnParent();
  }
  long style = tlw->GetWindowStyleFlag();
  const long wanted = window_.IsTopmost() ? (style | wxSTAY_ON_TOP) : (style & ~wxSTAY_ON_TOP);
  if (wanted != style) tlw->SetWindowStyleFlag(wanted);
}

void RenderedWindow::ReportRect() {
  const wxRect r = top_->GetScreenRect();
  window_.HostMoved(Rect{r.x, r.y, r.x + r.width, r.y + r.height});
}

wxWindow* RenderedWindow::Widget(int id) {
  Control* c = window_.GetDlgItem(id);
  if (c != nullptr) {
    auto it = byControl_.find(c);
    if (it != byControl_.end()) return it->second;
  }
  if (RenderedWindow* page = ShownPage()) return page->Widget(id);
  return nullptr;
}

Control* RenderedWindow::ControlOf(int id) {
  if (Control* c = window_.GetDlgItem(id)) return c;
  if (RenderedWindow* page = ShownPage()) return page->ControlOf(id);
  return nullptr;
}

RenderedWindow* RenderedWindow::ShownPage() {
  auto* sheet = dynamic_cast<PropertySheet*>(&window_);
  if (sheet == nullptr) return nullptr;
  auto it = pages_.find(sheet->GetShownPage());
  return it == pages_.end() ? nullptr : it->second.get();
}

void RenderedWindow::ShowActivePage() {
  auto* sheet = dynamic_cast<PropertySheet*>(&window_);
  if (sheet == nullptr) return;
  // Pages that closed or left the sheet go.
  for (auto it = pages_.begin(); it != pages_.end();) {
    if (sheet->GetPageIndex(it->first) < 0 || !it->second->Current()) {
      it = pages_.erase(it);
    } else {
      ++it;
    }
  }
  PropertyPage* shown = sheet->GetShownPage();
  for (auto& [page, rendered] : pages_) {
    if (page != shown) rendered->top()->Hide();
  }
  if (shown == nullptr) {
    if (pageArea_ != nullptr) pageArea_->Refresh();
    return;
  }
  auto it = pages_.find(shown);
  if (it == pages_.end()) {
    wxWindow* holder = pageArea_;
    if (notebook_ != nullptr) {
      const int index = sheet->GetPageIndex(shown);
      if (index < 0 || index >= static_cast<int>(notebook_->GetPageCount())) return;
      holder = notebook_->GetPage(static_cast<size_t>(index));
    }
    if (holder == nullptr) return;
    auto rendered = std::make_unique<RenderedWindow>(*shown, holder, false);
    wxSizer* sizer = holder->GetSizer();
    if (holder == pageArea_) {
      auto* area = dynamic_cast<PageAreaControl*>(window_.GetDlgItem(kSheetPageAreaId));
      if (area == nullptr) {
        for (const auto& ctl : window_.Controls()) {
          if (ctl->kind() == ControlKind::PageArea) area = static_cast<PageAreaControl*>(ctl.get());
        }
      }
      sizer->Clear(false);
      sizer->AddSpacer(area != nullptr ? area->GetTopInset() : 0);
      sizer->Add(rendered->top(), 1, wxEXPAND | wxALL, kMargin);
    } else {
      sizer->Add(rendered->top(), 1, wxEXPAND | wxALL, kMargin);
    }
    it = pages_.emplace(shown, std::move(rendered)).first;
  } else if (pageArea_ != nullptr) {
    auto* sizer = pageArea_->GetSizer();
    sizer->Clear(false);
    auto* area = [&]() -> PageAreaControl* {
      for (const auto& ctl : window_.Controls()) {
        if (ctl->kind() == ControlKind::PageArea) return static_cast<PageAreaControl*>(ctl.get());
      }
      return nullptr;
    }();
    sizer->AddSpacer(area != nullptr ? area->GetTopInset() : 0);
    sizer->Add(it->second->top(), 1, wxEXPAND | wxALL, kMargin);
  }
  it->second->top()->Show();
  // A tab's panel has its size already: a page added to it later is laid out here.
  if (wxWindow* holder = it->second->top()->GetParent()) holder->Layout();
  if (notebook_ != nullptr) {
    const int index = sheet->GetPageIndex(shown);
    if (index >= 0 && index < static_cast<int>(notebook_->GetPageCount()) && notebook_->GetSelection() != index) {
      ++guard_;
      notebook_->ChangeSelection(static_cast<size_t>(index));
      --guard_;
    }
  }
  FitPageArea();
  // A tab's holder keeps its size when a page first goes into it, so no size event lays
  // the page out: a page shown after the first one lay squeezed in its corner.
  if (wxWindow* holder = it->second->top()->GetParent(); notebook_ != nullptr && holder != nullptr) holder->Layout();
}

void RenderedWindow::HoldPage(const wxSize& best) {
  // The same room whether the page was measured up front or is shown: a page area keeps
  // space for a caption above its page, as a tab's holder does not.
  pageMin_.x = std::max(pageMin_.x, best.x + 2 * kMargin);
  pageMin_.y = std::max(pageMin_.y, best.y + 2 * kMargin + (notebook_ != nullptr ? 0 : 40));
}

void RenderedWindow::FitPageArea() {
  wxWindow* area = notebook_ != nullptr ? static_cast<wxWindow*>(notebook_) : pageArea_;
  if (area == nullptr) return;
  for (auto& [page, rendered] : pages_) HoldPage(rendered->top()->GetBestSize());
  if (notebook_ != nullptr) {
    notebook_->SetMinSize(notebook_->CalcSizeFromPage(pageMin_));
  } else {
    area->SetMinSize(pageMin_);
  }
  area->Layout();
  if (auto* tlw = dynamic_cast<wxTopLevelWindow*>(top_)) {
    top_->GetSizer()->SetSizeHints(tlw);
    top_->Layout();
  }
  area->Refresh();
}

std::vector<RenderedControl> RenderedWindow::Readback() {
  std::vector<RenderedControl> out;
  for (const Bound& b : bound_) {
    if (b.control == nullptr) continue;
    RenderedControl r;
    r.id = b.control->id();
    r.kind = b.control->kind();
    wxWindow* w = b.widget;
    r.enabled = w->IsThisEnabled();
    r.shown = w->IsShown();
    for (wxWindow* p = w->GetParent(); p != nullptr && p != top_; p = p->GetParent()) r.shown = r.shown && p->IsShown();
    const wxRect place = w->GetScreenRect();
    r.left = place.x;
    r.top = place.y;
    r.width = place.width;
    r.height = place.height;
    if (auto* s = dynamic_cast<wxStaticText*>(w)) r.text = U(s->GetLabelText());
    if (auto* t = dynamic_cast<wxTextCtrl*>(w)) r.text = U(t->GetValue());
    if (auto* b2 = dynamic_cast<wxButton*>(w)) r.text = U(b2->GetLabel());
    if (auto* cb = dynamic_cast<wxCheckBox*>(w)) {
      r.text = U(cb->GetLabel());
      r.check = cb->Get3StateValue() == wxCHK_UNDETERMINED ? 2 : cb->GetValue() ? 1 : 0;
    }
    if (auto* rb = dynamic_cast<wxRadioButton*>(w)) {
      r.text = U(rb->GetLabel());
      r.check = rb->GetValue() ? 1 : 0;
    }
    if (auto* ch = dynamic_cast<wxChoice*>(w); ch != nullptr && dynamic_cast<wxComboBox*>(w) == nullptr) {
      for (unsigned i = 0; i < ch->GetCount(); ++i) r.items.push_back(U(ch->GetString(i)));
      r.selection = ch->GetSelection();
      r.text = r.selection >= 0 ? r.items[static_cast<std::size_t>(r.selection)] : "";
    }
    if (auto* co = dynamic_cast<wxComboBox*>(w)) {
      for (unsigned i = 0; i < co->GetCount(); ++i) r.items.push_back(U(co->GetString(i)));
      r.selection = co->GetSelection();
      r.text = U(co->GetValue());
    }
    if (auto* lb = dynamic_cast<wxListBox*>(w)) {
      for (unsigned i = 0; i < lb->GetCount(); ++i) r.items.push_back(U(lb->GetString(i)));
      r.selection = lb->GetSelection();
    }
    if (auto* s = dynamic_cast<wxSlider*>(w)) {
      r.position = s->GetValue();
      r.rangeMin = s->GetMin();
      r.rangeMax = s->GetMax();
    }
    if (auto* g = dynamic_cast<wxGauge*>(w)) {
      r.position = g->GetValue();
      r.rangeMax = g->GetRange();
    }
    if (auto* sp = dynamic_cast<wxSpinButton*>(w)) {
      r.position = sp->GetValue();
      r.rangeMin = sp->GetMin();
      r.rangeMax = sp->GetMax();
    }
    if (auto* hl = dynamic_cast<wxHyperlinkCtrl*>(w)) r.text = U(hl->GetLabel());
    if (auto* nb = dynamic_cast<wxNotebook*>(w)) {
      for (size_t i = 0; i < nb->GetPageCount(); ++i) r.items.push_back(U(nb->GetPageText(i)));
      r.selection = nb->GetSelection();
    }
    if (auto* wl = dynamic_cast<wxListCtrl*>(w)) {
      // The core's first column, wherever the display order shows it.
      int shown = 0;
      if (auto* lv = dynamic_cast<ListViewControl*>(b.control)) {
        const std::vector<int> order = lv->GetColumnOrderArray();
        const auto at = std::find(order.begin(), order.end(), 0);
        if (at != order.end()) shown = static_cast<int>(at - order.begin());
      }
      for (long i = 0; i < wl->GetItemCount(); ++i) r.items.push_back(U(wl->GetItemText(i, shown)));
      r.selection = static_cast<int>(wl->GetNextItem(-1, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED));
      for (long i = r.selection; i >= 0; i = wl->GetNextItem(i, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED)) {
        r.selectedRows.push_back(static_cast<int>(i));
      }
      r.mode = wl->InReportView() ? ListViewMode::Report : wl->HasFlag(wxLC_ICON) ? ListViewMode::Icon
               : wl->HasFlag(wxLC_SMALL_ICON) ? ListViewMode::SmallIcon : ListViewMode::List;
      if (wl->InReportView()) {
        for (int i = 0; i < wl->GetColumnCount(); ++i) {
          wxListItem column;
          column.SetMask(wxLIST_MASK_TEXT);
          wl->GetColumn(i, column);
          r.columns.push_back(U(column.GetText()));
        }
        r.sortSlot = wl->GetSortIndicator();
        if (r.sortSlot >= 0) r.sortAscending = wl->IsAscendingSortIndicator();
        r.gridLines = wl->HasFlag(wxLC_HRULES) && wl->HasFlag(wxLC_VRULES);
      }
      if (auto* sw = static_cast<GtkWidget*>(wl->GetHandle()); sw != nullptr && GTK_IS_SCROLLED_WINDOW(sw)) {
        // A bar counts when it is drawn for good beside the rows, not overlaid on demand.
        const bool drawn = !gtk_scrolled_window_get_overlay_scrolling(GTK_SCROLLED_WINDOW(sw));
        GtkWidget* h = gtk_scrolled_window_get_hscrollbar(GTK_SCROLLED_WINDOW(sw));
        GtkWidget* v = gtk_scrolled_window_get_vscrollbar(GTK_SCROLLED_WINDOW(sw));
        r.horizontalBar = drawn && h != nullptr && gtk_widget_get_mapped(h);
        r.verticalBar = drawn && v != nullptr && gtk_widget_get_mapped(v);
      }
    }
    if (auto* wt = dynamic_cast<wxTreeCtrl*>(w)) {
      std::function<void(wxTreeItemId)> walk = [&](wxTreeItemId parent) {
        wxTreeItemIdValue cookie;
        for (wxTreeItemId i = wt->GetFirstChild(parent, cookie); i.IsOk(); i = wt->GetNextChild(parent, cookie)) {
          r.items.push_back(U(TreePath(wt, i)));
          if (wt->IsSelected(i)) r.text = r.items.back();
          walk(i);
        }
      };
      if (wt->GetRootItem().IsOk()) walk(wt->GetRootItem());
    }
    if (auto* sb = dynamic_cast<wxStatusBar*>(w)) r.text = U(sb->GetStatusText(0));
    out.push_back(std::move(r));
  }
  if (RenderedWindow* page = ShownPage()) {
    auto more = page->Readback();
    out.insert(out.end(), more.begin(), more.end());
  }
  return out;
}

}  // namespace platform::wxui
