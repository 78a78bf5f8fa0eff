// ColumnManager: which columns a folder view's list shows for the kind of folder, in which
// order and how wide; the person's changes are stored per kind of folder in the settings
// ("Vc_<node type><kind>" with "S", "W" and "O": shown flags, widths and display
// positions, 128 little-endian u16 each) and the optional columns are offered in a menu.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/shell/item_id_list.h"
#include "platform/ui/list_view.h"
#include "platform/ui/menu.h"

namespace shellext {

// One column of a set: its title, default width in pixels, alignment (0 left, 1 right),
// default display position and default visibility (1 shown; 0 hidden but offered in the
// menu; negative hidden and not offered).
struct ColumnDefinition {
  const char* title;
  int width;
  int align;
  int position;
  int visibility;
};

struct ColumnTable {
  const char* name;  // for messages and tests
  std::vector<ColumnDefinition> columns;
  bool hasVisibility;  // without it every column is shown and none is offered
  bool headerDrag;     // the track sets let a person move columns
};

// The column sets, by name ("device root", "storage", "tag names", "general", "variant 4",
// "variant 7", "model m2", "variant 8", "playlist", ...); null for an unknown name.
const ColumnTable* FindColumnTable(const std::string& name);

constexpr int kMaxColumns = 128;
constexpr int kColumnCommandFirst = 20000;  // 20000 + definition index toggles a column
constexpr int kColumnCommandLast = 21000;

class ColumnManager {
 public:
  // Chooses the set for the folder (its last item; node type and kind 0 when it cannot be
  // read), switches header drags on or off, loads the defaults and the stored layout and
  // builds the list's columns. With JB_ShowAllColumns 0 a track folder shows the name
  // column alone (its layout kept, not offered, not stored).
  ColumnManager(platform::ListViewControl& list, platform::LPCITEMIDLIST folder);

  // Reads the widths and positions back from the list and stores the layout, unless
  // saving was switched off.
  void SaveLayout();
  // A placeholder listing (message or error rows) never overwrites the folder's layout.
  void DisableSave() { save_ = false; }
  bool SavesLayout() const { return save_; }

  // A separator, then one item per column offered (20000 + index, checked when shown,
  // the first greyed); nothing for a set without visibilities.
  void AppendColumnMenu(platform::Menu& menu) const;
  // Shows or hides a column of the set; its new shown flag. The first column stays and
  // an index outside the set changes nothing (both answer the flag as it is, 0 outside).
  int ToggleColumn(int definition);
  // The set's defaults, then a new header.
  void RestoreDefaults();
  // Every list column as wide as its contents.
  void AutoSizeColumns();

  // The definition under a list column (0 outside the list's columns).
  int GetDefinitionIndex(int listColumn) const;
  // The title of a definition ("" outside the set).
  std::string GetColumnTitle(int definition) const;

  const ColumnTable& Table() const { return *table_; }
  const std::string& LayoutName() const { return layoutName_; }
  bool IsShown(int definition) const;

 private:
  void LoadDefaults();
  void LoadStored();
  void BuildHeader();
  void ReadBack();
  int Count() const { return static_cast<int>(table_->columns.size()); }

  platform::ListViewControl& list_;
  const ColumnTable* table_;
  std::string layoutName_;
  std::array<std::uint16_t, kMaxColumns> shown_{};
  std::array<std::uint16_t, kMaxColumns> width_{};
  std::array<std::uint16_t, kMaxColumns> position_{};
  std::vector<int> definitionOf_;  // list column -> definition
  bool save_ = true;
  bool namesOnly_ = false;  // JB_ShowAllColumns off, in a track folder
};

}  // namespace shellext
