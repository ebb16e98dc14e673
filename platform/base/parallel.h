#pragma once
// Splitting row work over the processor's cores.
#include <cstdint>
#include <functional>

// Runs Fn(First, Last) over the half-open range [Begin, End) cut into bands of at least MinBand items,
// on a set of worker threads kept for the life of the process; the calling thread takes bands too and
// returns when every band is done. The first exception a band raises is raised again in the caller.
// The work runs inline, as one band, when the range is short, the machine has one core, or the workers
// are serving another caller (so nested and concurrent calls never wait on each other).
void ParallelBands(int32_t Begin, int32_t End, int32_t MinBand, const std::function<void(int32_t, int32_t)>& Fn);

// How many threads ParallelBands can use at most, the caller included.
int32_t ParallelBandThreads();

// While one lives, ParallelBands called on the same thread runs its work inline, as one band: for work
// short enough that waking other threads costs more than it saves, and that must not wait for a thread a
// busy machine has not scheduled yet (a frame being painted). One made with Inline false lets a long
// piece of work inside such a scope use every core again.
class TParallelInlineScope {
 public:
  explicit TParallelInlineScope(bool Inline = true);
  ~TParallelInlineScope();
  TParallelInlineScope(const TParallelInlineScope&) = delete;
  TParallelInlineScope& operator=(const TParallelInlineScope&) = delete;

 private:
  bool FWas;
};
