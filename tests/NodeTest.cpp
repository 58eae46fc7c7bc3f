// The node's behaviour, one case at a time: a tree from a line of XML, then
// the call and what it should give. Sequences of operations checked against
// a model are the node fuzzer's (fuzz/NodeApiFuzzer.cpp).
#include <gtest/gtest.h>

#include <string>

#include "AllocationScope.h"
#include "ZELBasXmlDocument.h"

namespace {

ZELString S(const char* text) { return ZELString(text); }
std::string Str(const ZELString& text) { return text.CastToCharPtr(); }

// The root of a document read from `xml`.
ZELBasXmlNode Xml(const char* xml) {
  ZELBasXmlDocument document;
  EXPECT_EQ(document.ReadString(S(xml)), S_OK) << xml;
  return document.GetRoot();
}

// A tree on one line, as XML without layout: what the tests compare.
std::string Line(const ZELBasXmlNode& node) {
  std::string line = "<" + Str(node.GetTagName());
  const ZELBasMap<ZELString, ZELString>& attributes = node.GetAttributes();
  for (auto it = attributes.begin(); it != attributes.end(); ++it)
    line += " " + Str(it->first) + "=\"" + Str(it->second) + "\"";
  if (node.Children().size() == 0 && node.GetData().GetLengthInBytes() == 0) return line + "/>";
  line += ">" + Str(node.GetData());
  for (const ZELBasXmlNode& child : node.Children()) line += Line(child);
  return line + "</" + Str(node.GetTagName()) + ">";
}

std::string Lines(const ZELBasVector<ZELBasXmlNode>& nodes) {
  std::string lines;
  for (const ZELBasXmlNode& node : nodes) lines += (lines.empty() ? "" : " ") + Line(node);
  return lines;
}

std::string ParentOf(const ZELBasXmlNode& node) {
  ZELBasXmlNode parent(S("none"));
  return node.GetParent(parent) == S_OK ? Line(parent) : "E_FAIL";
}

std::string Rendered(const ZELBasXmlNode& node, const char* indent) {
  ZELString out("before\n");
  EXPECT_EQ(node.Serialize(out, S(indent)), S_OK);
  return Str(out);
}

}  // namespace

TEST(NodeTest, ANewNodeIsEmptyAndHasNoParent) {
  ZELBasXmlNode node;
  EXPECT_EQ(Line(node), "</>");
  EXPECT_FALSE(node.IsRoot());
  EXPECT_EQ(ParentOf(node), "E_FAIL");
}

TEST(NodeTest, AppendStoresACopyAndLinksTheCallersChild) {
  ZELBasXmlNode a(S("a")), b(S("b"));
  EXPECT_EQ(a.Append(b), S_OK);
  b.SetTagName(S("changed"));
  EXPECT_EQ(Line(a), "<a><b/></a>");
  EXPECT_EQ(ParentOf(b), "<a><b/></a>");
  EXPECT_EQ(ParentOf(a.Children()[0]), "<a><b/></a>");
}

TEST(NodeTest, AppendingANodeToItselfAppendsItAsItWas) {
  ZELBasXmlNode a = Xml("<a><b/></a>");
  a.Append(a);
  EXPECT_EQ(Line(a), "<a><b/><a><b/></a></a>");
}

TEST(NodeTest, TheParentOfARootsChildIsARootAndHasNone) {
  ZELBasXmlNode tree = Xml("<r><c/></r>");
  ZELBasXmlNode parent;
  ASSERT_EQ(tree.Children()[0].GetParent(parent), S_OK);
  EXPECT_TRUE(parent.IsRoot());
  EXPECT_EQ(ParentOf(parent), "E_FAIL");
}

TEST(NodeTest, ARootHasNoParentEvenWhenAppended) {
  ZELBasXmlNode holder(S("h")), root(S("r"));
  root.SetRoot();
  holder.Append(root);
  EXPECT_EQ(ParentOf(root), "E_FAIL");
}

TEST(NodeTest, ACopyIsDeepAndItsChildrenLinkToIt) {
  ZELBasXmlNode tree = Xml("<a k=\"v\">t<b><c/></b></a>");
  ZELBasXmlNode copy(tree);
  ZELBasXmlNode extra(S("x"));
  tree.Append(extra);
  EXPECT_EQ(Line(copy), "<a k=\"v\">t<b><c/></b></a>");
  EXPECT_TRUE(copy.IsRoot());
  EXPECT_EQ(ParentOf(copy.Children()[0].Children()[0]), "<b><c/></b>");
}

TEST(NodeTest, AssignmentReplacesEveryPartAndTheRootFlag) {
  ZELBasXmlNode node = Xml("<old o=\"1\">text<x/></old>");
  node = ZELBasXmlNode(S("new"));
  EXPECT_EQ(Line(node), "<new/>");
  EXPECT_FALSE(node.IsRoot());
}

TEST(NodeTest, AssignmentFromAChildOrItselfKeepsTheSource) {
  ZELBasXmlNode tree = Xml("<a><b k=\"v\"><c/></b></a>");
  tree = tree;
  EXPECT_EQ(Line(tree), "<a><b k=\"v\"><c/></b></a>");
  tree = tree.Children()[0];
  EXPECT_EQ(Line(tree), "<b k=\"v\"><c/></b>");
  EXPECT_EQ(ParentOf(tree.Children()[0]), "<b k=\"v\"><c/></b>");
}

TEST(NodeTest, SearchFindsMatchesInDocumentOrderEachBeforeItsDescendants) {
  ZELBasXmlNode tree = Xml("<r><a i=\"1\"><a i=\"2\"/></a><b><a i=\"3\"/></b></r>");
  ZELBasVector<ZELBasXmlNode> found;
  EXPECT_EQ(tree.GetElementsByTagName(S("a"), found), S_OK);
  EXPECT_EQ(Lines(found), "<a i=\"1\"><a i=\"2\"/></a> <a i=\"2\"/> <a i=\"3\"/>");
}

TEST(NodeTest, SearchLeavesOutTheNodeItStartsFrom) {
  ZELBasXmlNode tree = Xml("<root><x><root>inner</root></x></root>");
  ZELBasVector<ZELBasXmlNode> found;
  tree.GetElementsByTagName(S("root"), found);
  EXPECT_EQ(Lines(found), "<root>inner</root>");
}

TEST(NodeTest, SearchAddsToWhatTheResultHeld) {
  ZELBasXmlNode tree = Xml("<r><a/><b/></r>");
  ZELBasVector<ZELBasXmlNode> found;
  tree.GetElementsByTagName(S("a"), found);
  tree.GetElementsByTagName(S("b"), found);
  tree.GetElementsByTagName(S("a"), found);
  EXPECT_EQ(Lines(found), "<a/> <b/> <a/>");
}

TEST(NodeTest, SearchMatchesWholeNamesByteForByte) {
  ZELBasXmlNode tree = Xml("<r><A/><aa/><a/></r>");
  ZELBasVector<ZELBasXmlNode> found;
  tree.GetElementsByTagName(S("a"), found);
  EXPECT_EQ(Lines(found), "<a/>");
}

TEST(NodeTest, SearchResultsKeepTheirParentLinks) {
  ZELBasXmlNode tree = Xml("<r><p><c/></p></r>");
  ZELBasVector<ZELBasXmlNode> found;
  tree.GetElementsByTagName(S("c"), found);
  EXPECT_EQ(ParentOf(found[0]), "<p><c/></p>");
}

TEST(NodeTest, AttributesAreWalkedInUnsignedByteOrder) {
  ZELBasXmlNode node(S("n"));
  for (const char* name : {"b", "\xC3\xA9", "a", "B"}) node.InsertAttribute(S(name), S("v"));
  EXPECT_EQ(Line(node), "<n B=\"v\" a=\"v\" b=\"v\" \xC3\xA9=\"v\"/>");
}

TEST(NodeTest, InsertingAnAttributeAgainReplacesItsValue) {
  ZELBasXmlNode node = Xml("<n b=\"1\" a=\"2\"/>");
  node.InsertAttribute(S("b"), S("3"));
  EXPECT_EQ(Line(node), "<n a=\"2\" b=\"3\"/>");
  ZELString value;
  EXPECT_EQ(node.GetAttribute(S("b"), value), S_OK);
  EXPECT_EQ(Str(value), "3");
}

TEST(NodeTest, SetDataReplacesTheText) {
  ZELBasXmlNode node = Xml("<n>first</n>");
  node.SetData(S("second"));
  EXPECT_EQ(Line(node), "<n>second</n>");
}

TEST(NodeTest, RenderingAppendsOneLinePerTagFourSpacesDeeperPerLevel) {
  EXPECT_EQ(Rendered(Xml("<a k=\"v\">t<b/><c>u<d/></c></a>"), "  "),
            "before\n"
            "  <a k=\"v\">t\n"
            "      <b/>\n"
            "      <c>u\n"
            "          <d/>\n"
            "      </c>\n"
            "  </a>\n");
}

TEST(NodeTest, RenderingEscapesNothing) {
  ZELBasXmlNode node(S("n"));
  node.InsertAttribute(S("q"), S("\"&<"));
  node.SetData(S("a<b&c"));
  EXPECT_EQ(Rendered(node, ""), "before\n<n q=\"\"&<\">a<b&c\n</n>\n");
}

// Growing a children vector moves its nodes; their own children must then
// link to where they moved.
TEST(NodeTest, ChildrenLinkToTheirParentAfterItsVectorGrew) {
  ZELBasXmlNode holder(S("h"));
  ZELBasXmlNode item(S("item")), leaf(S("leaf"));
  item.Append(leaf);
  for (int i = 0; i < 100; ++i) {
    item.SetData(ZELString(std::to_string(i).c_str()));
    holder.Append(item);
  }
  for (int i = 0; i < 100; ++i) {
    EXPECT_EQ(ParentOf(holder.Children()[i].Children()[0]), "<item>" + std::to_string(i) + "<leaf/></item>");
  }
}

// A copy, a search or an assignment that runs out of memory at any
// allocation leaks nothing and leaves its source as it was.
TEST(NodeTest, FailuresLeakNothingAndChangeNothing) {
  AllocationScope scope;
  ZELBasXmlNode tree = Xml("<a><b><d id=\"1\">x</d><c/></b><d id=\"1\">x</d></a>");
  const std::string before = Line(tree);
  for (uint64_t failAt = 1; failAt < 60; ++failAt) {
    mem_FailAfter(failAt);
    try {
      ZELBasXmlNode copy(tree);
      ZELBasVector<ZELBasXmlNode> found;
      copy.GetElementsByTagName(S("c"), found);
      copy = tree.Children()[0];
      tree = tree;
    } catch (const std::bad_alloc&) {
    }
    mem_FailAfter(0);
    ASSERT_EQ(Line(tree), before) << failAt;
  }
}
