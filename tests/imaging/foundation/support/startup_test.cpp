#include "imaging/foundation/startup.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "imaging/foundation/bitmap.h"
#include "imaging/foundation/canvas.h"
#include "imaging/foundation/geometry_helpers.h"
#include "imaging/foundation/services.h"
#include "imaging/foundation/utils.h"

namespace {
std::vector<std::string> GLog;

template <int N>
void Init() { GLog.push_back("+" + std::to_string(N)); }
template <int N>
void Final() { GLog.push_back("-" + std::to_string(N)); }

template <int... N>
void RegisterAll(std::integer_sequence<int, N...>) {
  (QxRegisterStartStep(static_cast<TQxStartStep>(N), &Init<N>, &Final<N>), ...);
}
}  // namespace

TEST(StaticInit, RunsStepsOnceInOrderAndEndsInReverse) {
  RegisterAll(std::make_integer_sequence<int, QxStartStepCount>());
  GLog.clear();
  QxGrayWeightRed = 1;
  QxMemoryThresholdOverride = 12345;
  QxStaticInit();
  QxStaticInit();
  EXPECT_EQ(QxStaticUseCount(), 2);
  EXPECT_EQ(GLog, (std::vector<std::string>{"+0", "+1", "+2", "+3", "+4", "+5", "+6", "+7", "+8", "+9", "+10"}));
  EXPECT_EQ(QxGrayWeightRed, 21);
  EXPECT_EQ(QxMemoryThresholdOverride, -1);
  EXPECT_EQ(QxWindowsVersionCode, 9);
  EXPECT_TRUE(QxUnicodeAPI);

  GLog.clear();
  QxStaticFinal();
  EXPECT_TRUE(GLog.empty());
  EXPECT_TRUE(QxStaticStarted());
  QxStaticFinal();
  EXPECT_EQ(GLog, (std::vector<std::string>{"-10", "-9", "-8", "-7", "-6", "-5", "-4", "-3", "-2", "-1", "-0"}));
  EXPECT_FALSE(QxStaticStarted());
  GLog.clear();
  QxStaticFinal();
  EXPECT_TRUE(GLog.empty());
  QxClearStartSteps();
}

TEST(StaticInit, ConcurrentStartsRunTheStepsOnce) {
  QxClearStartSteps();
  QxStaticInit();  // the first call comes from one thread, as at program start
  static std::atomic<int> Runs{0};
  QxStaticFinal();
  QxRegisterStartStep(TQxStartStep::qxsIO, [] { ++Runs; }, nullptr);
  QxStaticInit();
  std::vector<std::thread> T;
  for (int I = 0; I < 8; ++I) T.emplace_back([] { QxStaticInit(); });
  for (auto& Th : T) Th.join();
  EXPECT_EQ(Runs, 1);
  EXPECT_EQ(QxStaticUseCount(), 9);
  for (int I = 0; I < 9; ++I) QxStaticFinal();
  EXPECT_EQ(QxStaticUseCount(), 0);
  QxClearStartSteps();
}

// Threads that start and end the library at once, the first start among them: every start is counted, and
// the start and end steps alternate.
TEST(StaticInit, RacingFirstStartsAndEndsBalance) {
  QxClearStartSteps();
  static std::atomic<int> Starts{0}, Ends{0};
  Starts = Ends = 0;
  QxRegisterStartStep(TQxStartStep::qxsIO, [] { ++Starts; }, [] { ++Ends; });
  std::vector<std::thread> T;
  for (int I = 0; I < 8; ++I)
    T.emplace_back([] {
      for (int K = 0; K < 300; ++K) {
        QxStaticInit();
        QxStaticFinal();
      }
    });
  for (auto& Th : T) Th.join();
  EXPECT_EQ(QxStaticUseCount(), 0);
  EXPECT_GE(Starts, 1);
  EXPECT_EQ(Starts, Ends);
  QxClearStartSteps();
}

TEST(Services, DefaultsReportNotAvailable) {
  EXPECT_FALSE(QxProbe(QxCodecServices.IsTiffStream, nullptr));
  EXPECT_EQ(QxCount(QxCodecServices.TiffPageCount, nullptr), 0);
  EXPECT_EQ(QxCodecServices.ReadGifStream, nullptr);
}

TEST(StaticInit, BuiltInFoundationStepsRun) {
  QxClearStartSteps();
  QxStaticInit();
  EXPECT_EQ(PresetImages().size(), 4u);
  EXPECT_FALSE(GdiPlusLoaded());
  EXPECT_EQ(GdiPlusUseCount(), 0);
  EXPECT_NE(QxCosineTable[0], QxCosineTable[128]);
  QxStaticFinal();
  EXPECT_TRUE(PresetImages().empty());
}
