// Search of a subtree by tag name.
#include "NodeAccess.h"
#include "ZELBasXmlNode.h"

namespace zelbas_detail {

struct TagCollector {
  const ZELString& name;
  ZELBasVector<ZELBasXmlNode>& result;

  void Enter(const ZELBasXmlNode* node) {
    if (NodeAccess::TagName(node) == name) result.push_back(*node);
  }
  void Leave(const ZELBasXmlNode*) {}
};

}  // namespace zelbas_detail

using namespace zelbas_detail;

long ZELBasXmlNode::GetElementsByTagName(const ZELString& name, ZELBasVector<ZELBasXmlNode>& result) const {
  if (result.size() == 0) {
    TagCollector collector = {name, result};
    WalkBelow(this, collector);
    return S_OK;
  }
  // This node may live inside `result`, which moves as it grows: gather the
  // matches apart, then append them.
  ZELBasVector<ZELBasXmlNode> matches;
  TagCollector collector = {name, matches};
  WalkBelow(this, collector);
  for (const ZELBasXmlNode* match = matches.begin(); match != matches.end(); ++match) {
    result.push_back(*match);
  }
  return S_OK;
}
