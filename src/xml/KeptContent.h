// A kept element's content as a list of items, for the calls that read
// and edit its runs of text, comments and instructions (NodeContent.cpp):
// unpacked from the element's markup, as brought in line with its edits,
// and packed back into a markup of the element's own, with its text.
#pragma once

#include <string>
#include <vector>

#include "ZELBasXmlNode.h"

namespace zelbas_detail {

struct ContentItem {
  ZELBasXmlContent kind;
  std::string text;  // a run's characters; what a comment or an instruction holds
  std::string raw;   // the markup as written; empty for a run written as the writer writes it
};

struct KeptContent {
  std::string start;     // the start tag's attribute operations
  std::string openTail;  // ">" or "/>", with the white space before it
  bool empty = false;    // "/>"
  std::string endTail;
  std::vector<ContentItem> items;
};

// False when the node has no kept markup.
bool Unpack(const ZELBasXmlNode* node, KeptContent& content);
// Gives the node a markup and a text made from `content`, and numbers its
// children as the markup's holes.
void Pack(ZELBasXmlNode* node, const KeptContent& content);
// The characters a run of text written as `raw` stands for: line ends,
// character references, the predefined entities and CDATA sections
// resolved.
std::string Decode(const std::string& raw);

}  // namespace zelbas_detail
