// delete_drafts FILE: prints a page of mixed content without its elements of
// class "draft"; each goes with the white space before it, and the text
// around it stays in its place.
#include <cstdio>

#include "ZELBasXmlDocument.h"

static void DeleteDrafts(ZELBasXmlNode& node) {
  for (size_t i = node.Children().size(); i-- > 0;) {
    ZELString type;
    if (node.ChildAt(i).GetAttribute("class", type) == S_OK && type == "draft") {
      node.RemoveChild(i);
    } else {
      DeleteDrafts(node.ChildAt(i));
    }
  }
}

static bool Print(void*, const char* bytes, size_t length) {
  return std::fwrite(bytes, 1, length, stdout) == length;
}

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  ZELBasXmlDocument document;
  document.SetOptions(ZELBasXmlStandard | ZELBasXmlKeepLayout);
  if (document.ReadFile(argv[1]) != S_OK) return 1;
  DeleteDrafts(document.GetRoot());
  return document.WriteTo(&Print, nullptr) == S_OK ? 0 : 1;
}
