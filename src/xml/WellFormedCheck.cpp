// The check of a subtree before a well-formed write, and the path that
// names an element it refuses.
#include "WellFormedCheck.h"

#include <cstdint>
#include <cstdio>

#include "NodeAccess.h"
#include "ZELBasScopeOwner.h"
#include "ZELBasXmlParser.h"

namespace zelbas_detail {

namespace {

// The code point of the UTF-8 sequence at `p`, advancing past it; -1 for a
// sequence that is cut, overlong, beyond U+10FFFF or a surrogate.
long NextCodePoint(const unsigned char*& p, const unsigned char* end) {
  unsigned char lead = *p++;
  if (lead < 0x80) return lead;
  int extra = lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC0 ? 1 : -1;
  if (extra < 0 || lead > 0xF4 || end - p < extra) return -1;
  long code = lead & (0x3F >> extra);
  for (int i = 0; i < extra; ++i, ++p) {
    if ((*p & 0xC0) != 0x80) return -1;
    code = (code << 6) | (*p & 0x3F);
  }
  static const long kLeast[] = {0, 0x80, 0x800, 0x10000};
  if (code < kLeast[extra] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return -1;
  return code;
}

bool IsAsciiNameByte(unsigned char c, bool first) {
  if ((c | 0x20) >= 'a' && (c | 0x20) <= 'z') return true;
  if (c == '_' || c == ':') return true;
  return !first && ((c >= '0' && c <= '9') || c == '-' || c == '.');
}

// Asks the parser whether `name` is a name, as an element's: its tables of
// name characters outside ASCII are the ones a read of the output uses.
bool ParserTakesName(std::string_view name) {
  ZELBasScopeOwner parser(xmp_XML_ParserCreate("UTF-8"), &xmp_XML_ParserFree);
  if (!parser) return false;
  std::string text = "<" + std::string(name) + "/>";
  return xmp_XML_Parse(parser.Get(), text.data(), static_cast<int>(text.size()), 1) == XML_STATUS_OK;
}

// Shows a name or value in a message: bytes that are not printable ASCII as
// \xNN.
std::string Shown(std::string_view bytes) {
  std::string shown;
  for (unsigned char c : bytes) {
    if (c >= 0x20 && c < 0x7F && c != '\\') {
      shown += static_cast<char>(c);
    } else {
      char escape[5];
      std::snprintf(escape, sizeof escape, "\\x%02X", c);
      shown += escape;
    }
  }
  return shown;
}

// The path of tags from `top` down to `node`, each with its place among
// its siblings of the same name where it has any: /a/b[2]/c.
std::string PathOf(const ZELBasXmlNode* top, const ZELBasXmlNode* node) {
  std::string path;
  for (const ZELBasXmlNode* at = node;; at = NodeAccess::Parent(at)) {
    std::string step = "/" + Shown(std::string_view(NodeAccess::TagName(at)));
    if (at != top) {
      const ZELBasXmlNode* parent = NodeAccess::Parent(at);
      size_t place = 0, same = 0;
      for (const ZELBasXmlNode* sibling = NodeAccess::FirstChild(parent); sibling != nullptr;
           sibling = NodeAccess::NextSibling(sibling)) {
        if (!(NodeAccess::TagName(sibling) == NodeAccess::TagName(at))) continue;
        ++same;
        if (sibling == at) place = same;
      }
      if (same > 1) {
        // Not std::to_string: its table would be a unique symbol, which
        // keeps the library from ever being unloaded.
        char number[24];
        std::snprintf(number, sizeof number, "[%zu]", place);
        step += number;
      }
    }
    path = step + path;
    if (at == top) return path;
  }
}

}  // namespace

bool IsXmlText(std::string_view bytes) {
  const unsigned char* p = reinterpret_cast<const unsigned char*>(bytes.data());
  const unsigned char* end = p + bytes.size();
  while (p != end) {
    // Most text is printable ASCII.
    if (*p >= 0x20 && *p < 0x80) {
      ++p;
      continue;
    }
    long code = NextCodePoint(p, end);
    if (code < 0x20 ? code != 0x9 && code != 0xA && code != 0xD : code == 0xFFFE || code == 0xFFFF)
      return false;
  }
  return true;
}

bool WellFormedCheck::IsName(const ZELString& text) {
  std::string_view name = text;
  if (name.empty()) return false;
  bool ascii = true;
  for (size_t i = 0; i < name.size() && ascii; ++i) {
    unsigned char c = static_cast<unsigned char>(name[i]);
    if (c >= 0x80) {
      ascii = false;
    } else if (!IsAsciiNameByte(c, i == 0)) {
      return false;
    }
  }
  if (ascii) return true;
  if (!IsXmlText(name)) return false;
  std::string key(name);
  if (acceptedNames.count(key) != 0) return true;
  if (!ParserTakesName(name)) return false;
  acceptedNames.insert(key);
  return true;
}

const char* WellFormedCheck::Fault(const ZELBasXmlNode* node, std::string& detail) {
  const ZELString& tag = NodeAccess::TagName(node);
  if (!IsName(tag)) {
    detail = Shown(std::string_view(tag));
    return std::string_view(tag).empty() ? "has no tag name" : "has a tag name that is not an XML name";
  }
  const ZELBasMap<ZELString, ZELString>& attributes = NodeAccess::Attributes(node);
  for (ZELBasMap<ZELString, ZELString>::const_iterator it = attributes.begin(); it != attributes.end();
       ++it) {
    detail = Shown(std::string_view(it->first));
    if (!IsName(it->first)) return "has an attribute name that is not an XML name";
    if (!IsXmlText(it->second)) return "has an attribute value that is not UTF-8 of XML characters";
  }
  detail.clear();
  if (!IsXmlText(NodeAccess::Data(node))) return "has a text that is not UTF-8 of XML characters";
  return nullptr;
}

bool WellFormedCheck::Check(const ZELBasXmlNode* top, std::string* problem) {
  struct Walk {
    WellFormedCheck& check;
    const ZELBasXmlNode* failed;
    const char* fault;
    std::string detail;
    void Enter(const ZELBasXmlNode* node) {
      if (failed == nullptr && (fault = check.Fault(node, detail)) != nullptr) failed = node;
    }
    void Leave(const ZELBasXmlNode*) {}
  } walk = {*this, nullptr, nullptr, std::string()};
  walk.Enter(top);
  if (walk.failed == nullptr) WalkBelow(top, walk);
  if (walk.failed == nullptr) return true;
  if (problem != nullptr) {
    *problem = "element " + PathOf(top, walk.failed) + " " + walk.fault;
    if (!walk.detail.empty()) *problem += ": \"" + walk.detail + "\"";
  }
  return false;
}

}  // namespace zelbas_detail
