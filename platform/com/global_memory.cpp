#include "platform/com/global_memory.h"

#include <cstdlib>
#include <cstring>
#include <new>

namespace platform {

// A header and the bytes in one allocation of the C heap, so that any module of the
// process can read and free a block.
struct GlobalBlock {
  static constexpr std::uint32_t kMagic = 0x474D424Bu;  // "GMBK"
  std::uint32_t magic;
  std::uint32_t locks;
  std::size_t size;
  std::max_align_t data[1];
};

namespace {

std::size_t AllocationSize(std::size_t size) { return offsetof(GlobalBlock, data) + (size == 0 ? 1 : size); }

bool Valid(HGLOBAL block) { return block != nullptr && block->magic == GlobalBlock::kMagic; }

}  // namespace

HGLOBAL GlobalAlloc(unsigned flags, std::size_t size) {
  if (size > (static_cast<std::size_t>(-1) >> 1)) return nullptr;
  void* raw = (flags & GMEM_ZEROINIT) != 0 ? std::calloc(1, AllocationSize(size)) : std::malloc(AllocationSize(size));
  if (raw == nullptr) return nullptr;
  auto* block = static_cast<GlobalBlock*>(raw);
  block->magic = GlobalBlock::kMagic;
  block->locks = 0;
  block->size = size;
  return block;
}

void* GlobalLock(HGLOBAL block) {
  if (!Valid(block)) return nullptr;
  ++block->locks;
  return block->data;
}

bool GlobalUnlock(HGLOBAL block) {
  if (!Valid(block) || block->locks == 0) return false;
  return --block->locks != 0;
}

std::size_t GlobalSize(HGLOBAL block) { return Valid(block) ? block->size : 0; }

HGLOBAL GlobalReAlloc(HGLOBAL block, std::size_t size, unsigned flags) {
  if (!Valid(block) || size > (static_cast<std::size_t>(-1) >> 1)) return nullptr;
  const std::size_t old = block->size;
  auto* grown = static_cast<GlobalBlock*>(std::realloc(block, AllocationSize(size)));
  if (grown == nullptr) return nullptr;
  if ((flags & GMEM_ZEROINIT) != 0 && size > old) {
    std::memset(reinterpret_cast<unsigned char*>(grown->data) + old, 0, size - old);
  }
  grown->size = size;
  return grown;
}

HGLOBAL GlobalFree(HGLOBAL block) {
  if (Valid(block)) {
    block->magic = 0;
    std::free(block);
  }
  return nullptr;
}

}  // namespace platform
