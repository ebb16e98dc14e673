// Kept apart from the back end: Xlib's headers define macros (None, Status, Bool) that clash with ours.
#include "platform/ui/backends/sdl/x11_errors.h"

#include <X11/Xlib.h>

#include <cstdio>

namespace {

// Protocol errors arrive after the fact: a request that names a window which another client, or our own
// popup, destroyed a moment earlier is harmless. Xlib's default handler ends the process for it, which
// would lose the user's picture, so the error is reported and the program goes on.
int KeepRunningOnXError(Display* D, XErrorEvent* E) {
  char text[160] = {};
  XGetErrorText(D, E->error_code, text, sizeof text - 1);
  std::fprintf(stderr, "quorvel: X error ignored: %s (request %d, resource 0x%lx)\n", text,
               int(E->request_code), static_cast<unsigned long>(E->resourceid));
  return 0;
}

}  // namespace

void QvKeepRunningOnXErrors() { XSetErrorHandler(&KeepRunningOnXError); }

bool QvSendToMissingWindowForTest() {
  Display* D = XOpenDisplay(nullptr);
  if (!D) return false;
  XEvent ev{};
  ev.xclient.type = ClientMessage;
  ev.xclient.format = 32;
  ev.xclient.window = 0x1FFFFFFF;  // no client owns this id
  XSendEvent(D, 0x1FFFFFFF, False, NoEventMask, &ev);
  XSync(D, False);
  XCloseDisplay(D);
  return true;
}
