#include <gtest/gtest.h>

#include <map>
#include <new>
#include <random>
#include <string>

#include "AllocationScope.h"
#include "ZELBasMap.h"

namespace {

typedef ZELBasMap<ZELString, ZELString> Map;

std::string Keys(const Map& m) {
  std::string keys;
  for (Map::const_iterator it = m.begin(); it != m.end(); ++it) {
    keys += it->first.CastToCharPtr();
    keys += ',';
  }
  return keys;
}

// Checks the red-black rules under `node`; returns its black height.
int BlackHeight(const ZELBasTreeNodeGeneric* node, const ZELBasTreeNodeGeneric* parent) {
  if (node == nullptr) return 1;
  EXPECT_EQ(node->parent, parent);
  bool red = node->engineData == 0;
  if (red) {
    EXPECT_TRUE(node->left == nullptr || node->left->engineData != 0) << "red node with red child";
    EXPECT_TRUE(node->right == nullptr || node->right->engineData != 0) << "red node with red child";
  }
  int left = BlackHeight(node->left, node);
  int right = BlackHeight(node->right, node);
  EXPECT_EQ(left, right) << "black heights differ";
  return left + (red ? 0 : 1);
}

}  // namespace

TEST(MapTest, KeysAreUniqueAndWalkedInByteOrder) {
  Map m;
  m[ZELString("b")] = ZELString("1");
  m[ZELString("a")] = ZELString("2");
  m[ZELString("B")] = ZELString("3");
  ZELString& again = m[ZELString("a")];
  EXPECT_STREQ(again.CastToCharPtr(), "2");
  m[ZELString("\xc3\xa9")];
  EXPECT_EQ(Keys(m), "B,a,b,\xc3\xa9,");
  EXPECT_STREQ(m.find(ZELString("\xc3\xa9"))->second.CastToCharPtr(), "");
  EXPECT_TRUE(m.find(ZELString("c")) == m.end());
}

TEST(MapTest, EmptyMapTakesNoMemoryAndWalksNothing) {
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

TEST(MapTest, SingleEntryIsFollowedByTheHeader) {
  Map m;
  m[ZELString("only")];
  Map::const_iterator it = m.begin();
  ++it;
  EXPECT_TRUE(it == m.end());
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
      std::string value = std::to_string(i);
      m[ZELString(key.c_str())] = ZELString(value.c_str());
      expected[key] = value;
    }
    Map::const_iterator it = m.begin();
    for (const auto& entry : expected) {
      ASSERT_TRUE(it != m.end());
      ASSERT_EQ(entry.first, it->first.CastToCharPtr());
      ASSERT_EQ(entry.second, it->second.CastToCharPtr());
      ++it;
    }
    EXPECT_TRUE(it == m.end());

    const ZELBasTreeNodeGeneric* header = m.end().node;
    int blackHeight = BlackHeight(header->parent, header);
    EXPECT_LE(blackHeight, 14);  // height <= 2 log2(n + 1)

    Map copy(m);
    ZELString first = m.begin()->first;
    copy[first] = ZELString("changed");
    EXPECT_STRNE(m.find(first)->second.CastToCharPtr(), "changed");
    m = m;
    EXPECT_TRUE(Keys(m) == Keys(copy));
  }
}

TEST(MapTest, InsertWithAWrongHintStillKeepsOrderAndUniqueness) {
  Map m;
  for (const char* key : {"d", "b", "f"}) m[ZELString(key)];
  typedef Map::value_type Pair;
  m.insert(m.end(), Pair(ZELString("a"), ZELString("wrong hint")));
  m.insert(m.end(), Pair(ZELString("b"), ZELString("duplicate")));
  m.insert(m.end(), Pair(ZELString("g"), ZELString("right hint")));
  EXPECT_EQ(Keys(m), "a,b,d,f,g,");
  EXPECT_STREQ(m.find(ZELString("b"))->second.CastToCharPtr(), "");
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
