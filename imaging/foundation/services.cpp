#include "imaging/foundation/services.h"

#include "imaging/foundation/startup_internal.h"

TQxUtilsHooks QxUtilsHooks;
TQxCodecServices QxCodecServices;

namespace {
TQxStepProc GInit[QxStartStepCount] = {};
TQxStepProc GFinal[QxStartStepCount] = {};
}  // namespace

void QxRegisterStartStep(TQxStartStep Step, TQxStepProc Init, TQxStepProc Final) {
  auto I = static_cast<size_t>(Step);
  if (I >= static_cast<size_t>(QxStartStepCount)) return;
  GInit[I] = Init;
  GFinal[I] = Final;
}

void QxClearStartSteps() {
  for (int I = 0; I < QxStartStepCount; ++I) GInit[I] = GFinal[I] = nullptr;
}

TQxStepProc QxRegisteredInit(int Step) { return GInit[Step]; }
TQxStepProc QxRegisteredFinal(int Step) { return GFinal[Step]; }

bool QxProbe(bool (*Probe)(TStream*), TStream* Stream) { return Probe && Stream && Probe(Stream); }

int32_t QxCount(int32_t (*Count)(TStream*), TStream* Stream) { return Count && Stream ? Count(Stream) : 0; }
