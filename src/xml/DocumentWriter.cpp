// Writing: the two header lines and the rendered tree, into a string or a
// file.
#include <climits>
#include <cstdio>
#include <cstring>

#include "Buffer.h"
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
  // Every rendered byte, a NUL inside a text included. An ASCII string
  // counts one character per byte; any other tells its byte count only by
  // copying out, into room that grows until the copy fits.
  const char* bytes = text.CastToCharPtr();
  size_t length = static_cast<size_t>(text.GetLengthInChar());
  char* copy = nullptr;
  if (!text.IsAscii() || length == INT_MAX) {
    for (size_t room = std::strlen(bytes) + 1;; room *= 2) {
      copy = static_cast<char*>(mem_OperatorNewThrowBuiltin(room));
      length = room;
      text.ConvertToUTF8(copy, &length);
      if (length < room) break;
      mem_Free(copy);
    }
    bytes = copy;
  }
  Buffer owner(copy);
  FILE* stream = ZELBasFileOps::Fopen(name, "w");
  if (stream == nullptr) return E_FAIL;
  if (std::fwrite(bytes, 1, length, stream) != length) {
    std::fclose(stream);
    return E_FAIL;
  }
  if (std::fclose(stream) != 0) return E_FAIL;
  return S_OK;
}
