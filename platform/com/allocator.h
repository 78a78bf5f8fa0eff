// The shell allocator: the one memory allocator of a process through which item-id lists
// and other blocks are handed between a host and the libraries it loads.
//
// A host program and every copy of a library in its process share one allocator (the
// host's, found by the exported name below; a process without one uses its own copy), so
// a block allocated on one side can be measured and freed on the other. It knows every
// live block, so code that is handed a pointer into one (an item-id list) can learn how
// many bytes it may read from there.
//
// Tests can make allocations fail (ShellAllocatorFailures).
#pragma once

#include <cstddef>

#include "platform/com/unknown.h"

namespace platform {

class IMalloc : public IUnknown {
 public:
  static constexpr GUID kIid = {0x00000002, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

  // Null when no memory is left (or a test made it fail). Zero bytes give a block too.
  virtual void* Alloc(std::size_t size) = 0;
  // Null (the old block kept) on failure; a null block allocates, size 0 frees.
  virtual void* Realloc(void* block, std::size_t size) = 0;
  // Null is ignored; so is a pointer that is not a live block of this allocator.
  virtual void Free(void* block) = 0;
  // The block's size, or static_cast<std::size_t>(-1) when it is not a live block.
  virtual std::size_t GetSize(void* block) = 0;
  // 1 when the pointer is a live block of this allocator, 0 when not.
  virtual int DidAlloc(void* block) = 0;
  virtual void HeapMinimize() = 0;
};

inline constexpr const GUID& IID_IMalloc = IMalloc::kIid;

// The process's allocator with one reference added (Release it when done); E_POINTER for
// a null out pointer.
HRESULT SHGetMalloc(IMalloc** out);

// Bytes from `p` to the end of the live shell-allocator block that holds it; 0 when no
// live block holds it.
std::size_t ShellAllocatedBytesFrom(const void* p);

// Live blocks of the shell allocator (leak checks in tests).
std::size_t ShellAllocatorLiveBlocks();

// While it lives, the next `succeed` allocations work and the `fail` after them fail
// (fail < 0: all of them). Restores normal allocation when destroyed.
class ShellAllocatorFailures {
 public:
  ShellAllocatorFailures(long succeed, long fail);
  ~ShellAllocatorFailures();
  ShellAllocatorFailures(const ShellAllocatorFailures&) = delete;
  ShellAllocatorFailures& operator=(const ShellAllocatorFailures&) = delete;
};

}  // namespace platform

// The exported name by which libraries find the host's allocator. A program that loads
// libraries links with "-Wl,--export-dynamic-symbol=tovarin_shell_allocator".
struct TovarinShellAllocator;
extern "C" __attribute__((visibility("default"))) const TovarinShellAllocator* tovarin_shell_allocator();
