// Writing: the two header lines and the rendered tree, into a string, a
// file or a sink.
#include <cstdio>
#include <cstring>
#include <string_view>

#include "DocumentAccess.h"
#include "KeptLayout.h"
#include "Render.h"
#include "WellFormedCheck.h"
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

// False when the document asks for the well-formed layout and its tree
// cannot be written so: checked before anything is written.
bool Writable(const ZELBasXmlNode& root, unsigned long options) {
  return (options & (ZELBasXmlWellFormed | ZELBasXmlKeepLayout)) == 0 ||
         WellFormedCheck().Check(&root, nullptr);
}

bool PutString(ZELBasXmlSink sink, void* context, const ZELString& text) {
  std::string_view bytes = text;
  return bytes.empty() || sink(context, bytes.data(), bytes.size());
}

// The document as a read that kept its layout found it: what stood before
// the root, the root, what stood after it.
long WriteKept(const ZELBasXmlDocument& document, ZELBasXmlSink sink, void* context) {
  const ZELString& prolog = DocumentAccess::Prolog(document);
  std::string_view before = prolog;
  KeptStyle style;
  style.lineEnd = DocumentAccess::LineEnd(document);
  style.unit = DocumentAccess::Unit(document);
  size_t line = before.rfind('\n');
  style.indentKnown = before.empty() || line != std::string_view::npos;
  if (line != std::string_view::npos) style.indent = before.substr(line + 1);
  if (!PutString(sink, context, prolog)) return E_FAIL;
  if (RenderKept(document.GetRoot(), sink, context, style) != S_OK) return E_FAIL;
  return PutString(sink, context, DocumentAccess::Epilog(document)) ? S_OK : E_FAIL;
}

}  // namespace zelbas_detail

using namespace zelbas_detail;

long ZELBasXmlDocument::Write() {
  if (fileName.GetLengthInChar() < 1) return E_FAIL;
  return WriteFile(fileName);
}

long ZELBasXmlDocument::WriteString(ZELString& out) {
  ZELString text;
  long result = WriteTo(&AppendToString, &text);
  if (result != S_OK) return result;
  out = text;
  return S_OK;
}

long ZELBasXmlDocument::WriteTo(ZELBasXmlSink sink, void* context) const {
  if (!Writable(dom, options)) return E_FAIL;
  if ((options & ZELBasXmlKeepLayout) != 0 && layoutKept) return WriteKept(*this, sink, context);
  if (!sink(context, kHeader, sizeof kHeader - 1)) return E_FAIL;
  return RenderTo(dom, sink, context, ZELString(), options);
}

long ZELBasXmlDocument::WriteFile(const ZELString& name) {
  // The file is not opened when the tree cannot be written.
  if (!Writable(dom, options)) return E_FAIL;
  // Rendered straight into the file, a buffer at a time: the text is never
  // whole in memory. Until the close, the stream's new file is all it
  // touched: a render that fails or throws discards it.
  ZELBasScopeOwner stream(ZELBasFileOps::Fopen(name, "w"), &Discard);
  if (!stream) return E_FAIL;
  if (WriteTo(&ToStream, stream.Get()) != S_OK) return E_FAIL;
  return ZELBasFileOps::Fclose(stream.Take()) == 0 ? S_OK : E_FAIL;
}
