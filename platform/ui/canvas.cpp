#include "platform/ui/canvas.h"

namespace platform {

void Canvas::FillRect(const Rect& r, COLORREF colour) {
  DrawOp op;
  op.kind = DrawOp::Kind::Fill;
  op.rect = r;
  op.colour = colour;
  ops_.push_back(std::move(op));
}

void Canvas::GradientH(const Rect& r, COLORREF left, COLORREF right) {
  if (r.IsEmpty()) return;
  DrawOp op;
  op.kind = DrawOp::Kind::Gradient;
  op.rect = r;
  op.colour = left;
  op.colour2 = right;
  ops_.push_back(std::move(op));
}

void Canvas::Line(int x1, int y1, int x2, int y2, COLORREF colour, PenStyle pen) {
  DrawOp op;
  op.kind = DrawOp::Kind::Line;
  op.rect = {x1, y1, x2, y2};
  op.colour = colour;
  op.pen = pen;
  ops_.push_back(std::move(op));
}

void Canvas::DrawText(const std::string& text, const Rect& r, UINT flags, COLORREF colour, FontKind font) {
  DrawOp op;
  op.kind = DrawOp::Kind::Text;
  op.rect = r;
  op.text = text;
  op.flags = flags;
  op.colour = colour;
  op.font = font;
  ops_.push_back(std::move(op));
}

void Canvas::DrawIcon(const std::string& iconName, int x, int y, int size) {
  DrawOp op;
  op.kind = DrawOp::Kind::Icon;
  op.rect = {x, y, x + size, y + size};
  op.text = iconName;
  op.size = size;
  ops_.push_back(std::move(op));
}

void Canvas::DrawSunkenEdge(const Rect& r) {
  DrawOp op;
  op.kind = DrawOp::Kind::SunkenEdge;
  op.rect = r;
  ops_.push_back(std::move(op));
}

}  // namespace platform
