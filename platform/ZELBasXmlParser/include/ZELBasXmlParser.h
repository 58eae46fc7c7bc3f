// ZELBasXmlParser: the code base's parser module (stand-in): Expat's
// interface under the xmp_ prefix.
#pragma once

#include <expat.h>

#include "ZELBasModulePair.h"

#if defined(ZELBASXMLPARSER_BUILD)
#define ZELBASXMLPARSER_API ZELBAS_EXPORT
#else
#define ZELBASXMLPARSER_API ZELBAS_IMPORT
#endif

ZELBAS_DECLARE_MODULE_PAIR(ZELBasXmlParser, ZELBASXMLPARSER_API)

extern "C" {
ZELBASXMLPARSER_API XML_Parser xmp_XML_ParserCreate(const XML_Char* encoding);
ZELBASXMLPARSER_API void xmp_XML_SetUserData(XML_Parser parser, void* userData);
ZELBASXMLPARSER_API void xmp_XML_SetElementHandler(XML_Parser parser, XML_StartElementHandler start,
                                                   XML_EndElementHandler end);
ZELBASXMLPARSER_API void xmp_XML_SetCharacterDataHandler(XML_Parser parser, XML_CharacterDataHandler handler);
ZELBASXMLPARSER_API enum XML_Status xmp_XML_Parse(XML_Parser parser, const char* text, int length,
                                                  int isFinal);
ZELBASXMLPARSER_API enum XML_Error xmp_XML_GetErrorCode(XML_Parser parser);
ZELBASXMLPARSER_API const XML_LChar* xmp_XML_ErrorString(enum XML_Error code);
ZELBASXMLPARSER_API XML_Size xmp_XML_GetCurrentLineNumber(XML_Parser parser);
ZELBASXMLPARSER_API XML_Size xmp_XML_GetCurrentColumnNumber(XML_Parser parser);
ZELBASXMLPARSER_API void xmp_XML_ParserFree(XML_Parser parser);
}
