#include "common/version.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <vector>

#include "common/identity.h"
#include "platform/paths/paths.h"

namespace {

// The marker is kept reversed so that this file's own code never holds it in the
// forward direction a scan looks for; only the block below does.
std::string Marker() {
  std::string m = "1KCOLBNOISREVVOT";
  std::reverse(m.begin(), m.end());
  return m;
}

}  // namespace

std::string GetFileVersionString(const std::string& windowsPath, bool withLetter) {
  std::ifstream in(platform::ToPosixPath(windowsPath), std::ios::binary);
  if (!in) return "1.0.0";
  const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const std::string marker = Marker();
  const auto hit = std::search(bytes.begin(), bytes.end(), marker.begin(), marker.end());
  const std::size_t at = static_cast<std::size_t>(hit - bytes.begin()) + marker.size();
  if (hit == bytes.end() || at + 8 > bytes.size()) return "1.0.0";
  unsigned words[4];
  for (int i = 0; i < 4; ++i) {
    words[i] = static_cast<unsigned char>(bytes[at + 2 * i]) | static_cast<unsigned char>(bytes[at + 2 * i + 1]) << 8;
  }
  char text[64];
  if (withLetter) {
    const char letter[2] = {static_cast<char>(words[3] + 96), 0};
    std::snprintf(text, sizeof text, "%u.%u.%u%s", words[0], words[1], words[2], words[3] ? letter : "");
  } else {
    std::snprintf(text, sizeof text, "%u.%u.%u.%u", words[0], words[1], words[2], words[3]);
  }
  return text;
}

void GetModuleVersion(std::string& out) {
  // The module's file is read once: every folder listing compares the library's version
  // with the manager's, and a loaded module's version does not change.
  static const std::string version = GetFileVersionString(platform::FromPosixPath(ModulePath()), true);
  out = version;
}
