#include "common/version.h"

#include <gtest/gtest.h>

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

TEST(FileVersion, OwnModuleCarriesTheProjectVersion) {
  std::string v;
  GetModuleVersion(v);
  EXPECT_EQ(v, "1.0.0");
  EXPECT_EQ(GetFileVersionString(platform::FromPosixPath(ModulePath()), false), "1.0.0.0");
}

}  // namespace
