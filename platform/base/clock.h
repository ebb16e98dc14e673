#pragma once
// Milliseconds since an arbitrary start. Tests can install a clock of their own and drive it.
#include <cstdint>
#include <functional>

uint32_t GetTickCount();    // wraps after ~49.7 days
uint64_t GetTickCount64();
// Waits Milliseconds; under a test clock it advances that clock instead and returns at once.
void Sleep(uint32_t Milliseconds);

// A settable clock for tests: while installed, GetTickCount reads it.
class TTestClock {
 public:
  explicit TTestClock(uint64_t StartMs = 0);
  ~TTestClock();
  TTestClock(const TTestClock&) = delete;
  TTestClock& operator=(const TTestClock&) = delete;
  void Advance(uint64_t Ms);
  void Set(uint64_t Ms);
  uint64_t Now() const;
};
