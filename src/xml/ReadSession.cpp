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
  if (mode.anyEncoding) xmp_XML_SetUnknownEncodingHandler(created, &DeclaredEncoding::Describe, &encoding);
  if (!mode.buildTree) return;  // a check: the parse alone
  builder.emplace(mode.wholeText);
  if (mode.keepLayout) {
    xmp_XML_SetElementHandler(created, &TreeBuilder::KeptStartTag, &TreeBuilder::KeptEndTag);
    xmp_XML_SetCharacterDataHandler(created, &TreeBuilder::KeptText);
    xmp_XML_SetCommentHandler(created, &TreeBuilder::KeptComment);
    xmp_XML_SetProcessingInstructionHandler(created, &TreeBuilder::KeptInstruction);
    xmp_XML_SetXmlDeclHandler(created, &TreeBuilder::KeptDeclaration);
    builder->layout.emplace(created);
  } else {
    xmp_XML_SetElementHandler(created, &ZELBasXmlDocument::unknownStartTag,
                              &ZELBasXmlDocument::unknownEndTag);
    xmp_XML_SetCharacterDataHandler(
        created, mode.wholeText ? &TreeBuilder::WholeTextHandler : &ZELBasXmlDocument::dataHandler);
  }
  TreeBuilder*& served = DocumentAccess::Builder(document);
  assert(served == nullptr);  // reads of one document never nest
  served = &*builder;
}

ReadSession::~ReadSession() {
  if (builder) DocumentAccess::Builder(document) = nullptr;
}

bool ReadSession::Parse(const char* bytes, int length, bool isFinal) {
  XML_Parser created = parser.Get();
  LayoutRecorder* layout = builder && builder->layout ? &*builder->layout : nullptr;
  if (layout != nullptr) layout->Borrow(bytes, static_cast<size_t>(length));
  XML_Status status = xmp_XML_Parse(created, bytes, length, isFinal ? 1 : 0);
  if (layout != nullptr) layout->Keep();
  if (status != XML_STATUS_ERROR) return true;
  enum XML_Error code = xmp_XML_GetErrorCode(created);
  const char* message = xmp_XML_ErrorString(code);
  if (code == XML_ERROR_UNKNOWN_ENCODING && !encoding.Asked().empty()) {
    // Expat's "unknown encoding" would blame the file: it is the system
    // that has no such encoding (or none Expat can take).
    if (unsupported.empty()) unsupported = "unsupported encoding " + encoding.Asked();
    message = unsupported.c_str();
  }
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
  if (builder && builder->layout) {
    KeptDocument kept;
    bool whole = firstMessage == nullptr && readError == 0 && builder->layout->Finish(kept);
    DocumentAccess::SetKept(document, whole ? &kept : nullptr);
  }
  parser.Reset(nullptr);
  DocumentAccess::RecordOutcome(document, firstMessage, firstLine, firstColumn, readError);
  return firstMessage == nullptr && readError == 0;
}

}  // namespace zelbas_detail
