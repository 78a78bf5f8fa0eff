// Dialog templates: what a window holds, declared in C++ beside the class that uses it.
// A template has an id, a caption, a frame and a tree of layout boxes (rows, columns,
// labelled groups, a button row) whose leaves are controls with the ids and texts the
// dialogs are known by. There are no pixel positions: a host lays the boxes out with its
// own metrics. Size hints are in average characters and text lines.
//
//   using namespace platform::layout;
//   const DialogTemplate& t = MakeTemplate(599, "Auto-Fill Track Numbers",
//       Column({Row({Text("Starting Number:"), Edit(1102).Number().Width(6)}),
//               Row({Text("Increment:"), Edit(1103).Number().Width(6)}),
//               Buttons({DefaultButton(IDOK, "OK"), Button(IDCANCEL, "Cancel")})}));
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/ui/ui_types.h"

namespace platform {

enum class ControlKind : std::uint8_t {
  Label,        // static text
  Picture,      // a named icon
  Edit,         // single or multi-line text; number, password, read-only
  PushButton,   // a button; kStyleDefault makes it the one Enter presses
  CheckBox,     // two or three states
  RadioButton,  // one of a group (kStyleGroupStart opens a group)
  ComboBox,     // editable, or a drop-down list with kStyleDropDownList
  ListBox,
  ListView,     // report / list / icon / small-icon rows
  TreeView,
  Slider,
  ProgressBar,
  Spin,         // up-down arrows, usually beside an edit (its buddy)
  Link,         // a text that opens an address or runs a command
  Toolbar,
  StatusBar,
  Paint,        // an area its window paints itself (colour swatches, caption bars)
  Tabs,         // a property sheet's tab strip
  PageArea,     // where a property sheet shows its active page; painted by its window
};
const char* ControlKindName(ControlKind kind);

// Styles: one bit each. The comment names the kinds that honour a bit.
enum : std::uint32_t {
  kStyleMultiLine = 1u << 0,         // Edit
  kStyleNumber = 1u << 1,            // Edit: digits only
  kStylePassword = 1u << 2,          // Edit
  kStyleReadOnly = 1u << 3,          // Edit
  kStyleWantReturn = 1u << 4,        // Edit (multi-line): Enter makes a new line
  kStyleDefault = 1u << 5,           // PushButton
  kStyleGroupStart = 1u << 6,        // RadioButton
  kStyleThreeState = 1u << 7,        // CheckBox
  kStyleDropDownList = 1u << 8,      // ComboBox: pick from the list only
  kStyleSorted = 1u << 9,            // ComboBox, ListBox: items kept in order
  kStyleMultiSelect = 1u << 10,      // ListBox
  kStyleCheckBoxes = 1u << 11,       // ListView, TreeView
  kStyleSingleSelection = 1u << 12,  // ListView
  kStyleNoSortHeader = 1u << 13,     // ListView
  kStyleShowSelAlways = 1u << 14,    // ListView, TreeView
  kStyleHasButtons = 1u << 15,       // TreeView
  kStyleHasLines = 1u << 16,         // TreeView
  kStyleLinesAtRoot = 1u << 17,      // TreeView
  kStyleTrackSelect = 1u << 18,      // TreeView
  kStyleVertical = 1u << 19,         // Slider, Spin
  kStyleAutoTicks = 1u << 20,        // Slider
  kStyleAlignCentre = 1u << 21,      // Label
  kStyleAlignRight = 1u << 22,       // Label
  kStyleSunken = 1u << 23,           // Label, Paint: a sunken border
  kStyleTextBesideImage = 1u << 24,  // Toolbar: labels right of the images
  kStyleFlat = 1u << 25,             // Toolbar
  kStyleHidden = 1u << 26,           // any: starts hidden
  kStyleDisabled = 1u << 27,         // any: starts disabled
  kStyleNoBorder = 1u << 28,         // Edit, ListView, TreeView, Paint
  kStyleTitle = 1u << 29,            // Label: a heading, in a larger or bold font
};

enum class ListViewMode : std::uint8_t { Icon = 0, Report = 1, SmallIcon = 2, List = 3 };

struct ControlTemplate {
  ControlKind kind = ControlKind::Label;
  int id = IDC_STATIC;
  std::string text;    // caption, first text of an edit, a link's text
  std::string label;   // what the control is called in messages; see MakeTemplate
  std::string target;  // Link: the address it opens (empty: it only notifies its window)
  std::string icon;    // Picture: the named icon
  std::uint32_t style = 0;
  int width = 0;   // average characters; 0: the host decides
  int lines = 0;   // text lines (multi-line edits, lists, trees); 0: the host decides
  int buddy = 0;   // Spin: the edit it steps
  ListViewMode mode = ListViewMode::Report;
  bool expand = false;  // takes the spare room of its box

  bool Has(std::uint32_t bits) const { return (style & bits) == bits; }
};

enum class BoxKind : std::uint8_t {
  Control,    // a leaf
  Row,        // children side by side
  Column,     // children one below the other
  Group,      // a column inside a labelled frame
  ButtonRow,  // a dialog's buttons, placed the way the desktop places them
};

struct LayoutNode {
  BoxKind box = BoxKind::Column;
  std::string text;  // Group: its label
  ControlTemplate control;
  std::vector<LayoutNode> children;
  bool expand = false;

  // Chained settings; those of controls apply to control leaves.
  LayoutNode& Label(std::string label);
  LayoutNode& Width(int characters);
  LayoutNode& Lines(int lines);
  LayoutNode& Expand();
  LayoutNode& Style(std::uint32_t bits);
  LayoutNode& Number() { return Style(kStyleNumber); }
  LayoutNode& Password() { return Style(kStylePassword); }
  LayoutNode& ReadOnly() { return Style(kStyleReadOnly); }
  LayoutNode& MultiLine() { return Style(kStyleMultiLine); }
  LayoutNode& GroupStart() { return Style(kStyleGroupStart); }
  LayoutNode& DropDownList() { return Style(kStyleDropDownList); }
  LayoutNode& Sorted() { return Style(kStyleSorted); }
  LayoutNode& Hidden() { return Style(kStyleHidden); }
  LayoutNode& Disabled() { return Style(kStyleDisabled); }
  LayoutNode& Mode(ListViewMode mode);
};

// The builders of layout nodes.
namespace layout {
LayoutNode Row(std::vector<LayoutNode> children);
LayoutNode Column(std::vector<LayoutNode> children);
LayoutNode Group(std::string label, std::vector<LayoutNode> children);
LayoutNode Buttons(std::vector<LayoutNode> children);

LayoutNode Text(std::string text, int id = IDC_STATIC);
LayoutNode Picture(int id, std::string icon);
LayoutNode Edit(int id, std::string text = {});
LayoutNode Button(int id, std::string text);
LayoutNode DefaultButton(int id, std::string text);
LayoutNode Check(int id, std::string text);
LayoutNode Radio(int id, std::string text);
LayoutNode Combo(int id);
LayoutNode List(int id);
LayoutNode ListView(int id, ListViewMode mode = ListViewMode::Report);
LayoutNode Tree(int id);
LayoutNode Slider(int id);
LayoutNode Progress(int id);
LayoutNode Spin(int id, int buddy);
LayoutNode Link(int id, std::string text, std::string target = {});
LayoutNode Toolbar(int id);
LayoutNode StatusBar(int id);
LayoutNode Paint(int id);
LayoutNode Tabs(int id);
LayoutNode PageArea(int id);
}  // namespace layout

// The window around the boxes.
enum : std::uint32_t {
  kFrameCaption = 1u << 0,     // a title bar with the caption
  kFrameSystemMenu = 1u << 1,  // a close box (Escape and the close box answer Cancel)
  kFrameToolWindow = 1u << 2,  // a small title bar, no task-bar entry
  kFrameThick = 1u << 3,       // a resizing border
  kFrameVisible = 1u << 4,     // a modeless window shown as soon as it is created
  kFrameChild = 1u << 5,       // lives inside another window (property pages, views)
};
constexpr std::uint32_t kFrameDialog = kFrameCaption | kFrameSystemMenu;

struct DialogTemplate {
  int id = 0;
  std::string caption;
  std::uint32_t frame = kFrameDialog;
  LayoutNode root;
  std::string icon;  // named icon of the title bar
  int width = 0;     // pixels the window is taken to have until a host has laid it out
  int height = 0;

  // Every control leaf in template order (depth first).
  std::vector<const ControlTemplate*> Controls() const;
  // The leaf with this id (not IDC_STATIC); null when none.
  const ControlTemplate* Find(int id) const;
};

// A finished template: each control without a label gets one (the text of the label just
// before it in its box, else its group's label, else its own text, without "&" marks and
// a trailing ":"). Throws std::logic_error when two controls share an id other than
// IDC_STATIC, since controls are addressed by id.
DialogTemplate MakeTemplate(int id, std::string caption, LayoutNode root, std::uint32_t frame = kFrameDialog);

// "&Browse ...:" -> "Browse ..."; "&&" stays one "&".
std::string CleanLabel(const std::string& text);

}  // namespace platform
