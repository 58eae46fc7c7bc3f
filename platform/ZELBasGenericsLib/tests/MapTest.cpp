// The ordered map over its engine: unique keys in byte order, and random
// insertions and copies against std::map.
#include <gtest/gtest.h>

#include <map>
#include <random>
#include <string>
#include <type_traits>
#include <vector>

#include "AllocationScope.h"
#include "ZELBasMap.h"

namespace {

// Over a key of the test's own: the map of strings is the library's.
typedef ZELBasMap<std::string, std::string> Map;
static_assert(std::is_convertible<Map::iterator, Map::const_iterator>::value, "an iterator reads too");
static_assert(!std::is_convertible<Map::const_iterator, Map::iterator>::value,
              "a read accessor gives no write access");

std::string Entries(const Map& m) {
  std::string entries;
  for (Map::const_iterator it = m.begin(); it != m.end(); ++it) {
    entries += it->first + '=' + it->second + ',';
  }
  return entries;
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
  m[std::string("only")];
  EXPECT_TRUE(++m.begin() == m.end());
  m[std::string("b")] = std::string("1");
  m[std::string("B")];
  m[std::string("\xc3\xa9")];
  EXPECT_STREQ(m[std::string("b")].c_str(), "1");
  for (const auto& [key, value] :
       {std::pair<const char*, const char*>{"a", "wrong hint"}, {"b", "duplicate"}, {"\xff", "right hint"}})
    m.insert(m.end(), Map::value_type(std::string(key), std::string(value)));
  EXPECT_EQ(Entries(m), "B=,a=wrong hint,b=1,only=,\xc3\xa9=,\xff=right hint,");
  EXPECT_TRUE(m.find(std::string("c")) == m.end());
}

// Against std::map; the tree and its copy stay balanced; each map keeps its
// own end for its whole life and takes no memory while empty. (Copies,
// assignments and insertions that run out of memory are the node's and the
// tree builder's tests.)
TEST(MapTest, RandomInsertionsAndCopiesKeepEveryRule) {
  AllocationScope scope;
  Map m, empty, copy(empty);
  copy = empty;
  EXPECT_TRUE(copy.begin() == copy.end() && copy.find(std::string()) == copy.end());
  EXPECT_EQ(scope.Taken(), 0u);
  std::map<std::string, std::string> expected;
  std::mt19937 random(42);
  for (int i = 0; i < 5000; ++i) {
    std::string key = std::to_string(random() % 3000);
    if (random() % 4 == 0) key += "\xe2\x82\xac";
    expected[key] = std::to_string(i);
    m[std::string(key)] = expected[key];
  }
  std::string want;
  for (const auto& entry : expected) want += entry.first + '=' + entry.second + ',';
  m = m;
  const Map::const_iterator end = copy.end();
  copy = m;
  EXPECT_TRUE(copy.end() == end && !(end == m.end()));
  copy[m.begin()->first] = std::string("changed");
  EXPECT_EQ(Entries(m), want);
  for (const Map* tree : {&m, &copy}) {
    const ZELBasTreeNodeGeneric* header = tree->end().node;
    EXPECT_LE(BlackHeight(header->parent, header), 14);
  }
  // A run built sorted in one block is balanced, and a map like any other
  // after: it takes insertions and copies.
  for (size_t count = 1; count <= 40; ++count) {
    Map run;
    run.BuildSorted(
        count,
        [](void* at, size_t index, void*) {
          std::string key = std::to_string(1000 + index);
          new (at, ZELBasPlacementTag) Map::value_type(std::string(key), std::string("v"));
        },
        nullptr);
    std::string want;
    for (size_t i = 0; i < count; ++i) want += std::to_string(1000 + i) + "=v,";
    run[std::string("x")] = std::string("y");
    const ZELBasTreeNodeGeneric* header = run.end().node;
    BlackHeight(header->parent, header);
    Map copy(run);
    copy = run;
    EXPECT_EQ(Entries(copy), want + "x=y,") << count;
  }
}
