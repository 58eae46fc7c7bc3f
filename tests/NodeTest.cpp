// The node's layout and its behaviour when memory runs out. Its operations
// against a model of the tree are the node fuzzer's (fuzz/NodeApiFuzzer.cpp),
// whose inputs every build replays.
#include <gtest/gtest.h>

#include <string>

#include "AllocationScope.h"
#include "ZELBasXmlNode.h"

namespace {

std::string Render(const ZELBasXmlNode& node, const char* indent = "") {
  ZELString out;
  EXPECT_EQ(node.Serialize(out, ZELString(indent)), S_OK);
  return out.CastToCharPtr();
}

ZELBasXmlNode El(const char* name, const char* id = "") {
  ZELBasXmlNode node{ZELString(name)};
  if (*id != '\0') node.InsertAttribute(ZELString("id"), ZELString(id));
  return node;
}

// a1 > [b2 > [a3, c4 > [a5]], a6, résumé with attributes and text]
ZELBasXmlNode SampleTree() {
  ZELBasXmlNode a1 = El("a", "1"), b2 = El("b", "2"), c4 = El("c", "4"), a5 = El("a", "5");
  ZELBasXmlNode a3 = El("a", "3"), a6 = El("a", "6"), leaf = El("r\xc3\xa9sum\xc3\xa9");
  leaf.InsertAttribute(ZELString("\xc3\xa9t\xc3\xa9"), ZELString("<&\""));
  leaf.InsertAttribute(ZELString("b"), ZELString("x"));
  leaf.InsertAttribute(ZELString("B"), ZELString("y"));
  leaf.InsertAttribute(ZELString("b"), ZELString("z"));  // replaces
  leaf.SetData(ZELString("first"));
  leaf.SetData(ZELString("a<b"));  // replaces
  c4.Append(a5);
  b2.Append(a3);
  b2.Append(c4);
  for (ZELBasXmlNode* child : {&b2, &a6, &leaf}) a1.Append(*child);
  a1.SetRoot();
  return a1;
}

}  // namespace

TEST(NodeTest, RendersAttributesInByteOrderTextRawAndFourSpacesPerLevel) {
  EXPECT_EQ(Render(SampleTree(), ">"),
            "><a id=\"1\">\n"
            ">    <b id=\"2\">\n"
            ">        <a id=\"3\"/>\n"
            ">        <c id=\"4\">\n"
            ">            <a id=\"5\"/>\n"
            ">        </c>\n"
            ">    </b>\n"
            ">    <a id=\"6\"/>\n"
            ">    <r\xc3\xa9sum\xc3\xa9 B=\"y\" b=\"z\" \xc3\xa9t\xc3\xa9=\"<&\"\">a<b\n"
            ">    </r\xc3\xa9sum\xc3\xa9>\n"
            "></a>\n");
  // Serialize appends to what the caller holds.
  ZELString out("kept ");
  ZELBasXmlNode().Serialize(out, ZELString());
  EXPECT_STREQ(out.CastToCharPtr(), "kept </>\n");
}

// A copy, a search or an assignment that runs out of memory at any
// allocation leaks nothing and leaves its source as it was.
TEST(NodeTest, FailuresLeakNothing) {
  AllocationScope scope;
  ZELBasXmlNode tree = SampleTree();
  const std::string before = Render(tree);
  for (uint64_t failAt = 1; failAt < 80; ++failAt) {
    mem_FailAfter(failAt);
    try {
      ZELBasXmlNode copy(tree);
      ZELBasVector<ZELBasXmlNode> found;
      copy.GetElementsByTagName(ZELString("a"), found);
      copy = tree.Children()[0];
      tree = tree;
    } catch (const std::bad_alloc&) {
    }
    mem_FailAfter(0);
    ASSERT_EQ(Render(tree), before) << failAt;
  }
}
