// Editing a tree in place: children by index and tag, removals, a new root,
// the options; every parent link checked after each edit.
#include <gtest/gtest.h>

#include <string>

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

}  // namespace

TEST(EditTest, ChildrenChangeInPlaceAndStayLinked) {
  ZELBasXmlDocument d;
  ASSERT_EQ(d.ReadString(ZELString("<r><a><x/></a><b k='1' j='2'><y><z/></y></b><c><w/></c></r>")), S_OK);
  ZELBasXmlNode& root = d.GetRoot();
  ASSERT_NE(root.FirstChild(ZELString("b")), nullptr);
  EXPECT_EQ(root.FirstChild(ZELString("q")), nullptr);
  root.FirstChild(ZELString("b"))->SetData(ZELString("t"));
  EXPECT_EQ(root.RemoveChild(3), E_FAIL);
  EXPECT_EQ(root.RemoveChild(0), S_OK);
  ExpectLinked(root);
  EXPECT_EQ(root.ChildAt(0).RemoveAttribute(ZELString("k")), S_OK);
  EXPECT_EQ(root.ChildAt(0).RemoveAttribute(ZELString("k")), E_FAIL);
  ZELBasXmlNode added(ZELString("d"));
  root.ChildAt(1).Append(added);
  EXPECT_EQ(root.ChildAt(0).ChildAt(0).RemoveChild(0), S_OK);
  ExpectLinked(root);
  EXPECT_EQ(
      Render(root),
      "<r>\n    <b j=\"2\">t\n        <y/>\n    </b>\n    <c>\n        <w/>\n        <d/>\n    </c>\n</r>\n");
  // The last child, and the only one.
  EXPECT_EQ(root.RemoveChild(1), S_OK);
  EXPECT_EQ(root.RemoveChild(0), S_OK);
  EXPECT_EQ(Render(root), "<r/>\n");
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
  testing::internal::CaptureStderr();
  EXPECT_EQ(d.ReadString(ZELString("<open>")), E_FAIL);
  testing::internal::GetCapturedStderr();
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
  testing::internal::CaptureStderr();
  EXPECT_EQ(d.ReadString(ZELString("<a>\n<b></a>")), E_FAIL);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  ZELString message;
  unsigned long line = 0, column = 0;
  ASSERT_EQ(d.GetParseError(message, line, column), S_OK);
  EXPECT_EQ(Text(message), "mismatched tag");
  EXPECT_EQ(line, 2UL);
  EXPECT_EQ(column, 5UL);
}
