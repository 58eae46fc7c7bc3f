// Edits a settings file in place: an attribute and a text changed, an element
// added and one removed; then reads the file back to see it holds the edit.
//
//   edit_settings FILE
#include <cstdio>

#include "ZELBasXmlDocument.h"

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  // Whole texts in, escaped text out: what is written reads back the same.
  const unsigned long options = ZELBasXmlWholeText | ZELBasXmlWellFormed;
  ZELBasXmlDocument document;
  document.SetOptions(options);
  ZELString message;
  unsigned long line = 0, column = 0;
  if (document.ReadFile(argv[1]) != S_OK || document.GetParseError(message, line, column) == S_OK) return 1;

  ZELBasXmlNode& root = document.GetRoot();
  ZELBasXmlNode* window = root.FirstChild(ZELString("window"));
  ZELBasXmlNode* title = root.FirstChild(ZELString("title"));
  if (window == nullptr || title == nullptr) return 1;
  window->InsertAttribute(ZELString("width"), ZELString("1280"));
  title->SetData(ZELString("Sales & returns <2026>"));
  ZELBasXmlNode recent(ZELString("recent"));
  recent.SetData(ZELString("/srv/reports/q4.csv"));
  root.Append(recent);
  for (size_t i = root.Children().size(); i-- > 0;)
    if (root.ChildAt(i).GetTagName() == "legacy") root.RemoveChild(i);
  if (document.WriteFile(argv[1]) != S_OK) return 1;  // replaced only once all is written

  ZELBasXmlDocument saved;
  saved.SetOptions(options);
  ZELString before, after;
  bool same = saved.ReadFile(argv[1]) == S_OK && saved.GetParseError(message, line, column) != S_OK &&
              document.WriteString(before) == S_OK && saved.WriteString(after) == S_OK && before == after;
  std::printf("%s: %s\n", argv[1], same ? "saved, and reads back the same" : "NOT the same");
  return same ? 0 : 1;
}
