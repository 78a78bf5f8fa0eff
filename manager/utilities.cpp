#include "manager/utilities.h"

#include "platform/paths/paths.h"
#include "platform/shell/shell.h"
#include "platform/window/wait.h"

namespace {

// Addresses go out as they are; paths cross to the file system's form.
std::string ShellTarget(std::string_view file) {
  if (file.find("://") != std::string_view::npos) return std::string(file);
  return platform::ToPosixPath(file);
}

bool IsExplorerWindow(platform::HWND window) {
  std::string cls = platform::GetClassName(window);
  return cls == "CabinetWClass" || cls == "ExploreWClass";
}

}  // namespace

int ShowTopmostMessageBox(platform::UINT type, std::string_view text) {
  return ShowMessageBox(text, type | platform::MB_TOPMOST);
}

bool ShellRun(std::string_view file, std::string_view parameters) {
  return platform::ShellOpen(ShellTarget(file), std::string(parameters));
}

bool ShellOpen(std::string_view file, std::string_view parameters) {
  return platform::ShellOpen(ShellTarget(file), std::string(parameters));
}

void ShellOpenFile(std::string_view file) { ShellOpen(file, ""); }

void PostToFolderViews(platform::WPARAM code) {
  platform::EnumWindows([&](platform::HWND top) {
    if (IsExplorerWindow(top)) {
      platform::EnumChildWindows(top, [&](platform::HWND child) {
        if (platform::GetClassName(child) == "Quorvane NameSpace Extension_NSClass") {
          platform::PostMessage(child, WM_VIEWCOMMAND, 0, static_cast<platform::LPARAM>(code));
        }
        return true;
      });
    }
    return true;
  });
}

void RefreshFolderViews() {
  PostToFolderViews(kViewCommandRefresh);
  platform::EnumWindows([](platform::HWND top) {
    if (IsExplorerWindow(top)) {
      platform::EnumChildWindows(top, [](platform::HWND child) {
        if (platform::GetClassName(child) == "SysTreeView32") {
          platform::PostMessage(child, platform::WM_KEYDOWN, platform::VK_F5, 0x003F0001);
          platform::PostMessage(child, platform::WM_KEYUP, platform::VK_F5, static_cast<platform::LPARAM>(0xC03F0001u));
        }
        return true;
      });
    }
    return true;
  });
}

void PumpMessages() { platform::PumpMessages(1); }

int SplitString(std::string_view text, std::string_view delimiters, std::vector<std::string>& out) {
  out.clear();
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find_first_of(delimiters, start);
    if (end == std::string_view::npos) end = text.size();
    if (end > start) out.emplace_back(text.substr(start, end - start));
    start = end + 1;
  }
  return static_cast<int>(out.size());
}
