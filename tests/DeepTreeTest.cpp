// Trees far deeper than any C++ stack could recurse through, on the default
// 8 MiB main-thread stack, and rendering on a 64 KiB thread stack.
// ZELBAS_DEEP_LEVELS overrides the depth of the deep tests (default 1e6).
#include <gtest/gtest.h>
#include <pthread.h>

#include <cstdlib>
#include <string>

#include "AllocationScope.h"
#include "Reference.h"
#include "TempDir.h"
#include "ZELBasXmlDocument.h"

namespace {

size_t Levels() {
  const char* text = std::getenv("ZELBAS_DEEP_LEVELS");
  return text != nullptr ? std::strtoul(text, nullptr, 10) : 1000000;
}

// `levels` elements: a chain of <a>, the deepest one <b/>.
std::string Chain(size_t levels) {
  std::string xml;
  xml.reserve(levels * 7);
  for (size_t i = 1; i < levels; ++i) xml += "<a>";
  xml += "<b/>";
  for (size_t i = 1; i < levels; ++i) xml += "</a>";
  return xml;
}

// The node `steps` levels down the first children.
const ZELBasXmlNode& Down(const ZELBasXmlNode& node, size_t steps) {
  const ZELBasXmlNode* at = &node;
  for (size_t i = 0; i < steps; ++i) at = &at->Children()[0];
  return *at;
}

// Checks the chain's shape along its whole length.
void ExpectChain(const ZELBasXmlNode& root, size_t levels) {
  const ZELBasXmlNode* at = &root;
  for (size_t i = 1; i < levels; ++i) {
    ASSERT_EQ(at->Children().size(), 1u) << "level " << i;
    at = &at->Children()[0];
  }
  EXPECT_STREQ(at->GetTagName().CastToCharPtr(), "b");
  EXPECT_EQ(at->Children().size(), 0u);
}

void ExpectSearchAndClimb(const ZELBasXmlNode& root, size_t levels) {
  ZELBasVector<ZELBasXmlNode> found;
  ASSERT_EQ(root.GetElementsByTagName(ZELString("b"), found), S_OK);
  ASSERT_EQ(found.size(), 1u);
  // From four levels above the bottom, "a" matches the three below it, each
  // copied with its subtree, in document order.
  ZELBasVector<ZELBasXmlNode> as;
  ASSERT_EQ(Down(root, levels - 5).GetElementsByTagName(ZELString("a"), as), S_OK);
  ASSERT_EQ(as.size(), 3u);
  for (size_t i = 0; i < 3; ++i) EXPECT_STREQ(Down(as[i], 3 - i).GetTagName().CastToCharPtr(), "b");

  // Up from the deepest node; each step copies a subtree one level taller.
  ZELBasXmlNode at = Down(root, levels - 1);
  const size_t steps = levels > 1000 ? 1000 : levels - 1;
  for (size_t i = 0; i < steps; ++i) {
    ZELBasXmlNode parent;
    ASSERT_EQ(at.GetParent(parent), S_OK) << i;
    at = parent;
  }
  EXPECT_STREQ(Down(at, steps).GetTagName().CastToCharPtr(), "b");
  EXPECT_EQ(at.IsRoot(), steps == levels - 1);
}

}  // namespace

TEST(DeepTreeTest, MillionLevelsReadCopiedSearchedClimbedAndDestroyed) {
  const size_t levels = Levels();
  std::string xml = Chain(levels);
  TempDir dir;
  std::string path = dir.Write("deep.xml", xml);
  AllocationScope scope;
  {
    ZELBasXmlDocument fromFile;
    ASSERT_EQ(fromFile.ReadFile(ZELString(path.c_str())), S_OK);
    ExpectChain(fromFile.GetRoot(), levels);
  }
  {
    ZELBasXmlDocument fromString;
    ASSERT_EQ(fromString.ReadString(ZELString(xml.c_str())), S_OK);
    xml.clear();
    xml.shrink_to_fit();
    const ZELBasXmlNode& root = fromString.GetRoot();
    ExpectSearchAndClimb(root, levels);
    {
      ZELBasXmlNode copy(root);
      ExpectChain(copy, levels);
      ExpectSearchAndClimb(copy, levels);
    }
    ZELBasXmlNode assigned(ZELString("old"));
    assigned = root;
    ExpectChain(assigned, levels);
    // Assignment from a node deep inside its own tree.
    assigned = Down(assigned, levels - 3);
    ExpectChain(assigned, 3);
  }
}

namespace {

const size_t kRenderLevels = 3000;

struct SmallStackWork {
  ZELBasXmlDocument* document;
  std::string serialized, written;
  size_t copiedLevels;
};

void* RenderOnSmallStack(void* argument) {
  SmallStackWork& work = *static_cast<SmallStackWork*>(argument);
  const ZELBasXmlNode& root = work.document->GetRoot();
  {
    ZELString out("> ");
    root.Serialize(out, ZELString("  "));
    work.serialized = out.CastToCharPtr();
  }
  {
    ZELString out;
    work.document->WriteString(out);
    work.written = out.CastToCharPtr();
  }
  // Copying, searching and destroying are flat too.
  ZELBasXmlNode copy(root);
  ZELBasVector<ZELBasXmlNode> found;
  copy.GetElementsByTagName(ZELString("leaf"), found);
  work.copiedLevels = found.size() == 1 ? kRenderLevels : 0;
  return nullptr;
}

}  // namespace

TEST(DeepTreeTest, RenderingThreeThousandLevelsFitsA64KiBStack) {
  // Every level with attributes out of order and text; a leaf at the bottom.
  std::string xml;
  for (size_t i = 0; i < kRenderLevels - 1; ++i)
    xml += "<e z=\"" + std::to_string(i) + "\" a=\"&amp;\">t" + std::to_string(i);
  xml += "<leaf/>";
  for (size_t i = 0; i < kRenderLevels - 1; ++i) xml += "</e>";
  AllocationScope scope;
  ZELBasXmlDocument document;
  ASSERT_EQ(document.ReadString(ZELString(xml.c_str())), S_OK);

  SmallStackWork work = {&document, "", "", 0};
  pthread_attr_t attributes;
  ASSERT_EQ(pthread_attr_init(&attributes), 0);
  ASSERT_EQ(pthread_attr_setstacksize(&attributes, 65536), 0);
  pthread_t thread;
  ASSERT_EQ(pthread_create(&thread, &attributes, &RenderOnSmallStack, &work), 0);
  ASSERT_EQ(pthread_join(thread, nullptr), 0);
  pthread_attr_destroy(&attributes);

  std::string expected =
      "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<!-- Written by ZELBasXmlDocument -->\n";
  ReferenceRender(document.GetRoot(), "", expected);
  EXPECT_GT(expected.size(), 4 * kRenderLevels * kRenderLevels);
  EXPECT_TRUE(work.written == expected);
  expected = "> ";
  ReferenceRender(document.GetRoot(), "  ", expected);
  EXPECT_TRUE(work.serialized == expected);
  EXPECT_EQ(work.copiedLevels, kRenderLevels);
}
