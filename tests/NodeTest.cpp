#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "AllocationScope.h"
#include "ZELBasXmlNode.h"

namespace {

typedef ZELBasVector<ZELBasXmlNode> Nodes;

std::string Render(const ZELBasXmlNode& node, const char* indent = "") {
  ZELString out;
  EXPECT_EQ(node.Serialize(out, ZELString(indent)), S_OK);
  return out.CastToCharPtr();
}

std::string Names(const Nodes& nodes) {
  std::string names;
  for (const ZELBasXmlNode& n : nodes) {
    ZELString value;
    names += n.GetTagName().CastToCharPtr();
    if (n.GetAttribute(ZELString("id"), value) == S_OK) names += value.CastToCharPtr();
    names += ' ';
  }
  return names;
}

ZELBasXmlNode El(const char* name, const char* id = nullptr) {
  ZELBasXmlNode node{ZELString(name)};
  if (id != nullptr) node.InsertAttribute(ZELString("id"), ZELString(id));
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

TEST(NodeTest, RendersTheWorkedExampleByteForByte) {
  ZELBasXmlNode model = El("model"), part = El("part", "p1"), note = El("note");
  model.InsertAttribute(ZELString("version"), ZELString("2"));
  model.InsertAttribute(ZELString("name"), ZELString("m1"));
  model.Append(part);
  model.Append(note);
  EXPECT_EQ(Render(model),
            "<model name=\"m1\" version=\"2\">\n    <part id=\"p1\"/>\n    <note/>\n</model>\n");
}

TEST(NodeTest, RendersNamesAndValuesRawAndSortedByBytes) {
  ZELBasXmlNode node = El("r\xc3\xa9sum\xc3\xa9");
  node.InsertAttribute(ZELString("\xc3\xa9t\xc3\xa9"), ZELString("<&\""));
  node.InsertAttribute(ZELString("b"), ZELString("x"));
  node.InsertAttribute(ZELString("B"), ZELString("y"));
  node.InsertAttribute(ZELString("b"), ZELString("z"));  // replaces
  node.SetData(ZELString("first"));
  node.SetData(ZELString("a<b"));  // replaces
  EXPECT_EQ(
      Render(node, "\t"),
      "\t<r\xc3\xa9sum\xc3\xa9 B=\"y\" b=\"z\" \xc3\xa9t\xc3\xa9=\"<&\"\">a<b\n\t</r\xc3\xa9sum\xc3\xa9>\n");
  // Serialize appends to what the caller holds.
  ZELString out("kept ");
  ZELBasXmlNode().Serialize(out, ZELString());
  EXPECT_STREQ(out.CastToCharPtr(), "kept </>\n");
}

TEST(NodeTest, RendersNestingFourSpacesPerLevelAfterTheCallersIndent) {
  EXPECT_EQ(Render(SampleTree(), ">"),
            "><a id=\"1\">\n"
            ">    <b id=\"2\">\n"
            ">        <a id=\"3\"/>\n"
            ">        <c id=\"4\">\n"
            ">            <a id=\"5\"/>\n"
            ">        </c>\n"
            ">    </b>\n"
            ">    <a id=\"6\"/>\n"
            "></a>\n");
}

TEST(NodeTest, SearchFindsDescendantsInDocumentOrderAndAccumulates) {
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

  ZELBasXmlNode inner = El("root", "inner"), x = El("x"), outer = El("root");
  x.Append(inner);
  outer.Append(x);
  Nodes roots;
  outer.GetElementsByTagName(ZELString("root"), roots);
  EXPECT_EQ(Names(roots), "rootinner ");
}

TEST(NodeTest, GetParentFailsOnRootsAndOrphans) {
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
}

TEST(NodeTest, ParentLinksSurviveCopyAssignmentAndGrowth) {
  AllocationScope scope;
  {
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
    for (const ZELBasXmlNode* tree : {&chain, &assigned}) {
      const ZELBasXmlNode* deepest = tree;
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
}

TEST(NodeTest, CopiesAreIndependentAndSelfAssignmentKeepsTheTree) {
  AllocationScope scope;
  {
    ZELBasXmlNode tree = SampleTree(), extra = El("extra");
    ZELBasXmlNode copy(tree);
    copy.InsertAttribute(ZELString("id"), ZELString("changed"));
    copy.Append(extra);
    const std::string before = Render(tree);
    EXPECT_EQ(before, Render(SampleTree()));
    tree = tree;
    EXPECT_EQ(Render(tree), before);
    // Assigning a node from inside its own subtree.
    ZELBasXmlNode inner = tree.Children()[0];
    tree = tree.Children()[0];
    EXPECT_EQ(Render(tree), Render(inner));
  }
}

TEST(NodeTest, FailedCopiesLeakNothing) {
  AllocationScope scope;
  ZELBasXmlNode tree = SampleTree();
  for (uint64_t failAt = 1; failAt < 60; ++failAt) {
    mem_FailAfter(failAt);
    try {
      ZELBasXmlNode copy(tree);
      Nodes found;
      copy.GetElementsByTagName(ZELString("a"), found);
      copy = tree.Children()[0];
    } catch (const std::bad_alloc&) {
    }
    mem_FailAfter(0);
  }
  EXPECT_EQ(Render(tree), Render(SampleTree()));
}
