// Rendering of a subtree as indented XML text, into the caller's string or
// handed to the caller's sink a buffer at a time. The pieces: BufferedSink
// (the buffer), Indentation (the start of each line), IndentedLayout or
// WellFormedLayout (what is written for each element) and Render (the walk
// that drives a layout).
#include <string>

#include "IndentedLayout.h"
#include "KeptLayout.h"
#include "Render.h"
#include "WellFormedCheck.h"
#include "WellFormedLayout.h"

namespace zelbas_detail {

// The sink of Serialize: appends to the caller's string.
bool AppendToString(void* context, const char* bytes, size_t length) {
  ZELString piece;
  piece.BuildFromUTF8(bytes, length);
  static_cast<ZELString*>(context)->Append(piece);
  return true;
}

long RenderKept(const ZELBasXmlNode& node, ZELBasXmlSink sink, void* context, const KeptStyle& style) {
  BufferedSink out(sink, context);
  KeptLayout layout(out, style);
  return Render(&node, layout, out) ? S_OK : E_FAIL;
}

long RenderTo(const ZELBasXmlNode& node, ZELBasXmlSink sink, void* context, const ZELString& indent,
              unsigned long options) {
  if ((options & ZELBasXmlKeepLayout) != 0 && NodeAccess::MarkupOf(&node) != nullptr) {
    KeptStyle style;
    style.indent = indent;
    style.putIndent = true;
    return RenderKept(node, sink, context, style);
  }
  BufferedSink out(sink, context);
  Indentation indentation(indent);
  if ((options & (ZELBasXmlWellFormed | ZELBasXmlKeepLayout)) != 0) {
    WellFormedLayout layout(out, indentation);
    return Render(&node, layout, out) ? S_OK : E_FAIL;
  }
  IndentedLayout layout(out, indentation);
  return Render(&node, layout, out) ? S_OK : E_FAIL;
}

}  // namespace zelbas_detail

using namespace zelbas_detail;

// NOLINTNEXTLINE(performance-unnecessary-value-param): the exported signature takes it by value.
long ZELBasXmlNode::Serialize(ZELString& out, ZELString indent) const {
  return SerializeTo(&AppendToString, &out, indent);
}

// NOLINTNEXTLINE(performance-unnecessary-value-param): as the one above.
long ZELBasXmlNode::Serialize(ZELString& out, ZELString indent, unsigned long options) const {
  return SerializeTo(&AppendToString, &out, indent, options);
}

long ZELBasXmlNode::SerializeTo(ZELBasXmlSink sink, void* context, const ZELString& indent,
                                unsigned long options) const {
  // Refused before the first byte, so that nothing is written.
  if ((options & (ZELBasXmlWellFormed | ZELBasXmlKeepLayout)) != 0 &&
      !WellFormedCheck().Check(this, nullptr)) {
    return E_FAIL;
  }
  return RenderTo(*this, sink, context, indent, options);
}

long ZELBasXmlNode::SerializeTo(ZELBasXmlSink sink, void* context, const ZELString& indent) const {
  return RenderTo(*this, sink, context, indent, 0);
}

long ZELBasXmlNode::CheckWritable(ZELString& problem) const {
  std::string found;
  if (WellFormedCheck().Check(this, &found)) return S_OK;
  problem.BuildFromUTF8(found.data(), found.size());
  return E_FAIL;
}
