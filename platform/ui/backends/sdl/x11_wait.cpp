#include "platform/ui/backends/sdl/x11_wait.h"

#include <SDL.h>
#include <SDL_syswm.h>
#include <X11/Xlib.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

TQvX11Wait::TQvX11Wait() : FWakeFd(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

TQvX11Wait::~TQvX11Wait() {
  if (FWakeFd >= 0) close(FWakeFd);
}

bool TQvX11Wait::Attach(SDL_Window* W) {
  if (FDisplay) return true;
  if (FWakeFd < 0 || !W) return false;
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  if (!SDL_GetWindowWMInfo(W, &info) || info.subsystem != SDL_SYSWM_X11 || !info.info.x11.display) return false;
  FDisplay = info.info.x11.display;
  return true;
}

void TQvX11Wait::Wait(int TimeoutMs) {
  auto* D = static_cast<Display*>(FDisplay);
  // Sends what is buffered and takes in what has already arrived: events read while waiting for a reply
  // sit in Xlib's queue and would never wake the poll below.
  if (XEventsQueued(D, QueuedAfterFlush) > 0) return;
  pollfd fds[2] = {{ConnectionNumber(D), POLLIN, 0}, {FWakeFd, POLLIN, 0}};
  while (poll(fds, 2, TimeoutMs) < 0 && errno == EINTR) {
  }
  if (fds[1].revents & POLLIN) {
    uint64_t n = 0;
    [[maybe_unused]] ssize_t r = read(FWakeFd, &n, sizeof n);
  }
}

void TQvX11Wait::Wake() {
  if (FWakeFd < 0) return;
  const uint64_t one = 1;
  [[maybe_unused]] ssize_t r = write(FWakeFd, &one, sizeof one);
}
