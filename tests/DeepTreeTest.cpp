// A million levels (ZELBAS_DEEP_LEVELS overrides) on the default 8 MiB stack,
// and rendering on a 64 KiB thread stack: nothing may recurse per level.
#include <gtest/gtest.h>
#include <pthread.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
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

TEST(DeepTreeTest, RenderingThreeThousandLevelsFitsA64KiBStack) {
  const size_t levels = 3000;
  // Attributes out of order and text on every level, so rendering sorts.
  std::string xml;
  for (size_t i = 1; i < levels; ++i)
    xml += "<e z=\"" + std::to_string(i) + "\" a=\"&amp;\">t" + std::to_string(i);
  xml += "<leaf/>";
  for (size_t i = 1; i < levels; ++i) xml += "</e>";
  auto expected = [levels](const std::string& prefix) {
    std::string text;
    for (size_t i = 1; i < levels; ++i) {
      std::string n = std::to_string(i);
      text += prefix + std::string(4 * (i - 1), ' ') + "<e a=\"&\" z=\"" + n + "\">t" + n + "\n";
    }
    text += prefix + std::string(4 * (levels - 1), ' ') + "<leaf/>\n";
    for (size_t i = levels - 1; i >= 1; --i) text += prefix + std::string(4 * (i - 1), ' ') + "</e>\n";
    return text;
  };
  AllocationScope scope;
  ZELBasXmlDocument document;
  ASSERT_EQ(document.ReadString(ZELString(xml.c_str())), S_OK);

  std::string serialized, written;
  size_t leaves = 0;
  std::function<void()> render = [&] {
    ZELString out("> "), file;
    document.GetRoot().Serialize(out, ZELString("  "));
    serialized = out.CastToCharPtr();
    document.WriteString(file);
    written = file.CastToCharPtr();
    ZELBasXmlNode copy(document.GetRoot());  // copied, searched and destroyed here too
    ZELBasVector<ZELBasXmlNode> found;
    copy.GetElementsByTagName(ZELString("leaf"), found);
    leaves = found.size();
  };
  auto run = [](void* job) -> void* { return (*static_cast<std::function<void()>*>(job))(), nullptr; };
  pthread_attr_t attributes;
  pthread_t thread;
  ASSERT_EQ(pthread_attr_init(&attributes), 0);
  ASSERT_EQ(pthread_attr_setstacksize(&attributes, 65536), 0);
  ASSERT_EQ(pthread_create(&thread, &attributes, run, &render), 0);
  ASSERT_EQ(pthread_join(thread, nullptr), 0);
  pthread_attr_destroy(&attributes);
  EXPECT_TRUE(serialized == "> " + expected("  "));
  EXPECT_TRUE(written ==
              "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<!-- Written by ZELBasXmlDocument -->\n" +
                  expected(""));
  EXPECT_EQ(leaves, 1u);
}
