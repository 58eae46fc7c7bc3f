// Builds a tree with the node API and renders it as indented XML text.
//
//   build_tree
//
// Append adds a copy of the child, so each node is filled before it is
// appended. (A document's root is filled only by reading: to write a file
// with the document's header lines, read XML text with ReadString or
// ReadFile, then call WriteFile.)
#include <cstdio>
#include <string_view>

#include "ZELBasXmlNode.h"

namespace {

ZELBasXmlNode Line(const char* sku, const char* quantity) {
  ZELBasXmlNode line(ZELString("line"));
  line.InsertAttribute(ZELString("sku"), ZELString(sku));
  line.InsertAttribute(ZELString("quantity"), ZELString(quantity));
  return line;
}

}  // namespace

int main() {
  ZELBasXmlNode order(ZELString("order"));
  order.InsertAttribute(ZELString("id"), ZELString("1042"));
  order.InsertAttribute(ZELString("customer"), ZELString("c-77"));

  ZELBasXmlNode lines(ZELString("lines"));
  ZELBasXmlNode hammer = Line("A-100", "2");
  ZELBasXmlNode pot = Line("C-310", "1");
  lines.Append(hammer);
  lines.Append(pot);
  order.Append(lines);

  ZELBasXmlNode delivery(ZELString("delivery"));
  delivery.InsertAttribute(ZELString("warehouse"), ZELString("north"));
  // Text is written as it is: nothing is escaped, so it holds no <, & or ".
  delivery.SetData(ZELString(std::string_view("Back door; ring twice")));
  order.Append(delivery);

  // Serialize appends to the string it is given. Attributes come out sorted
  // by name; elements with neither text nor children close with "/>", and
  // the end tag of an element with text has a line of its own.
  ZELString text("<!-- order 1042 -->\n");
  order.Serialize(text, ZELString());
  std::string_view bytes = text;
  std::fwrite(bytes.data(), 1, bytes.size(), stdout);

  // The search works on trees built by hand as on trees read from text. It
  // appends to the vector it is given: clear() empties it for the next.
  ZELBasVector<ZELBasXmlNode> found;
  order.GetElementsByTagName(ZELString("line"), found);
  std::printf("<!-- %d lines -->\n", static_cast<int>(found.size()));
  found.clear();
  order.GetElementsByTagName(ZELString("delivery"), found);
  for (const ZELBasXmlNode& node : found) {
    ZELString warehouse;
    node.GetAttribute(ZELString("warehouse"), warehouse);
    std::printf("<!-- from %s%s -->\n", warehouse.CastToCharPtr(),
                warehouse == "north" ? ", the main store" : "");
  }
  return 0;
}
