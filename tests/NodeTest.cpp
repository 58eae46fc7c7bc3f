#include <gtest/gtest.h>

#include <string>

#include "AllocationScope.h"
#include "ZELBasXmlNode.h"

namespace {

typedef ZELBasVector<ZELBasXmlNode> Nodes;

std::string Render(const ZELBasXmlNode& node, const char* indent = "") {
  ZELString out;
  EXPECT_EQ(node.Serialize(out, ZELString(indent)), S_OK);
  return out.CastToCharPtr();
}

// Tag names and ids, in order.
std::string Names(const Nodes& nodes) {
  std::string names;
  for (const ZELBasXmlNode& n : nodes) {
    ZELString id;
    n.GetAttribute(ZELString("id"), id);
    names += std::string(n.GetTagName().CastToCharPtr()) + id.CastToCharPtr() + ' ';
  }
  return names;
}

ZELBasXmlNode El(const char* name, const char* id = "") {
  ZELBasXmlNode node{ZELString(name)};
  if (*id != '\0') node.InsertAttribute(ZELString("id"), ZELString(id));
  return node;
}

// a1 > [b2 > [a3, c4 > [a5]], a6]
ZELBasXmlNode SampleTree() {
  ZELBasXmlNode a1 = El("a", "1"), b2 = El("b", "2"), c4 = El("c", "4"), a5 = El("a", "5");
  ZELBasXmlNode a3 = El("a", "3"), a6 = El("a", "6");
  c4.Append(a5);
  b2.Append(a3);
  b2.Append(c4);
  a1.Append(b2);
  a1.Append(a6);
  a1.SetRoot();
  return a1;
}

}  // namespace

TEST(NodeTest, RendersAttributesInByteOrderTextRawAndFourSpacesPerLevel) {
  ZELBasXmlNode tree = SampleTree(), leaf = El("r\xc3\xa9sum\xc3\xa9");
  leaf.InsertAttribute(ZELString("\xc3\xa9t\xc3\xa9"), ZELString("<&\""));
  leaf.InsertAttribute(ZELString("b"), ZELString("x"));
  leaf.InsertAttribute(ZELString("B"), ZELString("y"));
  leaf.InsertAttribute(ZELString("b"), ZELString("z"));  // replaces
  leaf.SetData(ZELString("first"));
  leaf.SetData(ZELString("a<b"));  // replaces
  tree.Append(leaf);
  EXPECT_EQ(Render(tree, ">"),
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

TEST(NodeTest, SearchFindsDescendantsInDocumentOrderAndAppends) {
  ZELBasXmlNode tree = SampleTree();
  Nodes found;
  EXPECT_EQ(tree.GetElementsByTagName(ZELString("a"), found), S_OK);
  EXPECT_EQ(Names(found), "a3 a5 a6 ");
  tree.GetElementsByTagName(ZELString("c"), found);
  EXPECT_EQ(found[3].Children().size(), 1u);
  // The vector moves as it grows while found[3] is searched.
  found[3].GetElementsByTagName(ZELString("a"), found);
  EXPECT_EQ(Names(found), "a3 a5 a6 c4 a5 ");
  tree.GetElementsByTagName(ZELString("A"), found);
  EXPECT_EQ(found.size(), 5u);
}

TEST(NodeTest, ParentLinksFailOnRootsAndOrphansAndSurviveCopiesAssignmentAndGrowth) {
  AllocationScope scope;
  ZELBasXmlNode out = El("untouched"), tree = SampleTree(), child = El("child"), orphan = El("o");
  EXPECT_EQ(ZELBasXmlNode().GetParent(out), E_FAIL);
  EXPECT_EQ(tree.GetParent(out), E_FAIL);
  EXPECT_STREQ(out.GetTagName().CastToCharPtr(), "untouched");
  tree.Append(child);  // links the caller's node too
  ASSERT_EQ(child.GetParent(out), S_OK);
  EXPECT_TRUE(out.IsRoot());
  EXPECT_EQ(out.GetParent(tree), E_FAIL);
  child.SetRoot();
  orphan.Append(child);
  EXPECT_EQ(child.GetParent(out), E_FAIL);

  ZELBasXmlNode chain = El("d9");  // d0 > d1 > ... > d9
  for (int level = 8; level >= 0; --level) {
    ZELBasXmlNode up = El(("d" + std::to_string(level)).c_str());
    up.Append(chain);
    chain = up;
  }
  ZELBasXmlNode copy(chain), assigned, sibling = El("s");
  assigned = copy;
  for (int i = 0; i < 20; ++i) assigned.Append(sibling);  // moves the chain's vector
  copy = ZELBasXmlNode();                                 // links must not point into the sources
  for (const ZELBasXmlNode* top : {&chain, &assigned}) {
    const ZELBasXmlNode* deepest = top;
    while (deepest->Children().size() != 0) deepest = &deepest->Children()[0];
    ZELBasXmlNode walker(*deepest), up;
    std::string path = walker.GetTagName().CastToCharPtr();
    while (path.size() < 100 && walker.GetParent(up) == S_OK) {
      path = std::string(up.GetTagName().CastToCharPtr()) + ">" + path;
      walker = up;
    }
    EXPECT_EQ(path, "d0>d1>d2>d3>d4>d5>d6>d7>d8>d9");
  }
}

TEST(NodeTest, CopiesAreIndependentAssignmentFromInsideKeepsAndFailuresLeakNothing) {
  AllocationScope scope;
  ZELBasXmlNode tree = SampleTree(), extra = El("extra");
  const std::string before = Render(tree);
  ZELBasXmlNode copy(tree);
  copy.InsertAttribute(ZELString("id"), ZELString("changed"));
  copy.Append(extra);
  tree = tree;
  EXPECT_EQ(Render(tree), before);
  for (uint64_t failAt = 1; failAt < 60; ++failAt) {
    mem_FailAfter(failAt);
    try {
      ZELBasXmlNode failing(tree);
      Nodes found;
      failing.GetElementsByTagName(ZELString("a"), found);
      failing = tree.Children()[0];
    } catch (const std::bad_alloc&) {
    }
    mem_FailAfter(0);
  }
  EXPECT_EQ(Render(tree), before);
  // Assigning a node from inside its own subtree.
  ZELBasXmlNode inner = tree.Children()[0];
  tree = tree.Children()[0];
  EXPECT_EQ(Render(tree), Render(inner));
}
