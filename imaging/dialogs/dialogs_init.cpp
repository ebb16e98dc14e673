#include "imaging/dialogs/dialogs_init.h"

#include "imaging/dialogs/io_previews.h"
#include "imaging/dialogs/message_table.h"
#include "imaging/dialogs/multi_io.h"
#include "imaging/foundation/services.h"
#include "imaging/foundation/startup.h"
#include "imaging/io/quillot_io.h"

void QxRegisterDialogs() {
  QxUtilsHooks.FillMessageTables = &QxFillMessageTables;
  QxPreviewsDialogHook = &QxRunPreviewsDialog;
  TQuillotMIO::Register();
  // The program need not run the library start-up; the table is there from registration on.
  QxFillMessageTables();
}
