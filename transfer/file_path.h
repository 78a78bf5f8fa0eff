// The parts of a Windows-form path as the transfer code names them: drive ("C:" or
// empty), directory (up to and with the last backslash), name and extension (from the
// last dot of the last component, with the dot).
#pragma once

#include <string>
#include <string_view>

namespace transfer {

struct FilePathParts {
  std::string drive;
  std::string directory;
  std::string name;
  std::string extension;

  std::string Folder() const { return drive + directory; }
  std::string FileName() const { return name + extension; }
};

inline FilePathParts SplitFilePath(std::string_view path) {
  FilePathParts p;
  if (path.size() >= 2 && path[1] == ':' &&
      ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'))) {
    p.drive = std::string(path.substr(0, 2));
    path.remove_prefix(2);
  }
  const std::size_t slash = path.find_last_of("\\/");
  std::string_view file = path;
  if (slash != std::string_view::npos) {
    p.directory = std::string(path.substr(0, slash + 1));
    file = path.substr(slash + 1);
  }
  const std::size_t dot = file.rfind('.');
  if (dot == std::string_view::npos) {
    p.name = std::string(file);
  } else {
    p.name = std::string(file.substr(0, dot));
    p.extension = std::string(file.substr(dot));
  }
  return p;
}

// Whether `path` is `folder` or lies below it, comparing whole components ("C:\music"
// is not inside "C:\mus"). Trailing separators do not count; POSIX paths pass '/'.
inline bool IsSameOrInside(std::string_view path, std::string_view folder, char separator = '\\') {
  while (!folder.empty() && folder.back() == separator) folder.remove_suffix(1);
  while (!path.empty() && path.back() == separator) path.remove_suffix(1);
  if (path.size() < folder.size() || path.compare(0, folder.size(), folder) != 0) return false;
  return path.size() == folder.size() || path[folder.size()] == separator;
}

}  // namespace transfer
