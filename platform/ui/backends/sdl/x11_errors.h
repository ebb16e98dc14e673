#pragma once

// Reports X protocol errors instead of letting Xlib end the program; called once the X11 driver runs.
void QvKeepRunningOnXErrors();

// Sends an event to a window that does not exist, as a raced popup would; false without a display.
bool QvSendToMissingWindowForTest();
