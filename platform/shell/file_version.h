// What the desktop knows of a program file's version. On this system the program's
// package says it: the Debian package that installed the file gives its one-line summary
// (the file's description) and its version (the product version). Asked through the
// seam of desktop_queries.h.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace platform {

struct FileVersionInfo {
  std::string description;     // "GNU core utilities"
  std::string productVersion;  // "9.1-1"
};

// The version information of a file (POSIX path; links are followed); nullopt when no
// package owns it or the package database cannot be asked.
std::optional<FileVersionInfo> GetFileVersionInfo(std::string_view posixPath);

}  // namespace platform
