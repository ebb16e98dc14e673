// The reflection program: one main window in a real window.
#include <csignal>
#include <cstdio>
#include <exception>

#include "app/main_window.h"
#include "app/memory_policy.h"
#include "app/shutdown_signals.h"
#include "imaging/codecs/codecs.h"
#include "imaging/foundation/startup.h"
#include "platform/ui/forms.h"

int main() {
  // Before any thread exists, so that every thread inherits the blocked signals and only the watcher
  // takes them.
  TShutdownSignals Signals;
  KeepFreedBlocksForReuse();
  // The further codecs register their start-up steps; the library's start-up then builds its shared
  // tables once for the whole run.
  QxRegisterFurtherCodecs();
  QxStaticInit();
  if (!Application->Initialize()) {
    std::fprintf(stderr, "quorvel: no window can be opened, so the program stops\n");
    QxStaticFinal();
    return 1;
  }
  try {
    Application->CreateForm<TFrmQuorvel>();
  } catch (const std::exception& e) {
    // A bad language file stops the start-up steps there; the window still opens and says why.
    Application->HandleException(Application, e);
  }
  Signals.Watch([] { AskMainFormToClose(); });
  Application->Run();
  Signals.Stop();
  DoneApplication();
  QxStaticFinal();
  return 0;
}
