// The store: one text file per hive, a lock file beside it, and a parsed copy per process.
//
// The lock file serves two ends: writers take flock on it for their read-modify-write,
// and its first 8 bytes (mapped shared) count the writes. A reader whose count is
// unchanged knows no writer has touched the hive and answers from its copy without a
// system call; a stat every few milliseconds catches files changed by other means.
#include "platform/settings/settings.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>
#include <memory>
#include <mutex>

#include "platform/settings/hive_text.h"

namespace platform {
namespace {

using hive::Key;

// How long a reader trusts its copy when the write count is unchanged, before it looks
// at the file again (for edits made without the store, e.g. by hand).
constexpr std::int64_t kRecheckNs = 2'000'000;

static_assert(std::atomic_ref<std::uint64_t>::is_always_lock_free,
              "the write count is shared between processes");

std::int64_t CoarseNowNs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC_COARSE, &ts);
  return static_cast<std::int64_t>(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

// What tells one version of a file from another.
struct FileId {
  bool exists = false;
  dev_t dev = 0;
  ino_t ino = 0;
  off_t size = 0;
  std::int64_t mtimeSec = 0;
  long mtimeNsec = 0;

  static FileId Of(const struct stat& st) {
    return {true, st.st_dev, st.st_ino, st.st_size, st.st_mtim.tv_sec, st.st_mtim.tv_nsec};
  }
  bool operator==(const FileId&) const = default;
};

FileId StatFile(const std::string& path) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) return {};
  return FileId::Of(st);
}

void Warn(bool* once, const std::string& text) {
  if (*once) return;
  *once = true;
  std::fprintf(stderr, "settings: %s\n", text.c_str());
}

std::string ErrnoText(int err) { return std::strerror(err); }

bool MakeFolders(const std::string& path) {
  struct stat existing {};
  if (stat(path.c_str(), &existing) == 0 && S_ISDIR(existing.st_mode)) return true;
  std::string partial;
  size_t pos = 0;
  while (pos <= path.size()) {
    size_t slash = path.find('/', pos);
    if (slash == std::string::npos) slash = path.size();
    partial = path.substr(0, slash);
    pos = slash + 1;
    if (partial.empty()) continue;
    if (mkdir(partial.c_str(), 0700) != 0 && errno != EEXIST) return false;
  }
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool WriteAll(int fd, const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return true;
}

// The outcome of one change: ok is the caller's answer, dirty says the file must be written.
struct Change {
  bool ok;
  bool dirty;
};

class HiveStore {
 public:
  HiveStore(Hive hive, const std::string& folder)
      : hive_(hive),
        folder_(folder),
        file_(folder + "/" + hive::FullName(hive) + ".txt"),
        lockFile_(folder + "/" + hive::FullName(hive) + ".lock"),
        tmpFile_(file_ + ".tmp") {}

  template <class F>
  auto Read(F&& f) {
    std::lock_guard<std::mutex> guard(mu_);
    Refresh();
    return f(static_cast<const Key&>(root_));
  }

  // Locked read-modify-write: change(root) edits the freshly loaded tree.
  template <class F>
  bool Modify(F&& change) {
    std::lock_guard<std::mutex> guard(mu_);
    if (!MakeFolders(folder_)) {
      WarnWrite("cannot create the folder " + folder_ + ": " + ErrnoText(errno));
      return false;
    }
    if (!LockForWriting()) {
      WarnWrite("cannot lock " + lockFile_ + ": " + ErrnoText(errno));
      return false;
    }
    bool result = false;
    // Under the lock the count is exact: when neither it nor the file changed, the copy in
    // hand is what the file holds, and reading it again would only cost time.
    const std::uint64_t count = LoadCount();
    const bool fresh = valid_ && count == gen_ && StatFile(file_) == fileId_;
    if (fresh || Load()) {
      gen_ = count;
      lastCheckNs_ = CoarseNowNs();
      Change c = change(root_);
      result = c.ok;
      if (c.ok && c.dirty) {
        result = Save();
        if (result) gen_ = std::atomic_ref<std::uint64_t>(*count_).fetch_add(1) + 1;
      }
    } else {
      WarnWrite("not changing " + file_ + " because it cannot be read");
    }
    flock(lockFd_, LOCK_UN);
    return result;
  }

 private:
  std::uint64_t LoadCount() const {
    return count_ ? std::atomic_ref<std::uint64_t>(*count_).load(std::memory_order_acquire) : 0;
  }

  // Brings root_ up to date with the file; mu_ held.
  void Refresh() {
    const std::int64_t now = CoarseNowNs();
    if (valid_ && count_ && LoadCount() == gen_ && now - lastCheckNs_ < kRecheckNs) return;
    if (!count_ || LockFileReplaced()) OpenLock(false);
    const std::uint64_t count = LoadCount();
    if (!valid_ || count != gen_ || StatFile(file_) != fileId_) Load();
    gen_ = count;
    lastCheckNs_ = now;
  }

  // Reads and parses the file; false (tree empty) when it exists but cannot be read.
  bool Load() {
    root_ = Key{};
    valid_ = false;
    int fd = open(file_.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
      if (errno == ENOENT) {
        fileId_ = {};
        valid_ = true;
        return true;
      }
      Warn(&warnedRead_, "cannot read " + file_ + ": " + ErrnoText(errno) + "; its settings are treated as absent");
      return false;
    }
    struct stat st {};
    std::string text;
    bool ok = fstat(fd, &st) == 0;
    int err = ok ? 0 : errno;
    if (ok && !S_ISREG(st.st_mode)) {
      ok = false;
      err = EISDIR;
    }
    if (ok) {
      text.reserve(static_cast<size_t>(st.st_size));
      char buf[65536];
      while (true) {
        ssize_t n = read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
          ok = false;
          err = errno;
          break;
        }
        if (n == 0) break;
        text.append(buf, static_cast<size_t>(n));
      }
    }
    close(fd);
    if (!ok) {
      Warn(&warnedRead_, "cannot read " + file_ + ": " +
                             (err == EISDIR ? std::string("not a regular file") : ErrnoText(err)) +
                             "; its settings are treated as absent");
      return false;
    }
    hive::ParseReport report = hive::Parse(text, hive_, &root_);
    if (report.badLines > 0)
      Warn(&warnedBad_, file_ + ": " + std::to_string(report.badLines) + " unreadable line(s), the first is line " +
                            std::to_string(report.firstBadLine) + "; passed over, and kept in the file as they are");
    fileId_ = FileId::Of(st);
    valid_ = true;
    return true;
  }

  // Writes root_ to a temporary file and renames it over the hive; mu_ and flock held.
  bool Save() {
    const std::string text =
        hive::WriteFile(root_, hive_, std::string(hive::FullName(hive_)) + " settings; rewritten whole on every change");
    int fd = open(tmpFile_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600);
    struct stat st {};
    // The settings are the person's alone, also over a file an older version left open to all.
    bool ok = fd >= 0 && fchmod(fd, 0600) == 0 && WriteAll(fd, text) && fsync(fd) == 0 && fstat(fd, &st) == 0;
    int err = errno;
    if (fd >= 0 && close(fd) != 0 && ok) {
      ok = false;
      err = errno;
    }
    if (ok && rename(tmpFile_.c_str(), file_.c_str()) != 0) {
      ok = false;
      err = errno;
    }
    if (!ok) {
      unlink(tmpFile_.c_str());
      valid_ = false;  // root_ holds the change that was not stored
      WarnWrite("cannot write " + file_ + ": " + ErrnoText(err));
      return false;
    }
    warnedWrite_ = false;
    fileId_ = FileId::Of(st);
    valid_ = true;
    return true;
  }

  void WarnWrite(const std::string& text) { Warn(&warnedWrite_, text); }

  void CloseLock() {
    if (count_) munmap(count_, sizeof(std::uint64_t));
    if (lockFd_ >= 0) close(lockFd_);
    count_ = nullptr;
    lockFd_ = -1;
  }

  // Opens and maps the lock file (creating it when asked); false when it is not there.
  bool OpenLock(bool create) {
    CloseLock();
    int fd = open(lockFile_.c_str(), O_RDWR | O_CLOEXEC | (create ? O_CREAT : 0), 0600);
    if (fd < 0) return false;
    fchmod(fd, 0600);  // one an older version made open to all; a failure changes nothing else
    struct stat st {};
    if (fstat(fd, &st) != 0 || (st.st_size < static_cast<off_t>(sizeof(std::uint64_t)) &&
                                (!create || ftruncate(fd, sizeof(std::uint64_t)) != 0))) {
      // Too short: its creator sizes it under the lock before anyone counts in it.
      int err = errno;
      close(fd);
      errno = err;
      return false;
    }
    void* map = mmap(nullptr, sizeof(std::uint64_t), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (map == MAP_FAILED) {
      int err = errno;
      close(fd);
      errno = err;
      return false;
    }
    lockFd_ = fd;
    lockDev_ = st.st_dev;
    lockIno_ = st.st_ino;
    count_ = static_cast<std::uint64_t*>(map);
    return true;
  }

  // True when the lock file on disk is no longer the one this process holds open.
  bool LockFileReplaced() const {
    struct stat st {};
    return stat(lockFile_.c_str(), &st) != 0 || st.st_dev != lockDev_ || st.st_ino != lockIno_;
  }

  bool LockForWriting() {
    for (int attempt = 0; attempt < 100; ++attempt) {
      if (lockFd_ < 0 && !OpenLock(true)) return false;
      int rc;
      do rc = flock(lockFd_, LOCK_EX);
      while (rc != 0 && errno == EINTR);
      if (rc != 0) return false;
      if (!LockFileReplaced()) return true;
      // Someone removed or replaced the lock file; a lock on the old one excludes no one.
      flock(lockFd_, LOCK_UN);
      CloseLock();
    }
    errno = EAGAIN;
    return false;
  }

  std::mutex mu_;
  const Hive hive_;
  const std::string folder_, file_, lockFile_, tmpFile_;
  Key root_;
  bool valid_ = false;  // root_ is the content of the file described by fileId_
  FileId fileId_;
  std::uint64_t gen_ = 0;  // the write count root_ corresponds to
  std::int64_t lastCheckNs_ = 0;
  int lockFd_ = -1;
  dev_t lockDev_ = 0;
  ino_t lockIno_ = 0;
  std::uint64_t* count_ = nullptr;
  bool warnedRead_ = false, warnedBad_ = false, warnedWrite_ = false;
};

HiveStore& StoreFor(Hive hive) {
  // One store per hive file, for the life of the process (tests switch $TOVARIN_HOME).
  static std::mutex mu;
  static auto* stores = new std::map<std::string, std::unique_ptr<HiveStore>>;
  std::string folder = SettingsFolder();
  std::string id = folder;
  id.push_back('\0');
  id.append(hive::FullName(hive));
  std::lock_guard<std::mutex> guard(mu);
  auto& slot = (*stores)[id];
  if (!slot) slot = std::make_unique<HiveStore>(hive, folder);
  return *slot;
}

// The parent path and the last name of a normal path.
std::pair<std::string_view, std::string_view> SplitLast(std::string_view path) {
  size_t sep = path.rfind('\\');
  if (sep == std::string_view::npos) return {std::string_view(), path};
  return {path.substr(0, sep), path.substr(sep + 1)};
}

}  // namespace

std::string SettingsFolder() {
  if (const char* home = std::getenv("TOVARIN_HOME"); home && *home) return std::string(home) + "/registry";
  std::string base;
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && xdg[0] == '/') {
    base = xdg;
  } else {
    const char* home = std::getenv("HOME");
    std::string fromPasswd;
    if (!home || !*home) {
      struct passwd pw {};
      struct passwd* found = nullptr;
      char buf[4096];
      if (getpwuid_r(getuid(), &pw, buf, sizeof buf, &found) == 0 && found && found->pw_dir)
        fromPasswd = found->pw_dir;
      else
        fromPasswd = "/tmp";
      home = fromPasswd.c_str();
    }
    base = std::string(home) + "/.config";
  }
  return base + "/tovarin/registry";
}

std::optional<SettingsKey> SettingsKey::Open(Hive hive, std::string_view path) {
  bool exists = StoreFor(hive).Read([&](const Key& root) { return hive::Find(root, path) != nullptr; });
  if (!exists) return std::nullopt;
  return SettingsKey(hive, hive::NormalPath(path));
}

SettingsKey SettingsKey::Create(Hive hive, std::string_view path) {
  std::string normal = hive::NormalPath(path);
  StoreFor(hive).Modify([&](Key& root) {
    bool created = false;
    hive::FindOrCreate(root, normal, &created);
    return Change{true, created};
  });
  return SettingsKey(hive, std::move(normal));
}

bool SettingsKey::Delete(Hive hive, std::string_view path) {
  const std::string normal = hive::NormalPath(path);
  if (normal.empty()) return false;  // the hive itself cannot be deleted
  const auto split = SplitLast(normal);
  const auto& parentPath = split.first;
  const auto& name = split.second;
  return StoreFor(hive).Modify([&](Key& root) {
    Key* parent = hive::Find(root, parentPath);
    if (!parent) return Change{false, false};
    auto it = parent->subkeys.find(name);
    if (it == parent->subkeys.end()) return Change{false, false};
    parent->subkeys.erase(it);
    return Change{true, true};
  });
}

std::optional<SettingValue> SettingsKey::Get(std::string_view name) const {
  return StoreFor(hive_).Read([&](const Key& root) -> std::optional<SettingValue> {
    const Key* key = hive::Find(root, path_);
    if (!key) return std::nullopt;
    auto it = key->values.find(name);
    if (it == key->values.end()) return std::nullopt;
    return SettingValue{it->second.type, it->second.data};
  });
}

bool SettingsKey::Set(std::string_view name, ValueType type, std::string_view bytes) {
  return StoreFor(hive_).Modify([&](Key& root) {
    Key* key = hive::Find(root, path_);
    if (!key) return Change{false, false};
    auto it = key->values.find(name);
    if (it == key->values.end()) {
      key->values.emplace(std::string(name), hive::Value{type, std::string(bytes)});
      return Change{true, true};
    }
    if (it->second.type == type && it->second.data == bytes) return Change{true, false};
    it->second.type = type;  // the name keeps the case it was created with
    it->second.data.assign(bytes);
    return Change{true, true};
  });
}

bool SettingsKey::SetDword(std::string_view name, std::uint32_t value) {
  char bytes[4];
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<char>((value >> (8 * i)) & 0xff);
  return Set(name, ValueType::Dword, std::string_view(bytes, 4));
}

bool SettingsKey::SetString(std::string_view name, std::string_view text) {
  std::string bytes(text);
  bytes.push_back('\0');
  return Set(name, ValueType::String, bytes);
}

bool SettingsKey::DeleteValue(std::string_view name) {
  return StoreFor(hive_).Modify([&](Key& root) {
    Key* key = hive::Find(root, path_);
    if (!key) return Change{false, false};
    auto it = key->values.find(name);
    if (it == key->values.end()) return Change{false, false};
    key->values.erase(it);
    return Change{true, true};
  });
}

std::vector<std::string> SettingsKey::SubKeyNames() const {
  return StoreFor(hive_).Read([&](const Key& root) {
    std::vector<std::string> names;
    if (const Key* key = hive::Find(root, path_))
      for (const auto& entry : key->subkeys) names.push_back(entry.first);
    return names;
  });
}

std::vector<std::string> SettingsKey::ValueNames() const {
  return StoreFor(hive_).Read([&](const Key& root) {
    std::vector<std::string> names;
    if (const Key* key = hive::Find(root, path_))
      for (const auto& entry : key->values) names.push_back(entry.first);
    return names;
  });
}

std::optional<std::string> hive::ExportText(Hive hive, std::string_view path) {
  const std::string normal = hive::NormalPath(path);
  return StoreFor(hive).Read([&](const Key& root) -> std::optional<std::string> {
    // The names as stored, whatever case the caller spelled them in.
    const Key* key = &root;
    std::string stored;
    for (std::string_view part : hive::SplitPath(normal)) {
      auto it = key->subkeys.find(part);
      if (it == key->subkeys.end()) return std::nullopt;
      if (!stored.empty()) stored.push_back('\\');
      stored.append(it->first);
      key = it->second.get();
    }
    std::string out = "; exported settings; the sections below name the keys in full\n";
    hive::Write(*key, hive, stored, &out);
    return out;
  });
}

}  // namespace platform
