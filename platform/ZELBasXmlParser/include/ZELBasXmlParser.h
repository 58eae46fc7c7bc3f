/// @file ZELBasXmlParser.h
/// ZELBasXmlParser: the code base's parser module: Expat's
/// interface under the xmp_ prefix. A handler may throw: the parse stops
/// and xmp_XML_Parse raises the exception once Expat has returned.
#pragma once

#include <expat.h>

#include "ZELBasModulePair.h"

/// Marks what this module exports: ZELBAS_EXPORT while it is built,
/// ZELBAS_IMPORT for its users.
#if defined(ZELBASXMLPARSER_BUILD)
#define ZELBASXMLPARSER_API ZELBAS_EXPORT
#else
#define ZELBASXMLPARSER_API ZELBAS_IMPORT
#endif

ZELBAS_DECLARE_MODULE_PAIR(ZELBasXmlParser, ZELBASXMLPARSER_API)

extern "C" {
/// Expat's XML_ParserCreate, with the same arguments and result.
ZELBASXMLPARSER_API XML_Parser xmp_XML_ParserCreate(const XML_Char* encoding);
/// Expat's XML_SetUserData, with the same arguments and result.
ZELBASXMLPARSER_API void xmp_XML_SetUserData(XML_Parser parser, void* userData);
/// Expat's XML_SetElementHandler, with the same arguments and result.
ZELBASXMLPARSER_API void xmp_XML_SetElementHandler(XML_Parser parser, XML_StartElementHandler start,
                                                   XML_EndElementHandler end);
/// Expat's XML_SetCharacterDataHandler, with the same arguments and result.
ZELBASXMLPARSER_API void xmp_XML_SetCharacterDataHandler(XML_Parser parser, XML_CharacterDataHandler handler);
/// Expat's XML_SetCommentHandler, with the same arguments and result.
ZELBASXMLPARSER_API void xmp_XML_SetCommentHandler(XML_Parser parser, XML_CommentHandler handler);
/// Expat's XML_SetProcessingInstructionHandler, with the same arguments and
/// result.
ZELBASXMLPARSER_API void xmp_XML_SetProcessingInstructionHandler(XML_Parser parser,
                                                                 XML_ProcessingInstructionHandler handler);
/// Expat's XML_SetXmlDeclHandler, with the same arguments and result.
ZELBASXMLPARSER_API void xmp_XML_SetXmlDeclHandler(XML_Parser parser, XML_XmlDeclHandler handler);
/// Expat's XML_SetUnknownEncodingHandler, with the same arguments and
/// result: `handler` is asked about an encoding Expat does not know. An
/// exception it raises refuses the encoding and is raised again from
/// xmp_XML_Parse; the conversion functions it hands Expat must not raise.
ZELBASXMLPARSER_API void xmp_XML_SetUnknownEncodingHandler(XML_Parser parser,
                                                           XML_UnknownEncodingHandler handler,
                                                           void* encodingHandlerData);
/// Expat's XML_Parse, with the same arguments and result; raises again the
/// exception a handler raised, the parse stopped at that handler.
ZELBASXMLPARSER_API enum XML_Status xmp_XML_Parse(XML_Parser parser, const char* text, int length,
                                                  int isFinal);
/// Expat's XML_GetErrorCode, with the same arguments and result.
ZELBASXMLPARSER_API enum XML_Error xmp_XML_GetErrorCode(XML_Parser parser);
/// Expat's XML_ErrorString, with the same arguments and result.
ZELBASXMLPARSER_API const XML_LChar* xmp_XML_ErrorString(enum XML_Error code);
/// Expat's XML_GetCurrentLineNumber, with the same arguments and result.
ZELBASXMLPARSER_API XML_Size xmp_XML_GetCurrentLineNumber(XML_Parser parser);
/// Expat's XML_GetCurrentColumnNumber, with the same arguments and result.
ZELBASXMLPARSER_API XML_Size xmp_XML_GetCurrentColumnNumber(XML_Parser parser);
/// Expat's XML_GetCurrentByteIndex, with the same arguments and result:
/// where in the input the current event's text starts.
ZELBASXMLPARSER_API XML_Index xmp_XML_GetCurrentByteIndex(XML_Parser parser);
/// Expat's XML_GetCurrentByteCount, with the same arguments and result: how
/// many bytes of the input the current event's text takes.
ZELBASXMLPARSER_API int xmp_XML_GetCurrentByteCount(XML_Parser parser);
/// Expat's XML_ParserFree, with the same arguments and result.
ZELBASXMLPARSER_API void xmp_XML_ParserFree(XML_Parser parser);
/// Expat's XML_ExpatVersion, with the same arguments and result: the
/// version of the Expat loaded, which may differ from the headers'.
ZELBASXMLPARSER_API const XML_LChar* xmp_XML_ExpatVersion();
}
