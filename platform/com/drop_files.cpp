#include "platform/com/drop_files.h"

#include <cstring>

namespace platform {

HGLOBAL MakeDropFilesBlock(const std::vector<std::string>& paths) {
  std::size_t size = sizeof(DROPFILES) + 1;
  for (const std::string& p : paths) size += p.size() + 1;
  HGLOBAL block = GlobalAlloc(GHND, size);
  auto* bytes = static_cast<std::uint8_t*>(GlobalLock(block));
  if (bytes == nullptr) {
    GlobalFree(block);
    return nullptr;
  }
  DROPFILES header{};
  header.pFiles = sizeof(DROPFILES);
  std::memcpy(bytes, &header, sizeof header);
  std::size_t at = sizeof(DROPFILES);
  for (const std::string& p : paths) {
    std::memcpy(bytes + at, p.data(), p.size());
    at += p.size() + 1;  // the NUL is there already
  }
  GlobalUnlock(block);
  return block;
}

std::optional<std::vector<std::string>> ReadDropFiles(const std::uint8_t* bytes, std::size_t size) {
  if (bytes == nullptr || size < sizeof(DROPFILES)) return std::nullopt;
  DROPFILES header;
  std::memcpy(&header, bytes, sizeof header);
  if (header.fWide != 0 || header.pFiles < sizeof(DROPFILES) || header.pFiles >= size) return std::nullopt;
  std::vector<std::string> names;
  std::size_t at = header.pFiles;
  while (at < size && bytes[at] != 0) {
    const void* end = std::memchr(bytes + at, 0, size - at);
    if (end == nullptr) return std::nullopt;  // a name without its NUL inside the block
    const std::size_t length = static_cast<std::size_t>(static_cast<const std::uint8_t*>(end) - (bytes + at));
    names.emplace_back(reinterpret_cast<const char*>(bytes + at), length);
    at += length + 1;
  }
  return names;
}

std::optional<std::vector<std::string>> ReadDropFiles(HGLOBAL block) {
  const auto* bytes = static_cast<const std::uint8_t*>(GlobalLock(block));
  if (bytes == nullptr) return std::nullopt;
  std::optional<std::vector<std::string>> names = ReadDropFiles(bytes, GlobalSize(block));
  GlobalUnlock(block);
  return names;
}

}  // namespace platform
