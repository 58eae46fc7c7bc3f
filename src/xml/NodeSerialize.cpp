// Rendering of a subtree as indented XML text.
#include <cstring>

#include "NodeWalk.h"
#include "ZELBasXmlNode.h"

namespace {

typedef ZELBasXmlNodeAccess A;

const char kSpaces[] = "                                                                ";  // 64

// Renders into a buffer of its own and appends it to `out` a buffer at a
// time: the bytes `out` receives, in order, are exactly those of appending
// each piece in turn, with one append per 64 KiB instead of one per piece.
class Renderer {
public:
  Renderer(ZELString& text, const ZELString& indent)
      : out(text),
        prefix(indent),
        buffer(static_cast<char*>(mem_OperatorNewThrowBuiltin(kBuffer))),
        used(0),
        depth(0) {}
  Renderer(const Renderer&) = delete;
  Renderer& operator=(const Renderer&) = delete;
  ~Renderer() { mem_Free(buffer); }

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
    Prefix();
    Put("<", 1);
    Put(A::TagName(node));
    const ZELBasMap<ZELString, ZELString>& attributes = A::Attributes(node);
    for (ZELBasMap<ZELString, ZELString>::const_iterator it = attributes.begin(); it != attributes.end();
         ++it) {
      Put(" ", 1);
      Put(it->first);
      Put("=\"", 2);
      Put(it->second);
      Put("\"", 1);
    }
    if (SelfClosing(node)) {
      Put("/>\n", 3);
      return;
    }
    Put(">", 1);
    Put(A::Data(node));
    Put("\n", 1);
  }

  void Close(const ZELBasXmlNode* node) {
    if (SelfClosing(node)) return;
    Prefix();
    Put("</", 2);
    Put(A::TagName(node));
    Put(">\n", 2);
  }

  // Hands what is buffered to `out`.
  void Flush() {
    if (used == 0) return;
    ZELString piece;
    piece.BuildFromUTF8(buffer, used);
    used = 0;
    out.Append(piece);
  }

private:
  static const size_t kBuffer = 64 * 1024;

  static bool SelfClosing(const ZELBasXmlNode* node) {
    return A::FirstChild(node) == nullptr && A::Data(node).GetLengthInChar() == 0;
  }

  void Put(const char* bytes, size_t length) {
    if (length > kBuffer - used) Flush();
    std::memcpy(buffer + used, bytes, length);
    used += length;
  }

  // A string's bytes, every one of them (a NUL inside included).
  void Put(const ZELString& text) {
    size_t room = kBuffer - used;
    size_t length = room;
    text.ConvertToUTF8(buffer + used, &length);
    if (length < room) {
      used += length;
      return;
    }
    // It may not have fitted: append it whole after what came before.
    Flush();
    out.Append(text);
  }

  // The caller's indentation plus four spaces per level.
  void Prefix() {
    Put(prefix);
    for (size_t spaces = depth * 4; spaces != 0;) {
      size_t n = spaces < sizeof kSpaces - 1 ? spaces : sizeof kSpaces - 1;
      Put(kSpaces, n);
      spaces -= n;
    }
  }

  ZELString& out;
  const ZELString& prefix;
  char* buffer;
  size_t used;
  size_t depth;
};

}  // namespace

long ZELBasXmlNode::Serialize(ZELString& out, ZELString indent) const {
  Renderer renderer(out, indent);
  renderer.Open(this);
  WalkBelow(this, renderer);
  renderer.Close(this);
  renderer.Flush();
  return S_OK;
}
