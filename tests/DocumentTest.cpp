#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>
#include <tuple>
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

const char* kNoAtts[] = {nullptr};
void Start(ZELBasXmlDocument* d, const char* name, const char** atts = kNoAtts) {
  ZELBasXmlDocument::unknownStartTag(d, name, atts);
}
void End(ZELBasXmlDocument* d) { ZELBasXmlDocument::unknownEndTag(d, "ignored"); }

}  // namespace

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

// What reads give and report, whole and in chunks, for well-formed and
// malformed input is the command's test (tests/cli/read/), which shows the
// file read's tree. Here: a failed string read keeps what it built, and a
// new read, even one that opens nothing, starts without the error.
TEST(DocumentTest, AFailedReadKeepsWhatItBuiltAndTheNextStartsAfresh) {
  BothWays read("<a>text");
  EXPECT_EQ(read.stringResult, E_FAIL);
  EXPECT_EQ(Body(read.string), "<a>text\n</a>\n");
  ZELString message;
  unsigned long line = 0, column = 0;
  EXPECT_TRUE(read.string.GetParseError(message, line, column) == S_OK &&
              read.file.GetParseError(message, line, column) == S_OK);
  EXPECT_EQ(read.string.ReadString(ZELString("<ok/>")), S_OK);
  EXPECT_EQ(read.file.ReadFile(ZELString("")), E_FAIL);
  for (ZELBasXmlDocument* d : {&read.file, &read.string})
    EXPECT_EQ(d->GetParseError(message, line, column), E_FAIL);
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

// Chunks of 262,144 bytes: a text split at the first boundary inside a
// character, a long attribute value across the second. ReadFile keeps the
// last piece of the text, starting with that character; all else reads alike.
TEST(DocumentTest, FileReadsInChunksKeepingTheLastPieceOfATextWhole) {
  std::string xml = "<a>" + std::string(kChunk - 4, 'x') + "\xc3\xa9tail";
  while (xml.size() < 2 * kChunk - 20) xml += "<e k=\"v\" n=\"" + std::to_string(xml.size()) + "\"/>";
  std::string value(10 << 20, 'v');  // ten megabytes, a tab normalized to a space
  value[12345] = '\t';
  xml += "<edge value=\"" + value + "\"/>";
  for (int i = 0; i < 5000; ++i) xml += "<t i=\"" + std::to_string(i) + "\"><x/></t>";
  BothWays read(xml + "</a>");
  EXPECT_EQ(read.fileReport + read.stringReport, "");
  EXPECT_STREQ(read.file.GetRoot().GetData().CastToCharPtr(), "\xc3\xa9tail");
  EXPECT_TRUE(Body(read.string).erase(3, kChunk - 4) == Body(read.file));
  ZELString got;
  read.file.GetRoot().Children()[read.file.GetRoot().Children().size() - 5001].GetAttribute(
      ZELString("value"), got);
  EXPECT_TRUE(std::string_view(got) == value.replace(12345, 1, " "));
  // Children link to their parents once the vectors grew, in the tree and in
  // the copies a search gives.
  for (ZELBasXmlDocument* d : {&read.file, &read.string}) {
    ZELBasVector<ZELBasXmlNode> found;
    d->GetRoot().GetElementsByTagName(ZELString("t"), found);
    ASSERT_EQ(found.size(), 5000u);
    for (int i = 0; i < 5000; i += 99) {
      for (const ZELBasXmlNode* t : {d->GetRoot().Children().end() - 5000 + i, &found[i]}) {
        ZELBasXmlNode parent, grandparent;
        ZELString value;
        ASSERT_EQ(t->Children()[0].GetParent(parent), S_OK);
        parent.GetAttribute(ZELString("i"), value);
        EXPECT_EQ(std::to_string(i), value.CastToCharPtr());
        EXPECT_TRUE(i != 0 || (parent.GetParent(grandparent) == S_OK && grandparent.GetTagName() == "a"));
      }
    }
  }
  // A sink gets what WriteString and Serialize give, a 64 KiB buffer at a
  // time (a longer text or indentation whole), and no more once it refused.
  ZELString written, indent(std::string(70000, ' ').c_str()), serialized;
  ASSERT_EQ(read.string.WriteString(written), S_OK);
  const ZELBasXmlNode& first = read.string.GetRoot().Children()[0];
  ASSERT_EQ(first.Serialize(serialized, indent), S_OK);
  Collected all, some, nested;
  some.refuseAt = 3;
  EXPECT_EQ(read.string.WriteTo(&Collected::Take, &all), S_OK);
  EXPECT_EQ(read.string.WriteTo(&Collected::Take, &some), E_FAIL);
  EXPECT_EQ(some.calls, 3) << "not called again after it refused";
  EXPECT_EQ(first.SerializeTo(&Collected::Take, &nested, indent), S_OK);
  EXPECT_TRUE(std::string_view(written) == all.bytes && std::string_view(serialized) == nested.bytes);
  EXPECT_EQ(nested.bytes.substr(69999, 4), " <e ");
}

// Attribute values and texts that switch between heavily repeated and all
// distinct, short and just past 24 bytes, and pairs such as AaAa and BBBB
// that many string hashes take for equal: each reads back as it was given.
TEST(DocumentTest, RepeatedAndDistinctValuesReadBackAsGiven) {
  const char* const kTwins[] = {"AaAa", "AaBB", "BBAa", "BBBB"};
  struct Element {
    std::vector<std::string> values;  // of v0, v1, ...
    std::string text;
    bool split;  // across a chunk boundary: ReadFile keeps a trailing piece
  };
  std::vector<Element> given;
  std::string xml = "<r>";
  for (int i = 0; i < 4000; ++i) {
    Element e{{}, "text number " + std::to_string(i), false};
    if (i / 1000 != 2) {
      // A short value, a value just too long to be short that starts with
      // it, and the short one again.
      for (int k = 0; k < 3; ++k) {
        std::string brief = k == 2
                                ? kTwins[i % 4] + std::to_string(i / 4)  // colliding in fours
                                : std::to_string(i * 3 + k) + std::string(k == 0 ? i % 20 : 0, 's');  // to 24
        e.values.insert(e.values.end(), {brief, brief + std::string(25 - brief.size() + i % 4, '-'), brief});
      }
      e.text = i % 3 != 0 ? " \t " : std::string("text ") + kTwins[(i + 1) % 4];
    } else {
      e.values.push_back("distinct " + std::to_string(i));
    }
    xml += "<e";
    for (size_t v = 0; v < e.values.size(); ++v) xml += " v" + std::to_string(v) + "=\"" + e.values[v] + "\"";
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
      for (size_t v = 0; v < given[i].values.size(); ++v) {
        ZELString got;
        elements[i].GetAttribute(ZELString(("v" + std::to_string(v)).c_str()), got);
        if (std::string_view(got) != given[i].values[v])
          wrong += given[i].values[v] + " as " + got.CastToCharPtr() + "\n";
      }
      std::string_view text = elements[i].GetData(), expected = given[i].text;
      if (given[i].split && d == &read.file)
        expected.remove_prefix(expected.size() - std::min(expected.size(), text.size()));
      if (text.empty() || text != expected) wrong += given[i].text + " as " + std::string(text) + "\n";
    }
    EXPECT_EQ(wrong, "");
  }
}

// Text past what one parse call takes: refused before the parser sees it.
TEST(DocumentTest, TextPastWhatOnePieceTakesIsRefusedUnparsed) {
  // `unit` doubled up to `bytes`, then `more` units, built without a second
  // copy of the text.
  auto grown = [](const char* unit, size_t bytes, int more) {
    ZELString text(unit);
    for (size_t size = std::strlen(unit); size < bytes; size *= 2) {
      ZELString copy = text;
      text.Append(copy);
    }
    while (more-- > 0) text.Append(ZELString(unit));
    return text;
  };
  // Exactly one character past the character limit, and a text of
  // four-byte characters within it but one character past the parser's
  // 1 GiB.
  static_assert(ZELBasXmlDocument::MaxStringCharacters + 1 == 1 << 29, "the limit below");
  for (const auto& [unit, bytes, more] :
       {std::tuple<const char*, size_t, int>{"x", size_t{1} << 29, 0},
        std::tuple<const char*, size_t, int>{"\xf0\x9f\x98\x80", size_t{1} << 30, 1}}) {
    ZELString text = grown(unit, bytes, more);
    ZELBasXmlDocument d;
    CaptureStderr();
    EXPECT_EQ(d.ReadString(ZELString("<a>")), E_FAIL);
    EXPECT_EQ(d.ReadString(text), E_FAIL);
    EXPECT_EQ(GetCapturedStderr(), "XML parse error: no element found\n  Line: 1, Column: 3\n")
        << "refused before the parser saw it";
    ZELString message;
    unsigned long line, column;
    EXPECT_EQ(d.GetParseError(message, line, column), E_FAIL) << "the earlier read's error is gone";
  }
}

TEST(DocumentTest, NamesThatCannotBeReadOrWrittenFailQuietly) {
  static_assert(sizeof(S_OK) == sizeof(long) && sizeof(E_FAIL) == sizeof(long), "results are longs");
  EXPECT_EQ(E_FAIL, -2147467259L) << "the 32-bit pattern 0x80004005, whatever the width of long";
  TempDir dir;
  AllocationScope scope;
  ZELBasXmlDocument unnamed;
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
