#include "app/shutdown_signals.h"

#include <pthread.h>
#include <signal.h>

#include <cerrno>
#include <ctime>

#include "platform/ui/controls.h"
#include "platform/ui/forms.h"
#include "platform/ui/messages.h"

namespace {

sigset_t ShutdownSet() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  return set;
}

// The main form's window, taken on the GUI thread when watching starts; a post to a window that has gone
// is refused by the message queue.
std::atomic<HWND> GMainWindow{0};

}  // namespace

TShutdownSignals::TShutdownSignals() {
  const sigset_t set = ShutdownSet();
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

TShutdownSignals::~TShutdownSignals() { Stop(); }

void TShutdownSignals::Watch(std::function<void()> OnSignal) {
  if (TCustomForm* f = Application->MainForm()) GMainWindow.store(f->Handle());
  FWatcher = std::thread([this, OnSignal = std::move(OnSignal)] {
    const sigset_t set = ShutdownSet();
    int taken = 0;
    while (!FStop.load()) {
      // A short wait, so that Stop is seen without a signal of its own.
      const timespec wait{0, 100 * 1000 * 1000};
      const int sig = sigtimedwait(&set, nullptr, &wait);
      if (sig < 0) continue;  // timeout or interruption
      if (++taken == 1) {
        OnSignal();
        continue;
      }
      // The first request did not end the program (a modal loop may hold it): end it the plain way.
      signal(sig, SIG_DFL);
      const sigset_t one = [&] {
        sigset_t s;
        sigemptyset(&s);
        sigaddset(&s, sig);
        return s;
      }();
      pthread_sigmask(SIG_UNBLOCK, &one, nullptr);
      raise(sig);
    }
  });
}

void TShutdownSignals::Stop() {
  FStop.store(true);
  if (FWatcher.joinable()) FWatcher.join();
}

void AskMainFormToClose() {
  if (HWND h = GMainWindow.load()) PostMessage(h, WM_CLOSE, 0, 0);
}
