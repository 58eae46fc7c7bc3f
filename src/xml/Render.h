// Rendering a subtree with a layout: the walk in document order, the depth,
// the prefetching, and stopping once the sink has refused. A layout is a
// class with two members, called for every node with its depth below the
// node the rendering starts from (0 for that node):
//
//     void Open(const ZELBasXmlNode* node, size_t depth);   // before its children
//     void Close(const ZELBasXmlNode* node, size_t depth);  // after them
//
// writing through the BufferedSink it was given.
#pragma once

#include "BufferedSink.h"
#include "NodeAccess.h"
#include "RenderPrefetch.h"

namespace zelbas_detail {

template <class Layout>
class RenderWalk {
public:
  RenderWalk(Layout& nodeLayout, const BufferedSink& output) : layout(nodeLayout), out(output) {}

  void Enter(const ZELBasXmlNode* node) {
    ++depth;
    if (out.Failed()) return;  // the rest of the walk renders nothing
    PrefetchAhead(node);
    layout.Open(node, depth);
  }
  void Leave(const ZELBasXmlNode* node) {
    if (!out.Failed()) layout.Close(node, depth);
    --depth;
  }

private:
  Layout& layout;
  const BufferedSink& out;
  size_t depth = 0;
};

// Renders `top` and its subtree into `out`, then flushes it; false once the
// sink has refused.
template <class Layout>
bool Render(const ZELBasXmlNode* top, Layout& layout, BufferedSink& out) {
  layout.Open(top, 0);
  RenderWalk<Layout> walk(layout, out);
  WalkBelow(top, walk);
  if (!out.Failed()) layout.Close(top, 0);
  return out.Flush();
}

// Renders `node` in the layout `options` asks for (ZELBasXmlWellFormed,
// ZELBasXmlKeepLayout or neither), unchecked, into `sink`; E_FAIL once the
// sink has refused.
long RenderTo(const ZELBasXmlNode& node, ZELBasXmlSink sink, void* context, const ZELString& indent,
              unsigned long options);
// Renders `node` in the kept layout, in `style`.
struct KeptStyle;
long RenderKept(const ZELBasXmlNode& node, ZELBasXmlSink sink, void* context, const KeptStyle& style);
// The sink that appends to the ZELString `context` points at.
bool AppendToString(void* context, const char* bytes, size_t length);

}  // namespace zelbas_detail
