/// @file ZELBasVector.h
/// Replicators (how a type-erased engine copies and destroys elements) and the
/// vector: contiguous elements held by value over one compiled engine.
#pragma once

#include <cassert>
#include <cstddef>
#include <cstdint>

#include "ZELBasAlloc.h"
#include "ZELBasGenericsLib.h"
#include "ZELString.h"

/// Tag of the placement form that constructs elements in engine storage.
enum ZELBasPlacement { ZELBasPlacementTag };

/// Constructs an element at `where`, in storage the engine already holds.
inline void* operator new(size_t, void* where, ZELBasPlacement) { return where; }
/// Pairs with the placement form above; frees nothing.
inline void operator delete(void*, void*, ZELBasPlacement) {}

/// Copy-constructs `count` elements at `destination` from those at `source`.
typedef void (*ZELBasCopyFunc)(const void* source, void* destination, size_t count);
/// Destroys `count` elements in place.
typedef void (*ZELBasDestroyFunc)(const void* elements, size_t count);
/// Moves `count` elements from `source` into separate storage at
/// `destination` without failing; `source` is left as raw memory, with
/// nothing to destroy. When `source` equals `destination`, the bytes were
/// already moved there (by reallocating the storage): only what refers to
/// the elements' place is mended.
typedef void (*ZELBasRelocateFunc)(void* source, void* destination, size_t count);

/// What a type-erased engine knows of an element type.
struct ZELBAS_CLASS ZELBasReplicatorGeneric {
  /// Elements of `size` bytes, copied with `copy` and destroyed with `destroy`.
  ZELBasReplicatorGeneric(int size, ZELBasCopyFunc copy, ZELBasDestroyFunc destroy)
      : elementSize(size), copyFunc(copy), destroyFunc(destroy) {}

  int32_t elementSize;            ///< Size of one element in bytes.
  ZELBasCopyFunc copyFunc;        ///< Copies runs of elements.
  ZELBasDestroyFunc destroyFunc;  ///< Destroys runs of elements.
};

/// Copy-constructs element i of `destination` from element i of `source`,
/// for i from 0 to `count` - 1. An exception leaves the elements made before
/// it constructed.
template <class T>
void ZELBasStandardCopy(const void* source, void* destination, size_t count) {
  const T* from = static_cast<const T*>(source);
  T* to = static_cast<T*>(destination);
  for (size_t i = 0; i < count; ++i) new (&to[i], ZELBasPlacementTag) T(from[i]);
}

/// Runs T's destructor on `count` elements in place.
template <class T>
void ZELBasStandardDestroy(const void* elements, size_t count) {
  T* at = static_cast<T*>(const_cast<void*>(elements));
  for (size_t i = 0; i < count; ++i) at[i].~T();
}

/// T's copy and destroy functions, one at a time.
template <class T>
struct ZELBasReplicator {
  /// ZELBasStandardCopy for T.
  static ZELBasCopyFunc GetCopyFunc() { return &ZELBasStandardCopy<T>; }
  /// ZELBasStandardDestroy for T.
  static ZELBasDestroyFunc GetDestroyFunc() { return &ZELBasStandardDestroy<T>; }
};

/// How the vector engine moves T's elements when it grows: null means a copy
/// and a destruction per element. A type whose elements can be moved more
/// cheaply specializes this.
template <class T>
struct ZELBasRelocation {
  /// The function that moves T's elements, or null.
  static ZELBasRelocateFunc Get() { return nullptr; }
};

/// The replicator of T.
template <class T>
ZELBasReplicatorGeneric ZELBasGetReplicator() {
  return ZELBasReplicatorGeneric(static_cast<int>(sizeof(T)), ZELBasReplicator<T>::GetCopyFunc(),
                                 ZELBasReplicator<T>::GetDestroyFunc());
}

/// Stateless allocator tag of the vector engine; storage returns to the
/// memory module.
class ZELBAS_CLASS ZELBasVectorAllocator {
public:
  ZELBasVectorAllocator() {}
  /// Returns `storage` to the memory module; the count is not needed.
  static void deallocate(void* storage, size_t /*count*/) { mem_Free(storage); }
};

/// Releases a buffer taken with `new (mem_builtInAlloc) char[n]`.
ZELBASXMLDOCUMENT_API void mem_deleteBuiltIn(char* buffer);

/// Array allocation from the memory module.
ZELBASXMLDOCUMENT_API void* operator new[](size_t size, mem_BuiltInAlloc);

/// The vector engine, compiled once for every element type.
///
/// Elements lie contiguously from Begin() to End(); the count is derived from
/// the pointers. Growing moves elements to new storage, so pointers to
/// elements taken before a PushBack may no longer be valid after it.
class ZELBAS_CLASS ZELBasVectorGeneric {
public:
  /// An empty vector of the described element type. Allocates nothing.
  explicit ZELBasVectorGeneric(const ZELBasReplicatorGeneric& elementType)
      : replicator(elementType), storageBegin(nullptr), usedEnd(nullptr), storageEnd(nullptr) {}
  /// Copies of `other`'s elements, in storage of its own.
  ZELBasVectorGeneric(const ZELBasVectorGeneric& other)
      : replicator(other.replicator), storageBegin(nullptr), usedEnd(nullptr), storageEnd(nullptr) {
    Init(other);
  }
  /// Copy and swap: the previous elements are destroyed only after the copies
  /// exist, so self-assignment is safe and a failed copy changes nothing.
  // NOLINTNEXTLINE(bugprone-unhandled-self-assignment): copy and swap, not recognized as such.
  ZELBasVectorGeneric& operator=(const ZELBasVectorGeneric& other) {
    ZELBasVectorGeneric copy(other.replicator);
    copy.Init(other);
    swap(copy);
    return *this;
  }
  ~ZELBasVectorGeneric() {
    Destroy(storageBegin, Size());
    Deallocate(storageBegin, Capacity());
  }

  /// Number of elements.
  size_t Size() const {
    return static_cast<size_t>(static_cast<const char*>(usedEnd) - static_cast<const char*>(storageBegin)) /
           static_cast<size_t>(replicator.elementSize);
  }
  /// Number of elements the storage holds before it must grow.
  size_t Capacity() const {
    return static_cast<size_t>(static_cast<const char*>(storageEnd) -
                               static_cast<const char*>(storageBegin)) /
           static_cast<size_t>(replicator.elementSize);
  }
  /// The first element; null when nothing was ever stored.
  const void* Begin() const { return storageBegin; }
  /// Just past the last element.
  const void* End() const { return usedEnd; }

  /// Appends a copy of `*element` (which may be one of this vector's own).
  ZELBASGENERICSLIB_API void PushBack(const void* element);
  /// As PushBack(element); when the storage grows, the elements move with
  /// `relocate` (copied and destroyed one by one when it is null).
  ZELBASGENERICSLIB_API void PushBack(const void* element, ZELBasRelocateFunc relocate);
  /// Makes room for one more element and returns it, counted but not
  /// constructed: the caller constructs it there at once, with a
  /// constructor that cannot throw. Grows as PushBack does.
  void* PushBackUninitialized(ZELBasRelocateFunc relocate) {
    if (usedEnd == storageEnd) GrowForOne(relocate);
    void* slot = usedEnd;
    usedEnd = static_cast<char*>(usedEnd) + replicator.elementSize;
    return slot;
  }
  /// Destroys the last element; the vector must not be empty. Its storage
  /// stays.
  void PopBack() {
    assert(usedEnd != storageBegin);
    usedEnd = static_cast<char*>(usedEnd) - replicator.elementSize;
    Destroy(usedEnd, 1);
  }
  /// Destroys every element. The storage stays, for the elements to come.
  void Clear() {
    size_t count = Size();
    usedEnd = storageBegin;
    Destroy(storageBegin, count);
  }
  /// Moves the elements with `relocate` into storage that holds just them,
  /// when such storage can be had; otherwise they stay where they are.
  ZELBASGENERICSLIB_API void ShrinkToFit(ZELBasRelocateFunc relocate) noexcept;
  /// Makes this vector, still under construction, hold copies of `other`'s
  /// elements in storage of its own. On an exception it releases all it took.
  ZELBASGENERICSLIB_API void Init(const ZELBasVectorGeneric& other);
  /// Exchanges the storage of two vectors of one element type; each keeps
  /// its replicator.
  ZELBASGENERICSLIB_API void swap(ZELBasVectorGeneric& other);

private:
  void Grow(const void* element, ZELBasRelocateFunc relocate);
  // Grows as PushBack does, with room for one more element after the last.
  ZELBASGENERICSLIB_API void GrowForOne(ZELBasRelocateFunc relocate);

  void Destroy(void* elements, size_t count) {
    if (replicator.destroyFunc != nullptr) replicator.destroyFunc(elements, count);
  }
  void Deallocate(void* storage, size_t /*count*/) {
    if (storage != nullptr) mem_Free(storage);
  }

  // Stateless: it takes no room of its own.
  [[no_unique_address]] ZELBasVectorAllocator allocator;
  ZELBasReplicatorGeneric replicator;
  void* storageBegin;
  void* usedEnd;
  void* storageEnd;
};

/// A vector of T held by value: a thin typed face over ZELBasVectorGeneric.
template <class T>
class ZELBAS_CLASS ZELBasVector {
public:
  /// An empty vector. Allocates nothing.
  ZELBasVector() : generic(ZELBasGetReplicator<T>()) {}
  /// Copies of `other`'s elements, in storage of its own.
  ZELBasVector(const ZELBasVector<T>& other) : generic(ZELBasGetReplicator<T>()) {
    generic.Init(other.generic);
  }
  /// Holds copies of exactly `other`'s elements afterwards; safe when `other` is
  /// this vector, and a failed copy changes nothing.
  ZELBasVector<T>& operator=(const ZELBasVector<T>& other) {
    generic = other.generic;
    return *this;
  }

  /// Number of elements.
  size_t size() const { return generic.Size(); }
  /// The first element. Pointers into the vector are valid until it grows.
  const T* begin() const { return static_cast<const T*>(generic.Begin()); }
  /// Just past the last element.
  const T* end() const { return static_cast<const T*>(generic.End()); }
  /// The element at `i`; no bounds check.
  const T& operator[](size_t i) const { return begin()[i]; }
  /// Appends a copy of `element`.
  void push_back(const T& element) { generic.PushBack(&element, ZELBasRelocation<T>::Get()); }
  /// Destroys every element and keeps the storage, so that refilling the
  /// vector (a search appending to it again) takes no new storage until it
  /// outgrows the old. Assigning an empty vector frees the storage too.
  void clear() { generic.Clear(); }
  /// Exchanges the elements of two vectors without copying any.
  void swap(ZELBasVector<T>& other) { generic.swap(other.generic); }

protected:
  /// The engine, for derived classes.
  ZELBasVectorGeneric& Generic() { return generic; }
  /// The engine, for derived classes.
  const ZELBasVectorGeneric& Generic() const { return generic; }

private:
  ZELBasVectorGeneric generic;
};
