#include "platform/base/parallel.h"

#include <sched.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace {

// One call's work. The caller's function is reached only through bands not yet taken; once every band
// is done a late worker that still holds the job finds none left, so the caller need not wait for it.
struct BandJob {
  const std::function<void(int32_t, int32_t)>* Fn = nullptr;
  int32_t Begin = 0, End = 0, Band = 1, Bands = 0;
  std::atomic<int32_t> Next{0};
  std::atomic<int32_t> Pending{0};  // bands not finished
  std::mutex ErrorLock;
  std::exception_ptr Error;
};

class BandPool {
 public:
  BandPool() {
    // The cores this process may run on (taskset, a container's share), not every core of the machine:
    // more threads than those only take turns.
    unsigned hw = std::thread::hardware_concurrency();
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof(set), &set) == 0 && CPU_COUNT(&set) > 0) hw = unsigned(CPU_COUNT(&set));
    FThreads = int32_t(std::clamp(hw, 1u, 16u));
  }
  ~BandPool() {
    {
      std::lock_guard<std::mutex> lock(FLock);
      FStop = true;
    }
    FWake.notify_all();
    for (auto& t : FWorkers) t.join();
  }

  int32_t Threads() const { return FThreads; }

  // False when another caller owns the workers; the caller then runs the work itself.
  bool Run(const std::shared_ptr<BandJob>& Job) {
    bool expected = false;
    if (!FBusy.compare_exchange_strong(expected, true)) return false;
    struct Release {
      std::atomic<bool>& b;
      ~Release() { b.store(false); }
    } release{FBusy};
    StartWorkers();
    Job->Pending.store(Job->Bands);
    {
      std::lock_guard<std::mutex> lock(FLock);
      FJob = Job;
      ++FGeneration;
    }
    FWake.notify_all();
    TakeBands(*Job);
    // Blocks rather than spins: a thread that spins for a worker the machine has preempted only steals
    // the core that worker needs. The caller has taken bands itself meanwhile, so it waits only for bands
    // a worker has started; workers that woke late or not at all hold nothing up.
    if (Job->Pending.load() != 0) {
      std::unique_lock<std::mutex> lock(FLock);
      FDone.wait(lock, [&] { return Job->Pending.load() == 0; });
    }
    {
      std::lock_guard<std::mutex> lock(FLock);
      if (FJob == Job) FJob.reset();
    }
    if (Job->Error) std::rethrow_exception(Job->Error);
    return true;
  }

 private:
  void StartWorkers() {
    if (!FWorkers.empty()) return;
    for (int32_t i = 1; i < FThreads; ++i) FWorkers.emplace_back([this] { WorkerLoop(); });
  }

  void WorkerLoop() {
    uint64_t seen = 0;
    for (;;) {
      std::shared_ptr<BandJob> job;
      {
        std::unique_lock<std::mutex> lock(FLock);
        FWake.wait(lock, [&] { return FStop || FGeneration != seen; });
        if (FStop) return;
        seen = FGeneration;
        job = FJob;
      }
      if (job) TakeBands(*job);
    }
  }

  void TakeBands(BandJob& Job) {
    for (;;) {
      const int32_t k = Job.Next.fetch_add(1);
      if (k >= Job.Bands) return;
      const int32_t first = Job.Begin + k * Job.Band;
      const int32_t last = std::min(Job.End, first + Job.Band);
      try {
        (*Job.Fn)(first, last);
      } catch (...) {
        std::lock_guard<std::mutex> lock(Job.ErrorLock);
        if (!Job.Error) Job.Error = std::current_exception();
      }
      if (Job.Pending.fetch_sub(1) == 1) {
        std::lock_guard<std::mutex> lock(FLock);
        FDone.notify_all();
      }
    }
  }

  int32_t FThreads = 1;
  std::vector<std::thread> FWorkers;
  std::atomic<bool> FBusy{false};  // set while a caller's work is being served
  std::mutex FLock;                // guards FJob, FGeneration and FStop
  std::condition_variable FWake, FDone;
  bool FStop = false;
  uint64_t FGeneration = 0;
  std::shared_ptr<BandJob> FJob;
};

thread_local bool tInline = false;

BandPool& Pool() {
  static BandPool pool;
  return pool;
}

}  // namespace

int32_t ParallelBandThreads() { return Pool().Threads(); }

TParallelInlineScope::TParallelInlineScope(bool Inline) : FWas(tInline) { tInline = Inline; }

TParallelInlineScope::~TParallelInlineScope() { tInline = FWas; }

void ParallelBands(int32_t Begin, int32_t End, int32_t MinBand, const std::function<void(int32_t, int32_t)>& Fn) {
  if (End <= Begin) return;
  const int64_t n = int64_t(End) - Begin;
  MinBand = std::max(MinBand, 1);
  BandPool& pool = Pool();
  const int64_t threads = pool.Threads();
  if (tInline || threads < 2 || n < 2 * int64_t(MinBand)) {
    Fn(Begin, End);
    return;
  }
  // A few bands per thread, so a thread slowed by a busy machine does not hold the others up.
  const int64_t band = std::max<int64_t>(MinBand, (n + threads * 4 - 1) / (threads * 4));
  auto job = std::make_shared<BandJob>();
  job->Fn = &Fn;
  job->Begin = Begin;
  job->End = End;
  job->Band = int32_t(band);
  job->Bands = int32_t((n + band - 1) / band);
  if (!pool.Run(job)) Fn(Begin, End);
}
