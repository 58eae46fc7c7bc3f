// The parser module: Expat's calls under the xmp_ prefix, with each parser's
// handlers guarded so that an exception they raise leaves Expat cleanly.
#include "ZELBasXmlParser.h"

#include <exception>
#include <new>
#include <utility>

ZELBAS_DEFINE_MODULE_PAIR(ZELBasXmlParser)

namespace zelparser_detail {

// What the module keeps for one parser: Expat's user data points here. An
// exception thrown through Expat's C frames would leave its buffers and
// tag stack half-built (and leaked); a handler's exception is caught here
// instead, the parse stopped, and the exception raised again once
// XML_Parse has returned.
struct Guard {
  XML_Parser parser = nullptr;
  void* userData = nullptr;
  XML_StartElementHandler start = nullptr;
  XML_EndElementHandler end = nullptr;
  XML_CharacterDataHandler data = nullptr;
  XML_CommentHandler comment = nullptr;
  XML_ProcessingInstructionHandler instruction = nullptr;
  XML_XmlDeclHandler declaration = nullptr;
  XML_UnknownEncodingHandler encoding = nullptr;
  void* encodingData = nullptr;
  std::exception_ptr raised;
};

Guard* GuardOf(XML_Parser parser) { return static_cast<Guard*>(XML_GetUserData(parser)); }

// Runs `call` with the caller's user data unless an earlier handler threw;
// Expat may still call a few handlers after it was asked to stop.
template <class Call>
void Guarded(void* userData, Call call) {
  Guard* guard = static_cast<Guard*>(userData);
  if (guard->raised) return;
  try {
    call(*guard);
  } catch (...) {
    guard->raised = std::current_exception();
    XML_StopParser(guard->parser, XML_FALSE);
  }
}

void GuardedStart(void* userData, const XML_Char* name, const XML_Char** atts) {
  Guarded(userData, [&](const Guard& guard) { guard.start(guard.userData, name, atts); });
}

void GuardedEnd(void* userData, const XML_Char* name) {
  Guarded(userData, [&](const Guard& guard) { guard.end(guard.userData, name); });
}

void GuardedData(void* userData, const XML_Char* text, int length) {
  Guarded(userData, [&](const Guard& guard) { guard.data(guard.userData, text, length); });
}

void GuardedComment(void* userData, const XML_Char* text) {
  Guarded(userData, [&](const Guard& guard) { guard.comment(guard.userData, text); });
}

void GuardedInstruction(void* userData, const XML_Char* target, const XML_Char* data) {
  Guarded(userData, [&](const Guard& guard) { guard.instruction(guard.userData, target, data); });
}

void GuardedDeclaration(void* userData, const XML_Char* version, const XML_Char* encoding, int standalone) {
  Guarded(userData,
          [&](const Guard& guard) { guard.declaration(guard.userData, version, encoding, standalone); });
}

// A handler that raises refuses the encoding, which ends the parse by itself.
int GuardedUnknownEncoding(void* data, const XML_Char* name, XML_Encoding* info) {
  Guard* guard = static_cast<Guard*>(data);
  if (guard->raised) return XML_STATUS_ERROR;
  try {
    return guard->encoding(guard->encodingData, name, info);
  } catch (...) {
    guard->raised = std::current_exception();
    return XML_STATUS_ERROR;
  }
}

}  // namespace zelparser_detail

using namespace zelparser_detail;

XML_Parser xmp_XML_ParserCreate(const XML_Char* encoding) {
  Guard* guard = new (std::nothrow) Guard;
  if (guard == nullptr) return nullptr;
  guard->parser = XML_ParserCreate(encoding);
  if (guard->parser == nullptr) {
    delete guard;
    return nullptr;
  }
  XML_SetUserData(guard->parser, guard);
  return guard->parser;
}

void xmp_XML_SetUserData(XML_Parser parser, void* userData) { GuardOf(parser)->userData = userData; }

void xmp_XML_SetElementHandler(XML_Parser parser, XML_StartElementHandler start, XML_EndElementHandler end) {
  Guard* guard = GuardOf(parser);
  guard->start = start;
  guard->end = end;
  XML_SetElementHandler(parser, start != nullptr ? &GuardedStart : nullptr,
                        end != nullptr ? &GuardedEnd : nullptr);
}

void xmp_XML_SetCharacterDataHandler(XML_Parser parser, XML_CharacterDataHandler handler) {
  GuardOf(parser)->data = handler;
  XML_SetCharacterDataHandler(parser, handler != nullptr ? &GuardedData : nullptr);
}

void xmp_XML_SetCommentHandler(XML_Parser parser, XML_CommentHandler handler) {
  GuardOf(parser)->comment = handler;
  XML_SetCommentHandler(parser, handler != nullptr ? &GuardedComment : nullptr);
}

void xmp_XML_SetProcessingInstructionHandler(XML_Parser parser, XML_ProcessingInstructionHandler handler) {
  GuardOf(parser)->instruction = handler;
  XML_SetProcessingInstructionHandler(parser, handler != nullptr ? &GuardedInstruction : nullptr);
}

void xmp_XML_SetXmlDeclHandler(XML_Parser parser, XML_XmlDeclHandler handler) {
  GuardOf(parser)->declaration = handler;
  XML_SetXmlDeclHandler(parser, handler != nullptr ? &GuardedDeclaration : nullptr);
}

void xmp_XML_SetUnknownEncodingHandler(XML_Parser parser, XML_UnknownEncodingHandler handler,
                                       void* encodingHandlerData) {
  Guard* guard = GuardOf(parser);
  guard->encoding = handler;
  guard->encodingData = encodingHandlerData;
  XML_SetUnknownEncodingHandler(parser, handler != nullptr ? &GuardedUnknownEncoding : nullptr, guard);
}

enum XML_Status xmp_XML_Parse(XML_Parser parser, const char* text, int length, int isFinal) {
  enum XML_Status status = XML_Parse(parser, text, length, isFinal);
  Guard* guard = GuardOf(parser);
  if (guard->raised) std::rethrow_exception(std::exchange(guard->raised, nullptr));
  return status;
}

enum XML_Error xmp_XML_GetErrorCode(XML_Parser parser) { return XML_GetErrorCode(parser); }

const XML_LChar* xmp_XML_ErrorString(enum XML_Error code) { return XML_ErrorString(code); }

XML_Size xmp_XML_GetCurrentLineNumber(XML_Parser parser) { return XML_GetCurrentLineNumber(parser); }

XML_Size xmp_XML_GetCurrentColumnNumber(XML_Parser parser) { return XML_GetCurrentColumnNumber(parser); }

XML_Index xmp_XML_GetCurrentByteIndex(XML_Parser parser) { return XML_GetCurrentByteIndex(parser); }

int xmp_XML_GetCurrentByteCount(XML_Parser parser) { return XML_GetCurrentByteCount(parser); }

void xmp_XML_ParserFree(XML_Parser parser) {
  if (parser == nullptr) return;
  Guard* guard = GuardOf(parser);
  XML_ParserFree(parser);
  delete guard;
}

const XML_LChar* xmp_XML_ExpatVersion() { return XML_ExpatVersion(); }
