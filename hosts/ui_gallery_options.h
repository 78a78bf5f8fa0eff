// The gallery's samples of the library's options: the whole options sheet of a jukebox
// (one picture per page, the tree beside it), the sheets of the other player families,
// the "Logs and Reports" sheet and the playback page alone.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace device {
class KernelDevice;
}  // namespace device
namespace platform {
class UiWindow;
}  // namespace platform

struct OptionsGallerySample {
  std::string name;            // the picture's file name without ".png"
  std::string page;            // the page to show (its tree item), or empty for the first
  std::function<void()> show;  // shows the sheet modally
  // Whether the shown sheet is ready for its picture (a page that fills when the desktop
  // answers); none: at once.
  std::function<bool(platform::UiWindow&)> ready = nullptr;
};

std::vector<OptionsGallerySample> LibraryOptionsSamples(device::KernelDevice* device);
