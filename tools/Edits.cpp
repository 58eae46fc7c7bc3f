// The operations of zelbasxml edit, through the node's public editing
// calls: update, delete, add a child or an attribute, rename.
#include "Edits.h"

#include <vector>

#include "Arguments.h"
#include "ZELBasXmlNode.h"

namespace zelbasxml_detail {

namespace {

// A match kept across edits: the way down from the root, not an address.
struct Target {
  std::vector<size_t> indices;
  bool attribute = false;
  ZELString name;  // the attribute's
};

ZELBasXmlNode& Reach(ZELBasXmlNode& root, const std::vector<size_t>& indices) {
  ZELBasXmlNode* node = &root;
  for (size_t index : indices) node = &node->ChildAt(index);
  return *node;
}

ZELString Text(const std::string& text) { return ZELString(std::string_view(text)); }

// As XPath's tools do, the new text replaces the whole content.
void Update(ZELBasXmlNode& element, const ZELString& value) {
  while (element.Children().size() != 0) element.RemoveChild(element.Children().size() - 1);
  element.SetData(value);
}

std::string ApplyToElement(const Operation& operation, ZELBasXmlNode& root, const Target& target) {
  ZELBasXmlNode& element = Reach(root, target.indices);
  const ZELString value = Text(operation.value.value_or(""));
  switch (operation.kind) {
    case 'u':
      Update(element, value);
      break;
    case 'd':
      if (target.indices.empty()) return "the root element cannot be deleted";
      Reach(root, {target.indices.begin(), target.indices.end() - 1}).RemoveChild(target.indices.back());
      break;
    case 's':
      if (operation.type == "attr") {
        element.InsertAttribute(Text(operation.name), value);
      } else {
        ZELBasXmlNode child(Text(operation.name));
        child.SetData(value);
        element.Append(child);
      }
      break;
    default:  // 'r'
      element.SetTagName(value);
  }
  return "";
}

void ApplyToAttribute(const Operation& operation, ZELBasXmlNode& root, const Target& target) {
  ZELBasXmlNode& element = Reach(root, target.indices);
  ZELString value;
  switch (operation.kind) {
    case 'u':
      element.InsertAttribute(target.name, Text(*operation.value));
      break;
    case 'd':
      element.RemoveAttribute(target.name);
      break;
    default:  // 'r'; -s never selects attributes
      element.GetAttribute(target.name, value);
      element.RemoveAttribute(target.name);
      element.InsertAttribute(Text(*operation.value), value);
  }
}

}  // namespace

Applied Apply(const Operation& operation, ZELBasXmlNode& root) {
  std::vector<Target> targets;
  WalkMatches(operation.parsed, root, [&targets](const Match& match) {
    Target target;
    target.indices = match.indices;
    target.attribute = match.attribute != nullptr;
    if (target.attribute) target.name = *match.attribute;
    targets.push_back(target);
    return true;
  });
  Applied applied;
  applied.matches = targets.size();
  for (auto target = targets.rbegin(); target != targets.rend(); ++target) {
    if (target->attribute) {
      ApplyToAttribute(operation, root, *target);
    } else {
      applied.problem = ApplyToElement(operation, root, *target);
      if (!applied.problem.empty()) break;
    }
  }
  return applied;
}

}  // namespace zelbasxml_detail
