#include "platform/paths/paths.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/text/text.h"

namespace platform {
namespace {

bool IsDrive(std::string_view p) {
  return p.size() >= 2 && p[1] == ':' &&
         ((p[0] >= 'A' && p[0] <= 'Z') || (p[0] >= 'a' && p[0] <= 'z'));
}

// The drive roots of $TOVARIN_DRIVES ("D=/mnt/d;E=/media/e"), "/" for a letter it does not
// set. Read again only when the variable's text changed: a path is converted several times
// for each file of a transfer, and finding the longest root asked for all 26 letters.
struct DriveRoots {
  bool set = false;
  std::string text;
  std::string roots[26];
};

const DriveRoots& Drives() {
  thread_local DriveRoots cache;
  thread_local bool filled = false;
  const char* env = std::getenv("TOVARIN_DRIVES");
  if (filled && (env != nullptr) == cache.set && (env == nullptr || cache.text == env)) return cache;
  cache = DriveRoots();
  filled = true;
  for (std::string& root : cache.roots) root = "/";
  if (env == nullptr) return cache;
  cache.set = true;
  cache.text = env;
  std::string_view all(cache.text);
  while (!all.empty()) {
    const std::size_t semi = all.find(';');
    std::string_view item = all.substr(0, semi);
    all = semi == std::string_view::npos ? std::string_view() : all.substr(semi + 1);
    item = TrimView(item);
    if (item.size() < 3 || item[1] != '=') continue;
    const char letter = ToUpperAscii(item[0]);
    // The first setting of a letter counts.
    if (letter >= 'A' && letter <= 'Z' && cache.roots[letter - 'A'] == "/") cache.roots[letter - 'A'] = item.substr(2);
  }
  return cache;
}

// Configured root of a drive letter, "/" when none is set.
const std::string& DriveRoot(char letter) {
  static const std::string none = "/";
  const char upper = ToUpperAscii(letter);
  return upper >= 'A' && upper <= 'Z' ? Drives().roots[upper - 'A'] : none;
}

std::string Slashes(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    if (c == '\\') c = '/';
  }
  return out;
}

std::string JoinRoot(std::string root, std::string_view rest) {
  while (root.size() > 1 && root.back() == '/') root.pop_back();
  std::string tail = Slashes(rest);
  std::size_t skip = 0;
  while (skip < tail.size() && tail[skip] == '/') ++skip;
  tail.erase(0, skip);
  if (tail.empty()) return root;
  return root == "/" ? "/" + tail : root + "/" + tail;
}

FileInfo Describe(const struct stat& st, bool symlink) {
  FileInfo info;
  info.exists = true;
  info.symlink = symlink;
  info.directory = S_ISDIR(st.st_mode);
  info.regular = S_ISREG(st.st_mode);
  info.readOnly = (st.st_mode & S_IWUSR) == 0;
  info.size = static_cast<std::uint64_t>(st.st_size);
  return info;
}

}  // namespace

std::string ToPosixPath(std::string_view p) {
  if (IsDrive(p)) return JoinRoot(DriveRoot(p[0]), p.substr(2));
  if (p.size() >= 2 && p[0] == '\\' && p[1] == '\\') return JoinRoot("/", p.substr(2));
  return Slashes(p);
}

std::string FromPosixPath(std::string_view p) {
  if (!p.empty() && p[0] == '/') {
    // The longest configured drive root that holds the path wins.
    std::string bestRoot;
    char bestLetter = 0;
    const DriveRoots& drives = Drives();
    for (char letter = 'A'; letter <= 'Z' && drives.set; ++letter) {
      std::string root = drives.roots[letter - 'A'];
      while (root.size() > 1 && root.back() == '/') root.pop_back();
      if (root == "/" || root.size() <= bestRoot.size()) continue;
      if (p.substr(0, root.size()) == root && (p.size() == root.size() || p[root.size()] == '/')) {
        bestRoot = root;
        bestLetter = letter;
      }
    }
    if (bestLetter != 0) {
      std::string rest(p.substr(bestRoot.size()));
      for (char& c : rest) {
        if (c == '/') c = '\\';
      }
      return std::string(1, bestLetter) + ":" + (rest.empty() ? "\\" : rest);
    }
  }
  std::string out(p);
  for (char& c : out) {
    if (c == '/') c = '\\';
  }
  return out;
}

std::string ShownPath(std::string_view windowsPath) {
  return windowsPath.empty() ? std::string() : ToPosixPath(windowsPath);
}

std::string PathFromShown(std::string_view text, std::string_view stored) {
  const std::string typed = Trim(text);
  if (typed == ShownPath(stored)) return std::string(stored);
  return !typed.empty() && typed.front() == '/' ? FromPosixPath(typed) : typed;
}

FileInfo QueryFile(std::string_view windowsPath) {
  struct stat st {};
  if (::stat(ToPosixPath(windowsPath).c_str(), &st) != 0) return {};
  return Describe(st, false);
}

FileInfo QueryEntry(std::string_view windowsPath) {
  struct stat st {};
  if (::lstat(ToPosixPath(windowsPath).c_str(), &st) != 0) return {};
  return Describe(st, S_ISLNK(st.st_mode));
}

std::vector<DirectoryEntry> ListDirectory(std::string_view windowsPath) {
  std::vector<DirectoryEntry> out;
  const std::string dir = ToPosixPath(windowsPath);
  DIR* d = ::opendir(dir.c_str());
  if (d == nullptr) return out;
  while (struct dirent* e = ::readdir(d)) {
    if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) continue;
    DirectoryEntry entry;
    entry.name = e->d_name;
    struct stat st {};
    if (::lstat((dir + "/" + entry.name).c_str(), &st) == 0) {
      entry.symlink = S_ISLNK(st.st_mode);
      entry.directory = S_ISDIR(st.st_mode);
    }
    out.push_back(std::move(entry));
  }
  ::closedir(d);
  return out;
}

bool MakeDirectory(std::string_view windowsPath) {
  return ::mkdir(ToPosixPath(windowsPath).c_str(), 0777) == 0;
}

bool RemoveDirectory(std::string_view windowsPath) {
  return ::rmdir(ToPosixPath(windowsPath).c_str()) == 0;
}

bool RemoveFile(std::string_view windowsPath) {
  return ::unlink(ToPosixPath(windowsPath).c_str()) == 0;
}

bool ClearReadOnly(std::string_view windowsPath) {
  const std::string p = ToPosixPath(windowsPath);
  struct stat st {};
  if (::lstat(p.c_str(), &st) != 0 || S_ISLNK(st.st_mode)) return false;
  return ::chmod(p.c_str(), st.st_mode | S_IWUSR | (S_ISDIR(st.st_mode) ? S_IXUSR | S_IRUSR : 0)) == 0;
}

std::string OpenFileErrorText(OpenFileError error, std::uint64_t maxBytes) {
  switch (error) {
    case OpenFileError::kNone: return "";
    case OpenFileError::kMissing: return "the file does not exist";
    case OpenFileError::kNotRegular: return "not a regular file";
    case OpenFileError::kTooLarge: {
      if (maxBytes == 0) return "the file is too large";
      const std::uint64_t mb = maxBytes >> 20;
      return mb > 0 ? "larger than " + std::to_string(mb) + " MB"
                    : "larger than " + std::to_string(maxBytes) + " bytes";
    }
    case OpenFileError::kUnreadable: return "the file cannot be read";
  }
  return "";
}

int OpenRegularFile(const std::string& posixPath, OpenFileError& error, std::uint64_t* size, int flags) {
  error = OpenFileError::kNone;
  int fd;
  do {
    fd = ::open(posixPath.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY | flags);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    error = errno == ENOENT || errno == ENOTDIR ? OpenFileError::kMissing
            : errno == ENXIO                    ? OpenFileError::kNotRegular  // a socket, a FIFO with no writer
                                                : OpenFileError::kUnreadable;
    // A folder opens read-only on Linux; other failures on one say EISDIR.
    if (errno == EISDIR) error = OpenFileError::kNotRegular;
    return -1;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    error = OpenFileError::kNotRegular;
    ::close(fd);
    return -1;
  }
  const int fileFlags = ::fcntl(fd, F_GETFL);
  if (fileFlags >= 0) ::fcntl(fd, F_SETFL, fileFlags & ~O_NONBLOCK);
  if (size != nullptr) *size = static_cast<std::uint64_t>(st.st_size);
  return fd;
}

ReadFileResult ReadRegularFile(std::string_view windowsPath, std::uint64_t maxBytes) {
  ReadFileResult result;
  std::uint64_t size = 0;
  const int fd = OpenRegularFile(ToPosixPath(windowsPath), result.error, &size);
  if (fd < 0) return result;
  if (size > maxBytes) {
    ::close(fd);
    result.error = OpenFileError::kTooLarge;
    return result;
  }
  result.bytes.reserve(static_cast<std::size_t>(size));
  char buffer[65536];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      result.error = OpenFileError::kUnreadable;
      break;
    }
    if (n == 0) break;
    if (result.bytes.size() + static_cast<std::uint64_t>(n) > maxBytes) {
      result.error = OpenFileError::kTooLarge;  // grew while it was read
      break;
    }
    result.bytes.append(buffer, static_cast<std::size_t>(n));
  }
  ::close(fd);
  if (!result.ok()) result.bytes.clear();
  return result;
}

std::string GetTempPath() {
  // Per user, as the desktop's temporary folder is: $TMPDIR, else a private folder in /tmp.
  const char* tmp = std::getenv("TMPDIR");
  std::string dir;
  if (tmp != nullptr && *tmp != '\0') {
    dir = tmp;
  } else {
    dir = "/tmp/tovarin-" + std::to_string(::getuid());
    ::mkdir(dir.c_str(), 0700);
  }
  std::string out = FromPosixPath(dir);
  if (out.empty() || out.back() != '\\') out += '\\';
  return out;
}

}  // namespace platform
