// The simulated player's store: loading, checking and writing the folder.
#include "platform/vendorsdk/simplayer.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>
#include <utility>

#include "platform/kernel/invariant.h"
#include "platform/paths/paths.h"
#include "platform/vendorsdk/file_copy.h"
#include "platform/vendorsdk/store_records.h"
#include "platform/text/text.h"

namespace platform {
namespace fs = std::filesystem;
using simstore::ItemText;
using simstore::PlaylistText;
using simstore::PropertiesText;

namespace {

// ---- small file helpers ----------------------------------------------------------------

bool ReadWholeFile(const std::string& path, std::string* out) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  out->clear();
  char buf[16384];
  for (;;) {
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) { ::close(fd); return false; }
    if (n == 0) break;
    out->append(buf, std::size_t(n));
  }
  ::close(fd);
  return true;
}

// Writes a new file beside the old one and renames it over the old one.
bool WriteFileAtomic(const std::string& path, std::string_view content) {
  const std::string tmp = path + ".tmp";
  if (!WriteWholeFile(tmp, content) || ::rename(tmp.c_str(), path.c_str()) != 0) {
    ::unlink(tmp.c_str());
    return false;
  }
  return true;
}

// A file without a name in `folder`, open for reading and writing: it gets its name once it
// is whole (NameFile), and a program that ends before leaves nothing behind. -1 with errno
// set where the file system has no such files.
int OpenNameless(const std::string& folder) {
  return ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0644);
}

// The errors of a file system (or kernel) without nameless files.
bool NoNamelessFiles(int error) { return error == EOPNOTSUPP || error == EISDIR || error == EINVAL; }

// Gives the nameless file `fd` the name `path` (which should not exist). Where the link is
// refused (the name exists, no /proc), its bytes go into a new file beside that is renamed
// over `path`, as WriteFileAtomic does.
bool NameFile(int fd, const std::string& path) {
  const std::string self = "/proc/self/fd/" + std::to_string(fd);
  if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW) == 0) return true;
  const std::string tmp = path + ".tmp";
  const int out = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (out < 0) return false;
  int error = ::lseek(fd, 0, SEEK_SET) == 0 ? CopyFileData(fd, out, [](std::uint64_t) { return true; }) : errno;
  if (::close(out) != 0 && error == 0) error = errno;
  if (error != 0 || ::rename(tmp.c_str(), path.c_str()) != 0) {
    ::unlink(tmp.c_str());
    return false;
  }
  return true;
}

// Id from a file name "<id>.txt"; 0 when it is not one.
std::uint32_t IdOfFileName(const std::string& name) {
  if (name.size() < 5 || name.compare(name.size() - 4, 4, ".txt") != 0) return 0;
  std::uint32_t id = 0;
  if (!simstore::ReadNumber(std::string_view(name).substr(0, name.size() - 4), &id)) return 0;
  return id == kSdkAllTracksId ? 0 : id;
}

// Calls use(id, fileName, text, readError) for each record file "<id>.txt" of `folder`;
// readError is the errno of a file that could not be read (0: text holds it). A leftover
// of an unfinished write is removed (unless `readOnly`); other files are passed over.
template <typename Use>
void ForEachRecordFile(const std::string& folder, bool readOnly, Use use) {
  std::error_code ec;
  for (const auto& de : fs::directory_iterator(folder, ec)) {
    const std::string name = de.path().filename().string();
    const std::uint32_t id = IdOfFileName(name);
    if (id <= kSdkPlaylistRootId) {
      if (!readOnly && name.size() > 4 && name.compare(name.size() - 4, 4, ".tmp") == 0) {
        fs::remove(de.path(), ec);  // an unfinished write
      }
      continue;
    }
    std::string body;
    const int error = ReadWholeFile(de.path().string(), &body) ? 0 : errno;
    use(id, name, body, error);
  }
}

// The id a content file name starts with ("104.mp3", "104.part"); 0 when it has none.
std::uint32_t IdOfContentName(std::string_view name) {
  const std::size_t dot = name.find('.');
  std::uint32_t id = 0;
  if (dot == std::string_view::npos || !simstore::ReadNumber(name.substr(0, dot), &id)) return 0;
  return id;
}

std::size_t Utf16Length(std::string_view s) { return Utf8ToSdkString(s).size(); }

// Tag texts longer than the SDK keeps are cut on a character boundary.
std::string ClipText(std::string_view s) {
  SdkString w = Utf8ToSdkString(s);
  if (w.size() <= kSdkMaxNameLength) return std::string(s);
  std::size_t n = kSdkMaxNameLength;
  if (w[n - 1] >= 0xD800 && w[n - 1] <= 0xDBFF) --n;
  w.resize(n);
  return SdkStringToUtf8(w);
}

bool ValidName(std::string_view name) {
  if (name.empty() || name == "." || name == ".." || Utf16Length(name) > kSdkMaxNameLength) {
    return false;
  }
  for (char c : name) {
    if (static_cast<unsigned char>(c) < 0x20 || c == '\\' || c == '/') return false;
  }
  return true;
}

bool ValidPlaylistName(std::string_view name) {
  if (name.empty() || Utf16Length(name) > kSdkMaxNameLength) return false;
  for (char c : name) {
    if (static_cast<unsigned char>(c) < 0x20) return false;
  }
  return true;
}

bool IsDataType(std::uint32_t type) { return type == kSdkDataFile || type == kSdkDataFolder; }

const SdkAttribute* Find(const std::vector<SdkAttribute>& attrs, std::string_view name) {
  for (const SdkAttribute& a : attrs) {
    if (EqualsNoCase(a.name, name)) return &a;
  }
  return nullptr;
}

bool IsText(const SdkAttribute& a) { return a.type == kSdkAttrText || a.type == kSdkAttrUtf16; }

std::string TextOf(const std::vector<SdkAttribute>& attrs, std::string_view name) {
  const SdkAttribute* a = Find(attrs, name);
  return a != nullptr && IsText(*a) ? a->text : std::string();
}

bool NumberOf(const std::vector<SdkAttribute>& attrs, std::string_view name, std::uint32_t* out) {
  const SdkAttribute* a = Find(attrs, name);
  if (a == nullptr || a->type != kSdkAttrNumber) return false;
  *out = a->number;
  return true;
}

std::string PosixFolderOf(std::string_view folder) {
  std::string p = ToPosixPath(folder);
  while (p.size() > 1 && p.back() == '/') p.pop_back();
  return p;
}

// ---- the process-wide table of open players --------------------------------------------

struct RegistryEntry {
  std::weak_ptr<SimPlayer> player;
  const SimPlayer* owner = nullptr;
  int lockFd = -1;
};
std::mutex g_registryMu;
std::map<std::string, RegistryEntry>& Registry() {
  static auto* registry = new std::map<std::string, RegistryEntry>;
  return *registry;
}

bool PopulateNewPlayer(const std::string& dir, const SimPlayerOptions& options,
                       std::string* error) {
  for (const char* sub : {"items", "files", "playlists"}) {
    if (::mkdir((dir + "/" + sub).c_str(), 0755) != 0 && errno != EEXIST) {
      *error = "Cannot create the folder " + dir + "/" + sub + ": " + std::strerror(errno);
      return false;
    }
  }
  SimProperties props;
  props.modelName = options.modelName;
  props.ownerName = options.ownerName;
  props.capacityBytes = options.capacityBytes;
  std::random_device rd;
  for (auto& b : props.uniqueId) b = std::uint8_t(rd());
  if (!WriteFileAtomic(dir + "/player.txt", PropertiesText(props))) {
    *error = "Cannot write " + dir + "/player.txt: " + std::strerror(errno);
    return false;
  }
  return true;
}

}  // namespace

// ---- creation ------------------------------------------------------------------------------

bool CreateSimPlayer(std::string_view folder, const SimPlayerOptions& options,
                     std::string* error) {
  const std::string dir = PosixFolderOf(folder);
  if (dir.empty()) {
    *error = "No folder was given for the player.";
    return false;
  }
  std::error_code ec;
  if (fs::exists(dir, ec)) {
    if (!fs::is_directory(dir, ec) || !fs::is_empty(dir, ec)) {
      *error = "The folder " + dir + " is not empty; a new player needs an empty folder.";
      return false;
    }
    return PopulateNewPlayer(dir, options, error);
  }
  // Built beside its final place and renamed into it, so that a half-made player is never
  // taken for a player.
  const fs::path parent = fs::path(dir).parent_path();
  if (!parent.empty()) fs::create_directories(parent, ec);
  const std::string tmp = dir + ".new-" + std::to_string(::getpid());
  fs::remove_all(tmp, ec);
  if (::mkdir(tmp.c_str(), 0755) != 0) {
    *error = "Cannot create the folder " + tmp + ": " + std::strerror(errno);
    return false;
  }
  if (!PopulateNewPlayer(tmp, options, error)) {
    fs::remove_all(tmp, ec);
    return false;
  }
  if (::rename(tmp.c_str(), dir.c_str()) != 0) {
    *error = "Cannot create the player in " + dir + ": " + std::strerror(errno);
    fs::remove_all(tmp, ec);
    return false;
  }
  return true;
}

// ---- opening and loading -------------------------------------------------------------------

std::shared_ptr<SimPlayer> SimPlayer::Open(std::string_view folder, SdkResult* code,
                                           std::string* error, bool readOnly) {
  SdkResult ignoredCode;
  std::string ignoredError;
  if (code == nullptr) code = &ignoredCode;
  if (error == nullptr) error = &ignoredError;
  const std::string dir = PosixFolderOf(folder);
  std::error_code ec;
  const fs::path canonical = fs::canonical(dir, ec);
  if (ec || !fs::is_directory(canonical, ec)) {
    *code = kSdkErrNotConnected;
    *error = "There is no player in " + dir + ".";
    return nullptr;
  }
  const std::string key = canonical.string();
  if (!fs::exists(canonical / "player.txt", ec)) {
    // A folder holding a store's parts is a damaged player, not a computer without one.
    bool store = false;
    for (const char* part : {"items", "files", "playlists", "lock"}) store = store || fs::exists(canonical / part, ec);
    *code = store ? kSdkErrLibraryCorrupt : kSdkErrNotConnected;
    *error = store ? "The player in " + key + " is damaged: player.txt missing." : "There is no player in " + dir + ".";
    return nullptr;
  }

  if (readOnly) {
    std::shared_ptr<SimPlayer> p(new SimPlayer);
    p->root_ = key;
    p->readOnly_ = true;
    if (!p->Load(error)) {
      *code = kSdkErrLibraryCorrupt;
      return nullptr;
    }
    return p;
  }

  std::lock_guard<std::mutex> lock(g_registryMu);
  RegistryEntry& entry = Registry()[key];
  if (auto existing = entry.player.lock()) return existing;
  if (entry.lockFd < 0) {
    const int fd = ::open((key + "/lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0 || ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
      const bool busy = fd >= 0 && errno == EWOULDBLOCK;
      if (fd >= 0) ::close(fd);
      Registry().erase(key);
      *code = busy ? kSdkErrPortInUse : kSdkErrLibraryCorrupt;
      *error = busy ? "The player in " + key + " is in use by another program."
                    : "Cannot lock the player in " + key + ".";
      return nullptr;
    }
    entry.lockFd = fd;
  }
  std::shared_ptr<SimPlayer> p(new SimPlayer);
  p->root_ = key;
  if (!p->Load(error)) {
    ::close(entry.lockFd);
    Registry().erase(key);
    *code = kSdkErrLibraryCorrupt;
    return nullptr;
  }
  // Into the log of the program that uses the player (trayhub's, for one).
  for (const SimStoreProblem& problem : p->problems_) {
    std::fprintf(stderr, "simplayer: the player in %s: %s\n", key.c_str(), problem.text.c_str());
  }
  entry.player = p;
  entry.owner = p.get();
  p->registered_ = true;
  return p;
}

SimPlayer::~SimPlayer() {
  {
    std::lock_guard<std::mutex> lock(sparesMu_);
    stopSpares_ = true;
  }
  sparesCv_.notify_all();
  for (SpareStock* stock : {&spareContent_, &spareRecords_}) {
    if (stock->maker.joinable()) stock->maker.join();
    for (int fd : stock->fds) ::close(fd);
  }
  if (!registered_) return;
  std::lock_guard<std::mutex> lock(g_registryMu);
  auto it = Registry().find(root_);
  // A newer object may have taken the entry (and the lock) over already.
  if (it != Registry().end() && it->second.owner == this) {
    if (it->second.lockFd >= 0) ::close(it->second.lockFd);
    Registry().erase(it);
  }
}

bool SimPlayer::Load(std::string* error) {
  std::string text;
  if (!ReadWholeFile(root_ + "/player.txt", &text)) {
    *error = "Cannot read " + root_ + "/player.txt: " + std::strerror(errno) + ".";
    return false;
  }
  std::string why;
  switch (simstore::ReadProperties(text, &props_, &why)) {
    case simstore::PropertiesRead::kOk:
      break;
    case simstore::PropertiesRead::kOtherFormat:
      *error = root_ + "/player.txt is " + why + ".";
      return false;
    case simstore::PropertiesRead::kDamaged:
      *error = "The player in " + root_ + " is damaged: player.txt cannot be read (" + why + ").";
      return false;
  }
  std::error_code ec;
  for (const char* part : {"items", "files", "playlists"}) {
    if (!fs::is_directory(root_ + "/" + part, ec)) {
      *error = "The player in " + root_ + " is damaged: its folder " + part + " is missing.";
      return false;
    }
  }
  auto problem = [this](std::string record, std::string text) {
    problems_.push_back({record, record + " " + text});
  };

  // Items. A record that cannot be read hides its item, and keeps its id and its content
  // until it is repaired; so does a record whose content is missing.
  std::set<std::string> referenced;
  std::map<std::uint32_t, SimItem> loaded;
  std::set<std::uint32_t> unread;  // ids of item records that could not be read
  std::uint32_t maxId = kSdkPlaylistRootId;
  ForEachRecordFile(root_ + "/items", readOnly_, [&](std::uint32_t id, const std::string& name,
                                                     const std::string& body, int readError) {
    maxId = std::max(maxId, id);
    const std::string record = "items/" + name;
    SimItem it;
    if (readError != 0) {
      problem(record, std::string("cannot be read (") + std::strerror(readError) +
                          "): its item is not listed, and its content is kept until the record is repaired");
      unread.insert(id);
      return;
    }
    if (!simstore::ReadItem(body, id, &it, &why)) {
      problem(record, "is damaged (" + why + "): its item is not listed, and its content is kept until the record is repaired");
      unread.insert(id);
      return;
    }
    // A file edited by hand may hold longer texts than the SDK hands out.
    for (std::string* t : {&it.name, &it.album, &it.artist, &it.genre, &it.codec}) *t = ClipText(*t);
    if (it.type != kSdkDataFolder) {
      referenced.insert(it.file);
      struct stat st;
      if (::stat((root_ + "/files/" + it.file).c_str(), &st) != 0) {
        problem(record, "names the content files/" + it.file + ", which is missing: its item is not listed");
        unread.insert(id);
        return;
      }
      it.size = std::uint64_t(st.st_size);
    }
    loaded[id] = std::move(it);
  });

  // A data item inside a folder whose record cannot be read waits, unseen, for its repair;
  // one whose folder is gone, or whose folders form a loop, goes to the root.
  std::set<std::uint32_t> waiting;
  for (auto& [id, it] : loaded) {
    if (!IsDataType(it.type)) continue;
    std::uint32_t p = it.parent;
    std::size_t steps = 0;
    bool valid = true;
    while (p != kSdkDataRootId) {
      if (unread.count(p) != 0) break;
      auto f = loaded.find(p);
      if (f == loaded.end() || f->second.type != kSdkDataFolder || p == id || ++steps > loaded.size()) {
        valid = false;
        break;
      }
      p = f->second.parent;
    }
    const std::string record = "items/" + std::to_string(id) + ".txt";
    if (p != kSdkDataRootId && valid) {
      problem(record, "is inside the data folder " + std::to_string(p) +
                          ", whose record cannot be read: it is not listed until that record is repaired");
      waiting.insert(id);
    } else if (!valid) {
      problem(record, "had no valid data folder: it was moved to the root");
      it.parent = kSdkDataRootId;
      if (!readOnly_) SaveItem(it);
    }
  }
  for (auto& [id, it] : loaded) {
    used_ += it.size;
    if (waiting.count(id) != 0) continue;
    items_[id] = std::move(it);
    IndexItem(items_[id]);
  }
  held_ = unread;
  held_.insert(waiting.begin(), waiting.end());

  // Content without an item (a crash between copying and recording) is removed; content
  // that a held record may name stays, and so does every file not named as content is
  // ("<id>.<extension>"). A reader that does not hold the lock leaves the uploads of the
  // holder alone.
  for (const auto& de : fs::directory_iterator(root_ + "/files", ec)) {
    if (readOnly_) break;
    const std::string name = de.path().filename().string();
    const std::uint32_t id = IdOfContentName(name);
    if (id == 0 || referenced.count(name) != 0 || held_.count(id) != 0) continue;
    fs::remove(de.path(), ec);
  }

  // Playlists. One that cannot be read is not listed and keeps its file; entries naming
  // held items stay in the list, unseen, so a repair brings them back in their place.
  ForEachRecordFile(root_ + "/playlists", readOnly_, [&](std::uint32_t id, const std::string& name,
                                                         const std::string& body, int readError) {
    maxId = std::max(maxId, id);
    const std::string record = "playlists/" + name;
    SimPlaylist pl;
    if (readError != 0) {
      problem(record, std::string("cannot be read (") + std::strerror(readError) +
                          "): the playlist is not listed until it is repaired");
      return;
    }
    if (!simstore::ReadPlaylist(body, id, &pl, &why)) {
      problem(record, "is damaged (" + why + "): the playlist is not listed until it is repaired");
      return;
    }
    std::erase_if(pl.tracks, [this](std::uint32_t t) {
      auto f = items_.find(t);
      return (f == items_.end() || f->second.type != kSdkTrack) && held_.count(t) == 0;
    });
    playlists_[id] = std::move(pl);
  });
  if (props_.nextId <= maxId) props_.nextId = maxId + 1;
  if (props_.nextId <= kSdkPlaylistRootId) props_.nextId = 16;
  return true;
}

// ---- writing ------------------------------------------------------------------------------

bool SimPlayer::SaveProperties() {
  // The file keeps the end of the reserved block, so no id handed out is ever handed out again.
  SimProperties stored = props_;
  stored.nextId = std::max(props_.nextId, idCeiling_);
  return WriteFileAtomic(root_ + "/player.txt", PropertiesText(stored));
}

template <typename T>
SdkResult SimPlayer::SaveProperty(T SimProperties::*field, T value) {
  T old = std::move(props_.*field);
  props_.*field = std::move(value);
  if (!SaveProperties()) {
    props_.*field = std::move(old);
    return kSdkErrFail;
  }
  return kSdkOk;
}

bool SimPlayer::SaveItem(const SimItem& item) {
  return WriteFileAtomic(root_ + "/items/" + std::to_string(item.id) + ".txt", ItemText(item));
}

bool SimPlayer::SaveNewItem(const SimItem& item) {
  const std::string path = root_ + "/items/" + std::to_string(item.id) + ".txt";
  const int fd = TakeFaultLocked(SimFault::kNoNamelessFiles) ? -1 : TakeNameless(spareRecords_);
  if (fd < 0) return WriteFileAtomic(path, ItemText(item));
  const std::string text = ItemText(item);
  bool saved = WriteFully(fd, text.data(), text.size()) == 0 && NameFile(fd, path);
  if (::close(fd) != 0 && saved) {
    ::unlink(path.c_str());
    saved = false;
  }
  return saved;
}

int SimPlayer::TakeNameless(SpareStock& stock) {
  {
    std::unique_lock<std::mutex> lock(sparesMu_);
    if (readOnly_ || namelessRefused_) return -1;
    if (!stock.maker.joinable()) stock.maker = std::thread([this, &stock] { MakeSpares(stock); });
    sparesCv_.wait(lock, [&] { return !stock.fds.empty() || !stock.making; });
    if (!stock.fds.empty()) {
      const int fd = stock.fds.back();
      stock.fds.pop_back();
      // Waking a sleeping maker costs the waker tens of microseconds: while the stock lasts,
      // the upload lane wakes it (RefillSpares) once its notice is out, for several files.
      if (stock.fds.size() < kLowSpares) sparesCv_.notify_all();
      return fd;
    }
  }
  const int fd = OpenNameless(root_ + "/" + stock.part);
  const int error = errno;
  std::lock_guard<std::mutex> lock(sparesMu_);
  if (fd < 0 && NoNamelessFiles(error)) namelessRefused_ = true;
  if (fd >= 0) stock.failed = false;
  sparesCv_.notify_all();
  errno = error;
  return fd;
}

void SimPlayer::RefillSpares() {
  bool low = false;
  {
    std::lock_guard<std::mutex> lock(sparesMu_);
    for (const SpareStock* stock : {&spareContent_, &spareRecords_}) {
      low = low || (stock->maker.joinable() && stock->fds.size() <= kSpares / 2);
    }
  }
  if (low) sparesCv_.notify_all();
}

void SimPlayer::MakeSpares(SpareStock& stock) {
  // At the store's own priority, not below it: a take waits for the file being made, so a
  // maker starved by other work on a busy machine held the upload lane up for as long.
  std::unique_lock<std::mutex> lock(sparesMu_);
  for (;;) {
    sparesCv_.wait(lock, [&] {
      return stopSpares_ || (stock.fds.size() < kSpares && !stock.failed && !namelessRefused_);
    });
    if (stopSpares_) return;
    stock.making = true;
    lock.unlock();
    const int fd = OpenNameless(root_ + "/" + stock.part);
    const int error = errno;
    lock.lock();
    stock.making = false;
    if (fd >= 0) {
      stock.fds.push_back(fd);
    } else if (NoNamelessFiles(error)) {
      namelessRefused_ = true;
    } else {
      stock.failed = true;  // out of inodes or descriptors: tried again once a take succeeds
    }
    sparesCv_.notify_all();
  }
}

bool SimPlayer::SavePlaylist(const SimPlaylist& playlist) {
  return WriteFileAtomic(root_ + "/playlists/" + std::to_string(playlist.id) + ".txt",
                         PlaylistText(playlist));
}

std::uint32_t SimPlayer::AllocateId() {
  // 0xFFFFFFFF names all tracks; ids are never reused.
  if (props_.nextId == 0 || props_.nextId >= kSdkAllTracksId - 1) return 0;
  if (props_.nextId >= idCeiling_) {
    // Ids are reserved in blocks, one write of player.txt each: rewriting it for every new
    // item made a transfer of many files create and drop an inode per file. A restart goes
    // on after the block, so the ids it left unused are skipped, never reused.
    const std::uint32_t ceiling = std::min<std::uint32_t>(props_.nextId + kIdBlock, kSdkAllTracksId - 1);
    const std::uint32_t previous = idCeiling_;
    idCeiling_ = ceiling;
    if (!SaveProperties()) {
      idCeiling_ = previous;
      return 0;
    }
  }
  return props_.nextId++;
}

void SimPlayer::IndexItem(const SimItem& item) {
  children_[item.type == kSdkTrack ? kSdkAllTracksId : item.parent].insert(item.id);
}

void SimPlayer::UnindexItem(const SimItem& item) {
  auto it = children_.find(item.type == kSdkTrack ? kSdkAllTracksId : item.parent);
  if (it != children_.end()) it->second.erase(item.id);
}

SdkResult SimPlayer::CheckWritable() const {
  if (readOnly_) return kSdkErrWriteProtected;
  if (changesLeft_ == 0) return kSdkErrNotConnected;
  if (changesLeft_ > 0) --changesLeft_;
  return kSdkOk;
}

void SimPlayer::StopStoreAfter(int changes) {
  std::lock_guard<std::mutex> lock(mu_);
  changesLeft_ = changes;
}

bool SimPlayer::IsDataContainer(std::uint32_t id) const {
  if (id == kSdkDataRootId) return true;
  auto it = items_.find(id);
  return it != items_.end() && it->second.type == kSdkDataFolder;
}

bool SimPlayer::NameTakenLocked(std::uint32_t parent, std::string_view name,
                                std::uint32_t except) const {
  auto c = children_.find(parent);
  if (c != children_.end()) {
    for (std::uint32_t id : c->second) {
      if (id == except) continue;
      const auto child = items_.find(id);
      // The children index names only items the store holds; a name it cannot check is taken.
      if (!TOVARIN_INVARIANT(child != items_.end()) || EqualsNoCase(child->second.name, name)) return true;
    }
  }
  for (const auto& [id, it] : pending_) {
    if (it.type != kSdkTrack && it.parent == parent && EqualsNoCase(it.name, name)) return true;
  }
  return false;
}

// ---- faults and plugging -------------------------------------------------------------------

void SimPlayer::InjectFault(SimFault fault, int occasions) {
  std::lock_guard<std::mutex> lock(mu_);
  faults_[fault] = occasions;
}

void SimPlayer::ClearFaults() {
  std::lock_guard<std::mutex> lock(mu_);
  faults_.clear();
}

bool SimPlayer::TakeFault(SimFault fault) {
  std::lock_guard<std::mutex> lock(mu_);
  return TakeFaultLocked(fault);
}

bool SimPlayer::TakeFaultLocked(SimFault fault) {
  auto it = faults_.find(fault);
  if (it == faults_.end() || it->second == 0) return false;
  if (it->second > 0) --it->second;
  return true;
}

void SimPlayer::Unplug() {
  {
    std::lock_guard<std::mutex> lock(mu_);
    if (!plugged_) return;
    plugged_ = false;
  }
  std::lock_guard<std::mutex> lock(listenersMu_);
  for (SimPlayerListener* l : listeners_) l->OnUnplugged();
}

void SimPlayer::Replug() {
  std::lock_guard<std::mutex> lock(mu_);
  plugged_ = true;
}

bool SimPlayer::IsPlugged() const {
  std::lock_guard<std::mutex> lock(mu_);
  return plugged_;
}

void SimPlayer::AddListener(SimPlayerListener* listener) {
  std::lock_guard<std::mutex> lock(listenersMu_);
  listeners_.push_back(listener);
}

void SimPlayer::RemoveListener(SimPlayerListener* listener) {
  std::lock_guard<std::mutex> lock(listenersMu_);
  listeners_.erase(std::remove(listeners_.begin(), listeners_.end(), listener), listeners_.end());
}

// ---- reading -------------------------------------------------------------------------------

std::vector<SimStoreProblem> SimPlayer::Problems() const {
  std::lock_guard<std::mutex> lock(mu_);
  return problems_;
}

SimPlayer::Snapshot SimPlayer::TakeSnapshot() const {
  std::lock_guard<std::mutex> lock(mu_);
  Snapshot s;
  s.properties = props_;
  s.items = items_;
  s.playlists = playlists_;
  s.usedBytes = used_;
  return s;
}

bool SimPlayer::GetItem(std::uint32_t id, SimItem* item) const {
  std::lock_guard<std::mutex> lock(mu_);
  auto it = items_.find(id);
  if (it == items_.end()) return false;
  *item = it->second;
  return true;
}

std::string SimPlayer::ContentPath(const SimItem& item) const {
  return item.file.empty() ? std::string() : root_ + "/files/" + item.file;
}

SdkResult SimPlayer::SetPlayOnly(std::uint32_t trackId, bool playOnly) {
  std::lock_guard<std::mutex> lock(mu_);
  if (SdkResult r = CheckWritable()) return r;
  auto it = items_.find(trackId);
  if (it == items_.end() || it->second.type != kSdkTrack) return kSdkErrInvalidId;
  SimItem changed = it->second;
  changed.playOnly = playOnly ? 1 : 0;
  if (!SaveItem(changed)) return kSdkErrFail;
  it->second = changed;
  return kSdkOk;
}

SdkResult SimPlayer::NextChild(const SdkItem& parent, std::uint64_t* cursor,
                               SdkItem* child) const {
  std::lock_guard<std::mutex> lock(mu_);
  if (parent.type == kSdkPlaylist) {
    auto pl = playlists_.find(parent.id);
    if (pl == playlists_.end()) return kSdkErrInvalidId;
    // Entries naming held items are passed over.
    while (*cursor < pl->second.tracks.size()) {
      auto t = items_.find(pl->second.tracks[std::size_t((*cursor)++)]);
      if (t == items_.end()) continue;
      child->id = t->second.id;
      child->type = kSdkTrack;
      child->name = Utf8ToSdkString(t->second.name);
      return kSdkOk;
    }
    return kSdkErrNoMoreItems;
  }
  std::uint32_t key = 0;
  if (parent.id == kSdkAllTracksId && parent.type == kSdkTrack) {
    key = kSdkAllTracksId;
  } else if (IsDataType(parent.type)) {
    if (parent.id != kSdkDataRootId) {
      auto it = items_.find(parent.id);
      if (it == items_.end()) return kSdkErrInvalidId;
      if (it->second.type != kSdkDataFolder) return kSdkErrUnsupportedType;
    }
    key = parent.id;
  } else if (parent.type == kSdkTrack) {
    return items_.count(parent.id) != 0 ? kSdkErrUnsupportedType : kSdkErrInvalidId;
  } else {
    return kSdkErrUnsupportedType;
  }
  auto c = children_.find(key);
  if (c == children_.end()) return kSdkErrNoMoreItems;
  auto next = c->second.upper_bound(std::uint32_t(*cursor));
  if (next == c->second.end()) return kSdkErrNoMoreItems;
  const auto found = items_.find(*next);
  if (!TOVARIN_INVARIANT(found != items_.end())) return kSdkErrLibraryCorrupt;
  const SimItem& it = found->second;
  *cursor = it.id;
  child->id = it.id;
  child->type = it.type;
  child->name = Utf8ToSdkString(it.name);
  return kSdkOk;
}

SdkResult SimPlayer::NextPlaylist(std::uint64_t* cursor, SdkItem* playlist) const {
  std::lock_guard<std::mutex> lock(mu_);
  auto next = playlists_.upper_bound(std::uint32_t(*cursor));
  if (next == playlists_.end()) return kSdkErrNoMoreItems;
  *cursor = next->first;
  playlist->id = next->first;
  playlist->type = kSdkPlaylist;
  playlist->name = Utf8ToSdkString(next->second.name);
  return kSdkOk;
}

// ---- playlists -----------------------------------------------------------------------------

SdkResult SimPlayer::CreatePlaylist(std::string_view name, std::uint32_t* id) {
  std::lock_guard<std::mutex> lock(mu_);
  if (SdkResult r = CheckWritable()) return r;
  if (!ValidPlaylistName(name)) return kSdkErrInvalidArg;
  SimPlaylist pl;
  pl.id = AllocateId();
  if (pl.id == 0) return kSdkErrFail;
  pl.name = std::string(name);
  if (!SavePlaylist(pl)) return kSdkErrFail;
  *id = pl.id;
  playlists_[pl.id] = std::move(pl);
  return kSdkOk;
}

SdkResult SimPlayer::DeletePlaylist(std::uint32_t id) {
  std::lock_guard<std::mutex> lock(mu_);
  if (SdkResult r = CheckWritable()) return r;
  auto it = playlists_.find(id);
  if (it == playlists_.end()) return kSdkErrInvalidId;
  if (::unlink((root_ + "/playlists/" + std::to_string(id) + ".txt").c_str()) != 0 &&
      errno != ENOENT) {
    return kSdkErrFail;
  }
  playlists_.erase(it);
  return kSdkOk;
}

SdkResult SimPlayer::RenamePlaylist(std::uint32_t id, std::string_view name) {
  std::lock_guard<std::mutex> lock(mu_);
  if (SdkResult r = CheckWritable()) return r;
  auto it = playlists_.find(id);
  if (it == playlists_.end()) return kSdkErrInvalidId;
  if (!ValidPlaylistName(name)) return kSdkErrInvalidArg;
  SimPlaylist changed = it->second;
  changed.name = std::string(name);
  if (!SavePlaylist(changed)) return kSdkErrFail;
  it->second = std::move(changed);
  return kSdkOk;
}

SdkResult SimPlayer::AddTracksToPlaylist(std::uint32_t id,
                                         const std::vector<std::uint32_t>& tracks) {
  std::lock_guard<std::mutex> lock(mu_);
  if (SdkResult r = CheckWritable()) return r;
  auto it = playlists_.find(id);
  if (it == playlists_.end()) return kSdkErrInvalidId;
  for (std::uint32_t t : tracks) {
    auto f = items_.find(t);
    if (f == items_.end() || f->second.type != kSdkTrack) return kSdkErrInvalidId;
  }
  SimPlaylist changed = it->second;
  changed.tracks.insert(changed.tracks.end(), tracks.begin(), tracks.end());
  if (!SavePlaylist(changed)) return kSdkErrFail;
  it->second = std::move(changed);
  return kSdkOk;
}

// ---- attributes ----------------------------------------------------------------------------

SdkResult SimPlayer::GetAttributeBlock(const SdkItem& item,
                                       std::vector<std::uint8_t>* block) const {
  std::lock_guard<std::mutex> lock(mu_);
  AttributeBlockWriter w;
  if (IsDataType(item.type) && item.id == kSdkDataRootId) {
    w.AddText(kAttrFolderName, "DATA");
    w.AddNumber(kAttrFileAttributes, 0x10);
    w.AddNumber(kAttrModifiedTime, 0);
    w.AddNumber(kAttrParentFolder, 0);
    *block = w.Finish();
    return kSdkOk;
  }
  if (item.type == kSdkPlaylist) {
    return playlists_.count(item.id) != 0 ? kSdkErrUnsupportedType : kSdkErrInvalidId;
  }
  if (item.type != kSdkTrack && !IsDataType(item.type)) return kSdkErrUnsupportedType;
  auto f = items_.find(item.id);
  if (f == items_.end() || (item.type == kSdkTrack) != (f->second.type == kSdkTrack)) {
    return kSdkErrInvalidId;
  }
  const SimItem& it = f->second;
  const std::uint32_t size32 = it.size > 0xFFFFFFFFull ? 0xFFFFFFFFu : std::uint32_t(it.size);
  if (it.type == kSdkTrack) {
    w.AddText(kAttrTitle, it.name);
    w.AddText(kAttrAlbum, it.album);
    w.AddText(kAttrArtist, it.artist);
    w.AddText(kAttrGenre, it.genre);
    w.AddText(kAttrCodec, it.codec);
    w.AddNumber(kAttrFileSize, size32);
    w.AddNumber(kAttrLength, it.length);
    w.AddNumber(kAttrTrackNumber, it.trackNumber);
    w.AddNumber(kAttrYear, it.year);
    w.AddNumber(kAttrPlayOnly, it.playOnly);
  } else if (it.type == kSdkDataFile) {
    w.AddText(kAttrFileName, it.name);
    w.AddText(kAttrTitle, it.name);
    w.AddNumber(kAttrFileSize, size32);
    w.AddNumber(kAttrFileAttributes, it.fileAttributes);
    w.AddNumber(kAttrModifiedTime, it.modified);
    w.AddNumber(kAttrParentFolder, it.parent);
  } else {
    w.AddText(kAttrFolderName, it.name);
    w.AddNumber(kAttrFileAttributes, it.fileAttributes);
    w.AddNumber(kAttrModifiedTime, it.modified);
    w.AddNumber(kAttrParentFolder, it.parent);
  }
  *block = w.Finish();
  return kSdkOk;
}

SdkResult SimPlayer::SetAttribute(const SdkItem& item, const SdkAttribute& a) {
  std::lock_guard<std::mutex> lock(mu_);
  if (SdkResult r = CheckWritable()) return r;
  if (item.type != kSdkTrack && !IsDataType(item.type)) return kSdkErrUnsupportedType;
  if (item.id == kSdkDataRootId) return kSdkErrInvalidArg;  // the root stays as it is
  auto f = items_.find(item.id);
  if (f == items_.end() || (item.type == kSdkTrack) != (f->second.type == kSdkTrack)) {
    return kSdkErrInvalidId;
  }
  SimItem changed = f->second;
  const bool text = IsText(a);
  const bool number = a.type == kSdkAttrNumber;
  const std::string& n = a.name;

  if (changed.type == kSdkTrack) {
    std::string* field = EqualsNoCase(n, kAttrTitle)    ? &changed.name
                         : EqualsNoCase(n, kAttrAlbum)  ? &changed.album
                         : EqualsNoCase(n, kAttrArtist) ? &changed.artist
                         : EqualsNoCase(n, kAttrGenre)  ? &changed.genre
                                                     : nullptr;
    std::uint32_t* value = EqualsNoCase(n, kAttrTrackNumber) ? &changed.trackNumber
                           : EqualsNoCase(n, kAttrYear)    ? &changed.year
                                                        : nullptr;
    if (field != nullptr && text) {
      *field = ClipText(a.text);
    } else if (value != nullptr && number) {
      *value = a.number;
    } else {
      return kSdkErrUnsupportedType;
    }
    if (!SaveItem(changed)) return kSdkErrFail;
    f->second = std::move(changed);
    return kSdkOk;
  }

  const bool folder = changed.type == kSdkDataFolder;
  const SdkResult exists = folder ? kSdkErrFolderExists : kSdkErrFileExists;
  if ((EqualsNoCase(n, kAttrFileName) || (folder && EqualsNoCase(n, kAttrFolderName))) && text) {
    if (!ValidName(a.text)) return kSdkErrInvalidArg;
    if (NameTakenLocked(changed.parent, a.text, changed.id)) return exists;
    changed.name = a.text;
  } else if (EqualsNoCase(n, kAttrParentFolder) && number) {
    const std::uint32_t target = a.number;
    if (!IsDataContainer(target)) return kSdkErrInvalidId;
    // A folder may not go into itself or below itself.
    // Loading moves every data item whose folders do not lead to the root there.
    for (std::uint32_t p = target; folder && p != kSdkDataRootId;) {
      if (p == changed.id) return kSdkErrInvalidArg;
      const auto up = items_.find(p);
      if (!TOVARIN_INVARIANT(up != items_.end())) return kSdkErrLibraryCorrupt;
      p = up->second.parent;
    }
    if (target != changed.parent && NameTakenLocked(target, changed.name, changed.id)) {
      return exists;
    }
    changed.parent = target;
  } else if (EqualsNoCase(n, kAttrFileAttributes) && number) {
    changed.fileAttributes = a.number;
  } else if (EqualsNoCase(n, kAttrModifiedTime) && number) {
    changed.modified = a.number;
  } else {
    return kSdkErrUnsupportedType;
  }
  if (!SaveItem(changed)) return kSdkErrFail;
  UnindexItem(f->second);
  f->second = std::move(changed);
  IndexItem(f->second);
  return kSdkOk;
}

// ---- adding and deleting -------------------------------------------------------------------

SdkResult SimPlayer::PrepareUpload(std::uint32_t type, const std::vector<SdkAttribute>& attrs,
                                   std::string_view sourceName, std::uint64_t size,
                                   std::uint32_t sourceModified, PendingUpload* pending) {
  std::lock_guard<std::mutex> lock(mu_);
  if (SdkResult r = CheckWritable()) return r;
  SimItem it;
  it.type = type;
  if (type == kSdkTrack) {
    it.codec = ToUpperAscii(TextOf(attrs, kAttrCodec));
    if (it.codec != "MP3" && it.codec != "WMA" && it.codec != "WAV") return kSdkErrInvalidFileType;
    it.name = ClipText(TextOf(attrs, kAttrTitle));
    it.album = ClipText(TextOf(attrs, kAttrAlbum));
    it.artist = ClipText(TextOf(attrs, kAttrArtist));
    it.genre = ClipText(TextOf(attrs, kAttrGenre));
    NumberOf(attrs, kAttrLength, &it.length);
    NumberOf(attrs, kAttrTrackNumber, &it.trackNumber);
    NumberOf(attrs, kAttrYear, &it.year);
  } else if (type == kSdkDataFile) {
    it.name = TextOf(attrs, kAttrFileName);
    if (it.name.empty()) it.name = std::string(sourceName);
    if (!ValidName(it.name)) return kSdkErrInvalidArg;
    it.parent = kSdkDataRootId;
    NumberOf(attrs, kAttrParentFolder, &it.parent);
    if (!IsDataContainer(it.parent)) return kSdkErrInvalidId;
    if (NameTakenLocked(it.parent, it.name, 0)) return kSdkErrFileExists;
    it.modified = sourceModified;
    NumberOf(attrs, kAttrModifiedTime, &it.modified);
    NumberOf(attrs, kAttrFileAttributes, &it.fileAttributes);
  } else {
    return kSdkErrUnsupportedType;
  }
  const std::uint64_t free =
      props_.capacityBytes > used_ + reserved_ ? props_.capacityBytes - used_ - reserved_ : 0;
  if (size > free) return kSdkErrStorageFull;
  it.id = AllocateId();
  if (it.id == 0) return kSdkErrFail;
  it.size = size;
  it.file = std::to_string(it.id) + (type == kSdkTrack ? "." + ToLowerAscii(it.codec) : ".dat");
  pending->item = it;
  pending->tempPath = root_ + "/files/" + std::to_string(it.id) + ".part";
  pending_[it.id] = it;
  reserved_ += size;
  return kSdkOk;
}

int SimPlayer::OpenUploadTarget(PendingUpload* pending) {
  pending->fd = TakeFault(SimFault::kNoNamelessFiles) ? -1 : TakeNameless(spareContent_);
  pending->nameless = pending->fd >= 0;
  if (!pending->nameless) {
    pending->fd = ::open(pending->tempPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  }
  return pending->fd;
}

SdkResult SimPlayer::CommitUpload(PendingUpload& pending) {
  const int fd = std::exchange(pending.fd, -1);
  // A file written through its name is closed before it is looked at; a nameless one keeps
  // its descriptor until it has its name.
  const bool closed = fd < 0 || pending.nameless || ::close(fd) == 0;
  const auto discard = [&] {
    if (pending.nameless) {
      ::close(fd);
    } else {
      ::unlink(pending.tempPath.c_str());
    }
  };
  std::lock_guard<std::mutex> lock(mu_);
  auto p = pending_.find(pending.item.id);
  if (p == pending_.end()) {
    discard();
    return kSdkErrFail;
  }
  SimItem it = p->second;
  reserved_ -= it.size;
  pending_.erase(p);
  if (it.type != kSdkTrack && !IsDataContainer(it.parent)) {
    discard();
    return kSdkErrInvalidId;  // its folder was deleted meanwhile
  }
  const std::string final = root_ + "/files/" + it.file;
  struct stat st;
  bool placed = false;
  if (pending.nameless) {
    placed = ::fstat(fd, &st) == 0 && NameFile(fd, final);
    if (::close(fd) != 0 && placed) {
      ::unlink(final.c_str());
      placed = false;
    }
  } else {
    placed = closed && ::stat(pending.tempPath.c_str(), &st) == 0 &&
             ::rename(pending.tempPath.c_str(), final.c_str()) == 0;
    if (!placed) ::unlink(pending.tempPath.c_str());
  }
  if (!placed) return kSdkErrTransfer;
  it.size = std::uint64_t(st.st_size);
  if (!SaveNewItem(it)) {
    ::unlink(final.c_str());
    return kSdkErrFail;
  }
  used_ += it.size;
  items_[it.id] = it;
  IndexItem(it);
  return kSdkOk;
}

void SimPlayer::AbandonUpload(PendingUpload& pending) {
  {
    std::lock_guard<std::mutex> lock(mu_);
    auto p = pending_.find(pending.item.id);
    if (p != pending_.end()) {
      reserved_ -= p->second.size;
      pending_.erase(p);
    }
  }
  if (pending.fd >= 0) ::close(std::exchange(pending.fd, -1));
  if (!pending.nameless) ::unlink(pending.tempPath.c_str());
}

std::size_t SimPlayer::UploadsInProgress() const {
  std::lock_guard<std::mutex> lock(mu_);
  return pending_.size();
}

SdkResult SimPlayer::CreateFolder(std::string_view name, const std::vector<SdkAttribute>& attrs,
                                  std::uint32_t* id) {
  std::lock_guard<std::mutex> lock(mu_);
  if (SdkResult r = CheckWritable()) return r;
  SimItem it;
  it.type = kSdkDataFolder;
  it.name = std::string(name);
  if (!ValidName(it.name)) return kSdkErrInvalidArg;
  it.parent = kSdkDataRootId;
  NumberOf(attrs, kAttrParentFolder, &it.parent);
  if (!IsDataContainer(it.parent)) return kSdkErrInvalidId;
  if (NameTakenLocked(it.parent, it.name, 0)) return kSdkErrFolderExists;
  NumberOf(attrs, kAttrModifiedTime, &it.modified);
  NumberOf(attrs, kAttrFileAttributes, &it.fileAttributes);
  it.id = AllocateId();
  if (it.id == 0) return kSdkErrFail;
  if (!SaveNewItem(it)) return kSdkErrFail;
  *id = it.id;
  items_[it.id] = it;
  IndexItem(it);
  return kSdkOk;
}

SdkResult SimPlayer::DeleteItem(const SdkItem& item) {
  if (item.type == kSdkPlaylist) return DeletePlaylist(item.id);
  std::lock_guard<std::mutex> lock(mu_);
  if (SdkResult r = CheckWritable()) return r;
  if (item.type != kSdkTrack && !IsDataType(item.type)) return kSdkErrUnsupportedType;
  if (item.id == kSdkDataRootId) return kSdkErrInvalidArg;
  auto f = items_.find(item.id);
  if (f == items_.end() || (item.type == kSdkTrack) != (f->second.type == kSdkTrack)) {
    return kSdkErrInvalidId;
  }
  const SimItem it = f->second;
  if (it.type == kSdkDataFolder) {
    auto c = children_.find(it.id);
    if (c != children_.end() && !c->second.empty()) return kSdkErrFail;
    for (const auto& [pid, p] : pending_) {
      if (p.type != kSdkTrack && p.parent == it.id) return kSdkErrFail;
    }
  }
  if (it.type == kSdkTrack) {
    // Entries go first: a playlist never names a track that is gone.
    for (auto& [pid, pl] : playlists_) {
      if (std::find(pl.tracks.begin(), pl.tracks.end(), it.id) == pl.tracks.end()) continue;
      SimPlaylist changed = pl;
      changed.tracks.erase(std::remove(changed.tracks.begin(), changed.tracks.end(), it.id),
                           changed.tracks.end());
      if (!SavePlaylist(changed)) return kSdkErrFail;
      pl = std::move(changed);
    }
  }
  if (::unlink((root_ + "/items/" + std::to_string(it.id) + ".txt").c_str()) != 0 &&
      errno != ENOENT) {
    return kSdkErrFail;
  }
  if (!it.file.empty()) ::unlink(ContentPath(it).c_str());  // an orphan goes at the next load
  used_ -= std::min(used_, it.size);
  UnindexItem(it);
  children_.erase(it.id);
  items_.erase(f);
  return kSdkOk;
}

// ---- properties ----------------------------------------------------------------------------

SimProperties SimPlayer::GetProperties() const {
  std::lock_guard<std::mutex> lock(mu_);
  return props_;
}

std::uint64_t SimPlayer::UsedBytes() const {
  std::lock_guard<std::mutex> lock(mu_);
  return used_;
}

std::uint64_t SimPlayer::FreeBytes() const {
  std::lock_guard<std::mutex> lock(mu_);
  return props_.capacityBytes > used_ + reserved_ ? props_.capacityBytes - used_ - reserved_ : 0;
}

SdkResult SimPlayer::SetOwnerName(std::string_view owner) {
  std::lock_guard<std::mutex> lock(mu_);
  if (SdkResult r = CheckWritable()) return r;
  if (Utf16Length(owner) > kSdkMaxNameLength || owner.find('\0') != std::string_view::npos) {
    return kSdkErrInvalidArg;
  }
  return SaveProperty(&SimProperties::ownerName, std::string(owner));
}

SdkResult SimPlayer::SetVolume(std::int32_t volume) {
  std::lock_guard<std::mutex> lock(mu_);
  if (SdkResult r = CheckWritable()) return r;
  if (volume < 0 || volume > 100) return kSdkErrInvalidArg;
  return SaveProperty(&SimProperties::volume, volume);
}

SdkResult SimPlayer::SetMute(std::int32_t mute) {
  std::lock_guard<std::mutex> lock(mu_);
  if (SdkResult r = CheckWritable()) return r;
  return SaveProperty(&SimProperties::mute, std::int32_t{mute != 0 ? 1 : 0});
}

SdkResult SimPlayer::SetClockOffset(std::int64_t offset) {
  std::lock_guard<std::mutex> lock(mu_);
  if (SdkResult r = CheckWritable()) return r;
  return SaveProperty(&SimProperties::clockOffset, offset);
}

std::vector<std::string> HalfDoneRewrites(const SimPlayer& player) {
  std::vector<std::string> found;
  const SimPlayer::Snapshot s = player.TakeSnapshot();
  for (const auto& [id, pl] : s.playlists) {
    SdkString original;
    const SdkString marked = Utf8ToSdkString(pl.name);
    if (!IsRewriteName(marked, &original)) continue;
    const std::string name = SdkStringToUtf8(original);
    const auto self = id;  // a lambda may not name a structured binding before C++20 in every compiler
    const bool oldThere = std::any_of(s.playlists.begin(), s.playlists.end(), [&](const auto& other) {
      return other.first != self && IsReplacedByRewrite(Utf8ToSdkString(other.second.name), marked);
    });
    found.push_back("playlists/" + std::to_string(id) + ".txt: a rewrite of the playlist \"" + name +
                    "\" was cut short; " +
                    (oldThere ? "the old playlist is still there (the manager drops this one when it next connects)."
                              : "the old playlist is gone (the manager gives this one its name when it next connects)."));
  }
  return found;
}

}  // namespace platform
