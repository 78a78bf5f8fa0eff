#include "web/pages/skin_files.h"

#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>
#include <unzip.h>

#include <algorithm>
#include <atomic>
#include <cstdint>

#include "common/folders.h"
#include "common/identity.h"
#include "common/settings.h"
#include "platform/paths/paths.h"
#include "platform/text/text.h"

namespace web {

namespace {

constexpr const char* kOutside = "The requested file lies outside the skin.";
constexpr std::size_t kCopyBlock = 4096;

std::string SkinExtension() {
  return g_ProductIdentity.skinExtension.empty() ? std::string(".osk") : g_ProductIdentity.skinExtension;
}

std::string CollapseBackslashes(std::string_view path) {
  std::string out;
  out.reserve(path.size());
  for (std::size_t i = 0; i < path.size(); ++i) {
    // A leading "\\" (a network path) stays.
    if (path[i] == '\\' && !out.empty() && out.back() == '\\' && i > 1) continue;
    out.push_back(path[i]);
  }
  return out;
}

bool HasControl(std::string_view text) {
  for (char c : text) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7f) return true;
  }
  return false;
}

// A relative path that stays inside the folder it is joined to.
bool IsInsidePath(std::string_view path) {
  if (HasControl(path) || path.find(':') != std::string_view::npos) return false;
  if (!path.empty() && (path.front() == '\\' || path.front() == '/')) return false;
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = path.find_first_of("\\/", start);
    if (end == std::string_view::npos) end = path.size();
    if (path.substr(start, end - start) == "..") return false;
    start = end + 1;
  }
  return true;
}

bool IsPlainName(std::string_view name) {
  return !name.empty() && name != "." && name != ".." && name.find_first_of("\\/:") == std::string_view::npos &&
         !HasControl(name);
}

bool HasSkinExtension(std::string_view name) {
  const std::string ext = SkinExtension();
  return name.size() > ext.size() && platform::EqualsNoCase(name.substr(name.size() - ext.size()), ext);
}

std::string MemberKey(std::string_view name) {
  std::string key = platform::ToLowerAscii(name);
  for (char& c : key) {
    if (c == '\\') c = '/';
  }
  return key;
}

struct Archive {
  unzFile file = nullptr;
  ~Archive() {
    if (file) unzClose(file);
  }
};

// Finds the member whose name equals `member` without regard to ASCII case ("\" taken as "/").
bool LocateMember(unzFile file, std::string_view member) {
  const std::string wanted = MemberKey(member);
  for (int r = unzGoToFirstFile(file); r == UNZ_OK; r = unzGoToNextFile(file)) {
    char name[1024];
    unz_file_info64 info;
    if (unzGetCurrentFileInfo64(file, &info, name, sizeof name, nullptr, 0, nullptr, 0) != UNZ_OK) continue;
    if (info.size_filename >= sizeof name) continue;
    if (MemberKey(name) == wanted) return true;
  }
  return false;
}

// Copies the open member into `target` through a file of its own, renamed into place
// when complete: a reader never meets a half-written cache file. Closes the member.
bool CacheMember(unzFile file, const std::string& target) {
  static std::atomic<unsigned> counter{0};
  const std::string part = target + ".part" + std::to_string(getpid()) + "-" + std::to_string(counter++);
  const std::string posixPart = platform::ToPosixPath(part);
  const int fd = open(posixPart.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) {
    unzCloseCurrentFile(file);
    return false;
  }
  bool ok = true;
  char buffer[kCopyBlock];
  for (;;) {
    const int n = unzReadCurrentFile(file, buffer, sizeof buffer);
    if (n == 0) break;
    if (n < 0) {
      ok = false;
      break;
    }
    for (int done = 0; done < n;) {
      const ssize_t w = write(fd, buffer + done, static_cast<std::size_t>(n - done));
      if (w <= 0) {
        ok = false;
        break;
      }
      done += static_cast<int>(w);
    }
    if (!ok) break;
  }
  if (close(fd) != 0) ok = false;
  if (unzCloseCurrentFile(file) != UNZ_OK) ok = false;  // a CRC error too
  if (ok && rename(posixPart.c_str(), platform::ToPosixPath(target).c_str()) != 0) ok = false;
  if (!ok) unlink(posixPart.c_str());
  return ok;
}

}  // namespace

bool GetSkinsFolder(std::string& out) {
  std::string test;
  ReadSettingString("VX_TestSkinsDir", test);
  std::string folder = test + "\\";
  if (test.empty() || !platform::QueryFile(folder).directory) {
    std::string appData;
    ReadSettingString("Gen_AppDataDir", appData);
    folder = appData + "\\skins\\";
  }
  out = CollapseBackslashes(folder);
  return platform::QueryFile(out).directory;
}

std::string GetSelectedSkin() {
  std::string skin;
  ReadSettingString("VX_Skin", skin);
  return skin.empty() ? "Default" : skin;
}

std::vector<std::string> ListSkins() {
  std::vector<std::string> skins;
  std::string folder;
  if (!GetSkinsFolder(folder)) return skins;
  for (const platform::DirectoryEntry& entry : platform::ListDirectory(folder)) {
    if (!IsPlainName(entry.name)) continue;
    const platform::FileInfo info = platform::QueryFile(folder + entry.name);
    if (info.directory || (info.exists && HasSkinExtension(entry.name))) skins.push_back(entry.name);
  }
  std::sort(skins.begin(), skins.end(), [](const std::string& a, const std::string& b) { return platform::NameLess(a, b); });
  return skins;
}

bool IsInstalledSkin(std::string_view name) {
  if (!IsPlainName(name)) return false;
  for (const std::string& skin : ListSkins()) {
    if (skin == name) return true;
  }
  return false;
}

std::string SanitizeSkinPath(std::string_view path) {
  std::string out;
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = path.find_first_of("\\/", start);
    if (end == std::string_view::npos) end = path.size();
    const std::string_view segment = path.substr(start, end - start);
    if (!segment.empty() && segment != "." && segment != "..") {
      if (!out.empty()) out += '\\';
      out += segment;
    }
    start = end + 1;
  }
  return out;
}

bool ResolveSkinFile(std::string_view relativePath, std::string& out) {
  if (!IsInsidePath(relativePath)) {
    out = kOutside;
    return false;
  }
  std::string relative(relativePath);
  for (char& c : relative) {
    if (c == '/') c = '\\';
  }

  const std::string skin = GetSelectedSkin();
  std::string folder;
  if (!GetSkinsFolder(folder)) {
    out = "Could not read installation directory from the registry.";
    return false;
  }
  if (!IsPlainName(skin)) {
    out = "The selected skin name is not valid.";
    return false;
  }

  const std::string candidate = folder + skin;
  const platform::FileInfo info = platform::QueryFile(candidate);
  if (!info.exists || info.directory) {
    out = CollapseBackslashes(candidate + "\\" + relative);
    return true;
  }

  std::string cacheFolder;
  GetWorkFolder(cacheFolder, "skin");
  const std::string cached = CollapseBackslashes(cacheFolder + skin + "\\" + relative);
  const platform::FileInfo cachedInfo = platform::QueryFile(cached);
  if (cachedInfo.exists && !cachedInfo.directory) {
    out = cached;
    return true;
  }

  Archive archive;
  archive.file = unzOpen64(platform::ToPosixPath(candidate).c_str());
  if (!archive.file) {
    out = "Could not open zipped skin.";
    return false;
  }
  if (relative.empty() || !LocateMember(archive.file, relative)) {
    out = "Could not find file in zipped skin.";
    return false;
  }
  if (unzOpenCurrentFile(archive.file) != UNZ_OK) {
    out = "Could not open file in zipped skin.";
    return false;
  }
  CreateDirectoryPath(cached.substr(0, cached.rfind('\\')));
  if (!CacheMember(archive.file, cached)) {
    out = "Could not cache file from zipped skin.";
    return false;
  }
  out = cached;
  return true;
}

bool ResolveSkinRequest(std::string_view path, std::string& out) {
  return ResolveSkinFile(SanitizeSkinPath(path), out);
}

}  // namespace web
