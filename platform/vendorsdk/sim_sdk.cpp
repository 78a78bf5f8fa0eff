// The SDK object over the simulated player: calls, cursors, transfers, playback, notices.
//
// Locks: `mu_` is held for the whole of every SDK call. `evMu_` (notices and playback
// state) is a leaf lock. Notices are posted under `mu_`, so a notice caused by a call is
// posted only once that call has returned: by the event thread, or by a transfer lane
// itself when no call runs and no notice waits before its own. Transfers run on two lanes
// (one for uploads, one for downloads) without holding `mu_`.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>

#include "platform/kernel/spin.h"
#include "platform/paths/paths.h"
#include "platform/text/text.h"
#include "platform/vendorsdk/attribute_block.h"
#include "platform/vendorsdk/file_copy.h"
#include "platform/vendorsdk/simplayer.h"
#include "platform/vendorsdk/vendorsdk.h"

namespace platform {
namespace {

using Clock = std::chrono::steady_clock;

std::atomic<bool> g_installed{true};

constexpr int kDeviceNumber = 1;
constexpr std::uint32_t kMaxAttributeValue = 64 * 1024;

std::string Utf8Of(const char16_t* s) {
  if (s == nullptr) return std::string();
  return SdkStringToUtf8(std::u16string_view(s));
}

// The last component of a Windows-form or POSIX path.
std::string LastComponent(std::string_view path) {
  const std::size_t cut = path.find_last_of("\\/");
  return std::string(cut == std::string_view::npos ? path : path.substr(cut + 1));
}

// The computer's local wall-clock time, counted as if it were UTC.
std::int64_t LocalWallSeconds() {
  const std::time_t now = std::time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);
  return std::int64_t(timegm(&tm));
}

bool ValidClock(const std::int16_t c[8]) {
  static const int kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (c[0] < 1970 || c[1] < 1 || c[1] > 12 || c[2] < 1) return false;
  const bool leap = (c[0] % 4 == 0 && c[0] % 100 != 0) || c[0] % 400 == 0;
  const int days = c[1] == 2 && !leap ? 28 : kDays[c[1] - 1];
  return c[2] <= days && c[4] >= 0 && c[4] <= 23 && c[5] >= 0 && c[5] <= 59 && c[6] >= 0 &&
         c[6] <= 59;
}

struct Job {
  bool upload = false;
  int source = -1;
  int target = -1;            // downloads: the destination, opened by the call
  std::string targetPath;     // downloads: POSIX path of the destination
  std::uint64_t size = 0;
  SimPlayer::PendingUpload pending;
  std::uint64_t generation = 0;
};

class SimulatedSdk final : public VendorSdk, public SimPlayerListener {
 public:
  explicit SimulatedSdk(std::string_view folder) : folder_(folder) {}
  ~SimulatedSdk() override { Shutdown(); }

  SdkResult Initialize() override;
  SdkResult Shutdown() override;
  SdkResult SetNotifyWindow(int dev, HWND window) override;
  SdkResult GetDeviceCount(int* count) override;
  SdkResult GetSdkVersion(std::uint16_t version[4]) override;
  SdkResult FindFirstRootItem(int dev, SdkItem* item) override;
  SdkResult FindNextRootItem(int dev, SdkItem* item) override;
  SdkResult FindFirstPlaylist(int dev, const SdkItem& root, SdkItem* playlist) override;
  SdkResult FindNextPlaylist(int dev, const SdkItem& root, SdkItem* playlist) override;
  SdkResult CreatePlaylist(int dev, const SdkItem& root, SdkItem* playlist) override;
  SdkResult DeletePlaylist(int dev, const SdkItem& playlist) override;
  SdkResult RenamePlaylist(int dev, const SdkItem& playlist, const char16_t* name) override;
  SdkResult AddTracksToPlaylist(int dev, const SdkItem& playlist, std::uint32_t count,
                                const SdkItem* tracks) override;
  SdkResult FindFirstChild(int dev, const SdkItem& parent, SdkItem* child) override;
  SdkResult FindNextChild(int dev, const SdkItem& parent, SdkItem* child) override;
  SdkResult GetItemAttributes(int dev, const SdkItem& item, std::uint32_t bufferSize,
                              std::uint32_t* size, void* buffer) override;
  SdkResult SetItemAttribute(int dev, const SdkItem& item, const char16_t* name,
                             std::uint16_t valueType, std::uint32_t valueLength,
                             const void* value) override;
  SdkResult AddItem(int dev, std::uint32_t type, const char16_t* source,
                    std::uint32_t blockLength, const void* block) override;
  SdkResult DeleteItem(int dev, const SdkItem& item) override;
  SdkResult GetItemToFile(int dev, const char16_t* destination, const SdkItem& item) override;
  SdkResult GetDeviceProperty(int dev, std::uint32_t property, void* buffer,
                              std::uint32_t bufferSize) override;
  SdkResult SetDeviceProperty(int dev, std::uint32_t property, const void* buffer,
                              std::uint32_t bufferSize) override;
  SdkResult PlaybackControl(int dev, std::uint32_t command, void* argument) override;

  void OnUnplugged() override;

 private:
  enum class Play { kStopped, kPlaying, kPaused };
  struct Event {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
  };
  struct Lane {
    std::thread thread;
    std::mutex mu;
    std::condition_variable cv;
    std::deque<Job> jobs;
    std::atomic<std::size_t> queued{0};  // jobs.size(), read without the lock
    std::atomic<int> enqueuer{-1};       // where the last job was queued from (CurrentPlace)
    bool stop = false;
  };

  // Call-lock held by the caller for these.
  SdkResult CheckDevice(int dev);
  SdkResult FindNextRootItemLocked(SdkItem* item);
  bool EnsurePlayer();
  std::shared_ptr<SimPlayer> OpenPlayer(SdkResult* code);
  void StartThreads();
  void StopThreads();
  void Enqueue(Lane& lane, Job job);

  void Emit(UINT message, WPARAM wParam, LPARAM lParam);
  void EmitFromLane(UINT message, WPARAM wParam, LPARAM lParam);
  void PostNotice(UINT message, WPARAM wParam, LPARAM lParam);  // mu_ held
  void EventLoop();
  void LaneLoop(Lane* lane);
  void RunJob(Job& job);
  void DropJob(Job& job);
  bool Current(const Job& job) const { return job.generation == generation_.load(); }
  void StopPlaybackLocked(bool notify);  // evMu_ held

  const std::string folder_;
  std::mutex lifeMu_;  // Initialize and Shutdown, whole
  std::mutex mu_;
  std::string lastError_;  // why the player could not be opened last time
  bool initialized_ = false;
  std::shared_ptr<SimPlayer> player_;
  HWND window_ = 0;
  std::uint64_t rootCursor_ = 0;
  bool rootStarted_ = false;
  std::uint64_t playlistCursor_ = 0;
  bool playlistStarted_ = false;
  std::map<std::pair<std::uint32_t, bool>, std::uint64_t> cursors_;  // (parent, playlist)

  // Transfers of an older generation (before a shutdown or unplug) are dropped.
  std::atomic<std::uint64_t> generation_{1};
  Lane uploads_, downloads_;

  std::mutex evMu_;
  std::condition_variable evCv_;
  std::deque<Event> events_;
  bool posting_ = false;  // the event thread holds notices taken from events_, not posted yet
  bool stopEvents_ = false;
  std::thread eventThread_;
  Play play_ = Play::kStopped;
  std::uint32_t playing_ = 0;
  Clock::time_point endAt_;
  Clock::duration remaining_{};
};

// ---- life cycle -----------------------------------------------------------------------------

std::shared_ptr<SimPlayer> SimulatedSdk::OpenPlayer(SdkResult* code) {
  std::string error;
  std::shared_ptr<SimPlayer> player = SimPlayer::Open(folder_, code, &error);
  // Why a player that is there cannot be used goes to the log, once for each reason; a
  // folder without a player is a computer with no player plugged in, nothing to say.
  if (!player && *code != kSdkErrNotConnected && error != lastError_) {
    std::fprintf(stderr, "simplayer: %s\n", error.c_str());
  }
  lastError_ = player ? std::string() : error;
  return player;
}

bool SimulatedSdk::EnsurePlayer() {
  if (player_) return true;
  SdkResult code = 0;
  player_ = OpenPlayer(&code);
  if (!player_) return false;
  player_->AddListener(this);
  return true;
}

SdkResult SimulatedSdk::Initialize() {
  std::lock_guard<std::mutex> life(lifeMu_);
  std::lock_guard<std::mutex> lock(mu_);
  if (initialized_) return kSdkOk;
  SdkResult code = kSdkOk;
  std::shared_ptr<SimPlayer> player = OpenPlayer(&code);
  if (!player && code != kSdkErrNotConnected) return code;
  if (player && player->TakeFault(SimFault::kInitializeFails)) return kSdkErrDriverLoad;
  player_ = std::move(player);
  if (player_) player_->AddListener(this);
  initialized_ = true;
  StartThreads();
  return kSdkOk;
}

SdkResult SimulatedSdk::Shutdown() {
  std::lock_guard<std::mutex> life(lifeMu_);
  {
    std::lock_guard<std::mutex> lock(mu_);
    if (!initialized_) return kSdkOk;
    initialized_ = false;
    window_ = 0;
    ++generation_;  // transfers in progress stop at their next step
    cursors_.clear();
    rootStarted_ = playlistStarted_ = false;
  }
  StopThreads();  // without the call lock: the event thread may be waiting for it
  std::lock_guard<std::mutex> lock(mu_);
  if (player_) player_->RemoveListener(this);
  player_.reset();
  return kSdkOk;
}

void SimulatedSdk::StartThreads() {
  stopEvents_ = false;
  uploads_.stop = downloads_.stop = false;
  eventThread_ = std::thread([this] { EventLoop(); });
  uploads_.thread = std::thread([this] { LaneLoop(&uploads_); });
  downloads_.thread = std::thread([this] { LaneLoop(&downloads_); });
}

void SimulatedSdk::StopThreads() {
  for (Lane* lane : {&uploads_, &downloads_}) {
    {
      std::lock_guard<std::mutex> lock(lane->mu);
      lane->stop = true;
    }
    lane->cv.notify_all();
    if (lane->thread.joinable()) lane->thread.join();
  }
  {
    std::lock_guard<std::mutex> lock(evMu_);
    stopEvents_ = true;
    events_.clear();
    play_ = Play::kStopped;
  }
  evCv_.notify_all();
  if (eventThread_.joinable()) eventThread_.join();
}

void SimulatedSdk::OnUnplugged() {
  // Called by the player without its locks; only the leaf lock is taken here.
  ++generation_;  // transfers stop at their next step, queued ones are dropped
  std::lock_guard<std::mutex> lock(evMu_);
  StopPlaybackLocked(false);
  events_.push_back({kSdkDeviceRemoved, 0, 0});
  evCv_.notify_all();
}

SdkResult SimulatedSdk::CheckDevice(int dev) {
  if (!initialized_ || dev != kDeviceNumber || !player_ || !player_->IsPlugged()) {
    return kSdkErrNotConnected;
  }
  if (player_->TakeFault(SimFault::kBusy)) return kSdkErrBusy;
  return kSdkOk;
}

SdkResult SimulatedSdk::SetNotifyWindow(int dev, HWND window) {
  std::lock_guard<std::mutex> lock(mu_);
  if (!initialized_ || dev != kDeviceNumber) return kSdkErrNotConnected;
  window_ = window;
  return kSdkOk;
}

SdkResult SimulatedSdk::GetDeviceCount(int* count) {
  std::lock_guard<std::mutex> lock(mu_);
  if (count == nullptr) return kSdkErrInvalidArg;
  *count = 0;
  if (!initialized_) return kSdkErrNotConnected;
  // A player put into the folder after Initialize counts as plugged in.
  if (EnsurePlayer() && player_->IsPlugged() && !player_->TakeFault(SimFault::kNoDevice)) {
    *count = 1;
  }
  return kSdkOk;
}

SdkResult SimulatedSdk::GetSdkVersion(std::uint16_t version[4]) {
  if (version == nullptr) return kSdkErrInvalidArg;
  const std::uint16_t v[4] = {3, 1, 0, 12};
  std::memcpy(version, v, sizeof v);
  return kSdkOk;
}

// ---- enumeration ----------------------------------------------------------------------------

SdkResult SimulatedSdk::FindFirstRootItem(int dev, SdkItem* item) {
  std::lock_guard<std::mutex> lock(mu_);
  if (SdkResult r = CheckDevice(dev)) return r;
  rootStarted_ = true;
  rootCursor_ = 0;
  return FindNextRootItemLocked(item);
}

SdkResult SimulatedSdk::FindNextRootItem(int dev, SdkItem* item) {
  std::lock_guard<std::mutex> lock(mu_);
  if (SdkResult r = CheckDevice(dev)) return r;
  if (!rootStarted_) return kSdkErrNoMoreItems;
  return FindNextRootItemLocked(item);
}

SdkResult SimulatedSdk::FindNextRootItemLocked(SdkItem* item) {
  if (item == nullptr) return kSdkErrInvalidArg;
  static const struct { std::uint32_t id; const char16_t* name; } kRoots[] = {
      {kSdkDataRootId, u"DATA"}, {kSdkPlaylistRootId, u"PLAY LISTS"}};
  if (rootCursor_ >= 2) return kSdkErrNoMoreItems;
  const auto& root = kRoots[rootCursor_++];
  item->id = root.id;
  item->type = kSdkDataFolder;
  item->name = root.name;
  return kSdkOk;
}

SdkResult SimulatedSdk::FindFirstPlaylist(int dev, const SdkItem& root, SdkItem* playlist) {
  std::lock_guard<std::mutex> lock(mu_);
  if (SdkResult r = CheckDevice(dev)) return r;
  if (root.id != kSdkPlaylistRootId) return kSdkErrInvalidId;
  if (playlist == nullptr) return kSdkErrInvalidArg;
  playlistStarted_ = true;
  playlistCursor_ = 0;
  return player_->NextPlaylist(&playlistCursor_, playlist);
}

SdkResult SimulatedSdk::FindNextPlaylist(int dev, const SdkItem& root, SdkItem* playlist) {
  std::lock_guard<std::mutex> lock(mu_);
  if (SdkResult r = CheckDevice(dev)) return r;
  if (root.id != kSdkPlaylistRootId) return kSdkErrInvalidId;
  if (playlist == nullptr) return kSdkErrInvalidArg;
  if (!playlistStarted_) return kSdkErrNoMoreItems;
  return player_->NextPlaylist(&playlistCursor_, playlist);
}

SdkResult SimulatedSdk::FindFirstChild(int dev, const SdkItem& parent, SdkItem* child) {
  std::lock_guard<std::mutex> lock(mu_);
  if (SdkResult r = CheckDevice(dev)) return r;
  if (child == nullptr) return kSdkErrInvalidArg;
  std::uint64_t& cursor = cursors_[{parent.id, parent.type == kSdkPlaylist}];
  cursor = 0;
  return player_->NextChild(parent, &cursor, child);
}

SdkResult SimulatedSdk::FindNextChild(int dev, const SdkItem& parent, SdkItem* child) {
  std::lock_guard<std::mutex> lock(mu_);
  if (SdkResult r = CheckDevice(dev)) return r;
  if (child == nullptr) return kSdkErrInvalidArg;
  auto it = cursors_.find({parent.id, parent.type == kSdkPlaylist});
  if (it == cursors_.end()) return kSdkErrNoMoreItems;  // no walk of this parent was begun
  return player_->NextChild(parent, &it->second, child);
}

// ---- playlists ------------------------------------------------------------------------------

SdkResult SimulatedSdk::CreatePlaylist(int dev, const SdkItem& root, SdkItem* playlist) {
  std::lock_guard<std::mutex> lock(mu_);
  if (SdkResult r = CheckDevice(dev)) return r;
  if (root.id != kSdkPlaylistRootId) return kSdkErrInvalidId;
  if (playlist == nullptr) return kSdkErrInvalidArg;
  if (playlist->type != kSdkPlaylist) return kSdkErrUnsupportedType;
  std::uint32_t id = 0;
  const SdkResult r = player_->CreatePlaylist(SdkStringToUtf8(playlist->name), &id);
  if (r == kSdkOk) playlist->id = id;
  return r;
}

SdkResult SimulatedSdk::DeletePlaylist(int dev, const SdkItem& playlist) {
  std::lock_guard<std::mutex> lock(mu_);
  if (SdkResult r = CheckDevice(dev)) return r;
  if (playlist.type != kSdkPlaylist) return kSdkErrUnsupportedType;
  return player_->DeletePlaylist(playlist.id);
}

SdkResult SimulatedSdk::RenamePlaylist(int dev, const SdkItem& playlist, const char16_t* name) {
  std::lock_guard<std::mutex> lock(mu_);
  if (SdkResult r = CheckDevice(dev)) return r;
  if (playlist.type != kSdkPlaylist) return kSdkErrUnsupportedType;
  if (name == nullptr) return kSdkErrInvalidArg;
  return player_->RenamePlaylist(playlist.id, Utf8Of(name));
}

SdkResult SimulatedSdk::AddTracksToPlaylist(int dev, const SdkItem& playlist,
                                            std::uint32_t count, const SdkItem* tracks) {
  std::lock_guard<std::mutex> lock(mu_);
  if (SdkResult r = CheckDevice(dev)) return r;
  if (playlist.type != kSdkPlaylist) return kSdkErrUnsupportedType;
  if (count > 0 && tracks == nullptr) return kSdkErrInvalidArg;
  std::vector<std::uint32_t> ids;
  ids.reserve(count);
  for (std::uint32_t i = 0; i < count; ++i) {
    if (tracks[i].type != kSdkTrack) return kSdkErrUnsupportedType;
    ids.push_back(tracks[i].id);
  }
  return player_->AddTracksToPlaylist(playlist.id, ids);
}

// ---- attributes -----------------------------------------------------------------------------

SdkResult SimulatedSdk::GetItemAttributes(int dev, const SdkItem& item, std::uint32_t bufferSize,
                                          std::uint32_t* size, void* buffer) {
  std::lock_guard<std::mutex> lock(mu_);
  if (SdkResult r = CheckDevice(dev)) return r;
  if (size == nullptr) return kSdkErrInvalidArg;
  std::vector<std::uint8_t> block;
  if (SdkResult r = player_->GetAttributeBlock(item, &block)) return r;
  *size = std::uint32_t(block.size());
  if (bufferSize == 0) return kSdkOk;
  if (buffer == nullptr || bufferSize < block.size()) return kSdkErrInvalidArg;
  std::memcpy(buffer, block.data(), block.size());
  return kSdkOk;
}

SdkResult SimulatedSdk::SetItemAttribute(int dev, const SdkItem& item, const char16_t* name,
                                         std::uint16_t valueType, std::uint32_t valueLength,
                                         const void* value) {
  std::lock_guard<std::mutex> lock(mu_);
  if (SdkResult r = CheckDevice(dev)) return r;
  if (name == nullptr || (value == nullptr && valueLength > 0) ||
      valueLength > kMaxAttributeValue) {
    return kSdkErrInvalidArg;
  }
  if (valueType > kSdkAttrUtf16) return kSdkErrUnsupportedType;
  // One entry, checked by the same reader as a whole block.
  AttributeBlockWriter w;
  w.AddRaw(valueType, Utf8Of(name),
           std::string_view(static_cast<const char*>(value), valueLength));
  const std::vector<std::uint8_t> block = w.Finish();
  std::vector<SdkAttribute> attrs;
  if (!ParseAttributeBlock(block.data(), block.size(), &attrs) || attrs.size() != 1) {
    return kSdkErrInvalidArg;
  }
  return player_->SetAttribute(item, attrs[0]);
}

// ---- adding, deleting, copying out ----------------------------------------------------------

SdkResult SimulatedSdk::AddItem(int dev, std::uint32_t type, const char16_t* source,
                                std::uint32_t blockLength, const void* block) {
  std::lock_guard<std::mutex> lock(mu_);
  if (SdkResult r = CheckDevice(dev)) return r;
  if (block == nullptr && blockLength > 0) return kSdkErrInvalidArg;
  std::vector<SdkAttribute> attrs;
  if (blockLength > 0 && !ParseAttributeBlock(block, blockLength, &attrs)) {
    return kSdkErrInvalidArg;
  }
  if (type == kSdkDataFolder) {
    if (player_->TakeFault(SimFault::kFolderExists)) return kSdkErrFolderExists;
    std::string name = Utf8Of(source);
    if (name.empty()) {
      for (const SdkAttribute& a : attrs) {
        if (EqualsNoCase(a.name, kAttrFolderName) && a.type != kSdkAttrNumber) name = a.text;
      }
    }
    std::uint32_t id = 0;
    if (SdkResult r = player_->CreateFolder(name, attrs, &id)) return r;
    Emit(kSdkUploadDone, 0, LPARAM(id));
    return kSdkOk;
  }
  if (type != kSdkTrack && type != kSdkDataFile) return kSdkErrUnsupportedType;
  if (player_->TakeFault(SimFault::kProtected)) return kSdkErrCopyProtected;
  if (player_->TakeFault(SimFault::kStorageFull)) return kSdkErrStorageFull;
  if (player_->TakeFault(SimFault::kFileExists)) return kSdkErrFileExists;
  if (source == nullptr) return kSdkErrInvalidArg;
  const std::string windowsPath = Utf8Of(source);
  const std::string path = ToPosixPath(windowsPath);
  // Only a plain file: a FIFO would hold the caller in open() for good.
  OpenFileError error = OpenFileError::kNone;
  const int fd = path.empty() ? -1 : OpenRegularFile(path, error);
  struct stat st;
  if (fd < 0 || ::fstat(fd, &st) != 0) {
    if (fd >= 0) ::close(fd);
    return kSdkErrBadPath;
  }
  Job job;
  job.upload = true;
  job.source = fd;
  job.size = std::uint64_t(st.st_size);
  if (SdkResult r = player_->PrepareUpload(type, attrs, LastComponent(windowsPath), job.size,
                                           std::uint32_t(st.st_mtime), &job.pending)) {
    ::close(fd);
    return r;
  }
  job.generation = generation_.load();
  Enqueue(uploads_, std::move(job));
  return kSdkOk;
}

SdkResult SimulatedSdk::DeleteItem(int dev, const SdkItem& item) {
  std::lock_guard<std::mutex> lock(mu_);
  if (SdkResult r = CheckDevice(dev)) return r;
  if (SdkResult r = player_->DeleteItem(item)) return r;
  if (item.type == kSdkTrack) {
    std::lock_guard<std::mutex> ev(evMu_);
    if (play_ != Play::kStopped && playing_ == item.id) StopPlaybackLocked(true);
  }
  return kSdkOk;
}

SdkResult SimulatedSdk::GetItemToFile(int dev, const char16_t* destination,
                                      const SdkItem& item) {
  std::lock_guard<std::mutex> lock(mu_);
  if (SdkResult r = CheckDevice(dev)) return r;
  if (destination == nullptr) return kSdkErrInvalidArg;
  if (item.type != kSdkTrack && item.type != kSdkDataFile && item.type != kSdkDataFolder) {
    return kSdkErrUnsupportedType;
  }
  SimItem it;
  if (!player_->GetItem(item.id, &it) || (item.type == kSdkTrack) != (it.type == kSdkTrack)) {
    return kSdkErrInvalidId;
  }
  if (it.type == kSdkDataFolder) return kSdkErrUnsupportedType;
  if (it.playOnly != 0 || player_->TakeFault(SimFault::kProtected)) return kSdkErrCopyProtected;
  const int source = ::open(player_->ContentPath(it).c_str(), O_RDONLY | O_CLOEXEC);
  struct stat sourceStat;
  if (source < 0 || ::fstat(source, &sourceStat) != 0) {
    if (source >= 0) ::close(source);
    return kSdkErrLibraryCorrupt;
  }
  const std::string path = ToPosixPath(Utf8Of(destination));
  struct stat targetStat;
  // Emptying the player's own file would destroy what is being copied.
  if (path.empty() || (::stat(path.c_str(), &targetStat) == 0 &&
                       targetStat.st_dev == sourceStat.st_dev &&
                       targetStat.st_ino == sourceStat.st_ino)) {
    ::close(source);
    return kSdkErrBadPath;
  }
  const int target = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (target < 0) {
    ::close(source);
    return kSdkErrBadPath;
  }
  Job job;
  job.source = source;
  job.target = target;
  job.targetPath = path;
  job.size = std::uint64_t(sourceStat.st_size);
  job.generation = generation_.load();
  Enqueue(downloads_, std::move(job));
  return kSdkOk;
}

// ---- transfers ------------------------------------------------------------------------------

void SimulatedSdk::Enqueue(Lane& lane, Job job) {
  {
    std::lock_guard<std::mutex> lock(lane.mu);
    lane.jobs.push_back(std::move(job));
    lane.queued.store(lane.jobs.size(), std::memory_order_release);
    lane.enqueuer.store(CurrentPlace(), std::memory_order_relaxed);
  }
  lane.cv.notify_one();
}

void SimulatedSdk::LaneLoop(Lane* lane) {
  SpinBudget spin;
  for (;;) {
    // A sender asks for its next file soon after the last one's notice: a short spin saves
    // the wake-up of a sleep, which costs as much as a third of a small file's copy.
    const std::uint64_t spinStart = NowNs();
    bool caught = lane->queued.load(std::memory_order_acquire) != 0;
    if (!caught) {
      for (const std::uint64_t until = spinStart + std::uint64_t{spin.us()} * 1000u; NowNs() < until;) {
        if (lane->queued.load(std::memory_order_acquire) != 0) {
          caught = true;
          break;
        }
        CpuRelax();
      }
    }
    Job job;
    {
      std::unique_lock<std::mutex> lock(lane->mu);
      lane->cv.wait(lock, [lane] { return lane->stop || !lane->jobs.empty(); });
      if (lane->jobs.empty()) return;  // stopping
      job = std::move(lane->jobs.front());
      lane->jobs.pop_front();
      lane->queued.store(lane->jobs.size(), std::memory_order_release);
      if (lane->stop) {
        lock.unlock();
        DropJob(job);
        continue;
      }
    }
    if (caught) {
      spin.Caught();
    } else {
      spin.Slept((NowNs() - spinStart) / 1000u);
    }
    // Woken beside the sender's thread, the lane would hold it off while it notices.
    MoveOffProcessor(lane->enqueuer.load(std::memory_order_relaxed));
    if (Current(job)) RunJob(job);
    else DropJob(job);
  }
}

void SimulatedSdk::DropJob(Job& job) {
  if (job.source >= 0) ::close(job.source);
  if (job.upload) {
    player_->AbandonUpload(job.pending);
  } else {
    ::close(job.target);
    ::unlink(job.targetPath.c_str());
  }
}

void SimulatedSdk::RunJob(Job& job) {
  const UINT progress = job.upload ? kSdkUploadProgress : kSdkDownloadProgress;
  int lastPercent = -1;
  auto step = [&](std::uint64_t done) {
    // A test's pull at a known point of the copy, which a watching thread cannot hit.
    if (job.upload && done < job.size && player_->TakeFault(SimFault::kUnplugMidUpload)) {
      player_->Unplug();
    }
    if (!Current(job)) return false;
    const int percent =
        job.size == 0 ? 100 : int(std::min<std::uint64_t>(100, done * 100 / job.size));
    if (percent != lastPercent) {
      lastPercent = percent;
      EmitFromLane(progress, WPARAM(percent), 0);
    }
    return true;
  };

  if (job.upload) {
    const int target = player_->OpenUploadTarget(&job.pending);
    const int err = target < 0 ? errno : CopyFileData(job.source, target, step);
    // The source is closed once the notice is out: nothing waits for it.
    const int source = std::exchange(job.source, -1);
    if (err == ECANCELED || !Current(job)) {
      ::close(source);
      player_->AbandonUpload(job.pending);
      return;
    }
    if (err != 0) {
      ::close(source);
      player_->AbandonUpload(job.pending);
      EmitFromLane(kSdkUploadDone, err == ENOSPC ? kSdkErrStorageFull : kSdkErrTransfer, 0);
      return;
    }
    if (lastPercent < 100) EmitFromLane(progress, 100, 0);  // an empty file
    const SdkResult r = player_->CommitUpload(job.pending);
    EmitFromLane(kSdkUploadDone, r, r == kSdkOk ? LPARAM(job.pending.item.id) : 0);
    ::close(source);
    player_->RefillSpares();  // while the sender turns to its next file
    return;
  }

  int err = player_->TakeFault(SimFault::kDiskFull) ? ENOSPC : CopyFileData(job.source, job.target, step);
  if (::close(job.target) != 0 && err == 0) err = errno;
  ::close(job.source);
  job.source = -1;
  if (err != 0 || !Current(job)) {
    ::unlink(job.targetPath.c_str());  // an incomplete copy is no copy
    if (err == ECANCELED || !Current(job)) return;
    EmitFromLane(kSdkDownloadDone, err == ENOSPC ? kSdkErrDownloadDiskFull : kSdkErrCannotContinueCopy,
         0);
    return;
  }
  if (lastPercent < 100) EmitFromLane(progress, 100, 0);
  EmitFromLane(kSdkDownloadDone, 0, 0);
}

// ---- notices and playback -------------------------------------------------------------------

void SimulatedSdk::Emit(UINT message, WPARAM wParam, LPARAM lParam) {
  {
    std::lock_guard<std::mutex> lock(evMu_);
    events_.push_back({message, wParam, lParam});
  }
  evCv_.notify_all();
}

void SimulatedSdk::EmitFromLane(UINT message, WPARAM wParam, LPARAM lParam) {
  // Posting here saves the event thread's turn, a wake-up per notice.
  std::unique_lock<std::mutex> call(mu_, std::try_to_lock);
  if (call.owns_lock()) {
    bool first = false;
    {
      std::lock_guard<std::mutex> lock(evMu_);
      first = events_.empty() && !posting_;
    }
    // Notices emitted after this check wait for mu_ in the event thread: they follow.
    if (first) {
      PostNotice(message, wParam, lParam);
      return;
    }
    call.unlock();
  }
  Emit(message, wParam, lParam);
}

void SimulatedSdk::PostNotice(UINT message, WPARAM wParam, LPARAM lParam) {
  if (window_ == 0 || !player_) return;
  if (player_->TakeFault(SimFault::kEventsNeverCome)) return;
  PostMessage(window_, message, wParam, lParam);
}

void SimulatedSdk::StopPlaybackLocked(bool notify) {
  if (play_ == Play::kStopped) return;
  play_ = Play::kStopped;
  playing_ = 0;
  if (notify) events_.push_back({kSdkPlaybackStopped, 0, 0});
  evCv_.notify_all();
}

void SimulatedSdk::EventLoop() {
  std::unique_lock<std::mutex> lock(evMu_);
  for (;;) {
    if (stopEvents_) return;
    if (play_ == Play::kPlaying && Clock::now() >= endAt_) StopPlaybackLocked(true);
    if (events_.empty()) {
      if (play_ == Play::kPlaying) evCv_.wait_until(lock, endAt_);
      else evCv_.wait(lock);
      continue;
    }
    std::deque<Event> batch;
    batch.swap(events_);
    posting_ = true;
    lock.unlock();
    {
      // Posting under the call lock: whatever call caused a notice has returned by now.
      std::lock_guard<std::mutex> call(mu_);
      for (const Event& e : batch) PostNotice(e.message, e.wParam, e.lParam);
    }
    lock.lock();
    posting_ = false;
  }
}

SdkResult SimulatedSdk::PlaybackControl(int dev, std::uint32_t command, void* argument) {
  std::lock_guard<std::mutex> lock(mu_);
  if (SdkResult r = CheckDevice(dev)) return r;
  switch (command) {
    case kSdkPlay: {
      const auto* item = static_cast<const SdkItem*>(argument);
      if (item == nullptr) return kSdkErrInvalidArg;
      if (item->type != kSdkTrack) return kSdkErrUnsupportedType;
      SimItem track;
      if (!player_->GetItem(item->id, &track) || track.type != kSdkTrack) return kSdkErrInvalidId;
      std::lock_guard<std::mutex> ev(evMu_);
      // A new track replaces the one playing without a stopped notice.
      play_ = Play::kPlaying;
      playing_ = track.id;
      endAt_ = Clock::now() + std::chrono::seconds(track.length);
      events_.push_back({kSdkTrackStarted, WPARAM(track.id), 0});
      evCv_.notify_all();
      return kSdkOk;
    }
    case kSdkStop: {
      std::lock_guard<std::mutex> ev(evMu_);
      StopPlaybackLocked(true);
      return kSdkOk;
    }
    case kSdkPause: {
      std::lock_guard<std::mutex> ev(evMu_);
      if (play_ == Play::kStopped) return kSdkErrFail;
      if (play_ == Play::kPlaying) {
        remaining_ = std::max(Clock::duration::zero(), endAt_ - Clock::now());
        play_ = Play::kPaused;
      }
      return kSdkOk;
    }
    case kSdkResume: {
      std::lock_guard<std::mutex> ev(evMu_);
      if (play_ == Play::kStopped) return kSdkErrFail;
      if (play_ == Play::kPaused) {
        endAt_ = Clock::now() + remaining_;
        play_ = Play::kPlaying;
        evCv_.notify_all();
      }
      return kSdkOk;
    }
    default:
      return kSdkErrInvalidArg;
  }
}

// ---- device properties ----------------------------------------------------------------------

SdkResult SimulatedSdk::GetDeviceProperty(int dev, std::uint32_t property, void* buffer,
                                          std::uint32_t bufferSize) {
  std::lock_guard<std::mutex> lock(mu_);
  if (SdkResult r = CheckDevice(dev)) return r;
  const SimProperties p = player_->GetProperties();
  std::string bytes;
  auto add = [&bytes](const void* data, std::size_t n) {
    bytes.append(static_cast<const char*>(data), n);
  };
  auto addString = [&](const std::string& text) {
    SdkString w = Utf8ToSdkString(text);
    w.push_back(u'\0');
    add(w.data(), w.size() * sizeof(char16_t));
  };
  switch (property) {
    case kSdkPropUniqueId: add(p.uniqueId, 16); break;
    case kSdkPropFirmwareVersion: add(p.firmwareVersion, 8); break;
    case kSdkPropHardwareVersion: add(p.hardwareVersion, 8); break;
    case kSdkPropModelName: addString(p.modelName); break;
    case kSdkPropOwnerName: addString(p.ownerName); break;
    case kSdkPropProperty4: add(&p.property4, 4); break;
    case kSdkPropVolume: add(&p.volume, 4); break;
    case kSdkPropMute: add(&p.mute, 4); break;
    case kSdkPropSpace: {
      const std::uint64_t total = p.capacityBytes;
      const std::uint64_t free = player_->FreeBytes();
      const std::uint32_t v[4] = {std::uint32_t(total), std::uint32_t(total >> 32),
                                  std::uint32_t(free), std::uint32_t(free >> 32)};
      add(v, sizeof v);
      break;
    }
    case kSdkPropClock: {
      const std::time_t wall = std::time_t(LocalWallSeconds() + p.clockOffset);
      std::tm tm{};
      gmtime_r(&wall, &tm);
      std::int16_t c[8];
      ClockFieldsFromTm(tm, c);
      add(c, sizeof c);
      break;
    }
    default:
      return kSdkErrUnsupportedType;
  }
  if (buffer == nullptr || bufferSize < bytes.size()) return kSdkErrInvalidArg;
  std::memcpy(buffer, bytes.data(), bytes.size());
  return kSdkOk;
}

SdkResult SimulatedSdk::SetDeviceProperty(int dev, std::uint32_t property, const void* buffer,
                                          std::uint32_t bufferSize) {
  std::lock_guard<std::mutex> lock(mu_);
  if (SdkResult r = CheckDevice(dev)) return r;
  if (buffer == nullptr) return kSdkErrInvalidArg;
  switch (property) {
    case kSdkPropOwnerName: {
      // Up to the terminator, or the whole buffer when it has none.
      std::u16string text(bufferSize / 2, u'\0');
      std::memcpy(text.data(), buffer, text.size() * 2);
      const std::size_t nul = text.find(u'\0');
      if (nul != std::u16string::npos) text.resize(nul);
      if (text.size() > kSdkMaxNameLength) return kSdkErrInvalidArg;
      return player_->SetOwnerName(SdkStringToUtf8(text));
    }
    case kSdkPropVolume:
    case kSdkPropMute: {
      if (bufferSize < 4) return kSdkErrInvalidArg;
      std::int32_t v;
      std::memcpy(&v, buffer, 4);
      return property == kSdkPropVolume ? player_->SetVolume(v) : player_->SetMute(v);
    }
    case kSdkPropClock: {
      if (bufferSize < 16) return kSdkErrInvalidArg;
      std::int16_t c[8];
      std::memcpy(c, buffer, sizeof c);
      if (!ValidClock(c)) return kSdkErrInvalidArg;
      std::tm tm = TmFromClockFields(c);
      return player_->SetClockOffset(std::int64_t(timegm(&tm)) - LocalWallSeconds());
    }
    case kSdkPropUniqueId:
    case kSdkPropFirmwareVersion:
    case kSdkPropModelName:
    case kSdkPropProperty4:
    case kSdkPropSpace:
    case kSdkPropHardwareVersion:
      return kSdkErrWriteProtected;
    default:
      return kSdkErrUnsupportedType;
  }
}

}  // namespace

std::unique_ptr<VendorSdk> CreateVendorSdk(std::string_view storeFolder) {
  if (!g_installed.load()) return nullptr;
  return std::make_unique<SimulatedSdk>(storeFolder);
}

void SetVendorSdkInstalled(bool installed) { g_installed.store(installed); }
bool IsVendorSdkInstalled() { return g_installed.load(); }

}  // namespace platform
