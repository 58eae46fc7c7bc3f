// Failures a caller sees: parse errors kept until the next read, and names
// that cannot be read or written.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "AllocationScope.h"
#include "DocumentReads.h"

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
  StderrCapture capture;
  for (const std::string& path : {dir.path, dir.File("missing.xml"), dir.File("missing/deeper.xml")})
    EXPECT_EQ(unnamed.ReadFile(ZELString(path.c_str())), E_FAIL) << path;
  EXPECT_EQ(capture.Stop(), "") << "nothing opened, nothing reported";
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
