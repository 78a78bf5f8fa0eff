// Test support: the desktop's XDG folders of one test under a folder of its own (the
// person's configuration and data, the system's data folders), restored when it goes.
// No desktop environment is named, so xdg-mime takes its generic road.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace platform::testing {

class XdgTestFolders {
 public:
  // $XDG_CONFIG_HOME = root/config, $XDG_DATA_HOME = root/data, $XDG_DATA_DIRS = each of
  // `systemData` below root (made), $XDG_CONFIG_DIRS = root/none.
  explicit XdgTestFolders(const std::string& root, const std::vector<std::string>& systemData = {"system"}) {
    for (const char* var : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CONFIG_DIRS", "XDG_DATA_DIRS",
                            "XDG_CURRENT_DESKTOP", "DESKTOP_SESSION"}) {
      const char* v = std::getenv(var);
      saved_.emplace_back(var, v != nullptr ? std::optional<std::string>(v) : std::nullopt);
    }
    std::filesystem::create_directories(root + "/config");
    std::filesystem::create_directories(root + "/data/applications");
    std::string dataDirs;
    for (const std::string& d : systemData) {
      std::filesystem::create_directories(root + "/" + d + "/applications");
      dataDirs += (dataDirs.empty() ? "" : ":") + root + "/" + d;
    }
    ::setenv("XDG_CONFIG_HOME", (root + "/config").c_str(), 1);
    ::setenv("XDG_DATA_HOME", (root + "/data").c_str(), 1);
    ::setenv("XDG_CONFIG_DIRS", (root + "/none").c_str(), 1);
    ::setenv("XDG_DATA_DIRS", dataDirs.c_str(), 1);
    ::unsetenv("XDG_CURRENT_DESKTOP");
    ::unsetenv("DESKTOP_SESSION");
  }
  ~XdgTestFolders() {
    for (const auto& [var, value] : saved_) {
      if (value) {
        ::setenv(var.c_str(), value->c_str(), 1);
      } else {
        ::unsetenv(var.c_str());
      }
    }
  }
  XdgTestFolders(const XdgTestFolders&) = delete;
  XdgTestFolders& operator=(const XdgTestFolders&) = delete;

 private:
  std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

// Gives a folder and everything below it the same modification time: a test's folders
// that look long settled, as a desktop's are.
inline void SetTimesBelow(const std::string& root, std::filesystem::file_time_type time) {
  std::filesystem::last_write_time(root, time);
  for (const auto& e : std::filesystem::recursive_directory_iterator(root)) {
    if (!e.is_symlink()) std::filesystem::last_write_time(e.path(), time);
  }
}

}  // namespace platform::testing
