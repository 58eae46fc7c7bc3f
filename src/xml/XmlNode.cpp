// The node's construction, copying, assignment, destruction and setters.
#include <cassert>
#include <cstddef>
#include <cstring>

#include "Markup.h"
#include "NodeAccess.h"
#include "ZELBasXmlNode.h"

using namespace zelbas_detail;

template class ZELBasVector<ZELBasXmlNode>;
template ZELBASXMLDOCUMENT_API void ZELBasStandardCopy<ZELBasXmlNode>(const void*, void*, size_t);
template ZELBASXMLDOCUMENT_API void ZELBasStandardDestroy<ZELBasXmlNode>(const void*, size_t);

ZELBasXmlNode::ZELBasXmlNode()
    : isRoot(false),
      held(false),
      textEdited(false),
      keptIndex(NodeAccess::kNotKept),
      parent(nullptr),
      markup(nullptr) {}

ZELBasXmlNode::ZELBasXmlNode(const ZELString& name)
    : tagName(name),
      isRoot(false),
      held(false),
      textEdited(false),
      keptIndex(NodeAccess::kNotKept),
      parent(nullptr),
      markup(nullptr) {}

ZELBasXmlNode::ZELBasXmlNode(const ZELBasXmlNode& other, ShallowTag)
    : attributes(other.attributes),
      tagName(other.tagName),
      isRoot(other.isRoot),
      held(false),
      textEdited(other.textEdited),
      keptIndex(other.keptIndex),
      data(other.data),
      parent(other.parent),
      markup(other.markup) {
  Markup::Retain(markup);
}

ZELBasXmlNode::ZELBasXmlNode(const ZELBasXmlNode& other) : ZELBasXmlNode(other, kShallow) {
  // The shallow copy is complete: should filling the children fail, the
  // destructor takes back what was filled.
  if (other.children.size() != 0) CopyDescendants(other);
}

void ZELBasXmlNode::CopyShallow(const void* source, void* destination, size_t count) {
  const ZELBasXmlNode* from = static_cast<const ZELBasXmlNode*>(source);
  ZELBasXmlNode* to = static_cast<ZELBasXmlNode*>(destination);
  for (size_t i = 0; i < count; ++i) new (&to[i], ZELBasPlacementTag) ZELBasXmlNode(from[i], kShallow);
}

// Gives this node, which has no children yet, shallow copies of `other`'s
// children in storage of their exact size, linked to this node.
void ZELBasXmlNode::CopyChildrenShallow(const ZELBasXmlNode& other) {
  ZELBasVectorGeneric copies(ZELBasReplicatorGeneric(static_cast<int>(sizeof(ZELBasXmlNode)), &CopyShallow,
                                                     ZELBasReplicator<ZELBasXmlNode>::GetDestroyFunc()));
  copies.Init(NodeAccess::Engine(other.children));
  NodeAccess::Engine(children).swap(copies);  // each keeps its replicator
  LinkChildren();
}

// Fills the children level by level, walking the copy and `other` in step,
// so that copying takes no C++ frame per level.
void ZELBasXmlNode::CopyDescendants(const ZELBasXmlNode& other) {
  typedef NodeAccess A;
  CopyChildrenShallow(other);
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
    if (source->children.size() != 0) node->CopyChildrenShallow(*source);
  }
}

// Children live in the memory module's blocks, aligned for any basic type.
static_assert(alignof(ZELBasXmlNode) <= alignof(std::max_align_t), "memory module blocks hold nodes");

void ZELBasXmlNode::Relocate(void* source, void* destination, size_t count) {
  assert(source == destination ||
         static_cast<char*>(destination) + count * sizeof(ZELBasXmlNode) <= static_cast<char*>(source) ||
         static_cast<char*>(source) + count * sizeof(ZELBasXmlNode) <= static_cast<char*>(destination));
  if (source != destination) std::memcpy(destination, source, count * sizeof(ZELBasXmlNode));
  ZELBasXmlNode* moved = static_cast<ZELBasXmlNode*>(destination);
  for (size_t i = 0; i < count; ++i) {
    moved[i].attributes.Relocated();
    moved[i].LinkChildren();
  }
}

void ZELBasXmlNode::LinkChildren() {
  for (const ZELBasXmlNode* child = children.begin(); child != children.end(); ++child) {
    ZELBasXmlNode* held = NodeAccess::Mutable(child);
    held->parent = this;
    held->held = true;
  }
}

bool ZELBasXmlNode::IsSelfOrAncestor(const ZELBasXmlNode* node) const {
  // Only the links of held nodes are sure to lead to a live node.
  for (const ZELBasXmlNode* up = this;; up = up->parent) {
    if (up == node) return true;
    if (!up->held || up->parent == nullptr) return false;
  }
}

// Compares `node` with the storage of each children vector below this one:
// no link is followed, so `node` may be any address.
bool ZELBasXmlNode::Contains(const ZELBasXmlNode* node) const {
  if (node == this) return true;
  struct Finder {
    const ZELBasXmlNode* node;
    bool found;
    void Enter(const ZELBasXmlNode* each) { found = found || each == node; }
    void Leave(const ZELBasXmlNode*) {}
  } finder = {node, false};
  WalkBelow(this, finder);
  return finder.found;
}

// NOLINTNEXTLINE(bugprone-unhandled-self-assignment): copies first; `other` may be this node.
ZELBasXmlNode& ZELBasXmlNode::operator=(const ZELBasXmlNode& other) {
  // A held node keeps its place; a link into what is replaced would dangle.
  ZELBasXmlNode* link = held || (other.parent != nullptr && Contains(other.parent)) ? parent : other.parent;
  // The copies are made, and `other` read in full, before the previous
  // children go: `other` may live inside them.
  ZELBasVector<ZELBasXmlNode> copies(other.children);
  attributes = other.attributes;
  tagName = other.tagName;
  isRoot = other.isRoot;
  children.swap(copies);
  LinkChildren();
  data = other.data;
  parent = link;
  // A held node that takes another's place is not the child its parent's
  // kept layout names there.
  keptIndex = held && &other != this ? NodeAccess::kNotKept : other.keptIndex;
  textEdited = other.textEdited;
  Markup::Retain(other.markup);
  Markup::Release(markup);
  markup = other.markup;
  return *this;
}

ZELBasXmlNode::~ZELBasXmlNode() {
  if (children.size() != 0) DestroyDescendants();
  Markup::Release(markup);
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
      node = NodeAccess::Mutable(next);
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

long ZELBasXmlNode::SetData(const ZELString& text) {
  data = text;
  textEdited = true;
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
  if (IsSelfOrAncestor(&child)) {
    // The children about to grow lie inside `child`: a copy is taken
    // first. `child` keeps its link, which to a descendant would be a cycle.
    const ZELBasXmlNode copy(child);  // NOLINT(performance-unnecessary-copy-initialization): see above
    Store(copy);
    return S_OK;
  }
  if (!child.held) child.parent = this;
  Store(child);
  return S_OK;
}

ZELBasXmlNode& ZELBasXmlNode::AppendChild(const ZELBasXmlNode& child) {
  if (IsSelfOrAncestor(&child)) {
    const ZELBasXmlNode copy(child);  // NOLINT(performance-unnecessary-copy-initialization): as in Append
    Store(copy);
  } else {
    Store(child);
  }
  return *NodeAccess::Mutable(children.end() - 1);
}

ZELBasXmlNode& ZELBasXmlNode::AppendChild(const ZELString& tagName) {
  return *NodeAccess::AppendNew(this, tagName);
}

void ZELBasXmlNode::Store(const ZELBasXmlNode& child) {
  // `child` may be one of the children, which move as they grow: the copy
  // is linked where it lands.
  children.push_back(child);
  ZELBasXmlNode* stored = NodeAccess::Mutable(children.end() - 1);
  stored->parent = this;
  stored->held = true;
  stored->keptIndex = NodeAccess::kNotKept;
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
