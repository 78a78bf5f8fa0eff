#include "common/shell_utilities.h"

#include "platform/paths/paths.h"
#include "platform/shell/shell.h"
#include "platform/text/text.h"

namespace {

// Addresses go out as they are; paths cross to the file system's form.
std::string ShellTarget(std::string_view file) {
  if (file.find("://") != std::string_view::npos) return std::string(file);
  return platform::ToPosixPath(file);
}

bool IsExplorerWindow(platform::HWND window) {
  const std::string cls = platform::GetClassName(window);
  return cls == kExplorerClass || cls == kExploringClass;
}

// Every child of the class inside the Explorer windows.
template <class F>
void ForEachExplorerChild(std::string_view className, F f) {
  platform::EnumWindows([&](platform::HWND top) {
    if (IsExplorerWindow(top)) {
      platform::EnumChildWindows(top, [&](platform::HWND child) {
        if (platform::GetClassName(child) == className) f(child);
        return true;
      });
    }
    return true;
  });
}

void RefreshWith(platform::WPARAM code) {
  PostToFolderViews(code);
  ForEachExplorerChild(kTreePaneClass, [](platform::HWND tree) {
    platform::PostMessage(tree, platform::WM_KEYDOWN, platform::VK_F5, 0x003F0001);
    platform::PostMessage(tree, platform::WM_KEYUP, platform::VK_F5, static_cast<platform::LPARAM>(0xC03F0001u));
  });
}

}  // namespace

bool ShellRun(std::string_view file, std::string_view parameters) {
  return platform::ShellOpen(ShellTarget(file), std::string(parameters));
}

bool ShellOpen(std::string_view file, std::string_view parameters) {
  return platform::ShellOpen(ShellTarget(file), std::string(parameters));
}

void ShellOpenFile(std::string_view file) { ShellOpen(file, ""); }

void PostToFolderViews(platform::WPARAM code) {
  ForEachExplorerChild(kFolderViewClass, [code](platform::HWND view) {
    platform::PostMessage(view, WM_VIEWCOMMAND, 0, static_cast<platform::LPARAM>(code));
  });
}

void RefreshFolderViews() { RefreshWith(kViewCommandRefresh); }

void ReloadFolderViews() { RefreshWith(kViewCommandReload); }

int SplitString(std::string_view text, std::string_view delimiters, std::vector<std::string>& out) {
  out.clear();
  for (std::string_view piece : platform::SplitDroppingEmpty(text, delimiters)) out.emplace_back(piece);
  return static_cast<int>(out.size());
}
