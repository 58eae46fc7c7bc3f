/// @file ZELBasMap.h
/// The ordered map: a thin typed face over a type-erased search tree threaded
/// through a header node, used for the attributes of a node.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "ZELBasVector.h"
#include "ZELString.h"

/// The header that begins every tree node; the value follows it directly.
struct ZELBAS_CLASS ZELBasTreeNodeGeneric {
  int32_t engineData;             ///< Belongs to the tree engine.
  int32_t valueOffset;            ///< Bytes from the node's start to its value.
  ZELBasTreeNodeGeneric* parent;  ///< Parent node; the root's parent is the header.
  ZELBasTreeNodeGeneric* left;    ///< Left child, or null.
  ZELBasTreeNodeGeneric* right;   ///< Right child, or null.
};

/// Where a tree node's value starts and how large the whole node is.
struct ZELBAS_CLASS ZELBasNodeOffsets {
  /// The layout of a node whose header takes `value` bytes and whole node `node` bytes.
  ZELBasNodeOffsets(int value, int node) : valueOffset(value), nodeSize(node) {}
  ~ZELBasNodeOffsets() {}

  int32_t valueOffset;  ///< Size of the node header: where the value starts.
  int32_t nodeSize;     ///< Node header plus value.
};

/// Allocation tag of the tree engine: nodes come from the memory module.
class ZELBAS_CLASS ZELBasNodeAllocator {};

/// True when the value at `a` sorts before the value at `b`.
typedef bool (*ZELBasComparatorFunc)(const void* a, const void* b, const void* context);
/// Constructs, at `value`, the value of rank `index` in a run being built;
/// `context` is what the caller passed along.
typedef void (*ZELBasMakeFunc)(void* value, size_t index, void* context);

template <class Allocator>
class ZELBasTreeGeneric;

template <class K, class V>
class ZELBasMap;

/// The ordered tree engine, compiled once for every value type.
///
/// Values are kept in `comparator` order, keys unique. The header node stands
/// for the end: its `left` is the first node (the header itself when the tree
/// is empty), its `right` the last, its `parent` the root. The header lives
/// inside the tree object, so end() stays where it is for the tree's whole
/// life and an empty tree allocates nothing; a tree moved by its bytes must
/// be mended with Relocated().
template <>
class ZELBAS_CLASS ZELBasTreeGeneric<ZELBasNodeAllocator> {
public:
  /// An empty tree whose nodes are laid out by `offsets`.
  ZELBASGENERICSLIB_API ZELBasTreeGeneric(const ZELBasNodeOffsets& offsets,
                                          const ZELBasReplicatorGeneric& replicator,
                                          const ZELBasComparatorFunc& comparator, const void* context);
  /// Copies of all of `other`'s values, in the same order.
  ZELBASGENERICSLIB_API ZELBasTreeGeneric(const ZELBasTreeGeneric& other);
  /// Holds copies of exactly `other`'s values afterwards, also when `other`
  /// is this tree.
  ZELBASGENERICSLIB_API ZELBasTreeGeneric& operator=(const ZELBasTreeGeneric& other);
  ZELBASGENERICSLIB_API ~ZELBasTreeGeneric();

  /// The first node whose value does not sort before `key`, or the header.
  ZELBASGENERICSLIB_API ZELBasTreeNodeGeneric* LowerBound(const void* key) const;
  /// Links a node holding a copy of `*value` just before `hint` and returns
  /// it. A wrong hint is corrected by a search; a key already present is not
  /// inserted again, and its node is returned.
  ZELBASGENERICSLIB_API ZELBasTreeNodeGeneric* InsertUniqueAtPosition(ZELBasTreeNodeGeneric* hint,
                                                                      const void* value);
  /// Fills this tree, which must be empty, with `count` values made in
  /// place by `make`, rank 0 first: their keys must be unique and ascending.
  /// The nodes come in one block and are linked balanced, without a search
  /// or a rotation. When `make` raises, the values made are destroyed and
  /// the tree stays empty.
  ZELBASGENERICSLIB_API void BuildSorted(size_t count, ZELBasMakeFunc make, void* context);

  /// The first node in order; the header when the tree is empty.
  ZELBasTreeNodeGeneric* Begin() const { return header->left; }
  /// The header, which stands for the position past the last node.
  ZELBasTreeNodeGeneric* End() const { return header; }
  /// The header's link to the first node.
  ZELBasTreeNodeGeneric*& Leftmost() const { return header->left; }

  /// Mends the links that point at the header (the root's parent, or the
  /// empty header's own) after the tree's bytes were copied to a new place
  /// and the old place abandoned without being destroyed.
  void Relocated() {
    header = &headerNode;
    if (headerNode.parent != nullptr) {
      headerNode.parent->parent = header;
    } else {
      headerNode.left = headerNode.right = header;
    }
  }

private:
  template <class K, class V>
  friend class ZELBasMap;

  ZELBasTreeNodeGeneric* NewNode(const void* value);
  void EraseAll(ZELBasTreeNodeGeneric* root);
  void Erase(ZELBasTreeNodeGeneric* node, ZELBasTreeNodeGeneric*& block);
  ZELBasTreeNodeGeneric* CopySubtree(const ZELBasTreeNodeGeneric* source, ZELBasTreeNodeGeneric* parent);
  void* ValueOf(const ZELBasTreeNodeGeneric* node) const {
    return reinterpret_cast<char*>(const_cast<ZELBasTreeNodeGeneric*>(node)) + headerNode.valueOffset;
  }

  // The replicator and the node offsets, kept field by field so that they
  // pack: the header node holds no value, and its valueOffset field keeps
  // the offsets' valueOffset, where the values of the other nodes start.
  int32_t elementSize;               // the replicator's
  int32_t nodeSize;                  // the offsets'
  ZELBasCopyFunc copyFunc;           // the replicator's
  ZELBasDestroyFunc destroyFunc;     // the replicator's
  ZELBasTreeNodeGeneric headerNode;  // owned from construction to destruction
  ZELBasComparatorFunc comparator;
  const void* context;
  ZELBasTreeNodeGeneric* header;  // always &headerNode
};

/// A position in a tree: one node.
class ZELBAS_CLASS ZELBasTreeIteratorGeneric {
public:
  /// An iterator at `at` (null: at no node).
  explicit ZELBasTreeIteratorGeneric(ZELBasTreeNodeGeneric* at = nullptr) : node(at) {}

  /// The value the node holds.
  void* Dereference() const { return reinterpret_cast<char*>(node) + node->valueOffset; }
  /// True when both iterators are at the same node.
  bool Equal(const ZELBasTreeIteratorGeneric* other) const { return node == other->node; }
  /// True when the iterators are at different nodes.
  bool NotEqual(const ZELBasTreeIteratorGeneric* other) const { return node != other->node; }

  /// Moves to the in-order successor; from the last node, to the header.
  void Next() {
    if (node->right != nullptr) {
      node = node->right;
      while (node->left != nullptr) node = node->left;
      return;
    }
    ZELBasTreeNodeGeneric* p = node->parent;
    while (node == p->right) {
      node = p;
      p = p->parent;
    }
    // Ends on the header when the root is the greatest node.
    if (node->right != p) node = p;
  }

  /// The node the iterator is at; the header at the end.
  ZELBasTreeNodeGeneric* node;
};

/// A typed iterator: Ref and Ptr are the value's reference and pointer types.
template <class T, class Ref, class Ptr>
class ZELBAS_CLASS ZELBasTreeIterator : public ZELBasTreeIteratorGeneric {
public:
  /// An iterator at no node.
  ZELBasTreeIterator() {}
  /// An iterator at `at`.
  explicit ZELBasTreeIterator(ZELBasTreeNodeGeneric* at) : ZELBasTreeIteratorGeneric(at) {}
  /// An iterator becomes a const one at the same node; a const one never
  /// becomes an iterator.
  template <class R, class P, class = typename std::enable_if<std::is_convertible<P, Ptr>::value>::type>
  ZELBasTreeIterator(const ZELBasTreeIterator<T, R, P>& other) : ZELBasTreeIteratorGeneric(other.node) {}

  /// The value at this position; not at the end.
  Ref operator*() const { return *static_cast<Ptr>(Dereference()); }
  /// The address of the value at this position; not at the end.
  Ptr operator->() const { return static_cast<Ptr>(Dereference()); }
  /// True at the same node as `other`.
  bool operator==(const ZELBasTreeIteratorGeneric& other) const { return Equal(&other); }
  /// True at a different node from `other`.
  bool operator!=(const ZELBasTreeIteratorGeneric& other) const { return NotEqual(&other); }
  /// Moves to the next value in key order; from the last, to the end.
  ZELBasTreeIterator& operator++() {
    Next();
    return *this;
  }
  /// Moves to the next value and returns the position before the move.
  ZELBasTreeIterator operator++(int) {
    ZELBasTreeIterator before(*this);
    Next();
    return before;
  }
};

/// A key and its value; the key comes first, so a stored pair's address is
/// also its key's.
template <class A, class B>
struct ZELBAS_CLASS ZELBasPair {
  /// Copies of `key` and `value`.
  ZELBasPair(const A& key, const B& value) : first(key), second(value) {}
  /// Copies of `other`'s key and value.
  ZELBasPair(const ZELBasPair& other) : first(other.first), second(other.second) {}
  ZELBasPair& operator=(const ZELBasPair&) = delete;

  /// The key.
  A first;
  /// The value.
  B second;
};

/// `*a < *b` for keys of type K; the context is not read.
template <class K>
bool ZELBasStandardComparitor(const void* a, const void* b, const void* /*context*/) {
  return *static_cast<const K*>(a) < *static_cast<const K*>(b);
}

/// The comparator of keys of type K.
template <class K>
struct ZELBasComparitor {
  /// ZELBasStandardComparitor for K.
  static ZELBasComparatorFunc GetComparitor() { return &ZELBasStandardComparitor<K>; }
};

/// An ordered map with unique keys, walked in ascending key order.
template <class K, class V>
class ZELBAS_CLASS ZELBasMap {
public:
  /// One entry: the key (`first`) and its value (`second`).
  typedef ZELBasPair<const K, V> value_type;
  /// Walks the entries in ascending key order.
  typedef ZELBasTreeIterator<value_type, value_type&, value_type*> iterator;
  /// Walks the entries in ascending key order, for reading.
  typedef ZELBasTreeIterator<value_type, const value_type&, const value_type*> const_iterator;

  /// An empty map. Allocates nothing.
  ZELBasMap()
      : tree(getOffsets(), ZELBasGetReplicator<value_type>(), ZELBasComparitor<K>::GetComparitor(), nullptr) {
  }
  /// Copies of all of `other`'s entries.
  ZELBasMap(const ZELBasMap& other) : tree(other.tree) {}
  /// Holds copies of exactly `other`'s entries afterwards.
  ZELBasMap& operator=(const ZELBasMap& other) {
    tree = other.tree;
    return *this;
  }
  ~ZELBasMap() {}

  /// The value under `key`, inserting an empty one when the key is absent.
  V& operator[](const K& key) {
    ZELBasTreeNodeGeneric* n = tree.LowerBound(&key);
    if (n == tree.End() || tree.comparator(&key, tree.ValueOf(n), tree.context)) {
      V empty;
      value_type entry(key, empty);
      n = tree.InsertUniqueAtPosition(n, &entry);
    }
    return static_cast<value_type*>(tree.ValueOf(n))->second;
  }

  /// The entry under `key`, or end() when there is none. Inserts nothing.
  const_iterator find(const K& key) const {
    ZELBasTreeNodeGeneric* n = tree.LowerBound(&key);
    if (n != tree.End() && tree.comparator(&key, tree.ValueOf(n), tree.context)) n = tree.End();
    return const_iterator(n);
  }

  /// The entry with the smallest key; end() when the map is empty.
  const_iterator begin() const { return const_iterator(tree.Begin()); }
  /// The position past the last entry.
  iterator end() { return iterator(tree.End()); }
  /// The position past the last entry.
  const_iterator end() const { return const_iterator(tree.End()); }
  /// True when the map holds no entry.
  bool empty() const { return tree.Begin() == tree.End(); }

  /// Inserts a copy of `value` just before `hint` (see InsertUniqueAtPosition).
  iterator insert(iterator hint, const value_type& value) {
    return iterator(tree.InsertUniqueAtPosition(hint.node, &value));
  }
  /// Fills this map, which must be empty, with `count` entries made in
  /// place by `make`, keys unique and ascending (see BuildSorted).
  void BuildSorted(size_t count, ZELBasMakeFunc make, void* context) {
    tree.BuildSorted(count, make, context);
  }

  /// Mends the map after its bytes were copied to a new place by a
  /// container that relocates its elements (see ZELBasTreeGeneric).
  void Relocated() { tree.Relocated(); }

private:
  static_assert(sizeof(ZELBasTreeNodeGeneric) % alignof(value_type) == 0,
                "the value follows the node header directly and must be aligned there");

  static ZELBasNodeOffsets getOffsets() {
    return ZELBasNodeOffsets(static_cast<int>(sizeof(ZELBasTreeNodeGeneric)),
                             static_cast<int>(sizeof(ZELBasTreeNodeGeneric) + sizeof(value_type)));
  }

  ZELBasTreeGeneric<ZELBasNodeAllocator> tree;
};

/// One attribute: its name (the key) and its value.
typedef ZELBasPair<const ZELString, ZELString> ZELBasAttributePair;
// The attribute map and its per-type functions are built into this module.
extern template struct ZELBasPair<const ZELString, ZELString>;
extern template class ZELBasMap<ZELString, ZELString>;
extern template ZELBAS_INSTANTIATION void ZELBasStandardCopy<ZELBasAttributePair>(const void*, void*, size_t);
extern template ZELBAS_INSTANTIATION void ZELBasStandardDestroy<ZELBasAttributePair>(const void*, size_t);
extern template ZELBAS_INSTANTIATION bool ZELBasStandardComparitor<ZELString>(const void*, const void*,
                                                                              const void*);
