#pragma once
// The library-wide start-up and shutdown: every unit's start step once per process, in a fixed order.
#include <cstdint>

// Runs the start steps when the use count is 0, then counts the call. Thread-safe.
void QxStaticInit();
// Uncounts a call; the last one runs the end steps in reverse order. Without a start it does nothing.
void QxStaticFinal();
// The number of QxStaticInit calls not yet balanced.
int32_t QxStaticUseCount();
// True between the first start-up and the last shutdown.
bool QxStaticStarted();

// The utilities unit's own steps.
void QxUtilsInit();
void QxUtilsFinal();

// Settings of the utilities unit, set by QxUtilsInit.
extern int32_t QxWindowsVersionCode;   // QxWindowsVersion()
extern bool QxUnicodeAPI;              // version code > 2
