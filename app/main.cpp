// The reflection program: one main window in a real window.
#include <cstdio>

#include "app/main_window.h"
#include "platform/ui/forms.h"

int main() {
  if (!Application->Initialize()) {
    std::fprintf(stderr, "quorvel: no window can be opened, so the program stops\n");
    return 1;
  }
  Application->CreateForm<TFrmQuorvel>();
  Application->Run();
  DoneApplication();
  return 0;
}
