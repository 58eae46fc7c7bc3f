// Builds a document in code, with text and values that need escaping, and
// writes it as well-formed XML to a file.
//
//   write_escaped FILE
#include "ZELBasXmlDocument.h"

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  ZELBasXmlDocument document;
  document.SetOptions(ZELBasXmlStandard);
  ZELBasXmlNode& order = document.GetRoot();
  order.SetTagName("order");
  order.InsertAttribute("customer", "O'Neil & \"Sons\"");
  order.InsertAttribute("lines", "2\tboxes\n");  // a tab and a line feed kept

  ZELBasXmlNode& item = order.AppendChild("item");  // valid until the next child is appended
  item.InsertAttribute("sku", "A-100");
  item.SetData("Salt & Pepper");

  // Text beside children: written without added white space, so that no
  // reader takes indentation for part of it.
  ZELBasXmlNode& note = order.AppendChild("note");
  note.SetData("Deliver ");
  note.AppendChild("b").SetData("after 9 <not before>");
  return document.WriteFile(argv[1]) == S_OK ? 0 : 1;
}
