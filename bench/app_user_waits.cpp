// Where the user of the reflection program waits, on a 6000 x 4000 picture, each beside its reference
// measured in the same run:
// - Open: from loading the file to the reflection painted in a fitted view, beside decoding the file alone.
// - Each setting change: its rebuild and the repaint, beside five copies of the picture's bytes.
// - A first build in a new view, in memory the process never touched and in memory a closed view left
//   behind, beside a rebuild in warm memory.
// - Save, the whole job in a process of its own (load a PNG, reflect below at 50 %, save PNG and JPEG at
//   quality 90), beside ImageMagick (/usr/bin/convert), libvips (a chain of `vips` commands, its
//   intermediate files counted) and Pillow doing the same; peak memory as a multiple of the picture's 24-bit
//   size. Every tool writes its PNG on equal terms: zlib level 5, no filter. A peer that is not installed is
//   skipped (`make bench` installs them).
// - The PNG write alone, the job's reflected RGBA picture, beside libvips's `vips pngsave` of the same
//   pixels, on every core this process may use and on one core; with where our time goes ("rows_s",
//   "filter_s", "deflate_s", "output_s": thread seconds), the processor seconds of the write ("cpu_s") and
//   the rate of raw bytes ("raw_MB_per_s").
// Ratios are printed as counters ("x_decode", "x_5copies", "x_warm", "x_fastest_peer", "x_libvips").
#include <benchmark/benchmark.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/memory_policy.h"
#include "app/reflection.h"
#include "imaging/codecs/codecs.h"
#include "imaging/foundation/bitmap.h"
#include "imaging/io/params.h"
#include "imaging/io/png_bands.h"
#include "imaging/io/quillot_io.h"
#include "imaging/view/view.h"
#include "platform/base/large_blocks.h"

namespace fs = std::filesystem;

namespace {

constexpr int32_t kW = 6000, kH = 4000;
constexpr double kPictureBytes = double(kW) * kH * 3;
// The view of the main window at its starting size.
constexpr int32_t kClientW = 468, kClientH = 376;
// Every PNG writer in the comparison: this zlib level and no filter.
constexpr int kPngLevel = 5;

using Clock = std::chrono::steady_clock;
double Seconds(Clock::time_point A, Clock::time_point B) { return std::chrono::duration<double>(B - A).count(); }

// Page faults of the whole process so far (every thread), to tell fresh memory from reused.
double PageFaults() {
  rusage U{};
  getrusage(RUSAGE_SELF, &U);
  return double(U.ru_minflt + U.ru_majflt);
}

// Processor seconds of the whole process so far, every thread.
double CpuSeconds() {
  rusage U{};
  getrusage(RUSAGE_SELF, &U);
  return double(U.ru_utime.tv_sec + U.ru_stime.tv_sec) + double(U.ru_utime.tv_usec + U.ru_stime.tv_usec) / 1e6;
}

std::map<std::string, double> gReference;  // seconds per run of each reference

// A picture with smooth areas and fine detail, so that the encoders have real work.
void FillPhoto(TQxBitmap* B) {
  B->Allocate(kW, kH, TQxPixelFormat::qx24RGB);
  for (int32_t y = 0; y < kH; ++y) {
    uint8_t* R = B->Scanline(y);
    uint32_t n = uint32_t(y) * 2654435761u;
    for (int32_t x = 0; x < kW; ++x) {
      n = n * 1664525u + 1013904223u;
      const int32_t noise = int32_t(n >> 28);
      R[x * 3] = uint8_t((x / 24 + noise) & 255);
      R[x * 3 + 1] = uint8_t((y / 16 + (x * y >> 14) + noise) & 255);
      R[x * 3 + 2] = uint8_t((128 + (x - y) / 40 + noise) & 255);
    }
  }
}

std::string PictureFile(const char* Ext) {
  const std::string Name = (fs::temp_directory_path() / (std::string("qv_bench_6000x4000.") + Ext)).string();
  if (!fs::exists(Name)) {
    // Written under a name of this process and moved into place, so that a run beside this one never
    // reads it half written.
    const std::string Part = Name + "." + std::to_string(::getpid()) + "." + Ext;
    TQuillot Q(nullptr);
    FillPhoto(Q.CurrentBitmap());
    Q.UpdateView();
    Q.GetIO()->Params->JpegQuality = 90;
    Q.GetIO()->SaveToFile(Part);
    fs::rename(Part, Name);
  }
  return Name;
}

std::unique_ptr<TQuillot> NewShownView() {
  auto V = std::make_unique<TQuillot>(nullptr);
  V->OffscreenMode = true;
  V->SetBorderStyle(TBorderStyle::bsNone);
  V->SetBounds(0, 0, kClientW, kClientH);
  V->SetBackgroundStyle(TQxBackgroundStyle::qxbsChessboard);
  V->SetZoomFilter(TResampleFilter::rfFastLinear);
  V->GetProc()->SetAutoUndo(false);
  return V;
}

void Paint(TQuillotView* V) { V->PaintClientRect(TRect(0, 0, kClientW, kClientH)); }

void Ratio(benchmark::State& State, const char* Reference, const char* Counter, double PerRun) {
  auto It = gReference.find(Reference);
  if (It != gReference.end() && It->second > 0) State.counters[Counter] = PerRun / It->second;
}

// ---- open --------------------------------------------------------------------------------------------

void BM_Decode(benchmark::State& State, const char* Ext) {
  QxRegisterFurtherCodecs();
  const std::string File = PictureFile(Ext);
  TQuillot Q(nullptr);
  double Total = 0, Faults = 0;
  for (auto _ : State) {
    const double F0 = PageFaults();
    const auto T0 = Clock::now();
    Q.GetIO()->LoadFromFile(File);
    Total += Seconds(T0, Clock::now());
    Faults += PageFaults() - F0;
  }
  State.counters["page_faults"] = Faults / double(State.iterations());
  gReference[std::string("decode.") + Ext] = Total / double(State.iterations());
}

// As the open handler runs it, up to the painted frame.
void BM_OpenToPainted(benchmark::State& State, const char* Ext) {
  QxRegisterFurtherCodecs();
  const std::string File = PictureFile(Ext);
  auto Source = std::make_unique<TQuillot>(nullptr);
  auto View = NewShownView();
  TReflectionSettings S;
  double Total = 0, Faults = 0;
  for (auto _ : State) {
    const double F0 = PageFaults();
    const auto T0 = Clock::now();
    if (!LoadSourceImage(Source.get(), File)) State.SkipWithError("the picture did not load");
    ResetLayers(View.get());
    const int32_t Layer = AddReflectionLayer(View.get());
    BuildReflection(View.get(), Source.get(), S, Layer);
    FitOrActualSize(View.get());
    Paint(View.get());
    Total += Seconds(T0, Clock::now());
    Faults += PageFaults() - F0;
  }
  State.counters["page_faults"] = Faults / double(State.iterations());
  Ratio(State, (std::string("decode.") + Ext).c_str(), "x_decode", Total / double(State.iterations()));
}

// ---- setting changes ---------------------------------------------------------------------------------

void BM_FiveCopies(benchmark::State& State) {
  std::vector<uint8_t> A(size_t(kPictureBytes), 1), B(size_t(kPictureBytes), 2);
  double Total = 0;
  for (auto _ : State) {
    const auto T0 = Clock::now();
    for (int i = 0; i < 5; ++i) {
      std::memcpy(B.data(), A.data(), A.size());
      benchmark::ClobberMemory();
    }
    Total += Seconds(T0, Clock::now());
  }
  gReference["5copies"] = Total / double(State.iterations());
}

struct Scene {
  std::unique_ptr<TQuillot> Source = std::make_unique<TQuillot>(nullptr);
  std::unique_ptr<TQuillot> View = NewShownView();
  int32_t Layer = -1;
  TReflectionSettings S;
  Scene() {
    // Kept as the program keeps a loaded picture: in a block of its own, whose rows the layers borrow.
    Source->SetLegacyBitmap(false);
    FillPhoto(Source->CurrentBitmap());
    Source->UpdateView();
    ResetLayers(View.get());
    Layer = AddReflectionLayer(View.get());
    BuildReflection(View.get(), Source.get(), S, Layer);
    FitOrActualSize(View.get());
    Paint(View.get());
  }
};

Scene& TheScene() {
  static Scene S;
  return S;
}

using Redo = void (*)(TQuillotView*, TQuillotView*, const TReflectionSettings&, int32_t);

// One handler's work, from its call to the painted frame; each run changes the setting back and forth.
void SettingChange(benchmark::State& State, Redo Routine, const std::function<void(TReflectionSettings&, int)>& Set) {
  Scene& Sc = TheScene();
  double Total = 0, Painting = 0;
  int Step = 0;
  for (auto _ : State) {
    Set(Sc.S, Step++);
    const auto T0 = Clock::now();
    Routine(Sc.View.get(), Sc.Source.get(), Sc.S, Sc.Layer);
    const auto T1 = Clock::now();
    Paint(Sc.View.get());
    const auto T2 = Clock::now();
    Total += Seconds(T0, T2);
    Painting += Seconds(T1, T2);
  }
  // How much of it the repaint takes, and the rebuild alone beside the copies.
  if (Total > 0) State.counters["paint_share"] = Painting / Total;
  Sc.S = TReflectionSettings{};
  BuildReflection(Sc.View.get(), Sc.Source.get(), Sc.S, Sc.Layer);
  Ratio(State, "5copies", "x_5copies", Total / double(State.iterations()));
  Ratio(State, "5copies", "rebuild_x_5copies", (Total - Painting) / double(State.iterations()));
}

void WholeBuild(TQuillotView* V, TQuillotView* Src, const TReflectionSettings& S, int32_t L) {
  BuildReflection(V, Src, S, L);
}

void BM_Side(benchmark::State& State) {
  SettingChange(State, WholeBuild, [](TReflectionSettings& S, int i) { S.Side = i % 2 ? qxSideRight : qxSideBottom; });
}
void BM_Space(benchmark::State& State) {
  SettingChange(State, RedoBaseLayer, [](TReflectionSettings& S, int i) { S.Space = i % 2 ? 20 : 0; });
}
// The space spin edit's up arrow held: the canvas grows by a row at each step.
void BM_SpaceGrowing(benchmark::State& State) {
  SettingChange(State, RedoBaseLayer, [](TReflectionSettings& S, int i) { S.Space = 1 + i; });
}
void BM_Size(benchmark::State& State) {
  SettingChange(State, RedoReflectionLayer, [](TReflectionSettings& S, int i) { S.SizePercent = i % 2 ? 60 : 100; });
}
void BM_StartTransparency(benchmark::State& State) {
  SettingChange(State, RedoReflectionLayer, [](TReflectionSettings& S, int i) { S.TranBegin = i % 2 ? 30 : 0; });
}
void BM_EndTransparency(benchmark::State& State) {
  SettingChange(State, RedoReflectionLayer, [](TReflectionSettings& S, int i) { S.TranEnd = i % 2 ? 70 : 100; });
}
void BM_ColourMode(benchmark::State& State) {
  SettingChange(State, RedoReflectionLayer, [](TReflectionSettings& S, int i) { S.ColorMode = i % 2 ? qxGray : qxColorful; });
}
void BM_Wave(benchmark::State& State) {
  SettingChange(State, RedoReflectionLayer, [](TReflectionSettings& S, int i) { S.WaveOn = i % 2 == 0; });
}
void BM_RemoveAlpha(benchmark::State& State) {
  SettingChange(State, RedoBothLayers, [](TReflectionSettings& S, int i) { S.RemoveAlpha = i % 2 == 0; });
}
void BM_BackgroundColour(benchmark::State& State) {
  SettingChange(State, RedoBothLayers, [](TReflectionSettings& S, int i) {
    S.RemoveAlpha = true;
    S.Background = i % 2 ? clRed : clWhite;
  });
}

// ---- first build in fresh memory ---------------------------------------------------------------------

void BM_WarmBuild(benchmark::State& State) {
  Scene& Sc = TheScene();
  double Total = 0;
  for (auto _ : State) {
    const auto T0 = Clock::now();
    BuildReflection(Sc.View.get(), Sc.Source.get(), Sc.S, Sc.Layer);
    Total += Seconds(T0, Clock::now());
  }
  gReference["warm"] = Total / double(State.iterations());
}

// A new view's first build. With FreshMemory every block the process let go of is first handed back to
// the system, so that the build takes memory it never touched (as when the program opens its first
// picture); without, the blocks a closed view of the same picture left behind are there to be reused (as
// on every later open).
void BM_FirstBuild(benchmark::State& State, bool FreshMemory) {
  Scene& Sc = TheScene();
  auto Build = [&](bool Timed, double& Total, double& Faults) {
    auto View = NewShownView();
    ResetLayers(View.get());
    const int32_t Layer = AddReflectionLayer(View.get());
    if (FreshMemory) ReleaseCachedLargeBlocks();
    if (Timed) State.ResumeTiming();
    const double F0 = PageFaults();
    const auto T0 = Clock::now();
    BuildReflection(View.get(), Sc.Source.get(), Sc.S, Layer);
    Total += Seconds(T0, Clock::now());
    Faults += PageFaults() - F0;
    if (Timed) State.PauseTiming();
  };
  double Total = 0, Faults = 0;
  Build(false, Total, Faults);  // leaves one view's blocks behind, whatever ran before
  Total = Faults = 0;
  for (auto _ : State) {
    State.PauseTiming();
    Build(true, Total, Faults);
    State.ResumeTiming();
  }
  State.counters["page_faults"] = Faults / double(State.iterations());
  Ratio(State, "warm", "x_warm", Total / double(State.iterations()));
}

// ---- the whole save job, against the peers -----------------------------------------------------------

struct ChildResult {
  bool Ok = false;
  double Seconds = 0;
  double PeakBytes = 0;
  double Cpu = 0;  // processor seconds, every thread
};

ChildResult RunChild(const std::vector<std::string>& Args) {
  ChildResult R;
  const auto T0 = Clock::now();
  const pid_t Pid = fork();
  if (Pid == 0) {
    std::vector<char*> Argv;
    for (const std::string& A : Args) Argv.push_back(const_cast<char*>(A.c_str()));
    Argv.push_back(nullptr);
    if (!freopen("/dev/null", "w", stdout)) _exit(126);
    execvp(Argv[0], Argv.data());
    _exit(127);
  }
  if (Pid < 0) return R;
  int Status = 0;
  rusage U{};
  wait4(Pid, &Status, 0, &U);
  R.Seconds = Seconds(T0, Clock::now());
  R.PeakBytes = double(U.ru_maxrss) * 1024.0;
  R.Cpu = double(U.ru_utime.tv_sec + U.ru_stime.tv_sec) + double(U.ru_utime.tv_usec + U.ru_stime.tv_usec) / 1e6;
  R.Ok = WIFEXITED(Status) && WEXITSTATUS(Status) == 0;
  return R;
}

std::string gSelf;

bool OnPath(const char* Tool) {
  const std::string Cmd = std::string("command -v ") + Tool + " >/dev/null 2>&1";
  return std::system(Cmd.c_str()) == 0;
}

void SaveJob(benchmark::State& State, const std::string& Key, const std::function<std::vector<std::string>()>& Command) {
  const std::vector<std::string> Cmd = Command();
  if (Cmd.empty()) {
    State.SkipWithError((Key + " is not installed").c_str());
    for (auto _ : State) {
    }
    return;
  }
  double Total = 0, Peak = 0;
  for (auto _ : State) {
    const ChildResult R = RunChild(Cmd);
    if (!R.Ok) {
      State.SkipWithError((Key + " failed").c_str());
      break;
    }
    Total += R.Seconds;
    Peak = std::max(Peak, R.PeakBytes);
    State.SetIterationTime(R.Seconds);
  }
  if (State.iterations() == 0) return;
  const double PerRun = Total / double(State.iterations());
  State.counters["peak_x_picture"] = Peak / kPictureBytes;
  if (Key == "quorvel") {
    double Fastest = 0;
    for (const char* Peer : {"imagemagick", "libvips", "pillow"}) {
      auto It = gReference.find(Peer);
      if (It != gReference.end() && (Fastest == 0 || It->second < Fastest)) Fastest = It->second;
    }
    if (Fastest > 0) State.counters["x_fastest_peer"] = PerRun / Fastest;
  } else {
    gReference[Key] = PerRun;
  }
}

// The files each job writes, apart from those of another run at the same time.
const std::string kOutDir = (fs::temp_directory_path() / ("qv_bench_save." + std::to_string(::getpid()))).string();

void BM_SaveImageMagick(benchmark::State& State) {
  SaveJob(State, "imagemagick", []() -> std::vector<std::string> {
    // The binary itself, not a wrapper that may stand first on the PATH.
    if (!fs::exists("/usr/bin/convert")) return {};
    fs::create_directories(kOutDir);
    const std::string H2 = std::to_string(kH / 2);
    const std::string Size = std::to_string(kW) + "x" + H2;
    return {"/usr/bin/convert", PictureFile("png"), "(", "+clone", "-flip", "(", "-size", Size, "gradient:white-black",
            "-size", Size, "xc:black", "-append", ")", "-alpha", "off", "-compose", "CopyOpacity", "-composite",
            ")", "-compose", "Over", "-append", "-define", "png:compression-level=" + std::to_string(kPngLevel),
            "-define", "png:compression-filter=0", "-define", "png:compression-strategy=0", "-write", kOutDir + "/im.png", "-background", "white", "-flatten",
            "-quality", "90", kOutDir + "/im.jpg"};
  });
}

void BM_SaveLibvips(benchmark::State& State) {
  SaveJob(State, "libvips", []() -> std::vector<std::string> {
    if (!OnPath("vips")) return {};
    fs::create_directories(kOutDir);
    // One command per step, each leaving a file for the next, as a user of the command-line tools would run it.
    const std::string D = kOutDir + "/vips_", W = std::to_string(kW), H2 = std::to_string(kH / 2);
    const std::string Script =
        "set -e\n"
        "vips flip \"$1\" " + D + "flip.v vertical\n"
        // A ramp from opaque at the seam to clear half way down, then clear.
        "vips grey " + D + "ramp.v " + H2 + " " + W + " --uchar\n"
        "vips rot " + D + "ramp.v " + D + "fade.v d270\n"
        "vips black " + D + "clear.v " + W + " " + H2 + "\n"
        "vips join " + D + "fade.v " + D + "clear.v " + D + "mask.v vertical\n"
        "vips bandjoin \"" + D + "flip.v " + D + "mask.v\" " + D + "mirror.v\n"
        "vips bandjoin_const \"$1\" " + D + "top.v 255\n"
        "vips join " + D + "top.v " + D + "mirror.v " + D + "out.v vertical\n"
        "vips pngsave " + D + "out.v \"$2\" --compression " + std::to_string(kPngLevel) + " --filter none\n"
        "vips flatten " + D + "out.v " + D + "flat.v --background \"255 255 255\"\n"
        "vips jpegsave " + D + "flat.v \"$3\" --Q 90\n"
        "rm -f " + D + "*.v\n";
    return {"/bin/sh", "-c", Script, "vips-job", PictureFile("png"), kOutDir + "/vips.png", kOutDir + "/vips.jpg"};
  });
}

void BM_SavePillow(benchmark::State& State) {
  SaveJob(State, "pillow", []() -> std::vector<std::string> {
    if (std::system("/usr/bin/python3 -c 'import PIL' >/dev/null 2>&1") != 0) return {};
    fs::create_directories(kOutDir);
    std::string Script =
        "import struct, sys, zlib\n"
        "from PIL import Image\n"
        // Pillow's own PNG writer always chooses filters row by row; with none asked for, the rows go to
        // zlib at the same level unfiltered, framed in chunks as any PNG writer frames them.
        "def save_png(im, path, level):\n"
        "    w, h = im.size\n"
        "    data = im.tobytes()\n"
        "    stride = w * 4\n"
        "    z = zlib.compressobj(level)\n"
        "    parts = [z.compress(b'\\0' + data[y * stride:(y + 1) * stride]) for y in range(h)]\n"
        "    parts.append(z.flush())\n"
        "    def chunk(t, d):\n"
        "        return struct.pack('>I', len(d)) + t + d + struct.pack('>I', zlib.crc32(t + d))\n"
        "    with open(path, 'wb') as f:\n"
        "        f.write(b'\\x89PNG\\r\\n\\x1a\\n')\n"
        "        f.write(chunk(b'IHDR', struct.pack('>IIBBBBB', w, h, 8, 6, 0, 0, 0)))\n"
        "        f.write(chunk(b'IDAT', b''.join(parts)))\n"
        "        f.write(chunk(b'IEND', b''))\n"
        "src = Image.open(sys.argv[1]).convert('RGB')\n"
        "w, h = src.size\n"
        "mirror = src.transpose(Image.FLIP_TOP_BOTTOM).convert('RGBA')\n"
        "ramp = Image.linear_gradient('L').transpose(Image.FLIP_TOP_BOTTOM).resize((w, h // 2))\n"
        "mask = Image.new('L', (w, h), 0)\n"
        "mask.paste(ramp, (0, 0))\n"
        "mirror.putalpha(mask)\n"
        "out = Image.new('RGBA', (w, 2 * h), (0, 0, 0, 0))\n"
        "out.paste(src, (0, 0))\n"
        "out.paste(mirror, (0, h))\n"
        "save_png(out, sys.argv[2], %d)\n"
        "flat = Image.new('RGB', out.size, (255, 255, 255))\n"
        "flat.paste(out, mask=out.getchannel('A'))\n"
        "flat.save(sys.argv[3], quality=90)\n";
    Script = Script.replace(Script.find("%d"), 2, std::to_string(kPngLevel));
    return {"/usr/bin/python3", "-c", Script, PictureFile("png"), kOutDir + "/pil.png", kOutDir + "/pil.jpg"};
  });
}

void BM_SaveQuorvel(benchmark::State& State) {
  SaveJob(State, "quorvel", []() -> std::vector<std::string> {
    fs::create_directories(kOutDir);
    return {gSelf, "--job", PictureFile("png"), kOutDir + "/qv.png", kOutDir + "/qv.jpg"};
  });
}

// The job itself, run in the child process.
int RunJob(const std::string& In, const std::string& Png, const std::string& Jpg) {
  QxRegisterFurtherCodecs();
  auto Source = std::make_unique<TQuillot>(nullptr);
  auto View = std::make_unique<TQuillot>(nullptr);
  View->GetProc()->SetAutoUndo(false);
  if (!LoadSourceImage(Source.get(), In)) return 1;
  ResetLayers(View.get());
  const int32_t Layer = AddReflectionLayer(View.get());
  TReflectionSettings S;
  S.SizePercent = 50;
  BuildReflection(View.get(), Source.get(), S, Layer);
  View->GetIO()->Params->JpegQuality = 90;
  View->GetIO()->Params->PngCompression = kPngLevel;
  View->GetIO()->Params->PngFilter = 0;
  SaveReflections(View.get(), {Png, Jpg}, S);
  return 0;
}

// The PNG write alone of the job's picture, run in the child process: the picture is loaded and reflected
// first, then only the write is timed. Report gets the seconds, where they went and the raw bytes.
int RunPngWrite(const std::string& In, const std::string& Png, const std::string& Report) {
  QxRegisterFurtherCodecs();
  auto Source = std::make_unique<TQuillot>(nullptr);
  auto View = std::make_unique<TQuillot>(nullptr);
  View->GetProc()->SetAutoUndo(false);
  if (!LoadSourceImage(Source.get(), In)) return 1;
  ResetLayers(View.get());
  const int32_t Layer = AddReflectionLayer(View.get());
  TReflectionSettings S;
  S.SizePercent = 50;
  BuildReflection(View.get(), Source.get(), S, Layer);
  View->GetIO()->Params->PngCompression = kPngLevel;
  View->GetIO()->Params->PngFilter = 0;
  const double Cpu0 = CpuSeconds();
  const auto T0 = Clock::now();
  SaveReflections(View.get(), {Png}, S);
  const double Took = Seconds(T0, Clock::now()), Cpu = CpuSeconds() - Cpu0;
  const TPngWriteCosts C = LastPngWriteCosts();
  // The size from the file's header: four bytes a pixel, as the job's picture keeps its alpha.
  unsigned char Head[24] = {0};
  std::ifstream(Png, std::ios::binary).read(reinterpret_cast<char*>(Head), 24);
  auto Be = [&](int At) { return double((uint32_t(Head[At]) << 24) | (Head[At + 1] << 16) | (Head[At + 2] << 8) | Head[At + 3]); };
  const double Raw = Be(16) * Be(20) * 4;
  std::ofstream(Report) << Took << ' ' << C.Rows << ' ' << C.Filter << ' ' << C.Deflate << ' ' << C.Output << ' '
                        << Raw << ' ' << Cpu << '\n';
  return 0;
}

// The last core this process may run on, for the one-core cases.
std::string OneCore() {
  cpu_set_t Set;
  CPU_ZERO(&Set);
  if (sched_getaffinity(0, sizeof(Set), &Set) != 0) return "0";
  for (int i = CPU_SETSIZE - 1; i >= 0; --i)
    if (CPU_ISSET(i, &Set)) return std::to_string(i);
  return "0";
}

std::vector<std::string> OnCores(bool One, std::vector<std::string> Cmd) {
  if (One) Cmd.insert(Cmd.begin(), {"taskset", "-c", OneCore()});
  return Cmd;
}

// The job's reflected picture as libvips keeps pictures, made once from our PNG of it.
std::string MergedPicture() {
  const std::string V = kOutDir + "/merged.v";
  if (fs::exists(V)) return V;
  fs::create_directories(kOutDir);
  const std::string Png = kOutDir + "/merged.png", Report = kOutDir + "/merged.txt";
  if (!RunChild({gSelf, "--png-write", PictureFile("png"), Png, Report}).Ok) return {};
  if (!RunChild({"vips", "copy", Png, V}).Ok) return {};
  return V;
}

void BM_PngWriteLibvips(benchmark::State& State, bool One) {
  const std::string Key = std::string("png_write.libvips.") + (One ? "one" : "all");
  if (!OnPath("vips") || (One && !OnPath("taskset"))) {
    State.SkipWithError("libvips's tools are not installed");
    for (auto _ : State) {
    }
    return;
  }
  const std::string In = MergedPicture();
  double Total = 0, Cpu = 0;
  for (auto _ : State) {
    const ChildResult R = In.empty() ? ChildResult{}
                                     : RunChild(OnCores(One, {"vips", "pngsave", In, kOutDir + "/alone_vips.png",
                                                              "--compression", std::to_string(kPngLevel), "--filter", "none"}));
    if (!R.Ok) {
      State.SkipWithError("vips pngsave failed");
      break;
    }
    Total += R.Seconds;
    Cpu += R.Cpu;
    State.SetIterationTime(R.Seconds);
  }
  if (State.iterations() == 0) return;
  gReference[Key] = Total / double(State.iterations());
  gReference[Key + ".cpu"] = Cpu / double(State.iterations());
  State.counters["cpu_s"] = Cpu / double(State.iterations());
}

void BM_PngWriteQuorvel(benchmark::State& State, bool One) {
  fs::create_directories(kOutDir);
  const std::string Report = kOutDir + "/alone.txt";
  double Total = 0, Rows = 0, Filter = 0, Deflate = 0, Output = 0, Raw = 0, Cpu = 0;
  for (auto _ : State) {
    const ChildResult R =
        RunChild(OnCores(One, {gSelf, "--png-write", PictureFile("png"), kOutDir + "/alone_qv.png", Report}));
    double Took = 0, C[6] = {0, 0, 0, 0, 0, 0};
    std::ifstream In(Report);
    if (!R.Ok || !(In >> Took >> C[0] >> C[1] >> C[2] >> C[3] >> C[4] >> C[5])) {
      State.SkipWithError("the write failed");
      break;
    }
    Total += Took;
    Rows += C[0], Filter += C[1], Deflate += C[2], Output += C[3], Raw = C[4], Cpu += C[5];
    State.SetIterationTime(Took);
  }
  const double N = double(State.iterations());
  if (N == 0 || Total <= 0) return;
  State.counters["rows_s"] = Rows / N;
  State.counters["filter_s"] = Filter / N;
  State.counters["deflate_s"] = Deflate / N;
  State.counters["output_s"] = Output / N;
  State.counters["raw_MB_per_s"] = Raw / 1e6 / (Total / N);
  State.counters["cpu_s"] = Cpu / N;
  const std::string Key = std::string("png_write.libvips.") + (One ? "one" : "all");
  Ratio(State, Key.c_str(), "x_libvips", Total / N);
  // Processor time, which a machine busy with other work disturbs less than the clock.
  Ratio(State, (Key + ".cpu").c_str(), "x_libvips_cpu", Cpu / N);
}

}  // namespace

// References run before what is compared with them. The save jobs come first, while this process is small:
// a child's peak memory counts what it shared with its parent when it was made.
BENCHMARK(BM_SaveImageMagick)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(2);
BENCHMARK(BM_SaveLibvips)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(2);
BENCHMARK(BM_SavePillow)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(2);
BENCHMARK(BM_SaveQuorvel)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(2);
BENCHMARK_CAPTURE(BM_PngWriteLibvips, all_cores, false)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(2);
BENCHMARK_CAPTURE(BM_PngWriteQuorvel, all_cores, false)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(2);
BENCHMARK_CAPTURE(BM_PngWriteLibvips, one_core, true)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(2);
BENCHMARK_CAPTURE(BM_PngWriteQuorvel, one_core, true)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(2);
BENCHMARK_CAPTURE(BM_Decode, jpeg, "jpg")->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK_CAPTURE(BM_OpenToPainted, jpeg, "jpg")->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK_CAPTURE(BM_Decode, png, "png")->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK_CAPTURE(BM_OpenToPainted, png, "png")->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_FiveCopies)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_Side)->Unit(benchmark::kMillisecond)->Iterations(4);
BENCHMARK(BM_Space)->Unit(benchmark::kMillisecond)->Iterations(4);
BENCHMARK(BM_SpaceGrowing)->Unit(benchmark::kMillisecond)->Iterations(6);
BENCHMARK(BM_Size)->Unit(benchmark::kMillisecond)->Iterations(6);
BENCHMARK(BM_StartTransparency)->Unit(benchmark::kMillisecond)->Iterations(6);
BENCHMARK(BM_EndTransparency)->Unit(benchmark::kMillisecond)->Iterations(6);
BENCHMARK(BM_ColourMode)->Unit(benchmark::kMillisecond)->Iterations(6);
BENCHMARK(BM_Wave)->Unit(benchmark::kMillisecond)->Iterations(4);
BENCHMARK(BM_RemoveAlpha)->Unit(benchmark::kMillisecond)->Iterations(4);
BENCHMARK(BM_BackgroundColour)->Unit(benchmark::kMillisecond)->Iterations(4);
BENCHMARK(BM_WarmBuild)->Unit(benchmark::kMillisecond)->Iterations(4);
BENCHMARK_CAPTURE(BM_FirstBuild, reused_memory, false)->Unit(benchmark::kMillisecond)->Iterations(4);
BENCHMARK_CAPTURE(BM_FirstBuild, fresh_memory, true)->Unit(benchmark::kMillisecond)->Iterations(4);

int main(int argc, char** argv) {
  // As the program does.
  KeepFreedBlocksForReuse();
  gSelf = fs::canonical("/proc/self/exe").string();
  if (argc == 5 && std::string(argv[1]) == "--job") return RunJob(argv[2], argv[3], argv[4]);
  if (argc == 5 && std::string(argv[1]) == "--png-write") return RunPngWrite(argv[2], argv[3], argv[4]);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::error_code Ignored;
  fs::remove_all(kOutDir, Ignored);
  return 0;
}
