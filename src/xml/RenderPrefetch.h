// What the renderer asks the processor for ahead of time. A node's tag name,
// text and attribute tree lie elsewhere in memory, one pointer behind
// another, and in a tree read from a file they are spread over the heap:
// fetched only when the layout reads them, each is a wait on memory.
#pragma once

#include "NodeAccess.h"

namespace zelbas_detail {

// The three steps of the pipeline below, one link each. Everything here is
// inlined by force: GCC takes a function of prefetches alone for one without
// effect and drops the call to it (at -O2, all but two prefetches went).
struct Prefetch {
  typedef NodeAccess A;
  __attribute__((always_inline)) static void Header(const ZELBasXmlNode* node) {
    __builtin_prefetch(A::TagName(node).CastToCharPtr());
    __builtin_prefetch(A::Data(node).CastToCharPtr());
    __builtin_prefetch(A::Attributes(node).end().node);
  }
  __attribute__((always_inline)) static void TreeNode(const ZELBasXmlNode* node) {
    __builtin_prefetch(A::Attributes(node).begin().node);
  }
  __attribute__((always_inline)) static void Value(const ZELBasXmlNode* node) {
    const ZELBasMap<ZELString, ZELString>& attributes = A::Attributes(node);
    ZELBasMap<ZELString, ZELString>::const_iterator first = attributes.begin();
    if (first != attributes.end()) __builtin_prefetch(first->second.CastToCharPtr());
  }
};

// Called as the walk enters `node`: asks for what the next steps will read,
// one link further per step ahead, so that each has arrived when it is
// needed: the tag name, text and attribute tree header of the sibling six
// ahead and of the first six children, the first attribute's tree node of
// the sibling four ahead, and that attribute's value of the sibling two
// ahead. The bytes written are the same without it. What it buys, from
// `zelbas_bench write zel FILE 30` (bench/) on bench/run.sh's corpus, with
// and without, 9 processes of each interleaved, median ms per write: the
// deeply nested file 15.7 against 18.3 without; but the data export 25.5
// against 20.4 and the balanced tree 24.3 against 21.3; the other files
// within the noise. Those trees were freshly read, their nodes and strings
// in allocation order; it was added for trees whose strings are spread
// over the heap.
__attribute__((always_inline)) inline void PrefetchAhead(const ZELBasXmlNode* node) {
  typedef NodeAccess A;
  const ZELBasXmlNode* end = A::ChildrenEnd(A::Parent(node));
  if (node + 2 < end) Prefetch::Value(node + 2);
  if (node + 4 < end) Prefetch::TreeNode(node + 4);
  if (node + 6 < end) Prefetch::Header(node + 6);
  if (const ZELBasXmlNode* child = A::FirstChild(node)) {
    const ZELBasXmlNode* last = A::ChildrenEnd(node);
    for (const ZELBasXmlNode* c = child; c < last && c < child + 6; ++c) Prefetch::Header(c);
  }
}

}  // namespace zelbas_detail
