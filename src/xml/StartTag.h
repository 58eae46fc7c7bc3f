// What both layouts begin an element with: "<", its tag name and its
// attributes in the map's order, each value put by the layout (as it is,
// or escaped). The ">" or "/>" that ends the tag is the layout's.
#pragma once

#include "BufferedSink.h"
#include "NodeAccess.h"

namespace zelbas_detail {

template <class PutValue>
void PutStartTag(BufferedSink& out, const ZELBasXmlNode* node, PutValue putValue) {
  out.Put("<", 1);
  out.Put(NodeAccess::TagName(node));
  const ZELBasMap<ZELString, ZELString>& attributes = NodeAccess::Attributes(node);
  for (ZELBasMap<ZELString, ZELString>::const_iterator it = attributes.begin(); it != attributes.end();
       ++it) {
    out.Put(" ", 1);
    out.Put(it->first);
    out.Put("=\"", 2);
    putValue(it->second);
    out.Put("\"", 1);
  }
}

}  // namespace zelbas_detail
