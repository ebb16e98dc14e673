#include "imaging/foundation/startup.h"

#include <mutex>
#include <string>

#include "imaging/foundation/bitmap.h"
#include "imaging/foundation/canvas.h"
#include "imaging/foundation/geometry_helpers.h"
#include "imaging/foundation/helpers.h"
#include "imaging/foundation/qx_lists.h"
#include "imaging/foundation/startup_internal.h"
#include "imaging/foundation/utils.h"

int32_t QxWindowsVersionCode = 9;
bool QxUnicodeAPI = true;

namespace {
std::string GMarker;
int32_t GUseCount = 0;
std::recursive_mutex GLock;

void RunInit(int Step) {
  // The foundation's own steps are built in; the other subsystems register theirs.
  switch (static_cast<TQxStartStep>(Step)) {
    case TQxStartStep::qxsGdiPlus: GdiPlusInitDefaults(); break;
    case TQxStartStep::qxsGrayWeights: QxResetGrayWeights(); break;
    case TQxStartStep::qxsUtils: QxUtilsInit(); break;
    case TQxStartStep::qxsPresetImages: PresetImagesInit(); break;
    default: break;
  }
  if (TQxStepProc P = QxRegisteredInit(Step)) P();
}

void RunFinal(int Step) {
  if (TQxStepProc P = QxRegisteredFinal(Step)) P();
  switch (static_cast<TQxStartStep>(Step)) {
    case TQxStartStep::qxsUtils: QxUtilsFinal(); break;
    case TQxStartStep::qxsPresetImages: PresetImagesFree(); break;
    default: break;
  }
}
}  // namespace

void QxStaticInit() {
  std::lock_guard<std::recursive_mutex> G(GLock);
  if (GMarker != "STATICINIT") {
    GMarker = "STATICINIT";
    GUseCount = 0;
  }
  if (GUseCount == 0)
    for (int Step = 0; Step < QxStartStepCount; ++Step) RunInit(Step);
  ++GUseCount;
}

void QxStaticFinal() {
  std::lock_guard<std::recursive_mutex> G(GLock);
  if (GMarker != "STATICINIT") return;
  if (GUseCount > 0) --GUseCount;
  if (GUseCount == 0) {
    GMarker.clear();
    for (int Step = QxStartStepCount - 1; Step >= 0; --Step) RunFinal(Step);
  }
}

int32_t QxStaticUseCount() {
  std::lock_guard<std::recursive_mutex> G(GLock);
  return GMarker == "STATICINIT" ? GUseCount : 0;
}

bool QxStaticStarted() { return QxStaticUseCount() > 0; }

void QxUtilsInit() {
  QxResetProcessorCoreCount();
  QxWindowsVersionCode = QxWindowsVersion();
  QxUnicodeAPI = QxWindowsVersionCode > 2;
  if (QxUtilsHooks.FillMessageTables) QxUtilsHooks.FillMessageTables();
  QxCenterWindowHook = nullptr;
  QxMemoryThresholdOverride = -1;
  QxFileFallback = true;
  QxAllowFragments = true;
  QxInitCosineTable();
  if (QxUtilsHooks.InitCosineTable) QxUtilsHooks.InitCosineTable();
}

void QxUtilsFinal() {
  if (QxUtilsHooks.FreeColorManagement) QxUtilsHooks.FreeColorManagement();
}
