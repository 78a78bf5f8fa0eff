#include "platform/ui/desktop.h"

#include "platform/paths/paths.h"

namespace platform {

namespace {

std::optional<std::string> ToSystemPath(const std::optional<std::string>& posix) {
  if (!posix || posix->empty()) return std::nullopt;
  return FromPosixPath(*posix);
}

std::string ToHostPath(const std::string& windowsPath) {
  return windowsPath.empty() ? std::string() : ToPosixPath(windowsPath);
}

std::optional<std::string> PickFile(HWND owner, const std::string& title, const std::string& filter,
                                    const std::string& defaultExtension, const std::string& initial, bool save) {
  FilePickerRequest r;
  r.owner = owner;
  r.title = title;
  r.initialPath = ToHostPath(initial);
  r.filters = ParseFileFilter(filter);
  r.defaultExtension = defaultExtension;
  r.save = save;
  return ToSystemPath(CurrentHost().ShowFilePicker(r));
}

}  // namespace

std::optional<std::string> PickFolder(HWND owner, const std::string& title, const std::string& initialFolder) {
  FolderPickerRequest r;
  r.owner = owner;
  r.title = title;
  r.initialPath = ToHostPath(initialFolder);
  return ToSystemPath(CurrentHost().ShowFolderPicker(r));
}

std::optional<std::string> PickOpenFile(HWND owner, const std::string& title, const std::string& filter,
                                        const std::string& defaultExtension, const std::string& initial) {
  return PickFile(owner, title, filter, defaultExtension, initial, false);
}

std::optional<std::string> PickSaveFile(HWND owner, const std::string& title, const std::string& filter,
                                        const std::string& defaultExtension, const std::string& initial) {
  return PickFile(owner, title, filter, defaultExtension, initial, true);
}

std::vector<FileFilter> ParseFileFilter(const std::string& filter) {
  std::vector<std::string> fields;
  std::size_t start = 0;
  while (start <= filter.size()) {
    std::size_t bar = filter.find('|', start);
    if (bar == std::string::npos) bar = filter.size();
    fields.push_back(filter.substr(start, bar - start));
    start = bar + 1;
  }
  std::vector<FileFilter> out;
  for (std::size_t i = 0; i + 1 < fields.size(); i += 2) {
    if (fields[i].empty()) break;  // "||" ends the list
    FileFilter f;
    f.name = fields[i];
    std::size_t p = 0;
    const std::string& patterns = fields[i + 1];
    while (p <= patterns.size()) {
      std::size_t semi = patterns.find(';', p);
      if (semi == std::string::npos) semi = patterns.size();
      if (semi > p) f.patterns.push_back(patterns.substr(p, semi - p));
      p = semi + 1;
    }
    out.push_back(std::move(f));
  }
  return out;
}

std::optional<COLORREF> PickColour(HWND owner, COLORREF initial, std::array<COLORREF, 16>& custom) {
  ColourPickerRequest r;
  r.owner = owner;
  r.initial = initial;
  r.custom = custom;
  std::optional<COLORREF> picked = CurrentHost().ShowColourPicker(r);
  custom = r.custom;
  return picked;
}

void SetClipboardText(const std::string& text) { CurrentHost().SetClipboardText(text); }

std::optional<std::string> GetClipboardText() { return CurrentHost().GetClipboardText(); }

namespace {
std::vector<std::string> ToPosixPaths(const std::vector<std::string>& files) {
  std::vector<std::string> posix;
  posix.reserve(files.size());
  for (const auto& f : files) posix.push_back(ToPosixPath(f));
  return posix;
}
}  // namespace

void SetClipboardFiles(const std::vector<std::string>& files) { CurrentHost().SetClipboardFiles(ToPosixPaths(files)); }

int DragFilesOut(const std::vector<std::string>& paths) { return CurrentHost().DragFiles(ToPosixPaths(paths)); }

std::optional<std::vector<std::string>> GetClipboardFiles() {
  auto posix = CurrentHost().GetClipboardFiles();
  if (!posix) return std::nullopt;
  std::vector<std::string> out;
  out.reserve(posix->size());
  for (const auto& f : *posix) out.push_back(FromPosixPath(f));
  return out;
}

bool ShellNotifyIcon(UINT action, const TrayIcon& icon) { return CurrentHost().NotifyIcon(action, icon); }

COLORREF GetSysColor(int index) { return CurrentHost().GetSysColor(index); }

int GetSystemMetric(int index) { return CurrentHost().GetSystemMetric(index); }

int ScaleDesignWidth(int designPixels) {
  const int average = GetSystemMetric(kMetricAverageCharWidth);
  const double scale = average > kDesignCharWidth ? static_cast<double>(average) / kDesignCharWidth : 1.0;
  return static_cast<int>(designPixels * scale + 0.5);
}

Point GetCursorPos() { return CurrentHost().GetCursorPos(); }

}  // namespace platform
