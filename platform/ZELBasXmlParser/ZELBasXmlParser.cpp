#include "ZELBasXmlParser.h"

ZELBAS_DEFINE_MODULE_PAIR(ZELBasXmlParser)

XML_Parser xmp_XML_ParserCreate(const XML_Char* encoding) { return XML_ParserCreate(encoding); }

void xmp_XML_SetUserData(XML_Parser parser, void* userData) { XML_SetUserData(parser, userData); }

void xmp_XML_SetElementHandler(XML_Parser parser, XML_StartElementHandler start, XML_EndElementHandler end) {
  XML_SetElementHandler(parser, start, end);
}

void xmp_XML_SetCharacterDataHandler(XML_Parser parser, XML_CharacterDataHandler handler) {
  XML_SetCharacterDataHandler(parser, handler);
}

enum XML_Status xmp_XML_Parse(XML_Parser parser, const char* text, int length, int isFinal) {
  return XML_Parse(parser, text, length, isFinal);
}

enum XML_Error xmp_XML_GetErrorCode(XML_Parser parser) { return XML_GetErrorCode(parser); }

const XML_LChar* xmp_XML_ErrorString(enum XML_Error code) { return XML_ErrorString(code); }

XML_Size xmp_XML_GetCurrentLineNumber(XML_Parser parser) { return XML_GetCurrentLineNumber(parser); }

XML_Size xmp_XML_GetCurrentColumnNumber(XML_Parser parser) { return XML_GetCurrentColumnNumber(parser); }

void xmp_XML_ParserFree(XML_Parser parser) { XML_ParserFree(parser); }
