// Checks shared by the fuzz targets. A failed check aborts, which libFuzzer
// and the replay runner both report as a crash. Its message goes to standard
// output: fuzz runs close standard error (-close_fd_mask=2) to silence the
// parse error reports, and libFuzzer keeps only its own reports there.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "ZELBasXmlNode.h"

#define FUZZ_CHECK(...)                                                           \
  do {                                                                            \
    if (!(__VA_ARGS__)) {                                                         \
      std::printf("%s:%d: check failed: %s\n", __FILE__, __LINE__, #__VA_ARGS__); \
      std::fflush(stdout);                                                        \
      std::abort();                                                               \
    }                                                                             \
  } while (0)

inline std::string Str(const ZELString& text) { return text.CastToCharPtr(); }

// The text an input stands for: an odd first byte puts the bytes after the
// second behind a comment that ends just before ReadFile's first chunk
// boundary, the second byte choosing how far into them the boundary falls;
// an even first byte takes the rest as it is.
inline std::string InputText(const uint8_t* data, size_t size) {
  const size_t kChunk = 0x40000;
  const bool boundary = (data[0] & 1) != 0 && size > 1;
  std::string text(reinterpret_cast<const char*>(data) + (boundary ? 2 : 1), size - (boundary ? 2 : 1));
  if (boundary) {
    size_t into = data[1] % (text.size() + 1);  // bytes of the rest before the boundary
    text = "<!--" + std::string(kChunk - into - 7, ' ') + "-->" + text;
  }
  return text;
}

// Writes `text` to the target's file, made once, private, removed at exit,
// and gives its name.
inline const std::string& InputFile(const std::string& text) {
  static std::string path;
  if (path.empty()) {
    char pattern[] = "/tmp/zelbas-fuzz-XXXXXX";
    int fd = mkstemp(pattern);
    FUZZ_CHECK(fd >= 0 && close(fd) == 0);
    path = pattern;
    std::atexit([] { std::remove(path.c_str()); });
  }
  FILE* file = std::fopen(path.c_str(), "wb");
  FUZZ_CHECK(file != nullptr && std::fwrite(text.data(), 1, text.size(), file) == text.size());
  FUZZ_CHECK(std::fclose(file) == 0);
  return path;
}

// One node of a tree flattened in document order.
struct FlatNode {
  size_t depth;
  std::string tag;
  std::vector<std::pair<std::string, std::string>> attributes;  // in walk order
  std::string data;
  size_t children;
  bool root;
  bool operator==(const FlatNode& o) const {
    return std::tie(depth, tag, attributes, data, children, root) ==
           std::tie(o.depth, o.tag, o.attributes, o.data, o.children, o.root);
  }
};

// Flattens the tree under `top` in document order with an explicit stack,
// checking on the way that attributes are walked in strictly ascending
// unsigned byte order.
inline std::vector<FlatNode> Flatten(const ZELBasXmlNode& top) {
  std::vector<FlatNode> flat;
  std::vector<std::pair<const ZELBasXmlNode*, size_t>> stack(1, std::make_pair(&top, size_t(0)));
  while (!stack.empty()) {
    auto [node, depth] = stack.back();
    stack.pop_back();
    FlatNode entry = {
        depth, Str(node->GetTagName()), {}, Str(node->GetData()), node->Children().size(), node->IsRoot()};
    const ZELBasMap<ZELString, ZELString>& attributes = node->GetAttributes();
    for (auto it = attributes.begin(); it != attributes.end(); ++it) {
      if (!entry.attributes.empty()) FUZZ_CHECK(entry.attributes.back().first < Str(it->first));
      entry.attributes.emplace_back(Str(it->first), Str(it->second));
    }
    flat.push_back(entry);
    for (size_t i = node->Children().size(); i-- > 0;) stack.emplace_back(&node->Children()[i], depth + 1);
  }
  return flat;
}

// The rendering, recursively from the flattened tree: what the iterative
// renderer must give.
inline std::string ReferenceRender(const std::vector<FlatNode>& flat, const std::string& indent) {
  std::string out;
  std::vector<std::string> open;  // the closing lines of the open elements
  for (const FlatNode& node : flat) {
    for (; open.size() > node.depth; open.pop_back()) out += open.back();
    std::string prefix = indent + std::string(4 * node.depth, ' ');
    out += prefix + "<" + node.tag;
    for (const auto& [name, value] : node.attributes) out += " " + name + "=\"" + value + "\"";
    bool empty = node.data.empty() && node.children == 0;
    out += empty ? "/>\n" : ">" + node.data + "\n";
    open.push_back(empty ? "" : prefix + "</" + node.tag + ">\n");
  }
  for (; !open.empty(); open.pop_back()) out += open.back();
  return out;
}
