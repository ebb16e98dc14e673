#pragma once
// SIGINT and SIGTERM end the program as closing its window does: the main form closes, its destruction
// writes the options, and the message loop returns.

#include <atomic>
#include <functional>
#include <thread>

class TShutdownSignals {
 public:
  // Blocks SIGINT and SIGTERM in the calling thread and in every thread it starts from now on.
  TShutdownSignals();
  ~TShutdownSignals();
  TShutdownSignals(const TShutdownSignals&) = delete;
  TShutdownSignals& operator=(const TShutdownSignals&) = delete;

  // Starts a thread that takes the signals and runs OnSignal (on that thread) for the first one; a
  // second signal, when the first did not end the program, ends it at once.
  void Watch(std::function<void()> OnSignal);
  // Ends the watching thread.
  void Stop();

 private:
  std::thread FWatcher;
  std::atomic<bool> FStop{false};
};

// Posts a close request to the application's main form; callable from any thread.
void AskMainFormToClose();
