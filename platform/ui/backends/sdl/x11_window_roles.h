#pragma once
// Tells the window manager what a top-level window is for. Kept apart from the back end for the same
// reason as x11_errors: Xlib's macros clash with our names.
struct SDL_Window;

// Makes Window a dialog of Owner (may be null): transient for it (kept above it, no task-bar entry of its
// own), typed as a dialog, modal when Modal, and with only the title-bar functions a dialog has (move,
// close, and resize when the window is resizable). Other video drivers get what SDL offers for it.
void QvMarkDialogWindow(SDL_Window* Window, SDL_Window* Owner, bool Modal);
