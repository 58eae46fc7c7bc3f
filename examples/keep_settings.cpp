// Changes one setting of a commented settings file and saves it: its
// comments, quotes and white space stay as they were, and a diff of the
// file shows the one value that changed.
//
//   keep_settings FILE ELEMENT ATTRIBUTE VALUE
//   keep_settings settings.xml window width 1280
#include "ZELBasXmlDocument.h"

int main(int argc, char** argv) {
  if (argc != 5) return 2;
  ZELBasXmlDocument document;
  // The standard options (whole texts, reads that fail on malformed input),
  // and the file's own layout kept for the write.
  document.SetOptions(ZELBasXmlStandard | ZELBasXmlKeepLayout);
  if (document.ReadFile(argv[1]) != S_OK) return 1;  // not read, or not well-formed
  ZELBasXmlNode* element = document.GetRoot().FirstChild(argv[2]);
  if (element == nullptr) return 1;
  element->InsertAttribute(argv[3], argv[4]);
  return document.WriteFile(argv[1]) == S_OK ? 0 : 1;  // replaced only once all is written
}
