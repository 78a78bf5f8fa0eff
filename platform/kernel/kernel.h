// Kernel-level services: tick count, thread and process ids, and named objects shared
// between the processes of one namespace (named file mappings, named semaphores and
// cross-process locks).
//
// Every name is qualified by the namespace $TOVARIN_NS (default: the numeric user id),
// read at each call, so processes of different namespaces never meet. Lock files and
// sockets live in RuntimeFolder(), a folder of mode 0700.
//
// Named objects remember their creator (process id and start time). A creator that finds
// an object of a dead predecessor removes it and creates a fresh one; an opener never sees
// an object whose creator is dead. The creator removes the name when its handle is
// destroyed and, for handles that live until the process ends, at exit.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "platform/kernel/spin.h"

namespace platform {

using DWORD = std::uint32_t;

constexpr DWORD INFINITE = 0xFFFFFFFF;
constexpr DWORD WAIT_OBJECT_0 = 0x00000000;
constexpr DWORD WAIT_TIMEOUT = 0x00000102;
constexpr DWORD WAIT_FAILED = 0xFFFFFFFF;

// Milliseconds on the monotonic clock; the 32-bit form wraps after 49.7 days.
DWORD GetTickCount();
std::uint64_t GetTickCount64();
void Sleep(DWORD milliseconds);

DWORD GetCurrentThreadId();   // the kernel's thread id
DWORD GetCurrentProcessId();

// $TOVARIN_NS, or the numeric user id when unset or empty.
std::string KernelNamespace();
// The namespace's runtime folder ($XDG_RUNTIME_DIR/tovarin/<ns>, else
// /tmp/tovarin-<uid>/<ns>), created with mode 0700 and checked to be ours; "" (with a
// message on stderr) when it cannot be made safe.
std::string RuntimeFolder();
// The system-wide name of a named object of the given kind ("map", "sem") in the current
// namespace, as passed to shm_open.
std::string KernelObjectName(std::string_view kind, std::string_view name);

// Process liveness. A process is named by its id and its start time (clock ticks since
// boot, from /proc), so a reused id is not mistaken for the process that died.
std::uint64_t ProcessStartTime(DWORD pid);        // 0 when no such live process (zombies too)
std::uint64_t CurrentProcessStartTime();
bool IsProcessAlive(DWORD pid, std::uint64_t startTime);
// A descriptor that turns readable when a process ends, shared by everyone who watches
// that process and closed when the last of them lets it go.
class ExitDescriptor {
 public:
  explicit ExitDescriptor(int fd) : fd_(fd) {}
  ~ExitDescriptor();
  ExitDescriptor(const ExitDescriptor&) = delete;
  ExitDescriptor& operator=(const ExitDescriptor&) = delete;
  int fd() const { return fd_; }

 private:
  int fd_;
};
// The exit descriptor of that process, or null when none can be had: the process is then
// gone or cannot be watched (this process is never watched).
std::shared_ptr<const ExitDescriptor> ProcessExitWatch(DWORD pid, std::uint64_t startTime);

// A view of a named mapping: the whole object, read and write. The view stays valid after
// the FileMapping handle it came from is destroyed, until Unmap or destruction.
class MappedView {
 public:
  MappedView() = default;
  MappedView(MappedView&& other) noexcept;
  MappedView& operator=(MappedView&& other) noexcept;
  MappedView(const MappedView&) = delete;
  MappedView& operator=(const MappedView&) = delete;
  ~MappedView();

  void* data() const { return data_; }
  std::size_t size() const { return size_; }
  explicit operator bool() const { return data_ != nullptr; }

  // Makes the range visible to the other processes that map it: every mapping is named
  // shared memory, which they see at once, so it only checks the range. Length 0: to the end.
  bool Flush(std::size_t offset = 0, std::size_t length = 0) const;
  void Unmap();

 private:
  friend class FileMapping;
  void* base_ = nullptr;
  std::size_t mapLength_ = 0;
  void* data_ = nullptr;
  std::size_t size_ = 0;
};

// A named block of shared memory (shm_open + mmap), zero-filled at creation.
class FileMapping {
 public:
  // Creates the mapping; when a live process created it already, opens that one instead
  // (its size stands; *alreadyExisted is set). Null on failure (message on stderr).
  static std::unique_ptr<FileMapping> Create(std::string_view name, std::size_t size,
                                             bool* alreadyExisted = nullptr);
  // The mapping of a live creator, or null when there is none.
  static std::unique_ptr<FileMapping> Open(std::string_view name);
  ~FileMapping();

  std::size_t size() const { return size_; }
  // Maps the whole object; an empty view on failure.
  MappedView Map() const;

 private:
  FileMapping() = default;
  int fd_ = -1;
  std::size_t size_ = 0;
  bool creator_ = false;
  std::string shmName_;
};

// A named counting semaphore with a maximum, living in shared memory (futex-based).
class NamedSemaphore {
 public:
  // Creates the semaphore with the given count and maximum; when a live process created it
  // already, opens that one (its counts stand; *alreadyExisted is set). Null when
  // maximum is 0 or initial > maximum, or on failure.
  static std::unique_ptr<NamedSemaphore> Create(std::string_view name, std::uint32_t initial = 0,
                                                std::uint32_t maximum = 1,
                                                bool* alreadyExisted = nullptr);
  // The semaphore of a live creator, or null when there is none.
  static std::unique_ptr<NamedSemaphore> Open(std::string_view name);
  ~NamedSemaphore();

  // Adds count; fails (false, the count unchanged) when that would pass the maximum.
  bool Release(std::uint32_t count = 1, std::uint32_t* previous = nullptr);
  // Takes one unit: WAIT_OBJECT_0, or WAIT_TIMEOUT when the time limit (milliseconds on
  // the monotonic clock, INFINITE for none) passed first. Spins briefly before sleeping
  // when recent releases came quickly, from another processor than the waiter's.
  DWORD Wait(DWORD timeoutMs);

 private:
  struct Block;
  NamedSemaphore() = default;
  int fd_ = -1;
  Block* block_ = nullptr;
  bool creator_ = false;
  std::string shmName_;
  SpinBudget spin_;
};

// A lock shared by the processes of the namespace: a robust process-shared mutex in a lock
// file of the runtime folder. When its holder dies the next one to ask gets it, as the
// system frees a lock file; taking it and giving it back cost no system call while nobody
// else waits. Threads of one process that share one NamedLock object exclude each other
// too; the thread that took it gives it back.
class NamedLock {
 public:
  struct Shared;  // the lock file's contents

  explicit NamedLock(std::string_view name);
  ~NamedLock();
  NamedLock(const NamedLock&) = delete;
  NamedLock& operator=(const NamedLock&) = delete;

  bool valid() const { return shared_ != nullptr; }
  // Waits up to timeoutMs (INFINITE: without limit); false on time-out.
  bool Lock(DWORD timeoutMs = INFINITE);
  bool TryLock();
  void Unlock();

 private:
  bool Taken(int result);
  Shared* shared_ = nullptr;
  std::atomic<DWORD> holder_{0};  // the thread of this process holding it through this object
};

// The allocator's free memory. Threads that come and go (the web server's workers) each
// keep what they freed in an arena of their own, which the system does not get back.
// At most `arenas` arenas for the process from now on; call it before other threads start.
void LimitAllocatorArenas(int arenas);
// What the allocator holds free goes back to the system.
void ReturnFreeMemory();

// Removes the names of every object this process created and still holds. Runs at exit
// and quick_exit by itself; a program's signal handler may call it before it ends.
void RemoveCreatedKernelObjects();

}  // namespace platform
