// The library's two registered clipboard formats (their numbers are in library.h):
//
// "Quorvane Explorer Kernel ID List": the ids of dragged or copied player items, one
// record-sized slot per id after a first slot that holds only the count:
//   offset 0      u32 n, then 272 zero bytes (the first slot)
//   276 x i       KernelId i, for i = 1 .. n (16 id bytes, the NUL-terminated name in
//                 257 zero-filled bytes, 3 zero bytes)
// Size 276 x (n + 1). A count of 0 or 0xFFFFFFFF names no records.
//
// "Quorvane Explorer No Transfer to Self": offered by every data object of the library,
// never rendered; its presence marks data that comes from the player itself.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "device/kernel_id.h"
#include "platform/com/global_memory.h"

namespace shellext {

inline constexpr std::size_t kKernelIdSlot = sizeof(device::KernelId);

// A new zero-filled block of the ids; null when no memory is left.
platform::HGLOBAL MakeKernelIdListBlock(const std::vector<device::KernelId>& ids);

// The ids of a block, which may come from another program: nullopt when the block is
// shorter than its first slot or than the records its count names. Names are read
// within their fields.
std::optional<std::vector<device::KernelId>> ReadKernelIdListBlock(const std::uint8_t* bytes, std::size_t size);
std::optional<std::vector<device::KernelId>> ReadKernelIdListBlock(platform::HGLOBAL block);

}  // namespace shellext
