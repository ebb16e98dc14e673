#pragma once
// Threads, locks and events.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

// A worker thread. Subclasses override Execute and poll Terminated().
class TThread {
 public:
  using TThreadMethod = std::function<void()>;
  using TSynchronizeHook = std::function<void(const TThreadMethod& Method)>;

  explicit TThread(bool CreateSuspended = true);
  TThread(const TThread&) = delete;
  TThread& operator=(const TThread&) = delete;
  // A running thread is asked to terminate and waited for.
  virtual ~TThread();

  // Starts a suspended thread; a second call raises EThread.
  void Start();
  // Waits until Execute has returned; returns ReturnValue. Must not be called from the thread itself.
  int32_t WaitFor();
  void Terminate() { FTerminated = true; }
  bool Terminated() const { return FTerminated; }
  bool Finished() const { return FFinished; }
  bool Started() const { return FStarted; }
  // The thread deletes itself after Execute (and OnTerminate); do not touch it after Start then.
  bool FreeOnTerminate() const { return FFreeOnTerminate; }
  void SetFreeOnTerminate(bool Value) { FFreeOnTerminate = Value; }
  int32_t ReturnValue() const { return FReturnValue; }
  void SetReturnValue(int32_t Value) { FReturnValue = Value; }
  // An exception that escaped Execute; cleared by nobody.
  std::exception_ptr FatalException() const { return FFatalException; }
  std::thread::id ThreadID() const { return FThreadId; }

  // Runs after Execute, through Synchronize.
  std::function<void(TThread* Sender)> OnTerminate;

  // Runs Method on the main thread. The UI layer installs a hook that queues it and waits; without
  // one the method runs directly on the calling thread.
  static void Synchronize(const TThreadMethod& Method);
  static void SetSynchronizeHook(TSynchronizeHook Hook);
  // The thread that loaded the program (the GUI thread).
  static std::thread::id MainThreadID();
  static bool IsMainThread();

 protected:
  virtual void Execute() = 0;

 private:
  void Run();
  std::thread FThread;
  std::thread::id FThreadId;
  std::atomic<bool> FTerminated{false};
  std::atomic<bool> FFinished{false};
  bool FStarted = false;
  bool FFreeOnTerminate = false;
  int32_t FReturnValue = 0;
  std::exception_ptr FFatalException;
  std::mutex FDoneLock;
  std::condition_variable FDoneCond;
};

// A recursive lock, as a critical section is.
class TCriticalSection {
 public:
  void Enter() { FMutex.lock(); }
  void Leave() { FMutex.unlock(); }
  bool TryEnter() { return FMutex.try_lock(); }
  void Acquire() { Enter(); }
  void Release() { Leave(); }

 private:
  std::recursive_mutex FMutex;
};

enum class TWaitResult : uint8_t { wrSignaled, wrTimeout, wrAbandoned, wrError };
constexpr uint32_t INFINITE = 0xFFFFFFFFu;

// A manual-reset event: once set, every waiter is released until it is reset.
class TEvent {
 public:
  explicit TEvent(bool InitialState = false) : FSignaled(InitialState) {}
  void SetEvent();
  void ResetEvent();
  TWaitResult WaitFor(uint32_t TimeoutMs = INFINITE);
  bool IsSet();

 private:
  std::mutex FMutex;
  std::condition_variable FCond;
  bool FSignaled;
};
