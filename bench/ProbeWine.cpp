// The measuring process's probes for the Windows build under Wine (see
// Probe.h). A Windows thread under Wine is a Linux thread, and Wine passes
// a system call made by the program straight to the kernel: the thread's
// CPU clock and fault counts come from there, to the nanosecond and the
// fault, as on Linux. Memory comes from /proc of the process's Linux id,
// which Wine shows as a folder of drive Z:.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "Probe.h"

namespace zelbench_detail {

// Linux x86-64 system call numbers and arguments, whose words are 64 bits
// wide where Windows' long is 32.
using Word = int64_t;
const Word kGetpid = 39, kGetrusage = 98, kClockGettime = 228;
const Word kRusageThread = 1, kClockThreadCputime = 3;

Word LinuxCall(Word number, Word a, Word b) {
  Word result;
  asm volatile("syscall" : "=a"(result) : "a"(number), "D"(a), "S"(b) : "rcx", "r11", "memory");
  return result;
}

struct LinuxTimespec {
  Word seconds, nanoseconds;
};

struct LinuxRusage {
  Word utime[2], stime[2];
  Word maxrss, ixrss, idrss, isrss, minflt, majflt, nswap, inblock, oublock, msgsnd, msgrcv, nsignals, nvcsw,
      nivcsw;
};

std::string ProcFile(const char* name) {
  return "Z:\\proc\\" + std::to_string(LinuxCall(kGetpid, 0, 0)) + "\\" + name;
}

long StatusKiB(const char* field) {
  FILE* status = std::fopen(ProcFile("status").c_str(), "r");
  if (status == nullptr) return -1;
  char line[256];
  long value = -1;
  size_t length = std::strlen(field);
  while (std::fgets(line, sizeof line, status) != nullptr) {
    if (std::strncmp(line, field, length) == 0) value = std::atol(line + length + 1);
  }
  std::fclose(status);
  return value;
}

}  // namespace zelbench_detail

double CpuMs() {
  zelbench_detail::LinuxTimespec now{0, 0};
  zelbench_detail::LinuxCall(zelbench_detail::kClockGettime, zelbench_detail::kClockThreadCputime,
                             reinterpret_cast<zelbench_detail::Word>(&now));
  return static_cast<double>(now.seconds) * 1e3 + static_cast<double>(now.nanoseconds) / 1e6;
}

long Faults() {
  zelbench_detail::LinuxRusage usage{};
  zelbench_detail::LinuxCall(zelbench_detail::kGetrusage, zelbench_detail::kRusageThread,
                             reinterpret_cast<zelbench_detail::Word>(&usage));
  return static_cast<long>(usage.minflt + usage.majflt);
}

long ResidentKiB() { return zelbench_detail::StatusKiB("VmRSS:"); }
long PeakResidentKiB() { return zelbench_detail::StatusKiB("VmHWM:"); }

void ResetPeak() {
  if (FILE* refs = std::fopen(zelbench_detail::ProcFile("clear_refs").c_str(), "w")) {
    std::fputs("5", refs);
    std::fclose(refs);
  }
}

double FaultCostUs() {
  const size_t length = size_t(64) << 20;
  double best = 1e9;
  for (int round = 0; round < 3; ++round) {
    char* bytes = static_cast<char*>(VirtualAlloc(nullptr, length, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
    if (bytes == nullptr) return -1;
    double start = CpuMs();
    for (size_t i = 0; i < length; i += 4096) bytes[i] = 1;
    double us = (CpuMs() - start) * 1e3 / static_cast<double>(length / 4096);
    if (us < best) best = us;
    VirtualFree(bytes, 0, MEM_RELEASE);
  }
  return best;
}
