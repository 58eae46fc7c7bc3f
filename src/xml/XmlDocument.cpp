// The document's construction, options and root.
#include "ZELBasXmlDocument.h"

// The root is held by the document: it keeps linking to nothing whatever
// is assigned to it.
ZELBasXmlDocument::ZELBasXmlDocument() : currentDepth(0), ptr(nullptr), builder(nullptr) { dom.held = true; }

ZELBasXmlDocument::ZELBasXmlDocument(const ZELString& name)
    : fileName(name), currentDepth(0), ptr(nullptr), builder(nullptr) {
  dom.held = true;
}

ZELBasXmlDocument::~ZELBasXmlDocument() = default;

long ZELBasXmlDocument::SetOptions(unsigned long chosen) {
  const unsigned long known = ZELBasXmlStandard | ZELBasXmlKeepLayout;
  if ((chosen & ~known) != 0) return E_FAIL;
  options = chosen;
  return S_OK;
}

long ZELBasXmlDocument::SetRootElement(const ZELBasXmlNode& root) {
  // Assignment copies first, so `root` may lie inside the tree it replaces.
  dom = root;
  dom.isRoot = true;
  // The open elements of an incomplete read were in the old tree.
  currentDepth = 0;
  ptr = nullptr;
  return S_OK;
}
