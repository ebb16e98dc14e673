#include "platform/ui/backends/sdl/x11_window_roles.h"

#include <SDL.h>
#include <SDL_syswm.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <vector>

void QvMarkDialogWindow(SDL_Window* W, SDL_Window* O, bool Modal) {
  SDL_SysWMinfo info, owner;
  SDL_VERSION(&info.version);
  SDL_VERSION(&owner.version);
  if (!SDL_GetWindowWMInfo(W, &info) || info.subsystem != SDL_SYSWM_X11) {
    if (O) SDL_SetWindowModalFor(W, O);
    return;
  }
  Display* D = info.info.x11.display;
  ::Window Window = info.info.x11.window, Owner = 0;
  if (O && SDL_GetWindowWMInfo(O, &owner) && owner.subsystem == SDL_SYSWM_X11) Owner = owner.info.x11.window;
  const bool Resizable = (SDL_GetWindowFlags(W) & SDL_WINDOW_RESIZABLE) != 0;
  if (Owner) XSetTransientForHint(D, Window, Owner);
  Atom type = XInternAtom(D, "_NET_WM_WINDOW_TYPE", False);
  Atom dialog = XInternAtom(D, "_NET_WM_WINDOW_TYPE_DIALOG", False);
  XChangeProperty(D, Window, type, XA_ATOM, 32, PropModeReplace, reinterpret_cast<unsigned char*>(&dialog), 1);
  if (Modal) {
    // The window is not mapped yet, so its initial state is set by the property itself.
    Atom state = XInternAtom(D, "_NET_WM_STATE", False);
    Atom modal = XInternAtom(D, "_NET_WM_STATE_MODAL", False);
    std::vector<Atom> states{modal};
    Atom actual = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(D, Window, state, 0, 64, False, XA_ATOM, &actual, &format, &count, &after, &data) ==
            Success &&
        data) {
      if (format == 32)
        for (unsigned long i = 0; i < count; ++i)
          if (reinterpret_cast<Atom*>(data)[i] != modal) states.push_back(reinterpret_cast<Atom*>(data)[i]);
      XFree(data);
    }
    XChangeProperty(D, Window, state, XA_ATOM, 32, PropModeReplace, reinterpret_cast<unsigned char*>(states.data()),
                    static_cast<int>(states.size()));
  }
  // Motif hints: no minimise or maximise button, which a dialog has no use for. Some window managers
  // (openbox) keep both buttons whatever these say; they still refuse maximise to a window of fixed
  // size, which SDL's size hints make of a window that is not resizable.
  const long kFunctions = 1, kDecorations = 2;
  const long kFuncResize = 2, kFuncMove = 4, kFuncClose = 32;
  const long kDecorBorder = 2, kDecorResize = 4, kDecorTitle = 8, kDecorMenu = 16;
  long hints[5] = {kFunctions | kDecorations, kFuncMove | kFuncClose | (Resizable ? kFuncResize : 0),
                   kDecorBorder | kDecorTitle | kDecorMenu | (Resizable ? kDecorResize : 0), 0, 0};
  Atom motif = XInternAtom(D, "_MOTIF_WM_HINTS", False);
  XChangeProperty(D, Window, motif, motif, 32, PropModeReplace, reinterpret_cast<unsigned char*>(hints), 5);
  XFlush(D);
}
