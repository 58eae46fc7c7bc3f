#include <gtest/gtest.h>

#include <map>
#include <new>
#include <random>
#include <string>
#include <type_traits>

#include "AllocationScope.h"
#include "ZELBasMap.h"
#include "ZELBasXmlDocument.h"

namespace {

typedef ZELBasMap<ZELString, ZELString> Map;
static_assert(std::is_convertible<Map::iterator, Map::const_iterator>::value, "an iterator reads too");
static_assert(!std::is_convertible<Map::const_iterator, Map::iterator>::value,
              "a read accessor gives no write access");

std::string Entries(const Map& m) {
  std::string entries;
  for (Map::const_iterator it = m.begin(); it != m.end(); ++it) {
    entries += std::string(it->first.CastToCharPtr()) + '=' + it->second.CastToCharPtr() + ',';
  }
  return entries;
}

// Checks the red-black rules under `node`; returns its black height.
int BlackHeight(const ZELBasTreeNodeGeneric* node, const ZELBasTreeNodeGeneric* parent) {
  if (node == nullptr) return 1;
  EXPECT_EQ(node->parent, parent);
  bool red = node->engineData == 0;
  for (const ZELBasTreeNodeGeneric* child : {node->left, node->right})
    EXPECT_TRUE(!red || child == nullptr || child->engineData != 0) << "red node with red child";
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
  EXPECT_EQ(Entries(m), "B=,a=wrong hint,b=1,only=,\xc3\xa9=,\xff=right hint,");
  EXPECT_TRUE(m.find(ZELString("c")) == m.end());
}

// Each map owns its end from construction to destruction; an empty map
// allocates nothing; a copy is independent; assignment keeps the target's
// end. The maps of nodes moved as their vector grows move their ends along.
TEST(MapTest, EndsStayWithTheirMaps) {
  ZELString key("x");
  AllocationScope scope;
  {
    Map a, b, empty(a);
    empty = a;
    EXPECT_TRUE(empty.begin() == empty.end() && empty.find(key) == empty.end());
    EXPECT_EQ(scope.Taken(), 0u);
    EXPECT_FALSE(a.end() == b.end());
    Map::const_iterator end = a.end();
    a[ZELString("k")];
    b[ZELString("x")] = ZELString("1");
    b[ZELString("y")];
    a = b;
    EXPECT_TRUE(a.end() == end);
    a[ZELString("x")] = ZELString("changed");
    EXPECT_EQ(Entries(b), "x=1,y=,");
    a = Map();
    EXPECT_TRUE(a.begin() == end);
  }
  std::string xml = "<r>";
  for (int i = 0; i < 9; ++i) xml += "<c i=\"" + std::to_string(i) + "\" v=\"w\"/><e/>";
  ZELBasXmlDocument d;
  ASSERT_EQ(d.ReadString(ZELString((xml + "</r>").c_str())), S_OK);
  for (size_t i = 0; i < d.GetRoot().Children().size(); ++i) {
    const Map& moved = d.GetRoot().Children()[i].GetAttributes();
    const char* at = reinterpret_cast<const char*>(&moved);
    const char* header = reinterpret_cast<const char*>(moved.end().node);
    EXPECT_TRUE(header >= at && header < at + sizeof moved) << "a header left behind";
    EXPECT_EQ(Entries(moved), i % 2 ? "" : "i=" + std::to_string(i / 2) + ",v=w,");
  }
}

TEST(MapTest, RandomInsertionsMatchStdMapStayBalancedAndFailedCopiesLeakNothing) {
  AllocationScope scope;
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
  EXPECT_EQ(Entries(m), want);
  m = m;
  Map copy(m);
  for (const Map* tree : {&m, &copy}) {
    const ZELBasTreeNodeGeneric* header = tree->end().node;
    EXPECT_LE(BlackHeight(header->parent, header), 14);
  }
  EXPECT_EQ(Entries(copy), want);
  Map small;
  for (int i = 0; i < 20; ++i) small[ZELString(std::to_string(i).c_str())] = ZELString("v");
  const std::string entries = Entries(small);
  for (uint64_t failAt = 1; failAt < 45; ++failAt) {
    mem_FailAfter(failAt);
    try {
      Map failing(small);
      failing = small;
      failing[ZELString("new key")];
    } catch (const std::bad_alloc&) {
    }
    mem_FailAfter(0);
  }
  EXPECT_EQ(Entries(small), entries);
}
