// Writing: the two header lines and the rendered tree, into a string or a
// file.
#include <cstdio>
#include <cstring>

#include "ZELBasShared.h"
#include "ZELBasXmlDocument.h"

long ZELBasXmlDocument::Write() {
  if (fileName.GetLengthInChar() < 1) return E_FAIL;
  return WriteFile(fileName);
}

long ZELBasXmlDocument::WriteString(ZELString& out) {
  ZELString text("<?xml version=\"1.0\" encoding=\"utf-8\"?>\n");
  text.Append(ZELString("<!-- Written by ZELBasXmlDocument -->\n"));
  long result = dom.Serialize(text, ZELString());
  if (result != S_OK) return result;
  out = text;
  return S_OK;
}

long ZELBasXmlDocument::WriteFile(const ZELString& name) {
  ZELString text;
  long result = WriteString(text);
  if (result != S_OK) return result;
  if (text.GetLengthInChar() == 0) return E_FAIL;
  FILE* stream = ZELBasFileOps::Fopen(name, "w");
  if (stream == nullptr) return E_FAIL;
  const char* bytes = text.CastToCharPtr();
  size_t length = std::strlen(bytes);
  if (std::fwrite(bytes, 1, length, stream) != length) {
    ZELBasFileOps::Fclose(stream);
    return E_FAIL;
  }
  if (ZELBasFileOps::Fclose(stream) != 0) return E_FAIL;
  return S_OK;
}
