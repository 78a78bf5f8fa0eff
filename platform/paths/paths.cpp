#include "platform/paths/paths.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
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
    case OpenFileError::kNotPrivate: return "not a private file of this user";
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

namespace {

// Reads the open file of `size` bytes to its end into `result` and closes it; a file that
// grows past `maxBytes` while it is read is kTooLarge.
void ReadOpenFile(int fd, std::uint64_t size, std::uint64_t maxBytes, ReadFileResult& result) {
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
      result.error = OpenFileError::kTooLarge;
      break;
    }
    result.bytes.append(buffer, static_cast<std::size_t>(n));
  }
  ::close(fd);
  if (!result.ok()) result.bytes.clear();
}

}  // namespace

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
  ReadOpenFile(fd, size, maxBytes, result);
  return result;
}

namespace {

// The folder part and the name of a POSIX path ("/a/b" -> "/a", "b"; "b" -> ".", "b").
void SplitPosixPath(const std::string& path, std::string& folder, std::string& name) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) {
    folder = ".";
    name = path;
  } else {
    folder = slash == 0 ? "/" : path.substr(0, slash);
    name = path.substr(slash + 1);
  }
}

bool IsPrivate(const struct stat& st) { return st.st_uid == ::geteuid() && (st.st_mode & 077) == 0; }

// The folder, opened without following a link, when it is a private folder of this user.
int OpenPrivateFolder(const std::string& folder, std::string* problem) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  struct stat st {};
  if (fd >= 0 && ::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode) && IsPrivate(st)) return fd;
  if (fd >= 0) ::close(fd);
  if (problem != nullptr) *problem = "The folder " + folder + " is not a private folder of this user.";
  return -1;
}

// Whether another user could put something else in the folder's place: it is theirs, or
// everyone may write to it and it is not sticky (as /tmp is). Group-writable folders are
// taken: with a group per user that is how many home folders are made.
bool OthersMayChange(const struct stat& st) {
  if (st.st_uid != ::geteuid() && st.st_uid != 0) return true;
  return S_ISDIR(st.st_mode) && (st.st_mode & S_IWOTH) != 0 && (st.st_mode & S_ISVTX) == 0;
}

// The first folder above `posixPath` that another user could rename or swap, taking what
// we make in it with it: a link on the way that is theirs, or a folder (links resolved)
// that OthersMayChange. Empty when there is none, or when the folders are not there (the
// caller's mkdir then fails).
std::string FolderAboveOthersMayChange(const std::string& posixPath) {
  std::string path = posixPath, folder, name;
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  SplitPosixPath(path, folder, name);
  for (std::string at = folder;;) {
    struct stat st {};
    if (::lstat(at.c_str(), &st) == 0 && S_ISLNK(st.st_mode) && OthersMayChange(st)) return at;
    if (at == "/" || at == ".") break;
    SplitPosixPath(std::string(at), at, name);
  }
  char* resolved = ::realpath(folder.c_str(), nullptr);
  if (resolved == nullptr) return {};
  std::string at = resolved;
  std::free(resolved);
  for (;;) {
    struct stat st {};
    if (::stat(at.c_str(), &st) == 0 && OthersMayChange(st)) return at;
    if (at == "/") break;
    SplitPosixPath(std::string(at), at, name);
  }
  return {};
}

}  // namespace

bool MakePrivateFolder(const std::string& posixPath, std::string* problem) {
  if (const std::string open = FolderAboveOthersMayChange(posixPath); !open.empty()) {
    if (problem != nullptr) {
      *problem = "The folder " + posixPath + " is not a private folder of this user (another user may change the folder " +
                 open + " above it).";
    }
    return false;
  }
  if (::mkdir(posixPath.c_str(), 0700) != 0 && errno != EEXIST) {
    if (problem != nullptr) *problem = "The folder " + posixPath + " cannot be created: " + std::strerror(errno) + ".";
    return false;
  }
  struct stat st {};
  if (::lstat(posixPath.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid()) {
    if (problem != nullptr) {
      *problem = "The folder " + posixPath + " is not a private folder of this user (another user or a link may have put it there).";
    }
    return false;
  }
  if ((st.st_mode & 07777) != 0700 && ::chmod(posixPath.c_str(), 0700) != 0) {
    if (problem != nullptr) *problem = "The folder " + posixPath + " cannot be made private: " + std::strerror(errno) + ".";
    return false;
  }
  return true;
}

int CreatePrivateFile(std::string_view windowsPath, std::string* problem) {
  std::string folder, name;
  SplitPosixPath(ToPosixPath(windowsPath), folder, name);
  if (name.empty() || name == "." || name == "..") {
    if (problem != nullptr) *problem = "No file name in " + std::string(windowsPath) + ".";
    errno = EINVAL;
    return -1;
  }
  const int dir = OpenPrivateFolder(folder, problem);
  if (dir < 0) {
    errno = EACCES;
    return -1;
  }
  // Relative to the folder opened above, so nothing can swap it in between; what cannot
  // be removed (a folder of that name) the exclusive create refuses.
  ::unlinkat(dir, name.c_str(), 0);
  int fd;
  do {
    fd = ::openat(dir, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  } while (fd < 0 && errno == EINTR);
  const int saved = errno;
  ::close(dir);
  if (fd < 0) {
    if (problem != nullptr) *problem = "The file " + folder + "/" + name + " cannot be created: " + std::strerror(saved) + ".";
    errno = saved;
  }
  return fd;
}

ReadFileResult ReadPrivateFile(std::string_view windowsPath, std::uint64_t maxBytes) {
  ReadFileResult result;
  std::string folder, name;
  SplitPosixPath(ToPosixPath(windowsPath), folder, name);
  const int dir = OpenPrivateFolder(folder, nullptr);
  if (dir < 0) {
    result.error = OpenFileError::kNotPrivate;
    return result;
  }
  int fd;
  do {
    fd = ::openat(dir, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  const int saved = errno;
  ::close(dir);
  if (fd < 0) {
    result.error = saved == ENOENT ? OpenFileError::kMissing
                   : saved == ELOOP ? OpenFileError::kNotPrivate  // a link
                                    : OpenFileError::kUnreadable;
    return result;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || !IsPrivate(st) || st.st_nlink != 1) {
    ::close(fd);
    result.error = S_ISREG(st.st_mode) ? OpenFileError::kNotPrivate : OpenFileError::kNotRegular;
    return result;
  }
  if (static_cast<std::uint64_t>(st.st_size) > maxBytes) {
    ::close(fd);
    result.error = OpenFileError::kTooLarge;
    return result;
  }
  ReadOpenFile(fd, static_cast<std::uint64_t>(st.st_size), maxBytes, result);
  return result;
}

std::string GetTempPath() {
  // Per user, as the desktop's temporary folder is: $TMPDIR, else a private folder in /tmp.
  const char* tmp = std::getenv("TMPDIR");
  std::string dir;
  if (tmp != nullptr && *tmp != '\0') {
    dir = tmp;
  } else {
    dir = "/tmp/tovarin-" + std::to_string(::geteuid());
    std::string problem;
    // Refused, the work folders inside are refused in their turn; said once.
    static std::atomic<bool> told{false};
    if (!MakePrivateFolder(dir, &problem) && !told.exchange(true)) {
      std::fprintf(stderr, "tovarin: %s\n", problem.c_str());
    }
  }
  std::string out = FromPosixPath(dir);
  if (out.empty() || out.back() != '\\') out += '\\';
  return out;
}

bool ReplaceFile(const std::string& posixPath, std::string_view bytes, NewFileMode mode, std::string* problem) {
  const std::size_t slash = posixPath.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : posixPath.substr(0, slash);
  mode_t bits = mode == NewFileMode::kPrivate ? 0600 : 0644;
  struct stat old {};
  if (mode == NewFileMode::kAsBefore && ::stat(posixPath.c_str(), &old) == 0) bits = old.st_mode & 07777;
  // A short name of its own: the target's name may be as long as names can be.
  std::string temporary = (slash == std::string::npos ? std::string() : posixPath.substr(0, slash + 1)) + ".tmpXXXXXX";
  const auto fail = [&](const char* step, int error) {
    if (problem != nullptr) *problem = "The file " + posixPath + " cannot be " + step + ": " + std::strerror(error) + ".";
    return false;
  };
  const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
  if (fd < 0) return fail("written", errno);
  int error = ::fchmod(fd, bits) == 0 ? 0 : errno;
  for (std::size_t done = 0; error == 0 && done < bytes.size();) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) error = n < 0 ? errno : ENOSPC;
    else done += static_cast<std::size_t>(n);
  }
  if (error == 0 && ::fsync(fd) != 0) error = errno;
  if (::close(fd) != 0 && error == 0) error = errno;
  if (error == 0 && ::rename(temporary.c_str(), posixPath.c_str()) != 0) error = errno;
  if (error != 0) {
    ::unlink(temporary.c_str());
    return fail("written", error);
  }
  // The new name lasts once the folder is on disk too.
  const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
  return true;
}

}  // namespace platform
