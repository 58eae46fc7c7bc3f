// The string cache of the tree builder: its tables, their lookups and the
// pending text.
#include "ParseCache.h"

#include <cassert>
#include <cstring>
#include <new>
#include <string_view>

#include "Buffer.h"
#include "NodeAccess.h"
#include "ZELBasXmlDocument.h"

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
      pendingCapacity(0),
      wholeText(false),
      runGathered(false),
      runBlank(false) {}

ParseCache::ParseCache(ForRead, bool wholeTexts)
    : names(nullptr),
      values(nullptr),
      nameMask(kNames - 1),
      valueMask(kValues - 1),
      ownsTables(true),
      pendingNode(nullptr),
      pending(nullptr),
      pendingLength(0),
      pendingCapacity(0),
      wholeText(wholeTexts),
      runGathered(false),
      runBlank(false) {
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

void ParseCache::Reserve(size_t length, size_t keep) {
  size_t capacity = pendingCapacity * 2 > length ? pendingCapacity * 2 : length;
  char* grown = NewBytes(capacity);
  if (keep != 0) std::memcpy(grown, pending, keep);
  if (pending != nullptr) mem_Free(pending);
  pending = grown;
  pendingCapacity = capacity;
}

void ParseCache::FlushData() {
  assert(pendingNode != nullptr);
  if (wholeText) {
    EndRun();
    return;
  }
  ZELString& data = NodeAccess::Data(pendingNode);
  pendingNode = nullptr;
  // The same text again, as the indentation before each child of an
  // element is: the node keeps the string it has.
  if (pendingLength == 0 || data.CastToCharPtr()[0] == pending[0]) {
    std::string_view now = data;
    if (now.size() == pendingLength && SameBytes(now.data(), pending, pendingLength)) return;
  }
  MakeText(data, pending, pendingLength);
}

void ParseCache::MakeText(ZELString& target, const char* text, size_t length) {
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

void ParseCache::AddToRun(ZELBasXmlNode* node, const char* text, size_t length) {
  if (pendingNode != node) {
    Flush();
    pendingNode = node;
    // White space alone may be followed by more of the run: gathered, as
    // it is mostly the indentation of a child that ends the run unused.
    runGathered = runBlank = Blank(text, length);
    if (!runGathered) {
      MakeText(runText, text, length);
      return;
    }
    pendingLength = 0;
  } else if (runGathered) {
    if (runBlank) runBlank = Blank(text, length);
  } else {
    // A second piece: the first one's bytes start the gathering.
    runGathered = true;
    std::string_view first = runText;
    if (first.size() > pendingCapacity) Reserve(first.size());
    std::memcpy(pending, first.data(), first.size());
    pendingLength = first.size();
  }
  if (pendingLength + length > pendingCapacity) Reserve(pendingLength + length, pendingLength);
  std::memcpy(pending + pendingLength, text, length);
  pendingLength += length;
}

void ParseCache::EndRun() {
  ZELString& data = NodeAccess::Data(pendingNode);
  pendingNode = nullptr;
  if (runGathered) {
    if (runBlank) return;
    MakeText(runText, pending, pendingLength);
  }
  if (data.CastToCharPtr()[0] == '\0' && data.GetLengthInChar() == 0) {
    data = runText;
  } else {
    data.Append(runText);
  }
  runText = empty;
}

void ParseCache::WholeTextHandler(void* userData, const char* text, int length) {
  ZELBasXmlDocument* document = static_cast<ZELBasXmlDocument*>(userData);
  ZELBasXmlNode* current = document->ptr;
  if (current == nullptr) return;
  document->parseCache->AddToRun(current, text, static_cast<size_t>(length));
}

}  // namespace zelbas_detail
