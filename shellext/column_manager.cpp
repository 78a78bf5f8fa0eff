#include "shellext/column_manager.h"

#include <algorithm>
#include <cstdio>
#include <numeric>
#include <stdexcept>
#include <string>

#include "common/identity.h"
#include "common/settings.h"
#include "platform/ui/desktop.h"
#include "platform/ui/host.h"
#include "shellext/library.h"
#include "shellext/shell_item.h"

using namespace device;

namespace shellext {

namespace {

constexpr int L = platform::LVCFMT_LEFT;
constexpr int R = platform::LVCFMT_RIGHT;

// A set whose columns are shown at their definition order unless `position` says
// otherwise, all shown and none offered.
ColumnTable Plain(const char* name, std::vector<ColumnDefinition> columns) {
  for (std::size_t i = 0; i < columns.size(); ++i) {
    if (columns[i].position < 0) columns[i].position = static_cast<int>(i);
    columns[i].visibility = 1;
  }
  return ColumnTable{name, std::move(columns), false, false};
}

// The track sets share their titles, widths and positions; each has its own default
// visibility (S shown, h hidden but offered, - neither) over its first `count` columns.
ColumnTable TrackSet(const char* name, const char* visibility, std::size_t count) {
  static const ColumnDefinition kTracks[] = {
      {"Name", 400, L, 0, 0},       {"Artist", 125, L, 1, 0},      {"Album", 125, L, 2, 0},
      {"#", 25, R, 3, 0},           {"Title", 175, L, 4, 0},       {"Type", 40, L, 6, 0},
      {"Size", 70, R, 5, 0},        {"Length", 50, R, 7, 0},       {"Bitrate", 60, R, 8, 0},
      {"Samplerate", 70, R, 9, 0},  {"Year", 40, R, 10, 0},        {"Genre", 75, L, 11, 0},
      {"Composer", 100, L, 12, 0},  {"BPM", 35, R, 13, 0},         {"Rating", 50, R, 14, 0},
      {"Play Count", 70, R, 15, 0}, {"Last Played", 125, R, 16, 0}, {"Comment", 200, L, 17, 0},
      {"Added", 125, R, 18, 0},     {"Modified", 125, R, 19, 0},   {"In Playlists", 65, R, 20, 0},
      {"id", 75, R, 21, 0},         {"File Path", 500, L, 22, 0},
  };
  std::vector<ColumnDefinition> columns(kTracks, kTracks + count);
  if (std::char_traits<char>::length(visibility) != count) throw std::logic_error(std::string("column set ") + name);
  for (std::size_t i = 0; i < count; ++i) {
    columns[i].visibility = visibility[i] == 'S' ? 1 : visibility[i] == 'h' ? 0 : -1;
  }
  return ColumnTable{name, std::move(columns), true, true};
}

const std::vector<ColumnTable>& Tables() {
  static const std::vector<ColumnTable> tables = {
      Plain("device root", {{"Name", 175, L, -1, 1}, {"Count", 60, R, -1, 1}, {"Used Space", 75, R, -1, 1},
                            {"Free Space", 75, R, -1, 1}, {"Total Space", 75, R, -1, 1}}),
      Plain("storage, short", {{"Name", 360, L, 1, 1}, {"#", 30, R, 0, 1}, {"Size", 80, R, -1, 1}}),
      Plain("storage", {{"Name", 360, L, 1, 1}, {"#", 30, R, 0, 1}, {"Size", 80, R, -1, 1}, {"Length", 60, R, -1, 1},
                        {"Bitrate", 70, R, -1, 1}}),
      Plain("tag names", {{"Full Name (based on tags)", 350, L, 1, 1}, {"#", 30, R, 0, 1}, {"Size", 80, R, -1, 1},
                          {"Length", 60, R, -1, 1}, {"Bitrate", 70, R, -1, 1},
                          {"Name as displayed on ZaRo NX", 250, L, -1, 1}}),
      Plain("FM tuner", {{"Frequency", 100, L, 1, 1}, {"#", 30, R, 0, 1}}),
      Plain("active queue", {{"Name", 360, L, 1, 1}, {"#", 40, R, 0, 1}, {"Status", 100, R, -1, 1},
                             {"Length", 60, R, -1, 1}}),
      Plain("playlist index", {{"Name", 450, L, -1, 1}, {"Count", 80, R, -1, 1}, {"Playlists", 500, L, -1, 1}}),
      Plain("lists", {{"Name", 200, L, -1, 1}, {"Contains", 60, R, -1, 1}}),
      Plain("playlist", {{"Name", 500, L, 1, 1}, {"#", 40, R, 0, 1}, {"Type", 40, L, -1, 1}, {"Size", 70, R, -1, 1},
                         {"Length", 60, R, -1, 1}, {"Bitrate", 60, R, -1, 1}, {"Genre", 100, L, -1, 1},
                         {"Year", 40, R, -1, 1}, {"Comment", 200, L, -1, 1}}),
      Plain("device information", {{"Device Property", 200, L, -1, 1}, {"Value", 250, L, -1, 1}}),
      Plain("data folder", {{"Name", 200, L, -1, 1}, {"Size", 80, R, -1, 1}, {"Type", 150, L, -1, 1},
                            {"Modified", 130, L, -1, 1}, {"Attributes", 80, L, -1, 1}}),
      Plain("notes, contacts", {{"Name", 300, L, -1, 1}, {"Contains", 150, L, -1, 1}}),
      Plain("contact", {{"Field", 150, L, -1, 1}, {"Value", 400, L, -1, 1}}),
      Plain("fallback", {{"Name", 360, L, -1, 1}}),
      TrackSet("general", "ShhhhSSSS-SS-----S--", 20),
      TrackSet("variant 4", "ShhhhSSSShSSSSSSSSSS", 20),
      TrackSet("variant 7", "ShhhhSSSShSSSSS--SSS--S", 23),
      TrackSet("model m2", "ShhhhSSSShSShhS--S----S", 23),
      TrackSet("variant 8", "ShhhhSSSShSSSSS--SSS--S", 23),
  };
  return tables;
}

// The set a folder shows: the first row of the table that matches.
std::string ChooseSet(std::uint32_t nodeType, std::uint32_t kind) {
  KernelDevice& device = Device();
  const int deviceKind = [&] {
    try {
      return device.GetDeviceIndex();
    } catch (const std::exception&) {
      return 0;
    }
  }();
  switch (nodeType) {
    case 0:
    case NT_DEVICE:
      return "device root";
    case NT_MEMSEG: {
      int op = 1;
      try {
        op = device.Op3170();
      } catch (const std::exception&) {
        op = 1;
      }
      if (op == 0) return "storage, short";
      return deviceKind == 8 ? "tag names" : "storage";
    }
    case NT_FMTUNER:
      return "FM tuner";
    case NT_CONTAINER: {
      if (kind == kKindActiveQueue) return "active queue";
      if (kind == kKindPlaylistIndex) return "playlist index";
      switch (g_ProductIdentity.variantCode) {
        case 4: return "variant 4";
        case 7: return "variant 7";
        case 8: return "variant 8";
        default: break;
      }
      try {
        if (device.GetModelCode(KernelId()) == "m2") return "model m2";
      } catch (const std::exception&) {
      }
      return "general";
    }
    case NT_LISTS:
      return "lists";
    case NT_PLAYLIST:
      return deviceKind == 8 ? "tag names" : "playlist";
    case NT_INFO:
      return "device information";
    case NT_DATAFOLDER:
      return "data folder";
    case NT_NOTEFOLDER:
    case NT_CONTACTFOLDER:
      return "notes, contacts";
    case NT_CONTACT:
      return "contact";
    default:
      return "fallback";
  }
}

void ToLittleEndian(const std::array<std::uint16_t, kMaxColumns>& values, std::uint8_t* out) {
  for (int i = 0; i < kMaxColumns; ++i) {
    out[2 * i] = static_cast<std::uint8_t>(values[static_cast<std::size_t>(i)] & 0xFF);
    out[2 * i + 1] = static_cast<std::uint8_t>(values[static_cast<std::size_t>(i)] >> 8);
  }
}

}  // namespace

const ColumnTable* FindColumnTable(const std::string& name) {
  for (const ColumnTable& t : Tables()) {
    if (name == t.name) return &t;
  }
  return nullptr;
}

ColumnManager::ColumnManager(platform::ListViewControl& list, platform::LPCITEMIDLIST folder) : list_(list) {
  std::uint32_t nodeType = 0;
  std::uint32_t kind = 0;
  if (GetLastItemId(folder) != nullptr) {
    const CPidlLast last(folder);
    nodeType = last->nodeType;
    kind = last->id.word[0];
  }
  table_ = FindColumnTable(ChooseSet(nodeType, kind));
  // "Show all columns" off: a track folder shows its names alone, and no other column
  // asks for its texts.
  std::uint32_t showAll = 1;
  ReadSettingDword("JB_ShowAllColumns", showAll);
  namesOnly_ = table_->headerDrag && showAll == 0;
  list_.SetExtendedStyle(platform::LVS_EX_HEADERDRAGDROP, table_->headerDrag ? platform::LVS_EX_HEADERDRAGDROP : 0);
  char name[64];
  std::snprintf(name, sizeof name, "Vc_%d%d", static_cast<int>(nodeType), static_cast<int>(kind));
  layoutName_ = name;
  LoadDefaults();
  LoadStored();
  BuildHeader();
}

void ColumnManager::LoadDefaults() {
  shown_.fill(0);
  width_.fill(0);
  position_.fill(0);
  for (int d = 0; d < Count(); ++d) {
    const ColumnDefinition& c = table_->columns[static_cast<std::size_t>(d)];
    shown_[static_cast<std::size_t>(d)] = (!table_->hasVisibility || c.visibility >= 1) ? 1 : 0;
    // The sets' widths were made for the desktop's font: wider letters get wider columns.
    width_[static_cast<std::size_t>(d)] = static_cast<std::uint16_t>(platform::ScaleDesignWidth(c.width));
    position_[static_cast<std::size_t>(d)] = static_cast<std::uint16_t>(c.position);
  }
}

void ColumnManager::LoadStored() {
  const char* suffixes[] = {"S", "W", "O"};
  std::array<std::uint16_t, kMaxColumns>* targets[] = {&shown_, &width_, &position_};
  for (int k = 0; k < 3; ++k) {
    std::uint8_t bytes[2 * kMaxColumns] = {};
    std::uint32_t size = sizeof bytes;
    if (ReadSettingBinary(layoutName_ + suffixes[k], bytes, size) == 0 || size == 0) continue;
    // Only the set's own definitions are read; a shorter value covers what it holds.
    const int entries = std::min<int>(Count(), static_cast<int>(size / 2));
    for (int d = 0; d < entries; ++d) {
      (*targets[k])[static_cast<std::size_t>(d)] =
          static_cast<std::uint16_t>(bytes[2 * d] | (static_cast<std::uint16_t>(bytes[2 * d + 1]) << 8));
    }
  }
  for (int d = 0; d < Count(); ++d) shown_[static_cast<std::size_t>(d)] = shown_[static_cast<std::size_t>(d)] != 0;
  shown_[0] = 1;  // the first column is never hidden
}

void ColumnManager::BuildHeader() {
  while (list_.GetColumnCount() > 0) list_.DeleteColumn(0);
  definitionOf_.clear();
  for (int d = 0; d < Count(); ++d) {
    if (!shown_[static_cast<std::size_t>(d)] || (namesOnly_ && d != 0)) continue;
    const ColumnDefinition& c = table_->columns[static_cast<std::size_t>(d)];
    list_.InsertColumn(list_.GetColumnCount(), {c.title, width_[static_cast<std::size_t>(d)], c.align});
    definitionOf_.push_back(d);
  }
  // Display order by stored position; equal or stray positions keep definition order.
  std::vector<int> order(definitionOf_.size());
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
    return position_[static_cast<std::size_t>(definitionOf_[static_cast<std::size_t>(a)])] <
           position_[static_cast<std::size_t>(definitionOf_[static_cast<std::size_t>(b)])];
  });
  list_.SetColumnOrderArray(order);
}

void ColumnManager::ReadBack() {
  for (int c = 0; c < list_.GetColumnCount() && c < static_cast<int>(definitionOf_.size()); ++c) {
    width_[static_cast<std::size_t>(definitionOf_[static_cast<std::size_t>(c)])] =
        static_cast<std::uint16_t>(std::clamp(list_.GetColumn(c).width, 0, 0xFFFF));
  }
  const std::vector<int> order = list_.GetColumnOrderArray();
  for (std::size_t slot = 0; slot < order.size(); ++slot) {
    const int c = order[slot];
    if (c >= 0 && c < static_cast<int>(definitionOf_.size())) {
      position_[static_cast<std::size_t>(definitionOf_[static_cast<std::size_t>(c)])] =
          static_cast<std::uint16_t>(slot);
    }
  }
}

void ColumnManager::SaveLayout() {
  // The names alone are not the person's layout: it stays for the other columns' return.
  if (!save_ || namesOnly_) return;
  ReadBack();
  const char* suffixes[] = {"S", "W", "O"};
  const std::array<std::uint16_t, kMaxColumns>* sources[] = {&shown_, &width_, &position_};
  for (int k = 0; k < 3; ++k) {
    std::uint8_t bytes[2 * kMaxColumns];
    ToLittleEndian(*sources[k], bytes);
    WriteSettingBinary(layoutName_ + suffixes[k], bytes, sizeof bytes);
  }
}

void ColumnManager::AppendColumnMenu(platform::Menu& menu) const {
  if (!table_->hasVisibility || namesOnly_) return;
  menu.AppendSeparator();
  for (int d = 0; d < Count(); ++d) {
    const ColumnDefinition& c = table_->columns[static_cast<std::size_t>(d)];
    if (c.visibility < 0) continue;
    platform::UINT flags = platform::MF_STRING;
    if (shown_[static_cast<std::size_t>(d)]) flags |= platform::MF_CHECKED;
    if (d == 0) flags |= platform::MF_GRAYED;
    menu.Append(flags, static_cast<platform::UINT>(kColumnCommandFirst + d), c.title);
  }
}

int ColumnManager::ToggleColumn(int d) {
  if (d < 0 || d >= Count()) return 0;
  if (d == 0) return 1;  // the name column stays
  if (namesOnly_) return shown_[static_cast<std::size_t>(d)];
  ReadBack();
  std::vector<int> shownOrder;  // definitions in the list's display order
  for (int c : list_.GetColumnOrderArray()) {
    if (c >= 0 && c < static_cast<int>(definitionOf_.size())) shownOrder.push_back(definitionOf_[static_cast<std::size_t>(c)]);
  }
  const bool show = !shown_[static_cast<std::size_t>(d)];
  shown_[static_cast<std::size_t>(d)] = show ? 1 : 0;
  shownOrder.erase(std::remove(shownOrder.begin(), shownOrder.end(), d), shownOrder.end());
  if (show) {
    const std::size_t at = std::min<std::size_t>(static_cast<std::size_t>(table_->columns[static_cast<std::size_t>(d)].position),
                                                 shownOrder.size());
    shownOrder.insert(shownOrder.begin() + static_cast<std::ptrdiff_t>(at), d);
  }
  for (std::size_t i = 0; i < shownOrder.size(); ++i) {
    position_[static_cast<std::size_t>(shownOrder[i])] = static_cast<std::uint16_t>(i);
  }
  BuildHeader();
  return show ? 1 : 0;
}

void ColumnManager::RestoreDefaults() {
  LoadDefaults();
  BuildHeader();
}

void ColumnManager::AutoSizeColumns() {
  for (int c = 0; c < list_.GetColumnCount(); ++c) list_.SetColumnWidth(c, platform::LVSCW_AUTOSIZE);
}

int ColumnManager::GetDefinitionIndex(int listColumn) const {
  if (listColumn < 0 || listColumn >= static_cast<int>(definitionOf_.size())) return 0;
  return definitionOf_[static_cast<std::size_t>(listColumn)];
}

std::string ColumnManager::GetColumnTitle(int definition) const {
  if (definition < 0 || definition >= Count()) return {};
  return table_->columns[static_cast<std::size_t>(definition)].title;
}

bool ColumnManager::IsShown(int definition) const {
  return definition >= 0 && definition < Count() && shown_[static_cast<std::size_t>(definition)] != 0;
}

}  // namespace shellext
