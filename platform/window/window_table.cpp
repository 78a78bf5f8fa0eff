#include "platform/window/window_table.h"

#include <fcntl.h>
#include <pthread.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/kernel/shared_mutex.h"
#include "platform/text/text.h"

namespace platform::detail {

namespace {

constexpr std::uint32_t kMagic = 0x57564F54;  // "TOVW"
constexpr std::uint32_t kVersion = 1;
constexpr std::uint32_t kIndexBits = 12;
constexpr std::uint32_t kRowCapacity = 1u << kIndexBits;
constexpr std::uint32_t kAtomCapacity = 0x4000;  // 0xC000 .. 0xFFFF
constexpr UINT kFirstAtom = 0xC000;
constexpr std::size_t kNameBytes = 256;

}  // namespace

struct WindowTable::Header {
  std::uint32_t magic;
  std::uint32_t version;
  std::uint32_t rowCapacity;
  std::uint32_t atomCapacity;
  char bootId[64];  // a table from before a reboot holds dead mutex owners: start afresh
  pthread_mutex_t mutex;
  std::uint32_t nextSerial;
  std::uint32_t highWater;  // rows at and above this index are free
  std::uint64_t nextOrder;
  std::uint32_t atomCount;
};

struct WindowTable::Row {
  std::uint32_t handle;  // 0: free
  std::uint32_t parent;
  std::uint32_t pid;
  std::uint32_t tid;
  std::uint64_t start;
  std::uint64_t order;
  char className[kNameBytes];
};

namespace {
constexpr std::size_t kHeaderBytes = 4096;
constexpr std::size_t kRowsBytes = std::size_t{kRowCapacity} * 288;
constexpr std::size_t kAtomsBytes = std::size_t{kAtomCapacity} * kNameBytes;
constexpr std::size_t kTableBytes = kHeaderBytes + kRowsBytes + kAtomsBytes;

// Holds the table's mutex; takes over the state of an owner that died.
class TableLock {
 public:
  explicit TableLock(pthread_mutex_t* m) : m_(m) {
    if (pthread_mutex_lock(m_) == EOWNERDEAD) pthread_mutex_consistent(m_);
  }
  ~TableLock() { pthread_mutex_unlock(m_); }

 private:
  pthread_mutex_t* m_;
};
}  // namespace

WindowTable::Header* WindowTable::header() const { return static_cast<Header*>(base_); }
WindowTable::Row* WindowTable::rows() const {
  return reinterpret_cast<Row*>(static_cast<char*>(base_) + kHeaderBytes);
}
char* WindowTable::atoms() const { return static_cast<char*>(base_) + kHeaderBytes + kRowsBytes; }

WindowTable* WindowTable::Instance() {
  static WindowTable* table = []() -> WindowTable* {
    static_assert(sizeof(Header) <= kHeaderBytes);
    static_assert(sizeof(Row) == 288);
    std::string folder = RuntimeFolder();
    if (folder.empty()) return nullptr;
    std::string path = folder + "/windows";
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) {
      std::fprintf(stderr, "tovarin: cannot open the window table %s: %s\n", path.c_str(), std::strerror(errno));
      return nullptr;
    }
    // Set-up under the file's own lock, so one process initialises and the others wait.
    while (::flock(fd, LOCK_EX) != 0 && errno == EINTR) {
    }
    struct stat st {};
    ::fstat(fd, &st);
    std::string boot = BootId();
    void* base = MAP_FAILED;
    bool fresh = static_cast<std::size_t>(st.st_size) != kTableBytes;
    if (!fresh) {
      base = ::mmap(nullptr, kTableBytes, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
      if (base != MAP_FAILED) {
        auto* h = static_cast<Header*>(base);
        fresh = h->magic != kMagic || h->version != kVersion || h->rowCapacity != kRowCapacity ||
                h->atomCapacity != kAtomCapacity || std::strncmp(h->bootId, boot.c_str(), sizeof h->bootId) != 0;
      }
    }
    if (fresh) {
      if (base != MAP_FAILED) ::munmap(base, kTableBytes);
      base = MAP_FAILED;
      if (::ftruncate(fd, 0) == 0 && ::ftruncate(fd, static_cast<off_t>(kTableBytes)) == 0) {
        base = ::mmap(nullptr, kTableBytes, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
      }
      if (base != MAP_FAILED) {
        auto* h = static_cast<Header*>(base);
        h->version = kVersion;
        h->rowCapacity = kRowCapacity;
        h->atomCapacity = kAtomCapacity;
        std::snprintf(h->bootId, sizeof h->bootId, "%s", boot.c_str());
        InitSharedRobustMutex(&h->mutex);
        h->nextSerial = 1;
        h->nextOrder = 1;
        __atomic_store_n(&h->magic, kMagic, __ATOMIC_RELEASE);
      }
    }
    ::flock(fd, LOCK_UN);
    ::close(fd);
    if (base == MAP_FAILED) {
      std::fprintf(stderr, "tovarin: cannot map the window table %s: %s\n", path.c_str(), std::strerror(errno));
      return nullptr;
    }
    return new WindowTable(base);
  }();
  return table;
}

HWND WindowTable::Add(std::string_view className, HWND parent, DWORD tid) {
  Header* h = header();
  TableLock lock(&h->mutex);
  Row* r = rows();
  std::uint32_t index = 0;
  while (index < kRowCapacity && r[index].handle != 0) ++index;
  if (index == kRowCapacity) {
    // Full: make room from rows whose owners died.
    for (std::uint32_t i = 0; i < h->highWater; ++i) {
      if (!IsProcessAlive(r[i].pid, r[i].start)) {
        r[i].handle = 0;
        if (index == kRowCapacity) index = i;
      }
    }
    if (index == kRowCapacity) return 0;
  }
  // Handle = serial number above the row index: unique until the serial wraps, and the row
  // is found without a search.
  std::uint32_t serial = h->nextSerial;
  h->nextSerial = (serial + 1) & ((1u << (32 - kIndexBits)) - 1);
  if (h->nextSerial == 0) h->nextSerial = 1;
  HWND handle = (serial << kIndexBits) | index;
  Row& row = r[index];
  row.parent = parent;
  row.pid = GetCurrentProcessId();
  row.tid = tid;
  row.start = CurrentProcessStartTime();
  row.order = h->nextOrder++;
  std::size_t n = std::min(className.size(), kNameBytes - 1);
  std::memcpy(row.className, className.data(), n);
  row.className[n] = '\0';
  row.handle = handle;
  if (index >= h->highWater) h->highWater = index + 1;
  return handle;
}

void WindowTable::Remove(HWND window) {
  Header* h = header();
  TableLock lock(&h->mutex);
  Row& row = rows()[window & (kRowCapacity - 1)];
  if (row.handle == window) row.handle = 0;
}

void WindowTable::RemoveProcess() {
  Header* h = header();
  TableLock lock(&h->mutex);
  DWORD pid = GetCurrentProcessId();
  std::uint64_t start = CurrentProcessStartTime();
  Row* r = rows();
  for (std::uint32_t i = 0; i < h->highWater; ++i) {
    if (r[i].handle != 0 && r[i].pid == pid && r[i].start == start) r[i].handle = 0;
  }
}

void WindowTable::Reap(const WindowRow& dead) {
  Header* h = header();
  TableLock lock(&h->mutex);
  Row& row = rows()[dead.handle & (kRowCapacity - 1)];
  if (row.handle == dead.handle && row.pid == dead.pid && row.start == dead.start) row.handle = 0;
}

namespace {
WindowRow ToWindowRow(std::uint32_t handle, std::uint32_t parent, std::uint32_t pid, std::uint32_t tid,
                      std::uint64_t start, std::uint64_t order, const char* cls) {
  WindowRow w;
  w.handle = handle;
  w.parent = parent;
  w.pid = pid;
  w.tid = tid;
  w.start = start;
  w.order = order;
  w.className = cls;
  return w;
}
}  // namespace

std::optional<WindowRow> WindowTable::Find(HWND window) {
  if (window == 0) return std::nullopt;
  Header* h = header();
  TableLock lock(&h->mutex);
  const Row& row = rows()[window & (kRowCapacity - 1)];
  if (row.handle != window) return std::nullopt;
  return ToWindowRow(row.handle, row.parent, row.pid, row.tid, row.start, row.order, row.className);
}

std::vector<WindowRow> WindowTable::Rows() {
  Header* h = header();
  TableLock lock(&h->mutex);
  std::vector<WindowRow> out;
  const Row* r = rows();
  for (std::uint32_t i = 0; i < h->highWater; ++i) {
    if (r[i].handle != 0) {
      out.push_back(ToWindowRow(r[i].handle, r[i].parent, r[i].pid, r[i].tid, r[i].start, r[i].order, r[i].className));
    }
  }
  return out;
}

UINT WindowTable::AddAtom(std::string_view name) {
  if (name.empty() || name.size() >= kNameBytes || name.find('\0') != std::string_view::npos) return 0;
  Header* h = header();
  TableLock lock(&h->mutex);
  char* a = atoms();
  for (std::uint32_t i = 0; i < h->atomCount; ++i) {
    if (EqualsNoCase(name, ReadField(a + std::size_t{i} * kNameBytes, kNameBytes))) return kFirstAtom + i;
  }
  if (h->atomCount == kAtomCapacity) return 0;
  char* slot = a + std::size_t{h->atomCount} * kNameBytes;
  std::memcpy(slot, name.data(), name.size());
  slot[name.size()] = '\0';
  return kFirstAtom + h->atomCount++;
}

std::string WindowTable::AtomName(UINT atom) {
  if (atom < kFirstAtom) return {};
  Header* h = header();
  TableLock lock(&h->mutex);
  std::uint32_t i = atom - kFirstAtom;
  if (i >= h->atomCount) return {};
  return atoms() + std::size_t{i} * kNameBytes;
}

bool OwnerAlive(const WindowRow& row) { return IsProcessAlive(row.pid, row.start); }

}  // namespace platform::detail
