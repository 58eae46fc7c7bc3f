// Reading and writing throughput against raw Expat and the peers, and the
// peak memory of one read in a process of its own.
//
//   zelbas_bench generate DIR SCALE       write the corpus (and scaling files)
//   zelbas_bench rss CONTENDER FILE       one read in this process; prints KiB
//   zelbas_bench [benchmark flags] FILE...  the throughput runs
#include <benchmark/benchmark.h>
#include <expat.h>
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <tinyxml2.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <pugixml.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "Corpus.h"
#include "ZELBasXmlDocument.h"

namespace {

const size_t kChunk = 0x40000;  // the reader's chunk

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string BaseName(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// ---- Raw Expat with empty handlers: the floor every Expat DOM stands on.

void XMLCALL NoStart(void*, const XML_Char*, const XML_Char**) {}
void XMLCALL NoEnd(void*, const XML_Char*) {}
void XMLCALL NoData(void*, const XML_Char*, int) {}

XML_Parser EmptyParser() {
  XML_Parser parser = XML_ParserCreate(nullptr);
  XML_SetElementHandler(parser, NoStart, NoEnd);
  XML_SetCharacterDataHandler(parser, NoData);
  return parser;
}

// The same feeding as ReadFile: 262,144-byte chunks, then a final empty call.
bool ExpatChunked(const std::string& path) {
  FILE* file = std::fopen(path.c_str(), "r");
  if (file == nullptr) return false;
  std::vector<char> buffer(kChunk + 1);
  XML_Parser parser = EmptyParser();
  bool ok = true;
  while (!std::feof(file)) {
    size_t count = std::fread(buffer.data(), 1, kChunk, file);
    if (count == 0) break;
    if (XML_Parse(parser, buffer.data(), static_cast<int>(count), 0) == XML_STATUS_ERROR) {
      ok = false;
      break;
    }
  }
  if (XML_Parse(parser, buffer.data(), 0, 1) == XML_STATUS_ERROR) ok = false;
  XML_ParserFree(parser);
  std::fclose(file);
  return ok;
}

bool ExpatWhole(const std::string& text) {
  XML_Parser parser = EmptyParser();
  bool ok = XML_Parse(parser, text.data(), static_cast<int>(text.size()), 1) != XML_STATUS_ERROR;
  XML_ParserFree(parser);
  return ok;
}

struct StringWriter : pugi::xml_writer {
  std::string text;
  void write(const void* data, size_t size) override { text.append(static_cast<const char*>(data), size); }
};

// ---- Benchmarks. Read benchmarks time the build only; each DOM is freed
// with the clock stopped.

void ReadExpatChunked(benchmark::State& state, std::string path, size_t bytes) {
  for (auto _ : state) {
    if (!ExpatChunked(path)) state.SkipWithError("parse failed");
  }
  state.SetBytesProcessed(static_cast<int64_t>(bytes * state.iterations()));
}

void ReadExpatWhole(benchmark::State& state, std::string path, size_t) {
  std::string text = Slurp(path);
  for (auto _ : state) {
    if (!ExpatWhole(text)) state.SkipWithError("parse failed");
  }
  state.SetBytesProcessed(static_cast<int64_t>(text.size() * state.iterations()));
}

void ReadZelFile(benchmark::State& state, std::string path, size_t bytes) {
  ZELString name(path.c_str());
  for (auto _ : state) {
    ZELBasXmlDocument* document = new ZELBasXmlDocument;
    if (document->ReadFile(name) != S_OK) state.SkipWithError("read failed");
    state.PauseTiming();
    delete document;
    state.ResumeTiming();
  }
  state.SetBytesProcessed(static_cast<int64_t>(bytes * state.iterations()));
}

void ReadZelString(benchmark::State& state, std::string path, size_t) {
  std::string bytes = Slurp(path);
  ZELString text(bytes.c_str());
  for (auto _ : state) {
    ZELBasXmlDocument* document = new ZELBasXmlDocument;
    if (document->ReadString(text) != S_OK) state.SkipWithError("read failed");
    state.PauseTiming();
    delete document;
    state.ResumeTiming();
  }
  state.SetBytesProcessed(static_cast<int64_t>(bytes.size() * state.iterations()));
}

void ReadPugi(benchmark::State& state, std::string path, size_t bytes) {
  for (auto _ : state) {
    pugi::xml_document* document = new pugi::xml_document;
    if (!document->load_file(path.c_str())) state.SkipWithError("load failed");
    state.PauseTiming();
    delete document;
    state.ResumeTiming();
  }
  state.SetBytesProcessed(static_cast<int64_t>(bytes * state.iterations()));
}

void ReadTiny(benchmark::State& state, std::string path, size_t bytes) {
  for (auto _ : state) {
    tinyxml2::XMLDocument* document = new tinyxml2::XMLDocument;
    if (document->LoadFile(path.c_str()) != tinyxml2::XML_SUCCESS) state.SkipWithError("load failed");
    state.PauseTiming();
    delete document;
    state.ResumeTiming();
  }
  state.SetBytesProcessed(static_cast<int64_t>(bytes * state.iterations()));
}

void ReadLibxml(benchmark::State& state, std::string path, size_t bytes) {
  for (auto _ : state) {
    xmlDocPtr document = xmlReadFile(path.c_str(), nullptr, 0);
    if (document == nullptr) state.SkipWithError("read failed");
    state.PauseTiming();
    xmlFreeDoc(document);
    state.ResumeTiming();
  }
  state.SetBytesProcessed(static_cast<int64_t>(bytes * state.iterations()));
}

// Write benchmarks count the bytes each contender writes.

void WriteZel(benchmark::State& state, std::string path, size_t) {
  ZELBasXmlDocument document;
  document.ReadFile(ZELString(path.c_str()));
  size_t written = 0;
  for (auto _ : state) {
    ZELString out;
    document.WriteString(out);
    written = std::strlen(out.CastToCharPtr());
  }
  state.SetBytesProcessed(static_cast<int64_t>(written * state.iterations()));
}

void WritePugi(benchmark::State& state, std::string path, size_t) {
  pugi::xml_document document;
  document.load_file(path.c_str());
  size_t written = 0;
  // One string for every run, its room kept: pugixml is timed writing, not
  // waiting on fresh memory.
  StringWriter writer;
  for (auto _ : state) {
    writer.text.clear();
    document.save(writer, "    ");
    written = writer.text.size();
  }
  state.SetBytesProcessed(static_cast<int64_t>(written * state.iterations()));
}

void WriteTiny(benchmark::State& state, std::string path, size_t) {
  tinyxml2::XMLDocument document;
  document.LoadFile(path.c_str());
  size_t written = 0;
  for (auto _ : state) {
    tinyxml2::XMLPrinter printer;
    document.Print(&printer);
    written = static_cast<size_t>(printer.CStrSize() - 1);
  }
  state.SetBytesProcessed(static_cast<int64_t>(written * state.iterations()));
}

void WriteLibxml(benchmark::State& state, std::string path, size_t) {
  xmlDocPtr document = xmlReadFile(path.c_str(), nullptr, 0);
  size_t written = 0;
  for (auto _ : state) {
    xmlChar* text = nullptr;
    int size = 0;
    xmlDocDumpFormatMemory(document, &text, &size, 1);
    written = static_cast<size_t>(size);
    xmlFree(text);
  }
  xmlFreeDoc(document);
  state.SetBytesProcessed(static_cast<int64_t>(written * state.iterations()));
}

// ---- Peak resident memory of one read, in a process of its own.

long StatusKiB(const char* field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  size_t length = std::strlen(field);
  while (std::getline(status, line)) {
    if (line.compare(0, length, field) == 0) return std::atol(line.c_str() + length + 1);
  }
  return -1;
}

int PeakMemory(const std::string& contender, const std::string& path) {
  std::string text;
  ZELString zelText;
  if (contender == "zel_string") {
    text = Slurp(path);
    zelText = ZELString(text.c_str());
  }
  // Start the peak afresh: what was loaded before the read does not count.
  { std::ofstream("/proc/self/clear_refs") << "5"; }
  long base = StatusKiB("VmRSS:");
  // The documents are left to the end of the process: only the read is
  // measured (and counted, under callgrind).
  bool ok = false;
  if (contender == "expat") {
    ok = ExpatChunked(path);
  } else if (contender == "zel_file") {
    ok = (new ZELBasXmlDocument)->ReadFile(ZELString(path.c_str())) == S_OK;
  } else if (contender == "zel_string") {
    ok = (new ZELBasXmlDocument)->ReadString(zelText) == S_OK;
  } else if (contender == "pugixml") {
    ok = static_cast<bool>((new pugi::xml_document)->load_file(path.c_str()));
  } else if (contender == "tinyxml2") {
    ok = (new tinyxml2::XMLDocument)->LoadFile(path.c_str()) == tinyxml2::XML_SUCCESS;
  } else if (contender == "libxml2") {
    ok = xmlReadFile(path.c_str(), nullptr, 0) != nullptr;
  } else {
    std::fprintf(stderr, "unknown contender %s\n", contender.c_str());
    return 2;
  }
  long peak = StatusKiB("VmHWM:");
  std::printf("{\"contender\": \"%s\", \"file\": \"%s\", \"base_kib\": %ld, \"peak_kib\": %ld}\n",
              contender.c_str(), BaseName(path).c_str(), base, peak);
  return ok ? 0 : 1;
}

size_t FileSize(const std::string& path) {
  FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return 0;
  std::fseek(file, 0, SEEK_END);
  long size = std::ftell(file);
  std::fclose(file);
  return size > 0 ? static_cast<size_t>(size) : 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 2 && std::strcmp(argv[1], "generate") == 0) {
    if (argc < 4) {
      std::fprintf(stderr, "usage: %s generate DIR SCALE\n", argv[0]);
      return 2;
    }
    double scale = std::atof(argv[3]);
    std::vector<CorpusFile> files = WriteCorpus(argv[2], scale);
    std::vector<CorpusFile> scaling = WriteScalingCorpus(argv[2], scale);
    files.insert(files.end(), scaling.begin(), scaling.end());
    for (const CorpusFile& file : files) std::printf("%s %zu\n", file.path.c_str(), file.bytes);
    return 0;
  }
  if (argc >= 2 && std::strcmp(argv[1], "rss") == 0) {
    if (argc < 4) {
      std::fprintf(stderr, "usage: %s rss CONTENDER FILE\n", argv[0]);
      return 2;
    }
    return PeakMemory(argv[2], argv[3]);
  }

  benchmark::Initialize(&argc, argv);
  // What is left after the benchmark flags: the files, each with an optional
  // ":write" or ":scaling" suffix choosing which contenders run on it.
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    std::string mode = "all";
    size_t colon = arg.rfind(':');
    if (colon != std::string::npos) {
      mode = arg.substr(colon + 1);
      arg = arg.substr(0, colon);
    }
    size_t bytes = FileSize(arg);
    if (bytes == 0) {
      std::fprintf(stderr, "cannot read %s\n", arg.c_str());
      return 2;
    }
    std::string name = BaseName(arg);
    typedef void (*Run)(benchmark::State&, std::string, size_t);
    struct Contender {
      const char* kind;
      const char* who;
      Run run;
      bool scaling;
    } contenders[] = {
        {"read", "expat_chunked", ReadExpatChunked, true},
        {"read", "expat_whole", ReadExpatWhole, false},
        {"read", "zel_file", ReadZelFile, true},
        {"read", "zel_string", ReadZelString, false},
        {"read", "pugixml", ReadPugi, false},
        {"read", "tinyxml2", ReadTiny, false},
        {"read", "libxml2", ReadLibxml, false},
        {"write", "zel", WriteZel, true},
        {"write", "pugixml", WritePugi, false},
        {"write", "tinyxml2", WriteTiny, false},
        {"write", "libxml2", WriteLibxml, false},
    };
    for (const Contender& c : contenders) {
      if (mode == "scaling" && !c.scaling) continue;
      std::string label = std::string(c.kind) + "/" + c.who + "/" + name;
      benchmark::RegisterBenchmark(label.c_str(), c.run, arg, bytes)->Unit(benchmark::kMillisecond);
    }
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
