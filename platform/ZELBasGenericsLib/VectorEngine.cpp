// The vector engine: growth, copying and swapping for every element type.
#include <cassert>
#include <cstring>
#include <new>

#include "ZELBasCheckedMath.h"
#include "ZELBasScopeOwner.h"
#include "ZELBasVector.h"

namespace zelgenerics_detail {

// Copies `count` elements one at a time, so that a copy constructor that
// throws leaves a known number made; those are destroyed before rethrowing.
void CopyElements(const ZELBasReplicatorGeneric& type, const char* from, char* to, size_t count) {
  size_t size = static_cast<size_t>(type.elementSize);
  if (type.copyFunc == nullptr) {
    if (count != 0) std::memcpy(to, from, count * size);
    return;
  }
  size_t made = 0;
  auto destroyMade = [&type, &made](char* first) {
    if (type.destroyFunc != nullptr) type.destroyFunc(first, made);
  };
  ZELBasScopeOwner<char*, decltype(destroyMade)> undo(to, destroyMade);
  for (; made < count; ++made) type.copyFunc(from + made * size, to + made * size, 1);
  undo.Take();
}

// Storage of `bytes` from the memory module, given back unless taken.
typedef ZELBasScopeOwner<char*, void (*)(void*)> StorageOwner;

char* Allocate(size_t count, size_t size) {
  return static_cast<char*>(mem_OperatorNewThrowBuiltin(ZELBasCheckedMultiply(count, size)));
}

}  // namespace zelgenerics_detail

using namespace zelgenerics_detail;

void ZELBasVectorGeneric::PushBack(const void* element) { PushBack(element, nullptr); }

void ZELBasVectorGeneric::PushBack(const void* element, ZELBasRelocateFunc relocate) {
  if (usedEnd != storageEnd) {
    CopyElements(replicator, static_cast<const char*>(element), static_cast<char*>(usedEnd), 1);
    usedEnd = static_cast<char*>(usedEnd) + replicator.elementSize;
    return;
  }
  Grow(element, relocate);
}

void ZELBasVectorGeneric::GrowForOne(ZELBasRelocateFunc relocate) { Grow(nullptr, relocate); }

// Moves the elements into storage twice as large, with a copy of `*element`
// (when not null) after them.
void ZELBasVectorGeneric::Grow(const void* element, ZELBasRelocateFunc relocate) {
  size_t size = static_cast<size_t>(replicator.elementSize);
  size_t count = Size();
  // Most elements that have children have several: start at four.
  size_t capacity = count != 0 ? ZELBasCheckedMultiply(count, 2) : 4;
  size_t bytes = ZELBasCheckedMultiply(capacity, size);
  const char* from = static_cast<const char*>(element);
  bool own = from != nullptr && from >= static_cast<const char*>(storageBegin) &&
             from < static_cast<const char*>(usedEnd);
  if (relocate != nullptr && count != 0 && !own) {
    // Elements that relocate can stay where they are while the storage
    // grows in place or is remapped; they are mended only if it moved.
    char* old = static_cast<char*>(storageBegin);
    char* grown = static_cast<char*>(mem_Reallocate(storageBegin, bytes));
    if (grown != old) relocate(grown, grown, count);
    storageBegin = grown;
    usedEnd = grown + count * size;
    storageEnd = grown + bytes;
    if (element != nullptr) {
      CopyElements(replicator, from, static_cast<char*>(usedEnd), 1);
      usedEnd = static_cast<char*>(usedEnd) + size;
    }
    return;
  }
  StorageOwner storage(static_cast<char*>(mem_OperatorNewThrowBuiltin(bytes)), &mem_Free);
  char* fresh = storage.Get();
  size_t added = element != nullptr ? 1 : 0;
  // The copy first: `element` may be one of the elements about to move.
  if (element != nullptr) CopyElements(replicator, from, fresh + count * size, 1);
  if (relocate == nullptr) {
    auto destroyOne = [this](char* copy) {
      if (replicator.destroyFunc != nullptr) replicator.destroyFunc(copy, 1);
    };
    ZELBasScopeOwner<char*, decltype(destroyOne)> copied(element != nullptr ? fresh + count * size : nullptr,
                                                         destroyOne);
    CopyElements(replicator, static_cast<const char*>(storageBegin), fresh, count);
    copied.Take();
  }
  storage.Take();
  if (relocate != nullptr) {
    if (count != 0) relocate(storageBegin, fresh, count);
  } else {
    Destroy(storageBegin, count);
  }
  Deallocate(storageBegin, Capacity());
  storageBegin = fresh;
  usedEnd = fresh + (count + added) * size;
  storageEnd = fresh + bytes;
}

void ZELBasVectorGeneric::ShrinkToFit(ZELBasRelocateFunc relocate) noexcept {
  assert(relocate != nullptr);
  if (usedEnd == storageEnd) return;
  size_t size = static_cast<size_t>(replicator.elementSize);
  size_t count = Size();
  if (count == 0) {
    Deallocate(storageBegin, Capacity());
    storageBegin = usedEnd = storageEnd = nullptr;
    return;
  }
  char* fitted = static_cast<char*>(mem_TryOperatorNew(count * size));
  if (fitted == nullptr) return;  // the larger block serves as well
  relocate(storageBegin, fitted, count);
  Deallocate(storageBegin, Capacity());
  storageBegin = fitted;
  usedEnd = storageEnd = fitted + count * size;
}

void ZELBasVectorGeneric::Init(const ZELBasVectorGeneric& other) {
  size_t count = other.Size();
  storageBegin = usedEnd = storageEnd = nullptr;
  if (count == 0) return;
  size_t size = static_cast<size_t>(replicator.elementSize);
  StorageOwner storage(Allocate(count, size), &mem_Free);
  char* fresh = storage.Get();
  CopyElements(replicator, static_cast<const char*>(other.storageBegin), fresh, count);
  storageBegin = storage.Take();
  usedEnd = storageEnd = fresh + count * size;
}

void ZELBasVectorGeneric::swap(ZELBasVectorGeneric& other) {
  void* begin = storageBegin;
  void* used = usedEnd;
  void* end = storageEnd;
  storageBegin = other.storageBegin;
  usedEnd = other.usedEnd;
  storageEnd = other.storageEnd;
  other.storageBegin = begin;
  other.usedEnd = used;
  other.storageEnd = end;
}
