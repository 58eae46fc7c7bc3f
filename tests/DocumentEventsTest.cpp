// The tree builder's events, called directly and through reads: the tree
// they build, and what an allocation failure inside one leaves.
#include <gtest/gtest.h>

#include <string>

#include "AllocationScope.h"
#include "DocumentReads.h"

TEST(TreeBuilderTest, EventsBuildTheTreeWithTheLastTextPiece) {
  ZELBasXmlDocument d;
  const char* atts[] = {"c", "3", "a", "1", "c", "4", nullptr};
  End(&d);  // depth -1: the next start makes no node
  Start(&d, "lost");
  EXPECT_EQ(Body(d), "</>\n");
  Start(&d, "a", atts);
  Start(&d, "b");
  ZELBasXmlDocument::dataHandler(&d, "x", 1);
  EXPECT_STREQ(d.GetRoot().Children()[0].GetData().CastToCharPtr(), "x") << "set before the callback returns";
  End(&d);
  ZELBasXmlDocument::dataHandler(&d, "hello", 5);
  ZELBasXmlDocument::dataHandler(&d, "y", 1);
  End(&d);
  EXPECT_EQ(Body(d), "<a a=\"1\" c=\"4\">y\n    <b>x\n    </b>\n</a>\n");
  Start(&d, "next");  // a new root replaces the tree
  End(&d);
  EXPECT_EQ(Body(d), "<next/>\n");
  // A read continues inside the element an earlier read left open.
  StderrCapture quiet;
  EXPECT_EQ(d.ReadString(ZELString("<a><b>")), E_FAIL);
  quiet.Stop();
  EXPECT_EQ(d.ReadString(ZELString("<c k=\"v\"/>")), S_OK);
  EXPECT_EQ(Body(d), "<a>\n    <b>\n        <c k=\"v\"/>\n    </b>\n</a>\n");
}

TEST(TreeBuilderTest, AllocationFailuresLeaveTheTreeAsTheEventsBeforeThemBuiltIt) {
  AllocationScope scope;
  // An end tag whose fitting of the children fails still closes its element.
  ZELBasXmlDocument fit;
  for (const char* tag : {"r", "a", "c"}) Start(&fit, tag);
  End(&fit);
  mem_FailAfter(1);
  End(&fit);
  mem_FailAfter(0);
  Start(&fit, "b");
  EXPECT_EQ(Body(fit), "<r>\n    <a>\n        <c/>\n    </a>\n    <b/>\n</r>\n");
  // A read that fails at any allocation holds the elements whose start tags
  // were done, and stays inside the innermost of them: a start tag that
  // failed added nothing, not even a part of its element.
  const ZELString xml("<r><d p=\"q\" s=\"t\"/></r>");
  for (uint64_t failAt = 1;; ++failAt) {
    ZELBasXmlDocument d;
    mem_FailAfter(failAt);
    try {
      EXPECT_EQ(d.ReadString(xml), S_OK);
      mem_FailAfter(0);
      EXPECT_EQ(Body(d), "<r>\n    <d p=\"q\" s=\"t\"/>\n</r>\n");
      break;
    } catch (const std::bad_alloc&) {
      mem_FailAfter(0);
    }
    std::string before = Body(d);
    Start(&d, "x");
    End(&d);
    EXPECT_EQ(before + Body(d), before == "<r/>\n" ? "<r/>\n<r>\n    <x/>\n</r>\n" : "</>\n<x/>\n") << failAt;
  }
}
