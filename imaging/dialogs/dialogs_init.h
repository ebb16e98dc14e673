#pragma once
// Plugs the dialogs library into the lower ones: the message table fills at library start-up and the I/O
// component's DoPreviews runs the save-parameters dialog. Call before QxStaticInit (later calls fill at once).
void QxRegisterDialogs();
