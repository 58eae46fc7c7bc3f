// What the document tests share: the header line, the chunk size, the body
// a write gives, a read both ways, and the parser's events called directly.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "StderrCapture.h"
#include "TempDir.h"
#include "ZELBasXmlDocument.h"

inline const char kHeader[] =
    "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<!-- Written by ZELBasXmlDocument -->\n";
inline const size_t kChunk = 262144;

// What WriteString writes after the two header lines.
inline std::string Body(ZELBasXmlDocument& document) {
  ZELString out;
  EXPECT_EQ(document.WriteString(out), S_OK);
  std::string text(out.CastToCharPtr(), out.GetLengthInBytes());
  EXPECT_EQ(text.substr(0, sizeof kHeader - 1), kHeader);
  return text.substr(sizeof kHeader - 1);
}

// The same bytes read with ReadFile and with ReadString, and what each
// reported on the standard error stream.
struct BothWays {
  explicit BothWays(const std::string& bytes) {
    TempDir dir;
    StderrCapture fileCapture;
    EXPECT_EQ(file.ReadFile(ZELString(dir.Write("in.xml", bytes).c_str())), S_OK);
    fileReport = fileCapture.Stop();
    StderrCapture stringCapture;
    stringResult = string.ReadString(ZELString(std::string_view(bytes)));
    stringReport = stringCapture.Stop();
  }
  ZELBasXmlDocument file, string;
  std::string fileReport, stringReport;
  long stringResult;
};

inline const char* kNoAtts[] = {nullptr};
inline void Start(ZELBasXmlDocument* d, const char* name, const char** atts = kNoAtts) {
  ZELBasXmlDocument::unknownStartTag(d, name, atts);
}
inline void End(ZELBasXmlDocument* d) { ZELBasXmlDocument::unknownEndTag(d, "ignored"); }
