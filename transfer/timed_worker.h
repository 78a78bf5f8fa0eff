// Work that may hang on a damaged file runs on a worker thread while its caller waits
// with a time limit. Each call has its own state: a worker that overran its caller can
// never hand its result to a later call, and it may only touch the caller's data through
// `TimedCall::Complete` while that caller still waits. One worker runs at a time per
// `TimedWorker`: a call waits (within its own limit) for an overrunning earlier worker to
// end before it starts its own, and gives up without starting when it does not. A call
// may also be made in two steps (Start, then Finish), the caller doing other work between.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

namespace transfer {

class TimedCall {
 public:
  // Runs `finish` and makes its answer the call's result, unless the caller has already
  // given up; answers whether it ran. `finish` runs while the caller is blocked, so it
  // may write into the caller's data; keep it short.
  bool Complete(const std::function<int()>& finish);
  // Whether the caller has given up (the worker may stop early).
  bool Abandoned() const;

 private:
  friend class TimedWorker;
  std::chrono::steady_clock::time_point deadline_;
  mutable std::mutex mutex_;
  std::condition_variable done_;
  bool finished_ = false;
  bool abandoned_ = false;
  int result_ = 0;
};

class TimedWorker {
 public:
  TimedWorker() = default;
  ~TimedWorker();  // waits for a running worker
  TimedWorker(const TimedWorker&) = delete;
  TimedWorker& operator=(const TimedWorker&) = delete;

  // Runs `job` on a thread of its own (one kept for such jobs) and answers its result, or `timeoutResult` when `limit`
  // passed first (counting the wait for an earlier worker). A job that returns without
  // completing its call answers `timeoutResult` as well.
  int Run(std::chrono::milliseconds limit, std::function<void(TimedCall&)> job, int timeoutResult = 0);
  // Run in two steps. Start begins the job (the limit counts from here; null when an
  // earlier worker still ran at the end of it); Finish waits for the job's answer until
  // then, as Run does. Before Finish waits, the job's Complete may run while the caller
  // does other things: it may only write into data the job shares with the caller.
  std::shared_ptr<TimedCall> Start(std::chrono::milliseconds limit, std::function<void(TimedCall&)> job);
  static int Finish(const std::shared_ptr<TimedCall>& call, int timeoutResult = 0);
  // Finish in slices, for a caller that serves its window meanwhile: waits at most `slice`;
  // the answer (or `timeoutResult` once the limit has passed), nothing while the job
  // still runs within its limit.
  static std::optional<int> FinishWithin(const std::shared_ptr<TimedCall>& call, std::chrono::milliseconds slice,
                                         int timeoutResult = 0);
  // The caller gives up before the limit: the job's answer will go nowhere.
  static void Abandon(const std::shared_ptr<TimedCall>& call);

  // Waits until no worker runs (tests, shutdown); false when `limit` passed first.
  bool WaitIdle(std::chrono::milliseconds limit);

 private:
  std::mutex mutex_;
  std::condition_variable idle_;
  bool busy_ = false;
};

}  // namespace transfer
