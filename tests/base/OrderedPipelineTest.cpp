#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "base/OrderedPipeline.h"
#include "base/WorkerThreads.h"
#include "support/ProcessThreads.h"
#include "support/ScopedEnv.h"

namespace quillmar {
namespace {

// Some work whose length depends on the batch, so that batches of a parallel stage finish out of order.
uint64_t Spin(int64_t seq) {
  uint64_t x = uint64_t(seq) + 1;
  for (int64_t i = 0; i < (seq % 5) * 20000; ++i) x = x * 6364136223846793005u + 1442695040888963407u;
  return x;
}

struct TRun {
  std::vector<int64_t> consumed, serialOrder;
  uint64_t chain = 0;
};

// n batches through a parallel stage (x3) and a serial one (folds the values into a chain).
TRun RunNumbers(int threads, int64_t n, size_t slots) {
  std::vector<int64_t> slot(slots);
  std::vector<uint64_t> noise(slots);
  TRun r;
  int64_t next = 0;
  TOrderedPipeline::Run(
      slots, threads,
      [&](size_t s) {
        if (next == n) return false;
        slot[s] = next++;
        return true;
      },
      {{true,
        [&](size_t s, int w) {
          EXPECT_TRUE(w >= 0 && w < threads);
          noise[s] = Spin(slot[s]);
          slot[s] *= 3;
        }},
       {false,
        [&](size_t s, int) {
          r.serialOrder.push_back(slot[s] / 3);
          r.chain = r.chain * 1000003u + uint64_t(slot[s]);
        }}},
      [&](size_t s) { r.consumed.push_back(slot[s] / 3); });
  return r;
}

TEST(OrderedPipeline, BatchesPassEveryStageAndLeaveInTheOrderMade) {
  const TRun one = RunNumbers(1, 50, 1);
  ASSERT_EQ(one.consumed.size(), 50u);
  for (int64_t i = 0; i < 50; ++i) EXPECT_EQ(one.consumed[size_t(i)], i);
  for (int threads : {2, 3, 4}) {
    const TRun many = RunNumbers(threads, 50, size_t(threads) * 2 + 2);
    EXPECT_EQ(many.consumed, one.consumed) << threads;
    EXPECT_EQ(many.serialOrder, one.serialOrder) << threads;
    EXPECT_EQ(many.chain, one.chain) << threads;
  }
  // Nothing to do, and a single slot for several threads.
  EXPECT_TRUE(RunNumbers(2, 0, 4).consumed.empty());
  EXPECT_EQ(RunNumbers(2, 7, 1).consumed.size(), 7u);
}

TEST(OrderedPipeline, OneThreadRunsEveryStepOnTheCallingThread) {
  const auto caller = std::this_thread::get_id();
  int steps = 0;
  int made = 0;
  TOrderedPipeline::Run(
      3, 1,
      [&](size_t) {
        EXPECT_EQ(std::this_thread::get_id(), caller);
        return made++ < 4;
      },
      {{true,
        [&](size_t, int) {
          EXPECT_EQ(std::this_thread::get_id(), caller);
          ++steps;
        }}},
      [&](size_t) {
        EXPECT_EQ(std::this_thread::get_id(), caller);
        ++steps;
      });
  EXPECT_EQ(steps, 8);
  // The other threads start on other threads, and the consumer stays on the caller.
  std::atomic<int> elsewhere{0};
  made = 0;
  TOrderedPipeline::Run(
      3, 2,
      [&](size_t) {
        if (std::this_thread::get_id() != caller) ++elsewhere;
        return made++ < 4;
      },
      {{true, [&](size_t, int) { elsewhere += std::this_thread::get_id() != caller; }}},
      [&](size_t) { EXPECT_EQ(std::this_thread::get_id(), caller); });
  EXPECT_EQ(elsewhere.load(), 9);  // 5 calls of produce, 4 of the stage
}

TEST(OrderedPipeline, TheFirstErrorStopsEveryThreadAndComesOutOfRun) {
  const int before = test::ProcessThreads();
  enum TWhere { Produce, Parallel, Serial, Consume };
  for (TWhere where : {Produce, Parallel, Serial, Consume}) {
    for (int64_t at : {0, 1, 9}) {
      std::atomic<int64_t> made{0};
      std::atomic<bool> returned{false};
      std::atomic<int> late{0};
      std::vector<int64_t> slot(6);
      auto fail = [&](TWhere w, int64_t seq) {
        if (returned) ++late;
        if (w == where && seq == at) throw std::runtime_error("stop at " + std::to_string(seq));
      };
      try {
        TOrderedPipeline::Run(
            slot.size(), 2,
            [&](size_t s) {
              slot[s] = made;
              fail(Produce, slot[s]);
              return ++made <= 1000;
            },
            {{true, [&](size_t s, int) { fail(Parallel, slot[s]); }},
             {false, [&](size_t s, int) { fail(Serial, slot[s]); }}},
            [&](size_t s) { fail(Consume, slot[s]); });
        ADD_FAILURE() << "no error came out for " << where << " at " << at;
      } catch (const std::runtime_error& e) {
        EXPECT_EQ(std::string(e.what()), "stop at " + std::to_string(at));
      }
      returned = true;
      EXPECT_EQ(late.load(), 0);
      // The producer stopped soon after the failing batch: at most the slots ahead of it.
      EXPECT_LE(made.load(), at + int64_t(slot.size()) + 2) << where;
      EXPECT_EQ(test::ProcessThreads(), before);
    }
  }
}

TEST(WorkerThreads, QmThreadsChoosesTheCountWhenItIsAValidNumber) {
  int machine;
  {
    test::TScopedEnv unset("QM_THREADS", nullptr);
    machine = WorkerThreadCount();
  }
  EXPECT_GE(machine, 1);
  EXPECT_LE(machine, kMaxWorkerThreads);
  {
    test::TScopedEnv one("QM_THREADS", "1");
    EXPECT_EQ(WorkerThreadCount(), 1);
  }
  {
    test::TScopedEnv three("QM_THREADS", "3");
    EXPECT_EQ(WorkerThreadCount(), 3);
  }
  for (const char* bad : {"0", "-2", "65", "two", "2x", ""}) {
    test::TScopedEnv env("QM_THREADS", bad);
    EXPECT_EQ(WorkerThreadCount(), machine) << bad;
  }
}

}  // namespace
}  // namespace quillmar
