// Reads an XML file and prints an outline of its elements: one line per
// element, indented two spaces per level, with its attributes in name order
// and its text when that holds more than white space.
//
//   outline FILE
#include <cstdio>
#include <cstring>

#include "ZELBasXmlDocument.h"

namespace {

// True when the text holds something besides spaces, tabs and line breaks.
bool HasVisibleText(const ZELString& text) {
  for (const char* c = text.CastToCharPtr(); *c != '\0'; ++c) {
    if (std::strchr(" \t\r\n", *c) == nullptr) return true;
  }
  return false;
}

// One line for `node`, then its children one level further in. The
// recursion is as deep as the tree, which suits an outline meant for reading.
void PrintOutline(const ZELBasXmlNode& node, int depth) {
  std::printf("%*s%s", depth * 2, "", node.GetTagName().CastToCharPtr());
  const ZELBasMap<ZELString, ZELString>& attributes = node.GetAttributes();
  for (ZELBasMap<ZELString, ZELString>::const_iterator it = attributes.begin(); it != attributes.end();
       ++it) {
    std::printf(" %s=\"%s\"", it->first.CastToCharPtr(), it->second.CastToCharPtr());
  }
  // The text is the last piece of character data the parser gave the
  // element: for an element with children, usually the white space before
  // its end tag.
  if (HasVisibleText(node.GetData())) std::printf(": %s", node.GetData().CastToCharPtr());
  std::printf("\n");
  for (const ZELBasXmlNode& child : node.Children()) PrintOutline(child, depth + 1);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: outline FILE\n");
    return 2;
  }
  ZELBasXmlDocument document;
  // E_FAIL only when the file cannot be opened; a parse error is reported on
  // standard error and leaves the elements read up to it.
  if (document.ReadFile(ZELString(argv[1])) != S_OK) {
    std::fprintf(stderr, "outline: cannot open %s\n", argv[1]);
    return 2;
  }
  PrintOutline(document.GetRoot(), 0);
  // After a parse error the outline above ends where the error came.
  ZELString message;
  unsigned long line = 0, column = 0;
  if (document.GetParseError(message, line, column) == S_OK) {
    std::fprintf(stderr, "outline: %s:%lu:%lu: %s\n", argv[1], line, column, message.CastToCharPtr());
    return 1;
  }
  return 0;
}
