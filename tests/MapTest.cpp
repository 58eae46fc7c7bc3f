#include <gtest/gtest.h>

#include <map>
#include <new>
#include <random>
#include <string>
#include <type_traits>
#include <vector>

#include "AllocationScope.h"
#include "ZELBasMap.h"
#include "ZELBasXmlDocument.h"

namespace {

typedef ZELBasMap<ZELString, ZELString> Map;
static_assert(std::is_convertible<Map::iterator, Map::const_iterator>::value, "an iterator reads too");
static_assert(!std::is_convertible<Map::const_iterator, Map::iterator>::value,
              "a read accessor gives no write access");

std::string Keys(const Map& m, bool values = false) {
  std::string keys;
  for (Map::const_iterator it = m.begin(); it != m.end(); ++it) {
    keys += it->first.CastToCharPtr() + (values ? '=' + std::string(it->second.CastToCharPtr()) : "") + ',';
  }
  return keys;
}

// The engine keeps a node's colour in the lowest bit of its data: 0 is red.
bool Red(const ZELBasTreeNodeGeneric* node) { return node != nullptr && (node->engineData & 1) == 0; }

// Checks the red-black rules under `node`; returns its black height.
int BlackHeight(const ZELBasTreeNodeGeneric* node, const ZELBasTreeNodeGeneric* parent) {
  if (node == nullptr) return 1;
  EXPECT_EQ(node->parent, parent);
  bool red = Red(node);
  if (red) {
    for (const ZELBasTreeNodeGeneric* child : {node->left, node->right})
      EXPECT_FALSE(Red(child)) << "red node with red child";
  }
  int left = BlackHeight(node->left, node);
  EXPECT_EQ(left, BlackHeight(node->right, node)) << "black heights differ";
  return left + (red ? 0 : 1);
}

}  // namespace

TEST(MapTest, KeysAreUniqueAndWalkedInByteOrderWhateverTheHint) {
  Map m;
  m[ZELString("only")];
  EXPECT_TRUE(++m.begin() == m.end());
  m[ZELString("b")] = ZELString("1");
  m[ZELString("B")];
  m[ZELString("\xc3\xa9")];
  EXPECT_STREQ(m[ZELString("b")].CastToCharPtr(), "1");
  typedef Map::value_type Pair;
  m.insert(m.end(), Pair(ZELString("a"), ZELString("wrong hint")));
  m.insert(m.end(), Pair(ZELString("b"), ZELString("duplicate")));
  m.insert(m.end(), Pair(ZELString("\xff"), ZELString("right hint")));
  EXPECT_EQ(Keys(m), "B,a,b,only,\xc3\xa9,\xff,");
  EXPECT_STREQ(m.find(ZELString("b"))->second.CastToCharPtr(), "1");
  EXPECT_TRUE(m.find(ZELString("c")) == m.end());
}

TEST(MapTest, EmptyMapTakesNoMemory) {
  ZELString key("x");
  AllocationScope scope;
  {
    Map m;
    Map copy(m);
    copy = m;
    EXPECT_TRUE(m.begin() == m.end());
    EXPECT_TRUE(m.find(key) == m.end());
  }
  EXPECT_EQ(scope.Taken(), 0u);
}

TEST(MapTest, EachMapOwnsItsEndForItsWholeLife) {
  Map a, b;
  EXPECT_FALSE(a.end() == b.end());
  Map::const_iterator end = a.end();
  a[ZELString("k")];
  b[ZELString("x")];
  b[ZELString("y")];
  size_t steps = 0;
  for (Map::const_iterator it = a.begin(); it != end && steps < 3; ++it) ++steps;
  EXPECT_EQ(steps, 1u);
  a = b;
  EXPECT_TRUE(a.end() == end);
  EXPECT_EQ(Keys(a), "x,y,");

  // Children vectors that grow and are fitted move their nodes, and with
  // them the headers of their attribute maps.
  std::string xml = "<r>";
  for (int i = 0; i < 9; ++i) xml += "<c i=\"" + std::to_string(i) + "\" v=\"w\"/>";
  ZELBasXmlDocument d;
  ASSERT_EQ(d.ReadString(ZELString((xml + "</r>").c_str())), S_OK);
  for (size_t i = 0; i < d.GetRoot().Children().size(); ++i) {
    const Map& moved = d.GetRoot().Children()[i].GetAttributes();
    const char* at = reinterpret_cast<const char*>(&moved);
    const char* header = reinterpret_cast<const char*>(moved.end().node);
    EXPECT_TRUE(header >= at && header < at + sizeof moved) << "a header left behind";
    EXPECT_EQ(Keys(moved, true), "i=" + std::to_string(i) + ",v=w,");
  }
}

TEST(MapTest, RandomInsertionsMatchStdMapAndStayBalanced) {
  AllocationScope scope;
  {
    Map m;
    std::map<std::string, std::string> expected;
    std::mt19937 random(42);
    for (int i = 0; i < 5000; ++i) {
      std::string key = std::to_string(random() % 3000);
      if (random() % 4 == 0) key += "\xe2\x82\xac";
      expected[key] = std::to_string(i);
      m[ZELString(key.c_str())] = ZELString(expected[key].c_str());
    }
    std::string want;
    for (const auto& entry : expected) want += entry.first + '=' + entry.second + ',';
    EXPECT_EQ(Keys(m, true), want);
    const ZELBasTreeNodeGeneric* header = m.end().node;
    EXPECT_LE(BlackHeight(header->parent, header), 14);

    Map copy(m);
    ZELString first = m.begin()->first;
    copy[first] = ZELString("changed");
    EXPECT_STRNE(m.find(first)->second.CastToCharPtr(), "changed");
    m = m;
    EXPECT_EQ(Keys(m), Keys(copy));
  }
  // A start tag's attributes are built as one sorted run: balanced, the
  // last value of a repeated name kept, and a map like any other after.
  std::mt19937 random(7);
  for (int count = 1; count <= 40; ++count) {
    std::vector<std::string> texts;
    std::map<std::string, std::string> expected;
    for (int i = 0; i < count; ++i) {
      texts.push_back(std::to_string(random() % (count + 3)));
      texts.push_back(std::to_string(i));
      expected[texts[texts.size() - 2]] = texts.back();
    }
    std::vector<const char*> atts;
    for (const std::string& text : texts) atts.push_back(text.c_str());
    atts.push_back(nullptr);
    ZELBasXmlDocument d;
    ZELBasXmlDocument::unknownStartTag(&d, "e", atts.data());
    ZELBasXmlNode& root = const_cast<ZELBasXmlNode&>(d.GetRoot());
    std::string want;
    for (const auto& entry : expected) want += entry.first + '=' + entry.second + ',';
    EXPECT_EQ(Keys(root.GetAttributes(), true), want) << count;
    root.InsertAttribute(ZELString("x"), ZELString("y"));
    const ZELBasTreeNodeGeneric* header = root.GetAttributes().end().node;
    BlackHeight(header->parent, header);
    Map copy(root.GetAttributes());
    copy = root.GetAttributes();
    EXPECT_EQ(Keys(copy, true), want + "x=y,");
  }
}

TEST(MapTest, FailedCopyOrInsertLeaksNothing) {
  AllocationScope scope;
  Map m;
  for (int i = 0; i < 50; ++i) m[ZELString(std::to_string(i).c_str())] = ZELString("v");
  for (uint64_t failAt = 1; failAt < 40; failAt += 3) {
    mem_FailAfter(failAt);
    try {
      Map copy(m);
      copy = m;
      copy[ZELString("new key")];
    } catch (const std::bad_alloc&) {
    }
    mem_FailAfter(0);
  }
  EXPECT_EQ(Keys(m).size(), Keys(Map(m)).size());
}
