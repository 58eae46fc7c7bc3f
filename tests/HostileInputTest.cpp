// Malformed, oversized and odd input: each read ends in its result code and
// report, with memory bounded.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "AllocationScope.h"
#include "TempDir.h"
#include "ZELBasXmlDocument.h"

// The process's peak memory so far, in KiB.
#if defined(_WIN32)
#include <windows.h>
// After windows.h:
#include <psapi.h>
static long PeakKiB() {
  PROCESS_MEMORY_COUNTERS counters;
  GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
  return static_cast<long>(counters.PeakWorkingSetSize >> 10);
}
#else
#include <sys/resource.h>
static long PeakKiB() {
  struct rusage usage;
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}
#endif

static const size_t kChunk = 262144;

// Reads `bytes` from a file and from a string; returns the string read's report.
static std::string ReadBothWays(const std::string& bytes, long expected, ZELBasXmlDocument& fromFile,
                                ZELBasXmlDocument& fromString) {
  TempDir dir;
  ZELString text;
  text.BuildFromUTF8(bytes.data(), bytes.size());
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(fromFile.ReadFile(ZELString(dir.Write("in.xml", bytes).c_str())), S_OK);
  std::string fileReport = ::testing::internal::GetCapturedStderr();
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(fromString.ReadString(text), expected);
  std::string report = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(fileReport.substr(0, report.size()), report) << "ReadFile reports the same error";
  return report;
}

TEST(HostileInputTest, EntityExpansionIsRefusedWithBoundedMemory) {
  std::string xml = "<!DOCTYPE lolz [<!ENTITY lol0 \"lol\">";
  for (int i = 1; i < 10; ++i) {
    xml += "<!ENTITY lol" + std::to_string(i) + " \"";
    for (int j = 0; j < 10; ++j) xml += "&lol" + std::to_string(i - 1) + ";";
    xml += "\">";
  }
  xml += "]><lolz>&lol9;</lolz>";
  // In a child process for a clean peak: the expansion would need 3 GB, and
  // 256 MiB leaves room for AddressSanitizer holding freed blocks back.
  auto readAndExit = [&xml] {
    long before = PeakKiB();
    TempDir dir;
    ZELBasXmlDocument fromFile, fromString;
    bool results = fromFile.ReadFile(ZELString(dir.Write("in.xml", xml).c_str())) == S_OK &&
                   fromString.ReadString(ZELString(xml.c_str())) == E_FAIL;
    std::exit(results && PeakKiB() - before < 256 * 1024 ? 0 : 1);
  };
  EXPECT_EXIT(readAndExit(), ::testing::ExitedWithCode(0),
              "XML parse error: limit on input amplification factor \\(from DTD and entities\\) breached\n"
              "  Line: 1, Column: .+\n");  // the regular expressions of every platform
}

TEST(HostileInputTest, BadBytesFailWithTheReport) {
  const std::string invalid = "XML parse error: not well-formed (invalid token)\n  Line: 1, Column: ";
  const std::pair<std::string, std::string> cases[] = {
      {"<a>\xff\xfe</a>", invalid + "3\n"},
      {"<a>\xc3</a>", invalid + "3\n"},
      {"<a>\xed\xa0\x80</a>", invalid + "3\n"},
      {std::string("<a>x\0y</a>", 10), invalid + "4\n"},
      {std::string("\0<a/>", 5), "XML parse error: unclosed token\n  Line: 1, Column: 0\n"},
  };
  for (const auto& [bytes, report] : cases) {
    AllocationScope scope;
    ZELBasXmlDocument fromFile, fromString;
    EXPECT_EQ(ReadBothWays(bytes, E_FAIL, fromFile, fromString), report);
  }
}

TEST(HostileInputTest, Utf16WithAByteOrderMarkIsReadAsUtf8) {
  std::string le = "\xff\xfe", be = "\xfe\xff";
  for (char c : std::string("<a x=\"\xe9\">\xfc</a>")) {
    le += std::string(1, c) + '\0';
    be += std::string(1, '\0') + c;
  }
  for (const std::string& bytes : {le, be}) {
    ZELBasXmlDocument fromFile, fromString;
    EXPECT_EQ(ReadBothWays(bytes, S_OK, fromFile, fromString), "");
    ZELString a, b;
    ASSERT_EQ(fromFile.WriteString(a), S_OK);
    ASSERT_EQ(fromString.WriteString(b), S_OK);
    EXPECT_STREQ(a.CastToCharPtr(), b.CastToCharPtr());
    EXPECT_NE(std::string(a.CastToCharPtr()).find("<a x=\"\xc3\xa9\">\xc3\xbc\n</a>\n"), std::string::npos);
  }
}

TEST(HostileInputTest, CharacterSplitAtTheChunkBoundaryIsKeptWhole) {
  std::string xml = "<a>" + std::string(kChunk - 4, 'x') + "\xc3\xa9tail</a>";
  ASSERT_EQ(xml[kChunk - 1], '\xc3');
  ZELBasXmlDocument fromFile, fromString;
  EXPECT_EQ(ReadBothWays(xml, S_OK, fromFile, fromString), "");
  std::string whole = fromString.GetRoot().GetData().CastToCharPtr();
  std::string piece = fromFile.GetRoot().GetData().CastToCharPtr();
  EXPECT_EQ(whole, xml.substr(3, xml.size() - 7));
  ASSERT_FALSE(piece.empty());
  EXPECT_EQ(whole.substr(whole.size() - piece.size()), piece) << "a trailing piece of the text";
  EXPECT_NE(static_cast<unsigned char>(piece[0]) & 0xc0, 0x80) << "no piece starts inside a character";
}

TEST(HostileInputTest, HugeTextAndAttributeValues) {
  TempDir dir;
  AllocationScope scope;
  {
    // 100 MB of text read in chunks: only the last piece is kept.
    std::string path = dir.Write("text.xml", "<t>" + std::string(100 << 20, 'x') + "end</t>");
    ZELBasXmlDocument d;
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(d.ReadFile(ZELString(path.c_str())), S_OK);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
    size_t kept = std::string(d.GetRoot().GetData().CastToCharPtr()).size();
    EXPECT_GT(kept, 3u);
    EXPECT_LE(kept, kChunk + 3);
    EXPECT_LT(scope.Live(), 8) << "the tree only";
  }
  std::string value(10 << 20, 'v');
  value[12345] = '\t';  // normalized to a space
  ZELBasXmlDocument fromFile, fromString;
  EXPECT_EQ(ReadBothWays("<t a=\"" + value + "\"><c/></t>", S_OK, fromFile, fromString), "");
  value[12345] = ' ';
  for (ZELBasXmlDocument* d : {&fromFile, &fromString}) {
    ZELString got;
    ASSERT_EQ(d->GetRoot().GetAttribute(ZELString("a"), got), S_OK);
    EXPECT_TRUE(got.CastToCharPtr() == value);
  }
}

TEST(HostileInputTest, FoldersAndMissingPathsCannotBeRead) {
  TempDir dir;
  for (std::string path : {dir.path, dir.File("missing.xml"), dir.File("missing/deeper.xml")}) {
    ZELBasXmlDocument d;
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(d.ReadFile(ZELString(path.c_str())), E_FAIL) << path;
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "") << "nothing opened, nothing reported";
  }
}

TEST(HostileInputTest, TextPastWhatOnePieceTakesIsRefusedUnparsed) {
  // `unit` doubled up to `bytes` and then one more unit, built without a
  // second copy of the text.
  auto grown = [](const char* unit, size_t bytes) {
    ZELString text(unit);
    for (size_t size = std::strlen(unit); size < bytes; size *= 2) {
      ZELString copy = text;
      text.Append(copy);
    }
    text.Append(ZELString(unit));
    return text;
  };
  // One character past the character limit, and a text of four-byte
  // characters within it but one character past the parser's 1 GiB.
  for (const auto& [unit, bytes] : {std::pair<const char*, size_t>{"x", size_t{1} << 29},
                                    std::pair<const char*, size_t>{"\xf0\x9f\x98\x80", size_t{1} << 30}}) {
    ZELString text = grown(unit, bytes);
    ZELBasXmlDocument d;
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(d.ReadString(ZELString("<a>")), E_FAIL);
    EXPECT_EQ(d.ReadString(text), E_FAIL);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "XML parse error: no element found\n  Line: 1, Column: 3\n")
        << "refused before the parser saw it";
    ZELString message;
    unsigned long line, column;
    EXPECT_EQ(d.GetParseError(message, line, column), E_FAIL) << "the earlier read's error is gone";
  }
}
