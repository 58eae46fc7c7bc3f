// The module's access to a node's private parts: reading them for the
// renderer and the search, building in place for the tree builder; and the
// iterative walk over a subtree. Every child links to the node that holds
// it, so a walk climbs back up through those links and needs neither
// recursion nor a stack, whatever the depth.
#pragma once

#include <cassert>

#include "Markup.h"
#include "ZELBasXmlNode.h"

namespace zelbas_detail {

class NodeAccess {
public:
  // The keptIndex of a node that is not a child a kept layout names.
  static const uint32_t kNotKept = UINT32_MAX;

  static const ZELBasXmlNode* FirstChild(const ZELBasXmlNode* node) {
    return node->children.size() != 0 ? node->children.begin() : nullptr;
  }
  // The next sibling of a node held in its parent's children, or null.
  static const ZELBasXmlNode* NextSibling(const ZELBasXmlNode* node) {
    assert(node->parent != nullptr);
    const ZELBasXmlNode* next = node + 1;
    return next != node->parent->children.end() ? next : nullptr;
  }
  static const ZELBasXmlNode* Parent(const ZELBasXmlNode* node) { return node->parent; }
  static const ZELBasXmlNode* ChildrenEnd(const ZELBasXmlNode* node) { return node->children.end(); }
  static ZELBasXmlNode* Mutable(const ZELBasXmlNode* node) { return const_cast<ZELBasXmlNode*>(node); }
  static const ZELString& TagName(const ZELBasXmlNode* node) { return node->tagName; }
  static const ZELString& Data(const ZELBasXmlNode* node) { return node->data; }
  // A text that starts with a byte other than NUL is not empty; only
  // otherwise does its length need counting.
  static bool HasText(const ZELBasXmlNode* node) {
    return node->data.CastToCharPtr()[0] != '\0' || node->data.GetLengthInChar() != 0;
  }
  static const ZELBasMap<ZELString, ZELString>& Attributes(const ZELBasXmlNode* node) {
    return node->attributes;
  }
  static ZELBasMap<ZELString, ZELString>& Attributes(ZELBasXmlNode* node) { return node->attributes; }
  static ZELString& Data(ZELBasXmlNode* node) { return node->data; }

  // The layout a read kept, and the node's place in its parent's.
  static const Markup* MarkupOf(const ZELBasXmlNode* node) { return node->markup; }
  static void SetMarkup(ZELBasXmlNode* node, Markup* markup) {
    Markup::Release(node->markup);
    node->markup = markup;
  }
  static uint32_t KeptIndex(const ZELBasXmlNode* node) { return node->keptIndex; }
  static void SetKeptIndex(ZELBasXmlNode* node, uint32_t index) { node->keptIndex = index; }
  static bool TextEdited(const ZELBasXmlNode* node) { return node->textEdited; }
  static void SetTextEdited(ZELBasXmlNode* node, bool edited) { node->textEdited = edited; }

  // Constructs a child named `tagName` at the end of `parent`'s children and
  // links it there: the same node that appending a copy of a new one gives.
  static ZELBasXmlNode* AppendNew(ZELBasXmlNode* parent, const ZELString& tagName) {
    assert(parent != nullptr);
    void* slot = Engine(parent->children).PushBackUninitialized(&ZELBasXmlNode::Relocate);
    ZELBasXmlNode* child = new (slot, ZELBasPlacementTag) ZELBasXmlNode(tagName);
    child->parent = parent;
    child->held = true;
    return child;
  }

  // Destroys the last child of `parent`, as if it had never been appended.
  static void RemoveLastChild(ZELBasXmlNode* parent) { Engine(parent->children).PopBack(); }

  // Destroys the child at `index`: it moves to the end, by its bytes, the
  // ones after it moving up a place each (relinking their children), and
  // goes from there. No subtree is copied.
  static void RemoveChild(ZELBasXmlNode* parent, size_t index) {
    ZELBasXmlNode* first = Mutable(parent->children.begin());
    size_t last = parent->children.size() - 1;
    assert(index <= last);
    alignas(ZELBasXmlNode) unsigned char aside[sizeof(ZELBasXmlNode)];
    ZELBasXmlNode::Relocate(first + index, aside, 1);
    for (size_t i = index; i < last; ++i) ZELBasXmlNode::Relocate(first + i + 1, first + i, 1);
    ZELBasXmlNode::Relocate(aside, first + last, 1);
    RemoveLastChild(parent);
  }

  // Gives a closed element's children vector just the room it uses:
  // doubling leaves up to half of it unused. Large vectors keep theirs:
  // fitting one takes a second block of its size while the nodes move, and
  // the unused end of a large block is mostly pages never touched. Fitting
  // every vector makes a read of the benchmark's wide file 20% slower and
  // its peak memory 60% higher; any bound from 64 KiB to 8 MiB reads it as
  // fast as this one. Never fails: without a smaller block the vector keeps
  // the one it has.
  static void FitChildren(ZELBasXmlNode* node) {
    ZELBasVectorGeneric& children = Engine(node->children);
    if (children.Capacity() < kFitBelow / sizeof(ZELBasXmlNode)) {
      children.ShrinkToFit(&ZELBasXmlNode::Relocate);
    }
  }
  static const size_t kFitBelow = size_t(1) << 20;  // bytes of children storage

  // The engine under a children vector.
  static ZELBasVectorGeneric& Engine(ZELBasVector<ZELBasXmlNode>& children) {
    return (children.*Storage::Mutable())();
  }
  static const ZELBasVectorGeneric& Engine(const ZELBasVector<ZELBasXmlNode>& children) {
    return (children.*Storage::Const())();
  }

private:
  // Names the vector's protected access to its engine, as a class derived
  // from it may.
  struct Storage : ZELBasVector<ZELBasXmlNode> {
    typedef ZELBasVectorGeneric& (ZELBasVector<ZELBasXmlNode>::*MutableGeneric)();
    typedef const ZELBasVectorGeneric& (ZELBasVector<ZELBasXmlNode>::*ConstGeneric)() const;
    static MutableGeneric Mutable() { return &Storage::Generic; }
    static ConstGeneric Const() { return &Storage::Generic; }
  };
};

// Visits every node below `top` in document order: visitor.Enter(node) before
// the node's children, visitor.Leave(node) after them. `top` itself is not
// visited.
template <class Visitor>
void WalkBelow(const ZELBasXmlNode* top, Visitor& visitor) {
  typedef NodeAccess A;
  const ZELBasXmlNode* node = top;
  for (;;) {
    if (const ZELBasXmlNode* child = A::FirstChild(node)) {
      node = child;
      visitor.Enter(node);
      continue;
    }
    for (;;) {
      if (node == top) return;
      visitor.Leave(node);
      if (const ZELBasXmlNode* next = A::NextSibling(node)) {
        node = next;
        visitor.Enter(node);
        break;
      }
      node = A::Parent(node);
    }
  }
}

}  // namespace zelbas_detail
