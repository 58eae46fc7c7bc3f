// The peers the benchmark measures this library against on Linux:
// pugixml, tinyxml2 and libxml2, each with its default options.
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <tinyxml2.h>

#include <pugixml.hpp>
#include <string>
#include <vector>

#include "Contenders.h"

namespace {

void NoPrepare(Input&) {}

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
    {"pugixml_file", false, NoPrepare, ReadPugiFile, CountPugi, ReleasePugi, NoPrepare},
    {"pugixml_buffer", true, NoPrepare, ReadPugiBuffer, CountPugi, ReleasePugi, NoPrepare},
    {"tinyxml2", false, NoPrepare, ReadTiny, CountTiny, ReleaseTiny, NoPrepare},
    {"libxml2", false, NoPrepare, ReadLibxml, CountLibxml, ReleaseLibxml, NoPrepare},
};

// ---- Writers: each renders into a fresh string of its own, as its users do.

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
    {"pugixml", LoadPugi, WritePugi, PugiText, ReleasePugiText, ReleasePugi},
    {"tinyxml2", LoadTiny, WriteTiny, TinyText, ReleaseTinyText, ReleaseTiny},
};

}  // namespace

const Reader* FindPeerReader(const std::string& name) {
  for (const Reader& reader : kReaders) {
    if (name == reader.name) return &reader;
  }
  return nullptr;
}

const Writer* FindPeerWriter(const std::string& name) {
  for (const Writer& writer : kWriters) {
    if (name == writer.name) return &writer;
  }
  return nullptr;
}
