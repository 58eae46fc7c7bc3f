// Bytes read with whole texts, in any encoding the system converts, from a
// file, in ReadFile's chunks, and from a string in one piece; written in
// the well-formed layout (UTF-8) and read back.
//
// When ReadString succeeds, both reads must give the same tree, texts
// included, wherever the chunk boundary falls. The well-formed output must
// then parse, read back as that tree, and write again as the same bytes.
// Every block taken must be given back.
//
// Input: as InputText (FuzzCheck.h) takes it, a chunk boundary chosen by
// the first two bytes.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "FuzzCheck.h"
#include "ZELBasXmlDocument.h"

static std::string Written(ZELBasXmlDocument& document) {
  ZELString out;
  FUZZ_CHECK(document.WriteString(out) == S_OK);
  return std::string(std::string_view(out));
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const std::string text = InputText(data, size);
  const std::string& path = InputFile(text);
  const unsigned long options =
      ZELBasXmlWholeText | ZELBasXmlWellFormed | ZELBasXmlQuiet | ZELBasXmlAnyEncoding;

  int64_t liveAtStart = mem_LiveBlocks();
  {
    ZELBasXmlDocument chunked, single, again;
    FUZZ_CHECK(chunked.SetOptions(options) == S_OK && single.SetOptions(options) == S_OK &&
               again.SetOptions(options) == S_OK);
    FUZZ_CHECK(chunked.ReadFile(ZELString(path.c_str())) == S_OK);
    if (single.ReadString(ZELString(std::string_view(text))) == S_OK) {
      std::vector<FlatNode> tree = Flatten(single.GetRoot());
      FUZZ_CHECK(Flatten(chunked.GetRoot()) == tree);
      std::string first = Written(single);
      FUZZ_CHECK(again.ReadString(ZELString(std::string_view(first))) == S_OK);
      FUZZ_CHECK(Flatten(again.GetRoot()) == tree);
      FUZZ_CHECK(Written(again) == first);
    } else {
      // A partial tree writes too, or is refused whole (a root never started
      // has no name).
      ZELString out("kept");
      if (single.WriteString(out) != S_OK) FUZZ_CHECK(std::string_view(out) == "kept");
    }
  }
  FUZZ_CHECK(mem_LiveBlocks() == liveAtStart);
  return 0;
}
