// Finds the elements with a given tag name anywhere below the root.
//
//   find_tags FILE TAG             one line per element: its parent's tag
//                                  name, its attributes and its text
//   find_tags FILE TAG ATTRIBUTE   the value of ATTRIBUTE of each element
//                                  that has it
#include <cstdio>

#include "ZELBasXmlDocument.h"

int main(int argc, char** argv) {
  if (argc != 3 && argc != 4) {
    std::fprintf(stderr, "usage: find_tags FILE TAG [ATTRIBUTE]\n");
    return 2;
  }
  ZELBasXmlDocument document;
  if (document.ReadFile(ZELString(argv[1])) != S_OK) {
    std::fprintf(stderr, "find_tags: cannot open %s\n", argv[1]);
    return 2;
  }

  // Copies of the matching elements, in document order; the root itself is
  // never among them.
  ZELBasVector<ZELBasXmlNode> found;
  document.GetRoot().GetElementsByTagName(ZELString(argv[2]), found);

  for (const ZELBasXmlNode& element : found) {
    if (argc == 4) {
      ZELString value;
      if (element.GetAttribute(ZELString(argv[3]), value) == S_OK) std::printf("%s\n", value.CastToCharPtr());
      continue;
    }
    // A copy keeps its link to the parent inside the document's tree, which
    // is valid while the document is alive and unchanged.
    ZELBasXmlNode parent;
    if (element.GetParent(parent) == S_OK) std::printf("%s/", parent.GetTagName().CastToCharPtr());
    std::printf("%s", element.GetTagName().CastToCharPtr());
    for (const ZELBasAttributePair& attribute : element.GetAttributes()) {
      std::printf(" %s=\"%s\"", attribute.first.CastToCharPtr(), attribute.second.CastToCharPtr());
    }
    std::printf(": %s\n", element.GetData().CastToCharPtr());
  }
  return 0;
}
