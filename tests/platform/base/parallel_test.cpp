// Row work spread over the cores.
#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <set>
#include <stdexcept>
#include <thread>
#include <vector>

#include "platform/base/parallel.h"

TEST(ParallelBands, EveryItemOnceInBandsOfAtLeastTheMinimum) {
  struct Case {
    int32_t Begin, End, MinBand;
  };
  for (const Case c : {Case{0, 0, 4}, Case{5, 3, 1}, Case{0, 1, 1}, Case{0, 7, 4}, Case{-50, 1000, 3},
                       Case{10, 100000, 1}, Case{0, 1000, 0}}) {
    std::vector<std::atomic<int>> hits(size_t(c.End > c.Begin ? c.End - c.Begin : 0));
    std::atomic<bool> shortBand{false};
    ParallelBands(c.Begin, c.End, c.MinBand, [&](int32_t First, int32_t Last) {
      if (Last - First < c.MinBand && Last != c.End) shortBand = true;
      for (int32_t i = First; i < Last; ++i) hits[size_t(i - c.Begin)]++;
    });
    for (size_t i = 0; i < hits.size(); ++i) ASSERT_EQ(hits[i].load(), 1) << c.Begin << ".." << c.End << " item " << i;
    EXPECT_FALSE(shortBand.load()) << c.Begin << ".." << c.End;
  }
}

TEST(ParallelBands, AnExceptionReachesTheCallerAfterTheOtherBands) {
  std::atomic<int> done{0};
  EXPECT_THROW(ParallelBands(0, 4096, 1,
                             [&](int32_t First, int32_t Last) {
                               if (First <= 2000 && 2000 < Last) throw std::runtime_error("band");
                               done += Last - First;
                             }),
               std::runtime_error);
  EXPECT_GT(done.load(), 0);
  // The workers are free again.
  std::atomic<int> after{0};
  ParallelBands(0, 4096, 1, [&](int32_t First, int32_t Last) { after += Last - First; });
  EXPECT_EQ(after.load(), 4096);
}

TEST(ParallelBands, NestedAndConcurrentCallersAllFinish) {
  std::atomic<int64_t> total{0};
  auto work = [&] {
    for (int rep = 0; rep < 50; ++rep)
      ParallelBands(0, 64, 1, [&](int32_t First, int32_t Last) {
        for (int32_t i = First; i < Last; ++i)
          ParallelBands(0, 100, 1, [&](int32_t A, int32_t B) { total += B - A; });
      });
  };
  std::vector<std::thread> callers;
  for (int t = 0; t < 4; ++t) callers.emplace_back(work);
  for (auto& c : callers) c.join();
  EXPECT_EQ(total.load(), int64_t(4) * 50 * 64 * 100);
  EXPECT_GE(ParallelBandThreads(), 1);
}

// The caller returns once its bands are done, without waiting for every worker to wake; a worker that wakes
// late must then neither run a finished call's work nor miss the next call's.
TEST(ParallelBands, BackToBackCallsEachRunEveryBandOnceWhileWorkersWakeLate) {
  for (int rep = 0; rep < 3000; ++rep) {
    std::vector<int> hits(64, 0);  // each band writes only its own items
    ParallelBands(0, 64, 1, [&](int32_t First, int32_t Last) {
      for (int32_t i = First; i < Last; ++i) hits[size_t(i)] += rep + 1;
    });
    for (size_t i = 0; i < hits.size(); ++i) ASSERT_EQ(hits[i], rep + 1) << "call " << rep << " item " << i;
  }
}

// Inside an inline scope the whole range runs as one band on the calling thread; a scope made with
// Inline false inside it splits work again, and leaving the scopes restores what was before.
TEST(ParallelBands, InlineScopeKeepsTheWorkOnTheCallingThread) {
  auto bands = [] {
    std::mutex m;
    std::vector<std::pair<int32_t, int32_t>> seen;
    std::set<std::thread::id> threads;
    ParallelBands(0, 4000, 4, [&](int32_t First, int32_t Last) {
      std::lock_guard<std::mutex> lock(m);
      seen.emplace_back(First, Last);
      threads.insert(std::this_thread::get_id());
    });
    return std::pair{seen, threads};
  };
  {
    TParallelInlineScope scope;
    auto [seen, threads] = bands();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0], (std::pair<int32_t, int32_t>{0, 4000}));
    EXPECT_EQ(threads, std::set<std::thread::id>{std::this_thread::get_id()});
    if (ParallelBandThreads() > 1) {
      TParallelInlineScope everyCore(false);
      EXPECT_GT(bands().first.size(), 1u);
    }
    EXPECT_EQ(bands().first.size(), 1u);
  }
  if (ParallelBandThreads() > 1) {
    EXPECT_GT(bands().first.size(), 1u);
  }
}
