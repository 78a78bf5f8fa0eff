// Item-id lists: the shell's names of objects inside a namespace. A list is a sequence of
// items, each a little-endian u16 byte count (the count included) and that many bytes in
// all, ended by a u16 0. The items' content belongs to whoever made them.
//
// Lists are read within a known length only: every item must hold at least its 2-byte
// count and lie, with the terminator after the last one, inside that length; anything
// else is malformed and reads as nothing. A list handed over between a host and a
// library of one process lives in the shell allocator, which knows its length; a list
// that arrives as bytes from outside (a clipboard block, a file) comes with its length.
//
// The copying routines allocate from the shell allocator; callers free with
// FreeItemIdList (or the allocator's Free).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

namespace platform {

struct SHITEMID {
  std::uint16_t cb;       // bytes of the item, these two included
  std::uint8_t abID[1];   // cb - 2 bytes of content
};

struct ITEMIDLIST {
  SHITEMID mkid;
};

using LPITEMIDLIST = ITEMIDLIST*;
using LPCITEMIDLIST = const ITEMIDLIST*;

// The bytes of a well-formed list at `data` read within `length` bytes: the items and the
// 2-byte terminator; 0 when the list is malformed (null, too short, an item below 2
// bytes, an item or the terminator past the end).
std::size_t ItemIdListSize(const void* data, std::size_t length);
// The length within which a list handed over in this process may be read: the rest of
// the shell-allocator block that holds it; 0 when no live block holds it.
std::size_t HandedOverLength(LPCITEMIDLIST list);
// ItemIdListSize of a handed-over list.
std::size_t ItemIdListSize(LPCITEMIDLIST list);

// Calls `visit` with each item's start and byte count, in order, while it answers true.
// False, before anything is visited, when the list is malformed.
bool ForEachItemId(const void* data, std::size_t length,
                   const std::function<bool(const std::uint8_t* item, std::size_t size)>& visit);
// The number of items of a well-formed list; -1 when malformed.
long ItemIdCount(const void* data, std::size_t length);
// The last item of a well-formed list; null when malformed or empty.
const SHITEMID* LastItemId(const void* data, std::size_t length);
// The byte count of an item at an arbitrary (possibly unaligned) place.
std::uint16_t ItemIdSize(const void* item);

// A new copy of a handed-over list; null for a null or malformed list or when the
// allocator fails.
LPITEMIDLIST CloneItemIdList(LPCITEMIDLIST list);
// A new list of the bytes of a list that arrived from outside, checked within `length`;
// null when malformed or when the allocator fails.
LPITEMIDLIST ItemIdListFromBytes(const void* data, std::size_t length);
// `first` without its terminator followed by `second`, in one new block. When only one is
// given (or well-formed), a copy of that one; null when neither is, or on allocation
// failure.
LPITEMIDLIST CombineItemIdLists(LPCITEMIDLIST first, LPCITEMIDLIST second);
// Returns the list to the shell allocator; null is ignored.
void FreeItemIdList(LPITEMIDLIST list);
// Two well-formed handed-over lists with the same bytes.
bool ItemIdListsEqual(LPCITEMIDLIST a, LPCITEMIDLIST b);

}  // namespace platform
