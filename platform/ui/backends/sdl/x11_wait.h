#pragma once
// Waiting for input on the X connection without SDL's own wait. While SDL waits it names its newest
// window as the target of a wake-up message, and sends that message, on a second connection, whenever an
// event arrives or another thread queues one. When that window is a menu or dialog the event closes, the
// message can reach the server after the window is gone, and the server answers with an error. Our own
// wait sends nothing to any window. Kept apart from the back end: Xlib's macros clash with our names.
struct SDL_Window;

class TQvX11Wait {
 public:
  TQvX11Wait();
  ~TQvX11Wait();
  TQvX11Wait(const TQvX11Wait&) = delete;
  TQvX11Wait& operator=(const TQvX11Wait&) = delete;

  // Takes the X connection SDL reads events from, through one of its windows; false for other drivers.
  bool Attach(SDL_Window* Window);
  bool Attached() const { return FDisplay != nullptr; }
  // Returns once the connection has input, Wake was called, or TimeoutMs passed (negative: no limit).
  void Wait(int TimeoutMs);
  // Ends a Wait from any thread.
  void Wake();

 private:
  void* FDisplay = nullptr;
  int FWakeFd = -1;
};
