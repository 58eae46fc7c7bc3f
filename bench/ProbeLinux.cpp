// The measuring process's probes on Linux (see Probe.h).
#include <sys/mman.h>
#include <sys/resource.h>

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <string>

#include "Probe.h"

namespace zelbench_detail {

long StatusKiB(const char* field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  size_t length = std::strlen(field);
  while (std::getline(status, line)) {
    if (line.compare(0, length, field) == 0) return std::atol(line.c_str() + length + 1);
  }
  return -1;
}

}  // namespace zelbench_detail

double CpuMs() {
  timespec now;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

long Faults() {
  rusage usage;
  getrusage(RUSAGE_THREAD, &usage);
  return usage.ru_minflt + usage.ru_majflt;
}

long ResidentKiB() { return zelbench_detail::StatusKiB("VmRSS:"); }
long PeakResidentKiB() { return zelbench_detail::StatusKiB("VmHWM:"); }

void ResetPeak() { std::ofstream("/proc/self/clear_refs") << "5"; }

double FaultCostUs() {
  const size_t length = size_t(64) << 20;
  double best = 1e9;
  for (int round = 0; round < 3; ++round) {
    void* mapping = mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapping == MAP_FAILED) return -1;
    madvise(mapping, length, MADV_NOHUGEPAGE);
    char* bytes = static_cast<char*>(mapping);
    double start = CpuMs();
    for (size_t i = 0; i < length; i += 4096) bytes[i] = 1;
    double us = (CpuMs() - start) * 1e3 / static_cast<double>(length / 4096);
    if (us < best) best = us;
    munmap(mapping, length);
  }
  return best;
}
