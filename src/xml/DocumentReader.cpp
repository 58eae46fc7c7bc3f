// Reading: feeds XML text from a file or a string to the parser, whose
// callbacks build the tree.
#include <cassert>
#include <cstdio>

#include "Buffer.h"
#include "ParseCache.h"
#include "ZELBasScopeOwner.h"
#include "ZELBasShared.h"
#include "ZELBasXmlDocument.h"
#include "ZELBasXmlParser.h"

namespace zelbas_detail {

// Bytes fed to the parser per call. The parser takes a length, so a chunk
// needs no terminator after it.
const size_t kChunk = 0x40000;

// The parser of one read, set up for the document and freed on every way
// out, exceptions included; it keeps the first error it reports.
class ParserOwner {
public:
  ParserOwner(ZELBasXmlDocument* document, unsigned long options)
      : owner(xmp_XML_ParserCreate(nullptr), &xmp_XML_ParserFree), quiet((options & ZELBasXmlQuiet) != 0) {
    XML_Parser parser = owner.Get();
    if (parser == nullptr) return;
    xmp_XML_SetUserData(parser, document);
    xmp_XML_SetElementHandler(parser, &ZELBasXmlDocument::unknownStartTag, &ZELBasXmlDocument::unknownEndTag);
    // Each mode its own handler: the default one tests for no option.
    xmp_XML_SetCharacterDataHandler(parser, (options & ZELBasXmlWholeText) != 0
                                                ? &ParseCache::WholeTextHandler
                                                : &ZELBasXmlDocument::dataHandler);
  }

  // False when the parser could not be created.
  bool Created() const { return static_cast<bool>(owner); }
  void Free() { owner.Reset(nullptr); }

  // One parse call; a failure is reported on the standard error stream
  // unless quiet, and the first one kept for FirstError.
  bool Parse(const char* text, int length, int isFinal) {
    XML_Parser parser = owner.Get();
    if (xmp_XML_Parse(parser, text, length, isFinal) != XML_STATUS_ERROR) return true;
    const char* message = xmp_XML_ErrorString(xmp_XML_GetErrorCode(parser));
    XML_Size line = xmp_XML_GetCurrentLineNumber(parser);
    XML_Size column = xmp_XML_GetCurrentColumnNumber(parser);
    if (!quiet) {
      std::fprintf(stderr, "XML parse error: %s\n", message);
      std::fprintf(stderr, "  Line: %d, Column: %d\n", static_cast<int>(line), static_cast<int>(column));
    }
    if (firstMessage == nullptr) {
      firstMessage = message != nullptr ? message : "";
      firstLine = line;
      firstColumn = column;
    }
    return false;
  }

  // Copies out the first failure; false when there was none.
  bool FirstError(ZELString& message, unsigned long& line, unsigned long& column) const {
    if (firstMessage == nullptr) return false;
    message = ZELString(firstMessage);
    line = firstLine;
    column = firstColumn;
    return true;
  }

private:
  ZELBasScopeOwner<XML_Parser, void (*)(XML_Parser)> owner;
  bool quiet;
  const char* firstMessage = nullptr;  // the parser's own static text
  XML_Size firstLine = 0;
  XML_Size firstColumn = 0;
};

// Clears the document's pointer to the cache of its read.
inline void StopServing(ParseCache** served) { *served = nullptr; }

// Points the document's callbacks, through `served`, at `cache` until the
// returned owner leaves its scope. Reads of one document never nest.
inline ZELBasScopeOwner<ParseCache**, void (*)(ParseCache**)> Serve(ParseCache*& served, ParseCache& cache) {
  assert(served == nullptr);
  served = &cache;
  return {&served, &StopServing};
}

}  // namespace zelbas_detail

using namespace zelbas_detail;

long ZELBasXmlDocument::Read() {
  parseFailed = false;
  if (fileName.GetLengthInChar() < 1) return E_FAIL;
  return ReadFile(fileName);
}

long ZELBasXmlDocument::ReadFile(const ZELString& name) {
  parseFailed = false;
  // Closed on every way out, exceptions included.
  ZELBasScopeOwner file(ZELBasFileOps::Fopen(name, "r"), &std::fclose);
  FILE* stream = file.Get();
  if (stream == nullptr) return E_FAIL;
  char* bytes = NewBytes(kChunk);
  Buffer buffer(bytes);
  ParserOwner parser(this, options);
  if (!parser.Created()) return E_FAIL;
  ParseCache cache(ParseCache::kForRead, (options & ZELBasXmlWholeText) != 0);
  auto serving = Serve(parseCache, cache);

  while (!std::feof(stream)) {
    size_t count = std::fread(bytes, 1, kChunk, stream);
    if (count == 0) {
      if (std::ferror(stream)) break;
      continue;
    }
    if (!parser.Parse(bytes, static_cast<int>(count), 0)) break;
  }
  // Always close the parse: it reports a document left incomplete, and a
  // parser that already failed reports again.
  parser.Parse(bytes, 0, 1);
  cache.Flush();
  parseFailed = parser.FirstError(parseErrorMessage, parseErrorLine, parseErrorColumn);
  parser.Free();
  file.Reset(nullptr);
  return S_OK;
}

long ZELBasXmlDocument::ReadString(const ZELString& text) {
  parseFailed = false;
  int characters = text.GetLengthInChar();
  if (characters > MaxStringCharacters) return E_FAIL;
  ParserOwner parser(this, options);
  if (!parser.Created()) return E_FAIL;
  // Four bytes per character, but no more than one past what the parser
  // takes: a text that fills that is refused unparsed.
  const size_t room = static_cast<size_t>(MaxStringBytes) + 1;
  size_t size = static_cast<size_t>(characters) * 4;
  if (size > room) size = room;
  char* bytes = NewBytes(size);
  Buffer buffer(bytes);
  text.ConvertToUTF8(bytes, &size);
  if (size == room) return E_FAIL;
  ParseCache cache(ParseCache::kForRead, (options & ZELBasXmlWholeText) != 0);
  auto serving = Serve(parseCache, cache);
  long result = parser.Parse(bytes, static_cast<int>(size), 1) ? S_OK : E_FAIL;
  cache.Flush();
  parseFailed = parser.FirstError(parseErrorMessage, parseErrorLine, parseErrorColumn);
  parser.Free();
  return result;
}

long ZELBasXmlDocument::GetParseError(ZELString& message, unsigned long& line, unsigned long& column) const {
  if (!parseFailed) return E_FAIL;
  message = parseErrorMessage;
  line = parseErrorLine;
  column = parseErrorColumn;
  return S_OK;
}
