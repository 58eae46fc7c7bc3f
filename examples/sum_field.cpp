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
  document.SetOptions(ZELBasXmlStandard);
  // Not read, or not well-formed: GetParseError would say where.
  if (document.ReadFile(argv[1]) != S_OK) return 1;

  double total = 0;
  ZELBasVector<ZELBasXmlNode> found;
  document.GetRoot().GetElementsByTagName(argv[2], found);
  for (const ZELBasXmlNode& node : found) total += std::strtod(node.GetData().CastToCharPtr(), nullptr);
  std::printf("%zu %s, total %.2f\n", found.size(), argv[2], total);
}
