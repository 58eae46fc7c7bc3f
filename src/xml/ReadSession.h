// One read, whatever feeds it: the parser set up for the document and the
// read's mode, the tree builder the callbacks use, the first parse error,
// and the record of all of it in the document when the read ends.
// ReadFile, ReadString, ReadFrom and the checks each keep only their loop
// that feeds it (DocumentReader.cpp).
#pragma once

#include <optional>

#include "DeclaredEncoding.h"
#include "ReadMode.h"
#include "TreeBuilder.h"
#include "ZELBasScopeOwner.h"
#include "ZELBasXmlParser.h"

namespace zelbas_detail {

class ReadSession {
public:
  // Creates the parser and points the document at the tree builder.
  ReadSession(ZELBasXmlDocument& document, const ReadMode& mode);
  ReadSession(const ReadSession&) = delete;
  ReadSession& operator=(const ReadSession&) = delete;
  // The document no longer points at the builder, and the parser is freed,
  // on every way out.
  ~ReadSession();

  // False when the parser could not be created: nothing may be fed then.
  bool Created() const { return static_cast<bool>(parser); }
  // One parse call. False when it failed: the error is reported on the
  // standard error stream unless the read is quiet, and the first one is
  // kept.
  bool Parse(const char* bytes, int length, bool isFinal);
  // Ends the read: the text held goes to its node, the parser is freed,
  // and the document records the first parse error and `readError` (an
  // errno value, 0 for none). True when there was neither.
  bool Finish(int readError);

  const ReadMode mode;

private:
  ZELBasXmlDocument& document;
  ZELBasScopeOwner<XML_Parser, void (*)(XML_Parser)> parser;
  std::optional<TreeBuilder> builder;
  DeclaredEncoding encoding;
  std::string unsupported;             // the message of an encoding refused
  const char* firstMessage = nullptr;  // the parser's own static text
  XML_Size firstLine = 0;
  XML_Size firstColumn = 0;
};

}  // namespace zelbas_detail
