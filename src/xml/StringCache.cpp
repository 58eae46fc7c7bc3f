// The string cache of the tree builder: its tables and their lookups.
#include "StringCache.h"

#include <cassert>
#include <cstring>
#include <new>

#include "ZELBasAlloc.h"
#include "ZELBasVector.h"

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

StringCache::StringCache()
    : names(&single[0]), values(&single[1]), nameMask(0), valueMask(0), ownsTables(false) {}

StringCache::StringCache(ForRead)
    : names(nullptr), values(nullptr), nameMask(kNames - 1), valueMask(kValues - 1), ownsTables(true) {
  // One block for both tables: nothing to undo if it cannot be had.
  names = NewTable<Entry>(kNames + kValues);
  values = names + kNames;
}

StringCache::~StringCache() {
  if (ownsTables) DeleteTable(names, kNames + kValues);
}

const ZELString& StringCache::Lookup(Entry* table, size_t mask, const char* text, size_t length,
                                     uint32_t hash, bool* hit) {
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

void StringCache::SetValue(ZELString& target, const char* text) {
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

void StringCache::SetText(ZELString& target, const char* text, size_t length) {
  if (length <= kShortValue) {
    // Indentation between elements repeats everywhere: it is always shared.
    bool blank = Blank(text, length);
    if (blank || dataSharing.Try()) {
      bool hit;
      target = Lookup(values, valueMask, text, length, Hash(text, length), &hit);
      if (!blank) dataSharing.Count(hit);
      return;
    }
  }
  target.BuildFromUTF8(text, length);
}

}  // namespace zelbas_detail
