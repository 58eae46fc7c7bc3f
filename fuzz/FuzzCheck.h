// Checks shared by the fuzz targets. A failed check aborts, which libFuzzer
// and the replay runner both report as a crash. Its message goes to standard
// output: fuzz runs close standard error (-close_fd_mask=2) to silence the
// parse error reports, and libFuzzer keeps only its own reports there.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "ZELBasXmlNode.h"

#define FUZZ_CHECK(...)                                                           \
  do {                                                                            \
    if (!(__VA_ARGS__)) {                                                         \
      std::printf("%s:%d: check failed: %s\n", __FILE__, __LINE__, #__VA_ARGS__); \
      std::fflush(stdout);                                                        \
      std::abort();                                                               \
    }                                                                             \
  } while (0)

inline std::string Str(const ZELString& text) { return text.CastToCharPtr(); }

// One node of a tree flattened in document order.
struct FlatNode {
  size_t depth;
  std::string tag;
  std::vector<std::pair<std::string, std::string>> attributes;  // in walk order
  std::string data;
  size_t children;
  bool root;
};

// Flattens the tree under `top` in document order with an explicit stack,
// checking on the way that attributes are walked in strictly ascending
// unsigned byte order. (The links from children to their holders are checked
// through rendering and GetParent, which follow them.)
inline std::vector<FlatNode> Flatten(const ZELBasXmlNode& top) {
  std::vector<FlatNode> flat;
  std::vector<std::pair<const ZELBasXmlNode*, size_t>> stack(1, std::make_pair(&top, size_t(0)));
  while (!stack.empty()) {
    const ZELBasXmlNode* node = stack.back().first;
    size_t depth = stack.back().second;
    stack.pop_back();
    FlatNode entry = {
        depth, Str(node->GetTagName()), {}, Str(node->GetData()), node->Children().size(), node->IsRoot()};
    const ZELBasMap<ZELString, ZELString>& attributes = node->GetAttributes();
    for (ZELBasMap<ZELString, ZELString>::const_iterator it = attributes.begin(); it != attributes.end();
         ++it) {
      if (!entry.attributes.empty()) FUZZ_CHECK(entry.attributes.back().first < Str(it->first));
      entry.attributes.emplace_back(Str(it->first), Str(it->second));
    }
    flat.push_back(entry);
    const ZELBasVector<ZELBasXmlNode>& children = node->Children();
    for (size_t i = children.size(); i-- > 0;) stack.emplace_back(&children[i], depth + 1);
  }
  return flat;
}
