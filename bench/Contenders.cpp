// Raw Expat and this library as the benchmark's contenders, and the lookup of
// every contender by name.
#include "Contenders.h"

#include <expat.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <vector>

#include "ZELBasXmlDocument.h"

namespace {

const size_t kChunk = 0x40000;  // the chunk ReadFile feeds

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void* const kParsed = reinterpret_cast<void*>(1);

void NoPrepare(Input&) {}
void NoRelease(void*) {}

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
void* ReadExpatChunked(const Input& input) {
  FILE* file = std::fopen(input.path.c_str(), "r");
  if (file == nullptr) return nullptr;
  std::vector<char> buffer(kChunk);
  XML_Parser parser = EmptyParser();
  bool ok = true;
  while (ok && !std::feof(file)) {
    size_t count = std::fread(buffer.data(), 1, kChunk, file);
    if (count == 0) break;
    ok = XML_Parse(parser, buffer.data(), static_cast<int>(count), 0) != XML_STATUS_ERROR;
  }
  ok = ok && XML_Parse(parser, buffer.data(), 0, 1) != XML_STATUS_ERROR;
  XML_ParserFree(parser);
  std::fclose(file);
  return ok ? kParsed : nullptr;
}

void* ReadExpatWhole(const Input& input) {
  XML_Parser parser = EmptyParser();
  bool ok = XML_Parse(parser, input.text.data(), static_cast<int>(input.text.size()), 1) != XML_STATUS_ERROR;
  XML_ParserFree(parser);
  return ok ? kParsed : nullptr;
}

size_t CountExpat(void*, const Input& input) {
  std::string text = input.text.empty() ? Slurp(input.path) : input.text;
  return CountElements(text.data(), text.size());
}

// ---- This library.

void* ReadZelFileWith(const Input& input, unsigned long options) {
  ZELBasXmlDocument* document = new ZELBasXmlDocument;
  if ((options == 0 || document->SetOptions(options) == S_OK) &&
      document->ReadFile(ZELString(input.path.c_str())) == S_OK) {
    return document;
  }
  delete document;
  return nullptr;
}

void* ReadZelFile(const Input& input) { return ReadZelFileWith(input, 0); }

// Every piece of each text joined, as a program that reads data out sets it.
void* ReadZelFileWhole(const Input& input) { return ReadZelFileWith(input, ZELBasXmlWholeText); }

// The layout kept, as a program that edits a file in place sets it.
void* ReadZelFileKeep(const Input& input) { return ReadZelFileWith(input, ZELBasXmlKeepLayout); }

void PrepareZelString(Input& input) { input.prepared = new ZELString(input.text.c_str()); }
void UnprepareZelString(Input& input) { delete static_cast<ZELString*>(input.prepared); }

void* ReadZelString(const Input& input) {
  ZELBasXmlDocument* document = new ZELBasXmlDocument;
  if (document->ReadString(*static_cast<const ZELString*>(input.prepared)) == S_OK) return document;
  delete document;
  return nullptr;
}

size_t CountZel(void* document, const Input&) {
  size_t count = 0;
  std::vector<const ZELBasXmlNode*> pending{&static_cast<ZELBasXmlDocument*>(document)->GetRoot()};
  while (!pending.empty()) {
    const ZELBasXmlNode* node = pending.back();
    pending.pop_back();
    ++count;
    for (const ZELBasXmlNode& child : node->Children()) pending.push_back(&child);
  }
  return count;
}

void ReleaseZel(void* document) { delete static_cast<ZELBasXmlDocument*>(document); }

const Reader kReaders[] = {
    {"expat_chunked", false, NoPrepare, ReadExpatChunked, CountExpat, NoRelease, NoPrepare},
    {"expat_whole", true, NoPrepare, ReadExpatWhole, CountExpat, NoRelease, NoPrepare},
    {"zel_file", false, NoPrepare, ReadZelFile, CountZel, ReleaseZel, NoPrepare},
    {"zel_file_whole", false, NoPrepare, ReadZelFileWhole, CountZel, ReleaseZel, NoPrepare},
    {"zel_file_keep", false, NoPrepare, ReadZelFileKeep, CountZel, ReleaseZel, NoPrepare},
    {"zel_string", true, PrepareZelString, ReadZelString, CountZel, ReleaseZel, UnprepareZelString},
};

// ---- Writers: each renders into a fresh string of its own, as its users do.

void* LoadZel(const std::string& path) { return ReadZelFile(Input{path, "", nullptr}); }

void* WriteZel(void* document) {
  ZELString* out = new ZELString;
  static_cast<ZELBasXmlDocument*>(document)->WriteString(*out);
  return out;
}

std::string ZelText(void* output) { return static_cast<ZELString*>(output)->CastToCharPtr(); }
void ReleaseZelText(void* output) { delete static_cast<ZELString*>(output); }

const Writer kWriters[] = {
    {"zel", LoadZel, WriteZel, ZelText, ReleaseZelText, ReleaseZel},
};

void XMLCALL CountStart(void* count, const XML_Char*, const XML_Char**) { ++*static_cast<size_t*>(count); }

}  // namespace

const Reader* FindReader(const std::string& name) {
  for (const Reader& reader : kReaders) {
    if (name == reader.name) return &reader;
  }
  return FindPeerReader(name);
}

const Writer* FindWriter(const std::string& name) {
  for (const Writer& writer : kWriters) {
    if (name == writer.name) return &writer;
  }
  return FindPeerWriter(name);
}

size_t CountElements(const char* text, size_t size) {
  size_t count = 0;
  XML_Parser parser = XML_ParserCreate(nullptr);
  XML_SetUserData(parser, &count);
  XML_SetElementHandler(parser, CountStart, NoEnd);
  bool ok = XML_Parse(parser, text, static_cast<int>(size), 1) != XML_STATUS_ERROR;
  XML_ParserFree(parser);
  return ok ? count : 0;
}
