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

  // Appends the icon (with the name to draw when the theme lacks it, and an emblem drawn
  // over it); its index.
  int Add(std::string iconName, std::string fallback = {}, std::string emblem = {}) {
    icons_.push_back(std::move(iconName));
    fallbacks_.push_back(std::move(fallback));
    emblems_.push_back(std::move(emblem));
    return static_cast<int>(icons_.size()) - 1;
  }
  // False when the index is outside the list.
  bool Replace(int index, std::string iconName) {
    if (index < 0 || index >= GetImageCount()) return false;
    icons_[static_cast<std::size_t>(index)] = std::move(iconName);
    fallbacks_[static_cast<std::size_t>(index)].clear();
    emblems_[static_cast<std::size_t>(index)].clear();
    return true;
  }
  // Removes one icon (later ones move down), or all of them for -1.
  bool Remove(int index) {
    if (index == -1) {
      icons_.clear();
      fallbacks_.clear();
      emblems_.clear();
      return true;
    }
    if (index < 0 || index >= GetImageCount()) return false;
    icons_.erase(icons_.begin() + index);
    fallbacks_.erase(fallbacks_.begin() + index);
    emblems_.erase(emblems_.begin() + index);
    return true;
  }
  int GetImageCount() const { return static_cast<int>(icons_.size()); }
  // The icon's name; "" outside the list.
  const std::string& GetIcon(int index) const {
    static const std::string none;
    return index >= 0 && index < GetImageCount() ? icons_[static_cast<std::size_t>(index)] : none;
  }
  // The fallback and the emblem of an icon; "" when it has none or outside the list.
  const std::string& GetFallback(int index) const { return At(fallbacks_, index); }
  const std::string& GetEmblem(int index) const { return At(emblems_, index); }
  int Width() const { return width_; }
  int Height() const { return height_; }

 private:
  static const std::string& At(const std::vector<std::string>& v, int index) {
    static const std::string none;
    return index >= 0 && index < static_cast<int>(v.size()) ? v[static_cast<std::size_t>(index)] : none;
  }
  int width_;
  int height_;
  std::vector<std::string> icons_;
  std::vector<std::string> fallbacks_;
  std::vector<std::string> emblems_;
};

}  // namespace platform
