#pragma once
// Plugs the dialogs library into the lower ones: the message table fills at library start-up and the I/O
// component's DoPreviews runs the save-parameters dialog. Fills the table at once; the start-up
// hook then finds it filled.
void QxRegisterDialogs();
