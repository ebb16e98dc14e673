#pragma once
// Between the hook registry and the start-up that runs it.
#include "imaging/foundation/services.h"

TQxStepProc QxRegisteredInit(int Step);
TQxStepProc QxRegisteredFinal(int Step);
