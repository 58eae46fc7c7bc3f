// Rendering of a subtree as indented XML text, into the caller's string or
// handed to the caller's sink a buffer at a time. The pieces: BufferedSink
// (the buffer), Indentation (the start of each line), IndentedLayout or
// WellFormedLayout (what is written for each element) and Render (the walk
// that drives a layout).
#include "IndentedLayout.h"
#include "Render.h"
#include "WellFormedLayout.h"

namespace zelbas_detail {

// The sink of Serialize: appends to the caller's string.
bool AppendToString(void* context, const char* bytes, size_t length) {
  ZELString piece;
  piece.BuildFromUTF8(bytes, length);
  static_cast<ZELString*>(context)->Append(piece);
  return true;
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
  if ((options & ZELBasXmlWellFormed) == 0) return SerializeTo(sink, context, indent);
  BufferedSink out(sink, context);
  Indentation indentation(indent);
  WellFormedLayout layout(out, indentation);
  return Render(this, layout, out) ? S_OK : E_FAIL;
}

long ZELBasXmlNode::SerializeTo(ZELBasXmlSink sink, void* context, const ZELString& indent) const {
  BufferedSink out(sink, context);
  Indentation indentation(indent);
  IndentedLayout layout(out, indentation);
  return Render(this, layout, out) ? S_OK : E_FAIL;
}
