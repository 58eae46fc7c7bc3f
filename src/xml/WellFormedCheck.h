// What the well-formed layout may write so that it reads back: every tag
// and attribute name a name the parser takes, every text and value valid
// UTF-8 of characters XML allows. Checked over a whole subtree before the
// first byte is written, so that a refused write writes nothing.
#pragma once

#include <string>
#include <string_view>
#include <unordered_set>

#include "ZELBasXmlNode.h"

namespace zelbas_detail {

// True for valid UTF-8 holding only characters XML 1.0 allows (tab, line
// feed, carriage return, and from the space up, without the surrogates,
// U+FFFE and U+FFFF).
bool IsXmlText(std::string_view bytes);

class WellFormedCheck {
public:
  // True when the subtree of `top` can be written; otherwise false, and
  // `problem` (when not null) names the element by its path of tags and
  // says what is wrong.
  bool Check(const ZELBasXmlNode* top, std::string* problem);

private:
  // Why the node's own name, attributes or text cannot be written, or null.
  const char* Fault(const ZELBasXmlNode* node, std::string& detail);
  bool IsName(const ZELString& name);

  // Names outside ASCII that the parser took, asked once each.
  std::unordered_set<std::string> acceptedNames;
};

}  // namespace zelbas_detail
