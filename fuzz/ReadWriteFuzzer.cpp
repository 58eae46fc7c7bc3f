// Bytes through ReadString, then WriteString. Checks that the tree is sound
// (links, attribute order), that the written text is the header lines
// followed by the root rendered as the tree says, and that every block taken
// is given back.
#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzCheck.h"
#include "ZELBasXmlDocument.h"

namespace {

const char kHeader[] = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<!-- Written by ZELBasXmlDocument -->\n";

// The rendering the format defines, from the flattened tree.
std::string Render(const std::vector<FlatNode>& flat) {
  std::string text;
  std::vector<std::pair<size_t, std::string>> open;  // depth and end-tag line
  for (const FlatNode& node : flat) {
    while (!open.empty() && open.back().first >= node.depth) {
      text += open.back().second;
      open.pop_back();
    }
    std::string prefix(4 * node.depth, ' ');
    text += prefix + "<" + node.tag;
    for (const auto& attribute : node.attributes)
      text += " " + attribute.first + "=\"" + attribute.second + "\"";
    if (node.data.empty() && node.children == 0) {
      text += "/>\n";
      continue;
    }
    text += ">" + node.data + "\n";
    open.emplace_back(node.depth, prefix + "</" + node.tag + ">\n");
  }
  while (!open.empty()) text += open.back().second, open.pop_back();
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  int64_t liveAtStart = mem_LiveBlocks();
  {
    ZELString input;
    input.BuildFromUTF8(reinterpret_cast<const char*>(data), size);
    ZELBasXmlDocument document;
    long result = document.ReadString(input);
    FUZZ_CHECK(result == S_OK || result == E_FAIL);
    FUZZ_CHECK(size != 0 || result == E_FAIL);
    ZELString out("stale");
    FUZZ_CHECK(document.WriteString(out) == S_OK);
    std::string written = Str(out);
    FUZZ_CHECK(written.compare(0, sizeof kHeader - 1, kHeader) == 0);
    std::vector<FlatNode> flat = Flatten(document.GetRoot());
    FUZZ_CHECK(written.substr(sizeof kHeader - 1) == Render(flat));
    if (result == S_OK) FUZZ_CHECK(document.GetRoot().IsRoot());
  }
  FUZZ_CHECK(mem_LiveBlocks() == liveAtStart);
  return 0;
}
