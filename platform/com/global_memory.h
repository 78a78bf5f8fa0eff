// Global memory blocks: the movable blocks that clipboard and drag-and-drop data travel
// in. A handle stays valid until GlobalFree; GlobalLock gives the bytes.
#pragma once

#include <cstddef>
#include <cstdint>

namespace platform {

struct GlobalBlock;
using HGLOBAL = GlobalBlock*;

constexpr unsigned GMEM_FIXED = 0x0000;
constexpr unsigned GMEM_MOVEABLE = 0x0002;
constexpr unsigned GMEM_ZEROINIT = 0x0040;
constexpr unsigned GHND = GMEM_MOVEABLE | GMEM_ZEROINIT;

// A block of `size` bytes (zero-filled with GMEM_ZEROINIT); null when no memory is left.
HGLOBAL GlobalAlloc(unsigned flags, std::size_t size);
// The block's bytes (lock count + 1); null for a null handle.
void* GlobalLock(HGLOBAL block);
// Lock count - 1; answers whether the block is still locked.
bool GlobalUnlock(HGLOBAL block);
// The block's size in bytes; 0 for a null handle.
std::size_t GlobalSize(HGLOBAL block);
// A new size, content kept (the new bytes zero-filled with GMEM_ZEROINIT); null (the old
// block kept) on failure.
HGLOBAL GlobalReAlloc(HGLOBAL block, std::size_t size, unsigned flags);
// Frees the block; answers null.
HGLOBAL GlobalFree(HGLOBAL block);

}  // namespace platform
