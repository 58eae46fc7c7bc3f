// Edits a settings file in place: an attribute and a text changed, an element
// added and one removed; then reads the file back to see it holds the edit.
//
//   edit_settings FILE
#include <cstdio>

#include "ZELBasXmlDocument.h"

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  // Whole texts in, escaped text out: what is written reads back the same.
  ZELBasXmlDocument document;
  document.SetOptions(ZELBasXmlStandard);
  if (document.ReadFile(argv[1]) != S_OK) return 1;  // not read, or not well-formed

  ZELBasXmlNode& root = document.GetRoot();
  ZELBasXmlNode* window = root.FirstChild("window");
  ZELBasXmlNode* title = root.FirstChild("title");
  if (window == nullptr || title == nullptr) return 1;
  window->InsertAttribute("width", "1280");
  title->SetData("Sales & returns <2026>");
  root.AppendChild("recent").SetData("/srv/reports/q4.csv");
  root.RemoveChildren("legacy");
  if (document.WriteFile(argv[1]) != S_OK) return 1;  // replaced only once all is written

  ZELBasXmlDocument saved;
  saved.SetOptions(ZELBasXmlStandard);
  ZELString before, after;
  bool same = saved.ReadFile(argv[1]) == S_OK && document.WriteString(before) == S_OK &&
              saved.WriteString(after) == S_OK && before == after;
  std::printf("%s: %s\n", argv[1], same ? "saved, and reads back the same" : "NOT the same");
  return same ? 0 : 1;
}
