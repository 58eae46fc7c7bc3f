// Matching PATH during one depth-first walk: each element is tested against
// the steps from the last one back, up its chain of open ancestors, whose
// results are kept while they are open; positions among siblings are
// counted once per parent, step and predicate.
#include <memory>

#include "Path.h"
#include "ZELBasXmlNode.h"

namespace zelbasxml_detail {

namespace {

// The place of each child among its siblings that pass a step's test up to
// one of its predicates: 0 for those that do not.
struct Positions {
  std::vector<size_t> of;
  size_t count = 0;
};

// An open element of the walk.
struct Frame {
  const ZELBasXmlNode* node;
  size_t index;                                              // among its parent's children
  size_t next = 0;                                           // the next child to walk into
  std::vector<signed char> matched;                          // per step: -1 not known yet, 0 or 1
  std::map<std::pair<size_t, size_t>, Positions> positions;  // of the children, by step and predicate
};

class Matcher {
public:
  Matcher(const Path& path, const std::function<bool(const Match&)>& visit) : path(path), visit(visit) {
    bool anyDepth = false;
    for (const Step& step : path.steps) anyDepth = anyDepth || step.descendant;
    elementSteps = path.steps.size() - (path.SelectsAttributes() ? 1 : 0);
    if (!anyDepth) deepest = elementSteps == 0 ? 0 : elementSteps - 1;
  }

  bool Walk(const ZELBasXmlNode& root) {
    Enter(root, 0);
    if (!Visit()) return false;
    while (!frames.empty()) {
      Frame& top = frames.back();
      if (top.next == top.node->Children().size() || frames.size() > deepest) {
        frames.pop_back();
        indices.pop_back();
        continue;
      }
      size_t index = top.next++;
      Enter(top.node->Children()[index], index);
      if (!Visit()) return false;
    }
    return true;
  }

private:
  void Enter(const ZELBasXmlNode& node, size_t index) {
    frames.push_back(Frame{&node, index, 0, std::vector<signed char>(elementSteps, -1), {}});
    indices.push_back(index);
  }

  // Offers the element on top of the walk, or its attributes.
  bool Visit() {
    const size_t depth = frames.size() - 1;
    bool attributes = path.SelectsAttributes();
    if (!(attributes ? AttributeOwner(depth) : Matches(depth, elementSteps - 1))) return true;
    Match match;
    match.indices.assign(indices.begin() + 1, indices.end());
    match.element = frames.back().node;
    if (!attributes) return visit(match);
    const ZELString& name = path.steps.back().name;
    for (const auto& attribute : match.element->GetAttributes()) {
      if (name.GetLengthInBytes() != 0 && attribute.first != name) continue;
      match.attribute = &attribute.first;
      if (!visit(match)) return false;
    }
    return true;
  }

  // Whether the element at `depth` of the walk is selected by the steps up
  // to `step`.
  bool Matches(size_t depth, size_t step) {
    signed char& known = frames[depth].matched[step];
    if (known < 0) known = Passes(depth, step) && Follows(depth, step) ? 1 : 0;
    return known == 1;
  }

  // Whether the step before `step` selects what `step` starts from.
  bool Follows(size_t depth, size_t step) {
    if (step == 0) return path.steps[0].descendant || depth == 0;
    if (!path.steps[step].descendant) return depth > 0 && Matches(depth - 1, step - 1);
    for (size_t above = 0; above < depth; ++above) {
      if (Matches(above, step - 1)) return true;
    }
    return false;
  }

  // Whether the element at `depth` has the attributes of the last step: a
  // child step of the one before, or after '//' any element at or below it.
  bool AttributeOwner(size_t depth) {
    const size_t step = path.steps.size() - 1;
    if (step == 0) return path.steps[0].descendant;
    if (!path.steps[step].descendant) return Matches(depth, step - 1);
    for (size_t above = 0; above <= depth; ++above) {
      if (Matches(above, step - 1)) return true;
    }
    return false;
  }

  // The name test and every predicate of `step` on the element at `depth`.
  bool Passes(size_t depth, size_t step) {
    const size_t all = path.steps[step].predicates.size();
    if (depth > 0) return PassesAmongSiblings(depth - 1, frames[depth].index, step, all);
    // The root has no siblings: it is first and last of its one.
    const ZELBasXmlNode& root = *frames[0].node;
    if (!NameTest(root, step)) return false;
    for (const Predicate& predicate : path.steps[step].predicates) {
      if (predicate.kind == Predicate::kPosition && predicate.position != 1) return false;
      if (predicate.kind != Predicate::kPosition && predicate.kind != Predicate::kLast &&
          !AttributeTest(root, predicate)) {
        return false;
      }
    }
    return true;
  }

  // Whether child `child` of the element at `parent` passes the name test
  // and the first `count` predicates of `step`.
  bool PassesAmongSiblings(size_t parent, size_t child, size_t step, size_t count) {
    const ZELBasXmlNode& node = frames[parent].node->Children()[child];
    if (!NameTest(node, step)) return false;
    for (size_t i = 0; i < count; ++i) {
      const Predicate& predicate = path.steps[step].predicates[i];
      if (predicate.kind == Predicate::kPosition || predicate.kind == Predicate::kLast) {
        const Positions& positions = PositionsOf(parent, step, i);
        size_t place = positions.of[child];
        if (place != (predicate.kind == Predicate::kLast ? positions.count : predicate.position))
          return false;
      } else if (!AttributeTest(node, predicate)) {
        return false;
      }
    }
    return true;
  }

  const Positions& PositionsOf(size_t parent, size_t step, size_t predicate) {
    auto& known = frames[parent].positions;
    auto found = known.find({step, predicate});
    if (found != known.end()) return found->second;
    const size_t children = frames[parent].node->Children().size();
    Positions positions;
    positions.of.assign(children, 0);
    for (size_t child = 0; child < children; ++child) {
      if (PassesAmongSiblings(parent, child, step, predicate)) positions.of[child] = ++positions.count;
    }
    return known.emplace(std::make_pair(step, predicate), std::move(positions)).first->second;
  }

  bool NameTest(const ZELBasXmlNode& node, size_t step) const {
    const ZELString& name = path.steps[step].name;
    return name.GetLengthInBytes() == 0 || node.GetTagName() == name;
  }

  static bool AttributeTest(const ZELBasXmlNode& node, const Predicate& predicate) {
    ZELString value;
    if (node.GetAttribute(predicate.name, value) != S_OK) return false;
    return predicate.kind == Predicate::kHasAttribute || value == predicate.value;
  }

  const Path& path;
  const std::function<bool(const Match&)>& visit;
  size_t elementSteps = 0;
  size_t deepest = static_cast<size_t>(-1);  // the deepest level a match can be at
  std::vector<Frame> frames;
  std::vector<size_t> indices;
};

}  // namespace

bool WalkMatches(const Path& path, const ZELBasXmlNode& root,
                 const std::function<bool(const Match&)>& visit) {
  return Matcher(path, visit).Walk(root);
}

}  // namespace zelbasxml_detail
