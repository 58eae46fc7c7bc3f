// The operations of an edited kept element.
#include "KeptEdits.h"

#include <vector>

#include "NodeAccess.h"

namespace zelbas_detail {

namespace {

bool IsText(MarkupOp op) {
  return op == MarkupOp::kText || op == MarkupOp::kRawText || op == MarkupOp::kWhole;
}

MarkupStep Make(MarkupOp op, std::string_view raw = std::string_view()) {
  MarkupStep step;
  step.op = op;
  step.raw = raw;
  return step;
}

// The content with the node's new text in it.
std::vector<MarkupStep> WithNewText(const std::vector<MarkupStep>& content, bool empty) {
  bool structure = false;
  for (const MarkupStep& step : content) {
    structure = structure || step.op == MarkupOp::kChild || step.op == MarkupOp::kComment ||
                step.op == MarkupOp::kInstruction;
  }
  std::vector<MarkupStep> result;
  if (!structure) {
    if (!empty) result.push_back(Make(MarkupOp::kWhole));
    return result;
  }
  bool placed = empty;
  for (const MarkupStep& step : content) {
    if (!IsText(step.op)) {
      result.push_back(step);
    } else if (!placed) {
      result.push_back(Make(MarkupOp::kWhole));
      placed = true;
    }
  }
  // No run of text to take the place of: at the end, where the white space
  // before the end tag goes (DropBlanksBesideText).
  if (!placed) result.push_back(Make(MarkupOp::kWhole));
  return result;
}

// A run of text with characters in it takes no white space beside them
// that was a run of its own: it would join the text. (Where a child went
// or new text came, runs meet.)
void DropBlanksBesideText(std::vector<MarkupStep>& content) {
  size_t first = 0;
  for (size_t i = 0; i <= content.size(); ++i) {
    if (i < content.size() && content[i].op != MarkupOp::kChild) continue;
    bool text = false;
    for (size_t j = first; j < i; ++j) text = text || IsText(content[j].op);
    if (text) {
      for (size_t j = i; j-- > first;) {
        if (content[j].op == MarkupOp::kBlank) content.erase(content.begin() + static_cast<long>(j)), --i;
      }
    }
    first = i + 1;
  }
}

// Where the node's children go among the holes of its markup: at hole k the
// one it was (present), and before it those put in the place of one gone;
// after the last hole those appended.
struct Placement {
  std::vector<char> present;
  std::vector<size_t> before;
  size_t appended = 0;
  bool fits = true;  // every child at its own hole, none more
};

Placement Place(const ZELBasXmlNode* node, size_t holes) {
  Placement place;
  place.present.assign(holes, 0);
  place.before.assign(holes, 0);
  std::vector<size_t> index;
  size_t last = 0;
  bool any = false;
  for (const ZELBasXmlNode* child = NodeAccess::FirstChild(node); child != nullptr;
       child = NodeAccess::NextSibling(child)) {
    size_t k = NodeAccess::KeptIndex(child);
    // Kept children stand in their markup's order; any other is new here.
    if (k >= holes || (any && k <= last)) k = NodeAccess::kNotKept;
    if (k != NodeAccess::kNotKept) {
      place.present[k] = 1;
      last = k;
      any = true;
    }
    place.fits = place.fits && k == index.size();
    index.push_back(k);
  }
  place.fits = place.fits && index.size() == holes;
  size_t next = NodeAccess::kNotKept;  // the kept child after a new one
  for (size_t p = index.size(); p-- > 0;) {
    if (index[p] != NodeAccess::kNotKept) {
      next = index[p];
    } else if (next == NodeAccess::kNotKept) {
      ++place.appended;
    } else {
      ++place.before[next];
    }
  }
  return place;
}

// An element's operations apart: the start tag's attributes go to
// `writer`, its tags' tails to `open` and `end`, the rest to `content`.
// Returns the number of children (holes) in the content.
size_t Split(std::string_view ops, MarkupWriter& writer, std::vector<MarkupStep>& content, MarkupStep& open,
             MarkupStep& end) {
  MarkupReader reader(ops);
  MarkupStep step;
  size_t holes = 0;
  while (reader.Next(step)) {
    switch (step.op) {
      case MarkupOp::kAttribute:
      case MarkupOp::kRawAttribute:
      case MarkupOp::kImplied:
        writer.Step(step);
        break;
      case MarkupOp::kOpen:
      case MarkupOp::kSelfClose:
        open = step;
        break;
      case MarkupOp::kEnd:
        end = step;
        break;
      default:
        holes += step.op == MarkupOp::kChild ? 1 : 0;
        content.push_back(step);
    }
  }
  return holes;
}

// A child, after the white space `space` (none when empty).
void PutChild(std::vector<MarkupStep>& placed, std::string_view space) {
  if (!space.empty()) placed.push_back(Make(MarkupOp::kBlank, space));
  placed.push_back(Make(MarkupOp::kChild));
}

// The content with the children where `place` puts them: at each hole
// those before it and the one it was, each after the white space the hole
// had; after the last, those appended.
std::vector<MarkupStep> PlaceChildren(const std::vector<MarkupStep>& content, const Placement& place,
                                      size_t holes) {
  std::vector<MarkupStep> placed;
  size_t hole = 0;
  for (size_t i = 0; i < content.size(); ++i) {
    const MarkupStep& at = content[i];
    bool spaced =
        at.op == MarkupOp::kBlank && i + 1 < content.size() && content[i + 1].op == MarkupOp::kChild;
    if (!spaced && at.op != MarkupOp::kChild) {
      placed.push_back(at);
      continue;
    }
    std::string_view space = spaced ? at.raw : std::string_view();
    i += spaced ? 1 : 0;
    size_t k = hole++;
    for (size_t n = place.before[k] + place.present[k]; n-- > 0;) PutChild(placed, space);
    if (k + 1 == holes) {
      for (size_t n = place.appended; n-- > 0;) PutChild(placed, space);
    }
  }
  return placed;
}

// Children appended to an element that had none: on lines of their own,
// one unit deeper than the element, when it holds no text and its
// indentation is known; else run on. `deeper` and `closing` hold the
// white space the new steps point into.
void AppendToEmpty(std::vector<MarkupStep>& placed, size_t appended, std::string_view indent, bool known,
                   const KeptStyle& style, std::string& deeper, std::string& closing) {
  bool text = false;
  for (const MarkupStep& s : placed) text = text || IsText(s.op);
  if (text || !known) {
    for (size_t n = appended; n-- > 0;) PutChild(placed, std::string_view());
    return;
  }
  deeper = std::string(style.lineEnd) + std::string(indent) + std::string(style.unit);
  closing = std::string(style.lineEnd) + std::string(indent);
  MarkupStep last = Make(MarkupOp::kEnd);
  bool lastLine = !placed.empty() && placed.back().op == MarkupOp::kBlank &&
                  placed.back().raw.find('\n') != std::string_view::npos;
  if (lastLine) {
    last = placed.back();
    placed.pop_back();
  }
  for (size_t n = appended; n-- > 0;) PutChild(placed, deeper);
  placed.push_back(lastLine ? last : Make(MarkupOp::kBlank, closing));
}

}  // namespace

bool BringInLine(const ZELBasXmlNode* node, std::string_view ops, std::string_view indent, bool known,
                 const KeptStyle& style, std::string& edited) {
  MarkupWriter writer;
  std::vector<MarkupStep> content;
  MarkupStep open = Make(MarkupOp::kOpen, ">"), end = Make(MarkupOp::kEnd, ">");
  size_t holes = Split(ops, writer, content, open, end);
  bool textEdited = NodeAccess::TextEdited(node);
  Placement place = Place(node, holes);
  if (!textEdited && place.fits) return false;
  if (textEdited) content = WithNewText(content, NodeAccess::Data(node).GetLengthInBytes() == 0);

  std::vector<MarkupStep> placed = PlaceChildren(content, place, holes);
  std::string deeper, closing;
  if (holes == 0 && place.appended != 0)
    AppendToEmpty(placed, place.appended, indent, known, style, deeper, closing);
  DropBlanksBesideText(placed);
  std::string tail;
  if (open.op == MarkupOp::kSelfClose) {
    if (placed.empty()) {
      writer.Step(open);
      edited.assign(writer.bytes.View());
      return true;
    }
    // "<a/>" with content now: "<a>...</a>", the white space kept.
    tail = std::string(open.raw.substr(0, open.raw.size() - 2)) + ">";
    open = Make(MarkupOp::kOpen, tail);
  }
  writer.Step(open);
  for (const MarkupStep& s : placed) writer.Step(s);
  writer.Step(end);
  edited.assign(writer.bytes.View());
  return true;
}

}  // namespace zelbas_detail
