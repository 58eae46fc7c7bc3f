// The read session: the parser's set-up, its error report, and the end of
// a read.
#include "ReadSession.h"

#include <cassert>
#include <cstdio>

#include "DocumentAccess.h"

namespace zelbas_detail {

ReadSession::ReadSession(ZELBasXmlDocument& target, const ReadMode& readMode)
    : mode(readMode), document(target), parser(xmp_XML_ParserCreate(nullptr), &xmp_XML_ParserFree) {
  XML_Parser created = parser.Get();
  if (created == nullptr) return;
  xmp_XML_SetUserData(created, &document);
  if (!mode.buildTree) return;  // a check: the parse alone
  xmp_XML_SetElementHandler(created, &ZELBasXmlDocument::unknownStartTag, &ZELBasXmlDocument::unknownEndTag);
  xmp_XML_SetCharacterDataHandler(
      created, mode.wholeText ? &TreeBuilder::WholeTextHandler : &ZELBasXmlDocument::dataHandler);
  builder.emplace(mode.wholeText);
  TreeBuilder*& served = DocumentAccess::Builder(document);
  assert(served == nullptr);  // reads of one document never nest
  served = &*builder;
}

ReadSession::~ReadSession() {
  if (builder) DocumentAccess::Builder(document) = nullptr;
}

bool ReadSession::Parse(const char* bytes, int length, bool isFinal) {
  XML_Parser created = parser.Get();
  if (xmp_XML_Parse(created, bytes, length, isFinal ? 1 : 0) != XML_STATUS_ERROR) return true;
  const char* message = xmp_XML_ErrorString(xmp_XML_GetErrorCode(created));
  XML_Size line = xmp_XML_GetCurrentLineNumber(created);
  XML_Size column = xmp_XML_GetCurrentColumnNumber(created);
  if (!mode.quiet) {
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

bool ReadSession::Finish(int readError) {
  if (builder) builder->text.Flush();
  parser.Reset(nullptr);
  DocumentAccess::RecordOutcome(document, firstMessage, firstLine, firstColumn, readError);
  return firstMessage == nullptr && readError == 0;
}

}  // namespace zelbas_detail
