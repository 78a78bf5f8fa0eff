#include "platform/shell/item_id_list.h"

#include <cassert>
#include <cstring>

#include "platform/com/allocator.h"
#include "platform/text/little_endian.h"

namespace platform {

std::uint16_t ItemIdSize(const void* item) { return ReadLe16(item); }

std::size_t ItemIdListSize(const void* data, std::size_t length) {
  if (data == nullptr) return 0;
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  std::size_t at = 0;
  for (;;) {
    if (length - at < 2) return 0;  // no room for the next count or the terminator
    const std::uint16_t cb = ItemIdSize(bytes + at);
    if (cb == 0) return at + 2;
    if (cb < 2 || cb > length - at) return 0;
    at += cb;
  }
}

std::size_t HandedOverLength(LPCITEMIDLIST list) { return ShellAllocatedBytesFrom(list); }

std::size_t ItemIdListSize(LPCITEMIDLIST list) { return ItemIdListSize(list, HandedOverLength(list)); }

bool ForEachItemId(const void* data, std::size_t length,
                   const std::function<bool(const std::uint8_t* item, std::size_t size)>& visit) {
  const std::size_t size = ItemIdListSize(data, length);
  if (size == 0) return false;
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  for (std::size_t at = 0; at + 2 < size;) {
    const std::uint16_t cb = ItemIdSize(bytes + at);
    assert(cb >= 2 && cb <= size - at);  // ItemIdListSize checked every count
    if (!visit(bytes + at, cb)) break;
    at += cb;
  }
  return true;
}

long ItemIdCount(const void* data, std::size_t length) {
  long count = 0;
  if (!ForEachItemId(data, length, [&](const std::uint8_t*, std::size_t) {
        ++count;
        return true;
      })) {
    return -1;
  }
  return count;
}

const SHITEMID* LastItemId(const void* data, std::size_t length) {
  const std::uint8_t* last = nullptr;
  ForEachItemId(data, length, [&](const std::uint8_t* item, std::size_t) {
    last = item;
    return true;
  });
  return reinterpret_cast<const SHITEMID*>(last);
}

namespace {

LPITEMIDLIST Allocate(std::size_t size) {
  IMalloc* malloc = nullptr;
  if (FAILED(SHGetMalloc(&malloc))) return nullptr;
  void* block = malloc->Alloc(size);
  malloc->Release();
  return static_cast<LPITEMIDLIST>(block);
}

}  // namespace

LPITEMIDLIST ItemIdListFromBytes(const void* data, std::size_t length) {
  const std::size_t size = ItemIdListSize(data, length);
  if (size == 0) return nullptr;
  LPITEMIDLIST copy = Allocate(size);
  if (copy != nullptr) std::memcpy(copy, data, size);
  return copy;
}

LPITEMIDLIST CloneItemIdList(LPCITEMIDLIST list) { return ItemIdListFromBytes(list, HandedOverLength(list)); }

LPITEMIDLIST CombineItemIdLists(LPCITEMIDLIST first, LPCITEMIDLIST second) {
  const std::size_t a = ItemIdListSize(first);
  const std::size_t b = ItemIdListSize(second);
  if (a == 0) return b == 0 ? nullptr : CloneItemIdList(second);
  if (b == 0) return CloneItemIdList(first);
  assert(a >= 2 && b >= 2);  // each holds at least its terminator
  LPITEMIDLIST joined = Allocate(a - 2 + b);
  if (joined == nullptr) return nullptr;
  auto* out = reinterpret_cast<std::uint8_t*>(joined);
  std::memcpy(out, first, a - 2);
  std::memcpy(out + a - 2, second, b);
  return joined;
}

void FreeItemIdList(LPITEMIDLIST list) {
  if (list == nullptr) return;
  IMalloc* malloc = nullptr;
  if (FAILED(SHGetMalloc(&malloc))) return;
  malloc->Free(list);
  malloc->Release();
}

bool ItemIdListsEqual(LPCITEMIDLIST a, LPCITEMIDLIST b) {
  const std::size_t sa = ItemIdListSize(a);
  return sa != 0 && sa == ItemIdListSize(b) && std::memcmp(a, b, sa) == 0;
}

}  // namespace platform
