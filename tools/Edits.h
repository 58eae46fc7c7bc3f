// The operations of zelbasxml edit on a tree.
#pragma once

#include <cstddef>
#include <string>

class ZELBasXmlNode;

namespace zelbasxml_detail {

struct Operation;

// What one operation did: how many nodes it changed, or why it could not.
struct Applied {
  size_t matches = 0;
  std::string problem;
};

// Applies `operation` to every match of its PATH in the tree under `root`,
// the last match first, so that no change moves a match still to come.
Applied Apply(const Operation& operation, ZELBasXmlNode& root);

}  // namespace zelbasxml_detail
