// The library's item identifier, ShellItemData: one fixed-size record of 3308 bytes per
// object it shows (a folder of the player, a track, a data file, a row of text), and the
// item-id list routines that copy, join, measure and read lists of them.
//
// The record is a binary format that the host keeps and hands back, and every reader of
// the library must agree on it: little-endian, offsets checked below. An item counts as
// the library's own only with the record's size and the "OBXE" signature; the leading
// items of an absolute list belong to the host and are never read as records.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "device/kernel_id.h"
#include "device/records.h"
#include "platform/com/allocator.h"
#include "platform/shell/item_id_list.h"

namespace shellext {

using platform::LPCITEMIDLIST;
using platform::LPITEMIDLIST;

// Node types: folders 0x10xx, leaves and rows 0x20xx.
enum NodeType : std::uint32_t {
  NT_DEVICE = 0x1001,         // the namespace root, never an item
  NT_MEMSEG = 0x1002,         // storage medium
  NT_FMTUNER = 0x1003,        // "FM Radio Tuner"
  NT_CONTAINER = 0x1004,      // folder of tracks; kind in id word 0
  NT_LISTS = 0x1005,          // folder of lists; kind in id word 0
  NT_PLAYLIST = 0x1006,
  NT_INFO = 0x1008,           // "Device Information"
  NT_DATAFOLDER = 0x1009,
  NT_NOTEFOLDER = 0x1010,
  NT_CONTACTFOLDER = 0x1011,
  NT_FREQ = 0x2001,           // FM radio preset
  NT_TRACK = 0x2002,
  NT_DATA = 0x2003,
  NT_PLITEM = 0x2004,         // playlist entry
  NT_QITEM = 0x2005,          // active-queue entry
  NT_INFOROW = 0x2006,
  NT_MESSAGE = 0x2007,
  NT_ERROR = 0x2008,          // first line of a message block
  NT_LINK = 0x2009,
  NT_HELPLINK = 0x2010,
  NT_ACTION = 0x2011,         // action code in id word 0
  NT_INDEXTRACK = 0x2012,     // track with its playlist membership
  NT_NOTICE = 0x2013,
  NT_NOTE = 0x2014,
  NT_CONTACT = 0x2015,
  NT_NONE = 0xFFFF,           // an item without an icon
};

// Kinds of NT_CONTAINER folders (id word 0).
enum ContainerKind : std::uint32_t {
  kKindAudioTracks = 1,
  kKindSearch = 3,
  kKindActiveQueue = 4,
  kKindArtistTracks = 5,
  kKindAlbumTracks = 6,
  kKindGenreTracks = 7,
  kKindLastTransfer = 8,
  kKindPlaylistIndex = 9,
};

// Kinds of NT_LISTS folders (id word 0).
enum ListKind : std::uint32_t {
  kListPlaylists = 1,
  kListArtists = 2,
  kListAlbums = 3,
  kListGenres = 4,
  kListOneArtist = 5,
};

constexpr std::uint32_t kKindFMTuner = 99;

// Action codes of NT_ACTION rows (id word 0). The folder's own commands (searches, new
// playlists, contact synchronisation, new notes and contacts) sort ahead of the other
// rows; the fill dialog's row sorts last.
enum ActionCode : std::uint32_t {
  kActionNone = 0,
  kActionNewSimpleSearch = 2055,
  kActionNewAdvancedSearch = 2056,
  kActionNewPlaylist = 2071,
  kActionNewQuodrel = 2072,
  kActionSyncContacts = 2081,
  kActionSyncContactsChoose = 2082,
  kActionNewContact = 2083,
  kActionNewNote = 2084,
  kActionFillDialog = 2099,
  kActionOpenLocation = 3011,
  kActionSetupWizard = 4022,
};

// itemClass values.
enum ItemClass : std::int32_t {
  kClassRow = 0,      // data, notes and contacts folders, device information, every row
  kClassFolder = 1,   // navigable folders of the player and FM presets
  kClassTrack = 2,    // track-like entries
  kClassDataFile = 3,
  kClassNote = 6,     // notes and contacts
};

inline constexpr std::uint16_t kShellItemSize = 3308;
inline constexpr char kShellItemSignature[4] = {'O', 'B', 'X', 'E'};

struct ShellItemData {
  std::uint16_t cb;             // kShellItemSize
  char signature[4];            // "OBXE"
  std::uint8_t signatureEnd;    // 0
  std::uint8_t reserved;        // 0
  std::uint32_t nodeType;
  device::KernelId id;                  // for synthetic folders and rows word 0 is a kind or action code
  std::int32_t position;        // order number given by the content builder
  std::int32_t itemClass;
  device::FixedString256 displayName;   // capacity word 0 inside items
  device::FixedString256 secondText;
  device::TrackRecord track;            // track node types only
  std::int32_t value0;
  std::int32_t value1;
  std::int32_t value2;
  std::int32_t value3;          // for folders the number of entries

  std::string_view DisplayName() const { return displayName.GetText(); }
  std::string_view SecondText() const { return secondText.GetText(); }
};

static_assert(std::is_standard_layout_v<ShellItemData>);
static_assert(sizeof(ShellItemData) == kShellItemSize);
static_assert(offsetof(ShellItemData, signature) == 2);
static_assert(offsetof(ShellItemData, nodeType) == 8);
static_assert(offsetof(ShellItemData, id) == 12);
static_assert(offsetof(ShellItemData, position) == 288);
static_assert(offsetof(ShellItemData, itemClass) == 292);
static_assert(offsetof(ShellItemData, displayName) == 296);
static_assert(offsetof(ShellItemData, secondText) == 560);
static_assert(offsetof(ShellItemData, track) == 824);
static_assert(offsetof(ShellItemData, value0) == 3292);
static_assert(offsetof(ShellItemData, value3) == 3304);

// Bytes of a list of one item: the item and its terminator.
inline constexpr std::size_t kOneItemListSize = kShellItemSize + 2;

// Whether the item at `item` (with `available` bytes readable from there) is one of the
// library's: the record's size and signature. (Inline: hosts that show the items'
// texts read them too.)
inline bool IsShellItem(const void* item, std::size_t available) {
  if (item == nullptr || available < kShellItemSize) return false;
  const auto* bytes = static_cast<const std::uint8_t*>(item);
  return platform::ItemIdSize(bytes) == kShellItemSize &&
         std::memcmp(bytes + offsetof(ShellItemData, signature), kShellItemSignature, 4) == 0;
}

// Writes a text into an item's field: at most 256 bytes cut on a character boundary,
// zero-filled after, the field's two words left 0.
void SetItemText(device::FixedString256& field, std::string_view text);

// Thrown when an item-id list is null, malformed or empty where an item is needed, or its
// last item is not the library's.
class CPidlException : public std::runtime_error {
 public:
  CPidlException() : std::runtime_error("The item-id list is not one of this library's.") {}
};

// The last item of a handed-over list when it is one of the library's; null for a null,
// malformed or empty list or a foreign last item.
const ShellItemData* GetLastItemId(LPCITEMIDLIST list);

// Copies, joins, measures and frees lists through the shell allocator (held for the
// manager's life).
class PidlManager {
 public:
  PidlManager();
  ~PidlManager();
  PidlManager(const PidlManager&) = delete;
  PidlManager& operator=(const PidlManager&) = delete;

  // The items' byte counts + 2; 0 for a null or malformed list.
  std::size_t GetSize(LPCITEMIDLIST list) const;
  // A new copy; null for a null or malformed list or when the allocator fails.
  LPITEMIDLIST Copy(LPCITEMIDLIST list) const;
  // `first` without its terminator and then `second`; a copy of the one given when the
  // other is null; null when both are null or the allocator fails.
  LPITEMIDLIST Concatenate(LPCITEMIDLIST first, LPCITEMIDLIST second) const;
  void Free(LPITEMIDLIST list) const;
  void Delete(LPITEMIDLIST list) const { Free(list); }
  platform::IMalloc* Allocator() const { return malloc_; }

 private:
  platform::IMalloc* malloc_ = nullptr;
};
using CPidlMgr = PidlManager;

// The last item of a list: reads it where it lies, or from a private aligned copy when
// it lies at an address the record cannot be read at. Does not own the list.
class CPidlLast {
 public:
  // Throws CPidlException when the list has no last item of the library's.
  explicit CPidlLast(LPCITEMIDLIST list);
  CPidlLast(const CPidlLast& other);
  CPidlLast& operator=(const CPidlLast& other);

  // Holds `item` (a record of the library's); throws CPidlException for null.
  void Attach(const ShellItemData* item);

  const ShellItemData& Item() const { return *item_; }
  const ShellItemData* operator->() const { return item_; }
  std::string GetDisplayName() const { return std::string(item_->DisplayName()); }
  std::string GetSecondText() const { return std::string(item_->SecondText()); }
  device::KernelId GetId() const { return item_->id; }

 private:
  CPidlLast() = default;
  void Hold(const void* item);
  const ShellItemData* item_ = nullptr;
  std::shared_ptr<ShellItemData> copy_;
};

class CPidlList : public std::vector<CPidlLast> {
 public:
  // By word 0 of each item's id, unsigned; direction -1 puts the largest first. Stable.
  void SortById(int direction);
};

}  // namespace shellext
