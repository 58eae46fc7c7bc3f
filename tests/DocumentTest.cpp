#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

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

const char* kNoAtts[] = {nullptr};
void Start(ZELBasXmlDocument* d, const char* name, const char** atts = kNoAtts) {
  ZELBasXmlDocument::unknownStartTag(d, name, atts);
}
void End(ZELBasXmlDocument* d) { ZELBasXmlDocument::unknownEndTag(d, "ignored"); }
void Data(ZELBasXmlDocument* d, const char* text) {
  ZELBasXmlDocument::dataHandler(d, text, static_cast<int>(std::string(text).size()));
}

// `first`, then with `times` 2 the same error again from the final parse
// call, at whatever position the failed parser then gives.
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

// The first error GetParseError gives, in the form of the report; "" for none.
std::string FirstError(const ZELBasXmlDocument& document) {
  ZELString message;
  unsigned long line = 0, column = 0;
  if (document.GetParseError(message, line, column) != S_OK) return "";
  return std::string("XML parse error: ") + message.CastToCharPtr() + "\n  Line: " + std::to_string(line) +
         ", Column: " + std::to_string(column) + "\n";
}

}  // namespace

TEST(TreeBuilderTest, EventsBuildTheTreeWithTheLastTextPiece) {
  ZELBasXmlDocument d;
  const char* atts[] = {"c", "3", "a", "1", nullptr};
  End(&d);  // depth -1: the next start makes no node
  Start(&d, "lost");
  Start(&d, "a", atts);
  ZELBasXmlDocument::unknownStartTag(nullptr, "x", atts);  // null user data changes nothing
  ZELBasXmlDocument::dataHandler(nullptr, "text", 4);
  ZELBasXmlDocument::unknownEndTag(nullptr, "x");
  Start(&d, "b");
  Data(&d, "x");
  EXPECT_STREQ(d.GetRoot().Children()[0].GetData().CastToCharPtr(), "x")
      << "text set before the callback returns";
  End(&d);
  Data(&d, "hello");
  Data(&d, "y");
  End(&d);
  EXPECT_EQ(Body(d), "<a a=\"1\" c=\"3\">y\n    <b>x\n    </b>\n</a>\n");
  ZELBasXmlNode parent;
  ASSERT_EQ(d.GetRoot().Children()[0].GetParent(parent), S_OK);
  EXPECT_STREQ(parent.GetTagName().CastToCharPtr(), "a");
  Start(&d, "next");  // a new root replaces the tree
  End(&d);
  EXPECT_EQ(Body(d), "<next/>\n");
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
    if (before == "<r/>\n") {
      EXPECT_EQ(Body(d), "<r>\n    <x/>\n</r>\n") << failAt;
    } else {
      EXPECT_EQ(before, "</>\n") << failAt;
      EXPECT_EQ(Body(d), "<x/>\n") << failAt;
    }
  }
}

TEST(DocumentTest, ReadThenWriteKeepsOnlyWhatTheFormatKeeps) {
  EXPECT_EQ(RoundTrip("<?xml version=\"1.0\"?>\n"
                      "<!DOCTYPE r [\n"
                      "<!ATTLIST e d CDATA \"dflt\">\n"
                      "<!ENTITY ent \"E&#38;#38;T\">\n"
                      "]>\n"
                      "<r><?pi data?><!-- c --><e x=\"&lt;&amp;&quot;\">a&ent;b</e>"
                      "<e d=\"given\"><![CDATA[<raw> & ]]></e>\n</r>"),
            "<r>\n\n    <e d=\"dflt\" x=\"<&\"\">b\n    </e>\n    <e d=\"given\"><raw> & \n    </e>\n</r>\n");
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

  // ReadString's UTF-8 bytes are still decoded as Latin-1.
  EXPECT_EQ(RoundTrip("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><r>\xc3\xa9</r>"),
            "<r>\xc3\x83\xc2\xa9\n</r>\n");
}

TEST(DocumentTest, FileReadAcrossTheChunkBoundaryMatchesStringRead) {
  TempDir dir;
  // One attribute value straddles the 262,144-byte chunk boundary.
  std::string xml = "<root>";
  while (xml.size() < 262144 - 20) xml += "<item k=\"v\" n=\"" + std::to_string(xml.size()) + "\"/>";
  xml += "<edge value=\"" + std::string(40, 'x') + "\"/>";
  for (int i = 0; i < 5000; ++i) xml += "<tail i=\"" + std::to_string(i) + "\"><x/></tail>";
  xml += "</root>";
  ZELBasXmlDocument fromFile, fromString;
  ASSERT_EQ(fromFile.ReadFile(ZELString(dir.Write("big.xml", xml).c_str())), S_OK);
  ASSERT_EQ(fromString.ReadString(ZELString(xml.c_str())), S_OK);
  EXPECT_TRUE(Written(fromFile) == Written(fromString));
}

// Collects what a sink is given; refuses from call number `refuseAt` on.
struct Collected {
  std::string bytes;
  int calls = 0;
  int refuseAt = 0;
  static bool Take(void* context, const char* bytes, size_t length) {
    Collected* c = static_cast<Collected*>(context);
    if (++c->calls == c->refuseAt) return false;
    c->bytes.append(bytes, length);
    return true;
  }
};

TEST(DocumentTest, SinksGetTheBytesOfTheStringsAndNoMoreOnceTheyRefuse) {
  // Texts longer than the 64 KiB buffer: ASCII, multi-byte, and with a NUL
  // inside; and an indentation longer than the buffer.
  const std::string texts[] = {std::string(70000, 'a'), std::string(40000 * 2, 'x').replace(0, 2, "\xc3\xa9"),
                               std::string(70000, '\xc3').replace(1, 1, std::string(1, '\0'))};
  ZELBasXmlDocument d;
  const char* atts[] = {"v", texts[0].c_str(), nullptr};
  Start(&d, "r", atts);
  for (const std::string& text : texts) {
    Start(&d, "c");
    ZELBasXmlDocument::dataHandler(&d, text.data(), static_cast<int>(text.size()));
    End(&d);
  }
  End(&d);
  ZELString written, indent(std::string(70000, ' ').c_str()), serialized;
  ASSERT_EQ(d.WriteString(written), S_OK);
  ASSERT_EQ(d.GetRoot().Serialize(serialized, indent), S_OK);
  Collected all, some, nested;
  some.refuseAt = 3;
  EXPECT_EQ(d.WriteTo(&Collected::Take, &all), S_OK);
  EXPECT_EQ(d.WriteTo(&Collected::Take, &some), E_FAIL);
  EXPECT_EQ(some.calls, 3) << "not called again after it refused";
  EXPECT_EQ(d.GetRoot().SerializeTo(&Collected::Take, &nested, indent), S_OK);
  for (auto [string, sink] : {std::pair<ZELString*, Collected*>{&written, &all}, {&serialized, &nested}}) {
    std::string bytes(4 * sink->bytes.size(), '?');
    size_t size = bytes.size();
    string->ConvertToUTF8(&bytes[0], &size);
    EXPECT_TRUE(bytes.substr(0, size) == sink->bytes);
  }
  EXPECT_NE(all.bytes.find(texts[2]), std::string::npos);
  EXPECT_EQ(nested.bytes.substr(0, 70004), std::string(70000, ' ') + "<r v");
}

TEST(DocumentTest, ParentLinksHoldAfterTheVectorsOfALargeReadGrew) {
  std::string xml = "<r>";
  for (int i = 0; i < 300; ++i) xml += "<s i=\"" + std::to_string(i) + "\"><c>t</c><c/></s>";
  xml += "</r>";
  AllocationScope scope;
  {
    ZELBasXmlDocument d;
    ASSERT_EQ(d.ReadString(ZELString(xml.c_str())), S_OK);
    ZELBasVector<ZELBasXmlNode> found;
    d.GetRoot().GetElementsByTagName(ZELString("s"), found);
    ASSERT_EQ(found.size(), 300u);
    for (int i = 0; i < 300; ++i) {
      for (const ZELBasXmlNode* s : {&d.GetRoot().Children()[i], &found[i]}) {
        ZELBasXmlNode parent, grandparent;
        ZELString value;
        ASSERT_EQ(s->Children()[0].GetParent(parent), S_OK);
        ASSERT_EQ(parent.GetAttribute(ZELString("i"), value), S_OK);
        EXPECT_EQ(std::to_string(i), value.CastToCharPtr());
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
    EXPECT_EQ(FirstError(fromFile), c.report);
    EXPECT_EQ(FirstError(fromString), c.report);
    // A new read starts without one: a good one, or one that opens nothing.
    EXPECT_EQ(fromString.ReadString(ZELString("<ok/>")), S_OK);
    EXPECT_EQ(fromFile.ReadFile(ZELString(dir.File("missing.xml").c_str())), E_FAIL);
    EXPECT_EQ(FirstError(fromString) + FirstError(fromFile), "");
  }

  // A chunk that fails is reported, and so is the final call after it.
  ZELBasXmlDocument d;
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(d.ReadFile(ZELString(dir.Write("broken.xml", "<a>\n<b><</b></a>").c_str())), S_OK);
  const char* first = "XML parse error: not well-formed (invalid token)\n  Line: 2, Column: 4\n";
  ExpectReports(::testing::internal::GetCapturedStderr(), first, 2);
  EXPECT_EQ(FirstError(d), first) << "the first of the two";
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
    ZELString out("previous text");
    unnamed.WriteString(out);
    EXPECT_EQ(std::string(out.CastToCharPtr()), std::string(kHeader) + "</>\n");
    EXPECT_EQ(unnamed.Read(), E_FAIL);
    EXPECT_EQ(unnamed.Write(), E_FAIL);
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(unnamed.ReadFile(ZELString(dir.File("missing.xml").c_str())), E_FAIL);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
    std::vector<std::string> targets = {dir.path, dir.File("no/such/folder.xml")};
#if !defined(_WIN32)
    targets.push_back("/dev/full");  // no full device to be had on Windows
#endif
    for (const std::string& target : targets)
      EXPECT_EQ(unnamed.WriteFile(ZELString(target.c_str())), E_FAIL) << target;
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

TEST(DocumentTest, ResultCodesChunksAndLengthLimitAreTheSameOnEveryTarget) {
  static_assert(sizeof(S_OK) == sizeof(long) && sizeof(E_FAIL) == sizeof(long), "results are longs");
  EXPECT_EQ(S_OK, 0L);
  EXPECT_EQ(E_FAIL, -2147467259L) << "the 32-bit pattern 0x80004005, whatever the width of long";
  // Text that ends the first 262,144-byte chunk: a file read keeps the piece after it.
  TempDir dir;
  ZELBasXmlDocument chunked, huge;
  std::string xml = "<a>" + std::string(262144 - 3, 'x') + "tail</a>";
  ASSERT_EQ(chunked.ReadFile(ZELString(dir.Write("chunk.xml", xml).c_str())), S_OK);
  EXPECT_STREQ(chunked.GetRoot().GetData().CastToCharPtr(), "tail");
  // Four bytes a character must fit the parser's int: one character more
  // than 536,870,911 is refused before any parse.
  ZELString text;
  text.BuildFromUTF8(std::string(size_t(1) << 29, 'x').c_str(), size_t(1) << 29);
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(huge.ReadString(text), E_FAIL);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
}
