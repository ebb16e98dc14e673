#include "platform/base/clock.h"

#include <atomic>
#include <chrono>
#include <thread>

namespace {
std::atomic<bool> GTestClockOn{false};
std::atomic<uint64_t> GTestClockMs{0};

uint64_t RealMs() {
  using namespace std::chrono;
  return static_cast<uint64_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}
}  // namespace

uint64_t GetTickCount64() { return GTestClockOn ? GTestClockMs.load() : RealMs(); }

uint32_t GetTickCount() { return static_cast<uint32_t>(GetTickCount64()); }

void Sleep(uint32_t Milliseconds) {
  if (GTestClockOn) {
    GTestClockMs += Milliseconds;
    return;
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(Milliseconds));
}

TTestClock::TTestClock(uint64_t StartMs) {
  GTestClockMs = StartMs;
  GTestClockOn = true;
}

TTestClock::~TTestClock() { GTestClockOn = false; }

void TTestClock::Advance(uint64_t Ms) { GTestClockMs += Ms; }
void TTestClock::Set(uint64_t Ms) { GTestClockMs = Ms; }
uint64_t TTestClock::Now() const { return GTestClockMs; }
