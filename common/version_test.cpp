#include "common/version.h"

#include <gtest/gtest.h>

#include <elf.h>

#include <cstring>
#include <fstream>

#include "common/identity.h"
#include "platform/paths/paths.h"

namespace {

std::string WriteFileWithVersion(const std::string& path, unsigned a, unsigned b, unsigned c, unsigned d) {
  std::ofstream out(path, std::ios::binary);
  out << "some bytes before";
  std::string marker = "TOVVERSION";
  marker += "BLOCK1";
  out << marker;
  for (unsigned w : {a, b, c, d}) out.put(char(w & 0xFF)).put(char(w >> 8));
  out << "after";
  return platform::FromPosixPath(path);
}

TEST(FileVersion, Table) {
  const std::string dir = ::testing::TempDir();
  struct Case { unsigned w[4]; const char* withLetter; const char* full; };
  const Case cases[] = {
      {{2, 1, 3, 1}, "2.1.3a", "2.1.3.1"},
      {{2, 1, 3, 2}, "2.1.3b", "2.1.3.2"},
      {{2, 1, 3, 0}, "2.1.3", "2.1.3.0"},
      {{300, 0, 65535, 0}, "300.0.65535", "300.0.65535.0"},
  };
  for (const auto& c : cases) {
    const std::string p = WriteFileWithVersion(dir + "/versioned.bin", c.w[0], c.w[1], c.w[2], c.w[3]);
    EXPECT_EQ(GetFileVersionString(p, true), c.withLetter);
    EXPECT_EQ(GetFileVersionString(p, false), c.full);
  }
  EXPECT_EQ(GetFileVersionString(platform::FromPosixPath(dir + "/no-such-file"), true), "1.0.0");
  std::ofstream(dir + "/plain.txt") << "no block";
  EXPECT_EQ(GetFileVersionString(platform::FromPosixPath(dir + "/plain.txt"), false), "1.0.0");
}

// An ELF file's block is the one its section holds: the file is not looked through, so a
// marker elsewhere in it (a string, data) is never taken for the version.
TEST(FileVersion, AnElfFilesBlockIsTheOneOfItsSection) {
  std::string file(sizeof(Elf64_Ehdr), '\0');
  auto block = [](unsigned a, unsigned b, unsigned c, unsigned d) {
    std::string bytes = "TOVVERSION";
    bytes += "BLOCK1";
    for (unsigned w : {a, b, c, d}) bytes += {char(w & 0xFF), char(w >> 8)};
    return bytes;
  };
  file += block(9, 9, 9, 9);  // a decoy before the section
  const std::size_t sectionAt = file.size();
  file += block(2, 1, 3, 1);
  const std::string names = std::string("\0.tovarin_version\0.shstrtab\0", 29);
  const std::size_t namesAt = file.size();
  file += names;
  while (file.size() % 8 != 0) file += '\0';
  Elf64_Ehdr header{};
  std::memcpy(header.e_ident, ELFMAG, SELFMAG);
  header.e_ident[EI_CLASS] = ELFCLASS64;
  header.e_ident[EI_DATA] = ELFDATA2LSB;
  header.e_ident[EI_VERSION] = EV_CURRENT;
  header.e_type = ET_EXEC;
  header.e_machine = EM_X86_64;
  header.e_version = EV_CURRENT;
  header.e_ehsize = sizeof(Elf64_Ehdr);
  header.e_shoff = file.size();
  header.e_shentsize = sizeof(Elf64_Shdr);
  header.e_shnum = 3;
  header.e_shstrndx = 2;
  std::memcpy(file.data(), &header, sizeof header);
  Elf64_Shdr sections[3] = {};
  sections[1].sh_name = 1;
  sections[1].sh_type = SHT_PROGBITS;
  sections[1].sh_offset = sectionAt;
  sections[1].sh_size = 24;
  sections[2].sh_name = 18;
  sections[2].sh_type = SHT_STRTAB;
  sections[2].sh_offset = namesAt;
  sections[2].sh_size = names.size();
  file.append(reinterpret_cast<const char*>(sections), sizeof sections);
  const std::string path = ::testing::TempDir() + "/versioned.elf";
  std::ofstream(path, std::ios::binary) << file;
  EXPECT_EQ(GetFileVersionString(platform::FromPosixPath(path), true), "2.1.3a");

  // Without the section an ELF file has no version, whatever markers it holds.
  sections[1].sh_name = 18;  // now named ".shstrtab" too
  file.replace(header.e_shoff, sizeof sections, reinterpret_cast<const char*>(sections), sizeof sections);
  std::ofstream(path, std::ios::binary) << file;
  EXPECT_EQ(GetFileVersionString(platform::FromPosixPath(path), true), "1.0.0");
}

TEST(FileVersion, OwnModuleCarriesTheProjectVersion) {
  std::string v;
  GetModuleVersion(v);
  EXPECT_EQ(v, "1.0.0");
  EXPECT_EQ(GetFileVersionString(platform::FromPosixPath(ModulePath()), false), "1.0.0.0");
}

}  // namespace
