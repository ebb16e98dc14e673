// Start-up of the program to its first painted window, beside a program that only opens an empty SDL
// window and fills it, plainly and with the software framebuffer the program uses ("x_empty_window" is
// the ratio to the faster of the two). Both run as processes of their own on the display
// there is; the time ends when the window's first pixels are on the screen (each program says so on its
// standard output). Without a display the benchmark is skipped.
#include <SDL.h>
#include <benchmark/benchmark.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

double gEmptySeconds = 0;
std::string gSelf;

// Runs Args until it prints a line on its standard output, then ends it; seconds until that line.
double TimeToFirstLine(const std::vector<std::string>& Args, const std::string& Dir) {
  int Pipe[2];
  if (pipe(Pipe) != 0) return -1;
  const auto T0 = std::chrono::steady_clock::now();
  const pid_t Pid = fork();
  if (Pid == 0) {
    dup2(Pipe[1], 1);
    close(Pipe[0]);
    close(Pipe[1]);
    if (!Dir.empty() && chdir(Dir.c_str()) != 0) _exit(126);
    std::vector<char*> Argv;
    for (const std::string& A : Args) Argv.push_back(const_cast<char*>(A.c_str()));
    Argv.push_back(nullptr);
    execv(Argv[0], Argv.data());
    _exit(127);
  }
  close(Pipe[1]);
  char C = 0;
  pollfd P{Pipe[0], POLLIN, 0};
  const bool Got = poll(&P, 1, 30000) == 1 && read(Pipe[0], &C, 1) == 1;
  const double S = std::chrono::duration<double>(std::chrono::steady_clock::now() - T0).count();
  kill(Pid, SIGKILL);
  waitpid(Pid, nullptr, 0);
  close(Pipe[0]);
  return Got ? S : -1;
}

bool HaveDisplay() { return std::getenv("DISPLAY") != nullptr; }

void BM_EmptySdlWindow(benchmark::State& State, const char* Mode) {
  if (!HaveDisplay()) {
    State.SkipWithError("no display");
    return;
  }
  double Total = 0;
  for (auto _ : State) {
    const double S = TimeToFirstLine({gSelf, Mode}, "");
    if (S < 0) {
      State.SkipWithError("the empty window did not start");
      return;
    }
    Total += S;
    State.SetIterationTime(S);
  }
  const double PerRun = Total / double(State.iterations());
  if (gEmptySeconds == 0 || PerRun < gEmptySeconds) gEmptySeconds = PerRun;
}

void BM_QuorvelFirstWindow(benchmark::State& State) {
  if (!HaveDisplay()) {
    State.SkipWithError("no display");
    return;
  }
  // A copy beside its language files in a scratch directory, so that its options go there.
  const fs::path Dir = fs::temp_directory_path() / ("qv_bench_startup_" + std::to_string(::getpid()));
  fs::create_directories(Dir);
  fs::copy_file(QV_QUORVEL, Dir / "quorvel", fs::copy_options::overwrite_existing);
  fs::copy(fs::path(QV_QUORVEL).parent_path() / "Languages", Dir / "Languages",
           fs::copy_options::recursive | fs::copy_options::overwrite_existing);
  setenv("QV_FIRST_PAINT_NOTE", "1", 1);
  double Total = 0;
  for (auto _ : State) {
    const double S = TimeToFirstLine({(Dir / "quorvel").string()}, Dir.string());
    if (S < 0) {
      State.SkipWithError("the program did not report its first window");
      break;
    }
    Total += S;
    State.SetIterationTime(S);
  }
  unsetenv("QV_FIRST_PAINT_NOTE");
  fs::remove_all(Dir);
  if (State.iterations() > 0 && gEmptySeconds > 0)
    State.counters["x_empty_window"] = Total / double(State.iterations()) / gEmptySeconds;
}

// Software: the window's pixels copied as the program does, without a GL framebuffer.
int EmptyWindow(bool Software) {
  if (Software) SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
  if (SDL_Init(SDL_INIT_VIDEO) != 0) return 1;
  SDL_Window* W = SDL_CreateWindow("empty", 0, 0, 740, 540, SDL_WINDOW_SHOWN);
  if (!W) return 1;
  SDL_Surface* S = SDL_GetWindowSurface(W);
  SDL_FillRect(S, nullptr, SDL_MapRGB(S->format, 0xE2, 0xF0, 0xF6));
  SDL_UpdateWindowSurface(W);
  std::printf("painted\n");
  std::fflush(stdout);
  for (;;) SDL_Delay(1000);
}

}  // namespace

// The faster of the two empty windows is the reference.
BENCHMARK_CAPTURE(BM_EmptySdlWindow, plain, "--empty-window")->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(5);
BENCHMARK_CAPTURE(BM_EmptySdlWindow, software, "--empty-window-software")
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(5);
BENCHMARK(BM_QuorvelFirstWindow)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(5);

int main(int argc, char** argv) {
  gSelf = fs::canonical("/proc/self/exe").string();
  if (argc == 2 && std::string(argv[1]) == "--empty-window") return EmptyWindow(false);
  if (argc == 2 && std::string(argv[1]) == "--empty-window-software") return EmptyWindow(true);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
