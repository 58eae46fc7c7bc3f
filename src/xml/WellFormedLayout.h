// The well-formed layout: what reads back as the same tree. Text and
// attribute values are escaped. An element with text is written on one
// line with its whole subtree, nothing added inside it (a reader would take
// added white space for text); an element without text keeps the indented
// layout, whose white space between tags the whole-text read leaves out.
// docs/format.md shows it.
#pragma once

#include <string_view>

#include "BufferedSink.h"
#include "Escaping.h"
#include "Indentation.h"
#include "NodeAccess.h"
#include "StartTag.h"

namespace zelbas_detail {

class WellFormedLayout {
public:
  WellFormedLayout(BufferedSink& output, Indentation& lines) : out(output), indentation(lines) {}

  // For a subtree written inside a kept layout: lines end with `lines`, and
  // `top` is written where the kept layout stands, with neither
  // indentation before it nor a line end after it; with `inline_`, the
  // whole subtree on that line.
  void Nest(const ZELBasXmlNode* top, std::string_view lines, bool inline_) {
    bare = top;
    lineEnd = lines;
    oneLine = inline_ ? top : nullptr;
  }

  void Open(const ZELBasXmlNode* node, size_t depth) {
    bool inline_ = oneLine != nullptr;
    if (!inline_ && node != bare) indentation.Write(out, depth);
    PutStartTag(out, node, [this](const ZELString& value) { PutEscaped<ValueEntity>(out, value); });
    bool text = A::HasText(node);
    bool children = A::FirstChild(node) != nullptr;
    if (!text && !children) {
      out.Put("/>", 2);
      EndLine(inline_ || node == bare);
      return;
    }
    out.Put(">", 1);
    if (!text) {
      EndLine(inline_);
      return;
    }
    PutEscaped<TextEntity>(out, A::Data(node));
    if (!children) {
      PutEnd(node);
      EndLine(inline_ || node == bare);
    } else if (!inline_) {
      oneLine = node;
    }
  }

  void Close(const ZELBasXmlNode* node, size_t depth) {
    if (A::FirstChild(node) == nullptr) return;  // closed by Open
    bool inline_ = oneLine != nullptr;
    if (!inline_) indentation.Write(out, depth);
    PutEnd(node);
    if (node == oneLine) oneLine = nullptr;
    EndLine(oneLine != nullptr || node == bare);
  }

private:
  typedef NodeAccess A;

  void PutEnd(const ZELBasXmlNode* node) {
    out.Put("</", 2);
    out.Put(A::TagName(node));
    out.Put(">", 1);
  }
  void EndLine(bool inline_) {
    if (!inline_) out.Put(lineEnd.data(), lineEnd.size());
  }

  BufferedSink& out;
  Indentation& indentation;
  const ZELBasXmlNode* oneLine = nullptr;  // the element with text being written on one line
  const ZELBasXmlNode* bare = nullptr;     // written without indentation or line end around it
  std::string_view lineEnd = "\n";
};

}  // namespace zelbas_detail
