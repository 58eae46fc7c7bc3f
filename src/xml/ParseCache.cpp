// The string cache of the tree builder: hashing, the tables and the
// pending text.
#include "ParseCache.h"

#include <cassert>
#include <cstring>
#include <new>
#include <string_view>

#include "NodeAccess.h"

namespace zelbas_detail {

// HashToNul's hash, over `length` bytes.
inline uint32_t Hash(const char* text, size_t length) {
  uint32_t hash = 0;
  for (size_t i = 0; i < length; ++i) hash = hash * 31 + static_cast<unsigned char>(text[i]);
  return hash;
}

// Names, values and the pieces of text between tags are mostly a few
// bytes: 4 to 16 of them are handled as two words that may overlap, and
// the rest byte by byte or by the library, without a call for the short.
template <class Word>
inline Word WordAt(const char* bytes) {
  Word word;
  std::memcpy(&word, bytes, sizeof word);
  return word;
}

inline bool SameBytes(const char* a, const char* b, size_t length) {
  if (length >= 8 && length <= 16) {
    return WordAt<uint64_t>(a) == WordAt<uint64_t>(b) &&
           WordAt<uint64_t>(a + length - 8) == WordAt<uint64_t>(b + length - 8);
  }
  if (length >= 4 && length < 8) {
    return WordAt<uint32_t>(a) == WordAt<uint32_t>(b) &&
           WordAt<uint32_t>(a + length - 4) == WordAt<uint32_t>(b + length - 4);
  }
  if (length > 16) return std::memcmp(a, b, length) == 0;
  // 0 to 3 bytes: the first, the middle and the last cover them all.
  return length == 0 || (a[0] == b[0] && a[length / 2] == b[length / 2] && a[length - 1] == b[length - 1]);
}

inline void CopyBytes(char* to, const char* from, size_t length) {
  if (length >= 8 && length <= 16) {
    uint64_t head = WordAt<uint64_t>(from), tail = WordAt<uint64_t>(from + length - 8);
    std::memcpy(to, &head, 8);
    std::memcpy(to + length - 8, &tail, 8);
  } else if (length >= 4 && length < 8) {
    uint32_t head = WordAt<uint32_t>(from), tail = WordAt<uint32_t>(from + length - 4);
    std::memcpy(to, &head, 4);
    std::memcpy(to + length - 4, &tail, 4);
  } else if (length > 16) {
    std::memcpy(to, from, length);
  } else if (length != 0) {
    to[0] = from[0];
    to[length / 2] = from[length / 2];
    to[length - 1] = from[length - 1];
  }
}

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
    : document(nullptr),
      previous(nullptr),
      names(&single[0]),
      values(&single[1]),
      nameMask(0),
      valueMask(0),
      pendingNode(nullptr),
      pending(nullptr),
      pendingLength(0),
      pendingCapacity(0) {}

ParseCache::ParseCache(ZELBasXmlDocument* served)
    : document(served),
      previous(served->parseCache),
      names(nullptr),
      values(nullptr),
      nameMask(kNames - 1),
      valueMask(kValues - 1),
      pendingNode(nullptr),
      pending(nullptr),
      pendingLength(0),
      pendingCapacity(0) {
  // One block for both tables: nothing to undo if it cannot be had.
  names = NewTable<Entry>(kNames + kValues + 1);
  values = names + kNames;
  document->parseCache = this;
}

ParseCache::~ParseCache() {
  if (document != nullptr) {
    document->parseCache = previous;
    DeleteTable(names, kNames + kValues + 1);
  }
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

void ParseCache::SetData(ZELBasXmlNode* node, const char* text, size_t length) {
  if (pendingNode != node) Flush();
  if (length > pendingCapacity) {
    size_t capacity = pendingCapacity * 2 > length ? pendingCapacity * 2 : length;
    char* grown = static_cast<char*>(mem_OperatorNewThrowBuiltin(capacity));
    if (pending != nullptr) mem_Free(pending);
    pending = grown;
    pendingCapacity = capacity;
  }
  CopyBytes(pending, text, length);
  pendingLength = length;
  pendingNode = node;
}

void ParseCache::FlushData() {
  assert(pendingNode != nullptr);
  ZELString& data = ZELBasXmlNodeAccess::Data(pendingNode);
  pendingNode = nullptr;
  // The same text again, as the indentation before each child of an
  // element is: the node keeps the string it has.
  if (pendingLength == 0 || data.CastToCharPtr()[0] == pending[0]) {
    std::string_view now = data;
    if (now.size() == pendingLength && SameBytes(now.data(), pending, pendingLength)) return;
  }
  // Indentation between elements repeats everywhere: it is always shared.
  bool blank = true;
  for (size_t i = 0; i < pendingLength && blank; ++i) {
    char c = pending[i];
    blank = c == ' ' || c == '\n' || c == '\t' || c == '\r';
  }
  if (pendingLength <= kShortValue && (blank || dataSharing.Try())) {
    bool hit;
    data = Lookup(values, valueMask, pending, pendingLength, Hash(pending, pendingLength), &hit);
    if (!blank) dataSharing.Count(hit);
  } else {
    data = ZELString();
    data.BuildFromUTF8(pending, pendingLength);
  }
}

}  // namespace zelbas_detail
