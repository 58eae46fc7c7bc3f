// The node's construction, copying, assignment, destruction and setters.
#include <cstring>

#include "NodeWalk.h"
#include "ZELBasXmlNode.h"

template class ZELBasVector<ZELBasXmlNode>;
template ZELBASXMLDOCUMENT_API void ZELBasStandardCopy<ZELBasXmlNode>(const void*, void*, size_t);
template ZELBASXMLDOCUMENT_API void ZELBasStandardDestroy<ZELBasXmlNode>(const void*, size_t);

namespace {

// While set, the copy constructor copies a node without its children: the
// outermost copy then fills each level itself, so copying takes no C++
// frame per level.
thread_local bool shallowCopy = false;

class ShallowCopyScope {
public:
  ShallowCopyScope() : previous(shallowCopy) { shallowCopy = true; }
  ~ShallowCopyScope() { shallowCopy = previous; }

private:
  bool previous;
};

}  // namespace

ZELBasXmlNode::ZELBasXmlNode() : isRoot(false), parent(nullptr) {}

ZELBasXmlNode::ZELBasXmlNode(const ZELString& name) : tagName(name), isRoot(false), parent(nullptr) {}

ZELBasXmlNode::ZELBasXmlNode(const ZELBasXmlNode& other)
    : attributes(other.attributes),
      tagName(other.tagName),
      isRoot(other.isRoot),
      data(other.data),
      parent(other.parent) {
  if (!shallowCopy && other.children.size() != 0) CopyDescendants(other);
}

// Fills the children level by level, walking the copy and `other` in step.
// Each vector is sized once by assignment, whose element copies are shallow
// here; their own children are filled when the walk reaches them.
void ZELBasXmlNode::CopyDescendants(const ZELBasXmlNode& other) {
  typedef ZELBasXmlNodeAccess A;
  ShallowCopyScope scope;
  children = other.children;
  LinkChildren();
  ZELBasXmlNode* node = this;
  const ZELBasXmlNode* source = &other;
  for (;;) {
    if (node->children.size() != 0) {
      node = A::Mutable(node->children.begin());
      source = source->children.begin();
    } else {
      for (;;) {
        if (node == this) return;
        if (A::NextSibling(node) != nullptr) {
          ++node;
          ++source;
          break;
        }
        node = node->parent;
        source = source->parent;
      }
    }
    if (source->children.size() != 0) {
      node->children = source->children;
      node->LinkChildren();
    }
  }
}

void ZELBasXmlNode::Relocate(void* source, void* destination, size_t count) {
  if (source != destination) std::memcpy(destination, source, count * sizeof(ZELBasXmlNode));
  ZELBasXmlNode* moved = static_cast<ZELBasXmlNode*>(destination);
  for (size_t i = 0; i < count; ++i) {
    moved[i].attributes.Relocated();
    moved[i].LinkChildren();
  }
}

void ZELBasXmlNode::LinkChildren() {
  for (const ZELBasXmlNode* child = children.begin(); child != children.end(); ++child) {
    ZELBasXmlNodeAccess::Mutable(child)->parent = this;
  }
}

// NOLINTNEXTLINE(bugprone-unhandled-self-assignment): copies first; `other` may be this node.
ZELBasXmlNode& ZELBasXmlNode::operator=(const ZELBasXmlNode& other) {
  // The copies are made, and `other` read in full, before the previous
  // children go: `other` may live inside them.
  ZELBasVector<ZELBasXmlNode> copies(other.children);
  attributes = other.attributes;
  tagName = other.tagName;
  isRoot = other.isRoot;
  children.swap(copies);
  LinkChildren();
  data = other.data;
  parent = other.parent;
  return *this;
}

ZELBasXmlNode::~ZELBasXmlNode() {
  parent = nullptr;
  if (children.size() != 0) DestroyDescendants();
}

// Destroys the subtree bottom-up so that every destructor it runs is for a
// node whose children are already gone: no recursion, whatever the depth.
void ZELBasXmlNode::DestroyDescendants() {
  ZELBasXmlNode* node = this;
  const ZELBasXmlNode* next = children.begin();
  for (;;) {
    const ZELBasXmlNode* end = node->children.end();
    while (next != end && next->children.size() == 0) ++next;
    if (next != end) {
      node = ZELBasXmlNodeAccess::Mutable(next);
      next = node->children.begin();
      continue;
    }
    if (node == this) return;  // only leaves left: the members' destructors finish
    ZELBasXmlNode* up = node->parent;
    {
      ZELBasVector<ZELBasXmlNode> leaves;
      leaves.swap(node->children);
    }
    next = node + 1;
    node = up;
  }
}

long ZELBasXmlNode::SetTagName(const ZELString& name) {
  tagName = name;
  return S_OK;
}

long ZELBasXmlNode::SetRoot() {
  isRoot = true;
  return S_OK;
}

long ZELBasXmlNode::InsertAttribute(const ZELString& name, const ZELString& value) {
  attributes[name] = value;
  return S_OK;
}

long ZELBasXmlNode::Append(ZELBasXmlNode& child) {
  child.parent = this;
  children.push_back(child);
  return S_OK;
}

long ZELBasXmlNode::GetParent(ZELBasXmlNode& out) const {
  if (isRoot || parent == nullptr) return E_FAIL;
  out = *parent;
  return S_OK;
}

long ZELBasXmlNode::GetAttribute(const ZELString& name, ZELString& value) const {
  ZELBasMap<ZELString, ZELString>::const_iterator it = attributes.find(name);
  if (it == attributes.end()) return E_FAIL;
  value = it->second;
  return S_OK;
}
