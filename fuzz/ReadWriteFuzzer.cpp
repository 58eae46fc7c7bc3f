// Bytes through ReadString, then WriteString. Checks that the attributes are
// in order, that the written text (whose rendering climbs the parent links)
// is the header lines and the rendering of the tree computed apart, and that
// every block taken is given back.
#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzCheck.h"
#include "ZELBasXmlDocument.h"

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
    FUZZ_CHECK(Str(out) ==
               "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<!-- Written by ZELBasXmlDocument -->\n" +
                   ReferenceRender(Flatten(document.GetRoot()), ""));
    FUZZ_CHECK(result != S_OK || document.GetRoot().IsRoot());
  }
  FUZZ_CHECK(mem_LiveBlocks() == liveAtStart);
  return 0;
}
