// The ordered tree engine: a red-black tree threaded through a header node.
#include <cassert>
#include <cstddef>
#include <cstdint>
#include <new>
#include <utility>

#include "ZELBasCheckedMath.h"
#include "ZELBasMap.h"
#include "ZELBasScopeOwner.h"

namespace zelgenerics_detail {

typedef ZELBasTreeNodeGeneric Node;
typedef ZELBasTreeGeneric<ZELBasNodeAllocator> Tree;

// The engine's 32 bits come first, then the value's offset, then the links.
static_assert(offsetof(Node, engineData) == 0 && offsetof(Node, valueOffset) == 4 &&
                  offsetof(Node, parent) == 8 && sizeof(Node) == 8 + 3 * sizeof(Node*),
              "the node header layout every map relies on");

// engineData holds the colour in its lowest bit; the header is red. A node
// made by BuildSorted shares one block with the rest of its run: it is
// marked kInBlock, and the run's first node, where the block starts, also
// kBlockStart. A tree's nodes are only ever freed all together, so the
// block goes once the walk that frees them is over.
const int32_t kRed = 0;
const int32_t kBlack = 1;
const int32_t kColour = 1;
const int32_t kInBlock = 2;
const int32_t kBlockStart = 4;

inline bool IsRed(const Node* node) { return (node->engineData & kColour) == kRed; }
inline void Paint(Node* node, int32_t colour) { node->engineData = (node->engineData & ~kColour) | colour; }

Node* Minimum(Node* node) {
  while (node->left != nullptr) node = node->left;
  return node;
}

Node* Maximum(Node* node) {
  while (node->right != nullptr) node = node->right;
  return node;
}

// In-order predecessor of a node that is not the first.
Node* Predecessor(Node* node, Node* header) {
  if (node == header) return header->right;
  if (node->left != nullptr) return Maximum(node->left);
  Node* p = node->parent;
  while (node == p->left) {
    node = p;
    p = p->parent;
  }
  return p;
}

// A link of a node: left or right. The rotations and the rebalancing are
// written once for one side; the other side swaps the two links.
typedef Node* Node::*Link;

// Lifts x's `out` child into x's place; x becomes that child's `in` child.
void Rotate(Node* x, Node*& root, Link in, Link out) {
  Node* y = x->*out;
  assert(y != nullptr);
  if (y == nullptr) __builtin_unreachable();  // the rebalancing rotates only towards a child
  x->*out = y->*in;
  if (y->*in != nullptr) (y->*in)->parent = x;
  y->parent = x->parent;
  if (x == root) {
    root = y;
  } else if (x == x->parent->*in) {
    x->parent->*in = y;
  } else {
    x->parent->*out = y;
  }
  y->*in = x;
  x->parent = y;
}

// Links `x` as the left or right child of `p` and restores the colours.
void InsertAndRebalance(bool insertLeft, Node* x, Node* p, Node* header) {
  x->parent = p;
  x->left = x->right = nullptr;
  Paint(x, kRed);
  if (insertLeft) {
    p->left = x;  // for p == header this also sets the leftmost
    if (p == header) {
      header->parent = x;
      header->right = x;
    } else if (p == header->left) {
      header->left = x;
    }
  } else {
    p->right = x;
    if (p == header->right) header->right = x;
  }
  Node*& root = header->parent;
  while (x != root && IsRed(x->parent)) {
    Node* grand = x->parent->parent;
    // `near` is the side of the grandparent that holds x's parent.
    Link near = x->parent == grand->left ? &Node::left : &Node::right;
    Link far = near == &Node::left ? &Node::right : &Node::left;
    Node* uncle = grand->*far;
    if (uncle != nullptr && IsRed(uncle)) {
      Paint(x->parent, kBlack);
      Paint(uncle, kBlack);
      Paint(grand, kRed);
      x = grand;
    } else {
      if (x == x->parent->*far) {
        x = x->parent;
        Rotate(x, root, near, far);
      }
      Paint(x->parent, kBlack);
      Paint(grand, kRed);
      Rotate(grand, root, far, near);
    }
  }
  Paint(root, kBlack);
}

// Links the nodes of ranks [first, last) of a run, `size` bytes apart from
// `base`, as a balanced subtree under `parent`, and returns its root. Every
// level but the deepest is full, so the deepest one alone is painted red
// (never the root): all paths then pass the same number of black nodes.
// Recursion depth is the logarithm of the run's length.
Node* LinkRun(char* base, size_t size, size_t first, size_t last, Node* parent, int depth, int redDepth) {
  if (first == last) return nullptr;
  size_t middle = first + (last - first) / 2;
  Node* node = reinterpret_cast<Node*>(base + middle * size);
  node->engineData = (depth == redDepth ? kRed : kBlack) | kInBlock | (middle == 0 ? kBlockStart : 0);
  node->parent = parent;
  node->left = LinkRun(base, size, first, middle, node, depth + 1, redDepth);
  node->right = LinkRun(base, size, middle + 1, last, node, depth + 1, redDepth);
  return node;
}

}  // namespace zelgenerics_detail

using namespace zelgenerics_detail;

Tree::ZELBasTreeGeneric(const ZELBasNodeOffsets& nodeOffsets, const ZELBasReplicatorGeneric& valueType,
                        const ZELBasComparatorFunc& less, const void* lessContext)
    : elementSize(valueType.elementSize),
      nodeSize(nodeOffsets.nodeSize),
      copyFunc(valueType.copyFunc),
      destroyFunc(valueType.destroyFunc),
      headerNode{kRed, nodeOffsets.valueOffset, nullptr, &headerNode, &headerNode},
      comparator(less),
      context(lessContext),
      header(&headerNode) {}

Tree::ZELBasTreeGeneric(const Tree& other)
    : elementSize(other.elementSize),
      nodeSize(other.nodeSize),
      copyFunc(other.copyFunc),
      destroyFunc(other.destroyFunc),
      headerNode{kRed, other.headerNode.valueOffset, nullptr, &headerNode, &headerNode},
      comparator(other.comparator),
      context(other.context),
      header(&headerNode) {
  const Node* root = other.header->parent;
  if (root == nullptr) return;
  Node* copy = CopySubtree(root, header);
  header->parent = copy;
  header->left = Minimum(copy);
  header->right = Maximum(copy);
}

Tree& Tree::operator=(const Tree& other) {
  // Copy first, then exchange the nodes: correct for self-assignment, and a
  // failed copy leaves this tree as it was. Each tree keeps its own header.
  Tree copy(other);
  std::swap(headerNode.parent, copy.headerNode.parent);
  std::swap(headerNode.left, copy.headerNode.left);
  std::swap(headerNode.right, copy.headerNode.right);
  Relocated();
  copy.Relocated();
  elementSize = other.elementSize;
  nodeSize = other.nodeSize;
  copyFunc = other.copyFunc;
  destroyFunc = other.destroyFunc;
  headerNode.valueOffset = other.headerNode.valueOffset;
  comparator = other.comparator;
  context = other.context;
  return *this;
}

Tree::~ZELBasTreeGeneric() { EraseAll(header->parent); }

Node* Tree::LowerBound(const void* key) const {
  Node* result = header;
  Node* x = header->parent;
  while (x != nullptr) {
    if (!comparator(ValueOf(x), key, context)) {
      result = x;
      x = x->left;
    } else {
      x = x->right;
    }
  }
  return result;
}

Node* Tree::InsertUniqueAtPosition(Node* hint, const void* value) {
  bool empty = header->parent == nullptr;
  // The hint is right when the value sorts before it and after its predecessor.
  bool right =
      (hint == header || comparator(value, ValueOf(hint), context)) &&
      (hint == header->left || empty || comparator(ValueOf(Predecessor(hint, header)), value, context));
  if (!right) {
    hint = LowerBound(value);
    if (hint != header && !comparator(value, ValueOf(hint), context)) return hint;  // already present
  }
  Node* node = NewNode(value);
  if (empty) {
    InsertAndRebalance(true, node, header, header);
  } else if (hint == header) {
    InsertAndRebalance(false, node, header->right, header);
  } else if (hint->left == nullptr) {
    InsertAndRebalance(true, node, hint, header);
  } else {
    InsertAndRebalance(false, node, Maximum(hint->left), header);
  }
  return node;
}

void Tree::BuildSorted(size_t count, ZELBasMakeFunc make, void* makeContext) {
  assert(header->parent == nullptr);
  if (count == 0) return;
  size_t size = static_cast<size_t>(nodeSize);
  size_t made = 0;
  auto destroyMade = [this, &made, size](char* run) {
    for (size_t i = 0; i < made; ++i) destroyFunc(ValueOf(reinterpret_cast<Node*>(run + i * size)), 1);
    mem_Free(run);
  };
  ZELBasScopeOwner<char*, decltype(destroyMade)> owner(
      static_cast<char*>(mem_OperatorNewThrowBuiltin(ZELBasCheckedMultiply(count, size))), destroyMade);
  char* block = owner.Get();
  for (; made < count; ++made) {
    Node* node = reinterpret_cast<Node*>(block + made * size);
    make(ValueOf(node), made, makeContext);
    node->valueOffset = headerNode.valueOffset;
  }
  owner.Take();
  Node* root = reinterpret_cast<Node*>(block);
  if (count == 1) {
    // Most elements that have attributes have one.
    root->engineData = kBlack | kInBlock | kBlockStart;
    root->parent = header;
    root->left = root->right = nullptr;
  } else {
    int deepest = 0;
    while ((size_t(2) << deepest) <= count) ++deepest;
    root = LinkRun(block, size, 0, count, header, 0, deepest);
  }
  header->parent = root;
  header->left = reinterpret_cast<Node*>(block);
  header->right = reinterpret_cast<Node*>(block + (count - 1) * size);
}

Node* Tree::NewNode(const void* value) {
  ZELBasScopeOwner<Node*, void (*)(void*)> owner(
      static_cast<Node*>(mem_OperatorNewThrowBuiltin(static_cast<size_t>(nodeSize))), &mem_Free);
  Node* node = owner.Get();
  copyFunc(value, ValueOf(node), 1);
  owner.Take();
  node->valueOffset = headerNode.valueOffset;
  node->parent = node->left = node->right = nullptr;
  node->engineData = kRed;
  return node;
}

void Tree::EraseAll(Node* root) {
  Node* block = nullptr;
  Erase(root, block);
  if (block != nullptr) mem_Free(block);
}

// Recursion follows right children only and loops down the left ones; the
// depth is bounded by the tree's height. The nodes of a run are left in
// their block, whose start is handed back in `block`.
void Tree::Erase(Node* node, Node*& block) {
  while (node != nullptr) {
    Erase(node->right, block);
    Node* left = node->left;
    destroyFunc(ValueOf(node), 1);
    if ((node->engineData & kInBlock) == 0) {
      mem_Free(node);
    } else if ((node->engineData & kBlockStart) != 0) {
      block = node;
    }
    node = left;
  }
}

Node* Tree::CopySubtree(const Node* source, Node* parent) {
  Node* top = NewNode(ValueOf(source));
  top->engineData = source->engineData & kColour;
  top->parent = parent;
  auto erase = [this](Node* copied) { EraseAll(copied); };
  ZELBasScopeOwner<Node*, decltype(erase)> owner(top, erase);
  if (source->right != nullptr) top->right = CopySubtree(source->right, top);
  Node* p = top;
  for (const Node* x = source->left; x != nullptr; x = x->left) {
    Node* y = NewNode(ValueOf(x));
    y->engineData = x->engineData & kColour;
    p->left = y;
    y->parent = p;
    if (x->right != nullptr) y->right = CopySubtree(x->right, y);
    p = y;
  }
  return owner.Take();
}
