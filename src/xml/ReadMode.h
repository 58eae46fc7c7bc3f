// What one read does, decided from the document's options when it starts,
// as the writer decides its layout once: whether it builds a tree at all
// (a check only parses), which character-data callback puts the texts
// together, which encodings it reads, and how it reports.
#pragma once

#include "ZELBasXmlDocument.h"
#include "ZELBasXmlParser.h"

namespace zelbas_detail {

struct ReadMode {
  enum Purpose { kBuildTree, kCheckOnly };

  ReadMode(unsigned long options, Purpose purpose)
      : buildTree(purpose == kBuildTree),
        keepLayout((options & ZELBasXmlKeepLayout) != 0 && purpose == kBuildTree),
        wholeText((options & (ZELBasXmlWholeText | ZELBasXmlKeepLayout)) != 0),
        quiet((options & ZELBasXmlQuiet) != 0),
        fresh((options & ZELBasXmlFreshRead) != 0 && purpose == kBuildTree),
        failOnError((options & ZELBasXmlFailOnParseError) != 0 || purpose == kCheckOnly),
        anyEncoding((options & ZELBasXmlAnyEncoding) != 0) {}

  const bool buildTree;
  const bool keepLayout;  // each element's markup recorded
  const bool wholeText;
  const bool quiet;        // no report on the standard error stream
  const bool fresh;        // the tree is emptied before the read
  const bool failOnError;  // a parse or read error makes the result E_FAIL
  const bool anyEncoding;  // encodings the parser lacks converted by the system
};

}  // namespace zelbas_detail
