#include "shellext/clipboard_formats.h"

#include <cstring>

using namespace device;

namespace shellext {

platform::HGLOBAL MakeKernelIdListBlock(const std::vector<KernelId>& ids) {
  platform::HGLOBAL block = platform::GlobalAlloc(platform::GMEM_ZEROINIT, kKernelIdSlot * (ids.size() + 1));
  auto* bytes = static_cast<std::uint8_t*>(platform::GlobalLock(block));
  if (bytes == nullptr) {
    platform::GlobalFree(block);
    return nullptr;
  }
  const auto count = static_cast<std::uint32_t>(ids.size());
  std::memcpy(bytes, &count, sizeof count);
  for (std::size_t i = 0; i < ids.size(); ++i) {
    KernelId clean;
    clean.Assign(ids[i]);  // zero-filled behind the name
    std::memcpy(bytes + kKernelIdSlot * (i + 1), &clean, kKernelIdSlot);
  }
  platform::GlobalUnlock(block);
  return block;
}

std::optional<std::vector<KernelId>> ReadKernelIdListBlock(const std::uint8_t* bytes, std::size_t size) {
  if (bytes == nullptr || size < kKernelIdSlot) return std::nullopt;
  std::uint32_t count = 0;
  std::memcpy(&count, bytes, sizeof count);
  std::vector<KernelId> ids;
  if (count == 0 || count == 0xFFFFFFFFu) return ids;
  if (count > size / kKernelIdSlot - 1) return std::nullopt;  // more records than the block holds
  ids.reserve(count);
  for (std::uint32_t i = 1; i <= count; ++i) {
    KernelId raw;
    std::memcpy(static_cast<void*>(&raw), bytes + kKernelIdSlot * i, kKernelIdSlot);
    ids.emplace_back();
    ids.back().Assign(raw);  // a name without its NUL is cut within its field
  }
  return ids;
}

std::optional<std::vector<KernelId>> ReadKernelIdListBlock(platform::HGLOBAL block) {
  const auto* bytes = static_cast<const std::uint8_t*>(platform::GlobalLock(block));
  if (bytes == nullptr) return std::nullopt;
  std::optional<std::vector<KernelId>> ids = ReadKernelIdListBlock(bytes, platform::GlobalSize(block));
  platform::GlobalUnlock(block);
  return ids;
}

}  // namespace shellext
