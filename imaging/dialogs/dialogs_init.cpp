#include "imaging/dialogs/dialogs_init.h"

#include "imaging/dialogs/io_previews.h"
#include "imaging/dialogs/message_table.h"
#include "imaging/dialogs/multi_io.h"
#include "imaging/dialogs/open_dialog.h"
#include "imaging/foundation/services.h"
#include "imaging/foundation/startup.h"
#include "imaging/io/quillot_io.h"
#include "platform/ui/published.h"

void QxRegisterDialogs() {
  QxUtilsHooks.FillMessageTables = &QxFillMessageTables;
  QxPreviewsDialogHook = &QxRunPreviewsDialog;
  TQuillotMIO::Register();
  // A program's language file names the dialogs' titles.
  RegisterStringProperty<TOpenQuillotDialog>(
      "Title", [](TOpenQuillotDialog* D, const std::string& V) { D->Title = V; },
      [](const TOpenQuillotDialog* D) { return D->Title; });
  // The program need not run the library start-up; the table is there from registration on.
  QxFillMessageTables();
}
