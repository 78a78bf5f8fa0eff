#include "platform/ui/dialog_template.h"

#include <set>
#include <stdexcept>

#include "platform/text/text.h"

namespace platform {

const char* ControlKindName(ControlKind kind) {
  switch (kind) {
    case ControlKind::Label: return "label";
    case ControlKind::Picture: return "picture";
    case ControlKind::Edit: return "edit";
    case ControlKind::PushButton: return "button";
    case ControlKind::CheckBox: return "check box";
    case ControlKind::RadioButton: return "radio button";
    case ControlKind::ComboBox: return "combo box";
    case ControlKind::ListBox: return "list box";
    case ControlKind::ListView: return "list view";
    case ControlKind::TreeView: return "tree view";
    case ControlKind::Slider: return "slider";
    case ControlKind::ProgressBar: return "progress bar";
    case ControlKind::Spin: return "spin";
    case ControlKind::Link: return "link";
    case ControlKind::Toolbar: return "toolbar";
    case ControlKind::StatusBar: return "status bar";
    case ControlKind::Paint: return "painted area";
    case ControlKind::Tabs: return "tabs";
    case ControlKind::PageArea: return "page area";
  }
  return "control";
}

LayoutNode& LayoutNode::Label(std::string label) {
  control.label = std::move(label);
  return *this;
}
LayoutNode& LayoutNode::Width(int characters) {
  control.width = characters;
  return *this;
}
LayoutNode& LayoutNode::Lines(int lines) {
  control.lines = lines;
  return *this;
}
LayoutNode& LayoutNode::Expand() {
  expand = true;
  control.expand = true;
  return *this;
}
LayoutNode& LayoutNode::Style(std::uint32_t bits) {
  control.style |= bits;
  return *this;
}
LayoutNode& LayoutNode::Mode(ListViewMode mode) {
  control.mode = mode;
  return *this;
}

namespace layout {
namespace {

LayoutNode Box(BoxKind kind, std::vector<LayoutNode> children, std::string text = {}) {
  LayoutNode n;
  n.box = kind;
  n.text = std::move(text);
  n.children = std::move(children);
  return n;
}

LayoutNode Leaf(ControlKind kind, int id, std::string text = {}) {
  LayoutNode n;
  n.box = BoxKind::Control;
  n.control.kind = kind;
  n.control.id = id;
  n.control.text = std::move(text);
  return n;
}

}  // namespace

LayoutNode Row(std::vector<LayoutNode> children) { return Box(BoxKind::Row, std::move(children)); }
LayoutNode Column(std::vector<LayoutNode> children) { return Box(BoxKind::Column, std::move(children)); }
LayoutNode Group(std::string label, std::vector<LayoutNode> children) {
  return Box(BoxKind::Group, std::move(children), std::move(label));
}
LayoutNode Buttons(std::vector<LayoutNode> children) { return Box(BoxKind::ButtonRow, std::move(children)); }

LayoutNode Text(std::string text, int id) { return Leaf(ControlKind::Label, id, std::move(text)); }
LayoutNode Picture(int id, std::string icon) {
  LayoutNode n = Leaf(ControlKind::Picture, id);
  n.control.icon = std::move(icon);
  return n;
}
LayoutNode Edit(int id, std::string text) { return Leaf(ControlKind::Edit, id, std::move(text)); }
LayoutNode Button(int id, std::string text) { return Leaf(ControlKind::PushButton, id, std::move(text)); }
LayoutNode DefaultButton(int id, std::string text) {
  return Leaf(ControlKind::PushButton, id, std::move(text)).Style(kStyleDefault);
}
LayoutNode Check(int id, std::string text) { return Leaf(ControlKind::CheckBox, id, std::move(text)); }
LayoutNode Radio(int id, std::string text) { return Leaf(ControlKind::RadioButton, id, std::move(text)); }
LayoutNode Combo(int id) { return Leaf(ControlKind::ComboBox, id); }
LayoutNode List(int id) { return Leaf(ControlKind::ListBox, id); }
LayoutNode ListView(int id, ListViewMode mode) { return Leaf(ControlKind::ListView, id).Mode(mode); }
LayoutNode Tree(int id) { return Leaf(ControlKind::TreeView, id); }
LayoutNode Slider(int id) { return Leaf(ControlKind::Slider, id); }
LayoutNode Progress(int id) { return Leaf(ControlKind::ProgressBar, id); }
LayoutNode Spin(int id, int buddy) {
  LayoutNode n = Leaf(ControlKind::Spin, id);
  n.control.buddy = buddy;
  return n;
}
LayoutNode Link(int id, std::string text, std::string target) {
  LayoutNode n = Leaf(ControlKind::Link, id, std::move(text));
  n.control.target = std::move(target);
  return n;
}
LayoutNode Toolbar(int id) { return Leaf(ControlKind::Toolbar, id); }
LayoutNode StatusBar(int id) { return Leaf(ControlKind::StatusBar, id); }
LayoutNode Paint(int id) { return Leaf(ControlKind::Paint, id); }
LayoutNode Tabs(int id) { return Leaf(ControlKind::Tabs, id); }
LayoutNode PageArea(int id) { return Leaf(ControlKind::PageArea, id).Expand(); }

}  // namespace layout

namespace {

void Collect(const LayoutNode& n, std::vector<const ControlTemplate*>& out) {
  if (n.box == BoxKind::Control) {
    out.push_back(&n.control);
    return;
  }
  for (const auto& c : n.children) Collect(c, out);
}

// Controls without a text of their own are named by what stands before them.
bool NamedByNeighbour(ControlKind k) {
  switch (k) {
    case ControlKind::Edit:
    case ControlKind::ComboBox:
    case ControlKind::ListBox:
    case ControlKind::ListView:
    case ControlKind::TreeView:
    case ControlKind::Slider:
    case ControlKind::ProgressBar:
    case ControlKind::Spin:
    case ControlKind::Paint:
      return true;
    default:
      return false;
  }
}

void FillLabels(LayoutNode& n, const std::string& groupLabel) {
  std::string before;
  for (auto& c : n.children) {
    if (c.box != BoxKind::Control) {
      FillLabels(c, c.box == BoxKind::Group ? c.text : groupLabel);
      continue;
    }
    ControlTemplate& t = c.control;
    if (t.kind == ControlKind::Label) {
      before = t.text;
      if (t.label.empty()) t.label = CleanLabel(t.text);
      continue;
    }
    if (!t.label.empty()) continue;
    if (NamedByNeighbour(t.kind)) {
      t.label = CleanLabel(!before.empty() ? before : groupLabel);
    }
    if (t.label.empty()) t.label = CleanLabel(t.text);
  }
}

void CheckIds(const DialogTemplate& t) {
  std::set<int> seen;
  for (const ControlTemplate* c : t.Controls()) {
    if (c->id == IDC_STATIC) continue;
    if (!seen.insert(c->id).second) {
      throw std::logic_error("template " + std::to_string(t.id) + " holds control id " + std::to_string(c->id) +
                             " twice");
    }
  }
}

}  // namespace

std::vector<const ControlTemplate*> DialogTemplate::Controls() const {
  std::vector<const ControlTemplate*> out;
  Collect(root, out);
  return out;
}

const ControlTemplate* DialogTemplate::Find(int id) const {
  if (id == IDC_STATIC) return nullptr;
  for (const ControlTemplate* c : Controls()) {
    if (c->id == id) return c;
  }
  return nullptr;
}

DialogTemplate MakeTemplate(int id, std::string caption, LayoutNode root, std::uint32_t frame) {
  DialogTemplate t;
  t.id = id;
  t.caption = std::move(caption);
  t.frame = frame;
  t.root = std::move(root);
  if (t.root.box == BoxKind::Control) {
    LayoutNode wrap = layout::Column({std::move(t.root)});
    t.root = std::move(wrap);
  }
  FillLabels(t.root, t.root.box == BoxKind::Group ? t.root.text : std::string());
  CheckIds(t);
  return t;
}

std::string CleanLabel(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '&') {
      if (i + 1 < text.size() && text[i + 1] == '&') {
        out += '&';
        ++i;
      }
      continue;
    }
    out += text[i];
  }
  std::string trimmed = Trim(out);
  while (!trimmed.empty() && trimmed.back() == ':') trimmed = Trim(trimmed.substr(0, trimmed.size() - 1));
  return trimmed;
}

}  // namespace platform
