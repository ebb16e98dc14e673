#include "platform/base/threads.h"

#include <chrono>

#include "platform/base/exceptions.h"

namespace {
const std::thread::id GMainThreadId = std::this_thread::get_id();
std::mutex GHookLock;
TThread::TSynchronizeHook GSyncHook;
}  // namespace

TThread::TThread(bool CreateSuspended) {
  if (!CreateSuspended) Start();
}

TThread::~TThread() {
  if (FThread.joinable()) {
    if (FThread.get_id() == std::this_thread::get_id()) {
      FThread.detach();  // a FreeOnTerminate thread deleting itself
    } else {
      Terminate();
      FThread.join();
    }
  }
}

void TThread::Start() {
  if (FStarted) throw EThread("Cannot call Start on a running or terminated thread");
  FStarted = true;
  FThread = std::thread([this] { Run(); });
}

void TThread::Run() {
  FThreadId = std::this_thread::get_id();
  try {
    Execute();
  } catch (...) {
    FFatalException = std::current_exception();
  }
  if (OnTerminate) {
    try {
      Synchronize([this] { OnTerminate(this); });
    } catch (...) {
    }
  }
  bool FreeSelf = FFreeOnTerminate;
  {
    std::lock_guard<std::mutex> G(FDoneLock);
    FFinished = true;
  }
  FDoneCond.notify_all();
  if (FreeSelf) delete this;
}

int32_t TThread::WaitFor() {
  if (!FStarted) return FReturnValue;
  if (std::this_thread::get_id() == FThread.get_id()) throw EThread("Thread cannot wait for itself");
  if (FThread.joinable()) FThread.join();
  return FReturnValue;
}

void TThread::Synchronize(const TThreadMethod& Method) {
  TSynchronizeHook Hook;
  {
    std::lock_guard<std::mutex> G(GHookLock);
    Hook = GSyncHook;
  }
  if (Hook && !IsMainThread())
    Hook(Method);
  else
    Method();
}

void TThread::SetSynchronizeHook(TSynchronizeHook Hook) {
  std::lock_guard<std::mutex> G(GHookLock);
  GSyncHook = std::move(Hook);
}

std::thread::id TThread::MainThreadID() { return GMainThreadId; }
bool TThread::IsMainThread() { return std::this_thread::get_id() == GMainThreadId; }

void TEvent::SetEvent() {
  {
    std::lock_guard<std::mutex> G(FMutex);
    FSignaled = true;
  }
  FCond.notify_all();
}

void TEvent::ResetEvent() {
  std::lock_guard<std::mutex> G(FMutex);
  FSignaled = false;
}

TWaitResult TEvent::WaitFor(uint32_t TimeoutMs) {
  std::unique_lock<std::mutex> L(FMutex);
  if (TimeoutMs == INFINITE) {
    FCond.wait(L, [this] { return FSignaled; });
    return TWaitResult::wrSignaled;
  }
  return FCond.wait_for(L, std::chrono::milliseconds(TimeoutMs), [this] { return FSignaled; }) ? TWaitResult::wrSignaled
                                                                                              : TWaitResult::wrTimeout;
}

bool TEvent::IsSet() {
  std::lock_guard<std::mutex> G(FMutex);
  return FSignaled;
}
