#include "shellext/item_order.h"

#include <array>
#include <cstring>

#include "device/sortable.h"

using namespace device;

namespace shellext {

namespace {

template <class T>
int Three(const T& a, const T& b) {
  return a < b ? -1 : b < a ? 1 : 0;
}

int Bytes(std::string_view a, std::string_view b) {
  const int r = a.compare(b);
  return r < 0 ? -1 : r > 0 ? 1 : 0;
}

int NoCase(std::string_view a, std::string_view b) {
  const int r = CompareStringsNoCase(a, b);
  return r < 0 ? -1 : r > 0 ? 1 : 0;
}

bool IsTrack(std::uint32_t type) { return type == NT_TRACK || type == NT_INDEXTRACK; }

// Data, notes and contacts: 0, 1, 2 (folder or file alike); -1 for every other type.
int Family(std::uint32_t type) {
  switch (type) {
    case NT_DATAFOLDER:
    case NT_DATA: return 0;
    case NT_NOTEFOLDER:
    case NT_NOTE: return 1;
    case NT_CONTACTFOLDER:
    case NT_CONTACT: return 2;
    default: return -1;
  }
}

bool IsFamilyLeaf(std::uint32_t type) { return type == NT_DATA || type == NT_NOTE || type == NT_CONTACT; }

enum Band { kLeading, kPlaced, kTracks, kNamed, kTrailing, kUnreadable };

Band BandOf(const ShellItemData* item, bool tagIndex) {
  if (item == nullptr) return kUnreadable;
  if (IsLeadingActionRow(*item)) return kLeading;
  if (IsTrailingActionRow(*item)) return kTrailing;
  if (Family(item->nodeType) >= 0) return kNamed;
  if (tagIndex && IsTrack(item->nodeType)) return kTracks;
  return kPlaced;
}

// The last word on two items of one band: id, place, type, names.
int Identity(const ShellItemData& a, const ShellItemData& b) {
  for (int w = 0; w < 4; ++w) {
    if (int r = Three(a.id.word[w], b.id.word[w])) return r;
  }
  if (int r = Three(a.position, b.position)) return r;
  if (int r = Three(a.nodeType, b.nodeType)) return r;
  if (int r = Bytes(a.DisplayName(), b.DisplayName())) return r;
  return Bytes(a.SecondText(), b.SecondText());
}

// Tracks by their records: a chosen key first (below 99), then every key in order.
// CompareTrackRecords' rule that puts one album's tracks in track-number order before the
// keys is left out: with the artist key first it is not transitive (two tracks of one
// album by different artists and a third track between their artists make a cycle). A
// folder that shows one album asks for the track number first instead.
int CompareTracks(const TrackRecord& a, const TrackRecord& b, int column) {
  std::array<int, 13> keys{};
  std::size_t n = 0;
  if (column >= 0 && column < 99) keys[n++] = column;
  for (int key = kSortArtist; key <= kSortPlayOnly; ++key) keys[n++] = key;
  return CompareTrackRecords(a, b, std::span<const int>(keys.data(), n));
}

}  // namespace

bool IsLeadingActionRow(const ShellItemData& item) {
  if (item.nodeType != NT_ACTION) return false;
  switch (item.id.word[0]) {
    case kActionNewSimpleSearch: case kActionNewAdvancedSearch: case kActionNewPlaylist: case kActionNewQuodrel:
    case kActionSyncContacts: case kActionSyncContactsChoose: case kActionNewContact: case kActionNewNote:
      return true;
    default:
      return false;
  }
}

bool IsTrailingActionRow(const ShellItemData& item) {
  return item.nodeType == NT_ACTION && item.id.word[0] == kActionFillDialog;
}

int CompareFolderItems(const ShellItemData* a, const ShellItemData* b, int column, bool tagIndex) {
  const Band ba = BandOf(a, tagIndex);
  const Band bb = BandOf(b, tagIndex);
  if (ba != bb) return ba < bb ? -1 : 1;
  if (ba == kUnreadable) return 0;
  switch (ba) {
    case kNamed:
      if (int r = Three(Family(a->nodeType), Family(b->nodeType))) return r;
      if (int r = Three(IsFamilyLeaf(a->nodeType), IsFamilyLeaf(b->nodeType))) return r;  // folders first
      if (int r = NoCase(a->DisplayName(), b->DisplayName())) return r;
      if (int r = Bytes(a->DisplayName(), b->DisplayName())) return r;
      break;
    case kTracks:
      if (int r = CompareTracks(a->track, b->track, column)) return r;
      break;
    default:
      if (int r = Three(a->position, b->position)) return r;
      break;
  }
  return Identity(*a, *b);
}

}  // namespace shellext
