#include "Contenders.h"

#include <expat.h>
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <tinyxml2.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <pugixml.hpp>
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

// ---- pugixml, default options.

void* ReadPugiFile(const Input& input) {
  pugi::xml_document* document = new pugi::xml_document;
  if (document->load_file(input.path.c_str())) return document;
  delete document;
  return nullptr;
}

void* ReadPugiBuffer(const Input& input) {
  pugi::xml_document* document = new pugi::xml_document;
  if (document->load_buffer(input.text.data(), input.text.size())) return document;
  delete document;
  return nullptr;
}

size_t CountPugi(void* document, const Input&) {
  struct Counter : pugi::xml_tree_walker {
    size_t count = 0;
    bool for_each(pugi::xml_node& node) override {
      if (node.type() == pugi::node_element) ++count;
      return true;
    }
  } counter;
  static_cast<pugi::xml_document*>(document)->traverse(counter);
  return counter.count;
}

void ReleasePugi(void* document) { delete static_cast<pugi::xml_document*>(document); }

// ---- tinyxml2.

void* ReadTiny(const Input& input) {
  tinyxml2::XMLDocument* document = new tinyxml2::XMLDocument;
  if (document->LoadFile(input.path.c_str()) == tinyxml2::XML_SUCCESS) return document;
  delete document;
  return nullptr;
}

size_t CountTiny(void* document, const Input&) {
  size_t count = 0;
  std::vector<const tinyxml2::XMLElement*> pending{
      static_cast<tinyxml2::XMLDocument*>(document)->RootElement()};
  while (!pending.empty()) {
    const tinyxml2::XMLElement* element = pending.back();
    pending.pop_back();
    if (element == nullptr) continue;
    ++count;
    for (const tinyxml2::XMLElement* child = element->FirstChildElement(); child != nullptr;
         child = child->NextSiblingElement()) {
      pending.push_back(child);
    }
  }
  return count;
}

void ReleaseTiny(void* document) { delete static_cast<tinyxml2::XMLDocument*>(document); }

// ---- libxml2, default options.

void* ReadLibxml(const Input& input) { return xmlReadFile(input.path.c_str(), nullptr, 0); }

size_t CountLibxml(void* document, const Input&) {
  size_t count = 0;
  std::vector<xmlNodePtr> pending{xmlDocGetRootElement(static_cast<xmlDocPtr>(document))};
  while (!pending.empty()) {
    xmlNodePtr node = pending.back();
    pending.pop_back();
    if (node == nullptr || node->type != XML_ELEMENT_NODE) continue;
    ++count;
    for (xmlNodePtr child = node->children; child != nullptr; child = child->next) pending.push_back(child);
  }
  return count;
}

void ReleaseLibxml(void* document) { xmlFreeDoc(static_cast<xmlDocPtr>(document)); }

const Reader kReaders[] = {
    {"expat_chunked", false, NoPrepare, ReadExpatChunked, CountExpat, NoRelease, NoPrepare},
    {"expat_whole", true, NoPrepare, ReadExpatWhole, CountExpat, NoRelease, NoPrepare},
    {"zel_file", false, NoPrepare, ReadZelFile, CountZel, ReleaseZel, NoPrepare},
    {"zel_file_whole", false, NoPrepare, ReadZelFileWhole, CountZel, ReleaseZel, NoPrepare},
    {"zel_string", true, PrepareZelString, ReadZelString, CountZel, ReleaseZel, UnprepareZelString},
    {"pugixml_file", false, NoPrepare, ReadPugiFile, CountPugi, ReleasePugi, NoPrepare},
    {"pugixml_buffer", true, NoPrepare, ReadPugiBuffer, CountPugi, ReleasePugi, NoPrepare},
    {"tinyxml2", false, NoPrepare, ReadTiny, CountTiny, ReleaseTiny, NoPrepare},
    {"libxml2", false, NoPrepare, ReadLibxml, CountLibxml, ReleaseLibxml, NoPrepare},
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

struct StringWriter : pugi::xml_writer {
  std::string text;
  void write(const void* data, size_t size) override { text.append(static_cast<const char*>(data), size); }
};

void* LoadPugi(const std::string& path) { return ReadPugiFile(Input{path, "", nullptr}); }

// Indented by four spaces, as this library writes.
void* WritePugi(void* document) {
  StringWriter* out = new StringWriter;
  static_cast<pugi::xml_document*>(document)->save(*out, "    ");
  return out;
}

std::string PugiText(void* output) { return static_cast<StringWriter*>(output)->text; }
void ReleasePugiText(void* output) { delete static_cast<StringWriter*>(output); }

void* LoadTiny(const std::string& path) { return ReadTiny(Input{path, "", nullptr}); }

void* WriteTiny(void* document) {
  tinyxml2::XMLPrinter* printer = new tinyxml2::XMLPrinter;
  static_cast<tinyxml2::XMLDocument*>(document)->Print(printer);
  return printer;
}

std::string TinyText(void* output) {
  tinyxml2::XMLPrinter* printer = static_cast<tinyxml2::XMLPrinter*>(output);
  return std::string(printer->CStr(), static_cast<size_t>(printer->CStrSize() - 1));
}

void ReleaseTinyText(void* output) { delete static_cast<tinyxml2::XMLPrinter*>(output); }

const Writer kWriters[] = {
    {"zel", LoadZel, WriteZel, ZelText, ReleaseZelText, ReleaseZel},
    {"pugixml", LoadPugi, WritePugi, PugiText, ReleasePugiText, ReleasePugi},
    {"tinyxml2", LoadTiny, WriteTiny, TinyText, ReleaseTinyText, ReleaseTiny},
};

void XMLCALL CountStart(void* count, const XML_Char*, const XML_Char**) { ++*static_cast<size_t*>(count); }

}  // namespace

const Reader* FindReader(const std::string& name) {
  for (const Reader& reader : kReaders) {
    if (name == reader.name) return &reader;
  }
  return nullptr;
}

const Writer* FindWriter(const std::string& name) {
  for (const Writer& writer : kWriters) {
    if (name == writer.name) return &writer;
  }
  return nullptr;
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
