// The module's layout: one element per line, four more spaces per level,
// attributes in the map's order, nothing escaped; an element with text or
// children gets its text on its start tag's line and its end tag on a line
// of its own, any other closes itself. docs/format.md shows it.
#pragma once

#include "BufferedSink.h"
#include "Indentation.h"
#include "NodeAccess.h"
#include "StartTag.h"

namespace zelbas_detail {

class IndentedLayout {
public:
  IndentedLayout(BufferedSink& output, Indentation& lines) : out(output), indentation(lines) {}

  void Open(const ZELBasXmlNode* node, size_t depth) {
    indentation.Write(out, depth);
    PutStartTag(out, node, [this](const ZELString& value) { out.Put(value); });
    if (SelfClosing(node)) {
      out.Put("/>\n", 3);
      return;
    }
    out.Put(">", 1);
    out.Put(A::Data(node));
    out.Put("\n", 1);
  }

  void Close(const ZELBasXmlNode* node, size_t depth) {
    if (SelfClosing(node)) return;
    indentation.Write(out, depth);
    out.Put("</", 2);
    out.Put(A::TagName(node));
    out.Put(">\n", 2);
  }

private:
  typedef NodeAccess A;

  // Asked twice for a leaf, by Open and then by Close: the second answer
  // is the first one's.
  bool SelfClosing(const ZELBasXmlNode* node) {
    if (A::FirstChild(node) != nullptr) return false;
    if (node != lastLeaf) {
      lastLeaf = node;
      lastLeafSelfClosing = !A::HasText(node);
    }
    return lastLeafSelfClosing;
  }

  BufferedSink& out;
  Indentation& indentation;
  const ZELBasXmlNode* lastLeaf = nullptr;
  bool lastLeafSelfClosing = false;
};

}  // namespace zelbas_detail
