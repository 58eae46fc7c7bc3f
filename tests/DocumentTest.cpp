#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "AllocationScope.h"
#include "TempDir.h"
#include "ZELBasXmlDocument.h"

namespace {

using ::testing::internal::CaptureStderr;
using ::testing::internal::GetCapturedStderr;

const char kHeader[] = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<!-- Written by ZELBasXmlDocument -->\n";
const size_t kChunk = 262144;

// What WriteString writes after the two header lines.
std::string Body(ZELBasXmlDocument& document) {
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
    CaptureStderr();
    EXPECT_EQ(file.ReadFile(ZELString(dir.Write("in.xml", bytes).c_str())), S_OK);
    fileReport = GetCapturedStderr();
    CaptureStderr();
    stringResult = string.ReadString(ZELString(std::string_view(bytes)));
    stringReport = GetCapturedStderr();
  }
  ZELBasXmlDocument file, string;
  std::string fileReport, stringReport;
  long stringResult;
};

// The first error GetParseError gives, in the form of the report; "" for none.
std::string FirstError(const ZELBasXmlDocument& document) {
  ZELString message;
  unsigned long line = 0, column = 0;
  if (document.GetParseError(message, line, column) != S_OK) return "";
  return std::string("XML parse error: ") + message.CastToCharPtr() + "\n  Line: " + std::to_string(line) +
         ", Column: " + std::to_string(column) + "\n";
}

const char* kNoAtts[] = {nullptr};
void Start(ZELBasXmlDocument* d, const char* name, const char** atts = kNoAtts) {
  ZELBasXmlDocument::unknownStartTag(d, name, atts);
}
void End(ZELBasXmlDocument* d) { ZELBasXmlDocument::unknownEndTag(d, "ignored"); }
void Data(ZELBasXmlDocument* d, const std::string& text) {
  ZELBasXmlDocument::dataHandler(d, text.data(), static_cast<int>(text.size()));
}

}  // namespace

TEST(TreeBuilderTest, EventsBuildTheTreeWithTheLastTextPiece) {
  ZELBasXmlDocument d;
  const char* atts[] = {"c", "3", "a", "1", "c", "4", nullptr};
  End(&d);  // depth -1: the next start makes no node
  Start(&d, "lost");
  EXPECT_EQ(Body(d), "</>\n");
  Start(&d, "a", atts);
  ZELBasXmlDocument::unknownStartTag(nullptr, "x", atts);  // null user data changes nothing
  ZELBasXmlDocument::dataHandler(nullptr, "text", 4);
  ZELBasXmlDocument::unknownEndTag(nullptr, "x");
  Start(&d, "b");
  Data(&d, "x");
  EXPECT_STREQ(d.GetRoot().Children()[0].GetData().CastToCharPtr(), "x") << "set before the callback returns";
  End(&d);
  Data(&d, "hello");
  Data(&d, "y");
  End(&d);
  EXPECT_EQ(Body(d), "<a a=\"1\" c=\"4\">y\n    <b>x\n    </b>\n</a>\n");
  ZELBasXmlNode parent;
  ASSERT_EQ(d.GetRoot().Children()[0].GetParent(parent), S_OK);
  EXPECT_STREQ(parent.GetTagName().CastToCharPtr(), "a");
  Start(&d, "next");  // a new root replaces the tree
  End(&d);
  EXPECT_EQ(Body(d), "<next/>\n");
  // A read continues inside the element an earlier read left open.
  CaptureStderr();
  EXPECT_EQ(d.ReadString(ZELString("<a><b>")), E_FAIL);
  GetCapturedStderr();
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

TEST(DocumentTest, WellFormedInputReadsTheSameBothWaysKeepingWhatTheFormatKeeps) {
  std::string le = "\xff\xfe", be = "\xfe\xff";  // UTF-16 with a byte order mark
  for (char c : std::string("<a x=\"\xe9\">\xfc</a>")) le += {c, '\0'}, be += {'\0', c};
  const std::pair<std::string, std::string> cases[] = {
      {"<?xml version=\"1.0\"?>\n<!DOCTYPE r [\n<!ATTLIST e d CDATA \"dflt\">\n"
       "<!ENTITY ent \"E&#38;#38;T\">\n]>\n"
       "<r><?pi data?><!-- c --><e x=\"&lt;&amp;&quot;\">a&ent;b</e><e d=\"given\"><![CDATA[<raw> & "
       "]]></e>\n</r>",
       "<r>\n\n    <e d=\"dflt\" x=\"<&\"\">b\n    </e>\n    <e d=\"given\"><raw> & \n    </e>\n</r>\n"},
      {"<\xc3\xa9l \xc3\xa0=\"\xe2\x82\xac\">\xf0\x9f\x98\x80</\xc3\xa9l>",
       "<\xc3\xa9l \xc3\xa0=\"\xe2\x82\xac\">\xf0\x9f\x98\x80\n</\xc3\xa9l>\n"},
      // Whitespace after the last child replaces the text before it.
      {"<p>lead<b/>  </p>", "<p>  \n    <b/>\n</p>\n"},
      // The declared encoding governs, ReadString's bytes too.
      {"<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><r a=\"\xe9\">caf\xe9</r>",
       "<r a=\"\xc3\xa9\">caf\xc3\xa9\n</r>\n"},
      {le, "<a x=\"\xc3\xa9\">\xc3\xbc\n</a>\n"},
      {be, "<a x=\"\xc3\xa9\">\xc3\xbc\n</a>\n"},
  };
  for (const auto& [bytes, body] : cases) {
    BothWays read(bytes);
    EXPECT_EQ(read.stringResult, S_OK);
    EXPECT_EQ(read.fileReport + read.stringReport, "");
    EXPECT_EQ(Body(read.file), body);
    EXPECT_EQ(Body(read.string), body);
  }
}

TEST(DocumentTest, ParseErrorsAreReportedAsTwoLinesAndKeptAsTheFirstError) {
  const std::string token = "XML parse error: not well-formed (invalid token)\n  Line: ";
  const struct {
    std::string bytes, report;
    int fileReports;        // 2: a chunk failed, and the final call reports again
    const char* body = "";  // the tree left, both ways, when given
  } cases[] = {
      {"", "XML parse error: no element found\n  Line: 1, Column: 0\n", 1},
      {"<a><b></b>", "XML parse error: no element found\n  Line: 1, Column: 10\n", 1},
      {"<a/>junk", "XML parse error: junk after document element\n  Line: 1, Column: 4\n", 2},
      {"<a>\n<b><</b></a>", token + "2, Column: 4\n", 2, "<a>\n\n    <b/>\n</a>\n"},
      {"<a>text", "XML parse error: no element found\n  Line: 1, Column: 7\n", 1, "<a>text\n</a>\n"},
      {"<a>\xff\xfe</a>", token + "1, Column: 3\n", 2},
      {"<a>\xc3</a>", token + "1, Column: 3\n", 2},
      {"<a>\xed\xa0\x80</a>", token + "1, Column: 3\n", 2},
      {std::string("<a>x\0y</a>", 10), token + "1, Column: 4\n", 2},
      {std::string("\0<a/>", 5), "XML parse error: unclosed token\n  Line: 1, Column: 0\n", 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.bytes);
    AllocationScope scope;
    BothWays read(c.bytes);
    EXPECT_EQ(read.stringResult, E_FAIL);
    EXPECT_EQ(read.stringReport, c.report);
    // The second report is at whatever position the failed parser then gives.
    std::string again = c.fileReports == 1 ? "" : c.report.substr(0, c.report.find('\n') + 1) + "  Line: ";
    EXPECT_EQ(read.fileReport.substr(0, c.report.size() + again.size()), c.report + again);
    EXPECT_EQ(std::count(read.fileReport.begin(), read.fileReport.end(), '\n'), 2 * c.fileReports);
    EXPECT_EQ(FirstError(read.file) + FirstError(read.string), c.report + c.report);
    if (*c.body != '\0') {
      EXPECT_EQ(Body(read.file) + Body(read.string), c.body + std::string(c.body)) << "what was built stays";
    }
    // A new read starts without one: a good one, or one that opens nothing.
    EXPECT_EQ(read.string.ReadString(ZELString("<ok/>")), S_OK);
    EXPECT_EQ(read.file.ReadFile(ZELString("")), E_FAIL);
    EXPECT_EQ(FirstError(read.string) + FirstError(read.file), "");
  }
}

// Chunks of 262,144 bytes: a text split at the first boundary inside a
// character, an attribute value split at the second. ReadFile keeps the last
// piece of the text, starting with that character; all else reads alike.
TEST(DocumentTest, FileReadsInChunksKeepingTheLastPieceOfATextWhole) {
  std::string xml = "<a>" + std::string(kChunk - 4, 'x') + "\xc3\xa9tail";
  while (xml.size() < 2 * kChunk - 20) xml += "<e k=\"v\" n=\"" + std::to_string(xml.size()) + "\"/>";
  xml += "<edge value=\"" + std::string(40, 'v') + "\"/>";
  for (int i = 0; i < 5000; ++i) xml += "<t i=\"" + std::to_string(i) + "\"><x/></t>";
  BothWays read(xml + "</a>");
  EXPECT_EQ(read.fileReport + read.stringReport, "");
  EXPECT_STREQ(read.file.GetRoot().GetData().CastToCharPtr(), "\xc3\xa9tail");
  EXPECT_TRUE(Body(read.string).erase(3, kChunk - 4) == Body(read.file));
}

// Attribute values and texts that switch between heavily repeated and all
// distinct, short and just past 24 bytes, and pairs such as AaAa and BBBB
// that many string hashes take for equal: each reads back as it was given.
TEST(DocumentTest, RepeatedAndDistinctValuesReadBackAsGiven) {
  const char* const kTwins[] = {"AaAa", "AaBB", "BBAa", "BBBB"};
  struct Element {
    std::vector<std::pair<std::string, std::string>> attributes;
    std::string text;
    bool split;  // across a chunk boundary: ReadFile keeps a trailing piece
  };
  std::vector<Element> given;
  std::string xml = "<r>";
  for (int i = 0; i < 2100; ++i) {
    Element e;
    if (i < 800 || i >= 1300) {
      // A short value, a value just too long to be short that starts with
      // it, and the short one again.
      for (int k = 0; k < 4; ++k) {
        std::string n = std::to_string(k), id = std::to_string(i * 4 + k);
        std::string brief = id + std::string((i + k) % (25 - id.size()), 's');     // 1 to 24 bytes
        std::string longer = brief + std::string(25 - brief.size() + i % 4, '-');  // 25 to 28
        e.attributes.insert(e.attributes.end(), {{"a" + n, brief}, {"b" + n, longer}, {"c" + n, brief}});
      }
      e.attributes.push_back({"t", kTwins[i % 4] + std::string(i % 23, 'T')});
      e.text = i % 3 != 0 ? " \t " : std::string("text ") + kTwins[(i + 1) % 4];
    } else {
      e.attributes.push_back({"d", "distinct " + std::to_string(i)});
      e.text = "text number " + std::to_string(i);
    }
    xml += "<e";
    for (const auto& [name, value] : e.attributes) xml += " " + name + "=\"" + value + "\"";
    xml += ">";
    e.split = xml.size() / kChunk != (xml.size() + e.text.size()) / kChunk;
    xml += e.text + "</e>";
    given.push_back(e);
  }
  BothWays read(xml + "</r>");
  for (ZELBasXmlDocument* d : {&read.file, &read.string}) {
    const ZELBasVector<ZELBasXmlNode>& elements = d->GetRoot().Children();
    ASSERT_EQ(elements.size(), given.size());
    std::string wrong;
    for (size_t i = 0; i < given.size(); ++i) {
      for (const auto& [name, value] : given[i].attributes) {
        ZELString got;
        elements[i].GetAttribute(ZELString(name.c_str()), got);
        if (std::string_view(got) != value) wrong += name + "=" + got.CastToCharPtr() + " ";
      }
      std::string_view text = elements[i].GetData(), expected = given[i].text;
      if (given[i].split && d == &read.file)
        expected.remove_prefix(expected.size() - std::min(text.size(), expected.size()));
      if (text != expected || text.empty()) wrong += "text " + std::string(text) + " ";
    }
    EXPECT_EQ(wrong, "");
  }
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
  for (const std::string& text : texts) Start(&d, "c"), Data(&d, text), End(&d);
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
  EXPECT_TRUE(std::string_view(written) == all.bytes && std::string_view(serialized) == nested.bytes);
  EXPECT_NE(all.bytes.find(texts[2]), std::string::npos);
  EXPECT_EQ(nested.bytes.substr(0, 70004), std::string(70000, ' ') + "<r v");
}

TEST(DocumentTest, ParentLinksHoldAfterTheVectorsOfALargeReadGrew) {
  std::string xml = "<r>";
  for (int i = 0; i < 300; ++i) xml += "<s i=\"" + std::to_string(i) + "\"><c>t</c><c/></s>";
  AllocationScope scope;
  ZELBasXmlDocument d;
  ASSERT_EQ(d.ReadString(ZELString((xml + "</r>").c_str())), S_OK);
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

TEST(DocumentTest, NamesThatCannotBeReadOrWrittenFailQuietly) {
  static_assert(sizeof(S_OK) == sizeof(long) && sizeof(E_FAIL) == sizeof(long), "results are longs");
  EXPECT_EQ(E_FAIL, -2147467259L) << "the 32-bit pattern 0x80004005, whatever the width of long";
  TempDir dir;
  AllocationScope scope;
  ZELBasXmlDocument unnamed;
  ZELString out("previous text");
  unnamed.WriteString(out);
  EXPECT_EQ(std::string(out.CastToCharPtr()), std::string(kHeader) + "</>\n");
  EXPECT_EQ(unnamed.Read(), E_FAIL);
  EXPECT_EQ(unnamed.Write(), E_FAIL);
  std::vector<std::string> writes = {dir.path, dir.File("no/such/folder.xml")};
#if !defined(_WIN32)
  writes.insert(writes.end(), {"/dev/full", "/proc/zelbas.xml"});  // a full device; no new file even for root
#endif
  CaptureStderr();
  for (const std::string& path : {dir.path, dir.File("missing.xml"), dir.File("missing/deeper.xml")})
    EXPECT_EQ(unnamed.ReadFile(ZELString(path.c_str())), E_FAIL) << path;
  EXPECT_EQ(GetCapturedStderr(), "") << "nothing opened, nothing reported";
  for (const std::string& path : writes)
    EXPECT_EQ(unnamed.WriteFile(ZELString(path.c_str())), E_FAIL) << path;
  ZELBasXmlDocument named(ZELString(dir.File("named.xml").c_str()));
  ASSERT_EQ(named.ReadString(ZELString("<n a=\"1\"/>")), S_OK);
  ASSERT_EQ(named.Write(), S_OK);
  EXPECT_EQ(TempDir::Read(dir.File("named.xml")), std::string(kHeader) + "<n a=\"1\"/>\n");
  ZELBasXmlDocument again(ZELString(dir.File("named.xml").c_str()));
  ASSERT_EQ(again.Read(), S_OK);
  EXPECT_EQ(Body(again), "<n a=\"1\"/>\n");
}
