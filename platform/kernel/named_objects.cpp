// Named mappings and semaphores in shared memory, and cross-process locks.
//
// Both kinds of shared object start with a creator record (magic, pid, start time). The
// magic is written last, so an object without it is still being made (or its maker died
// half-way) and counts as absent. Creation, stale-object removal and the creator's final
// unlink run under one lock file per namespace, so two creators never race.
#include <fcntl.h>
#include <linux/futex.h>
#include <poll.h>
#include <pthread.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/kernel/kernel.h"
#include "platform/kernel/shared_mutex.h"
#include "platform/kernel/spin.h"

namespace platform {

namespace {

constexpr std::uint32_t kMappingMagic = 0x4D564F54;    // "TOVM"
constexpr std::uint32_t kSemaphoreMagic = 0x53564F54;  // "TOVS"
constexpr std::size_t kHeaderSize = 4096;              // keeps the data page-aligned

struct CreatorRecord {
  std::uint32_t magic;
  std::uint32_t pid;
  std::uint64_t start;
};

std::uint32_t LoadMagic(const CreatorRecord* r) { return __atomic_load_n(&r->magic, __ATOMIC_ACQUIRE); }
void StoreMagic(CreatorRecord* r, std::uint32_t m) { __atomic_store_n(&r->magic, m, __ATOMIC_RELEASE); }

bool CreatorAlive(const CreatorRecord* r) { return IsProcessAlive(r->pid, r->start); }

// Exclusive lock of the namespace's creation lock file, held for one creation or removal.
class CreationLock {
 public:
  CreationLock() {
    std::string folder = RuntimeFolder();
    if (folder.empty()) return;
    fd_ = ::open((folder + "/kernel-objects.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd_ < 0) return;
    while (::flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
    }
  }
  ~CreationLock() {
    if (fd_ >= 0) ::close(fd_);  // closing drops the lock
  }
  bool ok() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

// Names this process created and must remove again.
struct CreatedObject {
  std::string shmName;
  dev_t dev;
  ino_t ino;
};

std::mutex& CreatedMutex() {
  static auto* m = new std::mutex;
  return *m;
}
std::vector<CreatedObject>& Created() {
  static auto* v = new std::vector<CreatedObject>;
  return *v;
}

// Unlinks the name when it still refers to the object we made.
void UnlinkIfOurs(const CreatedObject& o) {
  int fd = ::shm_open(o.shmName.c_str(), O_RDONLY | O_CLOEXEC, 0);
  if (fd < 0) return;
  struct stat st {};
  bool ours = ::fstat(fd, &st) == 0 && st.st_dev == o.dev && st.st_ino == o.ino;
  ::close(fd);
  if (ours) ::shm_unlink(o.shmName.c_str());
}

void RemoveAtExit() { RemoveCreatedKernelObjects(); }

void RememberCreated(const std::string& shmName, int fd) {
  struct stat st {};
  if (::fstat(fd, &st) != 0) return;
  std::lock_guard<std::mutex> lock(CreatedMutex());
  static bool hooked = false;
  if (!hooked) {
    hooked = true;
    std::atexit(RemoveAtExit);
    std::at_quick_exit(RemoveAtExit);
  }
  Created().push_back({shmName, st.st_dev, st.st_ino});
}

void ForgetAndUnlink(const std::string& shmName, int fd) {
  struct stat st {};
  if (::fstat(fd, &st) != 0) return;
  CreationLock creation;
  std::lock_guard<std::mutex> lock(CreatedMutex());
  auto& v = Created();
  for (auto it = v.begin(); it != v.end(); ++it) {
    if (it->shmName == shmName && it->dev == st.st_dev && it->ino == st.st_ino) {
      UnlinkIfOurs(*it);
      v.erase(it);
      return;
    }
  }
}

// Maps the object's first `length` bytes, shared; on failure closes the descriptor and,
// for an object this call just created, removes its name again.
void* MapOrDiscard(int fd, std::size_t length, int prot, const std::string& shmName, bool created) {
  void* p = ::mmap(nullptr, length, prot, MAP_SHARED, fd, 0);
  if (p != MAP_FAILED) return p;
  ::close(fd);
  if (created) ::shm_unlink(shmName.c_str());
  return nullptr;
}

// Opens a live creator's object: the descriptor and its mapped header, or -1.
int OpenLive(const std::string& shmName, std::uint32_t magic, std::size_t minSize) {
  int fd = ::shm_open(shmName.c_str(), O_RDWR | O_CLOEXEC, 0);
  if (fd < 0) return -1;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || st.st_uid != ::geteuid() || static_cast<std::size_t>(st.st_size) < minSize) {
    ::close(fd);
    return -1;
  }
  void* p = MapOrDiscard(fd, sizeof(CreatorRecord), PROT_READ, shmName, false);
  if (p == nullptr) return -1;
  auto* rec = static_cast<const CreatorRecord*>(p);
  bool live = LoadMagic(rec) == magic && CreatorAlive(rec);
  ::munmap(p, sizeof(CreatorRecord));
  if (!live) {
    ::close(fd);
    return -1;
  }
  return fd;
}

enum class CreateOutcome { Created, Existing, Failed };

// Under the creation lock: opens the object of a live creator, or removes a stale one and
// creates a fresh object of totalSize bytes whose creator record names this process (the
// caller initialises it and writes the magic).
CreateOutcome CreateOrOpen(const std::string& shmName, std::uint32_t magic, std::size_t totalSize,
                           int* fdOut) {
  for (int attempt = 0; attempt < 2; ++attempt) {
    int fd = ::shm_open(shmName.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd >= 0) {
      if (::ftruncate(fd, static_cast<off_t>(totalSize)) != 0) {
        std::fprintf(stderr, "tovarin: cannot size the shared object %s: %s\n", shmName.c_str(),
                     std::strerror(errno));
        ::close(fd);
        ::shm_unlink(shmName.c_str());
        return CreateOutcome::Failed;
      }
      *fdOut = fd;
      return CreateOutcome::Created;
    }
    if (errno != EEXIST) {
      std::fprintf(stderr, "tovarin: cannot create the shared object %s: %s\n", shmName.c_str(),
                   std::strerror(errno));
      return CreateOutcome::Failed;
    }
    fd = OpenLive(shmName, magic, sizeof(CreatorRecord));
    if (fd >= 0) {
      *fdOut = fd;
      return CreateOutcome::Existing;
    }
    // Left behind by a creator that died (or never finished): remove and make it anew.
    ::shm_unlink(shmName.c_str());
  }
  return CreateOutcome::Failed;
}

// Names this process as the creator and publishes the object: call once the rest of its
// header is in place, since the magic is what makes it visible.
void StampCreator(CreatorRecord* r, std::uint32_t magic) {
  r->pid = GetCurrentProcessId();
  r->start = CurrentProcessStartTime();
  StoreMagic(r, magic);
}

long Futex(std::uint32_t* addr, int op, std::uint32_t val, const timespec* ts) {
  return ::syscall(SYS_futex, addr, op, val, ts, nullptr, FUTEX_BITSET_MATCH_ANY);
}

}  // namespace

void RemoveCreatedKernelObjects() {
  std::lock_guard<std::mutex> lock(CreatedMutex());
  for (const auto& o : Created()) UnlinkIfOurs(o);
  Created().clear();
}

// ---- views ----

MappedView::MappedView(MappedView&& other) noexcept { *this = std::move(other); }

MappedView& MappedView::operator=(MappedView&& other) noexcept {
  if (this != &other) {
    Unmap();
    base_ = other.base_;
    mapLength_ = other.mapLength_;
    data_ = other.data_;
    size_ = other.size_;
    other.base_ = other.data_ = nullptr;
    other.mapLength_ = other.size_ = 0;
  }
  return *this;
}

MappedView::~MappedView() { Unmap(); }

void MappedView::Unmap() {
  if (base_ != nullptr) ::munmap(base_, mapLength_);
  base_ = data_ = nullptr;
  mapLength_ = size_ = 0;
}

bool MappedView::Flush(std::size_t offset, std::size_t length) const {
  // Every mapping is named shared memory, which every process that maps it sees at once:
  // there is nothing to write back (msync would only cost a system call per request).
  (void)length;
  return data_ != nullptr && offset <= size_;
}

// ---- mappings ----

namespace {
struct MappingHeader {
  CreatorRecord creator;
  std::uint64_t size;
};
}  // namespace

std::unique_ptr<FileMapping> FileMapping::Create(std::string_view name, std::size_t size,
                                                 bool* alreadyExisted) {
  if (alreadyExisted != nullptr) *alreadyExisted = false;
  if (name.empty() || size == 0) return nullptr;
  std::string shmName = KernelObjectName("map", name);
  CreationLock creation;
  if (!creation.ok()) return nullptr;
  int fd = -1;
  CreateOutcome outcome = CreateOrOpen(shmName, kMappingMagic, kHeaderSize + size, &fd);
  if (outcome == CreateOutcome::Failed) return nullptr;
  void* p = MapOrDiscard(fd, kHeaderSize, PROT_READ | PROT_WRITE, shmName, outcome == CreateOutcome::Created);
  if (p == nullptr) return nullptr;
  auto* header = static_cast<MappingHeader*>(p);
  std::unique_ptr<FileMapping> m(new FileMapping);
  m->fd_ = fd;
  m->shmName_ = shmName;
  if (outcome == CreateOutcome::Created) {
    header->size = size;
    StampCreator(&header->creator, kMappingMagic);
    m->creator_ = true;
    m->size_ = size;
    RememberCreated(shmName, fd);
  } else {
    m->size_ = header->size;
    if (alreadyExisted != nullptr) *alreadyExisted = true;
  }
  ::munmap(p, kHeaderSize);
  return m;
}

std::unique_ptr<FileMapping> FileMapping::Open(std::string_view name) {
  if (name.empty()) return nullptr;
  std::string shmName = KernelObjectName("map", name);
  int fd = OpenLive(shmName, kMappingMagic, kHeaderSize);
  if (fd < 0) return nullptr;
  void* p = MapOrDiscard(fd, sizeof(MappingHeader), PROT_READ, shmName, false);
  if (p == nullptr) return nullptr;
  std::size_t size = static_cast<const MappingHeader*>(p)->size;
  ::munmap(p, sizeof(MappingHeader));
  std::unique_ptr<FileMapping> m(new FileMapping);
  m->fd_ = fd;
  m->size_ = size;
  m->shmName_ = shmName;
  return m;
}

FileMapping::~FileMapping() {
  if (fd_ < 0) return;
  if (creator_) ForgetAndUnlink(shmName_, fd_);
  ::close(fd_);
}

MappedView FileMapping::Map() const {
  MappedView v;
  std::size_t length = kHeaderSize + size_;
  void* p = ::mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_SHARED, fd_, 0);
  if (p == MAP_FAILED) return v;
  v.base_ = p;
  v.mapLength_ = length;
  v.data_ = static_cast<char*>(p) + kHeaderSize;
  v.size_ = size_;
  return v;
}

// ---- semaphores ----

struct NamedSemaphore::Block {
  CreatorRecord creator;
  std::uint32_t maximum;
  std::atomic<std::uint32_t> count;    // the futex word
  std::atomic<std::uint32_t> waiters;  // sleepers that a release must wake
  std::atomic<std::int32_t> releaser;  // where the last release was made (CurrentPlace; -1: none yet)
};
static_assert(sizeof(std::atomic<std::uint32_t>) == sizeof(std::uint32_t));

namespace {
bool TryTake(std::atomic<std::uint32_t>& count) {
  std::uint32_t c = count.load(std::memory_order_relaxed);
  while (c > 0) {
    if (count.compare_exchange_weak(c, c - 1, std::memory_order_acquire, std::memory_order_relaxed)) return true;
  }
  return false;
}
}  // namespace

std::unique_ptr<NamedSemaphore> NamedSemaphore::Create(std::string_view name, std::uint32_t initial,
                                                       std::uint32_t maximum, bool* alreadyExisted) {
  if (alreadyExisted != nullptr) *alreadyExisted = false;
  if (name.empty() || maximum == 0 || initial > maximum) return nullptr;
  std::string shmName = KernelObjectName("sem", name);
  CreationLock creation;
  if (!creation.ok()) return nullptr;
  int fd = -1;
  CreateOutcome outcome = CreateOrOpen(shmName, kSemaphoreMagic, kHeaderSize, &fd);
  if (outcome == CreateOutcome::Failed) return nullptr;
  void* p = MapOrDiscard(fd, kHeaderSize, PROT_READ | PROT_WRITE, shmName, outcome == CreateOutcome::Created);
  if (p == nullptr) return nullptr;
  std::unique_ptr<NamedSemaphore> s(new NamedSemaphore);
  s->fd_ = fd;
  s->block_ = static_cast<Block*>(p);
  s->shmName_ = shmName;
  if (outcome == CreateOutcome::Created) {
    s->block_->maximum = maximum;
    s->block_->count.store(initial);
    s->block_->waiters.store(0);
    s->block_->releaser.store(-1);
    StampCreator(&s->block_->creator, kSemaphoreMagic);
    s->creator_ = true;
    RememberCreated(shmName, fd);
  } else if (alreadyExisted != nullptr) {
    *alreadyExisted = true;
  }
  return s;
}

std::unique_ptr<NamedSemaphore> NamedSemaphore::Open(std::string_view name) {
  if (name.empty()) return nullptr;
  std::string shmName = KernelObjectName("sem", name);
  int fd = OpenLive(shmName, kSemaphoreMagic, kHeaderSize);
  if (fd < 0) return nullptr;
  void* p = MapOrDiscard(fd, kHeaderSize, PROT_READ | PROT_WRITE, shmName, false);
  if (p == nullptr) return nullptr;
  std::unique_ptr<NamedSemaphore> s(new NamedSemaphore);
  s->fd_ = fd;
  s->block_ = static_cast<Block*>(p);
  s->shmName_ = shmName;
  return s;
}

NamedSemaphore::~NamedSemaphore() {
  if (fd_ < 0) return;
  if (creator_) ForgetAndUnlink(shmName_, fd_);
  ::munmap(block_, kHeaderSize);
  ::close(fd_);
}

bool NamedSemaphore::Release(std::uint32_t count, std::uint32_t* previous) {
  if (count == 0) return false;
  std::uint32_t c = block_->count.load(std::memory_order_relaxed);
  do {
    if (c > block_->maximum || block_->maximum - c < count) return false;
  } while (!block_->count.compare_exchange_weak(c, c + count, std::memory_order_seq_cst,
                                                std::memory_order_relaxed));
  if (previous != nullptr) *previous = c;
  block_->releaser.store(CurrentPlace(), std::memory_order_relaxed);
  if (block_->waiters.load(std::memory_order_seq_cst) > 0) {
    Futex(reinterpret_cast<std::uint32_t*>(&block_->count), FUTEX_WAKE, count, nullptr);
  }
  return true;
}

DWORD NamedSemaphore::Wait(DWORD timeoutMs) {
  auto& count = block_->count;
  if (TryTake(count)) return WAIT_OBJECT_0;
  if (timeoutMs == 0) return WAIT_TIMEOUT;

  const std::uint64_t begin = NowNs();
  std::uint64_t spinNs = std::uint64_t{spin_.UsFor(block_->releaser.load(std::memory_order_relaxed))} * 1000u;
  if (timeoutMs != INFINITE) spinNs = std::min<std::uint64_t>(spinNs, std::uint64_t{timeoutMs} * 1000000u);
  while (NowNs() - begin < spinNs) {
    SpinPause(32);
    if (TryTake(count)) {
      spin_.Caught();
      return WAIT_OBJECT_0;
    }
  }

  timespec deadline{};
  const bool limited = timeoutMs != INFINITE;
  if (limited) {
    std::uint64_t end = begin + std::uint64_t{timeoutMs} * 1000000u;
    deadline.tv_sec = static_cast<time_t>(end / 1000000000u);
    deadline.tv_nsec = static_cast<long>(end % 1000000000u);
  }
  DWORD result = WAIT_TIMEOUT;
  block_->waiters.fetch_add(1, std::memory_order_seq_cst);
  for (;;) {
    if (TryTake(count)) {
      result = WAIT_OBJECT_0;
      break;
    }
    long r = Futex(reinterpret_cast<std::uint32_t*>(&count), FUTEX_WAIT_BITSET, 0, limited ? &deadline : nullptr);
    if (r != 0 && errno == ETIMEDOUT) {
      result = TryTake(count) ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
      break;
    }
  }
  block_->waiters.fetch_sub(1, std::memory_order_seq_cst);
  // A time-out waited at least a millisecond: it halves the spin.
  spin_.Slept((NowNs() - begin) / 1000u);
  return result;
}

// ---- locks ----

namespace {

constexpr std::uint32_t kLockMagic = 0x4C564F54;  // "TOVL"

}  // namespace

struct NamedLock::Shared {
  std::uint32_t magic;
  std::uint32_t reserved;
  char boot[40];
  pthread_mutex_t mutex;
};

namespace {

// The mapped lock files of this process, by path. A mapping is never undone: the mutex of a
// lock that a thread holds is on that thread's robust list, which the system walks when the
// thread ends; an entry in memory that is gone by then ends the walk, and every robust
// mutex behind it (the window table's among them) would stay held by a dead thread.
NamedLock::Shared* MapLockFile(const std::string& path);

}  // namespace

NamedLock::NamedLock(std::string_view name) {
  std::string folder = RuntimeFolder();
  if (folder.empty()) return;
  shared_ = MapLockFile(folder + "/" + KernelObjectName("lock", name).substr(1) + ".mutex");
}

NamedLock::~NamedLock() {
  // A lock file is given back when it is closed: so is this lock, by the thread holding it.
  if (shared_ != nullptr && holder_.load() == GetCurrentThreadId()) Unlock();
}

namespace {

NamedLock::Shared* MapLockFile(const std::string& path) {
  static std::mutex mutex;
  static auto* mapped = new std::map<std::string, NamedLock::Shared*>;  // lives until the process ends
  std::lock_guard<std::mutex> lock(mutex);
  if (auto it = mapped->find(path); it != mapped->end()) return it->second;
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) {
    std::fprintf(stderr, "tovarin: cannot open the lock file %s: %s\n", path.c_str(), std::strerror(errno));
    return nullptr;
  }
  // The file is made ready under its flock, once per boot; the mutex then lives in it.
  while (::flock(fd, LOCK_EX) != 0 && errno == EINTR) {
  }
  using Shared = NamedLock::Shared;
  struct stat st {};
  void* view = MAP_FAILED;
  if (::fstat(fd, &st) == 0 && (st.st_size >= off_t(sizeof(Shared)) || ::ftruncate(fd, sizeof(Shared)) == 0)) {
    view = ::mmap(nullptr, sizeof(Shared), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  }
  Shared* shared = nullptr;
  if (view != MAP_FAILED) {
    shared = static_cast<Shared*>(view);
    const std::string& boot = BootId();
    if (shared->magic != kLockMagic || boot.compare(0, sizeof shared->boot - 1, shared->boot) != 0) {
      InitSharedRobustMutex(&shared->mutex);
      std::memset(shared->boot, 0, sizeof shared->boot);
      boot.copy(shared->boot, sizeof shared->boot - 1);
      shared->magic = kLockMagic;
    }
    mapped->emplace(path, shared);
  } else {
    std::fprintf(stderr, "tovarin: cannot map the lock file %s: %s\n", path.c_str(), std::strerror(errno));
  }
  ::flock(fd, LOCK_UN);
  ::close(fd);
  return shared;
}

}  // namespace

bool NamedLock::Taken(int result) {
  if (result == EOWNERDEAD) {
    // The holder died: the lock passes on, as the system would free a lock file.
    pthread_mutex_consistent(&shared_->mutex);
    result = 0;
  }
  if (result != 0) return false;
  holder_.store(GetCurrentThreadId());
  return true;
}

bool NamedLock::Lock(DWORD timeoutMs) {
  if (shared_ == nullptr) return false;
  if (timeoutMs == INFINITE) {
    int r;
    while ((r = pthread_mutex_lock(&shared_->mutex)) == EINTR) {
    }
    return Taken(r);
  }
  timespec deadline{};
  ::clock_gettime(CLOCK_MONOTONIC, &deadline);
  deadline.tv_sec += static_cast<time_t>(timeoutMs / 1000);
  deadline.tv_nsec += static_cast<long>(timeoutMs % 1000) * 1000000L;
  if (deadline.tv_nsec >= 1000000000L) {
    deadline.tv_nsec -= 1000000000L;
    ++deadline.tv_sec;
  }
  int r;
  while ((r = pthread_mutex_clocklock(&shared_->mutex, CLOCK_MONOTONIC, &deadline)) == EINTR) {
  }
  return Taken(r);
}

bool NamedLock::TryLock() { return shared_ != nullptr && Taken(pthread_mutex_trylock(&shared_->mutex)); }

void NamedLock::Unlock() {
  if (shared_ == nullptr) return;
  holder_.store(0);
  pthread_mutex_unlock(&shared_->mutex);
}

}  // namespace platform
