#include "transfer/timed_worker.h"

#include <algorithm>
#include <thread>
#include <vector>

namespace transfer {
namespace {

// Threads kept for the workers' jobs: a job goes to a thread that waits for one, else to a
// new thread. Starting a thread for each short job (a tag read per file sent) cost more
// than the job: the thread's creation, and its stack's pages faulted in again each time.
// A thread that had nothing to do for a while ends. Never destroyed: its threads may wait
// on it while the process ends.
class WorkerThreads {
 public:
  void Run(std::function<void()> job) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (!idle_.empty()) {
        // Handed to one thread: a job that hangs there holds up no other job.
        Slot* slot = idle_.back();
        idle_.pop_back();
        slot->job = std::move(job);
        slot->wake.notify_one();
        return;
      }
    }
    std::thread([this, job = std::move(job)]() mutable { Serve(std::move(job)); }).detach();
  }

 private:
  static constexpr auto kIdleLimit = std::chrono::seconds(2);

  struct Slot {
    std::condition_variable wake;
    std::function<void()> job;
  };

  void Serve(std::function<void()> job) {
    Slot slot;
    for (;;) {
      job();
      job = nullptr;  // what the job holds goes before the thread waits again
      std::unique_lock<std::mutex> lock(mutex_);
      idle_.push_back(&slot);
      if (!slot.wake.wait_for(lock, kIdleLimit, [&] { return slot.job != nullptr; })) {
        std::erase(idle_, &slot);
        return;
      }
      job = std::move(slot.job);
      slot.job = nullptr;
    }
  }

  std::mutex mutex_;
  std::vector<Slot*> idle_;  // threads waiting for a job, each on its own slot
};

WorkerThreads& Threads() {
  static auto* threads = new WorkerThreads;
  return *threads;
}

}  // namespace

bool TimedCall::Complete(const std::function<int()>& finish) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (abandoned_ || finished_) return false;
  result_ = finish();
  finished_ = true;
  done_.notify_all();
  return true;
}

bool TimedCall::Abandoned() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return abandoned_;
}

TimedWorker::~TimedWorker() {
  std::unique_lock<std::mutex> lock(mutex_);
  idle_.wait(lock, [this] { return !busy_; });
}

int TimedWorker::Run(std::chrono::milliseconds limit, std::function<void(TimedCall&)> job, int timeoutResult) {
  return Finish(Start(limit, std::move(job)), timeoutResult);
}

std::shared_ptr<TimedCall> TimedWorker::Start(std::chrono::milliseconds limit, std::function<void(TimedCall&)> job) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  {
    std::unique_lock<std::mutex> lock(mutex_);
    if (!idle_.wait_until(lock, deadline, [this] { return !busy_; })) return nullptr;
    busy_ = true;
  }
  auto call = std::make_shared<TimedCall>();
  call->deadline_ = deadline;
  Threads().Run([this, call, job = std::move(job)] {
    job(*call);
    {
      // A job that did not complete leaves its caller to the time limit's answer.
      std::lock_guard<std::mutex> lock(call->mutex_);
      if (!call->finished_ && !call->abandoned_) call->abandoned_ = true;
      call->done_.notify_all();
    }
    std::lock_guard<std::mutex> lock(mutex_);
    busy_ = false;
    idle_.notify_all();
  });
  return call;
}

int TimedWorker::Finish(const std::shared_ptr<TimedCall>& call, int timeoutResult) {
  if (!call) return timeoutResult;
  std::unique_lock<std::mutex> lock(call->mutex_);
  call->done_.wait_until(lock, call->deadline_, [&] { return call->finished_ || call->abandoned_; });
  if (call->finished_) return call->result_;
  call->abandoned_ = true;
  return timeoutResult;
}

std::optional<int> TimedWorker::FinishWithin(const std::shared_ptr<TimedCall>& call, std::chrono::milliseconds slice,
                                             int timeoutResult) {
  if (!call) return timeoutResult;
  std::unique_lock<std::mutex> lock(call->mutex_);
  const auto until = std::min(call->deadline_, std::chrono::steady_clock::now() + slice);
  call->done_.wait_until(lock, until, [&] { return call->finished_ || call->abandoned_; });
  if (call->finished_) return call->result_;
  if (call->abandoned_ || std::chrono::steady_clock::now() >= call->deadline_) {
    call->abandoned_ = true;
    return timeoutResult;
  }
  return std::nullopt;
}

void TimedWorker::Abandon(const std::shared_ptr<TimedCall>& call) {
  if (!call) return;
  std::lock_guard<std::mutex> lock(call->mutex_);
  if (!call->finished_) call->abandoned_ = true;
}

bool TimedWorker::WaitIdle(std::chrono::milliseconds limit) {
  std::unique_lock<std::mutex> lock(mutex_);
  return idle_.wait_for(lock, limit, [this] { return !busy_; });
}

}  // namespace transfer
