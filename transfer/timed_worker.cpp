#include "transfer/timed_worker.h"

#include <thread>

namespace transfer {

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
  std::thread([this, call, job = std::move(job)] {
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
  }).detach();
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

bool TimedWorker::WaitIdle(std::chrono::milliseconds limit) {
  std::unique_lock<std::mutex> lock(mutex_);
  return idle_.wait_for(lock, limit, [this] { return !busy_; });
}

}  // namespace transfer
