// Rendering of a subtree as indented XML text.
#include "NodeWalk.h"
#include "ZELBasXmlNode.h"

namespace {

typedef ZELBasXmlNodeAccess A;

class Renderer {
public:
  Renderer(ZELString& text, const ZELString& indent)
      : out(text),
        lt("<"),
        space(" "),
        equalsQuote("=\""),
        quote("\""),
        selfClose("/>\n"),
        gt(">"),
        newline("\n"),
        closeOpen("</"),
        closeEnd(">\n"),
        depth(0) {
    prefixes.push_back(indent);
  }

  void Enter(const ZELBasXmlNode* node) {
    ++depth;
    Open(node);
  }

  void Leave(const ZELBasXmlNode* node) {
    Close(node);
    --depth;
  }

  // Start tag, and for an element with text or children its text line.
  void Open(const ZELBasXmlNode* node) {
    out.Append(Prefix());
    out.Append(lt);
    out.Append(A::TagName(node));
    const ZELBasMap<ZELString, ZELString>& attributes = A::Attributes(node);
    for (ZELBasMap<ZELString, ZELString>::const_iterator it = attributes.begin(); it != attributes.end();
         ++it) {
      out.Append(space);
      out.Append(it->first);
      out.Append(equalsQuote);
      out.Append(it->second);
      out.Append(quote);
    }
    if (SelfClosing(node)) {
      out.Append(selfClose);
      return;
    }
    out.Append(gt);
    out.Append(A::Data(node));
    out.Append(newline);
  }

  void Close(const ZELBasXmlNode* node) {
    if (SelfClosing(node)) return;
    out.Append(Prefix());
    out.Append(closeOpen);
    out.Append(A::TagName(node));
    out.Append(closeEnd);
  }

private:
  static bool SelfClosing(const ZELBasXmlNode* node) {
    return A::Data(node).GetLengthInChar() == 0 && A::FirstChild(node) == nullptr;
  }

  // The caller's indentation plus four spaces per level, built once per
  // depth and shared by every line at that depth.
  const ZELString& Prefix() {
    while (prefixes.size() <= depth) prefixes.push_back(prefixes[prefixes.size() - 1] + "    ");
    return prefixes[depth];
  }

  ZELString& out;
  const ZELString lt, space, equalsQuote, quote, selfClose, gt, newline, closeOpen, closeEnd;
  ZELBasVector<ZELString> prefixes;
  size_t depth;
};

}  // namespace

// NOLINTNEXTLINE(performance-unnecessary-value-param): the exported signature takes it by value.
long ZELBasXmlNode::Serialize(ZELString& out, ZELString indent) const {
  Renderer renderer(out, indent);
  renderer.Open(this);
  WalkBelow(this, renderer);
  renderer.Close(this);
  return S_OK;
}
