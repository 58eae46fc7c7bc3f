// How much memory WriteFile takes beyond the tree: builds a document of
// about MEGABYTES of text in memory (texts of 64 KiB, each its own), then
// writes it to FILE and reports the process's peak memory before and after
// the write. Exit status 1 when the write raised the peak by LIMIT MiB or
// more. WAY is how the file is written: unnamed (a new file without a name
// until it is complete, where the file system has them), named (as where
// it has none) or in-place (through /proc/self/fd, gathered in a spool and
// copied over the file).
//
//   write_memory MEGABYTES FILE LIMIT [unnamed|named|in-place]
//
// FILE "-" is a file of the temporary folder, removed afterwards.
// scripts/write-memory.sh runs it on 500 MB, natively and under Wine.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "WithoutUnnamedFiles.h"
#include "ZELBasXmlDocument.h"

#if defined(_WIN32)
#include <windows.h>
// After windows.h:
#include <psapi.h>
#else
#include <fcntl.h>
#include <unistd.h>

#include <fstream>
#endif

// The process's memory now and at its peak, in MiB: the working set on
// Windows, the resident set elsewhere.
static void Memory(double& now, double& peak) {
#if defined(_WIN32)
  PROCESS_MEMORY_COUNTERS counters = {};
  GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
  now = static_cast<double>(counters.WorkingSetSize) / (1 << 20);
  peak = static_cast<double>(counters.PeakWorkingSetSize) / (1 << 20);
#else
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    double kib = 0;
    if (std::sscanf(line.c_str(), "VmRSS: %lf", &kib) == 1) now = kib / 1024;
    if (std::sscanf(line.c_str(), "VmHWM: %lf", &kib) == 1) peak = kib / 1024;
  }
#endif
}

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: write_memory MEGABYTES FILE LIMIT [unnamed|named|in-place]\n");
    return 2;
  }
  long megabytes = std::atol(argv[1]);
  double limit = std::atof(argv[3]);
  std::string way = argc > 4 ? argv[4] : "unnamed", file = argv[2];
  std::filesystem::path temporary = std::filesystem::temp_directory_path() / "zelbas-write-memory.xml";
  if (file == "-") file = temporary.string();
#if !defined(_WIN32)
  if (way == "named" && !WithoutUnnamedFiles()) return 2;
  if (way == "in-place")
    file = "/proc/self/fd/" + std::to_string(open(file.c_str(), O_WRONLY | O_CREAT, 0644));
#endif
  // Built through the parser's callbacks: no parse buffer raises the peak
  // before the write.
  ZELBasXmlDocument document;
  const char* none[] = {nullptr};
  ZELBasXmlDocument::unknownStartTag(&document, "texts", none);
  std::string text(65536, 't');
  for (long i = 0; i < megabytes * 16; ++i) {
    std::string number = std::to_string(i);
    text.replace(0, number.size(), number);
    ZELBasXmlDocument::unknownStartTag(&document, "text", none);
    ZELBasXmlDocument::dataHandler(&document, text.data(), static_cast<int>(text.size()));
    ZELBasXmlDocument::unknownEndTag(&document, "text");
  }
  ZELBasXmlDocument::unknownEndTag(&document, "texts");
  text = std::string();
#if !defined(_WIN32)
  std::ofstream("/proc/self/clear_refs") << "5";  // the peak from here on
#endif
  double tree = 0, before = 0, now = 0, after = 0;
  Memory(tree, before);
  long result = document.WriteFile(ZELString(file.c_str()));
  Memory(now, after);
  std::error_code ignored;
  if (std::string(argv[2]) == "-") std::filesystem::remove(temporary, ignored);
  double raised = after - (before > tree ? before : tree);
  std::printf(
      "%s, %ld MB of text: %.1f MiB with the tree, peak %.1f MiB before WriteFile, %.1f after: +%.1f MiB\n",
      way.c_str(), megabytes, tree, before, after, raised);
  if (result != S_OK) return 2;
  return raised < limit ? 0 : 1;
}
