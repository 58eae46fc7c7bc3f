// The string cache of the tree builder: its tables, their lookups and the
// pending text.
#include "ParseCache.h"

#include <cassert>
#include <cstring>
#include <new>
#include <string_view>

#include "Buffer.h"
#include "NodeAccess.h"

namespace zelbas_detail {

// Spreads the hash over the table's slots.
inline size_t Slot(uint32_t hash, size_t mask) { return ((hash * 0x9E3779B1u) >> 16) & mask; }

template <class Entry>
Entry* NewTable(size_t count) {
  Entry* table = static_cast<Entry*>(mem_OperatorNewThrowBuiltin(count * sizeof(Entry)));
  for (size_t i = 0; i < count; ++i) new (&table[i], ZELBasPlacementTag) Entry();
  return table;
}

template <class Entry>
void DeleteTable(Entry* table, size_t count) {
  if (table == nullptr) return;
  for (size_t i = 0; i < count; ++i) table[i].~Entry();
  mem_Free(table);
}

ParseCache::ParseCache()
    : names(&single[0]),
      values(&single[1]),
      nameMask(0),
      valueMask(0),
      ownsTables(false),
      pendingNode(nullptr),
      pending(nullptr),
      pendingLength(0),
      pendingCapacity(0) {}

ParseCache::ParseCache(ForRead)
    : names(nullptr),
      values(nullptr),
      nameMask(kNames - 1),
      valueMask(kValues - 1),
      ownsTables(true),
      pendingNode(nullptr),
      pending(nullptr),
      pendingLength(0),
      pendingCapacity(0) {
  // One block for both tables: nothing to undo if it cannot be had.
  names = NewTable<Entry>(kNames + kValues);
  values = names + kNames;
}

ParseCache::~ParseCache() {
  if (ownsTables) DeleteTable(names, kNames + kValues);
  if (pending != nullptr) mem_Free(pending);
}

const ZELString& ParseCache::Lookup(Entry* table, size_t mask, const char* text, size_t length, uint32_t hash,
                                    bool* hit) {
  assert(length <= UINT32_MAX);
  Entry& entry = table[Slot(hash, mask)];
  if (entry.hash == hash && entry.length == length && SameBytes(entry.text.CastToCharPtr(), text, length)) {
    if (hit != nullptr) *hit = true;
    return entry.text;
  }
  if (hit != nullptr) *hit = false;
  entry.text.BuildFromUTF8(text, length);
  entry.length = static_cast<uint32_t>(length);
  entry.hash = hash;
  return entry.text;
}

void ParseCache::SetValue(ZELString& target, const char* text) {
  size_t length;
  if (valueSharing.Try()) {
    uint32_t hash = HashToNul(text, length);
    if (length <= kShortValue) {
      bool hit;
      target = Lookup(values, valueMask, text, length, hash, &hit);
      valueSharing.Count(hit);
      return;
    }
  } else {
    length = std::strlen(text);
  }
  // Long values, and values while sharing them does not pay, are seldom
  // repeated: built for their attribute alone.
  target.BuildFromUTF8(text, length);
}

void ParseCache::Reserve(size_t length) {
  size_t capacity = pendingCapacity * 2 > length ? pendingCapacity * 2 : length;
  char* grown = NewBytes(capacity);
  if (pending != nullptr) mem_Free(pending);
  pending = grown;
  pendingCapacity = capacity;
}

void ParseCache::FlushData() {
  assert(pendingNode != nullptr);
  ZELString& data = NodeAccess::Data(pendingNode);
  pendingNode = nullptr;
  // The same text again, as the indentation before each child of an
  // element is: the node keeps the string it has.
  if (pendingLength == 0 || data.CastToCharPtr()[0] == pending[0]) {
    std::string_view now = data;
    if (now.size() == pendingLength && SameBytes(now.data(), pending, pendingLength)) return;
  }
  if (pendingLength <= kShortValue) {
    // Indentation between elements repeats everywhere: it is always shared.
    bool blank = Blank(pending, pendingLength);
    if (blank || dataSharing.Try()) {
      bool hit;
      data = Lookup(values, valueMask, pending, pendingLength, Hash(pending, pendingLength), &hit);
      if (!blank) dataSharing.Count(hit);
      return;
    }
  }
  data.BuildFromUTF8(pending, pendingLength);
}

}  // namespace zelbas_detail
