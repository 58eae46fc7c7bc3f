// The parser's callbacks: they turn start-tag, end-tag and character-data
// events into the document's tree.
#include "ZELBasXmlDocument.h"

namespace {

void InsertAttributes(ZELBasXmlNode& node, const char** atts) {
  for (const char** pair = atts; pair != nullptr && pair[0] != nullptr; pair += 2) {
    ZELString value(pair[1]);
    ZELString name(pair[0]);
    node.InsertAttribute(name, value);
  }
}

}  // namespace

void ZELBasXmlDocument::unknownStartTag(void* userData, const char* name, const char** atts) {
  if (userData == nullptr) return;
  ZELBasXmlDocument& document = *static_cast<ZELBasXmlDocument*>(userData);
  int& depth = document.CurrentDepth();
  ZELBasXmlNode*& current = document.GetPtr();
  if (depth == 0) {
    ZELBasXmlNode& root = document.GetDom();
    root = ZELBasXmlNode();
    root.SetTagName(ZELString(name));
    root.SetRoot();
    InsertAttributes(root, atts);
    current = &root;
  } else if (depth > 0) {
    ZELBasXmlNode node{ZELString(name)};
    InsertAttributes(node, atts);
    if (current != nullptr) {
      current->Append(node);
      const ZELBasVector<ZELBasXmlNode>& children = current->GetChildren();
      current = const_cast<ZELBasXmlNode*>(&children[static_cast<int>(children.size()) - 1]);
    }
  }
  ++depth;
}

void ZELBasXmlDocument::unknownEndTag(void* userData, const char* /*name*/) {
  if (userData == nullptr) return;
  ZELBasXmlDocument& document = *static_cast<ZELBasXmlDocument*>(userData);
  ZELBasXmlNode*& current = document.GetPtr();
  if (document.CurrentDepth() != 0 && current != nullptr) current = current->GetParent();
  --document.CurrentDepth();
}

void ZELBasXmlDocument::dataHandler(void* userData, const char* s, int len) {
  if (userData == nullptr) return;
  ZELBasXmlDocument& document = *static_cast<ZELBasXmlDocument*>(userData);
  ZELString text;
  text.BuildFromUTF8(s, static_cast<size_t>(static_cast<long>(len)));
  if (document.GetPtr() != nullptr) document.GetPtr()->data = text;
}
