// The parser's callbacks: they turn start-tag, end-tag and character-data
// events into the document's tree.
#include <cstring>

#include "NodeAccess.h"
#include "ParseCache.h"
#include "ZELBasScopeOwner.h"
#include "ZELBasXmlDocument.h"

namespace zelbas_detail {

// The attributes of one start tag, sorted by name for BuildSorted.
struct SortedAttributes {
  static const size_t kMost = 32;  // longer lists are inserted one by one
  const char* const* pairs[kMost];
  size_t count;
  ParseCache* strings;
};

// Constructs the attribute of rank `index`, its value built in place.
void MakeAttribute(void* at, size_t index, void* context) {
  SortedAttributes& sorted = *static_cast<SortedAttributes*>(context);
  const char* const* pair = sorted.pairs[index];
  ParseCache& strings = *sorted.strings;
  ZELBasAttributePair* made =
      new (at, ZELBasPlacementTag) ZELBasAttributePair(strings.Name(pair[0]), strings.Empty());
  // Destroyed again if its value cannot be built.
  ZELBasScopeOwner destroy(made, [](ZELBasAttributePair* pair) { pair->~ZELBasAttributePair(); });
  strings.SetValue(made->second, pair[1]);
  destroy.Take();
}

// Negative, zero or positive as name `a` sorts before, with or after `b`
// in byte order. Names mostly differ in their first byte.
inline int CompareNames(const char* a, const char* b) {
  unsigned char first = static_cast<unsigned char>(a[0]), second = static_cast<unsigned char>(b[0]);
  if (first != second) return first < second ? -1 : 1;
  return first == 0 ? 0 : std::strcmp(a + 1, b + 1);
}

// Sorts the pairs of `atts` by name in byte order, as the map orders its
// keys, keeping the last of pairs with the same name (the value a second
// InsertAttribute would leave); false when there are too many to sort here.
bool SortAttributes(const char** atts, SortedAttributes& sorted) {
  if (atts[2] == nullptr) {
    sorted.pairs[0] = atts;
    sorted.count = 1;
    return true;
  }
  size_t count = 0;
  for (const char** pair = atts; pair[0] != nullptr; pair += 2) {
    if (count == SortedAttributes::kMost) return false;
    // Insertion: a few attributes, most often in order already.
    size_t at = count++;
    int order = -1;
    while (at != 0 && (order = CompareNames(pair[0], sorted.pairs[at - 1][0])) < 0) {
      sorted.pairs[at] = sorted.pairs[at - 1];
      --at;
    }
    if (order == 0) {
      // The same name again: this value replaces the earlier one.
      for (size_t i = at; i + 1 < count; ++i) sorted.pairs[i] = sorted.pairs[i + 1];
      sorted.pairs[at - 1] = pair;
      --count;
      continue;
    }
    sorted.pairs[at] = pair;
  }
  sorted.count = count;
  return true;
}

// Gives a new node the attribute pairs of `atts`; a repeated name keeps the
// last value.
void InsertAttributes(ZELBasXmlNode* node, const char** atts, ParseCache& strings) {
  if (atts == nullptr || atts[0] == nullptr) return;
  ZELBasMap<ZELString, ZELString>& attributes = NodeAccess::Attributes(node);
  SortedAttributes sorted;
  sorted.strings = &strings;
  if (SortAttributes(atts, sorted)) {
    attributes.BuildSorted(sorted.count, &MakeAttribute, &sorted);
    return;
  }
  for (const char** pair = atts; pair[0] != nullptr; pair += 2) {
    ZELString value;
    strings.SetValue(value, pair[1]);
    ZELBasAttributePair entry(strings.Name(pair[0]), value);
    // Inserts nothing when the name is there already; the assignment then
    // replaces its value, as InsertAttribute does.
    attributes.insert(attributes.end(), entry)->second = value;
  }
}

// Runs `event` for a callback called outside a read, with a cache of its
// own whose text reaches its node before the callback returns. Kept out of
// line, so that a callback during a read sets up no cache.
template <class Event>
__attribute__((noinline)) void ServeOnce(Event event) {
  ParseCache single;
  event(single);
  single.Flush();
}

// Runs `event` with the strings of the read in progress, or else as above.
template <class Event>
void Serve(ParseCache* reading, Event event) {
  if (reading != nullptr) {
    event(*reading);
  } else {
    ServeOnce(event);
  }
}

}  // namespace zelbas_detail

using namespace zelbas_detail;

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
      // than built apart and appended as a copy: the same node results, and
      // the guard takes it back out if its attributes cannot all be inserted.
      ZELBasXmlNode* child = NodeAccess::AppendNew(current, strings.Name(name));
      ZELBasXmlNode* parent = current;
      ZELBasScopeOwner takeOut(parent, &NodeAccess::RemoveLastChild);
      InsertAttributes(child, atts, strings);
      takeOut.Take();
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
      NodeAccess::FitChildren(current);
      current = current->ParentLink();
    }
    --document.CurrentDepth();
  });
}

void ZELBasXmlDocument::dataHandler(void* userData, const char* s, int len) {
  if (userData == nullptr) return;
  ZELBasXmlDocument& document = *static_cast<ZELBasXmlDocument*>(userData);
  ZELBasXmlNode* current = document.GetPtr();
  if (current == nullptr) return;
  size_t length = static_cast<size_t>(len);
  Serve(document.parseCache,
        [current, s, length](ParseCache& strings) { strings.SetData(current, s, length); });
}
