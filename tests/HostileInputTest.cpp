// Oversized input: each read ends in its result code and report, with memory
// bounded.
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

using ::testing::internal::CaptureStderr;
using ::testing::internal::GetCapturedStderr;

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

TEST(HostileInputTest, HugeTextIsReadInChunksKeepingTheLastPiece) {
  TempDir dir;
  AllocationScope scope;
  {
    // 100 MB of text: only the last piece is kept, and only the tree stays.
    std::string path = dir.Write("text.xml", "<t>" + std::string(100 << 20, 'x') + "end</t>");
    ZELBasXmlDocument d;
    CaptureStderr();
    EXPECT_EQ(d.ReadFile(ZELString(path.c_str())), S_OK);
    EXPECT_EQ(GetCapturedStderr(), "");
    size_t kept = d.GetRoot().GetData().GetLengthInBytes();
    EXPECT_GT(kept, 3u);
    EXPECT_LE(kept, 262144u + 3);
    EXPECT_LT(scope.Live(), 8) << "the tree only";
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
