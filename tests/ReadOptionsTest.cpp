// What the read options and the other ways of reading give: fresh reads,
// results that fail on malformed input, reads and checks from a caller's
// source, and read errors told apart from the end of the input.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "DocumentReads.h"

namespace {

// A source handing out `text` a few bytes at a time, then failing with
// `error` instead of ending when that is not 0.
struct Pieces {
  std::string text;
  int error = 0;
  size_t at = 0;
  static bool Give(void* context, char* buffer, size_t capacity, size_t* length) {
    Pieces& self = *static_cast<Pieces*>(context);
    *length = std::min({capacity, self.text.size() - self.at, size_t{3}});
    std::memcpy(buffer, self.text.data() + self.at, *length);
    self.at += *length;
    if (*length != 0 || self.error == 0) return true;
    errno = self.error;
    return false;
  }
};

std::string Error(const ZELBasXmlDocument& document) {
  ZELString message;
  unsigned long line = 0, column = 0;
  if (document.GetParseError(message, line, column) != S_OK) return "none";
  return std::string(message.CastToCharPtr()) + " " + std::to_string(line) + ":" + std::to_string(column);
}

}  // namespace

TEST(ReadOptionsTest, AReusedDocumentContinuesAnIncompleteReadUnlessReadsAreFresh) {
  TempDir dir;
  const ZELString broken(dir.Write("broken.xml", "<a><b>").c_str()),
      good(dir.Write("good.xml", "<c/>").c_str());
  ZELBasXmlDocument continued, fresh;
  fresh.SetOptions(ZELBasXmlFreshRead | ZELBasXmlQuiet);
  StderrCapture report;
  for (ZELBasXmlDocument* d : {&continued, &fresh}) {
    EXPECT_EQ(d->ReadFile(broken), S_OK);
    EXPECT_EQ(d->ReadFile(good), S_OK);
  }
  EXPECT_EQ(Body(continued), "<a>\n    <b>\n        <c/>\n    </b>\n</a>\n");
  EXPECT_EQ(Body(fresh), "<c/>\n");
  EXPECT_EQ(Error(fresh), "none");
  // A fresh read starts from an empty tree even when nothing can be read.
  EXPECT_EQ(fresh.ReadFile(ZELString(dir.File("missing.xml").c_str())), E_FAIL);
  EXPECT_EQ(Body(fresh), "</>\n");
  report.Stop();
}

TEST(ReadOptionsTest, TheStandardOptionsFailEveryReadOfMalformedInputQuietly) {
  TempDir dir;
  ZELBasXmlDocument d;
  ASSERT_EQ(d.SetOptions(ZELBasXmlStandard), S_OK);
  StderrCapture report;
  EXPECT_EQ(d.ReadFile(ZELString(dir.Write("bad.xml", "<a><b></a>").c_str())), E_FAIL);
  EXPECT_EQ(Error(d), "mismatched tag 1:8");
  EXPECT_EQ(d.ReadFile(ZELString(dir.Write("ok.xml", "<a>x &amp; y</a>").c_str())), S_OK);
  EXPECT_EQ(Error(d), "none");
  EXPECT_EQ(std::string(d.GetRoot().GetData().CastToCharPtr()), "x & y");
  Pieces cut{"<a>"};
  EXPECT_EQ(d.ReadFrom(&Pieces::Give, &cut), E_FAIL);
  EXPECT_EQ(report.Stop(), "");
}

TEST(ReadOptionsTest, ASourceIsReadLikeAFileAndItsFailureIsAReadError) {
  ZELBasXmlDocument d;
  Pieces whole{"<r a='1'><t>x &amp; y</t><u/></r>"};
  ASSERT_EQ(d.ReadFrom(&Pieces::Give, &whole), S_OK);
  EXPECT_EQ(Body(d), "<r a=\"1\">\n    <t> y\n    </t>\n    <u/>\n</r>\n");
  int error = 0;
  EXPECT_EQ(d.GetReadError(error), E_FAIL);
  // A failing source ends the read as a read error: the parse error that
  // follows is only its consequence.
  Pieces failing{"<r><t>", EIO};
  StderrCapture report;
  EXPECT_EQ(d.ReadFrom(&Pieces::Give, &failing), S_OK);
  ASSERT_EQ(d.GetReadError(error), S_OK);
  EXPECT_EQ(error, EIO);
  EXPECT_EQ(Error(d), "no element found 1:6");
  d.SetOptions(ZELBasXmlFailOnParseError);
  failing.at = 0;
  EXPECT_EQ(d.ReadFrom(&Pieces::Give, &failing), E_FAIL);
  report.Stop();
#if defined(__linux__)
  // A file that opens but cannot be read as a stream.
  d.SetOptions(ZELBasXmlQuiet);
  EXPECT_EQ(d.ReadFile(ZELString("/proc/self/mem")), S_OK);
  ASSERT_EQ(d.GetReadError(error), S_OK);
  EXPECT_EQ(error, EIO);
#endif
}

TEST(ReadOptionsTest, ACheckParsesWithoutTouchingTheTree) {
  ZELBasXmlDocument d;
  ASSERT_EQ(d.ReadString(ZELString("<kept/>")), S_OK);
  Pieces good{"<?xml version='1.0'?><!DOCTYPE r [<!ENTITY e 'v'>]><r>&e;</r>"}, bad{"<r><s></r>"};
  EXPECT_EQ(d.CheckFrom(&Pieces::Give, &good), S_OK);
  EXPECT_EQ(Error(d), "none");
  StderrCapture report;
  EXPECT_EQ(d.CheckFrom(&Pieces::Give, &bad), E_FAIL);
  EXPECT_EQ(report.Stop(), "XML parse error: mismatched tag\n  Line: 1, Column: 8\n");
  EXPECT_EQ(Error(d), "mismatched tag 1:8");
  EXPECT_EQ(Body(d), "<kept/>\n");
  TempDir dir;
  EXPECT_EQ(d.CheckFile(ZELString(dir.Write("ok.xml", "<ok/>").c_str())), S_OK);
  EXPECT_EQ(d.CheckFile(ZELString(dir.File("missing.xml").c_str())), E_FAIL);
  EXPECT_EQ(Error(d), "none");
}
