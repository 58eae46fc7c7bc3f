// Editing a tree in place: children by index and tag, removals, a new root,
// the options; every parent link checked after each edit.
#include <gtest/gtest.h>

#include <string>

#include "StderrCapture.h"
#include "ZELBasXmlDocument.h"

namespace {

std::string Text(const ZELString& s) { return std::string(s.CastToCharPtr(), s.GetLengthInBytes()); }

// Every child below `node` links to the node that holds it, and that node
// stands where the child's copy of it says (a stale link copies another).
void ExpectLinked(const ZELBasXmlNode& node) {
  for (size_t i = 0; i < node.Children().size(); ++i) {
    const ZELBasXmlNode& child = node.ChildAt(i);
    ZELBasXmlNode parent;
    ASSERT_EQ(child.GetParent(parent), S_OK);
    EXPECT_EQ(Text(parent.GetTagName()), Text(node.GetTagName()));
    EXPECT_EQ(parent.Children().size(), node.Children().size());
    ExpectLinked(child);
  }
}

std::string Render(const ZELBasXmlNode& node) {
  ZELString out;
  EXPECT_EQ(node.Serialize(out, ZELString()), S_OK);
  return Text(out);
}

// The tree on one line: the well-formed layout without its line breaks
// and indentation.
std::string Line(const ZELBasXmlNode& node) {
  ZELString out;
  EXPECT_EQ(node.Serialize(out, ZELString(), ZELBasXmlWellFormed), S_OK);
  std::string text = Text(out), line;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\n') {
      line += text[i];
      continue;
    }
    while (i + 1 < text.size() && text[i + 1] == ' ') ++i;
  }
  return line;
}

// How many times GetParent climbs from `node` before it fails.
size_t Climb(const ZELBasXmlNode& node) {
  ZELBasXmlNode at = node, up;
  size_t steps = 0;
  for (; steps < 100 && at.GetParent(up) == S_OK; ++steps) at = up;
  return steps;
}

ZELBasXmlNode Built() {
  ZELBasXmlNode r(ZELString("r")), a(ZELString("a")), b(ZELString("b")), c(ZELString("c"));
  b.SetData(ZELString("t"));
  a.Append(b);
  r.Append(a);
  r.Append(c);
  return r;
}

}  // namespace

// A document read from `xml`, whose root the tests edit.
struct Read {
  explicit Read(const char* xml) { EXPECT_EQ(document.ReadString(ZELString(xml)), S_OK) << xml; }
  ZELBasXmlNode& Root() { return document.GetRoot(); }
  ZELBasXmlDocument document;
};

const char kTree[] = "<r><a><x/></a><b k='1' j='2'><y><z/></y></b><c><w/></c></r>";

TEST(EditTest, FirstChildFindsTheFirstOfThatNameOrNone) {
  Read read("<r><a/><b n='1'/><b n='2'/></r>");
  ZELString n;
  ASSERT_NE(read.Root().FirstChild(ZELString("b")), nullptr);
  read.Root().FirstChild(ZELString("b"))->GetAttribute(ZELString("n"), n);
  EXPECT_EQ(Text(n), "1");
  EXPECT_EQ(read.Root().FirstChild(ZELString("q")), nullptr);
}

TEST(EditTest, ARemovedChildTakesItsSubtreeAndTheOthersStayLinked) {
  Read read(kTree);
  EXPECT_EQ(read.Root().RemoveChild(0), S_OK);
  ExpectLinked(read.Root());
  EXPECT_EQ(Line(read.Root()), "<r><b j=\"2\" k=\"1\"><y><z/></y></b><c><w/></c></r>");
  EXPECT_EQ(read.Root().RemoveChild(1), S_OK);
  EXPECT_EQ(read.Root().RemoveChild(0), S_OK);
  EXPECT_EQ(Render(read.Root()), "<r/>\n");
}

TEST(EditTest, RemovalsPastTheEndOrOfNothingFailAndChangeNothing) {
  Read read(kTree);
  EXPECT_EQ(read.Root().RemoveChild(3), E_FAIL);
  EXPECT_EQ(read.Root().ChildAt(1).RemoveAttribute(ZELString("q")), E_FAIL);
  EXPECT_EQ(Line(read.Root()), "<r><a><x/></a><b j=\"2\" k=\"1\"><y><z/></y></b><c><w/></c></r>");
}

TEST(EditTest, AnAttributeRemovedLeavesTheOthersInOrder) {
  Read read("<r c='3' a='1' b='2'/>");
  EXPECT_EQ(read.Root().RemoveAttribute(ZELString("b")), S_OK);
  EXPECT_EQ(Line(read.Root()), "<r a=\"1\" c=\"3\"/>");
}

TEST(EditTest, ChildrenChangedInPlaceStayLinked) {
  Read read(kTree);
  read.Root().FirstChild(ZELString("b"))->SetData(ZELString("t"));
  ZELBasXmlNode added(ZELString("d"));
  read.Root().ChildAt(2).Append(added);
  EXPECT_EQ(read.Root().ChildAt(1).ChildAt(0).RemoveChild(0), S_OK);
  ExpectLinked(read.Root());
  EXPECT_EQ(Render(read.Root()),
            "<r>\n    <a>\n        <x/>\n    </a>\n    <b j=\"2\" k=\"1\">t\n        <y/>\n    </b>\n"
            "    <c>\n        <w/>\n        <d/>\n    </c>\n</r>\n");
}

TEST(EditTest, ANodeOfTheTreeBecomesItsRoot) {
  ZELBasXmlDocument d;
  ASSERT_EQ(d.ReadString(ZELString("<r><a><b><c/></b></a></r>")), S_OK);
  EXPECT_FALSE(d.GetRoot().ChildAt(0).IsRoot());
  ASSERT_EQ(d.SetRootElement(d.GetRoot().ChildAt(0)), S_OK);
  EXPECT_TRUE(d.GetRoot().IsRoot());
  ZELBasXmlNode none;
  EXPECT_EQ(d.GetRoot().GetParent(none), E_FAIL);
  ExpectLinked(d.GetRoot());
  EXPECT_EQ(Render(d.GetRoot()), "<a>\n    <b>\n        <c/>\n    </b>\n</a>\n");
  // An incomplete read is not continued into the new root.
  StderrCapture report;
  EXPECT_EQ(d.ReadString(ZELString("<open>")), E_FAIL);
  report.Stop();
  ASSERT_EQ(d.SetRootElement(ZELBasXmlNode(ZELString("n"))), S_OK);
  EXPECT_EQ(d.ReadString(ZELString("<m/>")), S_OK);
  EXPECT_EQ(Render(d.GetRoot()), "<m/>\n");
}

TEST(EditTest, OptionsAreCheckedAndQuietReadsKeepTheError) {
  ZELBasXmlDocument d;
  EXPECT_EQ(d.GetOptions(), 0UL);
  EXPECT_EQ(d.SetOptions(ZELBasXmlQuiet | ZELBasXmlWholeText), S_OK);
  EXPECT_EQ(d.SetOptions(1UL << 30), E_FAIL);
  EXPECT_EQ(d.GetOptions(), static_cast<unsigned long>(ZELBasXmlQuiet | ZELBasXmlWholeText));
  StderrCapture report;
  EXPECT_EQ(d.ReadString(ZELString("<a>\n<b></a>")), E_FAIL);
  EXPECT_EQ(report.Stop(), "");
  ZELString message;
  unsigned long line = 0, column = 0;
  ASSERT_EQ(d.GetParseError(message, line, column), S_OK);
  EXPECT_EQ(Text(message), "mismatched tag");
  EXPECT_EQ(line, 2UL);
  EXPECT_EQ(column, 5UL);
}

// Nodes passed between trees and assigned through the mutable references:
// every node held in a tree keeps linking to its holder (a stale link would
// be followed by the rendering walk, the destructor and GetParent).
TEST(EditTest, AppendingANodeOfATreeCopiesItAndLinksOnlyTheCopy) {
  ZELBasXmlDocument d;
  ASSERT_EQ(d.ReadString(ZELString("<r><a><b>t</b></a><c/></r>")), S_OK);
  ZELBasXmlNode& r = d.GetRoot();
  ASSERT_EQ(r.Append(r.ChildAt(0).ChildAt(0)), S_OK);
  ExpectLinked(r);
  EXPECT_EQ(Line(r), "<r><a><b>t</b></a><c/><b>t</b></r>");
  // The same on a tree built in code, and from a direct child (the
  // children grow while it is copied).
  ZELBasXmlNode built = Built();
  ASSERT_EQ(built.Append(built.ChildAt(0).ChildAt(0)), S_OK);
  ASSERT_EQ(built.Append(built.ChildAt(0)), S_OK);
  ExpectLinked(built);
  EXPECT_EQ(Line(built), "<r><a><b>t</b></a><c/><b>t</b><a><b>t</b></a></r>");
  // From another document, whose tree is left as it was.
  ZELBasXmlDocument other;
  ASSERT_EQ(other.ReadString(ZELString("<o><p/><q>s</q></o>")), S_OK);
  ASSERT_EQ(r.ChildAt(1).Append(other.GetRoot().ChildAt(1)), S_OK);
  ExpectLinked(r);
  ExpectLinked(other.GetRoot());
  EXPECT_EQ(Line(other.GetRoot()), "<o><p/><q>s</q></o>");
  EXPECT_EQ(Line(r.ChildAt(1)), "<c><q>s</q></c>");
}

TEST(EditTest, AppendingANodeToItsOwnSubtreeAppendsItAsItWas) {
  ZELBasXmlNode a = Built();
  ASSERT_EQ(a.ChildAt(0).Append(a), S_OK);
  ExpectLinked(a);
  EXPECT_EQ(Line(a), "<r><a><b>t</b><r><a><b>t</b></a><c/></r></a><c/></r>");
  // Neither a node nor its ancestor comes to link to its own subtree.
  ZELBasXmlNode n(ZELString("n"));
  ASSERT_EQ(n.Append(n), S_OK);
  ASSERT_EQ(n.Append(n), S_OK);
  EXPECT_EQ(Climb(n), 0u);
  EXPECT_EQ(Climb(n.ChildAt(1).ChildAt(0)), 2u);
  EXPECT_EQ(Line(n), "<n><n/><n><n/></n></n>");
}

TEST(EditTest, AssigningThroughAReferenceKeepsTheNodeWhereItStands) {
  ZELBasXmlDocument d, e;
  ASSERT_EQ(d.ReadString(ZELString("<r><a/><b>x</b><c/></r>")), S_OK);
  ASSERT_EQ(e.ReadString(ZELString("<s><t k='v'><u/></t></s>")), S_OK);
  *d.GetRoot().FirstChild(ZELString("b")) = ZELBasXmlNode(ZELString("n"));
  d.GetRoot().ChildAt(2) = e.GetRoot().ChildAt(0);
  ExpectLinked(d.GetRoot());
  EXPECT_EQ(Line(d.GetRoot()), "<r><a/><n/><t k=\"v\"><u/></t></r>");
  EXPECT_EQ(Climb(d.GetRoot().ChildAt(2).ChildAt(0)), 2u);
  // The root takes a node of its own tree and still links to nothing.
  d.GetRoot() = d.GetRoot().ChildAt(2);
  ExpectLinked(d.GetRoot());
  EXPECT_EQ(Climb(d.GetRoot()), 0u);
  EXPECT_EQ(Line(d.GetRoot()), "<t k=\"v\"><u/></t>");
  // A node of the caller's takes a copy of its own child's, whose link
  // leads into what the assignment replaces.
  ZELBasXmlNode free = Built();
  ZELBasXmlNode child = free.ChildAt(0);
  free = child;
  EXPECT_EQ(Climb(free), 0u);
  EXPECT_EQ(Line(free), "<a><b>t</b></a>");
}
