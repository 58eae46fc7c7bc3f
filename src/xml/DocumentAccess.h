// The module's one way to the document's private state: the fields of the
// parse that the tree builder and the reader share, and the outcome of the
// last read.
#pragma once

#include "ZELBasXmlDocument.h"

namespace zelbas_detail {

class DocumentAccess {
public:
  static int& Depth(ZELBasXmlDocument& document) { return document.CurrentDepth(); }
  static ZELBasXmlNode& Dom(ZELBasXmlDocument& document) { return document.GetDom(); }
  static ZELBasXmlNode*& Current(ZELBasXmlDocument& document) { return document.GetPtr(); }
  static TreeBuilder*& Builder(ZELBasXmlDocument& document) { return document.builder; }
  // Each read forgets what the last one met.
  static void ForgetOutcome(ZELBasXmlDocument& document) {
    document.outcome = ZELBasXmlDocument::ReadOutcome();
  }
  // What a read met: its first parse error (`message` null for none) and a
  // read error (an errno value, 0 for none).
  static void RecordOutcome(ZELBasXmlDocument& document, const char* message, unsigned long line,
                            unsigned long column, int readError) {
    ZELBasXmlDocument::ReadOutcome& outcome = document.outcome;
    outcome.readError = readError;
    outcome.parseFailed = message != nullptr;
    if (message == nullptr) return;
    outcome.message = ZELString(message);
    outcome.line = line;
    outcome.column = column;
  }
};

}  // namespace zelbas_detail
