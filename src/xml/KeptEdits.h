// Brings a kept element's operations in line with what was done to the
// node since the read, so that only the edited bytes change:
// - SetData: an element of text alone gets the new text in place of its
//   runs; in mixed content the new text takes the place of the first run of
//   text and the other runs go (runs of white space, comments and
//   instructions stay), or, where there was none, of the white space before
//   the end tag;
// - a child removed takes the white space before it along;
// - a child appended goes after the last child, after the same white space
//   as that one; in an element without children, on a line of its own one
//   unit deeper (or on the same line, next to text);
// - a child put in another's place is written there;
// - an empty-element tag that now has content gets a start and an end tag.
// Attributes need nothing here: the writer takes their values from the
// node, leaves out those removed and adds new ones at the end.
#pragma once

#include <string>
#include <string_view>

#include "KeptLayout.h"
#include "ZELBasXmlNode.h"

namespace zelbas_detail {

// False when `ops`, the node's markup, fits the node as it is; otherwise
// writes the fitting operations to `edited`. `indent` is the node's own
// indentation, when `known`.
bool BringInLine(const ZELBasXmlNode* node, std::string_view ops, std::string_view indent, bool known,
                 const KeptStyle& style, std::string& edited);

}  // namespace zelbas_detail
