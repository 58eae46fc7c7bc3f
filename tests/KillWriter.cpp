// The writer scripts/kill-test.sh kills: writes one of two documents of the
// same length over a file, again and again, until killed; or checks that a
// file holds one of them whole.
//
//   kill_writer write FILE BYTES [named]   writes forever, saying "writing"
//                                          first (named: as on a file system
//                                          without unnamed files)
//   kill_writer once FILE BYTES            writes the first document once
//   kill_writer check FILE BYTES           exit 0: one document whole, 1: not
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

#include "WithoutUnnamedFiles.h"
#include "ZELBasXmlDocument.h"

static std::string Text(ZELBasXmlDocument& document) {
  ZELString out;
  document.WriteString(out);
  return std::string(out.CastToCharPtr(), out.GetLengthInBytes());
}

int main(int argc, char** argv) {
  if (argc < 4) return 2;
  std::string mode = argv[1], file = argv[2];
  size_t bytes = std::strtoul(argv[3], nullptr, 10);
  ZELBasXmlDocument documents[2];
  for (int i = 0; i < 2; ++i) {
    std::string xml = "<a>" + std::string(bytes, i == 0 ? 'a' : 'b') + "</a>";
    if (documents[i].ReadString(ZELString(xml.c_str())) != S_OK) return 2;
  }
  if (mode == "check") {
    std::ifstream in(file, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return text == Text(documents[0]) || text == Text(documents[1]) ? 0 : 1;
  }
#if !defined(_WIN32)
  if (argc > 4 && std::strcmp(argv[4], "named") == 0 && !WithoutUnnamedFiles()) return 2;
#endif
  // The documents are ready: the killer's clock starts now.
  if (mode == "write") std::puts("writing");
  std::fflush(stdout);
  for (unsigned n = 0;; ++n) {
    if (documents[n % 2].WriteFile(ZELString(file.c_str())) != S_OK) return 1;
    if (mode == "once") return 0;
  }
}
