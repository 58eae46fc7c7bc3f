// Unpacking and packing a kept element's content.
#include "KeptContent.h"

#include <cstdlib>
#include <string_view>

#include "KeptEdits.h"
#include "KeptEscaping.h"
#include "NodeAccess.h"
#include "ShortBytes.h"

namespace zelbas_detail {

namespace {

void PutUtf8(unsigned long code, std::string& out) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (code >> 18));
    out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

bool Blank(const std::string& text) { return zelbas_detail::Blank(text.data(), text.size()); }

}  // namespace

std::string Decode(const std::string& raw) {
  std::string text;
  for (size_t i = 0; i < raw.size(); ++i) {
    char c = raw[i];
    if (c == '\r') {
      text += '\n';
      if (i + 1 < raw.size() && raw[i + 1] == '\n') ++i;
    } else if (c == '<' && raw.compare(i, 9, "<![CDATA[") == 0) {
      size_t end = raw.find("]]>", i + 9);
      text.append(raw, i + 9, end - i - 9);
      i = end + 2;
    } else if (c == '&') {
      size_t end = raw.find(';', i);
      std::string name = raw.substr(i + 1, end - i - 1);
      static const char* const kNamed[][2] = {
          {"lt", "<"}, {"gt", ">"}, {"amp", "&"}, {"quot", "\""}, {"apos", "'"}};
      bool known = false;
      for (const auto& named : kNamed) {
        if (name == named[0]) text += named[1], known = true;
      }
      if (!known && name.size() > 1 && name[0] == '#') {
        bool hex = name[1] == 'x';
        PutUtf8(std::strtoul(name.c_str() + (hex ? 2 : 1), nullptr, hex ? 16 : 10), text);
        known = true;
      }
      if (!known) text.append(raw, i, end - i + 1);  // an entity of the document type: as written
      i = end;
    } else {
      text += c;
    }
  }
  return text;
}

namespace {

// One step of an element's operations taken into `content`: its tags'
// tails and items; the start tag's own steps go to `start`. `at` is where
// the next text's characters begin in the element's text `data`.
void Take(const MarkupStep& step, std::string_view data, size_t& at, KeptContent& content,
          MarkupWriter& start) {
  auto item = [&content](ZELBasXmlContent kind, std::string_view text, std::string_view raw) {
    content.items.push_back(ContentItem{kind, std::string(text), std::string(raw)});
  };
  switch (step.op) {
    case MarkupOp::kOpen:
    case MarkupOp::kSelfClose:
      content.empty = step.op == MarkupOp::kSelfClose;
      content.openTail.assign(step.raw);
      break;
    case MarkupOp::kText:
    case MarkupOp::kRawText:
      item(ZELBasXmlTextItem, data.substr(std::min(at, data.size()), step.count), step.raw);
      at += step.count;
      break;
    case MarkupOp::kWhole:
      item(ZELBasXmlTextItem, data, std::string_view());
      at = data.size();
      break;
    case MarkupOp::kBlank:
      item(ZELBasXmlTextItem, Decode(std::string(step.raw)), step.raw);
      break;
    case MarkupOp::kComment:
      item(ZELBasXmlCommentItem, step.raw.substr(4, step.raw.size() - 7), step.raw);
      break;
    case MarkupOp::kInstruction:
      item(ZELBasXmlInstructionItem, step.raw.substr(2, step.raw.size() - 4), step.raw);
      break;
    case MarkupOp::kChild:
      item(ZELBasXmlElementItem, std::string_view(), std::string_view());
      break;
    case MarkupOp::kEnd:
      content.endTail.assign(step.raw);
      break;
    default:
      start.Step(step);
  }
}

// The items of `first` up to the next element, a run, as operations; its
// texts' characters are added to `text`.
void PackRun(const ContentItem* first, const ContentItem* end, MarkupWriter& ops, std::string& text) {
  bool blank = true;
  for (const ContentItem* item = first; item != end; ++item) {
    if (item->kind == ZELBasXmlTextItem) blank = blank && Blank(item->text);
  }
  for (const ContentItem* item = first; item != end; ++item) {
    if (item->kind == ZELBasXmlCommentItem || item->kind == ZELBasXmlInstructionItem) {
      ops.Raw(item->kind == ZELBasXmlCommentItem ? MarkupOp::kComment : MarkupOp::kInstruction, item->raw);
    } else if (blank) {
      std::string written = item->raw;
      if (written.empty()) EscapeText(item->text, [&written](std::string_view piece) { written += piece; });
      ops.Raw(MarkupOp::kBlank, written);
    } else {
      text += item->text;
      if (item->raw.empty()) {
        ops.TextBytes(item->text.size());
      } else {
        ops.RawText(item->text.size(), item->raw);
      }
    }
  }
}

}  // namespace

bool Unpack(const ZELBasXmlNode* node, KeptContent& content) {
  const Markup* markup = NodeAccess::MarkupOf(node);
  if (markup == nullptr) return false;
  std::string edited;
  std::string_view ops = markup->Operations();
  if (BringInLine(node, ops, std::string_view(), false, KeptStyle(), edited)) ops = edited;
  std::string_view data = NodeAccess::Data(node);
  size_t at = 0;
  MarkupReader reader(ops);
  MarkupWriter start;
  MarkupStep step;
  while (reader.Next(step)) Take(step, data, at, content, start);
  content.start.assign(start.bytes.View());
  return true;
}

void Pack(ZELBasXmlNode* node, const KeptContent& content) {
  MarkupWriter ops;
  ops.bytes.Append(content.start);
  const std::vector<ContentItem>& items = content.items;
  bool empty = content.empty && items.empty();
  std::string tail = content.openTail;
  if (content.empty && !empty) tail.replace(tail.size() - 2, 2, ">");  // "<a/>" with content now
  ops.Raw(empty ? MarkupOp::kSelfClose : MarkupOp::kOpen, tail);
  std::string text;
  const ContentItem* first = items.data();
  const ContentItem* last = first + items.size();
  for (;;) {
    const ContentItem* end = first;
    while (end != last && end->kind != ZELBasXmlElementItem) ++end;
    PackRun(first, end, ops, text);
    if (end == last) break;
    ops.Op(MarkupOp::kChild);
    first = end + 1;
  }
  if (!empty) ops.Raw(MarkupOp::kEnd, content.empty ? std::string(">") : content.endTail);
  NodeAccess::SetMarkup(node, Markup::Make(ops.bytes.View()));
  ZELString& data = NodeAccess::Data(node);
  data = ZELString();
  data.BuildFromUTF8(text.data(), text.size());
  NodeAccess::SetTextEdited(node, false);
  uint32_t place = 0;
  for (const ZELBasXmlNode* child = NodeAccess::FirstChild(node); child != nullptr;
       child = NodeAccess::NextSibling(child)) {
    NodeAccess::SetKeptIndex(NodeAccess::Mutable(child), place++);
  }
}

}  // namespace zelbas_detail
