// The benchmark's measuring process; bench/run.sh starts one per contender,
// file and repetition, so that every contender starts from a fresh heap.
//
//   zelbas_bench generate DIR SCALE        writes the corpus
//   zelbas_bench read READER FILE COUNT    COUNT reads, each freed after
//   zelbas_bench write WRITER FILE COUNT   one read, then COUNT renderings
//   zelbas_bench faultcost                 microseconds per first touch of a page
//
// `read` and `write` print one JSON line: per operation its CPU time (ms)
// and the page faults it took; the elements read, or the start tags
// written; for `read` the peak resident memory of the first read above the
// process before it.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "Contenders.h"
#include "Corpus.h"
#include "Probe.h"

namespace {

std::string BaseName(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

template <class T>
std::string List(const std::vector<T>& values) {
  std::ostringstream out;
  out.precision(4);
  out << std::fixed;
  for (size_t i = 0; i < values.size(); ++i) out << (i != 0 ? ", " : "") << values[i];
  return out.str();
}

void Print(const char* kind, const std::string& who, const std::string& path, size_t elements,
           const std::vector<double>& ms, const std::vector<long>& faults, const std::string& extra) {
  std::printf(
      "{\"kind\": \"%s\", \"who\": \"%s\", \"file\": \"%s\", \"elements\": %zu, \"ms\": [%s], "
      "\"faults\": [%s]%s}\n",
      kind, who.c_str(), BaseName(path).c_str(), elements, List(ms).c_str(), List(faults).c_str(),
      extra.c_str());
}

int Read(const Reader& reader, const std::string& path, int count) {
  Input input{path, "", nullptr};
  if (reader.wantsText) input.text = Slurp(path);
  reader.prepare(input);
  std::vector<double> ms;
  std::vector<long> faults;
  size_t elements = 0;
  long base = 0, peak = 0;
  for (int i = 0; i < count; ++i) {
    if (i == 0) {
      // The peak of the first read alone: restart the high-water mark.
      ResetPeak();
      base = ResidentKiB();
    }
    long faultsBefore = Faults();
    double start = CpuMs();
    void* document = reader.read(input);
    ms.push_back(CpuMs() - start);
    faults.push_back(Faults() - faultsBefore);
    if (document == nullptr) {
      std::fprintf(stderr, "%s could not read %s\n", reader.name, path.c_str());
      return 1;
    }
    if (i == 0) {
      peak = PeakResidentKiB();
      elements = reader.count(document, input);
    }
    reader.release(document);
  }
  reader.unprepare(input);
  Print("read", reader.name, path, elements, ms, faults,
        ", \"base_kib\": " + std::to_string(base) + ", \"peak_kib\": " + std::to_string(peak));
  return 0;
}

int Write(const Writer& writer, const std::string& path, int count) {
  void* document = writer.load(path);
  if (document == nullptr) {
    std::fprintf(stderr, "%s could not read %s\n", writer.name, path.c_str());
    return 1;
  }
  std::vector<double> ms;
  std::vector<long> faults;
  size_t elements = 0, bytes = 0;
  for (int i = 0; i < count; ++i) {
    long faultsBefore = Faults();
    double start = CpuMs();
    void* output = writer.write(document);
    ms.push_back(CpuMs() - start);
    faults.push_back(Faults() - faultsBefore);
    if (i == 0) {
      // Start tags written, to be checked against the elements read. (Not a
      // parse of the text: not every writer here writes what a parser takes
      // back, text unescaped or a document type declaration cut short.)
      std::string text = writer.text(output);
      bytes = text.size();
      for (size_t at = text.find('<'); at != std::string::npos && at + 1 < text.size();
           at = text.find('<', at + 1)) {
        if (std::strchr("/!?", text[at + 1]) == nullptr) ++elements;
      }
    }
    writer.release(output);
  }
  writer.unload(document);
  Print("write", writer.name, path, elements, ms, faults, ", \"bytes\": " + std::to_string(bytes));
  return 0;
}

// The cost of a page fault here: on a virtual machine it can be several
// times a bare machine's, and it weighs on every reader that takes fresh
// memory from the system.
int FaultCost() {
  double us = FaultCostUs();
  if (us < 0) return 1;
  std::printf("%.2f\n", us);
  return 0;
}

int Usage(const char* self) {
  std::fprintf(
      stderr, "usage: %s generate DIR SCALE | read READER FILE COUNT | write WRITER FILE COUNT | faultcost\n",
      self);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::string command = argc >= 2 ? argv[1] : "";
  if (command == "generate" && argc == 4) {
    for (const CorpusFile& file : WriteCorpus(argv[2], std::atof(argv[3]))) {
      std::printf("%s %zu\n", file.path.c_str(), file.bytes);
    }
    return 0;
  }
  if (command == "faultcost") return FaultCost();
  if ((command == "read" || command == "write") && argc == 5) {
    int count = std::atoi(argv[4]);
    if (count < 1) return Usage(argv[0]);
    if (command == "read") {
      const Reader* reader = FindReader(argv[2]);
      return reader != nullptr ? Read(*reader, argv[3], count) : Usage(argv[0]);
    }
    const Writer* writer = FindWriter(argv[2]);
    return writer != nullptr ? Write(*writer, argv[3], count) : Usage(argv[0]);
  }
  return Usage(argv[0]);
}
