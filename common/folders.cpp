#include "common/folders.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <set>

#include "common/identity.h"
#include "common/settings.h"
#include "platform/paths/paths.h"
#include "platform/text/text.h"

namespace {

// Index of the backslash that ends the root of a path, or npos when it has none:
// "C:\" -> 2, "\\srv\share\" -> the one after the share name, "\x" -> 0.
std::size_t RootEnd(std::string_view p) {
  if (p.size() >= 3 && p[1] == ':' && p[2] == '\\') return 2;
  if (p.size() >= 2 && p[0] == '\\' && p[1] == '\\') {
    const std::size_t server = p.find('\\', 2);
    if (server == std::string_view::npos) return std::string_view::npos;
    return p.find('\\', server + 1);
  }
  if (!p.empty() && p[0] == '\\') return 0;
  return std::string_view::npos;
}

// Runs of backslashes become one; a leading "\\" of a network path stays.
std::string CollapseBackslashes(std::string_view p) {
  const std::size_t keep = (p.size() >= 2 && p[0] == '\\' && p[1] == '\\') ? 2 : 0;
  std::string r(p.substr(0, keep));
  for (std::size_t i = keep; i < p.size(); ++i) {
    if (p[i] == '\\' && r.size() > keep && r.back() == '\\') continue;
    r += p[i];
  }
  return r;
}

bool DeleteTree(const std::string& path) {
  platform::ClearReadOnly(path);  // so its entries can be listed and removed
  for (const auto& entry : platform::ListDirectory(path)) {
    const std::string full = path + "\\" + entry.name;
    if (entry.directory && !entry.symlink) {
      DeleteTree(full);
    } else {
      platform::RemoveFile(full);
    }
  }
  return platform::RemoveDirectory(path);
}

// A work folder that is not private is refused: said once per folder and process, on the
// diagnostics stream (the callers say what they could then not do).
void TellRefused(const std::string& problem) {
  static std::mutex mutex;
  static std::set<std::string> told;
  std::lock_guard<std::mutex> lock(mutex);
  if (told.insert(problem).second) std::fprintf(stderr, "tovarin: %s\n", problem.c_str());
}

}  // namespace

std::string DefaultWorkFolder() { return platform::GetTempPath() + "$" + g_ProductIdentity.productName + "$\\"; }

bool GetPrivateWorkFolder(std::string& out, std::string_view subFolder, std::string* refusal) {
  std::string temp;
  ReadSettingString("Gen_TempPath", temp);
  std::string base;
  const platform::FileInfo info = temp.empty() ? platform::FileInfo{} : platform::QueryFile(temp);
  if (!temp.empty() && !(info.exists && !info.directory)) {
    base = temp + "\\";
  } else {
    base = DefaultWorkFolder();
  }
  base = CollapseBackslashes(base);
  std::string full = base;
  if (!subFolder.empty()) {
    full += subFolder;
    full += "\\";
  }
  out = CollapseBackslashes(full);
  // The folders above the work folder are the person's (a missing Gen_TempPath is made);
  // the work folder and every folder below it are private.
  std::string bare;
  StripTrailingBackslash(bare, base);
  if (const std::size_t last = bare.find_last_of('\\'); last != std::string::npos && last > 0) {
    CreateDirectoryPath(std::string_view(bare).substr(0, last));
  }
  std::string folder;
  std::string problem;
  for (std::size_t at = 0; at < out.size(); ++at) {
    if (out[at] != '\\' || at + 1 < base.size()) continue;
    folder.assign(out, 0, at);
    if (!platform::MakePrivateFolder(platform::ToPosixPath(folder), &problem)) {
      TellRefused(problem);
      if (refusal != nullptr) *refusal = problem;
      return false;  // nothing below it is made; files there cannot be created (CreatePrivateFile)
    }
  }
  return true;
}

std::string& GetWorkFolder(std::string& out, std::string_view subFolder) {
  GetPrivateWorkFolder(out, subFolder);
  return out;
}

std::string& EmptyWorkFolder(std::string& out, std::string_view subFolder) {
  // Only a folder of this user's own is emptied: in another's, a folder could turn into a
  // link to the person's files between the look and the delete.
  if (!GetPrivateWorkFolder(out, subFolder)) return out;
  std::string bare;
  DeleteFolderTree(StripTrailingBackslash(bare, out));
  GetPrivateWorkFolder(out, subFolder);
  return out;
}

std::string ResetWorkFolder(std::string_view subFolder) {
  std::string out;
  return EmptyWorkFolder(out, subFolder);
}

void CreateDirectoryPath(std::string_view path) {
  if (path.empty()) return;
  std::string p;
  NormalisePath(p, path);
  const std::size_t last = p.find_last_of('\\');
  const std::size_t root = RootEnd(p);
  if (last != std::string::npos && last > 0 && (root == std::string::npos || last > root)) {
    CreateDirectoryPath(std::string_view(p).substr(0, last));
  }
  platform::MakeDirectory(p);
}

bool DeleteFolderTree(std::string_view path) {
  const std::string p(path);
  const platform::FileInfo entry = platform::QueryEntry(p);
  if (!entry.exists) return false;
  if (entry.symlink) return platform::RemoveFile(p);  // the link goes, its target stays
  return DeleteTree(p);
}

std::string& NormalisePath(std::string& out, std::string_view path) {
  std::string s;
  s.reserve(path.size());
  for (char c : path) {
    if (c == '/') c = '\\';
    if (c == '?' || c == '<' || c == '>' || c == '*' || c == '|' || c == '"') continue;
    s += c;
  }
  const bool unc = s.size() >= 2 && s[0] == '\\' && s[1] == '\\';
  const std::size_t keep = unc ? 2 : 0;  // the network prefix survives the collapse
  std::string r = s.substr(0, keep);
  for (std::size_t i = keep; i < s.size(); ++i) {
    const char c = s[i];
    if (c == '\\' && !r.empty() && r.back() == '\\' && r.size() > keep) continue;
    if (c == '\\' && unc && r.size() == keep) continue;  // "\\\\x" keeps only its two
    if (c == ':' && (unc || i >= 2)) continue;
    r += c;
  }
  out = std::move(r);
  return out;
}

std::string& StripSlashes(std::string& out, std::string_view text) {
  std::string r;
  for (char c : text) {
    if (c != '/' && c != '\\') r += c;
  }
  out = std::move(r);
  return out;
}

std::string& StripTrailingBackslash(std::string& out, std::string_view path) {
  if (!path.empty() && path.back() == '\\') path.remove_suffix(1);
  out.assign(path);
  return out;
}

std::optional<std::string> ReadFileBytes(std::string_view path) {
  const int fd = ::open(platform::ToPosixPath(path).c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  std::string bytes;
  char buffer[65536];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      ::close(fd);
      return std::nullopt;
    }
    if (n == 0) break;
    bytes.append(buffer, static_cast<std::size_t>(n));
  }
  ::close(fd);
  return bytes;
}

bool ReplaceFileBytes(std::string_view path, std::string_view bytes) {
  return platform::ReplaceFile(platform::ToPosixPath(path), bytes, platform::NewFileMode::kShared);
}

std::string SafeFileNamePart(std::string_view name, std::size_t maxBytes) {
  std::string safe;
  bool leading = true;
  for (char c : name) {
    const auto u = static_cast<unsigned char>(c);
    const bool unsafe = u < 0x20 || u == 0x7F || std::string_view("/\\:?<>*|\"").find(c) != std::string_view::npos;
    safe += unsafe || (leading && c == '.') ? '_' : c;
    leading = leading && c == '.';
  }
  if (safe.empty()) safe.push_back('_');
  if (safe.size() <= maxBytes) return safe;
  // Too long: the extension stays (it says what the file is), the stem is cut.
  const std::size_t dot = safe.rfind('.');
  std::string extension;
  if (dot != std::string::npos && dot > 0 && safe.size() - dot <= 16 && safe.size() - dot < maxBytes) {
    extension = safe.substr(dot);
  }
  const std::string_view stem = std::string_view(safe).substr(0, safe.size() - extension.size());
  std::string cut(stem.substr(0, platform::Utf8PrefixLength(stem, maxBytes - extension.size())));
  cut.append(extension);
  return cut;
}
