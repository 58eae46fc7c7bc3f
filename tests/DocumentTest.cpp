#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "AllocationScope.h"
#include "TempDir.h"
#include "ZELBasXmlDocument.h"

namespace {

const char kHeader[] = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<!-- Written by ZELBasXmlDocument -->\n";

std::string Written(ZELBasXmlDocument& document) {
  ZELString out;
  EXPECT_EQ(document.WriteString(out), S_OK);
  return out.CastToCharPtr();
}

std::string Body(ZELBasXmlDocument& document) { return Written(document).substr(sizeof kHeader - 1); }

// Reads `xml` with ReadString; returns the body written back.
std::string RoundTrip(const std::string& xml) {
  ZELBasXmlDocument document;
  EXPECT_EQ(document.ReadString(ZELString(xml.c_str())), S_OK) << xml;
  return Body(document);
}

void Start(ZELBasXmlDocument* d, const char* name, const char** atts = nullptr) {
  const char* none[] = {nullptr};
  ZELBasXmlDocument::unknownStartTag(d, name, atts != nullptr ? atts : none);
}
void End(ZELBasXmlDocument* d) { ZELBasXmlDocument::unknownEndTag(d, "ignored"); }
void Data(ZELBasXmlDocument* d, const char* text) {
  ZELBasXmlDocument::dataHandler(d, text, static_cast<int>(std::string(text).size()));
}

// `actual` holds the report `first`, then, when `times` is 2, the same error
// again from the final parse call: the parser stays failed, and the position
// it then gives is its own affair.
void ExpectReports(const std::string& actual, const std::string& first, int times) {
  EXPECT_EQ(actual.substr(0, first.size()), first);
  std::string rest = actual.substr(std::min(first.size(), actual.size()));
  if (times == 1) {
    EXPECT_EQ(rest, "");
    return;
  }
  std::string message = first.substr(0, first.find('\n') + 1) + "  Line: ";
  EXPECT_EQ(rest.substr(0, message.size()), message);
  EXPECT_EQ(std::count(rest.begin(), rest.end(), '\n'), 2);
}

}  // namespace

TEST(TreeBuilderTest, EventsBuildTheTreeWithTheLastTextPiece) {
  ZELBasXmlDocument d;
  const char* atts[] = {"c", "3", "a", "1", nullptr};
  Start(&d, "a", atts);
  Start(&d, "b");
  Data(&d, "x");
  End(&d);
  Data(&d, "hello");
  Data(&d, "y");
  End(&d);
  EXPECT_EQ(Body(d), "<a a=\"1\" c=\"3\">y\n    <b>x\n    </b>\n</a>\n");
  EXPECT_TRUE(d.GetRoot().IsRoot());
  EXPECT_FALSE(d.GetRoot().Children()[0].IsRoot());
  ZELBasXmlNode parent;
  ASSERT_EQ(d.GetRoot().Children()[0].GetParent(parent), S_OK);
  EXPECT_STREQ(parent.GetTagName().CastToCharPtr(), "a");

  // Back at depth 0: the next start tag is a new root, replacing the tree.
  Start(&d, "next");
  End(&d);
  EXPECT_EQ(Body(d), "<next/>\n");
}

TEST(TreeBuilderTest, NullUserDataChangesNothing) {
  ZELBasXmlDocument d;
  Start(&d, "root");
  const char* atts[] = {"k", "v", nullptr};
  ZELBasXmlDocument::unknownStartTag(nullptr, "x", atts);
  ZELBasXmlDocument::dataHandler(nullptr, "text", 4);
  ZELBasXmlDocument::unknownEndTag(nullptr, "x");
  Start(&d, "child");  // still at depth 1: appended under root
  End(&d);
  End(&d);
  EXPECT_EQ(Body(d), "<root>\n    <child/>\n</root>\n");
}

TEST(TreeBuilderTest, UnbalancedEndTagsMakeNoNodeUntilDepthIsBack) {
  ZELBasXmlDocument d;
  End(&d);            // depth -1
  Start(&d, "lost");  // no node; depth 0 again
  Start(&d, "kept");  // a root
  Data(&d, "t");
  End(&d);
  EXPECT_EQ(Body(d), "<kept>t\n</kept>\n");
}

TEST(DocumentTest, NewDocumentWritesTheHeaderAndAnEmptyRoot) {
  ZELBasXmlDocument d;
  EXPECT_EQ(Written(d), std::string(kHeader) + "</>\n");
  ZELString out("previous text");
  d.WriteString(out);
  EXPECT_EQ(std::string(out.CastToCharPtr()), std::string(kHeader) + "</>\n");
}

TEST(DocumentTest, ReadThenWriteKeepsOnlyWhatTheFormatKeeps) {
  // Entities, character references, CDATA, comments, processing
  // instructions and a DTD default attribute.
  EXPECT_EQ(RoundTrip("<?xml version=\"1.0\"?>\n"
                      "<!DOCTYPE r [\n"
                      "<!ATTLIST e d CDATA \"dflt\">\n"
                      "<!ENTITY ent \"E&#38;#38;T\">\n"
                      "]>\n"
                      "<r><?pi data?><!-- c --><e x=\"&lt;&amp;&quot;\">a&ent;b</e>"
                      "<e d=\"given\"><![CDATA[<raw> & ]]></e>\n</r>"),
            "<r>\n\n    <e d=\"dflt\" x=\"<&\"\">b\n    </e>\n    <e d=\"given\"><raw> & \n    </e>\n</r>\n");
  // Non-ASCII names and text pass through as UTF-8.
  EXPECT_EQ(RoundTrip("<\xc3\xa9l \xc3\xa0=\"\xe2\x82\xac\">\xf0\x9f\x98\x80</\xc3\xa9l>"),
            "<\xc3\xa9l \xc3\xa0=\"\xe2\x82\xac\">\xf0\x9f\x98\x80\n</\xc3\xa9l>\n");
  // Whitespace after the last child replaces the text before it.
  EXPECT_EQ(RoundTrip("<p>lead<b/>  </p>"), "<p>  \n    <b/>\n</p>\n");
}

TEST(DocumentTest, DeclaredEncodingGovernsBothReads) {
  TempDir dir;
  std::string latin1 = "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><r a=\"\xe9\">caf\xe9</r>";
  ZELBasXmlDocument fromFile;
  EXPECT_EQ(fromFile.ReadFile(ZELString(dir.Write("latin1.xml", latin1).c_str())), S_OK);
  EXPECT_EQ(Body(fromFile), "<r a=\"\xc3\xa9\">caf\xc3\xa9\n</r>\n");

  // ReadString hands over UTF-8 bytes, which the declaration then reads as
  // Latin-1: each byte of the UTF-8 form becomes a character.
  EXPECT_EQ(RoundTrip("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><r>\xc3\xa9</r>"),
            "<r>\xc3\x83\xc2\xa9\n</r>\n");
}

TEST(DocumentTest, FileReadAcrossTheChunkBoundaryMatchesStringRead) {
  TempDir dir;
  // Elements without text, so that only markup crosses the boundary at
  // 262,144 bytes; one attribute value straddles it.
  std::string xml = "<root>";
  while (xml.size() < 262144 - 20) xml += "<item k=\"v\" n=\"" + std::to_string(xml.size()) + "\"/>";
  xml += "<edge value=\"" + std::string(40, 'x') + "\"/>";
  for (int i = 0; i < 5000; ++i) xml += "<tail i=\"" + std::to_string(i) + "\"><x/></tail>";
  xml += "</root>";
  ZELBasXmlDocument fromFile, fromString;
  ASSERT_EQ(fromFile.ReadFile(ZELString(dir.Write("big.xml", xml).c_str())), S_OK);
  ASSERT_EQ(fromString.ReadString(ZELString(xml.c_str())), S_OK);
  std::string a = Written(fromFile), b = Written(fromString);
  EXPECT_GT(a.size(), 262144u);
  EXPECT_TRUE(a == b);
}

TEST(DocumentTest, ParentLinksHoldAfterTheVectorsOfALargeReadGrew) {
  std::string xml = "<r>";
  for (int i = 0; i < 300; ++i) {
    std::string n = std::to_string(i);
    xml += "<s i=\"" + n + "\"><c n=\"" + n + "\">t" + n + "</c><c/></s>";
  }
  xml += "</r>";
  AllocationScope scope;
  {
    ZELBasXmlDocument d;
    ASSERT_EQ(d.ReadString(ZELString(xml.c_str())), S_OK);
    ZELBasVector<ZELBasXmlNode> found;
    d.GetRoot().GetElementsByTagName(ZELString("s"), found);
    ASSERT_EQ(found.size(), 300u);
    for (int i = 0; i < 300; ++i) {
      std::string n = std::to_string(i);
      // In the tree, and in the copies the search gathered.
      for (const ZELBasXmlNode* s : {&d.GetRoot().Children()[i], &found[i]}) {
        const ZELBasXmlNode& c = s->Children()[0];
        ZELString value;
        ASSERT_EQ(c.GetAttribute(ZELString("n"), value), S_OK);
        EXPECT_EQ(n, value.CastToCharPtr());
        EXPECT_EQ("t" + n, c.GetData().CastToCharPtr());
        ZELBasXmlNode parent, grandparent;
        ASSERT_EQ(c.GetParent(parent), S_OK);
        ASSERT_EQ(parent.GetAttribute(ZELString("i"), value), S_OK);
        EXPECT_EQ(n, value.CastToCharPtr());
        ASSERT_EQ(parent.GetParent(grandparent), S_OK);
        EXPECT_STREQ(grandparent.GetTagName().CastToCharPtr(), "r");
      }
    }
  }
}

TEST(DocumentTest, ParseErrorsAreReportedAsTwoLines) {
  TempDir dir;
  struct Case {
    const char* xml;
    const char* report;
  } cases[] = {
      {"", "XML parse error: no element found\n  Line: 1, Column: 0\n"},
      {"<a><b></b>", "XML parse error: no element found\n  Line: 1, Column: 10\n"},
      {"<a/>junk", "XML parse error: junk after document element\n  Line: 1, Column: 4\n"},
  };
  for (const Case& c : cases) {
    ZELBasXmlDocument fromFile, fromString;
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(fromFile.ReadFile(ZELString(dir.Write("bad.xml", c.xml).c_str())), S_OK);
    // Junk fails in the first chunk already, and then again in the final call.
    ExpectReports(::testing::internal::GetCapturedStderr(), c.report,
                  std::string(c.xml) == "<a/>junk" ? 2 : 1);
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(fromString.ReadString(ZELString(c.xml)), E_FAIL);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), c.report) << c.xml;
  }

  // A chunk that fails is reported, and so is the final call after it.
  ZELBasXmlDocument d;
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(d.ReadFile(ZELString(dir.Write("broken.xml", "<a>\n<b><</b></a>").c_str())), S_OK);
  ExpectReports(::testing::internal::GetCapturedStderr(),
                "XML parse error: not well-formed (invalid token)\n  Line: 2, Column: 4\n", 2);
  EXPECT_EQ(Body(d), "<a>\n\n    <b/>\n</a>\n") << "the tree keeps what was built";
}

TEST(DocumentTest, ReadContinuesInsideTheElementAnEarlierReadLeftOpen) {
  ZELBasXmlDocument d;
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(d.ReadString(ZELString("<a><b>")), E_FAIL);
  ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(d.ReadString(ZELString("<c k=\"v\"/>")), S_OK);
  EXPECT_EQ(Body(d), "<a>\n    <b>\n        <c k=\"v\"/>\n    </b>\n</a>\n");
}

TEST(DocumentTest, FileNamesAndFilesThatCannotBeUsedFail) {
  TempDir dir;
  AllocationScope scope;
  {
    ZELBasXmlDocument unnamed;
    EXPECT_EQ(unnamed.Read(), E_FAIL);
    EXPECT_EQ(unnamed.Write(), E_FAIL);

    ::testing::internal::CaptureStderr();
    EXPECT_EQ(unnamed.ReadFile(ZELString(dir.File("missing.xml").c_str())), E_FAIL);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "") << "no report when nothing was opened";

    for (std::string target : {dir.path, dir.File("no/such/folder.xml"), std::string("/dev/full")}) {
      EXPECT_EQ(unnamed.WriteFile(ZELString(target.c_str())), E_FAIL) << target;
    }

    ZELBasXmlDocument named(ZELString(dir.File("named.xml").c_str()));
    ASSERT_EQ(named.ReadString(ZELString("<n a=\"1\"/>")), S_OK);
    ASSERT_EQ(named.Write(), S_OK);
    EXPECT_EQ(TempDir::Read(dir.File("named.xml")), std::string(kHeader) + "<n a=\"1\"/>\n");
    ZELBasXmlDocument again(ZELString(dir.File("named.xml").c_str()));
    ASSERT_EQ(again.Read(), S_OK);
    EXPECT_EQ(Written(again), Written(named));
  }
}

TEST(DocumentTest, HeapDocumentsComeFromTheMemoryModule) {
  AllocationScope scope;
  ZELBasXmlDocument* d = new ZELBasXmlDocument(ZELString("x.xml"));
  EXPECT_GE(scope.Live(), 2);
  delete d;
}
