// PATH, the element and attribute selection of find and edit: a subset of
// XPath's abbreviated syntax, matched while walking the tree.
#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "ZELString.h"

class ZELBasXmlNode;

namespace zelbasxml_detail {

// Whether `name` is an XML name: a letter, '_', ':' or a non-ASCII byte,
// then those, digits, '-' and '.'.
bool IsXmlName(std::string_view name);

// [N], [last()], [@NAME] or [@NAME='VALUE'].
struct Predicate {
  enum Kind { kPosition, kLast, kHasAttribute, kAttributeEquals } kind = kPosition;
  size_t position = 0;
  ZELString name;
  ZELString value;
};

// NAME, * or @NAME, @*, and the predicates after an element's.
struct Step {
  bool descendant = false;  // after '//': at any depth below the step before
  bool attribute = false;
  ZELString name;  // empty for *
  std::vector<Predicate> predicates;
};

// A parsed PATH. A PATH that does not start with '/' is looked for at any
// depth below the root element, as if it began with "/*//".
struct Path {
  std::vector<Step> steps;
  bool SelectsAttributes() const { return steps.back().attribute; }
};

// Parses `text` into `path`; empty, or what is wrong and where.
std::string ParsePath(std::string_view text, Path& path);

// A match: an element, given by the indices of the children that lead to it
// from the root element (none for the root), and an attribute of it or none.
struct Match {
  std::vector<size_t> indices;
  const ZELBasXmlNode* element = nullptr;  // valid until the tree changes
  const ZELString* attribute = nullptr;    // the attribute's name
};

// Calls `visit` for each match of `path` in the tree under `root`, in
// document order (an element's attributes in name order), until it returns
// false; false then, else true.
bool WalkMatches(const Path& path, const ZELBasXmlNode& root, const std::function<bool(const Match&)>& visit);

}  // namespace zelbasxml_detail
