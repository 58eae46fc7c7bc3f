// A million levels (ZELBAS_DEEP_LEVELS overrides) on the default 8 MiB stack:
// nothing may recurse per level. (Rendering 3,000 levels on a 64 KiB stack is
// the command's test, tests/cli/.)
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>

#include "AllocationScope.h"
#include "ZELBasXmlDocument.h"

static const ZELBasXmlNode& Down(const ZELBasXmlNode& node, size_t steps) {
  const ZELBasXmlNode* at = &node;
  for (size_t i = 0; i < steps; ++i) at = &at->Children()[0];
  return *at;
}

// A chain of <a> ending in <b/>: its shape, searches, and a climb from the bottom.
static void Check(const ZELBasXmlNode& root, size_t levels) {
  const ZELBasXmlNode* at = &root;
  for (size_t i = 1; i < levels; ++i, at = &at->Children()[0]) ASSERT_EQ(at->Children().size(), 1u) << i;
  EXPECT_STREQ(at->GetTagName().CastToCharPtr(), "b");
  EXPECT_EQ(at->Children().size(), 0u);
  if (levels < 5) return;
  // Each match is copied with its subtree, in document order.
  ZELBasVector<ZELBasXmlNode> found;
  ASSERT_EQ(root.GetElementsByTagName(ZELString("b"), found), S_OK);
  ASSERT_EQ(Down(root, levels - 5).GetElementsByTagName(ZELString("a"), found), S_OK);
  ASSERT_EQ(found.size(), 4u);
  for (size_t i = 0; i < 4; ++i) EXPECT_STREQ(Down(found[i], (4 - i) % 4).GetTagName().CastToCharPtr(), "b");
  ZELBasXmlNode up = *at;
  const size_t steps = std::min<size_t>(levels - 1, 1000);
  for (size_t i = 0; i < steps; ++i) {
    ZELBasXmlNode parent;
    ASSERT_EQ(up.GetParent(parent), S_OK) << i;
    up = parent;
  }
  EXPECT_STREQ(Down(up, steps).GetTagName().CastToCharPtr(), "b");
  EXPECT_EQ(up.IsRoot(), steps == levels - 1);
}

TEST(DeepTreeTest, MillionLevelsReadCopiedAssignedSearchedClimbedAndDestroyed) {
  const char* env = std::getenv("ZELBAS_DEEP_LEVELS");
  const size_t levels = env != nullptr ? std::strtoul(env, nullptr, 10) : 1000000;
  std::string xml;
  for (size_t i = 1; i < levels; ++i) xml += "<a>";
  xml += "<b/>";
  for (size_t i = 1; i < levels; ++i) xml += "</a>";
  AllocationScope scope;
  ZELBasXmlDocument document;
  ASSERT_EQ(document.ReadString(ZELString(xml.c_str())), S_OK);
  Check(document.GetRoot(), levels);
  ZELBasXmlNode copy(document.GetRoot());
  Check(copy, levels);
  ZELBasXmlNode assigned(ZELString("old"));
  assigned = document.GetRoot();
  Check(assigned, levels);
  assigned = Down(assigned, levels - 3);  // from deep inside its own tree
  Check(assigned, 3);
}
