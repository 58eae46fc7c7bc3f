// Rendering of a subtree as indented XML text, handed to a sink a buffer at
// a time.
#include <cstring>

#include "NodeAccess.h"
#include "ZELBasXmlNode.h"

namespace zelbas_detail {

typedef NodeAccess A;

// The sink of Serialize: appends to the caller's string.
bool AppendToString(void* context, const char* bytes, size_t length) {
  ZELString piece;
  piece.BuildFromUTF8(bytes, length);
  static_cast<ZELString*>(context)->Append(piece);
  return true;
}

// Renders into a buffer of its own and hands it to the sink a buffer at a
// time: the bytes the sink receives, in order, are exactly those of each
// piece in turn, with one call per 64 KiB instead of one per piece. Once the
// sink has refused, nothing more is rendered.
class Renderer {
public:
  Renderer(ZELBasXmlSink target, void* targetContext, const ZELString& indent)
      : sink(target),
        context(targetContext),
        prefix(indent),
        buffer(static_cast<char*>(mem_OperatorNewThrowBuiltin(kBuffer))),
        used(0),
        depth(0),
        prefixes(nullptr),
        indentLength(0),
        prefixRoom(0) {}
  Renderer(const Renderer&) = delete;
  Renderer& operator=(const Renderer&) = delete;
  ~Renderer() {
    mem_Free(buffer);
    if (prefixes != nullptr) mem_Free(prefixes);
  }

  void Enter(const ZELBasXmlNode* node) {
    ++depth;
    if (failed) return;  // the rest of the walk renders nothing
    // A node's strings and attribute tree lie elsewhere in memory, one
    // pointer behind another: ask for them a few siblings ahead, one link
    // per step, so that each has arrived when the next step reads it.
    const ZELBasXmlNode* end = A::ChildrenEnd(A::Parent(node));
    if (node + 2 < end) PrefetchValue(node + 2);
    if (node + 4 < end) PrefetchTreeNode(node + 4);
    if (node + 6 < end) PrefetchHeader(node + 6);
    if (const ZELBasXmlNode* child = A::FirstChild(node)) {
      const ZELBasXmlNode* last = A::ChildrenEnd(node);
      for (const ZELBasXmlNode* c = child; c < last && c < child + 6; ++c) PrefetchHeader(c);
    }
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
    if (failed || SelfClosing(node)) return;
    Prefix();
    Put("</", 2);
    Put(A::TagName(node));
    Put(">\n", 2);
  }

  // Hands what is buffered to the sink; false once the sink has refused.
  __attribute__((noinline)) bool Flush() {
    size_t length = used;
    used = 0;
    return Emit(buffer, length);
  }

private:
  static const size_t kBuffer = size_t{64} * 1024;

  static void PrefetchHeader(const ZELBasXmlNode* node) {
    __builtin_prefetch(A::TagName(node).CastToCharPtr());
    __builtin_prefetch(A::Data(node).CastToCharPtr());
    __builtin_prefetch(A::Attributes(node).end().node);
  }

  static void PrefetchTreeNode(const ZELBasXmlNode* node) {
    __builtin_prefetch(A::Attributes(node).begin().node);
  }

  static void PrefetchValue(const ZELBasXmlNode* node) {
    const ZELBasMap<ZELString, ZELString>& attributes = A::Attributes(node);
    ZELBasMap<ZELString, ZELString>::const_iterator first = attributes.begin();
    if (first != attributes.end()) __builtin_prefetch(first->second.CastToCharPtr());
  }

  // Asked for twice for a leaf, at its start and its end, one after the
  // other: the second answer is the first one's.
  bool SelfClosing(const ZELBasXmlNode* node) {
    if (A::FirstChild(node) != nullptr) return false;
    if (node != lastLeaf) {
      lastLeaf = node;
      // A text that starts with a byte other than NUL is not empty; only
      // otherwise does its length need counting.
      const ZELString& data = A::Data(node);
      lastLeafSelfClosing = data.CastToCharPtr()[0] == '\0' && data.GetLengthInChar() == 0;
    }
    return lastLeafSelfClosing;
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
    // It may not have fitted: hand it over whole after what came before.
    PutWhole(text);
  }

  // Out of line: rare, and it would keep Put from being inlined.
  __attribute__((noinline)) void PutWhole(const ZELString& text) {
    if (Flush()) Emit(text.CastToCharPtr(), text.GetLengthInBytes());
  }

  bool Emit(const char* bytes, size_t length) {
    if (failed) return false;
    if (length != 0 && !sink(context, bytes, length)) failed = true;
    return !failed;
  }

  // The caller's indentation plus four spaces per level: one copy from the
  // caller's indentation followed by as many spaces as the deepest level
  // needs, made when a level first needs it.
  void Prefix() {
    size_t length = indentLength + depth * 4;
    if (length > prefixRoom || prefixes == nullptr) {
      GrowPrefixes(length);
      length = indentLength + depth * 4;
    }
    if (length > kBuffer - used) {
      Flush();
      if (length > kBuffer) {
        Emit(prefixes, length);
        return;
      }
    }
    std::memcpy(buffer + used, prefixes, length);
    used += length;
  }

  void GrowPrefixes(size_t length) {
    if (prefixes == nullptr) {
      // The caller's indentation, every byte of it.
      indentLength = prefix.GetLengthInBytes();
      prefixRoom = indentLength + 256;
      prefixes = static_cast<char*>(mem_OperatorNewThrowBuiltin(prefixRoom));
      std::memcpy(prefixes, prefix.CastToCharPtr(), indentLength);
      length = indentLength + depth * 4;
    }
    if (length > prefixRoom) {
      size_t room = length * 2;
      char* bytes = static_cast<char*>(mem_OperatorNewThrowBuiltin(room));
      std::memcpy(bytes, prefixes, indentLength);
      mem_Free(prefixes);
      prefixes = bytes;
      prefixRoom = room;
    }
    std::memset(prefixes + indentLength, ' ', prefixRoom - indentLength);
  }

  ZELBasXmlSink sink;
  void* context;
  const ZELString& prefix;
  char* buffer;
  size_t used;
  size_t depth;
  char* prefixes;  // the caller's indentation, then spaces
  size_t indentLength;
  size_t prefixRoom;
  const ZELBasXmlNode* lastLeaf = nullptr;
  bool lastLeafSelfClosing = false;
  bool failed = false;
};

}  // namespace zelbas_detail

using namespace zelbas_detail;

// NOLINTNEXTLINE(performance-unnecessary-value-param): the exported signature takes it by value.
long ZELBasXmlNode::Serialize(ZELString& out, ZELString indent) const {
  return SerializeTo(&AppendToString, &out, indent);
}

long ZELBasXmlNode::SerializeTo(ZELBasXmlSink sink, void* context, const ZELString& indent) const {
  Renderer renderer(sink, context, indent);
  renderer.Open(this);
  WalkBelow(this, renderer);
  renderer.Close(this);
  return renderer.Flush() ? S_OK : E_FAIL;
}
