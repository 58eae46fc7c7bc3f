// The rendering as the format defines it, recursively: the reference that
// the iterative renderer is checked against (on trees shallow enough).
#pragma once

#include <string>

#include "ZELBasXmlNode.h"

inline void ReferenceRender(const ZELBasXmlNode& node, const std::string& prefix, std::string& out) {
  out += prefix + "<" + node.GetTagName().CastToCharPtr();
  const ZELBasMap<ZELString, ZELString>& attributes = node.GetAttributes();
  for (ZELBasMap<ZELString, ZELString>::const_iterator it = attributes.begin(); it != attributes.end();
       ++it) {
    out += std::string(" ") + it->first.CastToCharPtr() + "=\"" + it->second.CastToCharPtr() + "\"";
  }
  std::string data = node.GetData().CastToCharPtr();
  if (data.empty() && node.Children().size() == 0) {
    out += "/>\n";
    return;
  }
  out += ">" + data + "\n";
  for (const ZELBasXmlNode& child : node.Children()) ReferenceRender(child, prefix + "    ", out);
  out += prefix + "</" + node.GetTagName().CastToCharPtr() + ">\n";
}
