// Timed work on a worker thread: one completion per call, late workers locked out of
// their callers' data, and no worker started while an earlier one still runs.
#include "transfer/timed_worker.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace transfer {
namespace {

using namespace std::chrono_literals;

TEST(TimedWorker, AnswersTheJobsOwnResult) {
  TimedWorker worker;
  int written = 0;
  const int result = worker.Run(2000ms, [&](TimedCall& call) { call.Complete([&] { written = 1; return 7; }); });
  EXPECT_EQ(result, 7);
  EXPECT_EQ(written, 1);
  // A job that ends without completing answers the time-out result at once.
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(worker.Run(5000ms, [](TimedCall&) {}, -1), -1);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 2000ms);
}

TEST(TimedWorker, LateWorkerCannotTouchItsCallerOrTheNextCall) {
  TimedWorker worker;
  std::atomic<bool> release{false};
  std::atomic<bool> lateCompleted{true};
  int callerData = 0;
  // The first job overruns its 50 ms.
  EXPECT_EQ(worker.Run(50ms,
                       [&](TimedCall& call) {
                         while (!release) std::this_thread::sleep_for(1ms);
                         lateCompleted = call.Complete([&] { callerData = 99; return 1; });
                       }),
            0);
  // The next call waits for it, then runs its own job and answers that job's result.
  std::thread releaser([&] {
    std::this_thread::sleep_for(100ms);
    release = true;
  });
  EXPECT_EQ(worker.Run(5000ms, [](TimedCall& call) { call.Complete([] { return 2; }); }), 2);
  releaser.join();
  EXPECT_FALSE(lateCompleted);
  EXPECT_EQ(callerData, 0);
}

TEST(TimedWorker, NoJobStartsWhileAnEarlierOneRuns) {
  TimedWorker worker;
  std::atomic<bool> release{false};
  std::atomic<int> running{0};
  std::atomic<int> started{0};
  auto job = [&](TimedCall& call) {
    ++started;
    ++running;
    while (!release) std::this_thread::sleep_for(1ms);
    --running;
    call.Complete([] { return 1; });
  };
  EXPECT_EQ(worker.Run(30ms, job), 0);
  // The first job still runs past the second call's whole limit: the second never starts.
  EXPECT_EQ(worker.Run(30ms, job), 0);
  EXPECT_EQ(started, 1);
  release = true;
  EXPECT_TRUE(worker.WaitIdle(5000ms));
  EXPECT_EQ(running, 0);
}

// Workers share the threads kept for their jobs, but a job that hangs holds up only its own
// worker: each job goes to a thread that has nothing else to do.
TEST(TimedWorker, AHangingJobHoldsUpNoOtherWorker) {
  std::atomic<bool> release{false};
  TimedWorker hanging;
  EXPECT_EQ(hanging.Run(20ms, [&](TimedCall&) {
    while (!release) std::this_thread::sleep_for(1ms);
  }), 0);
  for (int i = 0; i < 3; ++i) {
    TimedWorker other;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(other.Run(5000ms, [](TimedCall& call) { call.Complete([] { return 4; }); }), 4);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1000ms);
  }
  release = true;
  EXPECT_TRUE(hanging.WaitIdle(5000ms));
}

// A call made in two steps: the job may end before Finish waits and its answer is kept;
// the limit counts from Start, so time spent between the steps is part of it.
TEST(TimedWorker, ACallStartedAheadKeepsItsAnswerAndItsLimit) {
  struct Case {
    const char* what;
    std::chrono::milliseconds limit, between, jobTakes;
    int answer;
  };
  const Case cases[] = {
      {"done before Finish", 5000ms, 100ms, 0ms, 3},
      {"done while Finish waits", 5000ms, 0ms, 100ms, 3},
      // Ends 100 ms after its limit, which Finish would still allow if it counted from itself.
      {"its limit ran out partly between the steps", 300ms, 200ms, 400ms, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TimedWorker worker;
    const auto call = worker.Start(c.limit, [takes = c.jobTakes](TimedCall& call) {
      std::this_thread::sleep_for(takes);
      call.Complete([] { return 3; });
    });
    ASSERT_TRUE(call);
    std::this_thread::sleep_for(c.between);
    EXPECT_EQ(TimedWorker::Finish(call, -1), c.answer);
  }
}

}  // namespace
}  // namespace transfer
