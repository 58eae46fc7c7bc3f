// The parser's callbacks: they turn start-tag, end-tag and character-data
// events into the document's tree.
#include "TreeBuilder.h"

#include <cstring>

#include "DocumentAccess.h"
#include "NodeAccess.h"
#include "ZELBasScopeOwner.h"

namespace zelbas_detail {

// The attributes of one start tag, sorted by name for BuildSorted.
struct SortedAttributes {
  static const size_t kMost = 32;  // longer lists are inserted one by one
  const char* const* pairs[kMost];
  size_t count;
  StringCache* strings;
};

// Constructs the attribute of rank `index`, its value built in place.
void MakeAttribute(void* at, size_t index, void* context) {
  SortedAttributes& sorted = *static_cast<SortedAttributes*>(context);
  const char* const* pair = sorted.pairs[index];
  StringCache& strings = *sorted.strings;
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
void InsertAttributes(ZELBasXmlNode* node, const char** atts, StringCache& strings) {
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

// Runs `event` for a callback called outside a read, with a builder of its
// own whose text reaches its node before the callback returns. Kept out of
// line, so that a callback during a read sets up no builder.
template <class Event>
__attribute__((noinline)) void BuildOnce(Event event) {
  TreeBuilder single;
  event(single);
  single.text.Flush();
}

// Runs `event` with the builder of the read in progress, or else as above.
template <class Event>
void Build(ZELBasXmlDocument& document, Event event) {
  if (TreeBuilder* reading = DocumentAccess::Builder(document)) {
    event(*reading);
  } else {
    BuildOnce(event);
  }
}

}  // namespace zelbas_detail

using namespace zelbas_detail;

void ZELBasXmlDocument::unknownStartTag(void* userData, const char* name, const char** atts) {
  if (userData == nullptr) return;
  ZELBasXmlDocument& document = *static_cast<ZELBasXmlDocument*>(userData);
  Build(document, [&document, name, atts](TreeBuilder& builder) {
    builder.text.Flush();
    StringCache& strings = builder.strings;
    int& depth = DocumentAccess::Depth(document);
    ZELBasXmlNode*& current = DocumentAccess::Current(document);
    if (depth == 0) {
      ZELBasXmlNode& root = DocumentAccess::Dom(document);
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
  Build(document, [&document](TreeBuilder& builder) {
    builder.text.Flush();
    ZELBasXmlNode*& current = DocumentAccess::Current(document);
    int& depth = DocumentAccess::Depth(document);
    if (depth != 0 && current != nullptr) {
      NodeAccess::FitChildren(current);
      current = NodeAccess::Mutable(NodeAccess::Parent(current));
    }
    --depth;
  });
}

// The two character-data callbacks: the last piece (the default), and the
// whole text, which is only registered for a read and so always finds its
// builder.

void ZELBasXmlDocument::dataHandler(void* userData, const char* s, int len) {
  if (userData == nullptr) return;
  ZELBasXmlDocument& document = *static_cast<ZELBasXmlDocument*>(userData);
  ZELBasXmlNode* current = DocumentAccess::Current(document);
  if (current == nullptr) return;
  size_t length = static_cast<size_t>(len);
  Build(document, [current, s, length](TreeBuilder& builder) { builder.text.SetPiece(current, s, length); });
}

void TreeBuilder::WholeTextHandler(void* userData, const char* s, int len) {
  ZELBasXmlDocument& document = *static_cast<ZELBasXmlDocument*>(userData);
  ZELBasXmlNode* current = DocumentAccess::Current(document);
  if (current == nullptr) return;
  DocumentAccess::Builder(document)->text.AddToRun(current, s, static_cast<size_t>(len));
}

// A read that keeps the layout registers these instead: the tree is built
// as in a whole-text read, and the recorder notes where each event's bytes
// were.

void TreeBuilder::KeptStartTag(void* userData, const char* name, const char** atts) {
  ZELBasXmlDocument& document = *static_cast<ZELBasXmlDocument*>(userData);
  ZELBasXmlDocument::unknownStartTag(userData, name, atts);
  DocumentAccess::Builder(document)->layout->StartTag(DocumentAccess::Current(document), atts);
}

void TreeBuilder::KeptEndTag(void* userData, const char* name) {
  ZELBasXmlDocument& document = *static_cast<ZELBasXmlDocument*>(userData);
  ZELBasXmlNode* ending = DocumentAccess::Current(document);
  ZELBasXmlDocument::unknownEndTag(userData, name);
  DocumentAccess::Builder(document)->layout->EndTag(ending);
}

void TreeBuilder::KeptText(void* userData, const char* s, int len) {
  WholeTextHandler(userData, s, len);
  ZELBasXmlDocument& document = *static_cast<ZELBasXmlDocument*>(userData);
  DocumentAccess::Builder(document)->layout->Text(s, static_cast<size_t>(len));
}

void TreeBuilder::KeptComment(void* userData, const char* /*text*/) {
  ZELBasXmlDocument& document = *static_cast<ZELBasXmlDocument*>(userData);
  DocumentAccess::Builder(document)->layout->OtherMarkup(MarkupOp::kComment);
}

void TreeBuilder::KeptInstruction(void* userData, const char* /*target*/, const char* /*data*/) {
  ZELBasXmlDocument& document = *static_cast<ZELBasXmlDocument*>(userData);
  DocumentAccess::Builder(document)->layout->OtherMarkup(MarkupOp::kInstruction);
}

void TreeBuilder::KeptDeclaration(void* userData, const char* /*version*/, const char* encoding,
                                  int /*standalone*/) {
  ZELBasXmlDocument& document = *static_cast<ZELBasXmlDocument*>(userData);
  DocumentAccess::Builder(document)->layout->Declaration(encoding);
}
