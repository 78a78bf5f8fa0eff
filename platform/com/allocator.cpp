#include "platform/com/allocator.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>

#include "platform/kernel/process_object.h"

// The allocator's functions as a plain table, so that copies of this code built into
// different modules of one process can share one allocator without sharing C++ types.
struct TovarinShellAllocator {
  void* (*alloc)(std::size_t size);
  void* (*realloc)(void* block, std::size_t size);
  void (*free)(void* block);
  std::size_t (*size)(const void* block);  // (size_t)-1 when not a live block
  std::size_t (*bytesFrom)(const void* p);
  std::size_t (*liveBlocks)();
  void (*setFailures)(long succeed, long fail);
};

namespace {

constexpr std::size_t kUnknown = static_cast<std::size_t>(-1);

struct State {
  std::mutex mutex;
  std::map<std::uintptr_t, std::size_t> blocks;  // start address -> size
  bool injecting = false;
  long succeed = 0;
  long fail = 0;
};

State& TheState() {
  static State* state = new State;  // lives until the process ends: blocks may outlive statics
  return *state;
}

// Under the lock: whether this allocation is to fail.
bool TakeFailure(State& s) {
  if (!s.injecting) return false;
  if (s.succeed > 0) {
    --s.succeed;
    return false;
  }
  if (s.fail < 0) return true;
  if (s.fail > 0) {
    --s.fail;
    return true;
  }
  return false;
}

void* LocalAlloc(std::size_t size) {
  State& s = TheState();
  std::lock_guard<std::mutex> lock(s.mutex);
  if (TakeFailure(s)) return nullptr;
  void* p = std::malloc(size == 0 ? 1 : size);
  if (p != nullptr) s.blocks[reinterpret_cast<std::uintptr_t>(p)] = size;
  return p;
}

void LocalFree(void* block) {
  if (block == nullptr) return;
  State& s = TheState();
  std::lock_guard<std::mutex> lock(s.mutex);
  auto it = s.blocks.find(reinterpret_cast<std::uintptr_t>(block));
  if (it == s.blocks.end()) return;  // not ours: leave it alone
  s.blocks.erase(it);
  std::free(block);
}

void* LocalRealloc(void* block, std::size_t size) {
  if (block == nullptr) return LocalAlloc(size);
  if (size == 0) {
    LocalFree(block);
    return nullptr;
  }
  State& s = TheState();
  std::lock_guard<std::mutex> lock(s.mutex);
  auto it = s.blocks.find(reinterpret_cast<std::uintptr_t>(block));
  if (it == s.blocks.end() || TakeFailure(s)) return nullptr;
  void* p = std::realloc(block, size);
  if (p == nullptr) return nullptr;
  s.blocks.erase(it);
  s.blocks[reinterpret_cast<std::uintptr_t>(p)] = size;
  return p;
}

std::size_t LocalSize(const void* block) {
  State& s = TheState();
  std::lock_guard<std::mutex> lock(s.mutex);
  auto it = s.blocks.find(reinterpret_cast<std::uintptr_t>(block));
  return it == s.blocks.end() ? kUnknown : it->second;
}

std::size_t LocalBytesFrom(const void* p) {
  if (p == nullptr) return 0;
  const auto at = reinterpret_cast<std::uintptr_t>(p);
  State& s = TheState();
  std::lock_guard<std::mutex> lock(s.mutex);
  auto it = s.blocks.upper_bound(at);
  if (it == s.blocks.begin()) return 0;
  --it;
  const std::uintptr_t end = it->first + it->second;
  return at < end ? static_cast<std::size_t>(end - at) : 0;
}

std::size_t LocalLiveBlocks() {
  State& s = TheState();
  std::lock_guard<std::mutex> lock(s.mutex);
  return s.blocks.size();
}

void LocalSetFailures(long succeed, long fail) {
  State& s = TheState();
  std::lock_guard<std::mutex> lock(s.mutex);
  s.injecting = succeed >= 0;
  s.succeed = succeed;
  s.fail = fail;
}

const TovarinShellAllocator kLocal = {LocalAlloc, LocalRealloc, LocalFree, LocalSize,
                                      LocalBytesFrom, LocalLiveBlocks, LocalSetFailures};

// The host's allocator when the program exports one, else this module's.
const TovarinShellAllocator& Shared() {
  static const TovarinShellAllocator* shared = [] {
    using Getter = const TovarinShellAllocator* (*)();
    auto getter = reinterpret_cast<Getter>(platform::ProgramSymbol("tovarin_shell_allocator"));
    const TovarinShellAllocator* found = getter != nullptr ? getter() : nullptr;
    return found != nullptr ? found : &kLocal;
  }();
  return *shared;
}

class ShellMalloc final : public platform::IMalloc {
 public:
  platform::HRESULT QueryInterface(platform::REFIID riid, void** ppv) override {
    if (ppv == nullptr) return platform::E_POINTER;
    if (riid == platform::IID_IUnknown || riid == platform::IID_IMalloc) {
      *ppv = static_cast<platform::IMalloc*>(this);
      return platform::S_OK;
    }
    *ppv = nullptr;
    return platform::E_NOINTERFACE;
  }
  // One object for the process's life: the count is not kept.
  platform::ULONG AddRef() override { return 2; }
  platform::ULONG Release() override { return 1; }
  void* Alloc(std::size_t size) override { return Shared().alloc(size); }
  void* Realloc(void* block, std::size_t size) override { return Shared().realloc(block, size); }
  void Free(void* block) override { Shared().free(block); }
  std::size_t GetSize(void* block) override { return Shared().size(block); }
  int DidAlloc(void* block) override { return Shared().size(block) != kUnknown ? 1 : 0; }
  void HeapMinimize() override {}
};

}  // namespace

extern "C" const TovarinShellAllocator* tovarin_shell_allocator() { return &kLocal; }

namespace platform {

HRESULT SHGetMalloc(IMalloc** out) {
  if (out == nullptr) return E_POINTER;
  static ShellMalloc* malloc = new ShellMalloc;
  *out = malloc;
  return S_OK;
}

std::size_t ShellAllocatedBytesFrom(const void* p) { return Shared().bytesFrom(p); }

std::size_t ShellAllocatorLiveBlocks() { return Shared().liveBlocks(); }

ShellAllocatorFailures::ShellAllocatorFailures(long succeed, long fail) {
  Shared().setFailures(succeed < 0 ? 0 : succeed, fail);
}

ShellAllocatorFailures::~ShellAllocatorFailures() { Shared().setFailures(-1, 0); }

}  // namespace platform
