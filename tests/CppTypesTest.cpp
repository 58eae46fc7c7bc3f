// What a C++ program expects of the types: std::string and
// std::string_view in and out of strings and nodes, streams, a child
// appended and filled in place, matches edited in place, children removed
// by name; every parent link checked after the edits.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <string_view>

#include "ZELBasXmlDocument.h"

namespace {

using namespace std::string_literals;

// Every child below `node` links to the node that holds it.
void ExpectLinked(const ZELBasXmlNode& node) {
  for (size_t i = 0; i < node.Children().size(); ++i) {
    ZELBasXmlNode parent;
    ASSERT_EQ(node.ChildAt(i).GetParent(parent), S_OK);
    EXPECT_EQ(parent.GetTagName(), node.GetTagName());
    EXPECT_EQ(parent.Children().size(), node.Children().size());
    ExpectLinked(node.ChildAt(i));
  }
}

// The tree in the well-formed layout, without its line breaks and
// indentation.
std::string Line(const ZELBasXmlNode& node) {
  ZELString out;
  EXPECT_EQ(node.Serialize(out, ZELString(), ZELBasXmlWellFormed), S_OK);
  std::string text = out, line;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\n')
      line += text[i];
    else
      while (i + 1 < text.size() && text[i + 1] == ' ') ++i;
  }
  return line;
}

}  // namespace

TEST(CppTypesTest, StringsConvertToAndFromTheStandardOnesWithEveryByte) {
  const std::string bytes("a\0b", 3);
  ZELString fromString = bytes, fromView = std::string_view(bytes);
  std::string back = fromString;
  std::string_view view = fromView;
  EXPECT_EQ(back, bytes);
  EXPECT_EQ(view, bytes);
  EXPECT_EQ(std::string(ZELString()), "");
  // The standard types compare every byte; two strings, up to the first NUL.
  EXPECT_TRUE(fromString == bytes && bytes == fromString && fromString == std::string_view(bytes));
  EXPECT_TRUE(fromString != "a"s && "a"s != fromString && fromString != std::string_view("a"));
  EXPECT_TRUE(fromString == ZELString("a"));
  EXPECT_TRUE(ZELString("a") < "b"s && "a"s < ZELString("b") && !(ZELString("b") < std::string_view("a")));
  EXPECT_TRUE(ZELString("z") < ZELString("\xC3\xA9") && ZELString("z") < "\xC3\xA9"s) << "unsigned bytes";
  EXPECT_TRUE(ZELString("x") == "x" && "x" == ZELString("x"));
}

TEST(CppTypesTest, StringsPrintToStreamsAsTheirBytes) {
  std::ostringstream out;
  out << ZELString("tag") << '|' << std::string_view(ZELString()) << '|';
  out.width(5);
  out << ZELString("ab");
  out << ZELString(std::string_view("x\0y", 3));
  EXPECT_EQ(out.str(), "tag||   ab"s + std::string("x\0y", 3));
}

TEST(CppTypesTest, NodesTakeAndGiveStandardStrings) {
  ZELBasXmlNode node("item"s);
  node.SetData("Salt & pepper"s);
  node.InsertAttribute("sku"s, std::string_view("A-1"));
  std::string text = node.GetData(), tag = node.GetTagName();
  ZELString sku;
  EXPECT_EQ(node.GetAttribute("sku"s, sku), S_OK);
  EXPECT_EQ(text, "Salt & pepper");
  EXPECT_TRUE(tag == "item" && node.GetTagName() == "item"s && sku == "A-1"s);
  std::ostringstream out;
  out << node.GetTagName() << ": " << node.GetData();
  EXPECT_EQ(out.str(), "item: Salt & pepper");
}

TEST(CppTypesTest, AppendChildReturnsTheStoredChildToFillInPlace) {
  ZELBasXmlNode order("order");
  order.AppendChild("item").SetData("first");
  ZELBasXmlNode& second = order.AppendChild(ZELBasXmlNode("item"));
  second.InsertAttribute("n", "2");
  second.AppendChild("note").SetData("inner");
  EXPECT_EQ(&second, &order.ChildAt(1));
  // A node of the tree and the node itself are appended as they were.
  order.ChildAt(0).AppendChild(order.ChildAt(1));
  order.AppendChild(order).SetTagName("copy");
  EXPECT_EQ(Line(order),
            "<order><item>first<item n=\"2\"><note>inner</note></item></item>"
            "<item n=\"2\"><note>inner</note></item>"
            "<copy><item>first<item n=\"2\"><note>inner</note></item></item>"
            "<item n=\"2\"><note>inner</note></item></copy></order>");
  ExpectLinked(order);
  // The caller's node is not changed: it is no one's child.
  const ZELBasXmlNode mine("mine");
  order.AppendChild(mine);
  ZELBasXmlNode parent;
  EXPECT_EQ(mine.GetParent(parent), E_FAIL);
}

TEST(CppTypesTest, ForEachElementEditsEveryMatchInDocumentOrder) {
  ZELBasXmlDocument document;
  ASSERT_EQ(document.ReadString("<r><p>1</p><a><p>2<p>3</p></p><q/></a><p>4</p></r>"), S_OK);
  ZELBasXmlNode& root = document.GetRoot();
  std::string seen;
  root.ForEachElement("p", [&](ZELBasXmlNode& p) {
    seen += std::string(p.GetData());
    p.SetData(std::string(p.GetData()) + "0");
  });
  EXPECT_EQ(seen, "1234");
  const ZELBasXmlNode& constant = root;
  seen.clear();
  constant.ForEachElement("p", [&](const ZELBasXmlNode& p) { seen += std::string(p.GetData()) + " "; });
  EXPECT_EQ(seen, "10 20 30 40 ");
  // The root itself is no match; a visit may change the subtree of its node.
  int visits = 0;
  root.ForEachElement("r", [&](ZELBasXmlNode&) { ++visits; });
  root.ForEachElement("a", [&](ZELBasXmlNode& a) {
    a.RemoveChildren("p");
    a.AppendChild("p").AppendChild("p");
  });
  seen.clear();
  root.ForEachElement("p", [&](ZELBasXmlNode& p) { seen += std::string(p.GetData()) + " "; });
  EXPECT_EQ(visits, 0);
  EXPECT_EQ(seen, "10   40 ");
  ExpectLinked(root);
}

TEST(CppTypesTest, ForEachElementWalksAnyDepthWithoutRecursion) {
  ZELBasXmlNode top("top");
  ZELBasXmlNode* node = &top;
  for (int level = 0; level < 200000; ++level) node = &node->AppendChild(level % 2 == 0 ? "a" : "b");
  size_t found = 0;
  top.ForEachElement("b", [&](ZELBasXmlNode& b) { ++found, b.SetData("x"); });
  EXPECT_EQ(found, 100000u);
  EXPECT_EQ(node->GetData(), "x");
}

TEST(CppTypesTest, RemoveChildrenRemovesEveryMatchAndRelinksTheRest) {
  ZELBasXmlNode list("list");
  for (int i = 0; i < 6; ++i) {
    ZELBasXmlNode& child = list.AppendChild(i % 3 == 1 ? "gone" : "kept");
    child.InsertAttribute("i", std::to_string(i));
    child.AppendChild("inner").SetData(std::to_string(i));
  }
  EXPECT_EQ(list.RemoveChildren("gone"), 2u);
  EXPECT_EQ(list.RemoveChildren("none"), 0u);
  EXPECT_EQ(Line(list),
            "<list><kept i=\"0\"><inner>0</inner></kept><kept i=\"2\"><inner>2</inner></kept>"
            "<kept i=\"3\"><inner>3</inner></kept><kept i=\"5\"><inner>5</inner></kept></list>");
  ExpectLinked(list);
  EXPECT_EQ(list.RemoveChildren("kept"), 4u);
  EXPECT_EQ(Line(list), "<list/>");
}

// Removed from a kept layout, the children leave only their own bytes.
TEST(CppTypesTest, RemoveChildrenKeepsTheLayoutOfTheRest) {
  ZELBasXmlDocument document;
  document.SetOptions(ZELBasXmlStandard | ZELBasXmlKeepLayout);
  ASSERT_EQ(document.ReadString("<r>\n  <a/>\n  <legacy x='1'/>\n  <!-- c -->\n  <legacy/>\n  <b/>\n</r>"),
            S_OK);
  EXPECT_EQ(document.GetRoot().RemoveChildren("legacy"), 2u);
  ZELString out;
  ASSERT_EQ(document.WriteString(out), S_OK);
  EXPECT_EQ(std::string(out), "<r>\n  <a/>\n  <!-- c -->\n  <b/>\n</r>");
}
