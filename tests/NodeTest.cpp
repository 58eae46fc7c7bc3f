// The node under memory pressure. Its operations against a model of the tree
// are the node fuzzer's (fuzz/NodeApiFuzzer.cpp), whose inputs every build
// replays; its layout is the command's expected output (tests/cli/).
#include <gtest/gtest.h>

#include <string>

#include "AllocationScope.h"
#include "ZELBasXmlNode.h"

// A copy, a search or an assignment that runs out of memory at any
// allocation leaks nothing and leaves its source as it was.
TEST(NodeTest, FailuresLeakNothing) {
  AllocationScope scope;
  ZELBasXmlNode tree{ZELString("a")}, b{ZELString("b")}, c{ZELString("c")}, leaf{ZELString("d")};
  leaf.InsertAttribute(ZELString("id"), ZELString("1"));
  leaf.SetData(ZELString("first"));
  leaf.SetData(ZELString("a<b"));  // replaces
  b.Append(leaf);
  b.Append(c);
  tree.Append(b);
  tree.Append(leaf);
  auto render = [&tree] {
    ZELString out;
    EXPECT_EQ(tree.Serialize(out, ZELString()), S_OK);
    return std::string(out.CastToCharPtr());
  };
  const std::string before = render();
  EXPECT_EQ(before,
            "<a>\n    <b>\n        <d id=\"1\">a<b\n        </d>\n        <c/>\n    </b>\n    <d "
            "id=\"1\">a<b\n    </d>\n</a>\n");
  for (uint64_t failAt = 1; failAt < 60; ++failAt) {
    mem_FailAfter(failAt);
    try {
      ZELBasXmlNode copy(tree);
      ZELBasVector<ZELBasXmlNode> found;
      copy.GetElementsByTagName(ZELString("c"), found);
      copy = tree.Children()[0];
      tree = tree;
    } catch (const std::bad_alloc&) {
    }
    mem_FailAfter(0);
    ASSERT_EQ(render(), before) << failAt;
  }
}
