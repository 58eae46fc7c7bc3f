// The module's one way to the document's private state: the fields of the
// parse that the tree builder and the reader share, and the outcome of the
// last read.
#pragma once

#include "LayoutRecorder.h"
#include "ZELBasXmlDocument.h"

namespace zelbas_detail {

class DocumentAccess {
public:
  static int& Depth(ZELBasXmlDocument& document) { return document.CurrentDepth(); }
  static ZELBasXmlNode& Dom(ZELBasXmlDocument& document) { return document.GetDom(); }
  static ZELBasXmlNode*& Current(ZELBasXmlDocument& document) { return document.GetPtr(); }
  static TreeBuilder*& Builder(ZELBasXmlDocument& document) { return document.builder; }
  // What a read that kept the layout kept around the root; null for none.
  static void SetKept(ZELBasXmlDocument& document, const KeptDocument* kept) {
    document.layoutKept = kept != nullptr;
    if (kept == nullptr) return;
    document.keptProlog = Text(kept->prolog);
    document.keptEpilog = Text(kept->epilog);
    document.keptLineEnd = Text(kept->lineEnd);
    document.keptUnit = Text(kept->unit);
  }
  static bool LayoutKept(const ZELBasXmlDocument& document) { return document.layoutKept; }
  static const ZELString& Prolog(const ZELBasXmlDocument& document) { return document.keptProlog; }
  static const ZELString& Epilog(const ZELBasXmlDocument& document) { return document.keptEpilog; }
  static const ZELString& LineEnd(const ZELBasXmlDocument& document) { return document.keptLineEnd; }
  static const ZELString& Unit(const ZELBasXmlDocument& document) { return document.keptUnit; }

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

private:
  static ZELString Text(const std::string& bytes) {
    ZELString text;
    text.BuildFromUTF8(bytes.data(), bytes.size());
    return text;
  }
};

}  // namespace zelbas_detail
