// Bytes read with ReadString in one piece, and from a file with ReadFile in
// its 262,144-byte chunks; both trees written back.
//
// Every written text must be the header lines and the rendering of its tree
// computed apart (the renderer climbs the parent links), with the
// attributes in order, and every block taken must be given back. When
// ReadString succeeds the text is well-formed, and both trees must have the
// same elements, in the same places, with the same attributes. An element's
// text may differ only where its last run of character data was split at a
// chunk boundary: ReadFile then keeps a trailing piece of the text
// ReadString kept, and the two are equal when the whole text fits in one
// chunk. After a parse error nothing is compared: the trees then hold what
// each parse built before it stopped.
//
// Input: as InputText (FuzzCheck.h) takes it, a chunk boundary chosen by
// the first two bytes.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "FuzzCheck.h"
#include "ZELBasXmlDocument.h"

// The tree flattened, after checking that the document writes it as the
// header lines and its rendering.
static std::vector<FlatNode> Written(ZELBasXmlDocument& document) {
  std::vector<FlatNode> flat = Flatten(document.GetRoot());
  ZELString out("stale");
  FUZZ_CHECK(document.WriteString(out) == S_OK);
  FUZZ_CHECK(Str(out) ==
             "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<!-- Written by ZELBasXmlDocument -->\n" +
                 ReferenceRender(flat, ""));
  return flat;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const size_t kChunk = 0x40000;
  if (size == 0) return 0;
  const std::string text = InputText(data, size);
  const std::string& path = InputFile(text);

  int64_t liveAtStart = mem_LiveBlocks();
  {
    ZELBasXmlDocument chunked, single;
    FUZZ_CHECK(chunked.ReadFile(ZELString(path.c_str())) == S_OK);
    std::vector<FlatNode> fromFile = Written(chunked);
    long result = single.ReadString(ZELString(std::string_view(text)));
    FUZZ_CHECK(result == S_OK || result == E_FAIL);
    std::vector<FlatNode> fromString = Written(single);
    if (result == S_OK) {
      FUZZ_CHECK(single.GetRoot().IsRoot() && fromFile.size() == fromString.size());
      for (size_t i = 0; i < fromFile.size(); ++i) {
        FlatNode& a = fromFile[i];
        const FlatNode& b = fromString[i];
        // A trailing piece of the text, the whole of it in one chunk.
        FUZZ_CHECK(a.data.size() <= b.data.size() && a.data.empty() == b.data.empty());
        FUZZ_CHECK(b.data.compare(b.data.size() - a.data.size(), a.data.size(), a.data) == 0);
        FUZZ_CHECK(text.size() > kChunk || a.data == b.data);
        a.data = b.data;
        FUZZ_CHECK(a == b);
      }
    }
  }
  FUZZ_CHECK(mem_LiveBlocks() == liveAtStart);
  return 0;
}
