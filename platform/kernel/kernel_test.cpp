#include "platform/kernel/kernel.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sched.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

#include "testing/processes.h"

namespace platform {
namespace {

using platform::testing::ChildProcess;
using platform::testing::ElapsedMs;
using Clock = std::chrono::steady_clock;

const bool kIsolated = platform::testing::IsolateNamespace();

bool ShmNameExists(const std::string& shmName) {
  int fd = ::shm_open(shmName.c_str(), O_RDONLY, 0);
  if (fd < 0) return false;
  ::close(fd);
  return true;
}

TEST(KernelTest, TickCountAndIds) {
  DWORD t0 = GetTickCount();
  Sleep(30);
  DWORD elapsed = GetTickCount() - t0;
  EXPECT_GE(elapsed, 30u);
  EXPECT_LT(elapsed, 1000u);

  EXPECT_EQ(GetCurrentProcessId(), static_cast<DWORD>(::getpid()));
  DWORD mine = GetCurrentThreadId();
  DWORD other = 0;
  std::thread([&] { other = GetCurrentThreadId(); }).join();
  EXPECT_NE(mine, 0u);
  EXPECT_NE(other, 0u);
  EXPECT_NE(mine, other);
}

TEST(KernelTest, NamesCarryTheNamespace) {
  auto sem = NamedSemaphore::Create("shared-name", 0, 1);
  ASSERT_TRUE(sem);
  EXPECT_NE(KernelObjectName("sem", "x").find(KernelNamespace()), std::string::npos);
  std::string saved = KernelNamespace();
  ::setenv("TOVARIN_NS", (saved + "-other").c_str(), 1);
  EXPECT_FALSE(NamedSemaphore::Open("shared-name"));
  ::setenv("TOVARIN_NS", saved.c_str(), 1);
  EXPECT_TRUE(NamedSemaphore::Open("shared-name"));
  // Characters that are special in file names stay apart from each other.
  EXPECT_NE(KernelObjectName("sem", "a/b"), KernelObjectName("sem", "a.b"));
  EXPECT_EQ(KernelObjectName("sem", "Local\\KDP/x").find('/', 1), std::string::npos);
}

TEST(KernelTest, RuntimeFolderIsPrivate) {
  std::string folder = RuntimeFolder();
  ASSERT_FALSE(folder.empty());
  struct stat st {};
  ASSERT_EQ(::stat(folder.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
}

TEST(MappingTest, CreateOpenMapFlushAndRemoval) {
  EXPECT_FALSE(FileMapping::Open("block"));
  bool existed = true;
  auto created = FileMapping::Create("block", 17344, &existed);
  ASSERT_TRUE(created);
  EXPECT_FALSE(existed);
  MappedView view = created->Map();
  ASSERT_TRUE(view);
  ASSERT_EQ(view.size(), 17344u);
  auto* bytes = static_cast<unsigned char*>(view.data());
  EXPECT_EQ(bytes[0], 0);
  EXPECT_EQ(bytes[17343], 0);
  bytes[0] = 77;
  EXPECT_TRUE(view.Flush());
  EXPECT_TRUE(view.Flush(5000, 100));

  // Another process sees the same bytes through Open.
  ChildProcess peek("kernel_test_helper", {"peek-map", "block"});
  EXPECT_EQ(peek.ReadLine(), "size=17344 first=77");

  // A second Create while the creator lives opens the existing object.
  auto again = FileMapping::Create("block", 10, &existed);
  ASSERT_TRUE(again);
  EXPECT_TRUE(existed);
  EXPECT_EQ(again->size(), 17344u);
  EXPECT_EQ(static_cast<unsigned char*>(again->Map().data())[0], 77);

  // The view outlives its handle; the creator's handle removes the name.
  std::string shmName = KernelObjectName("map", "block");
  created.reset();
  EXPECT_FALSE(ShmNameExists(shmName));
  EXPECT_FALSE(FileMapping::Open("block"));
  EXPECT_EQ(bytes[0], 77);
  view.Unmap();
  EXPECT_FALSE(view);
}

struct ReleaseCase {
  std::uint32_t initial, maximum, release;
  bool accepted;
  std::uint32_t countAfter;
};

TEST(SemaphoreTest, ReleaseNeverPassesTheMaximum) {
  const ReleaseCase cases[] = {
      {0, 1, 1, true, 1}, {1, 1, 1, false, 1}, {0, 3, 2, true, 2},
      {2, 3, 2, false, 2}, {0, 3, 4, false, 0}, {0, 1, 0, false, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.initial << "/" << c.maximum << " +" << c.release);
    auto s = NamedSemaphore::Create("count", c.initial, c.maximum);
    ASSERT_TRUE(s);
    std::uint32_t previous = 99;
    EXPECT_EQ(s->Release(c.release, &previous), c.accepted);
    if (c.accepted) {
      EXPECT_EQ(previous, c.initial);
    }
    std::uint32_t taken = 0;
    while (s->Wait(0) == WAIT_OBJECT_0) ++taken;
    EXPECT_EQ(taken, c.countAfter);
  }
  EXPECT_FALSE(NamedSemaphore::Create("bad", 0, 0));
  EXPECT_FALSE(NamedSemaphore::Create("bad", 2, 1));
  EXPECT_FALSE(NamedSemaphore::Open("never-made"));
}

TEST(SemaphoreTest, TimedWaitEndsAtItsLimit) {
  auto s = NamedSemaphore::Create("timed");
  ASSERT_TRUE(s);
  for (DWORD limit : {0u, 50u, 200u}) {
    auto begin = Clock::now();
    EXPECT_EQ(s->Wait(limit), WAIT_TIMEOUT);
    long elapsed = ElapsedMs(begin);
    EXPECT_GE(elapsed, static_cast<long>(limit));
    EXPECT_LT(elapsed, static_cast<long>(limit) + 500);
  }
}

TEST(SemaphoreTest, WaitsAcrossProcesses) {
  auto s = NamedSemaphore::Create("ping");
  ASSERT_TRUE(s);
  // The other process waits without limit until we release.
  ChildProcess waiter("kernel_test_helper", {"wait", "ping", "-1"});
  ASSERT_EQ(waiter.ReadLine(), "waiting");
  Sleep(50);
  EXPECT_TRUE(s->Release());
  EXPECT_EQ(waiter.ReadLine(), "signaled");
  EXPECT_EQ(waiter.Wait(), 0);

  // And we wait for a release made by another process.
  ChildProcess holder("kernel_test_helper", {"hold", "sem", "pong", "0", "1"});
  ASSERT_EQ(holder.ReadLine(), "ready");
  auto pong = NamedSemaphore::Open("pong");
  ASSERT_TRUE(pong);
  std::thread late([&] {
    Sleep(100);
    holder.WriteLine("release");
  });
  auto begin = Clock::now();
  EXPECT_EQ(pong->Wait(5000), WAIT_OBJECT_0);
  EXPECT_GE(ElapsedMs(begin), 90);
  late.join();
  EXPECT_EQ(holder.ReadLine(), "ok");
  holder.WriteLine("release");
  EXPECT_EQ(holder.ReadLine(), "ok");
  holder.WriteLine("release");
  EXPECT_EQ(holder.ReadLine(), "full");
}

TEST(SemaphoreTest, ManyWaitersEachTakeOneUnit) {
  auto s = NamedSemaphore::Create("crowd", 0, 100);
  ASSERT_TRUE(s);
  std::atomic<int> woken{0};
  std::vector<std::thread> threads;
  for (int i = 0; i < 8; ++i) {
    threads.emplace_back([&] {
      auto mine = NamedSemaphore::Open("crowd");
      if (mine && mine->Wait(5000) == WAIT_OBJECT_0) ++woken;
    });
  }
  Sleep(50);
  EXPECT_TRUE(s->Release(5));
  Sleep(200);
  EXPECT_EQ(woken.load(), 5);
  EXPECT_TRUE(s->Release(3));
  for (auto& t : threads) t.join();
  EXPECT_EQ(woken.load(), 8);
  EXPECT_EQ(s->Wait(0), WAIT_TIMEOUT);
}

// A wait does not spin for a thread that shares its processor because one of the two is
// pinned to it: that thread cannot answer while the waiter spins there.
TEST(SpinTest, NoSpinBesideAThreadPinnedToTheSameProcessor) {
  cpu_set_t before;
  ASSERT_EQ(::sched_getaffinity(0, sizeof before, &before), 0);
  const int here = ::sched_getcpu();
  ASSERT_GE(here, 0);
  // The peer's place, given the processor the waiter runs on.
  using Peer = int (*)(int cpu);
  struct Case {
    const char* what;
    Peer peer;
    bool waiterPinned;
    std::uint32_t us;
  };
  const Case cases[] = {
      {"the waiter pinned, the peer beside it", [](int cpu) { return cpu; }, true, 0},
      {"the peer pinned beside the waiter", [](int cpu) { return cpu | kPinned; }, true, 0},
      {"the peer pinned to another processor", [](int cpu) { return (cpu + 1) | kPinned; }, true, SpinBudget::kMaxUs},
      {"the peer's place not known", [](int) { return -1; }, true, SpinBudget::kMaxUs},
      {"the peer pinned beside an unpinned waiter", [](int cpu) { return cpu | kPinned; }, false, 0},
      {"neither pinned, side by side", [](int cpu) { return cpu; }, false, SpinBudget::kMaxUs},
  };
  SpinBudget spin;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    cpu_set_t set;
    CPU_ZERO(&set);
    CPU_SET(here, &set);
    if (!c.waiterPinned) CPU_SET(here == 0 ? 1 : 0, &set);  // allowed a second processor too
    ASSERT_EQ(::sched_setaffinity(0, sizeof set, &set), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(60));  // the pinning is looked at again
    // The answer counts when the waiter stayed on one processor while it was given.
    std::uint32_t us = 0;
    for (bool settled = false; !settled;) {
      const int cpu = ::sched_getcpu();
      us = spin.UsFor(c.peer(cpu));
      settled = ::sched_getcpu() == cpu;
    }
    EXPECT_EQ(us, c.us);
  }
  spin.Slept(10 * SpinBudget::kMaxUs);  // a long sleep: the other side was idle
  EXPECT_EQ(spin.UsFor(-1), SpinBudget::kMaxUs / 2);
  ::sched_setaffinity(0, sizeof before, &before);
}

// A thread woken beside its waker moves to another of its processors, keeping off those
// that pinned peers hold; it keeps the processors it was allowed, and a pinned thread stays.
TEST(SpinTest, AThreadMovesOffItsWakersProcessor) {
  if (::sysconf(_SC_NPROCESSORS_ONLN) < 3) GTEST_SKIP() << "needs three processors";
  cpu_set_t before;
  ASSERT_EQ(::sched_getaffinity(0, sizeof before, &before), 0);
  std::vector<int> mine;
  for (int c = 0; c < CPU_SETSIZE && mine.size() < 3; ++c) {
    if (CPU_ISSET(c, &before)) mine.push_back(c);
  }
  if (mine.size() < 3) GTEST_SKIP() << "needs three processors of its own";
  const int a = mine[0], b = mine[1], c = mine[2];
  const auto allow = [](std::initializer_list<int> cpus) {
    cpu_set_t set;
    CPU_ZERO(&set);
    for (int cpu : cpus) CPU_SET(cpu, &set);
    return ::sched_setaffinity(0, sizeof set, &set) == 0;
  };
  const auto allowed = [] {
    cpu_set_t set;
    ::sched_getaffinity(0, sizeof set, &set);
    return CPU_COUNT(&set);
  };
  PinnedPeerProcessors().store(0);

  ASSERT_TRUE(allow({a}));  // onto a, then free to go to b and c too
  ASSERT_TRUE(allow({a, b, c}));
  EXPECT_FALSE(MoveOffProcessor(b)) << "another processor's waker";
  EXPECT_FALSE(MoveOffProcessor(-1)) << "a waker whose place is not known";
  NotePinnedPeer(b | kPinned);
  if (::sched_getcpu() == a) {
    EXPECT_TRUE(MoveOffProcessor(a | kPinned));
    EXPECT_EQ(::sched_getcpu(), c) << "b is held by a pinned peer";
    EXPECT_EQ(allowed(), 3);
  }

  ASSERT_TRUE(allow({a}));
  std::this_thread::sleep_for(std::chrono::milliseconds(60));  // the pinning is looked at again
  EXPECT_FALSE(MoveOffProcessor(a));
  EXPECT_EQ(::sched_getcpu(), a);

  PinnedPeerProcessors().store(0);
  ::sched_setaffinity(0, sizeof before, &before);
}

TEST(StaleObjectTest, KilledCreatorDoesNotDisturbTheNextOne) {
  {
    ChildProcess holder("kernel_test_helper",
                        {"hold", "sem", "stale-sem", "1", "1", "map", "stale-map", "64", "171", "lock", "stale-lock"});
    ASSERT_EQ(holder.ReadLine(), "ready");
    ASSERT_TRUE(NamedSemaphore::Open("stale-sem"));
    holder.Kill(SIGKILL);
    holder.Wait();
  }
  // The names are still in /dev/shm, but nobody may use them any more.
  EXPECT_TRUE(ShmNameExists(KernelObjectName("sem", "stale-sem")));
  EXPECT_FALSE(NamedSemaphore::Open("stale-sem"));
  EXPECT_FALSE(FileMapping::Open("stale-map"));

  bool existed = true;
  auto sem = NamedSemaphore::Create("stale-sem", 0, 1, &existed);
  ASSERT_TRUE(sem);
  EXPECT_FALSE(existed);
  EXPECT_EQ(sem->Wait(0), WAIT_TIMEOUT);  // the dead one's count of 1 is gone
  EXPECT_TRUE(sem->Release());
  EXPECT_FALSE(sem->Release());

  auto map = FileMapping::Create("stale-map", 128, &existed);
  ASSERT_TRUE(map);
  EXPECT_FALSE(existed);
  ASSERT_EQ(map->size(), 128u);
  MappedView v = map->Map();
  auto* bytes = static_cast<unsigned char*>(v.data());
  EXPECT_EQ(bytes[0], 0);
  EXPECT_EQ(bytes[63], 0);

  NamedLock lock("stale-lock");
  EXPECT_TRUE(lock.TryLock());
  lock.Unlock();
}

TEST(StaleObjectTest, CreatorRemovesNamesWhenItExits) {
  ChildProcess holder("kernel_test_helper", {"hold", "sem", "leaving-sem", "0", "1", "map", "leaving-map", "16", "1"});
  ASSERT_EQ(holder.ReadLine(), "ready");
  EXPECT_TRUE(ShmNameExists(KernelObjectName("sem", "leaving-sem")));
  holder.WriteLine("exit");
  EXPECT_EQ(holder.Wait(), 0);
  EXPECT_FALSE(ShmNameExists(KernelObjectName("sem", "leaving-sem")));
  EXPECT_FALSE(ShmNameExists(KernelObjectName("map", "leaving-map")));
}

TEST(NamedLockTest, HeldByAnotherProcessUntilItDies) {
  ChildProcess holder("kernel_test_helper", {"hold", "lock", "door"});
  ASSERT_EQ(holder.ReadLine(), "ready");
  NamedLock lock("door");
  ASSERT_TRUE(lock.valid());
  EXPECT_FALSE(lock.TryLock());
  auto begin = Clock::now();
  EXPECT_FALSE(lock.Lock(150));
  EXPECT_GE(ElapsedMs(begin), 150);
  holder.Kill(SIGKILL);
  holder.Wait();
  EXPECT_TRUE(lock.Lock(2000));
  lock.Unlock();
}

// A lock file kept from an earlier boot may name a holder that no exit will ever release:
// such a lock is free; one held in this boot is not.
TEST(NamedLockTest, AHolderOfAnEarlierBootHoldsNothing) {
  struct Shared {  // the lock file's layout
    std::uint32_t magic;
    std::uint32_t reserved;
    char boot[40];
    pthread_mutex_t mutex;
  };
  char thisBoot[64] = {};
  {
    const int fd = ::open("/proc/sys/kernel/random/boot_id", O_RDONLY);
    ASSERT_GE(fd, 0);
    ASSERT_GT(::read(fd, thisBoot, sizeof thisBoot - 1), 0);
    ::close(fd);
  }
  const struct {
    const char* what;
    const char* name;  // a process maps a lock file once: each case has its own
    const char* boot;
    bool free;
  } cases[] = {{"an earlier boot", "booted-earlier", "0f0f0f0f-earlier-boot\n", true},
               {"this boot", "booted-now", thisBoot, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string path = RuntimeFolder() + "/" + KernelObjectName("lock", c.name).substr(1) + ".mutex";
    ::unlink(path.c_str());
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::ftruncate(fd, sizeof(Shared)), 0);
    auto* shared = static_cast<Shared*>(::mmap(nullptr, sizeof(Shared), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0));
    ::close(fd);
    ASSERT_NE(shared, MAP_FAILED);
    pthread_mutexattr_t attributes;
    pthread_mutexattr_init(&attributes);
    pthread_mutexattr_setpshared(&attributes, PTHREAD_PROCESS_SHARED);
    pthread_mutexattr_setrobust(&attributes, PTHREAD_MUTEX_ROBUST);
    pthread_mutex_init(&shared->mutex, &attributes);
    shared->mutex.__data.__lock = 0x3FFFFFF0;  // held by a thread that no longer exists
    std::memset(shared->boot, 0, sizeof shared->boot);
    std::strncpy(shared->boot, c.boot, sizeof shared->boot - 1);
    shared->magic = 0x4C564F54;
    ::munmap(shared, sizeof(Shared));

    NamedLock lock(c.name);
    ASSERT_TRUE(lock.valid());
    EXPECT_EQ(lock.TryLock(), c.free);
    if (c.free) lock.Unlock();
    ::unlink(path.c_str());
  }
}

// A lock taken and never given back is free once its object is gone, as a closed lock file
// is: for this process and for others.
TEST(NamedLockTest, ALockGoesBackWithItsObject) {
  {
    NamedLock held("handed");
    ASSERT_TRUE(held.Lock(100));
  }
  NamedLock again("handed");
  EXPECT_TRUE(again.TryLock());
  again.Unlock();
  ChildProcess other("kernel_test_helper", {"hold", "lock", "handed"});
  EXPECT_EQ(other.ReadLine(), "ready");
}

TEST(NamedLockTest, ThreadsSharingOneObjectExcludeEachOther) {
  NamedLock lock("threads");
  int inside = 0, most = 0;
  std::vector<std::thread> threads;
  for (int i = 0; i < 4; ++i) {
    threads.emplace_back([&] {
      for (int n = 0; n < 200; ++n) {
        ASSERT_TRUE(lock.Lock());
        most = std::max(most, ++inside);
        --inside;
        lock.Unlock();
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(most, 1);
}

TEST(ProcessTest, LivenessFollowsPidAndStartTime) {
  DWORD self = GetCurrentProcessId();
  std::uint64_t start = CurrentProcessStartTime();
  EXPECT_NE(start, 0u);
  EXPECT_TRUE(IsProcessAlive(self, start));
  EXPECT_FALSE(IsProcessAlive(self, start + 1));

  ChildProcess child("kernel_test_helper", {"hold"});
  ASSERT_EQ(child.ReadLine(), "ready");
  DWORD pid = static_cast<DWORD>(child.pid());
  std::uint64_t childStart = ProcessStartTime(pid);
  ASSERT_NE(childStart, 0u);
  EXPECT_TRUE(IsProcessAlive(pid, childStart));
  EXPECT_FALSE(IsProcessAlive(pid, childStart + 7));  // same id, another process
  const auto watch = ProcessExitWatch(pid, childStart);
  EXPECT_EQ(ProcessExitWatch(pid, childStart), watch) << "one descriptor for all who watch";
  EXPECT_EQ(ProcessExitWatch(self, start), nullptr);
  child.Kill(SIGKILL);
  // Dead while still a zombie (not yet reaped).
  for (int i = 0; i < 100 && IsProcessAlive(pid, childStart); ++i) Sleep(10);
  EXPECT_FALSE(IsProcessAlive(pid, childStart));
  if (watch) {
    // The liveness check let the descriptor go; its holder still watches it.
    pollfd p{watch->fd(), POLLIN, 0};
    EXPECT_EQ(::poll(&p, 1, 1000), 1);
    EXPECT_NE(::fcntl(watch->fd(), F_GETFD), -1);
  }
  child.Wait();
}

}  // namespace
}  // namespace platform
