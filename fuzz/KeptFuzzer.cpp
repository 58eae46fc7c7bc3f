// Bytes read keeping the layout, from a file in ReadFile's chunks and from
// a string in one piece, written back, then edited and written again.
//
// When ReadString succeeds, both reads must give the same tree and the same
// bytes when written; for UTF-8 input whose document type declares no
// entities, those bytes must be the input's. The output must read back
// (as a standard read) as the tree it was written from. Then a few edits
// chosen by the input (a text, an attribute, a child appended, a child
// removed, a comment inserted, an item of the content changed or removed)
// must give output that reads back as the edited tree.
// Every block taken must be given back.
//
// Input: as InputText (FuzzCheck.h) takes it, a chunk boundary chosen by
// the first two bytes.
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "FuzzCheck.h"
#include "ZELBasXmlDocument.h"

namespace {

std::string Written(ZELBasXmlDocument& document) {
  ZELString out;
  FUZZ_CHECK(document.WriteString(out) == S_OK);
  return std::string(std::string_view(out));
}

// The output reads back as the tree it was written from.
void ReadsBackAs(const std::string& written, const ZELBasXmlNode& tree) {
  ZELBasXmlDocument back;
  FUZZ_CHECK(back.SetOptions(ZELBasXmlStandard) == S_OK);
  FUZZ_CHECK(back.ReadString(ZELString(std::string_view(written))) == S_OK);
  std::vector<FlatNode> expected = Flatten(tree), got = Flatten(back.GetRoot());
  for (FlatNode& node : expected) node.root = false;
  for (FlatNode& node : got) node.root = false;
  FUZZ_CHECK(got == expected);
}

// Whether the kept layout must give the input's bytes back: UTF-8 input
// (by its first bytes and its declaration's encoding) declaring no entity.
bool KeptAsIs(const std::string& text) {
  if (text.find("<!ENTITY") != std::string::npos) return false;
  if (text.size() >= 2 && (text[0] == '\0' || text[1] == '\0' || static_cast<unsigned char>(text[0]) >= 0xFE))
    return false;
  size_t start = text.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
  if (text.compare(start, 5, "<?xml") != 0 || start + 5 >= text.size() || !std::isspace(text[start + 5]))
    return true;  // no declaration
  std::string declaration = text.substr(start, text.find("?>", start) - start);
  size_t at = declaration.find("encoding");
  if (at == std::string::npos) return true;
  at = declaration.find_first_of("\"'", at);
  size_t end = at == std::string::npos ? at : declaration.find(declaration[at], at + 1);
  if (end == std::string::npos) return true;  // not well-formed: the read fails anyway
  std::string name = declaration.substr(at + 1, end - at - 1);
  for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return name == "utf-8" || name == "us-ascii";
}

// The node `k` steps into the tree in document order, or the last.
ZELBasXmlNode& At(ZELBasXmlNode& node, size_t& k) {
  ZELBasXmlNode* at = &node;
  while (k != 0 && at->Children().size() != 0) {
    --k;
    at = &at->ChildAt(k % at->Children().size());
  }
  return *at;
}

void Edit(ZELBasXmlNode& root, const uint8_t* data, size_t size) {
  for (size_t i = 0; i + 1 < size && i < 16; i += 2) {
    size_t k = data[i + 1];
    ZELBasXmlNode& node = At(root, k);
    size_t item = data[i] / 8 % (node.ContentCount() + 1);
    switch (data[i] % 8) {
      case 0:
        node.SetData(ZELString("x & <y>"));
        break;
      case 1:
        node.InsertAttribute(ZELString("zz"), ZELString("v\"'\n"));
        break;
      case 2: {
        ZELBasXmlNode child(ZELString("new")), inner(ZELString("in"));
        inner.SetData(ZELString("t"));
        child.Append(inner);
        node.Append(child);
        break;
      }
      case 3:
        if (node.Children().size() != 0) node.RemoveChild(data[i] % node.Children().size());
        break;
      case 4:
        node.InsertComment(item, ZELString(" note "));
        break;
      case 5:
        // A text, a comment or an instruction (whose target this is).
        node.SetContent(item, ZELString(data[i] & 64 ? "a]]> & <b>" : "pi -x"));
        break;
      case 6:
        node.RemoveContent(item);
        break;
      default:
        node.SetTagName(ZELString("renamed"));
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const std::string text = InputText(data, size);
  const std::string& path = InputFile(text);
  const unsigned long options = ZELBasXmlKeepLayout | ZELBasXmlQuiet;

  int64_t liveAtStart = mem_LiveBlocks();
  {
    ZELBasXmlDocument chunked, single;
    FUZZ_CHECK(chunked.SetOptions(options) == S_OK && single.SetOptions(options) == S_OK);
    FUZZ_CHECK(chunked.ReadFile(ZELString(path.c_str())) == S_OK);
    if (single.ReadString(ZELString(std::string_view(text))) == S_OK) {
      FUZZ_CHECK(Flatten(chunked.GetRoot()) == Flatten(single.GetRoot()));
      std::string first = Written(single);
      FUZZ_CHECK(Written(chunked) == first);
      if (KeptAsIs(text)) FUZZ_CHECK(first == text);
      ReadsBackAs(first, single.GetRoot());
      // A document type's default attributes come back with whatever
      // element takes a name they are declared for.
      Edit(single.GetRoot(), data, size);
      if (text.find("<!ATTLIST") == std::string::npos) ReadsBackAs(Written(single), single.GetRoot());
    }
  }
  FUZZ_CHECK(mem_LiveBlocks() == liveAtStart);
  return 0;
}
