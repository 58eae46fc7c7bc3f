// The parser's callbacks: they turn start-tag, end-tag and character-data
// events into the document's tree.
#include "TreeBuilder.h"

#include <cstring>
#include <new>

#include "NodeWalk.h"
#include "ZELBasXmlDocument.h"

namespace {

// Names and short values are a few bytes: a byte loop, inlined, beats the
// set-up of the library's word-at-a-time functions.
inline uint32_t HashToNul(const char* text, size_t& length) {
  uint32_t hash = 0;
  const char* p = text;
  for (; *p != '\0'; ++p) hash = hash * 31 + static_cast<unsigned char>(*p);
  length = static_cast<size_t>(p - text);
  return hash;
}

inline uint32_t Hash(const char* text, size_t length) {
  uint32_t hash = 0;
  for (size_t i = 0; i < length; ++i) hash = hash * 31 + static_cast<unsigned char>(text[i]);
  return hash;
}

inline bool SameBytes(const char* a, const char* b, size_t length) {
  for (size_t i = 0; i < length; ++i) {
    if (a[i] != b[i]) return false;
  }
  return true;
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

// Inserts the attribute pairs of `atts`; a repeated name keeps the last value.
void InsertAttributes(ZELBasXmlNode* node, const char** atts, ParseCache& strings) {
  if (atts == nullptr || atts[0] == nullptr) return;
  ZELBasMap<ZELString, ZELString>& attributes = ZELBasXmlNodeAccess::Attributes(node);
  for (const char** pair = atts; pair[0] != nullptr; pair += 2) {
    const ZELString& value = strings.Value(pair[1]);
    ZELBasAttributePair entry(strings.Name(pair[0]), value);
    // Inserts nothing when the name is there already; the assignment then
    // replaces its value, as InsertAttribute does.
    attributes.insert(attributes.end(), entry)->second = value;
  }
}

// Runs `event` with the strings of the read in progress, or, for a callback
// called outside a read, with a cache of its own whose text reaches its node
// before the callback returns.
template <class Event>
void Serve(ParseCache* reading, Event event) {
  if (reading != nullptr) {
    event(*reading);
    return;
  }
  ParseCache single;
  event(single);
  single.Flush();
}

// Takes a child being built in place back out of its parent unless kept:
// a start tag whose element cannot be built in full leaves no trace.
class ChildInProgress {
public:
  explicit ChildInProgress(ZELBasXmlNode* parent) : parent(parent) {}
  ChildInProgress(const ChildInProgress&) = delete;
  ChildInProgress& operator=(const ChildInProgress&) = delete;
  ~ChildInProgress() {
    if (parent != nullptr) ZELBasXmlNodeAccess::RemoveLastChild(parent);
  }
  void Keep() { parent = nullptr; }

private:
  ZELBasXmlNode* parent;
};

}  // namespace

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
  Entry& entry = table[Slot(hash, mask)];
  if (entry.hash == hash && entry.length == length && SameBytes(entry.text.CastToCharPtr(), text, length)) {
    if (hit != nullptr) *hit = true;
    return entry.text;
  }
  if (hit != nullptr) *hit = false;
  ZELString fresh;
  fresh.BuildFromUTF8(text, length);
  entry.text = fresh;
  entry.length = static_cast<uint32_t>(length);
  entry.hash = hash;
  return entry.text;
}

const ZELString& ParseCache::Name(const char* text) {
  size_t length;
  uint32_t hash = HashToNul(text, length);
  return Lookup(names, nameMask, text, length, hash);
}

const ZELString& ParseCache::Value(const char* text) {
  size_t length;
  uint32_t hash = HashToNul(text, length);
  if (length <= kShortValue && valueSharing.Try()) {
    bool hit;
    const ZELString& shared = Lookup(values, valueMask, text, length, hash, &hit);
    valueSharing.Count(hit);
    return shared;
  }
  // Long values are seldom repeated: build them in the one slot kept apart.
  Entry& entry = values[valueMask + 1];
  entry.text = ZELString();
  entry.text.BuildFromUTF8(text, length);
  return entry.text;
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
  if (length != 0) std::memcpy(pending, text, length);
  pendingLength = length;
  pendingNode = node;
}

void ParseCache::FlushData() {
  ZELString& data = ZELBasXmlNodeAccess::Data(pendingNode);
  pendingNode = nullptr;
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

void ZELBasXmlDocument::unknownStartTag(void* userData, const char* name, const char** atts) {
  if (userData == nullptr) return;
  ZELBasXmlDocument& document = *static_cast<ZELBasXmlDocument*>(userData);
  Serve(document.parseCache, [&document, name, atts](ParseCache& strings) {
    strings.Flush();
    int& depth = document.CurrentDepth();
    ZELBasXmlNode*& current = document.GetPtr();
    if (depth == 0) {
      ZELBasXmlNode& root = document.GetDom();
      root = ZELBasXmlNode();
      root.SetTagName(strings.Name(name));
      root.SetRoot();
      InsertAttributes(&root, atts, strings);
      current = &root;
    } else if (depth > 0 && current != nullptr) {
      // Built in place at the end of the current node's children, rather
      // than built apart and appended as a copy: the same node results.
      ZELBasXmlNode* child = ZELBasXmlNodeAccess::AppendNew(current, strings.Name(name));
      ChildInProgress inProgress(current);
      InsertAttributes(child, atts, strings);
      inProgress.Keep();
      current = child;
    }
    ++depth;
  });
}

void ZELBasXmlDocument::unknownEndTag(void* userData, const char* /*name*/) {
  if (userData == nullptr) return;
  ZELBasXmlDocument& document = *static_cast<ZELBasXmlDocument*>(userData);
  Serve(document.parseCache, [&document](ParseCache& strings) {
    strings.Flush();
    ZELBasXmlNode*& current = document.GetPtr();
    if (document.CurrentDepth() != 0 && current != nullptr) {
      ZELBasXmlNodeAccess::FitChildren(current);
      current = current->GetParent();
    }
    --document.CurrentDepth();
  });
}

void ZELBasXmlDocument::dataHandler(void* userData, const char* s, int len) {
  if (userData == nullptr) return;
  ZELBasXmlDocument& document = *static_cast<ZELBasXmlDocument*>(userData);
  ZELBasXmlNode* current = document.GetPtr();
  if (current == nullptr) return;
  size_t length = static_cast<size_t>(static_cast<long>(len));
  Serve(document.parseCache,
        [current, s, length](ParseCache& strings) { strings.SetData(current, s, length); });
}
