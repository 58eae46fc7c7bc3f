// The calls that read and edit an element's content item by item: runs of
// text, comments and instructions beside the children.
#include <string>
#include <string_view>

#include "KeptContent.h"
#include "NodeAccess.h"
#include "WellFormedCheck.h"
#include "ZELBasXmlNode.h"

using namespace zelbas_detail;

namespace {

ZELString Text(const std::string& bytes) {
  ZELString text;
  text.BuildFromUTF8(bytes.data(), bytes.size());
  return text;
}

// The markup that holds `text` as an item of `kind`; false when it cannot.
bool MarkupFor(ZELBasXmlContent kind, std::string_view text, std::string& raw) {
  if (!IsXmlText(text)) return false;
  if (kind == ZELBasXmlCommentItem) {
    if (text.find("--") != std::string_view::npos || (!text.empty() && text.back() == '-')) return false;
    raw = "<!--" + std::string(text) + "-->";
    return true;
  }
  // An instruction: a target that is a name, not "xml" in any case, then
  // white space and the data.
  size_t end = text.find_first_of(" \t\r\n");
  std::string target(text.substr(0, end));
  std::string lower = target;
  for (char& c : lower) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
  ZELBasXmlNode named((Text(target)));
  ZELString problem;
  if (named.CheckWritable(problem) != S_OK || lower == "xml" || text.find("?>") != std::string_view::npos) {
    return false;
  }
  raw = "<?" + std::string(text) + "?>";
  return true;
}

// The items of a node without a kept layout: its text, then its children.
bool PlainItem(const ZELBasXmlNode* node, size_t index, bool& text) {
  bool hasText = NodeAccess::HasText(node);
  text = hasText && index == 0;
  return index < (hasText ? 1 : 0) + node->Children().size();
}

}  // namespace

size_t ZELBasXmlNode::ContentCount() const {
  KeptContent content;
  if (Unpack(this, content)) return content.items.size();
  return (NodeAccess::HasText(this) ? 1 : 0) + children.size();
}

long ZELBasXmlNode::ContentAt(size_t index, ZELBasXmlContent& kind, ZELString& text) const {
  KeptContent content;
  if (Unpack(this, content)) {
    if (index >= content.items.size()) return E_FAIL;
    const ContentItem& item = content.items[index];
    kind = item.kind;
    if (item.kind != ZELBasXmlElementItem) {
      text = Text(item.text);
      return S_OK;
    }
    size_t child = 0;
    for (size_t i = 0; i < index; ++i) child += content.items[i].kind == ZELBasXmlElementItem ? 1 : 0;
    text = children[child].tagName;
    return S_OK;
  }
  bool isText;
  if (!PlainItem(this, index, isText)) return E_FAIL;
  kind = isText ? ZELBasXmlTextItem : ZELBasXmlElementItem;
  text = isText ? data : children[index - (NodeAccess::HasText(this) ? 1 : 0)].tagName;
  return S_OK;
}

long ZELBasXmlNode::SetContent(size_t index, const ZELString& text) {
  KeptContent content;
  if (!Unpack(this, content)) {
    bool isText;
    if (!PlainItem(this, index, isText) || !isText || !IsXmlText(text)) return E_FAIL;
    return SetData(text);
  }
  if (index >= content.items.size()) return E_FAIL;
  ContentItem& item = content.items[index];
  std::string_view bytes = text;
  if (item.kind == ZELBasXmlElementItem) return E_FAIL;
  if (item.kind == ZELBasXmlTextItem) {
    if (!IsXmlText(bytes)) return E_FAIL;
    item.raw.clear();
  } else if (!MarkupFor(item.kind, bytes, item.raw)) {
    return E_FAIL;
  }
  item.text.assign(bytes);
  Pack(this, content);
  return S_OK;
}

long ZELBasXmlNode::RemoveContent(size_t index) {
  KeptContent content;
  if (!Unpack(this, content)) {
    bool isText;
    if (!PlainItem(this, index, isText) || !isText) return E_FAIL;
    return SetData(ZELString());
  }
  if (index >= content.items.size() || content.items[index].kind == ZELBasXmlElementItem) return E_FAIL;
  content.items.erase(content.items.begin() + static_cast<long>(index));
  Pack(this, content);
  return S_OK;
}

long ZELBasXmlNode::InsertComment(size_t index, const ZELString& text) {
  KeptContent content;
  ContentItem comment{ZELBasXmlCommentItem, std::string(std::string_view(text)), std::string()};
  if (!Unpack(this, content) || index > content.items.size() ||
      !MarkupFor(ZELBasXmlCommentItem, comment.text, comment.raw)) {
    return E_FAIL;
  }
  content.items.insert(content.items.begin() + static_cast<long>(index), comment);
  Pack(this, content);
  return S_OK;
}
