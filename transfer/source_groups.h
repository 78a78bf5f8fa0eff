// The source groups of a transfer list: for every folder and playlist file the expansion
// took files from, the paths it found there in their order. The engine builds one player
// playlist per group after the transfer. A group's key is its folder relative to the
// transfer root (with a trailing backslash; empty for files right in the root; the
// folder's own name for a folder outside the root) or a playlist's name without extension.
//
// Paths are kept as a list, never joined with a separator: every character but NUL may
// appear in a file name here.
#pragma once

#include <algorithm>
#include <string>
#include <vector>

namespace transfer {

class SourceGroups {
 public:
  struct Group {
    std::string key;
    std::vector<std::string> paths;
  };

  // Appends the path to its group, making the group when it is new.
  void Add(const std::string& key, const std::string& path) {
    for (Group& g : groups_) {
      if (g.key == key) {
        g.paths.push_back(path);
        return;
      }
    }
    groups_.push_back({key, {path}});
  }
  // Removes the group of this key; false when there is none.
  bool Remove(const std::string& key) {
    const auto it = std::find_if(groups_.begin(), groups_.end(), [&](const Group& g) { return g.key == key; });
    if (it == groups_.end()) return false;
    groups_.erase(it);
    return true;
  }
  // The paths of a group; null when there is none.
  const std::vector<std::string>* Find(const std::string& key) const {
    for (const Group& g : groups_) {
      if (g.key == key) return &g.paths;
    }
    return nullptr;
  }

  bool empty() const { return groups_.empty(); }
  std::size_t size() const { return groups_.size(); }
  // In the order the groups were first found.
  const std::vector<Group>& groups() const { return groups_; }

 private:
  std::vector<Group> groups_;
};

}  // namespace transfer
