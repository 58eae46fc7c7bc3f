// Changing a node in place: its children by index or tag name, and the
// removal of children or an attribute.
#include <cassert>

#include "NodeAccess.h"
#include "ZELBasXmlNode.h"

using namespace zelbas_detail;

ZELBasXmlNode& ZELBasXmlNode::ChildAt(size_t index) {
  assert(index < children.size());
  return *NodeAccess::Mutable(children.begin() + index);
}

const ZELBasXmlNode& ZELBasXmlNode::ChildAt(size_t index) const {
  assert(index < children.size());
  return children[index];
}

ZELBasXmlNode* ZELBasXmlNode::FirstChild(const ZELString& name) {
  return NodeAccess::Mutable(static_cast<const ZELBasXmlNode*>(this)->FirstChild(name));
}

const ZELBasXmlNode* ZELBasXmlNode::FirstChild(const ZELString& name) const {
  for (const ZELBasXmlNode* child = children.begin(); child != children.end(); ++child) {
    if (child->tagName == name) return child;
  }
  return nullptr;
}

long ZELBasXmlNode::RemoveChild(size_t index) {
  if (index >= children.size()) return E_FAIL;
  NodeAccess::RemoveChild(this, index);
  return S_OK;
}

size_t ZELBasXmlNode::RemoveChildren(const ZELString& name) {
  // One pass: each child kept moves up over those removed, by its bytes,
  // and the removed ones gather at the end, to go from there.
  ZELBasXmlNode* first = NodeAccess::Mutable(children.begin());
  const size_t count = children.size();
  size_t kept = 0;
  for (size_t i = 0; i < count; ++i) {
    if (first[i].tagName == name) continue;
    if (i != kept) {
      alignas(ZELBasXmlNode) unsigned char aside[sizeof(ZELBasXmlNode)];
      Relocate(first + kept, aside, 1);
      Relocate(first + i, first + kept, 1);
      Relocate(aside, first + i, 1);
    }
    ++kept;
  }
  for (size_t i = kept; i < count; ++i) NodeAccess::RemoveLastChild(this);
  return count - kept;
}

long ZELBasXmlNode::RemoveAttribute(const ZELString& name) {
  typedef ZELBasMap<ZELString, ZELString> Map;
  Map::const_iterator gone = attributes.find(name);
  if (gone == attributes.end()) return E_FAIL;
  // The map has no erase: the others, already in order, make a new one.
  Map kept;
  for (Map::const_iterator it = attributes.begin(); it != attributes.end(); ++it) {
    if (it != gone) kept.insert(kept.end(), *it);
  }
  attributes = kept;
  return S_OK;
}
