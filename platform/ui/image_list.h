// An image list: icons by index, each a named icon of the desktop's icon theme
// ("folder", "audio-x-generic", "media-playback-start"). Hosts turn the names into
// pictures of the list's size; a name the theme lacks is drawn from our own small images.
#pragma once

#include <string>
#include <vector>

namespace platform {

class ImageList {
 public:
  explicit ImageList(int width = 16, int height = 16) : width_(width), height_(height) {}

  // Appends the icon; its index.
  int Add(std::string iconName) {
    icons_.push_back(std::move(iconName));
    return static_cast<int>(icons_.size()) - 1;
  }
  // False when the index is outside the list.
  bool Replace(int index, std::string iconName) {
    if (index < 0 || index >= GetImageCount()) return false;
    icons_[static_cast<std::size_t>(index)] = std::move(iconName);
    return true;
  }
  // Removes one icon (later ones move down), or all of them for -1.
  bool Remove(int index) {
    if (index == -1) {
      icons_.clear();
      return true;
    }
    if (index < 0 || index >= GetImageCount()) return false;
    icons_.erase(icons_.begin() + index);
    return true;
  }
  int GetImageCount() const { return static_cast<int>(icons_.size()); }
  // The icon's name; "" outside the list.
  const std::string& GetIcon(int index) const {
    static const std::string none;
    return index >= 0 && index < GetImageCount() ? icons_[static_cast<std::size_t>(index)] : none;
  }
  int Width() const { return width_; }
  int Height() const { return height_; }

 private:
  int width_;
  int height_;
  std::vector<std::string> icons_;
};

}  // namespace platform
