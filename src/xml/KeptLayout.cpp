// Writing kept elements: the start tag with the node's attributes, the
// content played around the children, and subtrees written afresh.
#include "KeptLayout.h"

#include <algorithm>
#include <utility>

#include "KeptEdits.h"
#include "KeptEscaping.h"
#include "NodeAccess.h"

namespace zelbas_detail {

namespace {

// The node's attributes by name, in the map's order, each taken once.
class AttributeTable {
public:
  explicit AttributeTable(const ZELBasXmlNode* node) {
    const ZELBasMap<ZELString, ZELString>& attributes = NodeAccess::Attributes(node);
    for (ZELBasMap<ZELString, ZELString>::const_iterator it = attributes.begin(); it != attributes.end();
         ++it) {
      entries.push_back(Entry{std::string_view(it->first), &it->second, false});
    }
  }
  // The value of `name`, marked as written; null when there is none.
  const ZELString* Take(std::string_view name) {
    auto at = std::lower_bound(entries.begin(), entries.end(), name,
                               [](const Entry& entry, std::string_view key) { return entry.name < key; });
    if (at == entries.end() || at->name != name) return nullptr;
    at->taken = true;
    return at->value;
  }
  template <class Each>
  void ForEachNotTaken(Each each) const {
    for (const Entry& entry : entries) {
      if (!entry.taken) each(entry.name, *entry.value);
    }
  }

private:
  struct Entry {
    std::string_view name;
    const ZELString* value;
    bool taken;
  };
  std::vector<Entry> entries;
};

void Put(BufferedSink& out, std::string_view bytes) { out.Put(bytes.data(), bytes.size()); }

void PutValue(BufferedSink& out, std::string_view value, char quote) {
  EscapeValue(value, quote, [&out](std::string_view piece) { Put(out, piece); });
}

void PutText(BufferedSink& out, std::string_view text) {
  EscapeText(text, [&out](std::string_view piece) { Put(out, piece); });
}

}  // namespace

void KeptLayout::Open(const ZELBasXmlNode* node, size_t at) {
  if (freshDepth != kNone) {
    fresh->Open(node, at - freshDepth);
    return;
  }
  std::string indent;
  bool known = false;
  if (at == 0) {
    indent.assign(style.indent);
    known = style.indentKnown;
    if (style.putIndent) Put(out, style.indent);
  } else {
    Play(frames[at - 1], indent, known);
  }
  const Markup* markup = NodeAccess::MarkupOf(node);
  if (markup == nullptr) {
    StartFresh(node, at, indent, known);
    return;
  }
  if (frames.size() <= at) frames.resize(at + 1);
  Frame& frame = frames[at];
  frame.node = node;
  frame.at = frame.textAt = 0;
  frame.indent = std::move(indent);
  frame.indentKnown = known;
  frame.useEdited = BringInLine(node, markup->Operations(), frame.indent, known, style, frame.edited);
  PutStartTag(frame);
}

void KeptLayout::Close(const ZELBasXmlNode* node, size_t at) {
  if (freshDepth != kNone) {
    fresh->Close(node, at - freshDepth);
    if (at == freshDepth) freshDepth = kNone;
    return;
  }
  std::string indent;
  bool known = false;
  Play(frames[at], indent, known);
}

void KeptLayout::PutStartTag(Frame& frame) {
  out.Put("<", 1);
  out.Put(NodeAccess::TagName(frame.node));
  AttributeTable attributes(frame.node);
  std::string_view ops = Operations(frame);
  MarkupReader reader(ops);
  MarkupStep step;
  while (reader.Next(step)) {
    if (step.op == MarkupOp::kImplied) {
      // Not written while it has the value the document type gives it,
      // and the element the name that takes it.
      std::string_view name = step.name;
      const ZELString* value = attributes.Take(name);
      bool implied = step.element == std::string_view(NodeAccess::TagName(frame.node));
      if (value != nullptr && (std::string_view(*value) != step.value || !implied)) {
        Put(out, " "), Put(out, name), Put(out, "=\""), PutValue(out, *value, '"'), Put(out, "\"");
      }
      continue;
    }
    if (step.op != MarkupOp::kAttribute && step.op != MarkupOp::kRawAttribute) break;
    const ZELString* value = attributes.Take(step.name);
    if (value == nullptr) continue;  // removed, with the space before it
    Put(out, step.space), Put(out, step.name), Put(out, step.between), out.Put(&step.quote, 1);
    if (step.op == MarkupOp::kRawAttribute && std::string_view(*value) == step.value) {
      Put(out, step.raw);
    } else {
      PutValue(out, *value, step.quote);
    }
    out.Put(&step.quote, 1);
  }
  // New attributes after the last, a space before each.
  attributes.ForEachNotTaken([this](std::string_view name, const ZELString& value) {
    Put(out, " "), Put(out, name), Put(out, "=\""), PutValue(out, value, '"'), Put(out, "\"");
  });
  Put(out, step.raw);  // ">" or "/>", with the space before it
  frame.at = static_cast<size_t>(reader.Position() - ops.data());
}

std::string_view KeptLayout::Operations(const Frame& frame) {
  return frame.useEdited ? std::string_view(frame.edited) : NodeAccess::MarkupOf(frame.node)->Operations();
}

bool KeptLayout::Play(Frame& frame, std::string& indent, bool& known) {
  std::string_view ops = Operations(frame);
  MarkupReader reader(ops.substr(frame.at));
  std::string_view text = NodeAccess::Data(frame.node);
  std::string_view space;  // the white space just written, if the last thing
  MarkupStep step;
  while (reader.Next(step)) {
    frame.at = static_cast<size_t>(reader.Position() - ops.data());
    switch (step.op) {
      case MarkupOp::kChild: {
        size_t line = space.rfind('\n');
        known = line != std::string_view::npos;
        if (known) indent.assign(space.substr(line + 1));
        return true;
      }
      case MarkupOp::kText: {
        size_t count = std::min(step.count, text.size() - std::min(frame.textAt, text.size()));
        PutText(out, text.substr(std::min(frame.textAt, text.size()), count));
        frame.textAt += step.count;
        break;
      }
      case MarkupOp::kWhole:
        PutText(out, text);
        frame.textAt = text.size();
        break;
      case MarkupOp::kRawText:
        Put(out, step.raw);
        frame.textAt += step.count;
        break;
      case MarkupOp::kEnd:
        out.Put("</", 2);
        out.Put(NodeAccess::TagName(frame.node));
        Put(out, step.raw);
        break;
      default:  // white space, a comment, an instruction
        Put(out, step.raw);
    }
    space = step.op == MarkupOp::kBlank ? step.raw : std::string_view();
  }
  return false;
}

void KeptLayout::StartFresh(const ZELBasXmlNode* node, size_t at, const std::string& indent, bool known) {
  freshDepth = at;
  freshPrefix = ZELString();
  freshPrefix.BuildFromUTF8(indent.data(), indent.size());
  freshIndentation.emplace(freshPrefix, style.unit);
  fresh.emplace(out, *freshIndentation);
  fresh->Nest(node, style.lineEnd, !known);
  fresh->Open(node, 0);
}

}  // namespace zelbas_detail
