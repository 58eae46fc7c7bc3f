// Writing: the two header lines and the rendered tree, into a string, a
// file or a sink.
#include <cstdio>
#include <cstring>

#include "ZELBasScopeOwner.h"
#include "ZELBasShared.h"
#include "ZELBasXmlDocument.h"

namespace zelbas_detail {

const char kHeader[] =
    "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
    "<!-- Written by ZELBasXmlDocument -->\n";

// Hands the rendered pieces to the file's stream as they come.
bool ToStream(void* stream, const char* bytes, size_t length) {
  return std::fwrite(bytes, 1, length, static_cast<FILE*>(stream)) == length;
}

void Discard(FILE* stream) { ZELBasFileOps::Fdiscard(stream); }

}  // namespace zelbas_detail

using namespace zelbas_detail;

long ZELBasXmlDocument::Write() {
  if (fileName.GetLengthInChar() < 1) return E_FAIL;
  return WriteFile(fileName);
}

long ZELBasXmlDocument::WriteString(ZELString& out) {
  ZELString text(kHeader);
  long result = dom.Serialize(text, ZELString(), options);
  if (result != S_OK) return result;
  out = text;
  return S_OK;
}

long ZELBasXmlDocument::WriteTo(ZELBasXmlSink sink, void* context) const {
  if (!sink(context, kHeader, sizeof kHeader - 1)) return E_FAIL;
  return dom.SerializeTo(sink, context, ZELString(), options);
}

long ZELBasXmlDocument::WriteFile(const ZELString& name) {
  // Rendered straight into the file, a buffer at a time: the text is never
  // whole in memory. Until the close, the stream's new file is all it
  // touched: a render that fails or throws discards it.
  ZELBasScopeOwner stream(ZELBasFileOps::Fopen(name, "w"), &Discard);
  if (!stream) return E_FAIL;
  if (WriteTo(&ToStream, stream.Get()) != S_OK) return E_FAIL;
  return ZELBasFileOps::Fclose(stream.Take()) == 0 ? S_OK : E_FAIL;
}
