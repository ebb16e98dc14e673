// The reflection program: one main window in a real window.
#include <cstdio>
#include <exception>

#include "app/main_window.h"
#include "platform/ui/forms.h"

int main() {
  if (!Application->Initialize()) {
    std::fprintf(stderr, "quorvel: no window can be opened, so the program stops\n");
    return 1;
  }
  try {
    Application->CreateForm<TFrmQuorvel>();
  } catch (const std::exception& e) {
    // A bad language file stops the start-up steps there; the window still opens and says why.
    Application->HandleException(Application, e);
  }
  Application->Run();
  DoneApplication();
  return 0;
}
