// A small drawing surface for the few things windows paint themselves (a property sheet's
// caption bar, a colour swatch, a view's background, the playback display). Painting
// records operations; a host replays them on its own surface, and tests read them.
#pragma once

#include <string>
#include <vector>

#include "platform/ui/ui_types.h"

namespace platform {

enum class FontKind : std::uint8_t {
  Gui,     // the desktop's normal dialog font
  System,  // the bolder font of title bars
};

enum class PenStyle : std::uint8_t { Solid, Dot };

struct DrawOp {
  enum class Kind : std::uint8_t { Fill, Gradient, Line, Text, Icon, SunkenEdge };
  Kind kind = Kind::Fill;
  Rect rect;  // Line: from (left, top) to (right, bottom)
  COLORREF colour = 0;
  COLORREF colour2 = 0;  // Gradient: the colour at the right edge
  PenStyle pen = PenStyle::Solid;
  std::string text;  // Text: the text; Icon: the icon's name
  UINT flags = 0;    // Text: DT_ flags
  FontKind font = FontKind::Gui;
  int size = 16;  // Icon: its size
};

class Canvas {
 public:
  explicit Canvas(Rect client) : client_(client) {}

  Rect ClientRect() const { return client_; }
  // The window's background colour, which the host fills the client area with first.
  COLORREF Background() const { return background_; }
  void SetBackground(COLORREF colour) { background_ = colour; }

  void FillRect(const Rect& r, COLORREF colour);
  // Left to right from `left` (first column) to `right` (last column).
  void GradientH(const Rect& r, COLORREF left, COLORREF right);
  void Line(int x1, int y1, int x2, int y2, COLORREF colour, PenStyle pen = PenStyle::Solid);
  // Text in a rectangle, on a transparent background.
  void DrawText(const std::string& text, const Rect& r, UINT flags, COLORREF colour, FontKind font = FontKind::Gui);
  void DrawIcon(const std::string& iconName, int x, int y, int size = 16);
  void DrawSunkenEdge(const Rect& r);

  const std::vector<DrawOp>& Ops() const { return ops_; }

 private:
  Rect client_;
  COLORREF background_ = RGB(240, 240, 240);
  std::vector<DrawOp> ops_;
};

}  // namespace platform
