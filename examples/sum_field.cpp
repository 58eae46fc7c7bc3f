// Sums the numbers held by every element of one name in a file of any size:
// ReadFile reads it in chunks, and whole texts keep the numbers whole however
// the chunks cut them.
//
//   sum_field FILE TAG
#include <cstdio>
#include <cstdlib>

#include "ZELBasXmlDocument.h"

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  ZELBasXmlDocument document;
  document.SetOptions(ZELBasXmlWholeText | ZELBasXmlQuiet);  // no report: this program gives its own
  if (document.ReadFile(ZELString(argv[1])) != S_OK) return 2;
  ZELString message;
  unsigned long line = 0, column = 0;
  if (document.GetParseError(message, line, column) == S_OK) {
    std::fprintf(stderr, "%s:%lu:%lu: %s\n", argv[1], line, column, message.CastToCharPtr());
    return 1;
  }
  ZELBasVector<ZELBasXmlNode> found;
  document.GetRoot().GetElementsByTagName(ZELString(argv[2]), found);
  double total = 0;
  for (const ZELBasXmlNode& node : found) total += std::strtod(node.GetData().CastToCharPtr(), nullptr);
  std::printf("%zu %s, total %.2f\n", found.size(), argv[2], total);
  return 0;
}
