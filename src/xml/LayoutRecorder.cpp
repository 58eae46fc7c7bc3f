// The recording of kept layouts: runs of text, tags and the markup between
// them, by their place in the input.
#include "LayoutRecorder.h"

#include <cassert>
#include <cstring>

#include "KeptEscaping.h"
#include "NodeAccess.h"
#include "ShortBytes.h"

namespace zelbas_detail {

namespace {

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// True when the raw attribute value is the value itself: no reference, no
// white space to normalize; the value's length is not needed for that.
bool Verbatim(std::string_view raw, const char* value) {
  for (size_t i = 0; i < raw.size(); ++i) {
    char c = raw[i];
    if (c != value[i] || c == '&' || c == '\t' || c == '\n' || c == '\r') return false;
  }
  return value[raw.size()] == '\0';
}

// True when text written as `raw` is what the writer writes for the
// characters it stands for: no CDATA section (its "<"), no carriage
// return (a line end the parser turns into a line feed), and no reference
// but &amp; and &lt; (which the writer writes for & and <). Expat has
// checked the rest: a ">" after "]]" cannot stand there.
bool WrittenAsIs(std::string_view raw) {
  // Searched for one character at a time: memchr goes many bytes a step.
  const char* at = raw.data();
  size_t size = raw.size();
  if (std::memchr(at, '<', size) != nullptr || std::memchr(at, '\r', size) != nullptr) return false;
  const char* end = at + size;
  while ((at = static_cast<const char*>(std::memchr(at, '&', static_cast<size_t>(end - at)))) != nullptr) {
    std::string_view rest(at, static_cast<size_t>(end - at));
    if (rest.compare(0, 5, "&amp;") == 0) {
      at += 5;
    } else if (rest.compare(0, 4, "&lt;") == 0) {
      at += 4;
    } else {
      return false;
    }
  }
  return true;
}

// What follows the last line break of `text`, or false when it has none.
bool AfterLastLineBreak(std::string_view text, std::string& indent) {
  size_t at = text.rfind('\n');
  if (at == std::string_view::npos) return false;
  indent.assign(text.substr(at + 1));
  return true;
}

// The hash of a markup's operations, eight bytes at a time.
uint32_t OperationsHash(std::string_view operations) {
  uint64_t hash = operations.size();
  size_t i = 0;
  for (; i + 8 <= operations.size(); i += 8)
    hash = (hash ^ WordAt<uint64_t>(operations.data() + i)) * 0x9E3779B97F4A7C15ULL;
  for (; i < operations.size(); ++i)
    hash = (hash ^ static_cast<unsigned char>(operations[i])) * 0x100000001B3ULL;
  return static_cast<uint32_t>(hash ^ (hash >> 32));
}

}  // namespace

LayoutRecorder::~LayoutRecorder() {
  for (Slot& slot : slots) Markup::Release(slot.markup);
}

LayoutRecorder::Frame& LayoutRecorder::Push() {
  if (depth == frames.size()) frames.emplace_back();
  Frame& frame = frames[depth++];
  frame.ops.bytes.Clear();
  frame.children = 0;
  frame.kept = true;
  frame.fromEntity = false;
  frame.indentKnown = false;
  frame.items.clear();
  frame.runRaw.clear();
  frame.texts = frame.rawTexts = 0;
  return frame;
}

bool LayoutRecorder::TakeGap(uint64_t position, Gap& gap, std::string_view& raw) {
  gap = open;
  open = Gap();
  if (position <= consumed) return false;
  raw = window.View(consumed, position, scratch);
  NoteLineEnd(raw);
  return true;
}

void LayoutRecorder::PutText(Frame& frame, bool blank, bool written, size_t length, std::string_view raw) {
  if (blank) {
    frame.ops.Raw(MarkupOp::kBlank, raw);
  } else if (written) {
    frame.textAt = frame.ops.bytes.Size();
    ++frame.texts;
    frame.ops.TextBytes(length);
  } else {
    ++frame.rawTexts;
    frame.ops.RawText(length, raw);
  }
}

void LayoutRecorder::CloseGap(uint64_t position, Frame& frame) {
  Gap gap;
  std::string_view raw;
  if (!TakeGap(position, gap, raw)) return;
  bool written = WrittenAsIs(raw);
  frame.items.push_back(Item{MarkupOp::kText, frame.runRaw.size(), 0, gap.length, written, gap.blank});
  // Text written as the writer writes it is made again from the node's.
  if (!written || gap.blank) {
    frame.runRaw += raw;
    frame.items.back().rawLength = raw.size();
  }
}

void LayoutRecorder::EndRunAt(uint64_t position, Frame& frame) {
  if (!frame.items.empty()) {
    CloseGap(position, frame);
    EndRun(frame);
    return;
  }
  // The run is one piece of text: its operation is written from where its
  // bytes lie.
  Gap gap;
  std::string_view raw;
  if (TakeGap(position, gap, raw)) PutText(frame, gap.blank, gap.blank || WrittenAsIs(raw), gap.length, raw);
}

void LayoutRecorder::EndRun(Frame& frame) {
  bool blank = true;
  for (const Item& item : frame.items) blank = blank && (item.kind != MarkupOp::kText || item.blank);
  for (const Item& item : frame.items) {
    std::string_view raw(frame.runRaw.data() + item.raw, item.rawLength);
    if (item.kind != MarkupOp::kText) {
      frame.ops.Raw(item.kind, raw);
    } else {
      PutText(frame, blank, item.written, item.length, raw);
    }
  }
  frame.items.clear();
  frame.runRaw.clear();
}

void LayoutRecorder::StartTag(ZELBasXmlNode* node, const char** atts) {
  if (off) return;
  uint64_t position = static_cast<uint64_t>(xmp_XML_GetCurrentByteIndex(events));
  int count = xmp_XML_GetCurrentByteCount(events);
  if (count <= 0 || window.At(position) != '<') {
    // From an entity reference: the element holding it is not kept.
    if (depth != 0) frames[depth - 1].kept = false;
    Frame& frame = Push();
    frame.fromEntity = true;
    frame.kept = false;
    return;
  }
  if (depth != 0) {
    StartChild(node, position);
  } else if (!StartRoot(position)) {
    return;
  }
  Frame& frame = frames[depth - 1];
  frame.node = node;
  std::string_view tag = window.View(position, position + static_cast<uint64_t>(count), scratch);
  consumed = position + static_cast<uint64_t>(count);
  RecordStartTag(frame, tag, atts);
}

void LayoutRecorder::StartChild(ZELBasXmlNode* node, uint64_t position) {
  // Once the indentation unit is known, the run before a child is not
  // looked at for it.
  bool unitKnown = unitFound;
  if (unitKnown) {
    EndRunAt(position, frames[depth - 1]);
  } else {
    CloseGap(position, frames[depth - 1]);
  }
  Frame& child = Push();
  Frame& parent = frames[depth - 2];  // Push may have moved the frames
  if (!unitKnown) {
    NoteIndent(parent, child);
    EndRun(parent);
  }
  parent.ops.Op(MarkupOp::kChild);
  NodeAccess::SetKeptIndex(node, parent.children++);
}

bool LayoutRecorder::StartRoot(uint64_t position) {
  window.Copy(0, position, around.prolog);
  NoteLineEnd(around.prolog);
  rootSeen = true;
  if (!EncodingKept(around.prolog)) {
    off = true;
    return false;
  }
  Frame& root = Push();
  root.indentKnown = true;  // the root's lines are the document's
  return true;
}

void LayoutRecorder::RecordStartTag(Frame& frame, std::string_view tag, const char** atts) {
  std::string_view name(NodeAccess::TagName(frame.node));
  if (tag.substr(1, name.size()) != name) {
    frame.kept = false;
    return;
  }
  // Expat has checked the tag: its attributes come in the order written,
  // with the names it gives, values end at their quote, and the tag at its
  // closing ">" (the last byte).
  const char* end = tag.data() + tag.size();
  const char* at = tag.data() + 1 + name.size();
  const char** pair = atts;
  for (;;) {
    const char* space = at;
    while (IsSpace(*at)) ++at;
    if (*at == '/' || *at == '>') {
      at = space;
      break;
    }
    at = RecordAttribute(frame, space, at, end, pair);
    if (at == nullptr) {
      frame.kept = false;
      return;
    }
    pair += 2;
  }
  // Those the document type gave, not written in the tag.
  for (; pair[0] != nullptr; pair += 2) frame.ops.Implied(name, pair[0], pair[1]);
  std::string_view tail(at, static_cast<size_t>(end - at));
  bool empty = tail.size() >= 2 && tail[tail.size() - 2] == '/';
  frame.ops.Raw(empty ? MarkupOp::kSelfClose : MarkupOp::kOpen, tail);
}

const char* LayoutRecorder::RecordAttribute(Frame& frame, const char* space, const char* at, const char* end,
                                            const char** pair) {
  const char* expected = pair[0];
  size_t length = 0;
  if (expected != nullptr) {
    while (expected[length] != '\0' && at[length] == expected[length]) ++length;
  }
  if (expected == nullptr || expected[length] != '\0' || !(IsSpace(at[length]) || at[length] == '='))
    return nullptr;
  std::string_view attribute(at, length);
  std::string_view spaceBefore(space, static_cast<size_t>(at - space));
  at += length;
  const char* between = at;
  while (*at != '"' && *at != '\'') ++at;
  std::string_view betweenBytes(between, static_cast<size_t>(at - between));
  char quote = *at++;
  const char* valueStart = at;
  at = static_cast<const char*>(std::memchr(at, quote, static_cast<size_t>(end - at)));
  std::string_view raw(valueStart, static_cast<size_t>(at - valueStart));
  // Mostly the value as it is, seen without measuring it.
  if (Verbatim(raw, pair[1]) || WrittenAsValue(raw, pair[1], quote)) {
    frame.ops.Attribute(spaceBefore, attribute, betweenBytes, quote);
  } else {
    frame.ops.RawAttribute(spaceBefore, attribute, betweenBytes, quote, pair[1], raw);
  }
  return at + 1;
}

void LayoutRecorder::EndTag(ZELBasXmlNode* node) {
  if (off) return;
  Frame& frame = frames[depth - 1];
  if (frame.fromEntity) {
    --depth;
    return;
  }
  uint64_t position = static_cast<uint64_t>(xmp_XML_GetCurrentByteIndex(events));
  int count = xmp_XML_GetCurrentByteCount(events);
  if (count > 0) {
    EndRunAt(position, frame);
    std::string_view tag = window.View(position, position + static_cast<uint64_t>(count), scratch);
    size_t nameEnd = 2 + NodeAccess::TagName(node).GetLengthInBytes();
    frame.ops.Raw(MarkupOp::kEnd, tag.substr(nameEnd));
    consumed = position + static_cast<uint64_t>(count);
  }
  if (frame.kept) {
    if (frame.texts == 1 && frame.rawTexts == 0) {
      // The one run of text is the whole text: elements of the same shape
      // then share one markup, whatever their texts' lengths.
      std::string_view ops = frame.ops.bytes.View();
      size_t end = frame.textAt + 1;
      while (static_cast<unsigned char>(ops[end]) & 0x80) ++end;
      frame.ops.bytes.Replace(frame.textAt, end + 1 - frame.textAt, static_cast<char>(MarkupOp::kWhole));
    }
    NodeAccess::SetMarkup(node, Intern(frame.ops.bytes.View()));
  }
  --depth;
}

void LayoutRecorder::Text(const char* text, size_t length) {
  if (off || depth == 0) return;
  open.length += length;
  open.blank = open.blank && Blank(text, length);
}

void LayoutRecorder::OtherMarkup(MarkupOp kind) {
  if (off || depth == 0 || frames[depth - 1].fromEntity) return;  // around the root: kept as it stands
  uint64_t position = static_cast<uint64_t>(xmp_XML_GetCurrentByteIndex(events));
  int count = xmp_XML_GetCurrentByteCount(events);
  if (count <= 0 || window.At(position) != '<') return;  // from an entity: its reference is the text
  Frame& frame = frames[depth - 1];
  CloseGap(position, frame);
  std::string_view markup = window.View(position, position + static_cast<uint64_t>(count), scratch);
  NoteLineEnd(markup);
  frame.items.push_back(Item{kind, frame.runRaw.size(), markup.size(), 0, true, true});
  frame.runRaw += markup;
  consumed = position + static_cast<uint64_t>(count);
}

bool LayoutRecorder::Finish(KeptDocument& kept) {
  if (off || !rootSeen || depth != 0) return false;
  window.Copy(consumed, window.End(), around.epilog);
  if (!lineEndFound) around.lineEnd = "\n";
  if (!unitFound) around.unit = "    ";
  kept = around;
  return true;
}

void LayoutRecorder::NoteLineEnd(std::string_view raw) {
  if (lineEndFound) return;
  size_t at = raw.find('\n');
  if (at == std::string_view::npos) return;
  around.lineEnd = at != 0 && raw[at - 1] == '\r' ? "\r\n" : "\n";
  lineEndFound = true;
}

// A child whose start tag begins a line has that line's indentation; the
// first one deeper than its parent's gives the document's unit.
void LayoutRecorder::NoteIndent(Frame& parent, Frame& child) {
  if (unitFound) return;  // the indentation serves only to find the unit
  // Only white space before a child is its indentation.
  if (parent.items.empty() || parent.items.back().kind != MarkupOp::kText || !parent.items.back().blank)
    return;
  const Item& last = parent.items.back();
  std::string_view before(parent.runRaw.data() + last.raw, last.rawLength);
  child.indentKnown = AfterLastLineBreak(before, child.indent);
  if (unitFound || !child.indentKnown || !parent.indentKnown) return;
  const std::string& outer = parent.indent;
  if (child.indent.size() > outer.size() && child.indent.compare(0, outer.size(), outer) == 0) {
    around.unit = child.indent.substr(outer.size());
    unitFound = true;
  }
}

Markup* LayoutRecorder::Intern(std::string_view operations) {
  uint32_t hash = OperationsHash(operations);
  Slot& slot = slots[((hash * 0x9E3779B1u) >> 16) % kSlots];
  if (slot.markup == nullptr || slot.hash != hash || slot.markup->Operations() != operations) {
    Markup::Release(slot.markup);
    slot.markup = Markup::Make(operations);
    slot.hash = hash;
  }
  Markup::Retain(slot.markup);
  return slot.markup;
}

void LayoutRecorder::Declaration(const char* encoding) {
  if (encoding == nullptr) return;
  std::string name(encoding);
  for (char& c : name) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
  foreignEncoding = name != "utf-8" && name != "us-ascii";
}

// Only a layout in UTF-8 (or ASCII) can be written back as it stands: not
// one a declaration or the first bytes (UTF-16) say is in another.
bool LayoutRecorder::EncodingKept(const std::string& prolog) const {
  bool wide = prolog.size() >= 2 &&
              (prolog[0] == '\0' || prolog[1] == '\0' || static_cast<unsigned char>(prolog[0]) >= 0xFE);
  return !wide && !foreignEncoding;
}

}  // namespace zelbas_detail
