// Scans from the scanner library's own test device, compared with what its command-line scanner
// (scanimage) writes for the same settings; device events, the settings object and the log.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <set>
#include <thread>
#include <vector>
#include <fstream>

#include "imaging/foundation/bitmap.h"
#include "imaging/io/io_init.h"
#include "imaging/io/params.h"
#include "imaging/io/quillot_io.h"
#include "imaging/io/scanner.h"
#include "io_test_util.h"

namespace {

// A PNM file as scanimage writes it: P4 (1 = black), P5 or P6 with 255 or 65535 as maximum.
struct Pnm {
  int Kind = 0, W = 0, H = 0, Max = 0;
  std::vector<uint8_t> Data;
};
Pnm ReadPnm(const std::vector<uint8_t>& F) {
  Pnm p;
  size_t i = 0;
  auto token = [&]() {
    std::string t;
    while (i < F.size()) {
      if (F[i] == '#') {
        while (i < F.size() && F[i] != '\n') ++i;
      } else if (std::isspace(F[i])) {
        if (!t.empty()) break;
        ++i;
      } else {
        t.push_back(static_cast<char>(F[i++]));
      }
    }
    return t;
  };
  const std::string magic = token();
  if (magic.size() != 2 || magic[0] != 'P') return p;
  p.Kind = magic[1] - '0';
  p.W = std::atoi(token().c_str());
  p.H = std::atoi(token().c_str());
  p.Max = p.Kind == 4 ? 1 : std::atoi(token().c_str());
  ++i;  // the single blank after the header
  p.Data.assign(F.begin() + static_cast<std::ptrdiff_t>(std::min(i, F.size())), F.end());
  return p;
}

class Scanner : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    // Only the test device: nothing probes the machine for real scanners.
    Dir = qvio::TempDir();
    qvio::WriteText(Dir + "/dll.conf", "test\n");
    qvio::WriteText(Dir + "/test.conf", "number_of_devices 2\n");
    setenv("SANE_CONFIG_DIR", Dir.c_str(), 1);
  }
  static void TearDownTestSuite() { qvio::Shell("rm -rf " + Dir); }
  void SetUp() override {
    TQxWia probe(nullptr);
    const auto devices = probe.Devices();
    bool found = false;
    for (const auto& d : devices) found |= d.Name == "test:0";
    if (!found) GTEST_SKIP() << "the scanner library's test device is not installed";
  }
  // What scanimage writes for the same settings.
  static Pnm Reference(const std::string& Args) {
    const std::string out = Dir + "/ref.pnm";
    qvio::Shell("SANE_CONFIG_DIR=" + Dir + " scanimage -d test:0 --format=pnm " + Args + " > " + out);
    return ReadPnm(qvio::ReadFile(out));
  }
  static inline std::string Dir;
};

}  // namespace

TEST_F(Scanner, ScansEqualWhatScanimageWrites) {
  if (!qvio::HaveTool("scanimage")) GTEST_SKIP() << "scanimage (sane-utils) is needed for the reference";
  struct Case {
    const char* Args;
    std::vector<std::pair<std::string, std::string>> Options;
    TQxPixelFormat Format;
  };
  const Case cases[] = {
      {"--mode Color --test-picture 'Color pattern' --resolution 40",
       {{"mode", "Color"}, {"test-picture", "Color pattern"}, {"resolution", "40"}}, TQxPixelFormat::qx24RGB},
      {"--mode Color --three-pass=yes --test-picture 'Color pattern' --resolution 30",
       {{"mode", "Color"}, {"three-pass", "yes"}, {"test-picture", "Color pattern"}, {"resolution", "30"}},
       TQxPixelFormat::qx24RGB},
      {"--mode Gray --test-picture Grid --resolution 40",
       {{"mode", "Gray"}, {"test-picture", "Grid"}, {"resolution", "40"}}, TQxPixelFormat::qx8g},
      {"--mode Gray --depth 1 --test-picture Grid --resolution 40",
       {{"mode", "Gray"}, {"depth", "1"}, {"test-picture", "Grid"}, {"resolution", "40"}}, TQxPixelFormat::qx1g},
      {"--mode Color --depth 16 --test-picture 'Color pattern' --resolution 20",
       {{"mode", "Color"}, {"depth", "16"}, {"test-picture", "Color pattern"}, {"resolution", "20"}},
       TQxPixelFormat::qxRGB48},
  };
  for (const Case& c : cases) {
    const Pnm ref = Reference(c.Args);
    ASSERT_GT(ref.W, 0) << c.Args;
    TQxBitmap B;
    TQuillotIO IO(&B);
    ASSERT_TRUE(IO.Acquire("test:0", c.Options)) << c.Args << ": " << IO.Params->ReadError;
    EXPECT_FALSE(IO.Aborting);
    ASSERT_EQ(B.PixelFormat(), c.Format) << c.Args;
    ASSERT_EQ(B.Width(), ref.W) << c.Args;
    ASSERT_EQ(B.Height(), ref.H) << c.Args;
    EXPECT_EQ(IO.Params->Width, ref.W);
    std::vector<uint8_t> ours;
    for (int32_t y = 0; y < B.Height(); ++y) {
      const uint8_t* row = B.Scanline(y);
      switch (c.Format) {
        case TQxPixelFormat::qx24RGB:
          for (int32_t x = 0; x < B.Width(); ++x) ours.insert(ours.end(), {row[3 * x + 2], row[3 * x + 1], row[3 * x]});
          break;
        case TQxPixelFormat::qx8g: ours.insert(ours.end(), row, row + B.Width()); break;
        case TQxPixelFormat::qx1g:
          for (int32_t i = 0; i < (B.Width() + 7) / 8; ++i) ours.push_back(uint8_t(~row[i]));
          if (B.Width() & 7) ours.back() &= uint8_t(0xFF00 >> (B.Width() & 7));
          break;
        case TQxPixelFormat::qxRGB48: {
          // PNM holds 16-bit samples big-endian, red first.
          const auto* s = reinterpret_cast<const uint16_t*>(row);
          for (int32_t x = 0; x < B.Width(); ++x)
            for (int ch : {2, 1, 0}) ours.insert(ours.end(), {uint8_t(s[3 * x + ch] >> 8), uint8_t(s[3 * x + ch])});
          break;
        }
        default: break;
      }
    }
    std::vector<uint8_t> want = ref.Data;
    if (c.Format == TQxPixelFormat::qx1g && (ref.W & 7))
      for (int32_t y = 0; y < ref.H; ++y) want[(y + 1) * ((ref.W + 7) / 8) - 1] &= uint8_t(0xFF00 >> (ref.W & 7));
    EXPECT_EQ(ours, want) << c.Args;
    if (&c == &cases[0]) {
      // The picture as the user gets it.
      std::filesystem::create_directories("screenshots");
      TQxBitmap copy;
      copy.AssignFrom(&B);
      TQuillotIO out(&copy);
      out.SavePngFile("screenshots/scanner_color_pattern.png");
      // Not a blank picture: the pattern has many colours.
      std::set<std::vector<uint8_t>> colours;
      for (size_t i = 0; i + 2 < ours.size(); i += 3) colours.insert({ours[i], ours[i + 1], ours[i + 2]});
      EXPECT_GT(colours.size(), 8u);
    }
  }
}

TEST_F(Scanner, ParametersAndProgressOfAScan) {
  TQxBitmap B;
  TQuillotIO IO(&B);
  std::vector<int32_t> seen;
  IO.OnProgress = [&](TObject*, int32_t per) { seen.push_back(per); };
  ASSERT_TRUE(IO.Acquire("test:1", {{"mode", "Color"}, {"resolution", "25"}, {"test-picture", "Solid white"}}));
  EXPECT_EQ(IO.Params->DpiX, 25);
  EXPECT_EQ(IO.Params->DpiY, 25);
  EXPECT_EQ(IO.Params->BitsPerSample, 8);
  EXPECT_EQ(IO.Params->SamplesPerPixel, 3);
  EXPECT_EQ(IO.Params->Height, B.Height());
  EXPECT_EQ(B.GetPixel24(B.Width() / 2, B.Height() / 2), (TQxRGB{255, 255, 255}));
  ASSERT_FALSE(seen.empty());
  EXPECT_EQ(seen.back(), 100);
  // A handler of OnAcquireBitmap may take the picture itself.
  TQxBitmap before;
  before.AssignFrom(&B);
  IO.OnAcquireBitmap = [](TObject*, TQxBitmap*, bool& Handled) { Handled = true; };
  ASSERT_TRUE(IO.Acquire("test:0", {{"mode", "Gray"}, {"resolution", "10"}}));
  EXPECT_EQ(B.Width(), before.Width());
  EXPECT_EQ(B.PixelFormat(), TQxPixelFormat::qx24RGB);
}

TEST_F(Scanner, FailuresSayWhy) {
  struct Case {
    std::string Device;
    std::vector<std::pair<std::string, std::string>> Options;
    const char* Text;
  };
  const Case cases[] = {{"test:9", {}, "cannot be opened"},
                        {"test:0", {{"no-such-option", "1"}}, "has no option"},
                        {"test:0", {{"resolution", "many"}}, "takes a number"},
                        {"test:0", {{"mode", "Infrared"}}, "does not take"}};
  for (const Case& c : cases) {
    TQxBitmap B;
    TQuillotIO IO(&B);
    bool finished = false;
    IO.OnFinishWork = [&](TObject*) { finished = true; };
    EXPECT_FALSE(IO.Acquire(c.Device, c.Options));
    EXPECT_TRUE(IO.Aborting);
    EXPECT_TRUE(finished);
    EXPECT_NE(IO.Params->ReadError.find(c.Text), std::string::npos) << IO.Params->ReadError;
    EXPECT_EQ(B.Width(), 0);
  }
  // Setting Aborting from the progress handler stops the transfer.
  TQxBitmap B;
  TQuillotIO IO(&B);
  IO.OnProgress = [&](TObject*, int32_t per) {
    if (per > 10) IO.Aborting = true;
  };
  EXPECT_FALSE(IO.Acquire("test:0", {{"mode", "Color"}, {"resolution", "100"}}));
  EXPECT_NE(IO.Params->ReadError.find("cancelled"), std::string::npos) << IO.Params->ReadError;
}

TEST_F(Scanner, DeviceEventsReachTheHandler) {
  TQuillotIO IO;
  TQxWia* wia = IO.GetWIAParams();
  ASSERT_EQ(wia, IO.GetWIAParams());
  ASSERT_TRUE(wia->DeviceManager());
  int calls = 0;
  TObject* sender = nullptr;
  wia->OnItemsTreeUpdated = [&](TObject* S) { ++calls, sender = S; };
  struct Case {
    TQxGUID Event;
    uint8_t Kind;
  };
  const TQxGUID other{0x4C8F4EF5, 0xE14F, 0x11D2, {0, 0, 0, 0, 0, 0, 0, 1}};
  for (const Case& c : {Case{WIA_EVENT_TREE_UPDATED, 1}, Case{WIA_EVENT_ITEM_CREATED, 2},
                        Case{WIA_EVENT_ITEM_DELETED, 3}}) {
    EXPECT_EQ(wia->EventCallback(0)->ImageEventCallback(c.Event), 0);
    EXPECT_EQ(wia->LastEventKind, c.Kind);
  }
  EXPECT_EQ(calls, 3);
  EXPECT_EQ(sender, wia);
  // Any other event changes nothing.
  wia->EventCallback(1)->ImageEventCallback(other);
  EXPECT_EQ(calls, 3);
  EXPECT_EQ(wia->LastEventKind, 3);
  // An unchanged device list reports nothing.
  wia->CheckDevices();
  EXPECT_EQ(calls, 3);
  wia->OnItemsTreeUpdated = nullptr;
  wia->EventCallback(2)->ImageEventCallback(WIA_EVENT_TREE_UPDATED);
  EXPECT_EQ(wia->LastEventKind, 1);
}

TEST_F(Scanner, SettingsDefaultsAndTheReleaseLog) {
  const std::string log = Dir + "/twain.log";
  {
    TQxTWainParams p(nullptr);
    EXPECT_EQ(p.VisibleDialog, 1);
    EXPECT_DOUBLE_EQ(p.Gamma, 2.2);
    EXPECT_EQ(p.TransferCount, -2);
    EXPECT_DOUBLE_EQ(p.AcquireFrameRight, -1.0);
    EXPECT_EQ(p.Language, -1);
    EXPECT_EQ(p.Country, 1);
    EXPECT_EQ(p.AutoFeed, 1);
    p.Gamma = 1.0;
    p.XResolution->AddValue(300);
    p.ProductName = "x";
    p.Reset();
    EXPECT_DOUBLE_EQ(p.Gamma, 2.2);
    EXPECT_EQ(p.XResolution->Count(), 0);
    EXPECT_TRUE(p.ProductName.empty());
    // Nothing held: the release writes no log even with a name.
    QxTwainLogFile = log;
  }
  EXPECT_TRUE(qvio::ReadFile(log).empty());
  {
    TQxTWainParams p(nullptr);
    ASSERT_TRUE(QxScannerSessionOpen());
    p.SourceManager.Library = 1;
    p.SourceManager.ProxyWindow = 7;
  }
  QxTwainLogFile.clear();
  const std::vector<uint8_t> bytes = qvio::ReadFile(log);
  const std::string text(bytes.begin(), bytes.end());
  for (const char* line : {" : DestroyProxyWindow\n", " : QXTW_UnloadSourceManager\n",
                           " : " "  QXTW_UnloadSourceManager : Unload OK\n"})
    EXPECT_NE(text.find(line), std::string::npos) << line << " in\n" << text;
  // With no name, nothing is written anywhere.
  TwainLog("quiet");
  EXPECT_EQ(qvio::ReadFile(log).size(), bytes.size());
}

// A device that comes or goes is reported by the device manager's own watcher, with no caller asking.
TEST_F(Scanner, AWatcherReportsDevicesComingAndGoing) {
  const int32_t Keep = QxScannerWatchInterval;
  QxScannerWatchInterval = 50;
  std::mutex Lock;
  std::vector<uint8_t> Kinds;
  std::atomic<int> Trees{0};
  {
    TQxWia Wia(nullptr);
    ASSERT_TRUE(Wia.DeviceManager());
    Wia.OnItemsTreeUpdated = [&](TObject*) {
      std::lock_guard<std::mutex> l(Lock);
      Kinds.push_back(Wia.LastEventKind);
      if (Wia.LastEventKind == 1) ++Trees;
    };
    auto WaitTrees = [&](int N) {
      for (int i = 0; i < 400 && Trees < N; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(25));
      return Trees >= N;
    };
    // A third test scanner is plugged in.
    qvio::WriteText(Dir + "/test.conf", "number_of_devices 3\n");
    ASSERT_TRUE(WaitTrees(1)) << "no event for the new device";
    {
      std::lock_guard<std::mutex> l(Lock);
      EXPECT_EQ(Kinds, (std::vector<uint8_t>{2, 1}));  // item created, then tree updated
    }
    bool Listed = false;
    for (const auto& d : Wia.Devices()) Listed |= d.Name == "test:2";
    EXPECT_TRUE(Listed);
    // And taken away again.
    qvio::WriteText(Dir + "/test.conf", "number_of_devices 2\n");
    ASSERT_TRUE(WaitTrees(2)) << "no event for the device that went";
    std::lock_guard<std::mutex> l(Lock);
    EXPECT_EQ(Kinds, (std::vector<uint8_t>{2, 1, 3, 1}));
  }
  QxScannerWatchInterval = Keep;
}
