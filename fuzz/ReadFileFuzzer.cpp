// Bytes written to a file and read with ReadFile in its 262,144-byte chunks,
// against the same text read with ReadString in one piece.
//
// When ReadString succeeds the text is well-formed, and both trees must have
// the same elements, in the same places, with the same attributes. An
// element's text may differ only where its last run of character data was
// split at a chunk boundary: ReadFile then keeps a trailing piece of the
// text ReadString kept, and the two are equal when the whole text fits in
// one chunk. After a parse error nothing is compared: the trees then hold
// what each parse built before it stopped.
//
// Input: an odd first byte puts the rest behind a comment that ends just
// before the chunk boundary, the second byte choosing how far into the rest
// the boundary falls; an even first byte takes the rest as it is.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "FuzzCheck.h"
#include "ZELBasXmlDocument.h"

namespace {

const size_t kChunk = 0x40000;

std::string& TempPath() {
  static std::string path;
  if (path.empty()) {
    char pattern[] = "/tmp/zelbas-fuzz-XXXXXX";
    int fd = mkstemp(pattern);
    FUZZ_CHECK(fd >= 0);
    close(fd);
    path = pattern;
    std::atexit([] { std::remove(TempPath().c_str()); });
  }
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  std::string rest(reinterpret_cast<const char*>(data) + 1, size - 1);
  std::string text;
  if ((data[0] & 1) != 0) {
    size_t into = size > 1 ? data[1] % (rest.size() + 1) : 0;
    size_t padding = kChunk - into;  // comment bytes before the rest
    text = "<!--" + std::string(padding - 7, ' ') + "-->" + rest;
  } else {
    text = rest;
  }
  FILE* file = std::fopen(TempPath().c_str(), "wb");
  FUZZ_CHECK(file != nullptr);
  FUZZ_CHECK(std::fwrite(text.data(), 1, text.size(), file) == text.size());
  FUZZ_CHECK(std::fclose(file) == 0);

  int64_t liveAtStart = mem_LiveBlocks();
  {
    ZELBasXmlDocument chunked;
    FUZZ_CHECK(chunked.ReadFile(ZELString(TempPath().c_str())) == S_OK);
    ZELString whole;
    whole.BuildFromUTF8(text.data(), text.size());
    ZELBasXmlDocument single;
    long result = single.ReadString(whole);
    std::vector<FlatNode> fromFile = Flatten(chunked.GetRoot());
    std::vector<FlatNode> fromString = Flatten(single.GetRoot());
    if (result == S_OK) {
      FUZZ_CHECK(fromFile.size() == fromString.size());
      for (size_t i = 0; i < fromFile.size(); ++i) {
        const FlatNode& a = fromFile[i];
        const FlatNode& b = fromString[i];
        FUZZ_CHECK(a.depth == b.depth && a.tag == b.tag && a.children == b.children);
        FUZZ_CHECK(a.attributes == b.attributes);
        if (text.size() <= kChunk) {
          FUZZ_CHECK(a.data == b.data);
        } else {
          FUZZ_CHECK(a.data.size() <= b.data.size());
          FUZZ_CHECK(b.data.compare(b.data.size() - a.data.size(), a.data.size(), a.data) == 0);
          FUZZ_CHECK(a.data.empty() == b.data.empty());
        }
      }
    }
  }
  FUZZ_CHECK(mem_LiveBlocks() == liveAtStart);
  return 0;
}
