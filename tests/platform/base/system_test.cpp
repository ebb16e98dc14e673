#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <thread>
#include <vector>

#include "platform/base/clock.h"
#include "platform/base/exceptions.h"
#include "platform/base/files.h"
#include "platform/base/system.h"
#include "platform/base/threads.h"

TEST(Files, ExecutableDirectoryListingAndSizes) {
  std::string Dir = ExeDirectory();
  ASSERT_FALSE(Dir.empty());
  EXPECT_EQ(Dir.back(), '/');
  EXPECT_TRUE(FileExists(ExeFileName()));
  EXPECT_TRUE(DirectoryExists(Dir));
  EXPECT_FALSE(FileExists(Dir));

  std::string Base = TempDirectory() + "qv_files_" + std::to_string(::getpid()) + "/";
  ASSERT_TRUE(ForceDirectories(Base + "sub/deeper"));
  WriteFileBytes(Base + "a.PNG", "12345");
  WriteFileBytes(Base + "b.txt", "");
  EXPECT_EQ(FileSize64(Base + "a.PNG"), 5);
  EXPECT_EQ(FileSize64(Base + "none"), -1);
  EXPECT_EQ(ListDirectory(Base, "*.png"), std::vector<std::string>{"a.PNG"});
  EXPECT_EQ(ListDirectory(Base).size(), 2u);
  EXPECT_EQ(ListDirectory(Base, "*", true).size(), 3u);
  EXPECT_TRUE(DeleteFile(Base + "a.PNG"));
  EXPECT_FALSE(DeleteFile(Base + "a.PNG"));
  DeleteFile(Base + "b.txt");
  RemoveDir(Base + "sub/deeper");
  RemoveDir(Base + "sub");
  EXPECT_TRUE(RemoveDir(Base));
}

TEST(System, MachineQueries) {
  EXPECT_GT(PhysicalMemory(false), 0);
  EXPECT_LE(PhysicalMemory(true), PhysicalMemory(false));
  EXPECT_GE(ProcessorCount(), 1);
  EXPECT_GE(ProcessorCoreCount(), 1);
  EXPECT_LE(ProcessorCoreCount(), ProcessorCount());
}

TEST(Clock, TestClockDrivesTicksAndSleep) {
  {
    TTestClock C(1000);
    EXPECT_EQ(GetTickCount(), 1000u);
    C.Advance(250);
    Sleep(50);  // advances instead of waiting
    EXPECT_EQ(GetTickCount64(), 1300u);
    C.Set(0x100000005ull);
    EXPECT_EQ(GetTickCount(), 5u);  // 32-bit ticks wrap
  }
  uint64_t A = GetTickCount64();
  Sleep(2);
  EXPECT_GE(GetTickCount64(), A + 2);
}

TEST(Threads, ManualEventReleasesEveryWaiter) {
  TEvent E;
  std::atomic<int> Released{0};
  std::vector<std::thread> Waiters;
  for (int I = 0; I < 3; ++I)
    Waiters.emplace_back([&] {
      if (E.WaitFor() == TWaitResult::wrSignaled) ++Released;
    });
  E.SetEvent();
  for (auto& T : Waiters) T.join();
  EXPECT_EQ(Released, 3);
  EXPECT_EQ(E.WaitFor(0), TWaitResult::wrSignaled);
  E.ResetEvent();
  EXPECT_EQ(E.WaitFor(5), TWaitResult::wrTimeout);
}

namespace {
class TCountThread : public TThread {
 public:
  explicit TCountThread(bool Throw) : TThread(true), FThrow(Throw) {}
  std::atomic<int> Loops{0};

 protected:
  void Execute() override {
    if (FThrow) throw std::runtime_error("boom");
    while (!Terminated()) {
      ++Loops;
      std::this_thread::yield();
    }
    SetReturnValue(7);
  }

 private:
  bool FThrow;
};
}  // namespace

TEST(Threads, StartTerminateWaitForAndEscapedExceptions) {
  TCountThread T(false);
  int Terminated = 0;
  T.OnTerminate = [&](TThread*) { ++Terminated; };
  T.Start();
  EXPECT_THROW(T.Start(), EThread);
  while (T.Loops == 0) std::this_thread::yield();
  T.Terminate();
  EXPECT_EQ(T.WaitFor(), 7);
  EXPECT_TRUE(T.Finished());
  EXPECT_EQ(Terminated, 1);

  TCountThread Bad(true);
  Bad.Start();
  Bad.WaitFor();
  EXPECT_TRUE(Bad.FatalException() != nullptr);

  TCriticalSection Cs;
  Cs.Enter();
  EXPECT_TRUE(Cs.TryEnter());  // recursive for its owner
  Cs.Leave();
  Cs.Leave();
}
