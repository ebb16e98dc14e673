#pragma once
// Library-wide settings of the I/O unit, its start-up and shut-down.

#include <cstdint>
#include <string>

#include "imaging/io/params.h"
#include "platform/base/exceptions.h"

extern TQxLzwHook QxGifLzwDecodeHook;
extern TQxLzwHook QxGifLzwEncodeHook;
extern TQxLzwHook QxTiffLzwDecodeHook;
extern TQxLzwHook QxTiffLzwEncodeHook;
extern bool QxUseFileExists;
extern std::string QxTwainLogFile;
extern std::string QxDebugLogFile;
extern bool QxColorManagement;
extern int32_t QxQuantizerMethod;
extern int32_t QxQuantizerSampling;
extern bool QxBufferedReadRelative;
extern int32_t QxMetafileMaxSize;
extern bool QxAviInitialized;
extern bool QxUseCMYKProfile;


void QxIOInitialize();
void QxIOFinalize();
void QxDebugLog(const std::string& Msg);
