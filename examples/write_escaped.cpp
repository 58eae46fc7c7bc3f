// Builds a document in code, with text and values that need escaping, and
// writes it as well-formed XML to a file.
//
//   write_escaped FILE
#include "ZELBasXmlDocument.h"

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  ZELBasXmlNode order(ZELString("order"));
  order.InsertAttribute(ZELString("customer"), ZELString("O'Neil & \"Sons\""));
  order.InsertAttribute(ZELString("lines"), ZELString("2\tboxes\n"));  // a tab and a line feed kept

  ZELBasXmlNode item(ZELString("item"));
  item.InsertAttribute(ZELString("sku"), ZELString("A-100"));
  item.SetData(ZELString("Salt & Pepper"));
  order.Append(item);

  // Text beside children: written without added white space, so that no
  // reader takes indentation for part of it.
  ZELBasXmlNode note(ZELString("note"));
  ZELBasXmlNode emphasis(ZELString("b"));
  emphasis.SetData(ZELString("after 9 <not before>"));
  note.SetData(ZELString("Deliver "));
  note.Append(emphasis);
  order.Append(note);

  ZELBasXmlDocument document;
  document.SetOptions(ZELBasXmlWellFormed);
  if (document.SetRootElement(order) != S_OK) return 1;
  return document.WriteFile(ZELString(argv[1])) == S_OK ? 0 : 1;
}
