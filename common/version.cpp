#include "common/version.h"

#include <elf.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "platform/paths/paths.h"

// The block of the module that holds this code (version_block.cpp; hidden, so each
// program and library sees its own).
extern "C" const char tovarin_version_block[];

namespace {

constexpr std::size_t kMarkerSize = 16;
constexpr std::size_t kBlockSize = kMarkerSize + 8;
constexpr char kSectionName[] = ".tovarin_version";

// The marker is kept reversed so that this file's own code never holds it in the
// forward direction a scan looks for; only the block holds it.
std::string Marker() {
  std::string m = "1KCOLBNOISREVVOT";
  std::reverse(m.begin(), m.end());
  return m;
}

std::string FormatVersion(const unsigned char* words, bool withLetter) {
  unsigned w[4];
  for (int i = 0; i < 4; ++i) w[i] = words[2 * i] | words[2 * i + 1] << 8;
  char text[64];
  if (withLetter) {
    const char letter[2] = {static_cast<char>(w[3] + 96), 0};
    std::snprintf(text, sizeof text, "%u.%u.%u%s", w[0], w[1], w[2], w[3] ? letter : "");
  } else {
    std::snprintf(text, sizeof text, "%u.%u.%u.%u", w[0], w[1], w[2], w[3]);
  }
  return text;
}

bool ReadAt(int fd, void* to, std::size_t size, std::uint64_t at) {
  return ::pread(fd, to, size, static_cast<off_t>(at)) == static_cast<ssize_t>(size);
}

// The version block of a 64-bit ELF file, found by its section: the section headers, the
// section names and the block itself are read, nothing else. nullopt when the file is no
// such ELF file; an empty block when it is one without the section.
std::optional<std::vector<unsigned char>> ElfVersionBlock(int fd, std::uint64_t fileSize) {
  Elf64_Ehdr header{};
  if (!ReadAt(fd, &header, sizeof header, 0) || std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0 ||
      header.e_ident[EI_CLASS] != ELFCLASS64 || header.e_shentsize != sizeof(Elf64_Shdr)) {
    return std::nullopt;
  }
  std::vector<unsigned char> none;
  const std::uint64_t count = header.e_shnum;
  if (count == 0 || header.e_shstrndx >= count || header.e_shoff > fileSize ||
      count * sizeof(Elf64_Shdr) > fileSize - header.e_shoff) {
    return none;
  }
  std::vector<Elf64_Shdr> sections(count);
  if (!ReadAt(fd, sections.data(), count * sizeof(Elf64_Shdr), header.e_shoff)) return none;
  const Elf64_Shdr& names = sections[header.e_shstrndx];
  if (names.sh_offset > fileSize || names.sh_size > fileSize - names.sh_offset || names.sh_size > (1u << 20)) return none;
  std::string text(names.sh_size, '\0');
  if (!ReadAt(fd, text.data(), text.size(), names.sh_offset)) return none;
  for (const Elf64_Shdr& s : sections) {
    if (s.sh_name >= text.size() || std::strcmp(text.c_str() + s.sh_name, kSectionName) != 0) continue;
    if (s.sh_type == SHT_NOBITS || s.sh_size < kBlockSize || s.sh_offset > fileSize - kBlockSize) return none;
    std::vector<unsigned char> block(kBlockSize);
    if (!ReadAt(fd, block.data(), block.size(), s.sh_offset)) return none;
    return block;
  }
  return none;
}

// Any other file: looked through a piece at a time for the marker.
std::vector<unsigned char> ScannedVersionBlock(int fd) {
  const std::string marker = Marker();
  std::vector<unsigned char> window;
  unsigned char buffer[65536];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n <= 0) return {};
    window.insert(window.end(), buffer, buffer + n);
    const auto hit = std::search(window.begin(), window.end(), marker.begin(), marker.end());
    if (hit != window.end()) {
      const std::size_t at = static_cast<std::size_t>(hit - window.begin());
      while (window.size() < at + kBlockSize) {
        const ssize_t more = ::read(fd, buffer, sizeof buffer);
        if (more <= 0) return {};
        window.insert(window.end(), buffer, buffer + more);
      }
      return std::vector<unsigned char>(window.begin() + static_cast<std::ptrdiff_t>(at),
                                        window.begin() + static_cast<std::ptrdiff_t>(at + kBlockSize));
    }
    // Keep what could be the start of a marker cut by the piece's end.
    if (window.size() > kMarkerSize) window.erase(window.begin(), window.end() - (kMarkerSize - 1));
  }
}

}  // namespace

std::string GetFileVersionString(const std::string& windowsPath, bool withLetter) {
  platform::OpenFileError error;
  std::uint64_t size = 0;
  const int fd = platform::OpenRegularFile(platform::ToPosixPath(windowsPath), error, &size);
  if (fd < 0) return "1.0.0";
  std::optional<std::vector<unsigned char>> block = ElfVersionBlock(fd, size);
  if (!block) block = ScannedVersionBlock(fd);
  ::close(fd);
  if (block->size() != kBlockSize || std::memcmp(block->data(), Marker().data(), kMarkerSize) != 0) return "1.0.0";
  return FormatVersion(block->data() + kMarkerSize, withLetter);
}

void GetModuleVersion(std::string& out) {
  // The block of the loaded module itself: nothing is read from its file.
  out = FormatVersion(reinterpret_cast<const unsigned char*>(tovarin_version_block) + kMarkerSize, true);
}
