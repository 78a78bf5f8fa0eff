// The file-list block (clipboard format CF_HDROP) that carries file names between
// programs: a 20-byte header whose first word is the offset of the names, then each name
// and its NUL, then one more NUL. Names are bytes (UTF-8 here); this system never writes
// the wide form.
//
// A block comes from outside the process, so it is read strictly: a block that is too
// short, whose names begin outside it, that claims wide names, or whose last name does
// not end with its NUL inside the block is refused whole and never read past.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/com/data_object.h"

namespace platform {

constexpr CLIPFORMAT CF_HDROP = 15;

struct DROPFILES {
  std::uint32_t pFiles;  // offset of the first name from the block's start
  std::int32_t x;
  std::int32_t y;
  std::int32_t fNC;
  std::int32_t fWide;  // 0: names are bytes
};
static_assert(sizeof(DROPFILES) == 20);
static_assert(offsetof(DROPFILES, fWide) == 16);

// A new zero-filled block with the names in order (header 20, names, final NUL); null
// when no memory is left.
HGLOBAL MakeDropFilesBlock(const std::vector<std::string>& paths);

// The names of a block, whole (never cut at a buffer size), in order; nullopt for a
// block that is not a whole file list (see above).
std::optional<std::vector<std::string>> ReadDropFiles(const std::uint8_t* bytes, std::size_t size);
std::optional<std::vector<std::string>> ReadDropFiles(HGLOBAL block);

}  // namespace platform
