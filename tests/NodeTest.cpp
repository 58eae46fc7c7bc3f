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

// a(id=1) > [b(id=2) > [a(id=3), c(id=4) > [a(id=5)]], a(id=6)]
ZELBasXmlNode SampleTree() {
  ZELBasXmlNode a3(ZELString("a")), a5(ZELString("a")), c4(ZELString("c")), b2(ZELString("b")),
      a6(ZELString("a")), a1(ZELString("a"));
  a1.InsertAttribute(ZELString("id"), ZELString("1"));
  b2.InsertAttribute(ZELString("id"), ZELString("2"));
  a3.InsertAttribute(ZELString("id"), ZELString("3"));
  c4.InsertAttribute(ZELString("id"), ZELString("4"));
  a5.InsertAttribute(ZELString("id"), ZELString("5"));
  a6.InsertAttribute(ZELString("id"), ZELString("6"));
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
  ZELBasXmlNode model(ZELString("model")), part(ZELString("part"));
  model.InsertAttribute(ZELString("version"), ZELString("2"));
  model.InsertAttribute(ZELString("name"), ZELString("m1"));
  part.InsertAttribute(ZELString("id"), ZELString("p1"));
  model.Append(part);
  ZELBasXmlNode nested(ZELString("note"));
  model.Append(nested);
  EXPECT_EQ(Render(model),
            "<model name=\"m1\" version=\"2\">\n"
            "    <part id=\"p1\"/>\n"
            "    <note/>\n"
            "</model>\n");
}

TEST(NodeTest, RendersNamesAndValuesRawAndSortedByBytes) {
  ZELBasXmlNode node(ZELString("r\xc3\xa9sum\xc3\xa9"));
  node.InsertAttribute(ZELString("\xc3\xa9t\xc3\xa9"), ZELString("<&\""));
  node.InsertAttribute(ZELString("b"), ZELString("x"));
  node.InsertAttribute(ZELString("B"), ZELString("y"));
  node.InsertAttribute(ZELString("b"), ZELString("z"));  // replaces, keeps one entry
  EXPECT_EQ(Render(node, "\t"), "\t<r\xc3\xa9sum\xc3\xa9 B=\"y\" b=\"z\" \xc3\xa9t\xc3\xa9=\"<&\"\"/>\n");
  EXPECT_EQ(Render(ZELBasXmlNode()), "</>\n");

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
  EXPECT_EQ(Names(found), "a3 a5 a6 c4 ");
  EXPECT_EQ(found[3].Children().size(), 1u) << "matches are whole subtrees";

  // Searching from a result into the same vector: the vector moves as it grows.
  found[3].GetElementsByTagName(ZELString("a"), found);
  EXPECT_EQ(Names(found), "a3 a5 a6 c4 a5 ");

  Nodes none;
  tree.GetElementsByTagName(ZELString("A"), none);
  tree.GetElementsByTagName(ZELString(""), none);
  EXPECT_EQ(none.size(), 0u);
}

TEST(NodeTest, SearchNeverIncludesTheStartingNode) {
  ZELBasXmlNode inner(ZELString("root")), x(ZELString("x")), outer(ZELString("root"));
  inner.InsertAttribute(ZELString("id"), ZELString("inner"));
  x.Append(inner);
  outer.Append(x);
  Nodes found;
  outer.GetElementsByTagName(ZELString("root"), found);
  EXPECT_EQ(Names(found), "rootinner ");
}

TEST(NodeTest, GetParentFailsOnRootsAndOrphans) {
  ZELBasXmlNode out(ZELString("untouched"));
  EXPECT_EQ(ZELBasXmlNode().GetParent(out), E_FAIL);
  ZELBasXmlNode tree = SampleTree();
  EXPECT_EQ(tree.GetParent(out), E_FAIL);
  EXPECT_STREQ(out.GetTagName().CastToCharPtr(), "untouched");

  ZELBasXmlNode child(ZELString("child"));
  tree.Append(child);  // links the caller's node too
  ASSERT_EQ(child.GetParent(out), S_OK);
  EXPECT_TRUE(out.IsRoot()) << "the root flag travels with the copy";
  ZELBasXmlNode above;
  EXPECT_EQ(out.GetParent(above), E_FAIL);
  child.SetRoot();
  ZELBasXmlNode orphan(ZELString("o"));
  orphan.Append(child);
  EXPECT_EQ(child.GetParent(out), E_FAIL);
}

TEST(NodeTest, ParentLinksSurviveCopyAssignmentAndGrowth) {
  AllocationScope scope;
  {
    // A chain d0 > d1 > ... > d9, each level with siblings appended later so
    // that the vectors holding the chain move.
    ZELBasXmlNode chain(ZELString("d9"));
    for (int level = 8; level >= 0; --level) {
      ZELBasXmlNode up(ZELString(("d" + std::to_string(level)).c_str()));
      up.Append(chain);
      chain = up;
    }
    ZELBasXmlNode copy(chain);
    ZELBasXmlNode assigned;
    assigned = copy;
    ZELBasXmlNode sibling(ZELString("s"));
    for (int i = 0; i < 20; ++i) assigned.Append(sibling);
    copy = ZELBasXmlNode();  // the sources are gone: links must not point there

    for (const ZELBasXmlNode* tree : {&chain, &assigned}) {
      const ZELBasXmlNode* deepest = tree;
      while (deepest->Children().size() != 0) deepest = &deepest->Children()[0];
      ASSERT_STREQ(deepest->GetTagName().CastToCharPtr(), "d9");
      ZELBasXmlNode walker(*deepest);
      for (int level = 8; level >= 0; --level) {
        ZELBasXmlNode up;
        ASSERT_EQ(walker.GetParent(up), S_OK) << level;
        ASSERT_EQ(std::string(up.GetTagName().CastToCharPtr()), "d" + std::to_string(level));
        walker = up;
      }
      ZELBasXmlNode none;
      EXPECT_EQ(walker.GetParent(none), E_FAIL);
    }
  }
}

TEST(NodeTest, CopiesAreIndependentAndSelfAssignmentKeepsTheTree) {
  AllocationScope scope;
  {
    ZELBasXmlNode tree = SampleTree();
    ZELBasXmlNode copy(tree);
    copy.InsertAttribute(ZELString("id"), ZELString("changed"));
    ZELBasXmlNode extra(ZELString("extra"));
    copy.Append(extra);
    const std::string before = Render(tree);
    EXPECT_EQ(before, Render(SampleTree()));
    EXPECT_NE(Render(copy), before);

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
