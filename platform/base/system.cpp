#include "platform/base/system.h"

#include <sched.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <set>
#include <string>
#include <utility>

int64_t PhysicalMemory(bool Available) {
  long Pages = ::sysconf(Available ? _SC_AVPHYS_PAGES : _SC_PHYS_PAGES);
  long PageSize = ::sysconf(_SC_PAGESIZE);
  if (Pages <= 0 || PageSize <= 0) return 0;
  return static_cast<int64_t>(Pages) * static_cast<int64_t>(PageSize);
}

int32_t ProcessorCount() {
  cpu_set_t Set;
  if (::sched_getaffinity(0, sizeof Set, &Set) == 0) {
    int N = CPU_COUNT(&Set);
    if (N > 0) return N;
  }
  long N = ::sysconf(_SC_NPROCESSORS_ONLN);
  return N > 0 ? static_cast<int32_t>(N) : 1;
}

int32_t ProcessorCoreCount() {
  // Distinct (physical id, core id) pairs; machines that do not report them count logical processors.
  std::ifstream F("/proc/cpuinfo");
  std::set<std::pair<int, int>> Cores;
  std::string Line;
  int Phys = 0;
  while (std::getline(F, Line)) {
    auto Value = [&]() { return std::atoi(Line.c_str() + Line.find(':') + 1); };
    if (Line.rfind("physical id", 0) == 0 && Line.find(':') != std::string::npos) Phys = Value();
    if (Line.rfind("core id", 0) == 0 && Line.find(':') != std::string::npos) Cores.insert({Phys, Value()});
  }
  int32_t Logical = ProcessorCount();
  if (Cores.empty()) return Logical;
  int32_t N = static_cast<int32_t>(Cores.size());
  return N < Logical ? N : Logical;
}
